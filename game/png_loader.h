#pragma once
// Sprite loading: PNG files into 32-bit ARGB bitmaps. Pictures with an alpha channel keep it
// exactly (not premultiplied); every other kind is composited over black and made opaque.
// A picture is decoded completely before the bitmap is touched, so a file that fails anywhere
// (missing, truncated, corrupt, absurd dimensions) leaves the bitmap as it was.

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

class TBitmap32;

struct DecodedPng {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;  // A<<24 | R<<16 | G<<8 | B, rows top to bottom
};

// Largest picture accepted; anything bigger is refused as absurd for a sprite.
inline constexpr int32_t kMaxPngSide = 8192;
inline constexpr int64_t kMaxPngPixels = int64_t{1} << 24;

// Decodes a whole PNG image held in memory; nothing on any failure.
std::optional<DecodedPng> DecodePng(std::string_view bytes);

// Loads by extension: a name ending in ".png" in any letter case goes to LoadPngFile; other
// names are ignored.
void LoadBitmapFile(TBitmap32& bitmap, const std::string& fileName);
void LoadPngFile(TBitmap32& bitmap, const std::string& fileName);
void LoadPngStream(TBitmap32& bitmap, std::istream& stream);

}  // namespace qf
