// The XOR host stopped at either stopping point and resumed from its checkpoint file goes on
// exactly as the run that never stopped, with each selection type; checkpointing at every
// generation changes nothing.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "examples/xor/xor.h"
#include "neat/io/neat_io.h"
#include "tests/neat_io/io_test_util.h"

namespace qf::test {
namespace {

namespace fs = std::filesystem;

struct Trace {
  std::vector<std::string> Steps;  // "generation/evaluated" and the fingerprint
  std::string Log;
};

Trace RunTraced(XorOptions options) {
  Trace trace;
  std::ostringstream log;
  options.Log = &log;
  options.OnStep = [&](const TNEATPopulation& p, int32_t generation, bool evaluated) {
    trace.Steps.push_back(std::to_string(generation) + (evaluated ? "e " : "b ") + Fingerprint(p));
  };
  RunXor(options);
  trace.Log = log.str();
  return trace;
}

class XorResumeTest : public ::testing::TestWithParam<TSelectionType> {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qf-xor-resume-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    CacheHandler().Clear();
  }
  void TearDown() override {
    fs::remove_all(dir_);
    CacheHandler().Clear();
  }
  XorOptions Options(int32_t generations) const {
    XorOptions o;
    o.Seed = 8;
    o.PopulationSize = 60;
    o.MaxGenerations = generations;
    o.SelectionType = GetParam();
    o.Margin = 0.99;  // not solved in these few generations
    return o;
  }
  fs::path dir_;
};

TEST_P(XorResumeTest, ResumedFromEitherCheckpointTheRunGoesOnExactly) {
  const Trace reference = RunTraced(Options(12));
  ASSERT_EQ(reference.Steps.size(), 24u);

  // Stopped after generation 5: the bred checkpoint holds generation 6 before evaluation, the
  // evaluated one generation 5 before breeding.
  CacheHandler().Clear();
  XorOptions first = Options(5);
  first.CheckpointFile = (dir_ / "bred.json").string();
  first.EvaluatedCheckpointFile = (dir_ / "evaluated.json").string();
  const Trace head = RunTraced(first);
  EXPECT_EQ(head.Steps, std::vector<std::string>(reference.Steps.begin(), reference.Steps.begin() + 10));

  for (const char* file : {"bred.json", "evaluated.json"}) {
    SCOPED_TRACE(file);
    CacheHandler().Clear();  // a new process has an empty pool
    XorOptions resumed = Options(12);
    resumed.Seed.reset();    // the checkpoint keeps the seed's state and the margin
    resumed.Margin.reset();
    resumed.ResumeFile = (dir_ / file).string();
    const Trace tail = RunTraced(resumed);
    const size_t from = reference.Steps.size() - tail.Steps.size();
    EXPECT_EQ(from, std::string(file) == "bred.json" ? 10u : 9u);
    EXPECT_EQ(tail.Steps, std::vector<std::string>(reference.Steps.begin() + static_cast<long>(from),
                                                   reference.Steps.end()));
    EXPECT_EQ(head.Log + tail.Log, reference.Log);
  }

  // Given with a resume, what the checkpoint keeps must be the run's; a directory is no file.
  const auto refusal = [&](XorOptions o) -> std::string {
    try {
      RunXor(o);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "<accepted>";
  };
  XorOptions again = Options(12);
  again.ResumeFile = (dir_ / "bred.json").string();
  again.Seed = 12345;
  EXPECT_NE(refusal(again).find("continues the run of seed 8, not of seed 12345"), std::string::npos)
      << refusal(again);
  again.Seed = 8;
  again.Margin = 0.5;
  EXPECT_NE(refusal(again).find("solved with the margin 0.99, not 0.5"), std::string::npos)
      << refusal(again);
  again.ResumeFile = dir_.string();
  EXPECT_EQ(refusal(again), dir_.string() + ": is a directory");
}

TEST_P(XorResumeTest, CheckpointingEveryGenerationChangesNothing) {
  const Trace reference = RunTraced(Options(8));
  CacheHandler().Clear();
  XorOptions saving = Options(8);
  saving.CheckpointFile = (dir_ / "a.json").string();
  saving.EvaluatedCheckpointFile = (dir_ / "b.json").string();
  saving.ChampionFile = (dir_ / "champion.json").string();
  saving.ChampionSvgFile = (dir_ / "champion.svg").string();
  const Trace traced = RunTraced(saving);
  EXPECT_EQ(traced.Steps, reference.Steps);
  EXPECT_EQ(traced.Log, reference.Log);
  EXPECT_TRUE(fs::file_size(dir_ / "champion.svg") > 0);

  // The saved champion is the run's best and plays XOR as it did.
  TNEATPopulation holder(nullptr);
  holder.InputNodeCount = 3;
  auto champion = io::LoadGenotypeFile(dir_ / "champion.json", holder, {true});
  double bestFitness = 0;
  {
    std::istringstream lines(reference.Log);
    std::string line, last;
    while (std::getline(lines, line)) last = line;
    bestFitness = std::stod(last.substr(last.find("best fitness ") + 13));
  }
  EXPECT_NEAR(XorFitness(*champion, 0.5, nullptr), bestFitness, 1e-4);
}

std::string SelectionName(const ::testing::TestParamInfo<TSelectionType>& info) {
  static const char* const names[] = {"FitProp", "Species", "Tournament", "LocalTournament"};
  return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(SelectionTypes, XorResumeTest,
                         ::testing::Values(stSpecies, stFitProp, stTournament, stLocalTournament),
                         SelectionName);

}  // namespace
}  // namespace qf::test
