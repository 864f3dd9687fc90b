// The platform's share of a frame: one loop round (a repaint and an idle notification) and
// showing the composed 471 x 503 view. SDL runs on its dummy video driver, so the Present
// figure is the upload and software render path without a display's vertical sync.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/sdl/sdl_application.h"

using namespace qf;

static void BM_HeadlessRoundWithRepaint(benchmark::State& state) {
  HeadlessApplication app;
  Window& window = app.CreateMainWindow(WindowDesc{"Quillfrost"});
  std::vector<uint32_t> view(471 * 503, 0xFF000000u);
  window.OnPaint = [&] { window.Present(view.data(), 471, 503); };
  app.OnIdle = [&](bool&) { window.Invalidate(); };
  for (auto _ : state) app.Step();
  benchmark::DoNotOptimize(app.MainHeadlessWindow()->PresentCount());
}
BENCHMARK(BM_HeadlessRoundWithRepaint);

static void BM_HeadlessRoundKeysOnly(benchmark::State& state) {
  HeadlessApplication app;
  Window& window = app.CreateMainWindow(WindowDesc{"Quillfrost"});
  int keys = 0;
  window.OnKeyDown = [&](TVirtualKey, TShiftState) { ++keys; };
  app.OnIdle = [&](bool&) {};
  for (auto _ : state) {
    app.PostKeyDown(VK_SPACE);
    app.Step();
  }
  benchmark::DoNotOptimize(keys);
}
BENCHMARK(BM_HeadlessRoundKeysOnly);

static void BM_SdlPresentView(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  SdlApplication app;
  Window& window = app.CreateMainWindow(WindowDesc{"Quillfrost"});
  std::vector<uint32_t> view(471 * 503, 0xFF2040C0u);
  for (auto _ : state) window.Present(view.data(), 471, 503);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(view.size() * 4));
}
BENCHMARK(BM_SdlPresentView);

BENCHMARK_MAIN();
