#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "raster/bitmap32.h"
#include "raster/text.h"

using namespace qf;

// A font configuration that names no font directory: the machine has no fonts at all.
TEST(NoFont, TextDrawsNothingAndNothingFails) {
  // A folder of this process: the other builds' runs of this test remove theirs when done.
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(testing::TempDir()) / ("qf_nofont_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path conf = dir / "fonts.conf";
  {
    std::ofstream out(conf);
    out << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
           "<fontconfig></fontconfig>\n";
  }
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  setenv("FONTCONFIG_PATH", dir.c_str(), 1);

  EXPECT_FALSE(FontAvailable("Arial"));
  TBitmap32 bar;
  bar.SetSize(400, 30);
  bar.Clear(0x11223344u);
  bar.Font = TFont{"Arial", 16};
  for (int32_t level = -1; level <= 4; ++level)
    bar.RenderText(26, 2, "62.50 FPS", level, 0xFFFFFFFFu);
  for (int32_t i = 0; i < 400 * 30; ++i) ASSERT_EQ(bar.Bits()[i], 0x11223344u);
  EXPECT_EQ(bar.TextExtent("62.50 FPS"), (TSize{0, 0}));
  EXPECT_EQ(RenderTextMask(bar.Font, "x", 0), nullptr);
  fs::remove_all(dir);
}
