// One whole generation: evaluation with a trivial fitness (so the engine's own work is what is
// measured), speciation and breeding. The game's shape is 30 genomes of 7 inputs and 3
// outputs; the XOR host's is 150 genomes of 3 inputs and 1 output.

#include <benchmark/benchmark.h>

#include "base/random.h"
#include "examples/xor/xor.h"
#include "neat/genotype.h"
#include "neat/population.h"

namespace qf {
namespace {

// A fitness that costs nothing and does not reward growth, so genome sizes stay steady over
// the many generations of a measurement.
double TrivialFitness(TNEATPopulation* population, TGenotype*) {
  return 1.0 + population->CurrentGenotypeIndex % 5;
}

constexpr int32_t kSpan = 100;

void RunGenerations(benchmark::State& state, int32_t size, int32_t inputs, int32_t outputs,
                    bool xorFitness) {
  SetRandSeed(777);
  TNEATPopulation population(nullptr);
  population.PopulationSize = size;
  population.InputNodeCount = inputs;
  population.OutputNodeCount = outputs;
  if (xorFitness) {
    population.OnCalculateFitness = [](TNEATPopulation*, TGenotype* genotype) {
      return XorFitness(*genotype, 0.5, nullptr);
    };
  } else {
    population.OnCalculateFitness = TrivialFitness;
  }
  // Genomes only ever grow, so a run is restarted after a span as long as a game or an XOR
  // run lasts; the figure is the mean over generations 1 .. kSpan.
  int32_t generation = kSpan;
  for (auto _ : state) {
    if (generation == kSpan) {
      state.PauseTiming();
      population.ClearInnovations();
      population.CreateInitialPopulation();
      generation = 0;
      state.ResumeTiming();
    }
    population.EvaluateGeneration();
    population.CreateNextGeneration();
    ++generation;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["species"] = population.LivingSpeciesCount;
}

void BM_GenerationGame30(benchmark::State& state) { RunGenerations(state, 30, 7, 3, false); }
void BM_GenerationXor150(benchmark::State& state) { RunGenerations(state, 150, 3, 1, false); }
// For scale: the same with the XOR host's real fitness, four network runs per genome.
void BM_GenerationXor150RealFitness(benchmark::State& state) {
  RunGenerations(state, 150, 3, 1, true);
}

BENCHMARK(BM_GenerationGame30);
BENCHMARK(BM_GenerationXor150);
BENCHMARK(BM_GenerationXor150RealFitness);

}  // namespace
}  // namespace qf

BENCHMARK_MAIN();
