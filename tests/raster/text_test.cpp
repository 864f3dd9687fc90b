#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "raster/bitmap32.h"
#include "raster/text.h"

using namespace qf;

namespace {
TFont StatusFont() { return TFont{"Arial", 16}; }

std::set<int> Alphas(const TTextMask& m) { return std::set<int>(m.Alpha.begin(), m.Alpha.end()); }
}  // namespace

TEST(Text, SizesArePointsAt96Dpi) {
  EXPECT_EQ(FontPixelSize(16), 21);
  EXPECT_EQ(FontPixelSize(32), 43);
  EXPECT_EQ(FontPixelSize(12), 16);
  EXPECT_EQ(FontPixelSize(-30), 30);
  EXPECT_EQ(FontPixelSize(0), 0);
}

TEST(Text, ExtentGrowsWithTheStringAndHasOneLineHeight) {
  ASSERT_TRUE(FontAvailable("Arial"));
  const TFont font = StatusFont();
  const TSize none = TextExtent(font, "");
  const TSize one = TextExtent(font, "1");
  const TSize two = TextExtent(font, "12");
  const TSize fps = TextExtent(font, "62.50 FPS");
  EXPECT_EQ(none.cx, 0);
  EXPECT_GT(one.cx, 0);
  EXPECT_GT(two.cx, one.cx);
  EXPECT_GT(fps.cx, two.cx);
  // A 21-pixel em gives a line a little taller than the em, the same for every string.
  EXPECT_GE(one.cy, 22);
  EXPECT_LE(one.cy, 27);
  EXPECT_EQ(none.cy, one.cy);
  EXPECT_EQ(fps.cy, one.cy);
  // Bigger sizes measure bigger.
  EXPECT_GT(TextExtent(TFont{"Arial", 32}, "12").cx, two.cx);
}

TEST(Text, LevelZeroIsOnOffAndLevelOneHasFiveSteps) {
  ASSERT_TRUE(FontAvailable("Arial"));
  const TFont font = StatusFont();
  const TTextMask* m0 = RenderTextMask(font, "Gen 12", 0);
  ASSERT_NE(m0, nullptr);
  const TSize measured = TextExtent(font, "Gen 12 ");
  EXPECT_EQ(m0->Width, measured.cx);  // the text with one space after it
  EXPECT_EQ(m0->Height, measured.cy);
  const std::set<int> a0 = Alphas(*m0);
  EXPECT_EQ(a0, (std::set<int>{0, 255}));

  const TTextMask* m1 = RenderTextMask(font, "62.50 FPS", 1);
  ASSERT_NE(m1, nullptr);
  const std::set<int> a1 = Alphas(*m1);
  for (int a : a1) EXPECT_TRUE(a == 0 || a == 63 || a == 127 || a == 191 || a == 255) << a;
  EXPECT_GE(a1.size(), 4u);  // real edges are smoothed, not just on and off
  // The mask is half the doubled-size measure, rounded up by one block.
  const TSize big = TextExtent(TFont{"Arial", 32}, "62.50 FPS ");
  EXPECT_EQ(m1->Width, (big.cx >> 1) + 1);
  EXPECT_EQ(m1->Height, (big.cy >> 1) + 1);

  // Higher levels stay within 0..255 and reach both ends.
  for (int32_t level : {2, 3, 4, 9}) {
    const TTextMask* m = RenderTextMask(font, "8", level);
    ASSERT_NE(m, nullptr);
    const std::set<int> a = Alphas(*m);
    EXPECT_EQ(*a.begin(), 0);
    EXPECT_EQ(*a.rbegin(), 255) << level;
  }
  // The smooth level has grey steps of its own.
  const TTextMask* smooth = RenderTextMask(font, "Gen", -5);
  ASSERT_NE(smooth, nullptr);
  EXPECT_GT(Alphas(*smooth).size(), 5u);
}

TEST(Text, RenderTextBlendsTheMaskInPlace) {
  ASSERT_TRUE(FontAvailable("Arial"));
  TBitmap32 bar;
  bar.SetSize(400, 30);
  bar.Font = StatusFont();
  std::vector<TRect> areas;
  bar.OnAreaChanged = [&](const TRect& r) { areas.push_back(r); };

  bar.RenderText(290, 2, "62.50 FPS", 1, 0xFFFFFFFFu);
  const TTextMask* m = RenderTextMask(bar.Font, "62.50 FPS", 1);
  ASSERT_NE(m, nullptr);
  int on = 0;
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 400; ++x) {
      const bool inside = x >= 290 && x < 290 + m->Width && y >= 2 && y < 2 + m->Height;
      const TColor32 alpha =
          inside ? m->Alpha[static_cast<size_t>((y - 2) * m->Width + x - 290)] : 0u;
      const TColor32 expect = inside ? BlendReg(0x00FFFFFFu | alpha << 24, 0) : 0u;
      ASSERT_EQ(bar.Pixel(x, y), expect) << x << "," << y;
      on += bar.Pixel(x, y) != 0;
    }
  EXPECT_GT(on, 40);
  ASSERT_FALSE(areas.empty());
  EXPECT_EQ(areas.back().Left, 290);
  EXPECT_EQ(areas.back().Top, 2);

  // Level 0 in a colour: opaque pixels of exactly that colour, nothing else touched.
  bar.Clear(0);
  bar.RenderText(160, 2, "Gen 7", 0, 0xFF20C040u);
  for (int32_t i = 0; i < 400 * 30; ++i) {
    const TColor32 p = bar.Bits()[i];
    ASSERT_TRUE(p == 0 || p == 0xFF20C040u) << std::hex << p;
  }
  // A transparent colour draws nothing; text past the edges is clipped, not a fault.
  bar.Clear(0);
  bar.RenderText(10, 2, "Gen 7", 0, 0x00FFFFFFu);
  bar.RenderText(390, 20, "Gen 7", 1, 0xFFFFFFFFu);
  bar.RenderText(-20, -10, "Gen 7", 1, 0xFFFFFFFFu);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 60; x < 390; ++x) ASSERT_EQ(bar.Pixel(x, y), 0u) << x << "," << y;
}

TEST(Text, CachedRunsGiveTheSamePixels) {
  ASSERT_TRUE(FontAvailable("Arial"));
  TBitmap32 a, b;
  for (TBitmap32* bmp : {&a, &b}) {
    bmp->SetSize(200, 30);
    bmp->Font = StatusFont();
  }
  a.RenderText(3, 1, "Lives 4", 1, 0xFFFFFFFFu);
  // Enough other strings to overflow the run cache in between.
  for (int i = 0; i < 600; ++i) b.RenderText(0, 0, std::to_string(i), i % 2, 0xFFFFFFFFu);
  b.Clear(0);
  b.RenderText(3, 1, "Lives 4", 1, 0xFFFFFFFFu);
  EXPECT_EQ(std::vector<TColor32>(a.Bits(), a.Bits() + 200 * 30),
            std::vector<TColor32>(b.Bits(), b.Bits() + 200 * 30));
}

// Runs are cached by font name, size, level and text: the same text with any one of the
// others changed is rendered anew, and the colour is applied afresh at every call.
TEST(Text, TheSameTextInAnotherFontSizeLevelOrColourIsNotTakenFromTheCache) {
  ASSERT_TRUE(FontAvailable("Arial"));
  ASSERT_TRUE(FontAvailable("Liberation Mono"));
  const std::string text = "Wave 30";
  const auto mask = [&](const TFont& font, int32_t level) {
    const TTextMask* m = RenderTextMask(font, text, level);
    EXPECT_NE(m, nullptr);
    return m ? *m : TTextMask{};
  };
  const TTextMask on = mask(TFont{"Arial", 16}, 0);
  const TTextMask smoothed = mask(TFont{"Arial", 16}, 1);
  const TTextMask smooth = mask(TFont{"Arial", 16}, -1);
  const TTextMask bigger = mask(TFont{"Arial", 24}, 0);
  const TTextMask mono = mask(TFont{"Liberation Mono", 16}, 0);
  EXPECT_EQ(Alphas(on), (std::set<int>{0, 255}));
  EXPECT_GT(Alphas(smoothed).size(), 2u);
  EXPECT_GT(Alphas(smooth).size(), 2u);
  EXPECT_GT(bigger.Height, on.Height);
  EXPECT_FALSE(mono.Width == on.Width && mono.Alpha == on.Alpha);

  TBitmap32 bar;
  bar.SetSize(100, 30);
  bar.Font = StatusFont();
  for (TColor32 color : {0xFFFFFFFFu, 0xFFFF0000u}) {
    bar.Clear(0);
    bar.RenderText(0, 0, text, 0, color);
    std::set<TColor32> colors(bar.Bits(), bar.Bits() + 100 * 30);
    EXPECT_EQ(colors, (std::set<TColor32>{0, color}));
  }
}
