#include "raster/text.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include "raster/glyph_source.h"

namespace qf {

namespace {

using glyphs::Face;
using glyphs::Glyph;
using glyphs::SizedFace;
using glyphs::Source;

// Beyond these a text would need a scratch store out of all proportion to a status bar; it
// is then not drawn rather than exhausting memory.
constexpr int32_t kMaxPixelSize = 4096;
constexpr int64_t kMaxScratchPixels = int64_t{1} << 26;
constexpr size_t kMaxCachedRuns = 256;

// The finished masks, by font, level and text; they belong to the current glyph source.
std::unordered_map<std::string, TTextMask>& Runs() {
  static std::unordered_map<std::string, TTextMask> runs;
  return runs;
}

Source*& Current() {
  static Source* current = glyphs::SystemSource();
  return current;
}

// Sum of the advances of the text's characters.
int64_t Advance(Source& r, Face& face, SizedFace& sized, int32_t pixelSize, bool smooth,
                std::string_view text) {
  int64_t w = 0;
  for (char c : text)
    w += r.GetGlyph(face, sized, pixelSize, smooth, static_cast<uint8_t>(c)).advance;
  return w;
}

// The text in white (coverage 255) on black, left edge at 0 and baseline at the ascent,
// clipped to the width x height store.
void Rasterise(Source& r, Face& face, SizedFace& sized, int32_t pixelSize, bool smooth,
               std::string_view text, int32_t width, int32_t height, std::vector<uint8_t>& out) {
  out.assign(static_cast<size_t>(width) * height, 0);
  int64_t pen = 0;
  for (char c : text) {
    const Glyph& g = r.GetGlyph(face, sized, pixelSize, smooth, static_cast<uint8_t>(c));
    const int64_t gx = pen + g.left;
    const int64_t gy = int64_t{sized.ascent} - g.top;
    for (int32_t y = 0; y < g.rows; ++y) {
      const int64_t ty = gy + y;
      if (ty < 0 || ty >= height) continue;
      const uint8_t* src = g.coverage.data() + static_cast<size_t>(y) * g.width;
      uint8_t* dst = out.data() + static_cast<size_t>(ty) * width;
      for (int32_t x = 0; x < g.width; ++x) {
        const int64_t tx = gx + x;
        if (tx < 0 || tx >= width) continue;
        dst[tx] = std::max(dst[tx], src[x]);
      }
    }
    pen += g.advance;
    if (pen >= width) break;
  }
}

}  // namespace

int32_t FontPixelSize(int32_t size) {
  if (size < 0) return size == INT32_MIN ? INT32_MAX : -size;
  // Rounded like the platform's MulDiv: halves away from zero.
  const int64_t px = (int64_t{size} * 96 + 36) / 72;
  return static_cast<int32_t>(std::min<int64_t>(px, INT32_MAX));
}

bool FontAvailable(const std::string& name) {
  Source* r = Current();
  return r && r->FindFace(name) != nullptr;
}

TSize TextExtent(const TFont& font, std::string_view text) {
  if (!Current()) return {};
  Source& r = *Current();
  Face* face = r.FindFace(font.Name);
  const int32_t px = FontPixelSize(font.Size);
  if (!face || px <= 0 || px > kMaxPixelSize) return {};
  SizedFace* sized = r.Sized(*face, px, false);
  if (!sized) return {};
  const int64_t w = Advance(r, *face, *sized, px, false, text);
  return TSize{static_cast<int32_t>(std::min<int64_t>(w, INT32_MAX)),
               sized->ascent + sized->descent};
}

const TTextMask* RenderTextMask(const TFont& font, std::string_view text, int32_t aaLevel) {
  if (!Current()) return nullptr;
  Source& r = *Current();
  Face* face = r.FindFace(font.Name);
  if (!face) return nullptr;
  const int32_t level = std::clamp(aaLevel, -1, 4);
  const bool smooth = level < 0;
  const int32_t shift = std::max(level, 0);

  // One key buffer reused: looking up a cached run must not allocate.
  static std::string key;
  char params[32];
  const int n = std::snprintf(params, sizeof params, "%c%d,%d,", '\0', font.Size, level);
  key.assign(font.Name).append(params, static_cast<size_t>(n)).append(text);
  auto& runs = Runs();
  if (auto it = runs.find(key); it != runs.end()) return &it->second;

  const int64_t scaledSize = int64_t{font.Size} << shift;
  if (scaledSize > INT32_MAX || scaledSize < INT32_MIN) return nullptr;
  const int32_t px = FontPixelSize(static_cast<int32_t>(scaledSize));
  if (px <= 0 || px > kMaxPixelSize) return nullptr;
  SizedFace* sized = r.Sized(*face, px, smooth);
  if (!sized) return nullptr;

  // Measured with one space after the text, as the platform's text cell is.
  const int64_t w = Advance(r, *face, *sized, px, smooth, text) +
                    r.GetGlyph(*face, *sized, px, smooth, ' ').advance;
  const int64_t h = sized->ascent + sized->descent;
  const int64_t width = shift == 0 ? w : ((w >> shift) + 1) << shift;
  const int64_t height = shift == 0 ? h : ((h >> shift) + 1) << shift;
  if (width <= 0 || height <= 0 || width * height > kMaxScratchPixels) return nullptr;

  std::vector<uint8_t> coverage;
  Rasterise(r, *face, *sized, px, smooth, text, static_cast<int32_t>(width),
            static_cast<int32_t>(height), coverage);

  TTextMask mask;
  if (shift == 0) {
    mask.Width = static_cast<int32_t>(width);
    mask.Height = static_cast<int32_t>(height);
    mask.Alpha = std::move(coverage);
  } else {
    mask.Width = static_cast<int32_t>(width >> shift);
    mask.Height = static_cast<int32_t>(height >> shift);
    mask.Alpha.assign(static_cast<size_t>(mask.Width) * mask.Height, 0);
    const int32_t block = 1 << shift;
    for (int32_t y = 0; y < mask.Height; ++y) {
      for (int32_t x = 0; x < mask.Width; ++x) {
        uint32_t sum = 0;
        for (int32_t by = 0; by < block; ++by) {
          const uint8_t* row = coverage.data() +
                               static_cast<size_t>(y * block + by) * static_cast<size_t>(width) +
                               static_cast<size_t>(x) * block;
          for (int32_t bx = 0; bx < block; ++bx) sum += row[bx];
        }
        mask.Alpha[static_cast<size_t>(y) * mask.Width + x] =
            static_cast<uint8_t>((sum >> shift) >> shift);
      }
    }
  }

  if (runs.size() >= kMaxCachedRuns) runs.clear();
  return &runs.emplace(key, std::move(mask)).first->second;
}

namespace glyphs {

Source* CurrentSource() { return Current(); }

void SetCurrentSource(Source* source) {
  Runs().clear();
  Current() = source;
}

#ifdef QF_NO_SYSTEM_FONTS
Source* SystemSource() { return nullptr; }
#endif

}  // namespace glyphs

}  // namespace qf
