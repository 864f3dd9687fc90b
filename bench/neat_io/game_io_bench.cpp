// Saving and loading a checkpoint of the game's population 50 generations into a game: a real
// one, written by the arena (`arena --seed 2 --generations 50 --checkpoint-every 50`) and kept
// beside this file. The figure "bytes" is the file's size.

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "game/main_window.h"
#include "neat/io/neat_io.h"
#include "neat/population.h"

namespace qf {
namespace {

std::string ReadCheckpoint() {
  std::ifstream in(QF_GAME_CHECKPOINT, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_LoadGameCheckpoint(benchmark::State& state) {
  RegisterGameTransferFunctions();
  const std::string text = ReadCheckpoint();
  TNEATPopulation target(nullptr);
  for (auto _ : state) {
    std::istringstream in(text);
    io::LoadPopulation(in, target);
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}

void BM_SaveGameCheckpoint(benchmark::State& state) {
  RegisterGameTransferFunctions();
  const std::string text = ReadCheckpoint();
  TNEATPopulation population(nullptr);
  std::istringstream in(text);
  io::LoadPopulation(in, population);
  size_t bytes = 0;
  for (auto _ : state) {
    std::ostringstream out;
    io::SavePopulation(population, out);
    bytes = static_cast<size_t>(out.tellp());
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_SaveGameCheckpoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGameCheckpoint)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qf

BENCHMARK_MAIN();
