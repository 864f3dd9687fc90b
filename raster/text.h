#pragma once
// Text for bitmaps: fonts matched by family name and rasterised without antialiasing, the
// way the game's status bar needs them. Sizes are points at 96 dots per inch (16 pt is a
// 21-pixel em); a negative size is an em in pixels. Strings are 8-bit, one character a byte
// (Latin-1).
//
// The glyphs come from the system's rasteriser (FreeType with fontconfig) or, in a build
// without one (the browser), from a glyph pack made by it (glyph_pack.h).
//
// Matching and rasterising are expensive, so faces, glyphs and finished text masks are cached
// for the life of the process. Only the user-interface thread may call these functions.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "raster/rect.h"

namespace qf {

struct TFont {
  std::string Name = "Arial";
  int32_t Size = 10;
  bool operator==(const TFont&) const = default;
};

// The alpha coverage of a text as RenderText blends it: Width x Height values, row-major.
struct TTextMask {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Alpha;
  // The mask coloured for the last colour it was drawn in, so that text drawn every frame in
  // the same colour costs a blend and no allocation.
  mutable std::vector<uint32_t> Colored;
  mutable uint32_t ColoredRgb = 0;
};

// The em in pixels that a font size gives at 96 dots per inch (size * 96 / 72, rounded).
int32_t FontPixelSize(int32_t size);

// The extent of the text: the sum of the characters' advances by the line height (ascent +
// descent). (0, 0) when no font can be found.
TSize TextExtent(const TFont& font, std::string_view text);

// The coverage of "text" as RenderText's antialiasing level defines it (level clamped to
// -1..4): level 0 is the on/off rendering (alpha 0 or 255) over the extent of text followed by
// a space; level L >= 1 renders at 2^L times the size and averages 2^L x 2^L blocks; -1 is the
// rasteriser's own smooth rendering. Returns nullptr when no font can be found. The mask stays
// valid until the next call.
const TTextMask* RenderTextMask(const TFont& font, std::string_view text, int32_t aaLevel);

// True when a face can be found for the font name.
bool FontAvailable(const std::string& name);

}  // namespace qf
