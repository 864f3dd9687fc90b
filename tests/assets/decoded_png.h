#pragma once
// Decodes a PNG file or buffer with libpng into 8-bit RGBA, remembering whether the file
// itself carried an alpha channel.

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qf::testing {

struct DecodedPng {
  bool Ok = false;
  bool HasAlpha = false;
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Rgba;

  uint8_t Alpha(int32_t x, int32_t y) const { return Rgba[(static_cast<size_t>(y) * Width + x) * 4 + 3]; }
  uint32_t Argb(int32_t x, int32_t y) const {
    const uint8_t* p = &Rgba[(static_cast<size_t>(y) * Width + x) * 4];
    return (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
};

inline DecodedPng FinishDecode(png_image& image) {
  DecodedPng out;
  out.HasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_RGBA;
  out.Width = static_cast<int32_t>(image.width);
  out.Height = static_cast<int32_t>(image.height);
  out.Rgba.resize(PNG_IMAGE_SIZE(image));
  out.Ok = png_image_finish_read(&image, nullptr, out.Rgba.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return out;
}

inline DecodedPng DecodePngFile(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  return FinishDecode(image);
}

inline DecodedPng DecodePngBytes(const std::vector<uint8_t>& bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return {};
  return FinishDecode(image);
}

}  // namespace qf::testing
