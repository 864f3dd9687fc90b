#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "base/errors.h"
#include "raster/image32.h"

using namespace qf;

namespace {
const TColor32 kFace = Color32(240, 240, 240, 255);
constexpr TColor32 kGrass = 0xFF208020u;

// A pixel that tells where it came from: column in the low 12 bits, row above them.
TColor32 Code(int32_t x, int32_t y) {
  return 0xFF000000u | static_cast<TColor32>(y) << 12 | static_cast<TColor32>(x);
}
int32_t CodeX(TColor32 c) { return static_cast<int32_t>(c & 0xFFF); }
int32_t CodeY(TColor32 c) { return static_cast<int32_t>((c >> 12) & 0xFFF); }

void FillCoded(TBitmap32& bmp, int32_t w, int32_t h) {
  bmp.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) bmp.SetPixel(x, y, Code(x, y));
}

struct GameView {
  TImage32 view;
  int repaints = 0;
  GameView() {
    view.OnRepaintRequest = [this] { ++repaints; };
    view.SetBounds(0, 0, 471, 503);
  }
};
}  // namespace

TEST(View, BackgroundIsCentredWithMarginsInTheFaceColour) {
  GameView g;
  g.view.Bitmap.SetSize(400, 400);
  g.view.Bitmap.Clear(kGrass);
  EXPECT_EQ(g.view.GetViewportRect(), MakeRect(0, 0, 471, 503));
  EXPECT_EQ(g.view.GetBitmapRect(), MakeRect(35, 51, 435, 451));
  const TBitmap32& out = g.view.Paint();
  ASSERT_EQ(out.Width(), 471);
  ASSERT_EQ(out.Height(), 503);
  for (int32_t y = 0; y < 503; ++y)
    for (int32_t x = 0; x < 471; ++x) {
      const bool pic = x >= 35 && x < 435 && y >= 51 && y < 451;
      ASSERT_EQ(g.view.Pixels()[y * 471 + x], pic ? kGrass : kFace) << x << "," << y;
    }

  // A blended background lies over the face colour; an empty one leaves only the colour.
  g.view.Bitmap.Clear(0x80000000u);
  g.view.Bitmap.DrawMode = dmBlend;
  g.view.Paint();
  EXPECT_EQ(out.Pixel(0, 0), kFace);
  EXPECT_EQ(out.Pixel(35, 51), BlendReg(0x80000000u, kFace));
  g.view.Bitmap.SetSize(0, 0);
  g.view.Color = clBlack;
  g.view.Paint();
  EXPECT_EQ(out.Pixel(235, 251), 0xFF000000u);

  // A picture larger than the control is centred too, cut on every side.
  FillCoded(g.view.Bitmap, 501, 520);
  g.view.Bitmap.DrawMode = dmOpaque;
  g.view.Paint();
  EXPECT_EQ(out.Pixel(0, 0), Code(15, 8));
  EXPECT_EQ(out.Pixel(470, 502), Code(485, 510));
}

TEST(View, LayersPaintInCreationOrderAndOnlyWhenVisible) {
  GameView g;
  g.view.Bitmap.SetSize(400, 400);
  g.view.Bitmap.Clear(kGrass);
  auto* low = g.view.LayerStack.Add<TBitmapLayer>();
  auto* high = g.view.LayerStack.Add<TBitmapLayer>();
  EXPECT_EQ(low->Location(), (TFloatRect{0, 0, 64, 64}));
  EXPECT_TRUE(low->Visible());
  EXPECT_EQ(g.view.LayerStack.Count(), 2);
  EXPECT_EQ(high->Index(), 1);

  low->Bitmap.SetSize(10, 10);
  low->Bitmap.Clear(0xFFFF0000u);
  low->SetLocation(TFloatRect{100, 100, 110, 110});
  high->Bitmap.SetSize(10, 10);
  high->Bitmap.Clear(0x800000FFu);
  high->Bitmap.DrawMode = dmBlend;
  high->SetLocation(TFloatRect{105, 105, 115, 115});

  const TBitmap32& out = g.view.Paint();
  EXPECT_EQ(out.Pixel(100, 100), 0xFFFF0000u);
  EXPECT_EQ(out.Pixel(107, 107), BlendReg(0x800000FFu, 0xFFFF0000u));
  EXPECT_EQ(out.Pixel(112, 112), BlendReg(0x800000FFu, kGrass));
  EXPECT_EQ(out.Pixel(115, 115), kGrass);

  const int before = g.repaints;
  low->SetVisible(false);
  EXPECT_GT(g.repaints, before);  // hiding asks for the area to be repainted
  g.view.Paint();
  EXPECT_EQ(out.Pixel(100, 100), kGrass);
  EXPECT_EQ(out.Pixel(107, 107), BlendReg(0x800000FFu, kGrass));

  // Empty bitmaps paint nothing, wherever they are placed.
  low->SetVisible(true);
  low->Bitmap.SetSize(0, 0);
  g.view.Paint();
  EXPECT_EQ(out.Pixel(100, 100), kGrass);

  g.view.LayerStack.Delete(0);
  EXPECT_EQ(g.view.LayerStack.Count(), 1);
  EXPECT_EQ(high->Index(), 0);
  EXPECT_THROW(g.view.LayerStack.Items(5), EListError);
}

TEST(View, StatusBarStretchRepeatsColumnZeroAndDropsTheLastRow) {
  GameView g;
  auto* hud = g.view.LayerStack.Add<TBitmapLayer>();
  FillCoded(hud->Bitmap, 400, 30);
  hud->SetLocation(TFloatRect{34, 21, 435, 50});
  const TBitmap32& out = g.view.Paint();

  std::set<int32_t> cols, rows;
  for (int32_t i = 0; i < 401; ++i) {
    const TColor32 c = out.Pixel(34 + i, 21);
    cols.insert(CodeX(c));
    if (i > 0) {
      ASSERT_GE(CodeX(c), CodeX(out.Pixel(33 + i, 21)));
    }
  }
  for (int32_t j = 0; j < 29; ++j) rows.insert(CodeY(out.Pixel(40, 21 + j)));
  EXPECT_EQ(CodeX(out.Pixel(34, 21)), 0);
  EXPECT_EQ(CodeX(out.Pixel(35, 21)), 0);
  EXPECT_EQ(CodeX(out.Pixel(36, 21)), 1);
  EXPECT_EQ(CodeX(out.Pixel(434, 21)), 399);
  EXPECT_EQ(cols.size(), 400u);  // every column shows, column 0 twice
  EXPECT_EQ(rows.size(), 29u);
  EXPECT_EQ(rows.count(29), 0u);
  EXPECT_EQ(*rows.rbegin(), 28);
  EXPECT_EQ(out.Pixel(33, 21), kFace);
  EXPECT_EQ(out.Pixel(435, 21), kFace);
  EXPECT_EQ(out.Pixel(40, 50), kFace);
  EXPECT_EQ(out.Pixel(40, 20), kFace);

  // Blended stretch: a transparent bitmap leaves the view as it was.
  hud->Bitmap.Clear(0);
  hud->Bitmap.DrawMode = dmBlend;
  g.view.Paint();
  EXPECT_EQ(out.Pixel(200, 30), kFace);
}

TEST(View, StretchEdgeCasesMapAsSpecifiedAndClip) {
  GameView g;
  auto* layer = g.view.LayerStack.Add<TBitmapLayer>();
  FillCoded(layer->Bitmap, 9, 4);
  // One pixel wide takes the middle column; doubling repeats each pixel.
  layer->SetLocation(TFloatRect{10, 10, 11, 18});
  const TBitmap32& out = g.view.Paint();
  for (int32_t j = 0; j < 8; ++j) EXPECT_EQ(out.Pixel(10, 10 + j), Code(4, j / 2));
  EXPECT_EQ(out.Pixel(11, 10), kFace);

  // Halves round to even: 10.5 -> 10, 19.5 -> 20, so the size matches and it is a plain draw.
  layer->SetLocation(TFloatRect{10.5f, 19.5f, 19.4f, 23.5f});
  EXPECT_EQ(layer->GetAdjustedRect(), MakeRect(10, 20, 19, 24));
  g.view.Paint();
  EXPECT_EQ(out.Pixel(10, 20), Code(0, 0));
  EXPECT_EQ(out.Pixel(18, 23), Code(8, 3));
  EXPECT_EQ(out.Pixel(19, 23), kFace);
  // One pixel wider: the last source column is reached only at the last destination column.
  layer->SetLocation(TFloatRect{10, 20, 20, 24});
  g.view.Paint();
  EXPECT_EQ(out.Pixel(18, 23), Code(7, 3));
  EXPECT_EQ(out.Pixel(19, 23), Code(8, 3));

  // Partly off the view: the mapping still counts from the unclipped edge.
  layer->SetLocation(TFloatRect{-9, -4, 9, 4});
  g.view.Paint();
  EXPECT_EQ(out.Pixel(0, 0), Code(4, 2));
  EXPECT_EQ(out.Pixel(8, 3), Code(8, 3));
  EXPECT_EQ(out.Pixel(9, 0), kFace);

  // Of an even size the middle is the lower of the two: column 3 of 8, row 1 of 4.
  FillCoded(layer->Bitmap, 8, 4);
  layer->SetLocation(TFloatRect{10, 10, 11, 11});
  g.view.Paint();
  EXPECT_EQ(out.Pixel(10, 10), Code(3, 1));

  // Inverted, empty or far-off locations paint nothing.
  for (TFloatRect loc : {TFloatRect{50, 50, 40, 60}, TFloatRect{50, 50, 50, 60},
                         TFloatRect{1e30f, 0, 2e30f, 10}, TFloatRect{-5e9f, -5e9f, -4e9f, -4e9f}}) {
    layer->SetLocation(loc);
    g.view.Paint();
    for (int32_t i = 0; i < 471 * 503; ++i) ASSERT_EQ(g.view.Pixels()[i], kFace);
  }
}

TEST(View, ScaledLayersArePlacedOnThePicture) {
  GameView g;
  g.view.Bitmap.SetSize(400, 400);
  auto* layer = g.view.LayerStack.Add<TBitmapLayer>();
  layer->Bitmap.SetSize(2, 2);
  layer->Bitmap.Clear(0xFFFFFFFFu);
  layer->SetLocation(TFloatRect{0, 0, 2, 2});
  layer->SetScaled(true);
  EXPECT_EQ(layer->GetAdjustedRect(), MakeRect(35, 51, 37, 53));
  EXPECT_EQ(g.view.Paint().Pixel(35, 51), 0xFFFFFFFFu);
}

TEST(View, RepaintRequestsFollowUpdateCounters) {
  GameView g;
  auto* layer = g.view.LayerStack.Add<TBitmapLayer>();
  layer->Bitmap.SetSize(400, 400);
  layer->SetLocation(TFloatRect{35, 51, 435, 451});
  g.view.Paint();
  EXPECT_FALSE(g.view.Stale());

  int before = g.repaints;
  layer->Bitmap.Clear(0);
  EXPECT_EQ(g.repaints, before + 1);
  EXPECT_TRUE(g.view.Stale());
  EXPECT_EQ(g.view.InvalidArea(), MakeRect(35, 51, 435, 451));

  // A frame: drawing inside update brackets asks for nothing until Invalidate.
  g.view.Paint();
  before = g.repaints;
  g.view.BeginUpdate();
  layer->BeginUpdate();
  layer->Bitmap.FillRect(0, 0, 10, 10, 0xFFFFFFFFu);
  layer->EndUpdate();
  g.view.EndUpdate();
  EXPECT_EQ(g.repaints, before);
  g.view.Invalidate();
  EXPECT_EQ(g.repaints, before + 1);
  EXPECT_EQ(g.view.InvalidArea(), g.view.GetViewportRect());
  EXPECT_EQ(g.view.Paint().Pixel(35, 51), 0xFFFFFFFFu);

  // A changed bitmap area is reported in view pixels, scaled by the stretch.
  layer->SetLocation(TFloatRect{0, 0, 800, 800});
  g.view.Paint();
  layer->Bitmap.FillRect(10, 20, 11, 21, 0xFF000000u);
  EXPECT_EQ(g.view.InvalidArea(), MakeRect(20, 40, 22, 42));
  // At 1.5 times, pixel 10 shows in view columns 15 and 16: the area is widened to both.
  layer->SetLocation(TFloatRect{0, 0, 600, 600});
  g.view.Paint();
  layer->Bitmap.FillRect(10, 20, 11, 21, 0xFF000000u);
  EXPECT_EQ(g.view.InvalidArea(), MakeRect(15, 30, 17, 32));

  try {
    g.view.EndUpdate();
    FAIL() << "unpaired view EndUpdate passed";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Unpaired EndUpdate call");
  }
  try {
    layer->EndUpdate();
    FAIL() << "unpaired layer EndUpdate passed";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Unpaired TThreadPersistent.EndUpdate");
  }
}
