// Engine speed at the game's scale: one invader's network step every frame, and the genome
// operators of a breeding step. Heap allocations are counted by replacing the global
// allocation functions of this program.

#include <benchmark/benchmark.h>

#include <memory>

#include "base/random.h"
#include "bench/common/allocation_counter.h"
#include "neat/gene_pool.h"
#include "neat/genotype.h"
#include "neat/population.h"
#include "neat/transfer_functions.h"

namespace qf {
namespace {

void RegisterGameFunctions() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterTransferFunction("Bench", "Gaussian", std::make_unique<TTransferFunctionGaussian>());
  RegisterTransferFunction("Bench", "MAX", std::make_unique<TTransferFunctionMAX>());
  RegisterTransferFunction("Bench", "MIN", std::make_unique<TTransferFunctionMIN>());
  RegisterTransferFunction("Bench", "IF", std::make_unique<TTransferFunctionIF>());
  RegisterTransferFunction("Bench", "1DelayGaussian",
                           std::make_unique<TTransferFunction1DelayGaussian>());
}

// The game's settings: 7 sensors, 3 outputs, two passes per frame.
void Configure(TNEATPopulation& pop) {
  RegisterGameFunctions();
  SetRandSeed(4242);
  pop.PopulationSize = 30;
  pop.InputNodeCount = 7;
  pop.OutputNodeCount = 3;
  pop.ActivationIterations = 2;
}

// An initial genome grown by a few splits and added connections, as after some generations.
std::unique_ptr<TGenotype> GameGenome(TNEATPopulation& pop, int splits, int links) {
  auto g = std::make_unique<TGenotype>(&pop);
  g->BuildInitial(7, 3);
  pop.NextNodeNumber = g->NodeList.Count();
  pop.NextInnovation = g->ConnectList.Count();
  for (int s = 0; s < splits;) {
    TConnect* c = g->GetRandomConnect();
    if (c->Enabled && c->MutateSplit()) ++s;
  }
  for (int k = 0; k < links; ++k) g->AddRandomConnection();
  pop.ClearInnovations();
  g->PreparePhenotype();
  return g;
}

void BM_Activation(benchmark::State& state) {
  TNEATPopulation pop(nullptr);
  Configure(pop);
  auto g = GameGenome(pop, 3, 0);
  double x = 0.0;
  const size_t before = AllocationCount();
  for (auto _ : state) {
    for (int32_t i = 0; i < 7; ++i) g->SetInput(i, x + i * 0.1);
    g->Iterate(-1);
    double out = g->GetOutput(0) + g->GetOutput(1) + g->GetOutput(2);
    benchmark::DoNotOptimize(out);
    x = x > 1.0 ? -1.0 : x + 0.01;
  }
  const size_t allocations = AllocationCount() - before;  // before the counters allocate
  state.counters["nodes"] = g->NodeList.Count();
  state.counters["connections"] = g->ConnectList.Count();
  state.counters["allocs_per_activation"] = benchmark::Counter(
      static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Activation);

// Baseline of the two below: copying a genome and returning its genes to the pool.
void BM_CloneRelease(benchmark::State& state) {
  TNEATPopulation pop(nullptr);
  Configure(pop);
  auto base = GameGenome(pop, 4, 4);
  for (auto _ : state) {
    auto child = base->Clone();
    child->ReleaseToCache();
  }
}
BENCHMARK(BM_CloneRelease);

void BM_CloneMutateRelease(benchmark::State& state) {
  TNEATPopulation pop(nullptr);
  Configure(pop);
  auto base = GameGenome(pop, 4, 4);
  for (auto _ : state) {
    auto child = base->Clone();
    child->Mutate();
    child->ReleaseToCache();
    // A breeding step starts with empty registries; keep them at a breeding step's size.
    pop.ClearInnovations();
    pop.SplitRegistry.clear();
  }
}
BENCHMARK(BM_CloneMutateRelease);

void BM_CrossoverRelease(benchmark::State& state) {
  TNEATPopulation pop(nullptr);
  Configure(pop);
  auto mother = GameGenome(pop, 4, 4);
  auto father = mother->Clone();
  for (int k = 0; k < 20; ++k) father->Mutate();
  pop.ClearInnovations();
  pop.SplitRegistry.clear();
  TGenotype child(&pop);
  for (auto _ : state) {
    child.Crossover(mother.get(), father.get());
    child.ReleaseToCache();
  }
}
BENCHMARK(BM_CrossoverRelease);

}  // namespace
}  // namespace qf

BENCHMARK_MAIN();
