#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raster/bitmap32.h"
#include "raster/glyph_pack.h"
#include "raster/text.h"

using namespace qf;

namespace {

const TFont kStatus{"Arial", 16};

struct Drawn {
  std::vector<uint32_t> pixels;
  TSize extent;
};

// The status bar's texts drawn at both levels the game uses, and their extents.
Drawn DrawStatusTexts() {
  TBitmap32 bar;
  bar.SetSize(400, 60);
  bar.Clear(0xFF204060u);
  bar.Font = kStatus;
  bar.RenderText(2, 2, "30", 1, 0xFFFFFFFFu);
  bar.RenderText(40, 2, "Gen 127", 0, 0xFFFFFFFFu);
  bar.RenderText(140, 2, "1234.50 FPS", 1, 0x80FFFFFFu);
  std::string all;
  for (int c = 32; c < 256; ++c) all.push_back(static_cast<char>(c));
  bar.RenderText(-10, 30, all, 0, 0xFFFFFF00u);
  bar.RenderText(-300, 30, all, 1, 0xFF00FFFFu);
  return {std::vector<uint32_t>(bar.Bits(), bar.Bits() + 400 * 60), bar.TextExtent(all)};
}

class GlyphPack : public ::testing::Test {
protected:
  void TearDown() override { UseSystemGlyphs(); }
};

}  // namespace

TEST_F(GlyphPack, TextFromThePackIsTheRasterisersPixelForPixel) {
  ASSERT_TRUE(FontAvailable("Arial"));
  const Drawn system = DrawStatusTexts();
  const std::string pack = MakeGlyphPack({{kStatus, 0}, {kStatus, 1}});
  ASSERT_FALSE(pack.empty());
  // On/off glyphs go one bit a pixel: the status bar's two sizes stay small.
  EXPECT_LT(pack.size(), 64u * 1024);

  ASSERT_TRUE(UseGlyphPack(pack));
  const Drawn packed = DrawStatusTexts();
  EXPECT_EQ(packed.extent, system.extent);
  EXPECT_TRUE(packed.pixels == system.pixels);

  // Only what was packed can be drawn: another font or size gives nothing, as no font does.
  EXPECT_FALSE(FontAvailable("Courier"));
  EXPECT_EQ(RenderTextMask(TFont{"Arial", 12}, "12", 0), nullptr);
  EXPECT_EQ(RenderTextMask(kStatus, "12", 2), nullptr);
  EXPECT_NE(RenderTextMask(kStatus, "12", 1), nullptr);
}

TEST_F(GlyphPack, ADamagedPackIsRefusedAndChangesNothing) {
  const std::string pack = MakeGlyphPack({{kStatus, 0}, {kStatus, 1}});
  ASSERT_FALSE(pack.empty());
  const Drawn system = DrawStatusTexts();

  std::vector<std::string> bad = {"", "QFGLYPH0" + pack.substr(8), pack + "x"};
  for (size_t cut = 0; cut < pack.size(); cut += 101) bad.push_back(pack.substr(0, cut));
  bad.push_back(pack.substr(0, pack.size() - 1));
  std::string huge = pack;
  huge[8 + 4 + 2 + 5 + 4 + 1 + 4 + 4 + 8 + 3] = '\x7F';  // the first glyph far too wide
  bad.push_back(huge);
  for (const std::string& b : bad) EXPECT_FALSE(UseGlyphPack(b)) << b.size();

  EXPECT_TRUE(DrawStatusTexts().pixels == system.pixels);
  EXPECT_TRUE(MakeGlyphPack({{TFont{"", 0}, 0}}).empty());
}
