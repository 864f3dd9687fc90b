#pragma once
// What a study of many runs reports. A run that is not solved within the budget is censored:
// its evaluations to solve are unknown, only larger than it used. The figures over every run
// treat it as such: the median ranks it above every solved run, the mean counts it at what it
// used (so that mean is a lower bound), and the intervals come from resampling the runs.

#include <cstdint>
#include <functional>
#include <vector>

#include "examples/polebalance/pole_evolution.h"

namespace qf::pole {

// 0 for an empty sample; the median averages the middle two of an even count.
double Mean(const std::vector<double>& sample);
double Median(std::vector<double> sample);

struct Interval {
  double Low = 0.0, High = 0.0;
};

// The percentile bootstrap: `statistic` over `resamples` samples drawn with replacement from
// `sample`, the central `level` of them. The draws come from a std::mt19937 of its own on
// `seed`, never from the engine's random source, so a study gives the same interval each time
// and summarizing changes no run.
Interval PercentileBootstrap(const std::vector<double>& sample,
                             const std::function<double(std::vector<double>)>& statistic,
                             int32_t resamples, double level, uint32_t seed);

constexpr int32_t kBootstrapResamples = 10000;
constexpr double kConfidenceLevel = 0.95;
constexpr uint32_t kBootstrapSeed = 1;

struct PoleStatistics {
  int32_t Runs = 0;
  int32_t Successes = 0;
  // Over every run, each with its bootstrap interval at kConfidenceLevel. The median is
  // +infinity when the middle run is not solved.
  double SuccessRate = 0.0;
  double MedianEvaluationsAllRuns = 0.0;
  double MeanEvaluationsAllRuns = 0.0;  // unsolved runs at the evaluations they used
  Interval SuccessRateInterval, MedianInterval, MeanInterval;
  // Over the solved runs.
  double MeanEvaluations = 0.0, MedianEvaluations = 0.0;
  int64_t WorstEvaluations = 0;
  double MeanEvaluationsToSolver = 0.0, MedianEvaluationsToSolver = 0.0;
  int64_t WorstEvaluationsToSolver = 0;
  double MeanGenerations = 0.0;
  double MeanGeneralization = 0.0;
  int32_t MinGeneralization = 0, MaxGeneralization = 0;
  // Over every run.
  int64_t TotalEvaluations = 0;
  uint64_t TotalWallMilliseconds = 0;
  double EvaluationsPerSecond = 0.0;
};

PoleStatistics Summarize(const std::vector<PoleResult>& results);

}  // namespace qf::pole
