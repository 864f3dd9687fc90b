// One whole running frame in a busy state, and the breeding of a generation.

#include <benchmark/benchmark.h>

#include "bench/common/allocation_counter.h"
#include "bench/game/busy_game.h"
#include "neat/population.h"

using namespace qf;

namespace {

void BM_BusyFrame(benchmark::State& state) {
  BusyGame arena(QF_ASSETS_DIR);
  arena.MakeBusy();
  const size_t before = AllocationCount();
  for (auto _ : state) benchmark::DoNotOptimize(arena.Frame().Bits());
  state.counters["allocs_per_frame"] =
      benchmark::Counter(static_cast<double>(AllocationCount() - before) / state.iterations());
  state.counters["particles"] = GameState().Particles->LastIndex() + 1;
  state.counters["bombs"] = static_cast<double>(GameState().Bombs.size());
}
BENCHMARK(BM_BusyFrame)->Unit(benchmark::kMicrosecond);

void BM_NextGenerationBreeding(benchmark::State& state) {
  BusyGame arena(QF_ASSETS_DIR);
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
