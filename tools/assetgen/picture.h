#pragma once
// An ARGB picture (alpha in the top byte, not premultiplied), the generator's only canvas.
// Its blend rule is the game's, so a preview composed here shows what the game will show.

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qf::assetgen {

using Argb = uint32_t;

constexpr Argb MakeArgb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}
constexpr uint32_t AlphaOf(Argb c) { return c >> 24; }
constexpr Argb WithAlpha(Argb c, uint32_t a) { return (c & 0x00FFFFFFu) | (a << 24); }

// Blends f over b: alpha 0 keeps b, alpha 255 copies f, otherwise every channel, alpha too,
// becomes (b * (256 - a) + f * a + 128) >> 8.
Argb BlendArgb(Argb b, Argb f);

// Linear mix of two colours' red, green and blue (t in 0..256), opaque result.
Argb MixRgb(Argb a, Argb b, int32_t t);

struct Picture {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<Argb> Pixels;

  Picture() = default;
  Picture(int32_t width, int32_t height, Argb fill = 0);

  bool Contains(int32_t x, int32_t y) const {
    return x >= 0 && y >= 0 && x < Width && y < Height;
  }
  // Reads outside the picture give transparent black.
  Argb At(int32_t x, int32_t y) const;
  void Set(int32_t x, int32_t y, Argb c);
  void Blend(int32_t x, int32_t y, Argb c);
  // Columns x1..x2-1, rows y1..y2-1, clipped; stores without blending.
  void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Argb c);
  void BlendRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Argb c);
  // Outline of columns x1..x2-1 and rows y1..y2-1, stored.
  void FrameRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Argb c);
  // Draws src with its top-left corner at (x, y), clipped: blended, or copied when opaque.
  void Draw(int32_t x, int32_t y, const Picture& src, bool blend);
  // Nearest-neighbour stretch of src into the w x h rectangle at (x, y), blended.
  void DrawStretched(int32_t x, int32_t y, int32_t w, int32_t h, const Picture& src);
  bool Opaque() const;
};

// Builds a picture from rows of characters; '.' and ' ' are fully transparent, every other
// character must be in the palette. Throws std::invalid_argument on a ragged or unknown map.
Picture FromPixelMap(const std::vector<std::string_view>& rows,
                     const std::unordered_map<char, Argb>& palette);

// Rows given as their left half; the right half is the mirror image, so width = 2 * row length.
Picture FromMirroredMap(const std::vector<std::string_view>& halfRows,
                        const std::unordered_map<char, Argb>& palette);

// Nearest-neighbour enlargement by an integer factor, for looking at sprites closely.
Picture Enlarged(const Picture& src, int32_t factor);

}  // namespace qf::assetgen
