// Pole balancing: the physics alone, and whole evolutions on one and on two threads (the
// speed-up of scoring a generation's genomes in parallel; wall-clock time, as the threads
// are the point).

#include <benchmark/benchmark.h>

#include "examples/polebalance/cart_pole.h"
#include "examples/polebalance/pole_evolution.h"
#include "neat/gene_pool.h"

namespace qf::pole {
namespace {

// One network step of the double pole: two Runge-Kutta steps.
void BM_DoublePoleAction(benchmark::State& state) {
  CartPole cart(2);
  double output = 0.3;
  for (auto _ : state) {
    cart.Act(output);
    output = -output;
    benchmark::DoNotOptimize(cart.State());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DoublePoleAction);

// One run of each task from a fixed seed; the argument is the thread count.
void RunTask(benchmark::State& state, PoleTask task, uint32_t seed) {
  PoleOptions options;
  options.Task = task;
  options.Seed = seed;
  options.Threads = static_cast<int32_t>(state.range(0));
  int64_t evaluations = 0;
  for (auto _ : state) {
    CacheHandler().Clear();
    const PoleResult r = RunPoleBalancing(options);
    evaluations += r.Evaluations;
  }
  state.counters["evaluations/s"] =
      benchmark::Counter(static_cast<double>(evaluations), benchmark::Counter::kIsRate);
}

void BM_DoublePoleRun(benchmark::State& state) {
  RunTask(state, PoleTask::DoublePoleVelocities, 5);
}
void BM_DoublePoleNoVelocitiesRun(benchmark::State& state) {
  RunTask(state, PoleTask::DoublePoleNoVelocities, 5);
}
BENCHMARK(BM_DoublePoleRun)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DoublePoleNoVelocitiesRun)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qf::pole

BENCHMARK_MAIN();
