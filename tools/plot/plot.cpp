#include "tools/plot/plot.h"

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace qf {

namespace {

struct PngFailure {
  char Message[256];
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->Message, sizeof failure->Message, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Only plain data lives in this frame: libpng leaves it by longjmp on failure.
bool Encode(std::FILE* file, const uint8_t* rows, int32_t width, int32_t height,
            PngFailure* failure) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, OnPngError, OnPngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, 9);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  for (int32_t y = 0; y < height; ++y)
    png_write_row(png, rows + static_cast<size_t>(y) * static_cast<size_t>(width) * 4);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

double NiceCeiling(double v) {
  if (!(v > 0)) return 1;
  const double p = std::pow(10.0, std::floor(std::log10(v)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * p >= v) return m * p;
  return 10 * p;
}

std::string AxisLabel(double v) {
  char text[32];
  if (v == std::floor(v)) std::snprintf(text, sizeof text, "%.0f", v);
  else std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

void WritePng(const TBitmap32& picture, const std::filesystem::path& path) {
  if (picture.Empty()) throw std::runtime_error("cannot write an empty picture to " + path.string());
  std::vector<uint8_t> rows;
  rows.reserve(static_cast<size_t>(picture.Width()) * picture.Height() * 4);
  for (int32_t y = 0; y < picture.Height(); ++y) {
    const TColor32* row = picture.ScanLine(y);
    for (int32_t x = 0; x < picture.Width(); ++x) {
      rows.push_back(RedComponent(row[x]));
      rows.push_back(GreenComponent(row[x]));
      rows.push_back(BlueComponent(row[x]));
      rows.push_back(AlphaComponent(row[x]));
    }
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path.string());
  PngFailure failure{};
  const bool encoded = Encode(file, rows.data(), picture.Width(), picture.Height(), &failure);
  const bool closed = std::fclose(file) == 0;
  if (!encoded || !closed) {
    throw std::runtime_error("cannot write " + path.string() +
                             (failure.Message[0] ? std::string(": ") + failure.Message : ""));
  }
}

}  // namespace qf
