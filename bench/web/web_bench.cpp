// The browser's figures, measured inside headless Chromium (browser_bench.js calls these):
// the busy frame of the desktop's BM_BusyFrame (a frame and the view's composition), also
// with the picture put on the page's canvas as the browser platform does, and the blend rows
// of each kernel (as the desktop's BM_DrawBlend400 and BM_DrawBlend400Scalar measure them).

#include <emscripten.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "base/random.h"
#include "bench/game/busy_game.h"
#include "platform/web/web_application.h"
#include "raster/blend_rows.h"
#include "raster/color.h"

using namespace qf;

namespace {

std::unique_ptr<BusyGame> g_game;
std::unique_ptr<WebWindow> g_canvas;

}  // namespace

// Microseconds per busy frame over `frames` frames. part: 0 the frame and the view's
// composition (the desktop's BM_BusyFrame), 1 those and the present on the canvas, 2 the frame
// alone, 3 the composition alone.
extern "C" EMSCRIPTEN_KEEPALIVE double qf_bench_busy_frame(int frames, int part) {
  TImage32& view = g_game->fmMain->ImgView;
  const double start = emscripten_get_now();
  for (int i = 0; i < frames; ++i) {
    if (part == 2) {
      GameState().LastFrameTick = g_game->clock.Now();
      g_game->fmMain->GameFrame();
    } else if (part == 3) {
      view.Invalidate();
      view.Paint();
    } else {
      const TBitmap32& picture = g_game->Frame();
      if (part == 1) g_canvas->Present(picture.Bits(), picture.Width(), picture.Height());
    }
  }
  return (emscripten_get_now() - start) * 1000.0 / frames;
}

// The scalar rule one pixel at a time, as a build without WebAssembly SIMD runs it.
void BlendLinePlain(const TColor32* src, TColor32* dst, int32_t count) {
#pragma clang loop vectorize(disable) interleave(disable)
  for (int32_t i = 0; i < count; ++i) dst[i] = BlendReg(src[i], dst[i]);
}

// Microseconds per blend of a 400 x 400 picture into another, row by row. kernel: 0 the scalar
// rule not vectorised, 1 the scalar rule as this build compiles it (the compiler vectorises it
// with WebAssembly SIMD), 2 the hand-written WebAssembly SIMD rows. data: 0 random colours and
// alphas, 1 the busy game's playfield into the background, as the view composes them.
extern "C" EMSCRIPTEN_KEEPALIVE double qf_bench_blend(int kernel, int data, int repeats) {
  std::vector<TColor32> src(400 * 400), dst(400 * 400);
  if (data == 0) {
    SetRandSeed(1);
    for (auto* v : {&src, &dst})
      for (TColor32& c : *v)
        c = static_cast<uint32_t>(RandomIndex(65536)) << 16 |
            static_cast<uint32_t>(RandomIndex(65536));
  } else {
    const TBitmap32& field = GameState().GameLayer->Bitmap;
    const TBitmap32& background = g_game->fmMain->ImgView.Bitmap;
    std::copy(field.Bits(), field.Bits() + src.size(), src.begin());
    for (int y = 0; y < 400; ++y)
      std::copy(background.ScanLine(51 + y) + 35, background.ScanLine(51 + y) + 435,
                dst.begin() + y * 400);
  }
  const std::vector<TColor32> target = dst;
  void (*rows)(const TColor32*, TColor32*, int32_t) =
      kernel == 0 ? BlendLinePlain : kernel == 1 ? detail::BlendLineScalar : detail::BlendLineWasmSimd;
  double us = 0;
  for (int r = 0; r < repeats; ++r) {
    dst = target;
    const double start = emscripten_get_now();
    for (int y = 0; y < 400; ++y) rows(src.data() + y * 400, dst.data() + y * 400, 400);
    us += (emscripten_get_now() - start) * 1000.0;
  }
  // The result is used, so no kernel's work can be left out.
  volatile TColor32 sink = dst[static_cast<size_t>(RandomIndex(400 * 400))];
  (void)sink;
  return us / repeats;
}

int main() {
  g_game = std::make_unique<BusyGame>("/quillfrost");
  g_game->MakeBusy();
  g_canvas = std::make_unique<WebWindow>(
      static_cast<HeadlessApplication&>(*g_game->app), WindowDesc{});
  return 0;
}
