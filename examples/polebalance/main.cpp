// polebalance: evolves pole balancers with the engine.
//
//   polebalance [--task single|double|double-nv] [--seed N] [--runs N] [--threads N]
//               [--max-generations N] [--max-evaluations N] [--set Name=Value]...
//               [--plot FILE.png]
//
// One run prints a line per generation; --runs N runs seeds SEED .. SEED + N - 1 and prints a
// line per run, then the statistics and the settings used. --plot draws the distribution of
// evaluations to solve as a PNG.

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "examples/polebalance/pole_evolution.h"
#include "examples/polebalance/pole_plot.h"
#include "examples/polebalance/pole_statistics.h"

using namespace qf::pole;

namespace {

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "polebalance: %s\n", problem);
  std::fprintf(stderr,
               "usage: polebalance [--task single|double|double-nv] [--seed N] [--runs N]\n"
               "                   [--threads N] [--max-generations N] [--max-evaluations N]\n"
               "                   [--set Name=Value]... [--plot FILE.png]\n");
  return 2;
}

template <class T>
bool ParseNumber(std::string_view text, T min, T max, T* out) {
  const char* end = text.data() + text.size();
  T v{};
  auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || ptr != end || v < min || v > max) return false;
  *out = v;
  return true;
}

// A figure over every run, where +infinity stands for a run not solved within the budget.
std::string Figure(double evaluations) {
  if (std::isinf(evaluations)) return "beyond the budget";
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", evaluations);
  return text;
}

void PrintStatistics(const PoleOptions& options, const PoleStatistics& s,
                     const std::string& settings) {
  std::printf("task %s: %d runs, solved %d (%.1f%%) within %" PRId64
              " evaluations and %d generations\n",
              TaskName(options.Task), s.Runs, s.Successes, 100.0 * s.Successes / s.Runs,
              options.MaxEvaluations, options.MaxGenerations);
  const int level = static_cast<int>(std::lround(kConfidenceLevel * 100));
  std::printf("over every run, with %d%% percentile bootstrap intervals (%d resamples of the runs,"
              " seed %u):\n",
              level, kBootstrapResamples, kBootstrapSeed);
  std::printf("  success rate within the budget %.1f%% (%d%% CI %.1f%% to %.1f%%)\n",
              100.0 * s.SuccessRate, level, 100.0 * s.SuccessRateInterval.Low,
              100.0 * s.SuccessRateInterval.High);
  std::printf("  median evaluations to solve %s (%d%% CI %s to %s); unsolved runs rank above"
              " every solved one\n",
              Figure(s.MedianEvaluationsAllRuns).c_str(), level,
              Figure(s.MedianInterval.Low).c_str(), Figure(s.MedianInterval.High).c_str());
  std::printf("  mean evaluations with each unsolved run counted at the evaluations it used %.0f"
              " (%d%% CI %.0f to %.0f), %s\n",
              s.MeanEvaluationsAllRuns, level, s.MeanInterval.Low, s.MeanInterval.High,
              s.Successes < s.Runs ? "a lower bound" : "exact: every run solved");
  if (s.Successes > 0) {
    std::printf("over the solved runs:\n");
    std::printf("  evaluations to solve (whole generations): mean %.0f, median %.0f, worst %" PRId64
                "\n",
                s.MeanEvaluations, s.MedianEvaluations, s.WorstEvaluations);
    std::printf("  evaluations to solve (up to the solver):  mean %.0f, median %.0f, worst %" PRId64
                "\n",
                s.MeanEvaluationsToSolver, s.MedianEvaluationsToSolver,
                s.WorstEvaluationsToSolver);
    std::printf("  generations: mean %.1f\n", s.MeanGenerations);
    std::printf("  generalization of the solvers (of 625): mean %.1f, min %d, max %d\n",
                s.MeanGeneralization, s.MinGeneralization, s.MaxGeneralization);
  }
  std::printf("wall time %.1f s, %" PRId64 " evaluations, %.0f evaluations per second, %d threads\n",
              static_cast<double>(s.TotalWallMilliseconds) / 1000.0, s.TotalEvaluations,
              s.EvaluationsPerSecond, options.Threads);
  std::printf("settings: %s\n", settings.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  PoleOptions options;
  int32_t runs = 0;
  std::string plot;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) return Usage(("missing value after " + std::string(arg)).c_str());
    const std::string_view value = argv[++i];
    if (arg == "--task") {
      if (!ParseTask(std::string(value), &options.Task)) return Usage("unknown task");
    } else if (arg == "--seed") {
      if (!ParseNumber<uint32_t>(value, 0, UINT32_MAX, &options.Seed)) return Usage("bad seed");
    } else if (arg == "--runs") {
      if (!ParseNumber<int32_t>(value, 1, 100000, &runs)) return Usage("bad run count");
    } else if (arg == "--threads") {
      if (!ParseNumber<int32_t>(value, 1, 256, &options.Threads)) return Usage("bad thread count");
    } else if (arg == "--max-generations") {
      if (!ParseNumber<int32_t>(value, 1, 1000000, &options.MaxGenerations))
        return Usage("bad generation limit");
    } else if (arg == "--max-evaluations") {
      if (!ParseNumber<int64_t>(value, 1, INT64_MAX, &options.MaxEvaluations))
        return Usage("bad evaluation limit");
    } else if (arg == "--set") {
      const size_t eq = value.find('=');
      if (eq == std::string_view::npos) return Usage("--set needs Name=Value");
      options.Settings.emplace_back(std::string(value.substr(0, eq)),
                                    std::string(value.substr(eq + 1)));
    } else if (arg == "--plot") {
      plot = value;
    } else {
      return Usage(("unknown option " + std::string(arg)).c_str());
    }
  }

  try {
    if (runs == 0) {
      options.Log = &std::cout;
      const PoleResult r = RunPoleBalancing(options);
      if (r.Solved) {
        std::printf("solved in generation %d after %" PRId64 " evaluations (%" PRId64
                    " up to the solver), generalization %d of 625, %d genes, %d hidden nodes\n",
                    r.Generations, r.Evaluations, r.EvaluationsToSolver, r.Generalization,
                    r.ChampionGenes, r.ChampionHiddenNodes);
      } else {
        std::printf("not solved within %d generations, %" PRId64 " evaluations\n",
                    r.Generations, r.Evaluations);
      }
      std::printf("wall time %.2f s\nsettings: %s\n", r.WallMilliseconds / 1000.0,
                  r.Settings.c_str());
      return r.Solved ? 0 : 1;
    }

    std::vector<PoleResult> results;
    const uint32_t firstSeed = options.Seed;
    for (int32_t k = 0; k < runs; ++k) {
      options.Seed = firstSeed + static_cast<uint32_t>(k);
      results.push_back(RunPoleBalancing(options));
      const PoleResult& r = results.back();
      std::printf("seed %u: %s in generation %d, %" PRId64 " evaluations (%" PRId64
                  " to the solver), generalization %d, %d genes, %d hidden, %.1f s\n",
                  options.Seed, r.Solved ? "solved" : "NOT solved", r.Generations,
                  r.Evaluations, r.EvaluationsToSolver, r.Generalization, r.ChampionGenes,
                  r.ChampionHiddenNodes, r.WallMilliseconds / 1000.0);
      std::fflush(stdout);
    }
    const PoleStatistics statistics = Summarize(results);
    PrintStatistics(options, statistics, results.front().Settings);
    if (!plot.empty()) {
      DrawEvaluationsPlot(results, statistics, options, plot);
      std::printf("plot written to %s\n", plot.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "polebalance: %s\n", e.what());
    return 1;
  }
  return 0;
}
