// Saving and loading a checkpoint of the XOR host's population: 150 genomes, 25 generations
// into a run (the population as bred, both genotype lists and the species full), and the
// host's champion as a genome file. The figure "bytes" is the file's size. Last, how soon a
// file of 50 MB of "[" is refused; its peak memory is the whole program's under
//   /usr/bin/time -v build/examples/xor/xor --resume <that file>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/random.h"
#include "examples/xor/xor.h"
#include "neat/gene_pool.h"
#include "neat/genotype.h"
#include "neat/io/neat_io.h"
#include "neat/population.h"

namespace qf {
namespace {

// The XOR host's population after 25 generations, unsolved (a strict margin), as bred.
TNEATPopulation& XorPopulation() {
  static TNEATPopulation* population = [] {
    SetRandSeed(3);
    auto* p = new TNEATPopulation(nullptr);
    p->PopulationSize = 150;
    p->InputNodeCount = 3;
    p->OutputNodeCount = 1;
    p->OnCalculateFitness = [](TNEATPopulation*, TGenotype* g) { return XorFitness(*g, 0.99, nullptr); };
    p->CreateInitialPopulation();
    for (int i = 0; i < 25; ++i) {
      p->EvaluateGeneration();
      p->CreateNextGeneration();
    }
    return p;
  }();
  return *population;
}

std::string Checkpoint() {
  std::ostringstream out;
  io::SavePopulation(XorPopulation(), out);
  return out.str();
}

void BM_SaveXor150Checkpoint(benchmark::State& state) {
  TNEATPopulation& p = XorPopulation();
  size_t bytes = 0;
  for (auto _ : state) {
    std::ostringstream out;
    io::SavePopulation(p, out);
    bytes = static_cast<size_t>(out.tellp());
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_LoadXor150Checkpoint(benchmark::State& state) {
  const std::string text = Checkpoint();
  TNEATPopulation target(nullptr);
  for (auto _ : state) {
    std::istringstream in(text);
    io::LoadPopulation(in, target);
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}

void BM_SaveAndLoadXorChampion(benchmark::State& state) {
  TNEATPopulation& p = XorPopulation();
  const TGenotype& champion = *(*p.PreviousGenotypeList)[0];
  TGenotype target(&p);
  size_t bytes = 0;
  for (auto _ : state) {
    std::stringstream file;
    io::SaveGenotype(champion, file);
    bytes = file.str().size();
    io::LoadGenotype(file, target);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  target.ReleaseToCache();
}

void BM_RefuseFiftyMegabytesOfBrackets(benchmark::State& state) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("qf-brackets-" + std::to_string(::getpid()) + ".json");
  std::ofstream(file, std::ios::binary) << std::string(50'000'000, '[');
  TNEATPopulation target(nullptr);
  for (auto _ : state) {
    try {
      io::LoadPopulationFile(file, target);
      state.SkipWithError("accepted");
    } catch (const io::EFormatError&) {
    }
  }
  std::filesystem::remove(file);
}

BENCHMARK(BM_SaveXor150Checkpoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadXor150Checkpoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveAndLoadXorChampion)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefuseFiftyMegabytesOfBrackets)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qf

BENCHMARK_MAIN();
