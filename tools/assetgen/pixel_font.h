#pragma once
// The generator's own pixel font: 5 x 7 capitals and digits, lower case with two rows of
// descenders, so lettering never depends on the fonts of the machine that runs it.

#include <cstdint>
#include <functional>
#include <string_view>

#include "tools/assetgen/picture.h"

namespace qf::assetgen {

// Rows of a glyph cell: 7 above the baseline, 2 below it.
constexpr int32_t kFontAscent = 7;
constexpr int32_t kFontCellHeight = 9;

bool HasGlyph(char ch);

// Width in font pixels of a text, one blank column between glyphs. Throws
// std::invalid_argument for a character the font lacks.
int32_t TextWidth(std::string_view text);

// Colour of one enlarged font pixel: given the pixel's row inside the glyph cell (0 at the
// top), the row inside the scale x scale block, and the character.
using GlyphShader = std::function<Argb(int32_t cellRow, int32_t blockRow, char ch)>;

// Draws text with its top-left cell corner at (x, y), every font pixel a scale x scale block
// blended in the shader's colour. Throws std::invalid_argument for a missing glyph.
void DrawText(Picture& target, int32_t x, int32_t y, std::string_view text, int32_t scale,
              const GlyphShader& shader);

// Same, in one colour.
void DrawText(Picture& target, int32_t x, int32_t y, std::string_view text, int32_t scale,
              Argb color);

}  // namespace qf::assetgen
