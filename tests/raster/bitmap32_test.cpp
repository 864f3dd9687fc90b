#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "base/errors.h"
#include "raster/bitmap32.h"

using namespace qf;

namespace {
constexpr TColor32 kRed = 0xFFC80000u;
constexpr TColor32 kBack = 0xFF102030u;

// Every pixel outside the rectangle still holds `outside`, every pixel inside `inside`.
void ExpectRect(const TBitmap32& bmp, const TRect& r, TColor32 inside, TColor32 outside) {
  for (int32_t y = 0; y < bmp.Height(); ++y)
    for (int32_t x = 0; x < bmp.Width(); ++x)
      ASSERT_EQ(bmp.Pixel(x, y), r.Contains(x, y) ? inside : outside) << x << "," << y;
}

void MakeSolid(TBitmap32& bmp, int32_t w, int32_t h, TColor32 c) {
  bmp.SetSize(w, h);
  bmp.Clear(c);
}
}  // namespace

TEST(Bitmap32, SizingZeroesAndRefusesWhatCannotBeHeld) {
  TBitmap32 bmp;
  EXPECT_TRUE(bmp.Empty());
  bmp.SetSize(3, 2);
  EXPECT_EQ(bmp.ClipRect(), MakeRect(0, 0, 3, 2));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(bmp.Bits()[i], 0u);
  bmp.Clear(kRed);
  bmp.SetSize(3, 2);  // unchanged size: nothing happens
  EXPECT_EQ(bmp.Pixel(2, 1), kRed);
  bmp.SetSize(2, 3);
  EXPECT_EQ(bmp.Pixel(1, 2), 0u);

  bmp.SetSize(-5, 10);
  EXPECT_EQ(bmp.Width(), 0);
  EXPECT_EQ(bmp.Height(), 10);
  EXPECT_TRUE(bmp.Empty());

  // Sizes whose byte count overflows a signed 32-bit size fail and leave the bitmap empty.
  MakeSolid(bmp, 4, 4, kRed);
  for (auto [w, h] : {std::pair{65536, 65536}, std::pair{100000, 100000}, std::pair{1 << 30, 2}}) {
    try {
      bmp.SetSize(w, h);
      FAIL() << "no failure for " << w << " x " << h;
    } catch (const EBitmapSizeError& e) {
      EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
    }
    EXPECT_EQ(bmp.Width(), 0);
    EXPECT_EQ(bmp.Height(), 0);
    EXPECT_TRUE(bmp.ClipRect().IsEmpty());
  }
  bmp.SetSize(2, 2);  // and it is usable again
  EXPECT_EQ(bmp.Pixel(1, 1), 0u);
}

// A size whose store cannot be had fails with the platform's message and leaves the bitmap
// empty, whatever the extremes of the two sides; one that can is held.
TEST(Bitmap32, SizesAtTheExtremesOfBothSides) {
  constexpr int32_t kMax = INT32_MAX;
  constexpr int64_t kMaxPixels = TBitmap32::kMaxStoreBytes / 4;  // 2^29 - 1 = 233 * 1103 * 2089
  TBitmap32 bmp;
  int changes = 0;
  bmp.OnAreaChanged = [&](const TRect&) { ++changes; };
  for (auto [w, h] : {std::pair{kMax, kMax}, std::pair{kMax, 1}, std::pair{1, kMax},
                      std::pair{kMax, 2}, std::pair{65536, 32768}, std::pair{1 << 29, 1},
                      std::pair{1, 1 << 29}, std::pair{16384, 32768}}) {
    MakeSolid(bmp, 10, 10, kRed);
    changes = 0;
    try {
      bmp.SetSize(w, h);
      ADD_FAILURE() << "no failure for " << w << " x " << h;
    } catch (const EBitmapSizeError& e) {
      EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
    }
    EXPECT_EQ(bmp.Width(), 0) << w << " x " << h;
    EXPECT_EQ(bmp.Height(), 0);
    EXPECT_EQ(bmp.Bits(), nullptr);
    EXPECT_TRUE(bmp.ClipRect().IsEmpty());
    EXPECT_EQ(changes, 1) << "the old area is reported as changed";
  }

  // Negative sides count as 0, so the extremes below are empty bitmaps, not failures.
  for (auto [w, h, ew, eh] : {std::tuple{INT32_MIN, INT32_MIN, 0, 0}, std::tuple{INT32_MIN, 5, 0, 5},
                              std::tuple{kMax, 0, kMax, 0}, std::tuple{0, kMax, 0, kMax},
                              std::tuple{kMax, -1, kMax, 0}}) {
    MakeSolid(bmp, 10, 10, kRed);
    bmp.SetSize(w, h);
    EXPECT_EQ(bmp.Width(), ew);
    EXPECT_EQ(bmp.Height(), eh);
    EXPECT_TRUE(bmp.Empty());
    EXPECT_EQ(bmp.Bits(), nullptr);
    bmp.Clear(kRed);  // nothing to do, nothing touched
  }

  // Just at the limit, in either orientation: held, zeroed, and writable at its far end.
  for (auto [w, h] : {std::pair{int32_t{233 * 1103}, int32_t{2089}},
                      std::pair{int32_t{2089}, int32_t{233 * 1103}}}) {
    ASSERT_EQ(int64_t{w} * h, kMaxPixels);
    MakeSolid(bmp, 10, 10, kRed);
    bmp.SetSize(w, h);
    ASSERT_EQ(bmp.Width(), w);
    ASSERT_EQ(bmp.Height(), h);
    EXPECT_EQ(bmp.Pixel(w - 1, h - 1), 0u);
    bmp.SetPixelClipped(w - 1, h - 1, kRed);
    EXPECT_EQ(bmp.GetPixelClipped(w - 1, h - 1), kRed);
    EXPECT_EQ(bmp.GetPixelClipped(w, h - 1), 0u);
  }
  // One pixel more is refused.
  EXPECT_THROW(bmp.SetSize(int32_t{1 << 29}, 1), EBitmapSizeError);
  EXPECT_TRUE(bmp.Empty());
}

#if !defined(__SANITIZE_ADDRESS__)
// Exits with 0 when a size within the limit, in a process whose address space is capped
// below it, fails as a size beyond the limit does.
[[noreturn]] void SizeWithoutTheMemory() {
  const rlimit limit{rlim_t{1} << 30, rlim_t{1} << 30};
  if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(2);
  TBitmap32 bmp;
  MakeSolid(bmp, 10, 10, kRed);
  try {
    bmp.SetSize(1 << 14, (1 << 15) - 1);  // 2 GiB less 64 KiB
  } catch (const EBitmapSizeError& e) {
    const bool empty = bmp.Width() == 0 && bmp.Height() == 0 && bmp.Bits() == nullptr;
    std::_Exit(std::string(e.what()) == "Can't allocate the DIB handle" && empty ? 0 : 3);
  }
  std::_Exit(4);
}

// (The address sanitizer's allocator reports running out instead of failing the request.)
TEST(Bitmap32DeathTest, AStoreThatCannotBeHadLeavesTheBitmapEmpty) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(SizeWithoutTheMemory(), ::testing::ExitedWithCode(0), "");
}
#endif

TEST(Bitmap32, DrawClipsAtEveryEdge) {
  TBitmap32 sprite;
  MakeSolid(sprite, 10, 10, kRed);
  TBitmap32 field;
  field.SetSize(400, 400);

  field.Draw(-3, 395, sprite);
  ExpectRect(field, MakeRect(0, 395, 7, 400), kRed, 0);

  struct Case {
    int32_t x, y;
    TRect expect;
  };
  for (const Case& c : {Case{-4, -6, {0, 0, 6, 4}}, Case{395, -2, {395, 0, 400, 8}},
                        Case{396, 393, {396, 393, 400, 400}}, Case{100, 398, {100, 398, 110, 400}},
                        Case{-9, 200, {0, 200, 1, 210}}, Case{50, 60, {50, 60, 60, 70}}}) {
    field.Clear(0);
    field.Draw(c.x, c.y, sprite);
    ExpectRect(field, c.expect, kRed, 0);
  }
  // Wholly outside, at the far ends of the coordinate range too: nothing.
  for (auto [x, y] : {std::pair{-10, 0}, std::pair{400, 0}, std::pair{0, 400}, std::pair{0, -10},
                      std::pair{INT32_MAX, INT32_MAX}, std::pair{INT32_MIN, INT32_MIN}}) {
    field.Clear(0);
    field.Draw(x, y, sprite);
    ExpectRect(field, TRect{}, 0, 0);
  }
  // A narrower clip rectangle holds drawing, filling and pixel writes; Clear still covers all.
  field.SetClipRect(MakeRect(10, 20, 30, 40));
  field.Draw(5, 15, sprite);
  field.FillRect(25, 35, 50, 50, kRed);
  field.BlendPixel(9, 20, kRed);
  field.SetPixelClipped(30, 39, kRed);
  for (int32_t y = 0; y < 400; ++y)
    for (int32_t x = 0; x < 400; ++x) {
      const bool in = MakeRect(10, 20, 15, 25).Contains(x, y) ||
                      MakeRect(25, 35, 30, 40).Contains(x, y);
      ASSERT_EQ(field.Pixel(x, y), in ? kRed : 0u) << x << "," << y;
    }
  field.Clear(kRed);
  EXPECT_EQ(field.Pixel(0, 0), kRed);
}

TEST(Bitmap32, DrawCopiesOrBlendsBySourceMode) {
  TBitmap32 src;
  src.SetSize(2, 1);
  src.SetPixel(0, 0, 0x00FFFFFFu);  // transparent
  src.SetPixel(1, 0, 0x80FFFFFFu);  // half-transparent white
  TBitmap32 dst;
  MakeSolid(dst, 3, 1, 0xFF000000u);

  dst.Draw(0, 0, src);  // opaque mode copies, alpha and all
  EXPECT_EQ(dst.Pixel(0, 0), 0x00FFFFFFu);
  EXPECT_EQ(dst.Pixel(1, 0), 0x80FFFFFFu);
  EXPECT_EQ(dst.Pixel(2, 0), 0xFF000000u);

  dst.Clear(0xFF000000u);
  src.DrawMode = dmBlend;
  dst.Draw(1, 0, src);
  EXPECT_EQ(dst.Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(dst.Pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(dst.Pixel(2, 0), Color32(128, 128, 128, 192));

  dst.Clear(0xFF000000u);
  src.MasterAlpha = 0;
  dst.Draw(0, 0, src);
  EXPECT_EQ(dst.Pixel(1, 0), 0xFF000000u);

  // Empty or absent sources, and empty targets, draw nothing and do not fail.
  TBitmap32 empty;
  dst.Draw(0, 0, empty);
  dst.Draw(0, 0, nullptr);
  src.MasterAlpha = 255;
  empty.Draw(0, 0, src);
  EXPECT_EQ(dst.Pixel(1, 0), 0xFF000000u);

  // Drawn onto itself, the source is the picture as it was.
  TBitmap32 self;
  self.SetSize(4, 1);
  for (int32_t x = 0; x < 4; ++x) self.SetPixel(x, 0, 0xFF000000u | static_cast<TColor32>(x));
  self.Draw(1, 0, self);
  EXPECT_EQ(self.Pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(self.Pixel(2, 0), 0xFF000001u);
  EXPECT_EQ(self.Pixel(3, 0), 0xFF000002u);
}

TEST(Bitmap32, FrameRectDrawsRingsLinesAndSinglePixels) {
  TBitmap32 bmp;
  MakeSolid(bmp, 400, 400, kBack);
  bmp.FrameRect(0, 0, 400, 400, kRed);
  for (int32_t y = 0; y < 400; ++y)
    for (int32_t x = 0; x < 400; ++x) {
      const bool ring = x == 0 || y == 0 || x == 399 || y == 399;
      ASSERT_EQ(bmp.Pixel(x, y), ring ? kRed : kBack) << x << "," << y;
    }

  TBitmap32 small;
  MakeSolid(small, 10, 10, kBack);
  small.FrameRect(5, 5, 6, 6, kRed);
  ExpectRect(small, MakeRect(5, 5, 6, 6), kRed, kBack);

  // One row high and one column wide.
  small.Clear(kBack);
  small.FrameRect(2, 3, 7, 4, kRed);
  ExpectRect(small, MakeRect(2, 3, 7, 4), kRed, kBack);
  small.Clear(kBack);
  small.FrameRect(4, 1, 5, 8, kRed);
  ExpectRect(small, MakeRect(4, 1, 5, 8), kRed, kBack);

  // Two rows high: top and bottom, no sides needed.
  small.Clear(kBack);
  small.FrameRect(1, 1, 5, 3, kRed);
  ExpectRect(small, MakeRect(1, 1, 5, 3), kRed, kBack);

  // Partly outside: only the parts inside are drawn; the outline stays where it would be.
  small.Clear(kBack);
  small.FrameRect(-3, -3, 4, 4, kRed);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) {
      const bool edge = (x == 3 && y <= 3) || (y == 3 && x <= 3);
      ASSERT_EQ(small.Pixel(x, y), edge ? kRed : kBack) << x << "," << y;
    }

  // Empty or wholly outside rectangles draw nothing; stored colours are not blended.
  small.Clear(kBack);
  small.FrameRect(5, 5, 5, 9, kRed);
  small.FrameRect(6, 2, 3, 9, kRed);
  small.FrameRect(10, 0, 20, 10, kRed);
  small.FrameRect(-5, -5, 0, 0, kRed);
  ExpectRect(small, TRect{}, 0, kBack);
  small.FrameRect(0, 0, 2, 2, 0x00000000u);
  EXPECT_EQ(small.Pixel(0, 0), 0u);
}

TEST(Bitmap32, PixelAccessFillAndAlphaReset) {
  TBitmap32 bmp;
  MakeSolid(bmp, 400, 400, 0xFF000000u);
  bmp.OuterColor = 0x12345678u;
  bmp.BlendPixel(400, 10, 0xFFFFFFFFu);
  bmp.BlendPixel(-1, 10, 0xFFFFFFFFu);
  EXPECT_EQ(bmp.GetPixelClipped(400, 10), 0x12345678u);
  EXPECT_EQ(bmp.GetPixelClipped(10, -1), 0x12345678u);
  EXPECT_EQ(bmp.GetPixelClipped(399, 10), 0xFF000000u);
  bmp.BlendPixel(399, 399, 0x80FFFFFFu);
  EXPECT_EQ(bmp.Pixel(399, 399), Color32(128, 128, 128, 192));
  bmp.SetPixelClipped(0, 0, 0x01020304u);
  bmp.SetPixelClipped(0, 400, 0x01020304u);
  EXPECT_EQ(bmp.Pixel(0, 0), 0x01020304u);

  TBitmap32 small;
  MakeSolid(small, 6, 5, kRed);
  small.FillRect(2, 2, 5, 4, 0x00000000u);  // stored, not blended
  ExpectRect(small, MakeRect(2, 2, 5, 4), 0u, kRed);
  small.FillRect(-2, -2, 100, 1, 0xFF00FF00u);  // kept inside the bitmap
  for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(small.Pixel(x, 0), 0xFF00FF00u);
  EXPECT_EQ(small.Pixel(0, 1), kRed);

  small.Clear(0x00123456u);
  small.SetPixel(1, 1, 0x7F000000u);
  small.ResetAlpha();
  EXPECT_EQ(small.Pixel(0, 0), 0xFF123456u);
  EXPECT_EQ(small.Pixel(1, 1), 0xFF000000u);

  // Operations on an empty bitmap do nothing.
  TBitmap32 empty;
  empty.Clear(kRed);
  empty.FillRect(0, 0, 5, 5, kRed);
  empty.FrameRect(0, 0, 5, 5, kRed);
  empty.BlendPixel(0, 0, kRed);
  empty.SetPixelClipped(0, 0, kRed);
  empty.ResetAlpha();
  empty.RenderText(0, 0, "x", 1, kRed);
  EXPECT_EQ(empty.GetPixelClipped(0, 0), 0u);
}

TEST(Bitmap32, ChangesAreNotifiedOutsideUpdatesOnly) {
  TBitmap32 bmp;
  std::vector<TRect> areas;
  bmp.OnAreaChanged = [&](const TRect& r) { areas.push_back(r); };
  bmp.SetSize(20, 10);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas.back(), MakeRect(0, 0, 20, 10));

  TBitmap32 sprite;
  MakeSolid(sprite, 4, 4, kRed);
  bmp.Draw(18, -1, sprite);
  ASSERT_EQ(areas.size(), 2u);
  EXPECT_EQ(areas.back(), MakeRect(18, 0, 20, 3));
  bmp.BlendPixel(1, 1, kRed);  // particles are not reported one by one
  EXPECT_EQ(areas.size(), 2u);

  bmp.BeginUpdate();
  bmp.Clear(0);
  bmp.FillRect(0, 0, 2, 2, kRed);
  bmp.EndUpdate();  // sends nothing by itself
  EXPECT_EQ(areas.size(), 2u);
  bmp.FillRect(0, 0, 2, 2, kRed);
  EXPECT_EQ(areas.size(), 3u);

  try {
    bmp.EndUpdate();
    FAIL() << "unpaired EndUpdate passed";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Unpaired TThreadPersistent.EndUpdate");
  }
  EXPECT_EQ(bmp.UpdateCount(), 0);
}
