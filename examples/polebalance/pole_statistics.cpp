#include "examples/polebalance/pole_statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace qf::pole {

double Mean(const std::vector<double>& sample) {
  if (sample.empty()) return 0.0;
  double sum = 0.0;
  for (double x : sample) sum += x;
  return sum / static_cast<double>(sample.size());
}

double Median(std::vector<double> sample) {
  if (sample.empty()) return 0.0;
  std::sort(sample.begin(), sample.end());
  const size_t mid = sample.size() / 2;
  return sample.size() % 2 == 1 ? sample[mid] : (sample[mid - 1] + sample[mid]) / 2;
}

Interval PercentileBootstrap(const std::vector<double>& sample,
                             const std::function<double(std::vector<double>)>& statistic,
                             int32_t resamples, double level, uint32_t seed) {
  if (sample.empty() || resamples < 1) return {};
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> pick(0, sample.size() - 1);
  std::vector<double> values, resample(sample.size());
  values.reserve(static_cast<size_t>(resamples));
  for (int32_t k = 0; k < resamples; ++k) {
    for (double& x : resample) x = sample[pick(random)];
    values.push_back(statistic(resample));
  }
  std::sort(values.begin(), values.end());
  // As many values are left out below the interval as above it.
  const auto cut = static_cast<size_t>(std::floor(resamples * (1.0 - level) / 2));
  return {values[cut], values[values.size() - 1 - cut]};
}

PoleStatistics Summarize(const std::vector<PoleResult>& results) {
  PoleStatistics s;
  s.Runs = static_cast<int32_t>(results.size());
  std::vector<double> used, ranked, solvedFlags;
  std::vector<double> evaluations, toSolver, generations, generalization;
  for (const PoleResult& r : results) {
    s.TotalEvaluations += r.Evaluations;
    s.TotalWallMilliseconds += r.WallMilliseconds;
    const auto spent = static_cast<double>(r.Evaluations);
    used.push_back(spent);
    // An unsolved run used its last generation without a solver, so it would need more than
    // any run solved within the same budget.
    ranked.push_back(r.Solved ? spent : std::numeric_limits<double>::infinity());
    solvedFlags.push_back(r.Solved ? 1.0 : 0.0);
    if (!r.Solved) continue;
    evaluations.push_back(spent);
    toSolver.push_back(static_cast<double>(r.EvaluationsToSolver));
    generations.push_back(r.Generations);
    generalization.push_back(r.Generalization);
  }
  if (s.TotalWallMilliseconds > 0)
    s.EvaluationsPerSecond = static_cast<double>(s.TotalEvaluations) * 1000.0 /
                             static_cast<double>(s.TotalWallMilliseconds);
  s.Successes = static_cast<int32_t>(evaluations.size());
  if (s.Runs == 0) return s;

  s.SuccessRate = Mean(solvedFlags);
  s.MedianEvaluationsAllRuns = Median(ranked);
  s.MeanEvaluationsAllRuns = Mean(used);
  // The same seed draws the same resamples for each figure.
  s.SuccessRateInterval =
      PercentileBootstrap(solvedFlags, Mean, kBootstrapResamples, kConfidenceLevel, kBootstrapSeed);
  s.MedianInterval =
      PercentileBootstrap(ranked, Median, kBootstrapResamples, kConfidenceLevel, kBootstrapSeed);
  s.MeanInterval =
      PercentileBootstrap(used, Mean, kBootstrapResamples, kConfidenceLevel, kBootstrapSeed);

  if (s.Successes == 0) return s;
  s.MeanEvaluations = Mean(evaluations);
  s.MedianEvaluations = Median(evaluations);
  s.WorstEvaluations = static_cast<int64_t>(std::ranges::max(evaluations));
  s.MeanEvaluationsToSolver = Mean(toSolver);
  s.MedianEvaluationsToSolver = Median(toSolver);
  s.WorstEvaluationsToSolver = static_cast<int64_t>(std::ranges::max(toSolver));
  s.MeanGenerations = Mean(generations);
  s.MeanGeneralization = Mean(generalization);
  s.MinGeneralization = static_cast<int32_t>(std::ranges::min(generalization));
  s.MaxGeneralization = static_cast<int32_t>(std::ranges::max(generalization));
  return s;
}

}  // namespace qf::pole
