// The sprite loader from untrusted bytes. Whatever the bytes, DecodePng either refuses them or
// returns a picture within the loader's limits, LoadPngStream fills the bitmap with exactly
// that picture, and a refused picture leaves the bitmap as it was.

#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "game/png_loader.h"
#include "raster/bitmap32.h"
#include "tests/fuzz/fuzz_targets.h"

namespace qf::fuzz {

namespace {

constexpr int32_t kSentinelWidth = 3;
constexpr int32_t kSentinelHeight = 2;

TColor32 SentinelPixel(int32_t i) { return 0x5A000000u | static_cast<TColor32>(i * 0x010203); }

// The colour type from the header chunk, which libpng insists comes first.
int ColorTypeOf(std::string_view bytes) {
  return bytes.size() > 25 ? static_cast<unsigned char>(bytes[25]) : -1;
}

}  // namespace

int FuzzPng(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<DecodedPng> image = DecodePng(bytes);

  if (image) {
    QF_FUZZ_CHECK(image->Width >= 1 && image->Height >= 1, "decoded picture has a side of 0");
    QF_FUZZ_CHECK(image->Width <= kMaxPngSide && image->Height <= kMaxPngSide,
                  "decoded picture exceeds the side limit");
    QF_FUZZ_CHECK(int64_t{image->Width} * image->Height <= kMaxPngPixels,
                  "decoded picture exceeds the pixel limit");
    QF_FUZZ_CHECK(image->Pixels.size() == size_t(image->Width) * size_t(image->Height),
                  "pixel count differs from width x height");
    const int colorType = ColorTypeOf(bytes);
    if (colorType != 4 && colorType != 6) {
      for (const uint32_t px : image->Pixels)
        QF_FUZZ_CHECK(px >> 24 == 0xFF, "picture without alpha channel is not opaque");
    }
  }

  TBitmap32 bitmap;
  bitmap.SetSize(kSentinelWidth, kSentinelHeight);
  for (int32_t i = 0; i < kSentinelWidth * kSentinelHeight; ++i) bitmap.Bits()[i] = SentinelPixel(i);
  std::istringstream stream{std::string(bytes)};
  LoadPngStream(bitmap, stream);

  if (!image) {
    QF_FUZZ_CHECK(bitmap.Width() == kSentinelWidth && bitmap.Height() == kSentinelHeight,
                  "refused picture resized the bitmap");
    for (int32_t i = 0; i < kSentinelWidth * kSentinelHeight; ++i)
      QF_FUZZ_CHECK(bitmap.Bits()[i] == SentinelPixel(i), "refused picture changed a pixel");
  } else {
    QF_FUZZ_CHECK(bitmap.Width() == image->Width && bitmap.Height() == image->Height,
                  "loaded bitmap has another size than the decoded picture");
    QF_FUZZ_CHECK(std::memcmp(bitmap.Bits(), image->Pixels.data(),
                              image->Pixels.size() * sizeof(uint32_t)) == 0,
                  "loaded bitmap differs from the decoded picture");
  }
  return 0;
}

}  // namespace qf::fuzz
