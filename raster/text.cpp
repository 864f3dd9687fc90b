#include "raster/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <map>
#include <memory>
#include <cstdio>
#include <unordered_map>
#include <utility>

namespace qf {

namespace {

// Beyond these a text would need a scratch store out of all proportion to a status bar; it
// is then not drawn rather than exhausting memory.
constexpr int32_t kMaxPixelSize = 4096;
constexpr int64_t kMaxScratchPixels = int64_t{1} << 26;
constexpr size_t kMaxCachedRuns = 256;

struct Glyph {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t rows = 0;
  int32_t advance = 0;
  std::vector<uint8_t> coverage;  // width x rows, 0..255
};

// One face at one em size in one rendering (on/off or smooth).
struct SizedFace {
  int32_t ascent = 0;
  int32_t descent = 0;
  std::array<Glyph, 256> glyphs;
  std::bitset<256> loaded;
};

struct Face {
  FT_Face face = nullptr;
  int32_t activePixelSize = 0;
  std::map<std::pair<int32_t, bool>, std::unique_ptr<SizedFace>> sizes;
};

// Stands in for the platform's font engine: one per process, like the platform's is.
class Rasterizer {
public:
  static Rasterizer& Instance() {
    static Rasterizer instance;
    return instance;
  }

  ~Rasterizer() {
    for (auto& [name, face] : faces_)
      if (face && face->face) FT_Done_Face(face->face);
    if (library_) FT_Done_FreeType(library_);
    if (config_) FcConfigDestroy(config_);
  }

  Face* FindFace(const std::string& name) {
    auto it = faces_.find(name);
    if (it == faces_.end()) it = faces_.emplace(name, Open(name)).first;
    return it->second.get();
  }

  // The face set to the size; nullptr when FreeType refuses the size.
  SizedFace* Sized(Face& face, int32_t pixelSize, bool smooth) {
    auto& slot = face.sizes[{pixelSize, smooth}];
    if (!Activate(face, pixelSize)) return nullptr;
    if (!slot) {
      slot = std::make_unique<SizedFace>();
      const FT_Size_Metrics& m = face.face->size->metrics;
      slot->ascent = static_cast<int32_t>((m.ascender + 32) >> 6);
      slot->descent = static_cast<int32_t>((-m.descender + 32) >> 6);
    }
    return slot.get();
  }

  const Glyph& GetGlyph(Face& face, SizedFace& sized, int32_t pixelSize, bool smooth,
                        uint8_t ch) {
    Glyph& g = sized.glyphs[ch];
    if (sized.loaded[ch]) return g;
    sized.loaded[ch] = true;
    if (!Activate(face, pixelSize)) return g;
    const FT_Int32 flags = smooth ? FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL
                                  : FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME;
    if (FT_Load_Char(face.face, ch, flags) != 0) return g;
    const FT_GlyphSlot slot = face.face->glyph;
    g.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    const FT_Bitmap& bm = slot->bitmap;
    if (bm.pitch < 0 || (bm.pixel_mode != FT_PIXEL_MODE_MONO &&
                         bm.pixel_mode != FT_PIXEL_MODE_GRAY))
      return g;
    g.width = static_cast<int32_t>(bm.width);
    g.rows = static_cast<int32_t>(bm.rows);
    g.coverage.assign(static_cast<size_t>(g.width) * g.rows, 0);
    for (int32_t y = 0; y < g.rows; ++y) {
      const unsigned char* src = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
      uint8_t* dst = g.coverage.data() + static_cast<size_t>(y) * g.width;
      for (int32_t x = 0; x < g.width; ++x) {
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
          dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        } else {
          const unsigned grays = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
          dst[x] = static_cast<uint8_t>(src[x] * 255u / grays);
        }
      }
    }
    return g;
  }

  std::unordered_map<std::string, TTextMask>& Runs() { return runs_; }

private:
  Rasterizer() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    config_ = FcInitLoadConfigAndFonts();
  }

  bool Activate(Face& face, int32_t pixelSize) {
    if (face.activePixelSize == pixelSize) return true;
    if (FT_Set_Pixel_Sizes(face.face, 0, static_cast<FT_UInt>(pixelSize)) != 0) return false;
    face.activePixelSize = pixelSize;
    return true;
  }

  // The family matched by fontconfig, which substitutes as the platform's font mapper does
  // ("Arial" becomes the metric-compatible Liberation Sans). No match: nullptr.
  std::unique_ptr<Face> Open(const std::string& name) {
    if (!library_ || !config_) return nullptr;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config_, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config_, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return nullptr;

    std::unique_ptr<Face> face;
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
      FcPatternGetInteger(match, FC_INDEX, 0, &index);
      FT_Face ft = nullptr;
      if (FT_New_Face(library_, reinterpret_cast<const char*>(file), index, &ft) == 0) {
        face = std::make_unique<Face>();
        face->face = ft;
      }
    }
    FcPatternDestroy(match);
    return face;
  }

  FT_Library library_ = nullptr;
  FcConfig* config_ = nullptr;
  std::unordered_map<std::string, std::unique_ptr<Face>> faces_;  // nullptr: no font
  std::unordered_map<std::string, TTextMask> runs_;
};

// Sum of the advances of the text's characters.
int64_t Advance(Rasterizer& r, Face& face, SizedFace& sized, int32_t pixelSize, bool smooth,
                std::string_view text) {
  int64_t w = 0;
  for (char c : text)
    w += r.GetGlyph(face, sized, pixelSize, smooth, static_cast<uint8_t>(c)).advance;
  return w;
}

// The text in white (coverage 255) on black, left edge at 0 and baseline at the ascent,
// clipped to the width x height store.
void Rasterise(Rasterizer& r, Face& face, SizedFace& sized, int32_t pixelSize, bool smooth,
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
  return Rasterizer::Instance().FindFace(name) != nullptr;
}

TSize TextExtent(const TFont& font, std::string_view text) {
  Rasterizer& r = Rasterizer::Instance();
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
  Rasterizer& r = Rasterizer::Instance();
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
  auto& runs = r.Runs();
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

}  // namespace qf
