// Speed of the raster paths a game frame uses: blended draws, the view's composition and the
// status bar's text.

#include <benchmark/benchmark.h>

#include <vector>

#include "base/random.h"
#include "raster/blend_rows.h"
#include "raster/image32.h"

using namespace qf;

namespace {

uint32_t RandomColor() {
  return static_cast<uint32_t>(RandomIndex(65536)) << 16 |
         static_cast<uint32_t>(RandomIndex(65536));
}

void FillRandom(TBitmap32& bmp, int32_t w, int32_t h) {
  bmp.SetSize(w, h);
  for (int32_t i = 0; i < w * h; ++i) bmp.Bits()[i] = RandomColor();
}

// A round sprite with a soft edge, like the game's pictures.
void MakeSprite(TBitmap32& bmp, int32_t size) {
  bmp.SetSize(size, size);
  const float r = size / 2.0f;
  for (int32_t y = 0; y < size; ++y)
    for (int32_t x = 0; x < size; ++x) {
      const float dx = x + 0.5f - r, dy = y + 0.5f - r;
      const float d = (dx * dx + dy * dy) / (r * r);
      const uint32_t a = d >= 1 ? 0 : d > 0.7f ? static_cast<uint32_t>((1 - d) / 0.3f * 255) : 255;
      bmp.SetPixel(x, y, a << 24 | 0x40C040u);
    }
  bmp.DrawMode = dmBlend;
}

// The game's view as a frame leaves it: background, playfield with ~30 sprites and 600
// particles, the stretched status bar, and the hidden game-over picture.
struct GameScene {
  TImage32 view;
  TBitmapLayer* game;
  TBitmapLayer* hud;
  TBitmap32 sprite;

  explicit GameScene(int32_t backgroundW, int32_t backgroundH) {
    SetRandSeed(42);
    view.SetBounds(0, 0, 471, 503);
    FillRandom(view.Bitmap, backgroundW, backgroundH);
    view.Bitmap.ResetAlpha();
    game = view.LayerStack.Add<TBitmapLayer>();
    game->Bitmap.SetSize(400, 400);
    game->Bitmap.DrawMode = dmBlend;
    game->SetLocation(TFloatRect{35, 51, 435, 451});
    hud = view.LayerStack.Add<TBitmapLayer>();
    hud->Bitmap.SetSize(400, 30);
    hud->Bitmap.DrawMode = dmBlend;
    hud->SetLocation(TFloatRect{34, 21, 435, 50});
    hud->Bitmap.FrameRect(1, 0, 400, 29, 0xFF0A0A0Au);
    hud->Bitmap.Font = TFont{"Arial", 16};
    auto* over = view.LayerStack.Add<TBitmapLayer>();
    over->SetVisible(false);
    over->Bitmap.SetSize(200, 100);
    over->Bitmap.Clear(0xFFFFFFFFu);
    MakeSprite(sprite, 24);

    game->Bitmap.Clear(0);
    for (int i = 0; i < 30; ++i)
      game->Bitmap.Draw(RandomIndex(400) - 12, RandomIndex(400) - 12, sprite);
    for (int i = 0; i < 600; ++i)
      game->Bitmap.BlendPixel(RandomIndex(400), RandomIndex(400), RandomColor());
    game->Bitmap.FrameRect(0, 0, 400, 400, 0xFFC80000u);
    hud->Bitmap.RenderText(26, 2, "27", 1, 0xFFFFFFFFu);
    hud->Bitmap.RenderText(84, 2, "4", 1, 0xFFFFFFFFu);
    hud->Bitmap.RenderText(160, 2, "Gen 1", 0, 0xFFFFFFFFu);
    hud->Bitmap.RenderText(290, 2, "62.50 FPS", 1, 0xFFFFFFFFu);
  }
};

void BM_DrawBlend400(benchmark::State& state) {
  SetRandSeed(1);
  TBitmap32 src, dst;
  FillRandom(src, 400, 400);
  FillRandom(dst, 400, 400);
  src.DrawMode = dmBlend;
  for (auto _ : state) {
    dst.Draw(0, 0, src);
    benchmark::DoNotOptimize(dst.Bits());
  }
}
BENCHMARK(BM_DrawBlend400)->Unit(benchmark::kMicrosecond);

// The same blend through the scalar rule, for comparison.
void BM_DrawBlend400Scalar(benchmark::State& state) {
  SetRandSeed(1);
  TBitmap32 src, dst;
  FillRandom(src, 400, 400);
  FillRandom(dst, 400, 400);
  for (auto _ : state) {
    for (int32_t y = 0; y < 400; ++y)
      detail::BlendLineScalar(src.ScanLine(y), dst.ScanLine(y), 400);
    benchmark::DoNotOptimize(dst.Bits());
  }
}
BENCHMARK(BM_DrawBlend400Scalar)->Unit(benchmark::kMicrosecond);

void BM_DrawOpaque400(benchmark::State& state) {
  SetRandSeed(1);
  TBitmap32 src, dst;
  FillRandom(src, 400, 400);
  dst.SetSize(400, 400);
  for (auto _ : state) {
    dst.Draw(0, 0, src);
    benchmark::DoNotOptimize(dst.Bits());
  }
}
BENCHMARK(BM_DrawOpaque400)->Unit(benchmark::kMicrosecond);

void BM_ComposeGameView(benchmark::State& state) {
  GameScene scene(400, 400);
  for (auto _ : state) {
    scene.view.Invalidate();
    benchmark::DoNotOptimize(scene.view.Paint().Bits());
  }
}
BENCHMARK(BM_ComposeGameView)->Unit(benchmark::kMicrosecond);

void BM_ComposeGameViewFullBackground(benchmark::State& state) {
  GameScene scene(471, 503);
  for (auto _ : state) {
    scene.view.Invalidate();
    benchmark::DoNotOptimize(scene.view.Paint().Bits());
  }
}
BENCHMARK(BM_ComposeGameViewFullBackground)->Unit(benchmark::kMicrosecond);

// The drawing half of a frame on the playfield: clear, 30 sprites, 600 particles, outline.
void BM_PlayfieldDrawing(benchmark::State& state) {
  GameScene scene(400, 400);
  TBitmap32& field = scene.game->Bitmap;
  std::vector<std::pair<int32_t, int32_t>> spots(30), dots(600);
  for (auto& s : spots) s = {RandomIndex(400) - 12, RandomIndex(400) - 12};
  for (auto& d : dots) d = {RandomIndex(400), RandomIndex(400)};
  for (auto _ : state) {
    field.Clear(0);
    for (auto [x, y] : spots) field.Draw(x, y, scene.sprite);
    for (auto [x, y] : dots) field.BlendPixel(x, y, 0xC0FFC814u);
    field.FrameRect(0, 0, 400, 400, 0xFFC80000u);
    benchmark::DoNotOptimize(field.Bits());
  }
}
BENCHMARK(BM_PlayfieldDrawing)->Unit(benchmark::kMicrosecond);

// The status bar's four texts as every frame draws them (after the first).
void BM_StatusBarTexts(benchmark::State& state) {
  GameScene scene(400, 400);
  TBitmap32& bar = scene.hud->Bitmap;
  for (auto _ : state) {
    bar.FillRect(2, 2, 398, 28, 0);
    bar.RenderText(26, 2, "27", 1, 0xFFFFFFFFu);
    bar.RenderText(84, 2, "4", 1, 0xFFFFFFFFu);
    bar.RenderText(160, 2, "Gen 1", 0, 0xFFFFFFFFu);
    bar.RenderText(290, 2, "62.50 FPS", 1, 0xFFFFFFFFu);
    benchmark::DoNotOptimize(bar.Bits());
  }
}
BENCHMARK(BM_StatusBarTexts)->Unit(benchmark::kMicrosecond);

// A frame-rate figure never seen before: the cost of a text that is not cached yet.
void BM_StatusBarNewFigure(benchmark::State& state) {
  GameScene scene(400, 400);
  TBitmap32& bar = scene.hud->Bitmap;
  int figure = 0;
  for (auto _ : state) {
    const std::string text = std::to_string(1000 + (figure++ % 9000)) + ".25 FPS";
    bar.RenderText(290, 2, text, 1, 0xFFFFFFFFu);
    benchmark::DoNotOptimize(bar.Bits());
  }
}
BENCHMARK(BM_StatusBarNewFigure)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
