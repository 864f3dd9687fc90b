// Evolution through the population's public interface: settings by name, the single pole
// solved on a fixed seed, and the same run whatever the number of threads.

#include "examples/polebalance/pole_evolution.h"

#include <gtest/gtest.h>

#include <sstream>

#include "examples/polebalance/pole_statistics.h"
#include "neat/gene_pool.h"
#include "neat/population.h"

namespace qf::pole {
namespace {

TEST(PoleEvolutionTest, SettingsByNameAreCheckedAndDescribed) {
  TNEATPopulation p(nullptr);
  EXPECT_TRUE(ApplySetting(p, "PopulationSize", "50"));
  EXPECT_TRUE(ApplySetting(p, "WeightPeturbationFactor", "0.5"));
  EXPECT_TRUE(ApplySetting(p, "AllowRecurrentLinks", "false"));
  EXPECT_TRUE(ApplySetting(p, "SelectionType", "stLocalTournament"));
  EXPECT_TRUE(ApplySetting(p, "SurvivalThreshold", "0.2"));
  EXPECT_TRUE(ApplySetting(p, "MaxConnectionDelay", "5"));
  EXPECT_EQ(p.PopulationSize, 50);
  EXPECT_EQ(p.WeightPeturbationFactor, 0.5f);
  EXPECT_FALSE(p.AllowRecurrentLinks);
  EXPECT_EQ(p.SelectionType, stLocalTournament);
  EXPECT_EQ(p.SurvivalThreshold(), 0.2);

  EXPECT_FALSE(ApplySetting(p, "NoSuchSetting", "1"));
  EXPECT_FALSE(ApplySetting(p, "PopulationSize", "fifty"));
  EXPECT_FALSE(ApplySetting(p, "PopulationSize", "0"));
  EXPECT_FALSE(ApplySetting(p, "MaxConnectionDelay", "6"));  // beyond the delay line
  EXPECT_FALSE(ApplySetting(p, "SurvivalThreshold", "1"));
  EXPECT_FALSE(ApplySetting(p, "ConnectionAddChance", "nan"));
  EXPECT_FALSE(ApplySetting(p, "MutateCrossed", "yes"));
  EXPECT_EQ(p.PopulationSize, 50);
  EXPECT_EQ(p.MaxConnectionDelay, 5);

  const std::string text = DescribeSettings(p);
  EXPECT_NE(text.find("PopulationSize=50"), std::string::npos);
  EXPECT_NE(text.find("WeightPeturbationFactor=0.5"), std::string::npos);
  EXPECT_NE(text.find("AllowRecurrentLinks=false"), std::string::npos);
  EXPECT_NE(text.find("SelectionType=stLocalTournament"), std::string::npos);
  EXPECT_NE(text.find("SurvivalThreshold=0.2"), std::string::npos);

  PoleOptions options;
  options.Settings = {{"PopulationSize", "-3"}};
  EXPECT_THROW(RunPoleBalancing(options), std::invalid_argument);
}

TEST(PoleEvolutionTest, SinglePoleIsSolvedOnAFixedSeed) {
  CacheHandler().Clear();
  PoleOptions options;
  options.Task = PoleTask::SinglePole;
  options.Seed = 7;
  options.MaxGenerations = 100;
  std::ostringstream log;
  options.Log = &log;
  const PoleResult r = RunPoleBalancing(options);
  ASSERT_TRUE(r.Solved);
  EXPECT_LE(r.Generations, 20);
  EXPECT_EQ(r.Evaluations % r.Generations, 0);
  const int64_t size = r.Evaluations / r.Generations;
  EXPECT_GT(r.EvaluationsToSolver, r.Evaluations - size);
  EXPECT_LE(r.EvaluationsToSolver, r.Evaluations);
  EXPECT_GE(r.Generalization, 0);
  EXPECT_LE(r.Generalization, 625);
  EXPECT_EQ(r.BestFitness, 100000.0);
  EXPECT_NE(r.Settings.find("PopulationSize=" + std::to_string(size)), std::string::npos);
  EXPECT_EQ(log.str().find("generation 1  best fitness "), 0u);
  EXPECT_NE(log.str().find("solver at "), std::string::npos);

  const PoleStatistics s = Summarize({r, PoleResult{}});
  EXPECT_EQ(s.Runs, 2);
  EXPECT_EQ(s.Successes, 1);
  EXPECT_EQ(s.MeanEvaluations, static_cast<double>(r.Evaluations));
  EXPECT_EQ(s.WorstEvaluationsToSolver, r.EvaluationsToSolver);
  EXPECT_EQ(s.MinGeneralization, r.Generalization);
  EXPECT_EQ(s.TotalEvaluations, r.Evaluations);
}

// Whether a gene comes from the pool or is built decides whether a random draw is made, so
// both runs start from an empty pool.
PoleResult RunWithThreads(PoleOptions options, int32_t threads, std::string* log) {
  CacheHandler().Clear();
  std::ostringstream text;
  options.Threads = threads;
  options.Log = &text;
  PoleResult r = RunPoleBalancing(options);
  *log = text.str();
  return r;
}

TEST(PoleEvolutionTest, OneAndTwoThreadsGiveTheSameRun) {
  // The single pole solves, so its solver's generalization runs on copies of the network.
  PoleOptions single;
  single.Task = PoleTask::SinglePole;
  single.Seed = 3;
  single.MaxGenerations = 100;
  // Without velocities, with memory of every kind the engine offers.
  PoleOptions blind;
  blind.Task = PoleTask::DoublePoleNoVelocities;
  blind.Seed = 11;
  blind.MaxGenerations = 4;
  blind.Settings = {{"PopulationSize", "60"}, {"MaxConnectionDelay", "2"},
                    {"ConnectOutputOfInitialPop", "true"}, {"ConnectionAddChance", "0.3"},
                    {"ConnectionSplitChance", "0.3"}};
  for (const PoleOptions& options : {single, blind}) {
    std::string oneLog, twoLog;
    const PoleResult one = RunWithThreads(options, 1, &oneLog);
    const PoleResult two = RunWithThreads(options, 2, &twoLog);
    EXPECT_EQ(oneLog, twoLog);
    EXPECT_EQ(one.Solved, two.Solved);
    EXPECT_EQ(one.Generations, two.Generations);
    EXPECT_EQ(one.EvaluationsToSolver, two.EvaluationsToSolver);
    EXPECT_EQ(one.Generalization, two.Generalization);
    EXPECT_EQ(one.BestFitness, two.BestFitness);
    EXPECT_EQ(one.ChampionGenes, two.ChampionGenes);
  }
}

TEST(PoleEvolutionTest, ASeedGivesTheSameRunAloneOrAfterOthers) {
  PoleOptions options;
  options.Task = PoleTask::DoublePoleNoVelocities;
  options.Seed = 2;
  options.MaxGenerations = 6;
  std::ostringstream alone, afterOthers;
  CacheHandler().Clear();
  options.Log = &alone;
  RunPoleBalancing(options);
  // Runs before it leave spare genes in the process-wide pool.
  PoleOptions other = options;
  other.Log = nullptr;
  for (uint32_t seed : {5u, 6u}) {
    other.Seed = seed;
    RunPoleBalancing(other);
  }
  options.Log = &afterOthers;
  RunPoleBalancing(options);
  EXPECT_EQ(alone.str(), afterOthers.str());
}

}  // namespace
}  // namespace qf::pole
