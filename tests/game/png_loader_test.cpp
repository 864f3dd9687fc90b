#include <gtest/gtest.h>

#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "game/png_loader.h"
#include "raster/bitmap32.h"

using namespace qf;
namespace fs = std::filesystem;

namespace {

fs::path SuiteDir() { return fs::path(QF_TESTDATA_DIR) / "pngsuite"; }

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct Entry {
  std::string name;
  bool valid = false;
  int width = 0, height = 0, bitDepth = 0;
};

std::vector<Entry> Manifest() {
  std::ifstream f(SuiteDir() / "manifest.tsv");
  std::vector<Entry> entries;
  std::string line;
  std::getline(f, line);  // header
  while (std::getline(f, line)) {
    std::istringstream row(line);
    std::string name, width, height, type, depth;
    std::getline(row, name, '\t');
    std::getline(row, width, '\t');
    std::getline(row, height, '\t');
    std::getline(row, type, '\t');
    std::getline(row, depth, '\t');
    Entry e;
    e.name = name;
    e.valid = width != "invalid";
    if (e.valid) {
      e.width = std::stoi(width);
      e.height = std::stoi(height);
      e.bitDepth = std::stoi(depth);
    }
    entries.push_back(e);
  }
  return entries;
}

// Writes a truecolour-with-alpha PNG with libpng, for pictures the suite does not have.
std::string EncodeRgba(int w, int h, const std::vector<uint8_t>& rgba, int colorType = PNG_COLOR_TYPE_RGBA) {
  const fs::path path = fs::temp_directory_path() / ("qf_png_" + std::to_string(::getpid()) + ".png");
  FILE* fp = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, fp);
  png_set_IHDR(png, info, w, h, 8, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const int channels = colorType == PNG_COLOR_TYPE_RGBA ? 4 : 3;
  for (int y = 0; y < h; ++y)
    png_write_row(png, const_cast<png_bytep>(rgba.data() + static_cast<size_t>(y) * w * channels));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(fp);
  std::string bytes = ReadFile(path);
  fs::remove(path);
  return bytes;
}

}  // namespace

TEST(PngLoader, EveryValidSuiteImageMatchesItsExpectedBitmap) {
  const std::vector<Entry> entries = Manifest();
  ASSERT_EQ(entries.size(), 175u);
  int checked = 0;
  for (const Entry& e : entries) {
    if (!e.valid) continue;
    SCOPED_TRACE(e.name);
    TBitmap32 bitmap;
    LoadPngFile(bitmap, (SuiteDir() / e.name).string());
    ASSERT_EQ(bitmap.Width(), e.width);
    ASSERT_EQ(bitmap.Height(), e.height);
    const std::string expected = ReadFile(SuiteDir() / "expected" / (e.name.substr(0, e.name.size() - 4) + ".argb"));
    ASSERT_EQ(expected.size(), size_t(e.width) * e.height * 4);
    const int tolerance = e.bitDepth == 16 ? 1 : 0;
    for (size_t i = 0; i < size_t(e.width) * e.height; ++i) {
      uint32_t want;
      std::memcpy(&want, expected.data() + i * 4, 4);  // little-endian host
      const uint32_t got = bitmap.Bits()[i];
      for (int shift = 0; shift < 32; shift += 8) {
        const int diff = int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF);
        ASSERT_LE(std::abs(diff), tolerance) << "pixel " << i << std::hex << " got " << got << " want " << want;
      }
    }
    ++checked;
  }
  EXPECT_EQ(checked, 161);
}

TEST(PngLoader, CorruptImagesAreRejectedAndLeaveTheBitmapUntouched) {
  int rejected = 0;
  for (const Entry& e : Manifest()) {
    if (e.valid) continue;
    SCOPED_TRACE(e.name);
    TBitmap32 bitmap;
    bitmap.SetSize(3, 2);
    bitmap.Clear(0x12345678);
    LoadPngFile(bitmap, (SuiteDir() / e.name).string());
    ASSERT_EQ(bitmap.Width(), 3);
    ASSERT_EQ(bitmap.Height(), 2);
    for (int i = 0; i < 6; ++i) ASSERT_EQ(bitmap.Bits()[i], 0x12345678u);
    ++rejected;
  }
  EXPECT_EQ(rejected, 14);
}

TEST(PngLoader, TruncatedFilesFailCleanlyAtEveryLength) {
  const std::string whole = ReadFile(SuiteDir() / "basn6a08.png");
  for (size_t len = 0; len < whole.size(); len += 7) {
    TBitmap32 bitmap;
    std::istringstream stream(whole.substr(0, len));
    LoadPngStream(bitmap, stream);
    ASSERT_TRUE(bitmap.Empty()) << len;
  }
}

// Found by fuzzing: libpng's default error handler printed every refusal on standard error.
TEST(PngLoader, RefusedPicturesReportNothing) {
  const std::string whole = ReadFile(SuiteDir() / "basn6a08.png");
  std::string badCrc = whole;
  badCrc[20] = static_cast<char>(badCrc[20] ^ 1);  // inside IHDR, its CRC no longer matches
  testing::internal::CaptureStderr();
  EXPECT_FALSE(DecodePng("not a picture"));
  EXPECT_FALSE(DecodePng(whole.substr(0, whole.size() / 2)));
  EXPECT_FALSE(DecodePng(badCrc));
  for (const Entry& e : Manifest()) {
    if (e.valid) continue;
    EXPECT_FALSE(DecodePng(ReadFile(SuiteDir() / e.name))) << e.name;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(PngLoader, AlphaIsKeptExactlyAndOtherTypesBecomeOpaque) {
  const std::string rgba = EncodeRgba(2, 1, {255, 0, 0, 0, 0, 0, 255, 128});
  std::istringstream stream(rgba);
  TBitmap32 bitmap;
  LoadPngStream(bitmap, stream);
  ASSERT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(bitmap.Bits()[0], 0x00FF0000u);  // alpha 0 keeps its colour
  EXPECT_EQ(bitmap.Bits()[1], 0x800000FFu);

  const std::string rgb = EncodeRgba(1, 1, {10, 20, 30}, PNG_COLOR_TYPE_RGB);
  std::istringstream rgbStream(rgb);
  LoadPngStream(bitmap, rgbStream);
  ASSERT_EQ(bitmap.Width(), 1);
  EXPECT_EQ(bitmap.Bits()[0], 0xFF0A141Eu);
}

TEST(PngLoader, ExtensionIsComparedWithoutLetterCaseAndMissingFilesChangeNothing) {
  const fs::path dir = fs::temp_directory_path() / ("qf_png_case_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string bytes = ReadFile(SuiteDir() / "basn2c08.png");
  for (const char* name : {"a.png", "b.PNG", "c.Png"}) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    TBitmap32 bitmap;
    LoadBitmapFile(bitmap, (dir / name).string());
    EXPECT_EQ(bitmap.Width(), 32) << name;
  }
  std::ofstream(dir / "d.bmp", std::ios::binary) << bytes;
  TBitmap32 other;
  LoadBitmapFile(other, (dir / "d.bmp").string());
  EXPECT_TRUE(other.Empty());
  TBitmap32 missing;
  LoadBitmapFile(missing, (dir / "missing.png").string());
  EXPECT_TRUE(missing.Empty());
  fs::remove_all(dir);
}

TEST(PngLoader, AbsurdDimensionsAreRefused) {
  // A valid header claiming 100000 x 100000 pixels, with no data behind it.
  std::string bytes = ReadFile(SuiteDir() / "basn0g08.png");
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = char(v >> (24 - 8 * i));
  };
  put32(16, 100000);
  put32(20, 100000);
  const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + 12), 17);
  put32(29, crc);
  EXPECT_FALSE(DecodePng(bytes).has_value());
}
