// The system's rasteriser: faces matched by fontconfig, glyphs rendered by FreeType.

#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <unordered_map>

#include "raster/glyph_source.h"

namespace qf::glyphs {

namespace {

struct FreeTypeFace : Face {
  FT_Face face = nullptr;
  int32_t activePixelSize = 0;
};

// Stands in for the platform's font engine: one per process, like the platform's is.
class FreeTypeSource : public Source {
public:
  FreeTypeSource() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    config_ = FcInitLoadConfigAndFonts();
  }

  ~FreeTypeSource() override {
    for (auto& [name, face] : faces_)
      if (face && face->face) FT_Done_Face(face->face);
    if (library_) FT_Done_FreeType(library_);
    if (config_) FcConfigDestroy(config_);
  }

  Face* FindFace(const std::string& name) override {
    auto it = faces_.find(name);
    if (it == faces_.end()) it = faces_.emplace(name, Open(name)).first;
    return it->second.get();
  }

  SizedFace* Sized(Face& base, int32_t pixelSize, bool smooth) override {
    auto& face = static_cast<FreeTypeFace&>(base);
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

  const Glyph& GetGlyph(Face& base, SizedFace& sized, int32_t pixelSize, bool smooth,
                        uint8_t ch) override {
    auto& face = static_cast<FreeTypeFace&>(base);
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

private:
  bool Activate(FreeTypeFace& face, int32_t pixelSize) {
    if (face.activePixelSize == pixelSize) return true;
    if (FT_Set_Pixel_Sizes(face.face, 0, static_cast<FT_UInt>(pixelSize)) != 0) return false;
    face.activePixelSize = pixelSize;
    return true;
  }

  // The family matched by fontconfig, which substitutes as the platform's font mapper does
  // ("Arial" becomes the metric-compatible Liberation Sans). No match: nullptr.
  std::unique_ptr<FreeTypeFace> Open(const std::string& name) {
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

    std::unique_ptr<FreeTypeFace> face;
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
      FcPatternGetInteger(match, FC_INDEX, 0, &index);
      FT_Face ft = nullptr;
      if (FT_New_Face(library_, reinterpret_cast<const char*>(file), index, &ft) == 0) {
        face = std::make_unique<FreeTypeFace>();
        face->face = ft;
      }
    }
    FcPatternDestroy(match);
    return face;
  }

  FT_Library library_ = nullptr;
  FcConfig* config_ = nullptr;
  std::unordered_map<std::string, std::unique_ptr<FreeTypeFace>> faces_;  // nullptr: no font
};

}  // namespace

Source* SystemSource() {
  static FreeTypeSource source;
  return &source;
}

}  // namespace qf::glyphs
