#include "tools/png/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

namespace qf {
namespace {

struct Sink {
  std::vector<uint8_t>* Bytes;
  char Error[256];
};

void WriteToSink(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  sink->Bytes->insert(sink->Bytes->end(), data, data + length);
}

void FlushSink(png_structp) {}

void OnPngError(png_structp png, png_const_charp message) {
  auto* sink = static_cast<Sink*>(png_get_error_ptr(png));
  std::strncpy(sink->Error, message, sizeof sink->Error - 1);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Only plain data lives in this frame: libpng leaves it by longjmp on failure.
bool Encode(const uint8_t* rows, int32_t width, int32_t height, int channels, Sink* sink) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, OnPngError, OnPngWarning);
  if (png == nullptr) {
    std::strncpy(sink->Error, "cannot create the PNG writer", sizeof sink->Error - 1);
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    if (sink->Error[0] == '\0')
      std::strncpy(sink->Error, "cannot create the PNG header", sizeof sink->Error - 1);
    return false;
  }
  png_set_write_fn(png, sink, WriteToSink, FlushSink);
  png_set_compression_level(png, 9);
  png_set_compression_mem_level(png, 8);
  png_set_compression_strategy(png, 0);
  png_set_compression_window_bits(png, 15);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(channels);
  for (int32_t y = 0; y < height; ++y)
    png_write_row(png, rows + static_cast<size_t>(y) * stride);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::vector<uint8_t> EncodePng(const uint32_t* argb, int32_t width, int32_t height, PngAlpha alpha) {
  if (argb == nullptr || width <= 0 || height <= 0)
    throw std::runtime_error("cannot encode an empty picture as PNG");
  const int channels = alpha == PngAlpha::Keep ? 4 : 3;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> rows;
  rows.reserve(count * static_cast<size_t>(channels));
  for (size_t i = 0; i < count; ++i) {
    const uint32_t c = argb[i];
    rows.push_back(static_cast<uint8_t>(c >> 16));
    rows.push_back(static_cast<uint8_t>(c >> 8));
    rows.push_back(static_cast<uint8_t>(c));
    if (channels == 4) rows.push_back(static_cast<uint8_t>(c >> 24));
  }
  std::vector<uint8_t> bytes;
  Sink sink{&bytes, {}};
  if (!Encode(rows.data(), width, height, channels, &sink))
    throw std::runtime_error(std::string("PNG encoding failed: ") + sink.Error);
  return bytes;
}

void WritePngFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace qf
