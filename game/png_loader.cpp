#include "game/png_loader.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstring>
#include <fstream>
#include <iterator>

#include "raster/bitmap32.h"

namespace qf {

namespace {

struct Reader {
  std::string_view bytes;
  size_t pos = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* r = static_cast<Reader*>(png_get_io_ptr(png));
  if (count > r->bytes.size() - r->pos) png_error(png, "unexpected end of data");
  std::memcpy(out, r->bytes.data() + r->pos, count);
  r->pos += count;
}

void SilentWarning(png_structp, png_const_charp) {}

// A bad file is an ordinary outcome here, not something to print.
[[noreturn]] void SilentError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Everything the decoder touches after setjmp lives here, so longjmp leaves no local in an
// indeterminate state and no C++ object half-built.
struct Decoder {
  Reader reader;
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<uint8_t> rgba;
  std::vector<png_bytep> rows;
  DecodedPng image;
  int colorType = 0;
};

bool Decode(Decoder& d) {
  d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, SilentError, SilentWarning);
  if (!d.png) return false;
  d.info = png_create_info_struct(d.png);
  if (!d.info) return false;
  if (setjmp(png_jmpbuf(d.png))) return false;

  png_set_read_fn(d.png, &d.reader, ReadFromMemory);
  png_set_user_limits(d.png, kMaxPngSide, kMaxPngSide);
  png_set_chunk_malloc_max(d.png, 8u << 20);
  png_read_info(d.png, d.info);

  const png_uint_32 w = png_get_image_width(d.png, d.info);
  const png_uint_32 h = png_get_image_height(d.png, d.info);
  if (w == 0 || h == 0 || int64_t{w} * h > kMaxPngPixels) return false;
  d.colorType = png_get_color_type(d.png, d.info);

  // Everything to 8-bit RGBA: palettes and low grey depths expanded (grey by bit
  // replication), tRNS turned into alpha, 16-bit samples cut to their high byte.
  png_set_expand(d.png);
  png_set_strip_16(d.png);
  png_set_gray_to_rgb(d.png);
  png_set_add_alpha(d.png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(d.png);
  png_read_update_info(d.png, d.info);
  if (png_get_rowbytes(d.png, d.info) != size_t{w} * 4) return false;

  d.rgba.resize(size_t{w} * h * 4);
  d.rows.resize(h);
  for (png_uint_32 y = 0; y < h; ++y) d.rows[y] = d.rgba.data() + size_t{y} * w * 4;
  png_read_image(d.png, d.rows.data());
  png_read_end(d.png, nullptr);  // reaches the CRC of the last chunks

  const bool keepAlpha = d.colorType == PNG_COLOR_TYPE_RGB_ALPHA ||
                         d.colorType == PNG_COLOR_TYPE_GRAY_ALPHA;
  d.image.Width = static_cast<int32_t>(w);
  d.image.Height = static_cast<int32_t>(h);
  d.image.Pixels.resize(size_t{w} * h);
  const uint8_t* p = d.rgba.data();
  for (uint32_t& px : d.image.Pixels) {
    uint32_t r = p[0], g = p[1], b = p[2], a = p[3];
    if (!keepAlpha) {
      // Composited over black: round(c * a / 255), then opaque.
      r = (r * a + 127) / 255;
      g = (g * a + 127) / 255;
      b = (b * a + 127) / 255;
      a = 255;
    }
    px = a << 24 | r << 16 | g << 8 | b;
    p += 4;
  }
  return true;
}

}  // namespace

std::optional<DecodedPng> DecodePng(std::string_view bytes) {
  Decoder d;
  d.reader.bytes = bytes;
  const bool ok = Decode(d);
  if (d.png) png_destroy_read_struct(&d.png, d.info ? &d.info : nullptr, nullptr);
  if (!ok) return std::nullopt;
  return std::move(d.image);
}

void LoadPngStream(TBitmap32& bitmap, std::istream& stream) {
  const std::string bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
  std::optional<DecodedPng> image = DecodePng(bytes);
  if (!image) return;
  bitmap.SetSize(image->Width, image->Height);
  if (bitmap.Width() != image->Width || bitmap.Height() != image->Height) return;
  std::copy(image->Pixels.begin(), image->Pixels.end(), bitmap.Bits());
}

void LoadPngFile(TBitmap32& bitmap, const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) return;
  try {
    LoadPngStream(bitmap, file);
  } catch (const std::ios_base::failure&) {
    // A read error (the name is a directory, say) is one more unreadable picture.
  }
}

void LoadBitmapFile(TBitmap32& bitmap, const std::string& fileName) {
  if (fileName.size() < 4) return;
  std::string ext = fileName.substr(fileName.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (ext == ".PNG") LoadPngFile(bitmap, fileName);
}

}  // namespace qf
