#pragma once
// Glyph packs: the glyphs of a few fonts at a few sizes, exactly as the system's rasteriser
// renders them, for a build that has no rasteriser of its own (the browser). A pack holds, for
// each font and antialiasing level, every character code's glyph at the size that level
// renders at, with the face's ascent and descent; text drawn from the pack is the same pixels
// as text drawn by the rasteriser that made it. Fonts and sizes not in the pack draw nothing.
//
// Format (integers little-endian): "QFGLYPH1", u32 count of sized faces, then for each the
// font name (u16 length, bytes), i32 em in pixels, u8 smooth, i32 ascent, i32 descent and 256
// glyphs of i32 left, top, width, rows, advance followed by the coverage: for an on/off face
// one bit a pixel, rows padded to whole bytes; for a smooth one a byte a pixel.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "raster/text.h"

namespace qf {

struct TGlyphPackFace {
  TFont Font;
  int32_t AaLevel = 0;  // as RenderText takes it; level 0 also serves TextExtent
};

// Packs the faces from the glyph source in use. Empty when one of them cannot be had (no
// such font, or a size the rasteriser refuses).
std::string MakeGlyphPack(const std::vector<TGlyphPackFace>& faces);

// From now on the text functions take their glyphs from the pack. A pack that is not well
// formed is refused (false) and nothing changes.
bool UseGlyphPack(std::string_view pack);

// Back to the system's rasteriser (in a build without one, to no text at all).
void UseSystemGlyphs();

}  // namespace qf
