// The study's statistics on hand-made samples whose answers are known: unsolved runs ranked
// above the solved ones for the median and counted at what they used for the mean, and the
// percentile bootstrap against exact small cases and the normal approximation.

#include "examples/polebalance/pole_statistics.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/random.h"

namespace qf::pole {
namespace {

PoleResult Outcome(bool solved, int64_t evaluations) {
  PoleResult r;
  r.Solved = solved;
  r.Evaluations = r.EvaluationsToSolver = evaluations;
  return r;
}

TEST(PoleStatisticsTest, UnsolvedRunsAreCensoredNotDropped) {
  PoleStatistics s = Summarize({Outcome(true, 100), Outcome(false, 1000), Outcome(true, 300)});
  EXPECT_EQ(s.Successes, 2);
  EXPECT_DOUBLE_EQ(s.SuccessRate, 2.0 / 3.0);
  EXPECT_EQ(s.MedianEvaluationsAllRuns, 300.0);
  EXPECT_DOUBLE_EQ(s.MeanEvaluationsAllRuns, 1400.0 / 3.0);
  EXPECT_EQ(s.MedianEvaluations, 200.0);  // the solved runs alone
  EXPECT_EQ(s.MeanEvaluations, 200.0);

  // With the middle run unsolved the median is not known, only beyond the budget.
  s = Summarize({Outcome(true, 100), Outcome(false, 1000), Outcome(false, 1000)});
  EXPECT_TRUE(std::isinf(s.MedianEvaluationsAllRuns));
  EXPECT_EQ(s.MeanEvaluationsAllRuns, 700.0);
  // Nothing solved: rate 0 with a zero-width interval, no solved-run figures.
  s = Summarize({Outcome(false, 500), Outcome(false, 700)});
  EXPECT_EQ(s.SuccessRate, 0.0);
  EXPECT_EQ(s.SuccessRateInterval.High, 0.0);
  EXPECT_EQ(s.MeanEvaluationsAllRuns, 600.0);
  EXPECT_EQ(s.MeanEvaluations, 0.0);

  EXPECT_EQ(Median({700, 100, 500, 300}), 400.0);
  EXPECT_EQ(Median({}), 0.0);
}

TEST(PoleStatisticsTest, BootstrapIntervalsMatchKnownAnswers) {
  auto interval = [](const std::vector<double>& sample) {
    return PercentileBootstrap(sample, Mean, kBootstrapResamples, kConfidenceLevel,
                               kBootstrapSeed);
  };
  Interval i = interval({5, 5, 5});
  EXPECT_EQ(i.Low, 5.0);
  EXPECT_EQ(i.High, 5.0);
  // Two runs: a resample repeats either one with chance 1/4 each, beyond the 2.5% cut.
  i = interval({100, 300});
  EXPECT_EQ(i.Low, 100.0);
  EXPECT_EQ(i.High, 300.0);
  // 0 .. 99: the mean 49.5 with standard error sqrt((100^2 - 1) / 12) / 10, so about
  // 49.5 -+ 1.96 * 2.887.
  std::vector<double> ramp;
  for (int k = 0; k < 100; ++k) ramp.push_back(k);
  i = interval(ramp);
  EXPECT_NEAR(i.Low, 43.84, 0.4);
  EXPECT_NEAR(i.High, 55.16, 0.4);
}

TEST(PoleStatisticsTest, SummaryIntervalsCoverTheFiguresAndLeaveTheEngineAlone) {
  // 55 runs solved at 100 .. 5,500 and 45 unsolved after 10,000 evaluations.
  std::vector<PoleResult> runs;
  for (int k = 1; k <= 100; ++k)
    runs.push_back(k <= 55 ? Outcome(true, 100 * k) : Outcome(false, 10000));
  SetRandSeed(9);
  const PoleStatistics s = Summarize(runs);
  EXPECT_EQ(GetRandSeed(), 9u);

  // 0.55 -+ 1.96 * sqrt(0.55 * 0.45 / 100)
  EXPECT_NEAR(s.SuccessRateInterval.Low, 0.4525, 0.02);
  EXPECT_NEAR(s.SuccessRateInterval.High, 0.6475, 0.02);
  EXPECT_EQ(s.MedianEvaluationsAllRuns, 5050.0);
  EXPECT_LT(s.MedianInterval.Low, 5050.0);
  // Half or more of a resample unsolved happens in about one resample in five.
  EXPECT_TRUE(std::isinf(s.MedianInterval.High));
  EXPECT_DOUBLE_EQ(s.MeanEvaluationsAllRuns, (100.0 * 55 * 56 / 2 + 45 * 10000.0) / 100);
  EXPECT_LT(s.MeanInterval.Low, s.MeanEvaluationsAllRuns);
  EXPECT_GT(s.MeanInterval.High, s.MeanEvaluationsAllRuns);

  const PoleStatistics again = Summarize(runs);
  EXPECT_EQ(again.MeanInterval.Low, s.MeanInterval.Low);
  EXPECT_EQ(again.MedianInterval.Low, s.MedianInterval.Low);
}

}  // namespace
}  // namespace qf::pole
