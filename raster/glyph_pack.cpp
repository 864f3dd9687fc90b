#include "raster/glyph_pack.h"

#include <algorithm>
#include <memory>
#include <unordered_map>

#include "raster/glyph_source.h"

namespace qf {

namespace {

using glyphs::Face;
using glyphs::Glyph;
using glyphs::SizedFace;

constexpr std::string_view kMagic = "QFGLYPH1";
// Far beyond any glyph of a status bar; a bigger one marks a damaged pack.
constexpr int32_t kMaxGlyphSide = 4096;

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
void PutI32(std::string& out, int32_t v) { PutU32(out, static_cast<uint32_t>(v)); }

void PutCoverage(std::string& out, const Glyph& g, bool smooth) {
  if (smooth) {
    out.append(g.coverage.begin(), g.coverage.end());
    return;
  }
  for (int32_t y = 0; y < g.rows; ++y) {
    uint8_t bits = 0;
    for (int32_t x = 0; x < g.width; ++x) {
      if (g.coverage[static_cast<size_t>(y) * g.width + x]) bits |= 0x80 >> (x & 7);
      if ((x & 7) == 7 || x == g.width - 1) {
        out.push_back(static_cast<char>(bits));
        bits = 0;
      }
    }
  }
}

class Reader {
public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool Bytes(size_t n, std::string_view& out) {
    if (n > bytes_.size() - pos_) return false;
    out = bytes_.substr(pos_, n);
    pos_ += n;
    return true;
  }
  bool U32(uint32_t& v) {
    std::string_view b;
    if (!Bytes(4, b)) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(b[i])} << (8 * i);
    return true;
  }
  bool I32(int32_t& v) {
    uint32_t u = 0;
    if (!U32(u)) return false;
    v = static_cast<int32_t>(u);
    return true;
  }
  bool U8(uint8_t& v) {
    std::string_view b;
    if (!Bytes(1, b)) return false;
    v = static_cast<uint8_t>(b[0]);
    return true;
  }
  bool AtEnd() const { return pos_ == bytes_.size(); }

private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

bool ReadGlyph(Reader& in, bool smooth, Glyph& g) {
  if (!in.I32(g.left) || !in.I32(g.top) || !in.I32(g.width) || !in.I32(g.rows) ||
      !in.I32(g.advance))
    return false;
  if (g.width < 0 || g.rows < 0 || g.width > kMaxGlyphSide || g.rows > kMaxGlyphSide)
    return false;
  const size_t rowBytes = smooth ? static_cast<size_t>(g.width) : (static_cast<size_t>(g.width) + 7) / 8;
  std::string_view data;
  if (!in.Bytes(rowBytes * static_cast<size_t>(g.rows), data)) return false;
  g.coverage.assign(static_cast<size_t>(g.width) * g.rows, 0);
  for (int32_t y = 0; y < g.rows; ++y)
    for (int32_t x = 0; x < g.width; ++x) {
      const size_t at = static_cast<size_t>(y) * g.width + x;
      const auto byte = static_cast<uint8_t>(
          data[static_cast<size_t>(y) * rowBytes + (smooth ? x : x >> 3)]);
      g.coverage[at] = smooth ? byte : (byte & (0x80 >> (x & 7))) ? 255 : 0;
    }
  return true;
}

// The glyphs of a pack, looked up as the rasteriser's would be.
class PackSource : public glyphs::Source {
public:
  bool Read(std::string_view pack) {
    Reader in(pack);
    std::string_view magic;
    uint32_t count = 0;
    if (!in.Bytes(kMagic.size(), magic) || magic != kMagic || !in.U32(count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t nameLength = 0;
      std::string_view nameBytes;
      uint8_t lengthLo = 0, lengthHi = 0, smooth = 0;
      int32_t pixelSize = 0;
      if (!in.U8(lengthLo) || !in.U8(lengthHi)) return false;
      nameLength = lengthLo | uint32_t{lengthHi} << 8;
      if (!in.Bytes(nameLength, nameBytes) || !in.I32(pixelSize) || !in.U8(smooth) || smooth > 1)
        return false;
      auto sized = std::make_unique<SizedFace>();
      if (!in.I32(sized->ascent) || !in.I32(sized->descent)) return false;
      for (Glyph& g : sized->glyphs)
        if (!ReadGlyph(in, smooth != 0, g)) return false;
      sized->loaded.set();
      std::unique_ptr<Face>& face = faces_[std::string(nameBytes)];
      if (!face) face = std::make_unique<Face>();
      face->sizes[{pixelSize, smooth != 0}] = std::move(sized);
    }
    return in.AtEnd();
  }

  Face* FindFace(const std::string& name) override {
    const auto it = faces_.find(name);
    return it == faces_.end() ? nullptr : it->second.get();
  }

  SizedFace* Sized(Face& face, int32_t pixelSize, bool smooth) override {
    const auto it = face.sizes.find({pixelSize, smooth});
    return it == face.sizes.end() ? nullptr : it->second.get();
  }

  const Glyph& GetGlyph(Face&, SizedFace& sized, int32_t, bool, uint8_t ch) override {
    return sized.glyphs[ch];
  }

private:
  std::unordered_map<std::string, std::unique_ptr<Face>> faces_;
};

std::unique_ptr<PackSource>& InstalledPack() {
  static std::unique_ptr<PackSource> pack;
  return pack;
}

}  // namespace

std::string MakeGlyphPack(const std::vector<TGlyphPackFace>& faces) {
  glyphs::Source* source = glyphs::CurrentSource();
  if (!source) return {};
  std::string out(kMagic);
  PutU32(out, static_cast<uint32_t>(faces.size()));
  for (const TGlyphPackFace& request : faces) {
    // Sized as RenderTextMask sizes a level.
    const int32_t level = std::clamp(request.AaLevel, -1, 4);
    const bool smooth = level < 0;
    const int64_t scaledSize = int64_t{request.Font.Size} << std::max(level, 0);
    if (scaledSize > INT32_MAX || scaledSize < INT32_MIN) return {};
    const int32_t pixelSize = FontPixelSize(static_cast<int32_t>(scaledSize));
    Face* face = source->FindFace(request.Font.Name);
    if (!face || request.Font.Name.size() > 0xFFFF || pixelSize <= 0) return {};
    SizedFace* sized = source->Sized(*face, pixelSize, smooth);
    if (!sized) return {};
    out.push_back(static_cast<char>(request.Font.Name.size() & 0xFF));
    out.push_back(static_cast<char>(request.Font.Name.size() >> 8));
    out += request.Font.Name;
    PutI32(out, pixelSize);
    out.push_back(smooth ? 1 : 0);
    PutI32(out, sized->ascent);
    PutI32(out, sized->descent);
    for (int ch = 0; ch < 256; ++ch) {
      const Glyph& g =
          source->GetGlyph(*face, *sized, pixelSize, smooth, static_cast<uint8_t>(ch));
      for (int32_t v : {g.left, g.top, g.width, g.rows, g.advance}) PutI32(out, v);
      PutCoverage(out, g, smooth);
    }
  }
  return out;
}

bool UseGlyphPack(std::string_view pack) {
  auto source = std::make_unique<PackSource>();
  if (!source->Read(pack)) return false;
  glyphs::SetCurrentSource(source.get());
  InstalledPack() = std::move(source);
  return true;
}

void UseSystemGlyphs() {
  glyphs::SetCurrentSource(glyphs::SystemSource());
  InstalledPack().reset();
}

}  // namespace qf
