// One whole running frame in a busy state, and the breeding of a generation.

#include <benchmark/benchmark.h>

#include <filesystem>

#include "bench/common/allocation_counter.h"

#include "base/random.h"
#include "base/ticks.h"
#include "game/game_state.h"
#include "game/invaders.h"
#include "game/main_window.h"
#include "game/particles.h"
#include "neat/population.h"
#include "platform/headless/headless.h"

using namespace qf;

namespace {

struct Arena {
  ManualClock clock{1'000'000};
  std::unique_ptr<Application> app = CreateHeadlessApplication();
  std::unique_ptr<TfmMain> fmMain;

  Arena() {
    // The game reads its sprites from, and writes log.txt into, the current directory: a
    // scratch copy keeps the source tree clean.
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "quillfrost_game_bench";
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(QF_ASSETS_DIR))
      if (entry.path().extension() == ".png")
        fs::copy_file(entry.path(), dir / entry.path().filename(),
                      fs::copy_options::overwrite_existing);
    fs::current_path(dir);
    static_cast<HeadlessApplication*>(app.get())->SystemDirectory = std::string(QF_ASSETS_DIR);
    fmMain = std::make_unique<TfmMain>(*app);
    SetRandSeed(42);
  }

  // 10 invaders spread over the field, 2 rockets and 10 bombs that hit nothing, 600 particles.
  void MakeBusy() {
    TGameState& s = GameState();
    for (size_t i = 0; i < s.Invaders.size(); ++i) {
      s.Invaders[i]->X = 20.0f + 38.0f * static_cast<float>(i);
      s.Invaders[i]->Y = 40.0f + 10.0f * static_cast<float>(i);
    }
    s.Rockets = {Rocket{390, 330}, Rocket{5, 300}};
    for (int i = 0; i < 10; ++i) s.Bombs.push_back(Bomb{10.0f + 35.0f * i, 250, nullptr});
    for (int i = 0; i < 4; ++i) fmMain->Explode(100 + 60 * i, 200, 150);
    for (int i = 0; i < 3; ++i) Frame();
  }

  // A frame in which no time passes, so the busy state stays as it is while every pass runs
  // (and no invader lives long enough to drop a bomb of its own).
  void Frame() {
    GameState().LastFrameTick = clock.Now();
    fmMain->GameFrame();
    benchmark::DoNotOptimize(fmMain->ImgView.Paint().Bits());
  }
};

void BM_BusyFrame(benchmark::State& state) {
  Arena arena;
  arena.MakeBusy();
  const size_t before = AllocationCount();
  for (auto _ : state) arena.Frame();
  state.counters["allocs_per_frame"] =
      benchmark::Counter(static_cast<double>(AllocationCount() - before) / state.iterations());
  state.counters["particles"] = GameState().Particles->LastIndex() + 1;
  state.counters["bombs"] = static_cast<double>(GameState().Bombs.size());
}
BENCHMARK(BM_BusyFrame)->Unit(benchmark::kMicrosecond);

void BM_NextGenerationBreeding(benchmark::State& state) {
  Arena arena;
  TNEATPopulation& population = *arena.fmMain->Population;
  auto breed = [&] {
    for (float& f : GameState().FitnessTable) f = static_cast<float>(1 + RandomIndex(300));
    population.EvaluateGeneration();
    population.CreateNextGeneration();
  };
  // Genomes grow generation by generation: every measurement is of a population that has
  // been bred 20 times since a fresh start, as in a game well under way.
  for (auto _ : state) {
    state.PauseTiming();
    GameState().Invaders.clear();
    population.ClearInnovations();
    population.CreateInitialPopulation();
    for (int g = 0; g < 20; ++g) breed();
    state.ResumeTiming();
    breed();
  }
}
BENCHMARK(BM_NextGenerationBreeding)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
