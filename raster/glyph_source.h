#pragma once
// Where the text functions get their glyphs: the system's rasteriser (FreeType with fontconfig,
// text_freetype.cpp) or a glyph pack made from it (glyph_pack.h), for a build without one.
// Private to raster/.

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qf::glyphs {

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

// A face, with its sizes keyed by (em in pixels, smooth).
struct Face {
  virtual ~Face() = default;
  std::map<std::pair<int32_t, bool>, std::unique_ptr<SizedFace>> sizes;
};

class Source {
public:
  virtual ~Source() = default;
  // The face for a font name; nullptr when there is none. Faces live as long as the source.
  virtual Face* FindFace(const std::string& name) = 0;
  // The face at an em of pixelSize pixels; nullptr when it cannot have that size.
  virtual SizedFace* Sized(Face& face, int32_t pixelSize, bool smooth) = 0;
  // A character's glyph at that size; all zero when the face has none.
  virtual const Glyph& GetGlyph(Face& face, SizedFace& sized, int32_t pixelSize, bool smooth,
                                uint8_t ch) = 0;
};

// The system's rasteriser, one per process; nullptr in a build without one.
Source* SystemSource();

// The source the text functions use (the system's unless a pack was installed), and the
// switch, which forgets every text mask made with the one before.
Source* CurrentSource();
void SetCurrentSource(Source* source);

}  // namespace qf::glyphs
