// Population checkpoints: a run stopped at either stopping point and continued from the file
// in a fresh population, with the process-wide pool and seed disturbed in between, goes on
// exactly as the uninterrupted run; saving changes nothing; a bad file is refused with its
// place named and the population left as it was.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "neat/io/neat_io.h"
#include "tests/neat_io/io_test_util.h"

namespace qf::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// Step 0 is CreateInitialPopulation; odd steps evaluate, even steps breed.
class Stepper {
public:
  explicit Stepper(TSelectionType selection) : population_(std::make_unique<TNEATPopulation>(nullptr)) {
    ApplyStoredPopulationSettings(*population_);
    population_->SelectionType = selection;
    population_->OnCalculateFitness = GenomeFitness;
  }
  TNEATPopulation& Population() { return *population_; }

  void Step(int32_t step) {
    if (step == 0) {
      population_->ClearInnovations();
      population_->CreateInitialPopulation();
    } else if (step % 2 == 1) {
      population_->EvaluateGeneration();
    } else {
      population_->CreateNextGeneration();
    }
  }
  // Steps from..to, with a fingerprint after each; the hook runs after every step.
  std::vector<std::string> Steps(int32_t from, int32_t to,
                                 const std::function<void(int32_t)>& hook = nullptr) {
    std::vector<std::string> prints;
    for (int32_t s = from; s <= to; ++s) {
      Step(s);
      if (hook) hook(s);
      prints.push_back(Fingerprint(*population_));
    }
    return prints;
  }
  // The process ends: the population goes, its genes into the pool.
  void End() { population_.reset(); }

private:
  std::unique_ptr<TNEATPopulation> population_;
};

class CheckpointTest : public ::testing::TestWithParam<TSelectionType> {
protected:
  void SetUp() override {
    RegisterGameTransferFunctions();
    CacheHandler().Clear();
    SetRandSeed(4242);
  }
  void TearDown() override { CacheHandler().Clear(); }
};

constexpr int32_t kLastStep = 22;  // generation 11 evaluated

TEST_P(CheckpointTest, AResumedRunContinuesExactlyAtBothStoppingPoints) {
  const std::vector<std::string> reference = Stepper(GetParam()).Steps(0, kLastStep);
  // 9: generation 5 evaluated, before breeding; 10: generation 6 bred, before evaluation.
  for (int32_t stop : {9, 10}) {
    SCOPED_TRACE("stopped after step " + std::to_string(stop));
    CacheHandler().Clear();
    SetRandSeed(4242);
    Stepper first(GetParam());
    const std::vector<std::string> before = first.Steps(0, stop);
    std::ostringstream file;
    io::SavePopulation(first.Population(), file);
    first.End();

    // A new process: another seed, a pool of another size, and what it holds is not the run's.
    SetRandSeed(99);
    Stepper other(stSpecies);
    other.Steps(0, 2);
    other.End();

    Stepper resumed(GetParam());
    std::istringstream in(file.str());
    io::LoadPopulation(in, resumed.Population());
    EXPECT_EQ(Fingerprint(resumed.Population()), reference[static_cast<size_t>(stop)]);
    const std::vector<std::string> after = resumed.Steps(stop + 1, kLastStep);
    for (int32_t s = stop + 1; s <= kLastStep; ++s) {
      ASSERT_EQ(after[static_cast<size_t>(s - stop - 1)], reference[static_cast<size_t>(s)])
          << "step " << s;
    }
  }
}

TEST_P(CheckpointTest, ARunThatSavesAtEveryStepEqualsOneThatNeverDoes) {
  const std::vector<std::string> reference = Stepper(GetParam()).Steps(0, kLastStep);
  CacheHandler().Clear();
  SetRandSeed(4242);
  Stepper saving(GetParam());
  std::string last;
  const std::vector<std::string> prints = saving.Steps(0, kLastStep, [&](int32_t) {
    const std::string before = Fingerprint(saving.Population());
    std::ostringstream file;
    io::SavePopulation(saving.Population(), file, {{"step", "x"}});
    EXPECT_EQ(Fingerprint(saving.Population()), before);
    last = file.str();
  });
  EXPECT_EQ(prints, reference);
  // Loaded and saved again, a checkpoint reads the same.
  Stepper again(GetParam());
  std::istringstream in(last);
  EXPECT_EQ(io::LoadPopulation(in, again.Population()).at("step"), "x");
  std::ostringstream resaved;
  io::SavePopulation(again.Population(), resaved, {{"step", "x"}});
  EXPECT_EQ(resaved.str(), last);
}

std::string SelectionName(const ::testing::TestParamInfo<TSelectionType>& info) {
  static const char* const names[] = {"FitProp", "Species", "Tournament", "LocalTournament"};
  return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(SelectionTypes, CheckpointTest,
                         ::testing::Values(stSpecies, stFitProp, stTournament, stLocalTournament),
                         SelectionName);

TEST(CheckpointRegistryTest, ACheckpointOfAnotherRegistryIsRefusedUntouched) {
  RegisterGameTransferFunctions();
  CacheHandler().Clear();
  SetRandSeed(7);
  Stepper run(stSpecies);
  run.Steps(0, 3);
  std::ostringstream file;
  io::SavePopulation(run.Population(), file);
  json doc = json::parse(file.str());
  doc["TransferFunctions"].push_back("Tanh");
  const std::string before = Fingerprint(run.Population());
  std::istringstream in(doc.dump());
  try {
    io::LoadPopulation(in, run.Population());
    FAIL() << "accepted";
  } catch (const io::EFormatError& e) {
    EXPECT_NE(std::string(e.what()).find("Sigmoid, Gaussian, IF, DelayGaussian, Sigmoind, Max, "
                                         "Min, Tanh], this program has [Sigmoid, Gaussian"),
              std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("could not continue exactly"), std::string::npos);
  }
  EXPECT_EQ(Fingerprint(run.Population()), before);
  CacheHandler().Clear();
}

// A real run leaves some fields at their first values (the generation counters never advance),
// so a field stored but read back wrong would go unseen there: every one is given a value of
// its own in the file, and loading and saving again must give back the same document.
TEST(CheckpointFieldsTest, EveryStoredFieldIsReadBackAsWritten) {
  RegisterGameTransferFunctions();
  CacheHandler().Clear();
  SetRandSeed(12);
  Stepper run(stSpecies);
  run.Steps(0, 5);
  std::ostringstream file;
  io::SavePopulation(run.Population(), file);
  json doc = json::parse(file.str());
  doc["CurrentGeneration"] = 40;
  doc["PreviousBestFitness"] = 2.5;
  doc["ChampionFitnessTotal"] = 7.25;
  int32_t k = 0;
  for (json& s : doc["Species"]) {
    s["BirthGeneration"] = k % 10;
    s["LastImprovementGeneration"] = 10 + k % 20;
    s["Color"] = 0x123456 + k;
    s["SpeciesPunish"] = 0.5 + k;
    ++k;
  }
  ASSERT_GE(k, 2);
  doc["GenotypeList"][1]["Tag"] = 17;
  doc["PreviousGenotypeList"][2]["Tag"] = -3;

  std::istringstream in(doc.dump());
  io::LoadPopulation(in, run.Population());
  std::ostringstream again;
  io::SavePopulation(run.Population(), again);
  EXPECT_EQ(json::parse(again.str()), doc);
}

// One corruption of a real checkpoint and the words its refusal must contain.
struct Corruption {
  const char* Name;
  std::function<void(json&)> Edit;
  std::vector<std::string> Expected;
};

TEST(CheckpointBadInputTest, EveryKindOfBadFileIsRefusedWithItsPlaceAndTouchesNothing) {
  RegisterGameTransferFunctions();
  CacheHandler().Clear();
  SetRandSeed(11);
  Stepper run(stSpecies);
  run.Steps(0, 7);  // generation 4 evaluated: both lists full, species, network state
  std::ostringstream file;
  io::SavePopulation(run.Population(), file);
  const std::string good = file.str();
  const json doc = json::parse(good);
  ASSERT_GT(doc["GenotypeList"][0]["Connections"].size(), 2u);
  const int32_t nextNode = doc["NextNodeNumber"];
  const int32_t nextInnovation = doc["NextInnovation"];
  size_t living = 0;
  while (doc["Species"][living]["Genotypes"].empty()) ++living;

  const std::vector<Corruption> corruptions = {
      {"version", [](json& d) { d["Version"] = 2; }, {"$.Version", "format version 2 is not supported"}},
      {"format", [](json& d) { d["Format"] = "quillfrost-genome"; },
       {"$.Format", "a \"quillfrost-genome\" file, not a \"quillfrost-population\" file"}},
      {"missing node",
       [](json& d) { d["GenotypeList"][3]["Connections"][1][2] = 77777; },
       {"$.GenotypeList[3].Connections[1][2]", "leads to node 77777, which the genome does not hold"}},
      {"duplicate node",
       [](json& d) { d["PreviousGenotypeList"][2]["Nodes"][5][0] = 4; },
       {"$.PreviousGenotypeList[2].Nodes[5][0]", "node number 4 appears twice"}},
      {"duplicate innovation",
       [](json& d) {
         auto& c = d["GenotypeList"][0]["Connections"];
         c[1][0] = c[0][0];
       },
       {"$.GenotypeList[0].Connections[1][0]", "appears twice"}},
      {"node at the counter",
       [&](json& d) {
         d["GenotypeList"][5]["Nodes"].push_back({nextNode, "hidden", "Sigmoid", 50, false});
       },
       {"$.GenotypeList[5].Nodes[" + std::to_string(doc["GenotypeList"][5]["Nodes"].size()) + "]",
        "node number " + std::to_string(nextNode) + " is not below NextNodeNumber " +
            std::to_string(nextNode)}},
      {"innovation at the counter",
       [&](json& d) {
         d["GenotypeList"][6]["Connections"].push_back({nextInnovation, 0, 7, 0.5, true, 0});
       },
       {"innovation " + std::to_string(nextInnovation) + " is not below NextInnovation"}},
      {"species at the counter", [](json& d) { d["Species"][0]["SpeciesID"] = d["NextSpeciesID"]; },
       {"$.Species[0].SpeciesID", "is not below NextSpeciesID"}},
      {"list size", [](json& d) { d["GenotypeList"].erase(d["GenotypeList"].begin()); },
       {"$.GenotypeList", "holds 29 genotypes; PopulationSize is 30"}},
      {"population size", [](json& d) { d["Settings"]["PopulationSize"] = 31; },
       {"holds 30 genotypes; PopulationSize is 31"}},
      {"unknown transfer function",
       [](json& d) { d["GenotypeList"][1]["Nodes"][8][2] = "Softplus"; },
       {"$.GenotypeList[1].Nodes[8]", "\"Softplus\" is not among the checkpoint's TransferFunctions"}},
      {"dangling champion", [](json& d) { d["Species"][0]["Champion"] = {"PreviousGenotypeList", 30}; },
       {"$.Species[0].Champion[1]", "refers to genotype 30 of PreviousGenotypeList, which holds 30"}},
      {"dangling best", [](json& d) { d["BestIndividual"] = {"Elsewhere", 0}; },
       {"$.BestIndividual[0]", "neither GenotypeList nor PreviousGenotypeList"}},
      {"species hint", [](json& d) { d["GenotypeList"][2]["SpeciesHint"] = 500; },
       {"$.GenotypeList[2].SpeciesHint", "species 500 does not exist"}},
      {"delay", [](json& d) { d["GenotypeList"][0]["Connections"][0][5] = 6; },
       {"$.GenotypeList[0].Connections[0][5]", "6 is out of range 0 .. 5"}},
      {"weight", [](json& d) { d["GenotypeList"][0]["Connections"][0][3] = "heavy"; },
       {"$.GenotypeList[0].Connections[0][3]", "expected a number, found a string"}},
      {"row length", [](json& d) { d["GenotypeList"][0]["Nodes"][0].erase(4); },
       {"$.GenotypeList[0].Nodes[0]", "expected 5 values, found 4"}},
      {"threshold", [](json& d) { d["Settings"]["SurvivalThreshold"] = 1.0; },
       {"$.Settings.SurvivalThreshold", "strictly between 0 and 1"}},
      {"selection", [](json& d) { d["Settings"]["SelectionType"] = "stRandom"; },
       {"$.Settings.SelectionType", "unknown value \"stRandom\""}},
      {"misspelt key", [](json& d) { d["Settings"]["PopulatoinSize"] = 30; },
       {"$.Settings", "unknown setting \"PopulatoinSize\""}},
      {"missing key", [](json& d) { d.erase("NextNodeNumber"); }, {"$: missing \"NextNodeNumber\""}},
      {"pool", [](json& d) { d["GenePool"]["Nodes"] = -1; }, {"$.GenePool.Nodes", "out of range"}},
      {"huge pool", [](json& d) { d["GenePool"]["Connections"] = 4000000000u; },
       {"$.GenePool.Connections", "4000000000 is out of range 0 .. 1000000"}},
      {"seed", [](json& d) { d["RandSeed"] = -5; }, {"$.RandSeed", "out of range 0 .. 4294967295"}},
      {"allotment",
       [](json& d) { d["Species"][0]["ExpectedOffspringCount"] = 31; },
       {"$.Species", "children, more than PopulationSize 30"}},
      {"state row",
       [](json& d) { d["GenotypeList"][0]["State"]["Nodes"][0][0] = 9999; },
       {"$.GenotypeList[0].State.Nodes[0][0]", "state for node 9999"}},
      {"champion missing", [&](json& d) { d["Species"][living]["Champion"] = nullptr; },
       {"$.Species[" + std::to_string(living) + "]", "champion"}},
      {"members of two generations",
       [&](json& d) { d["Species"][living]["Genotypes"][0] = {"PreviousGenotypeList", 0}; },
       {"the champion and the members lie in different genotype lists"}},
      {"host value", [](json& d) { d["Host"]["generation"] = 4; }, {"$.Host.generation", "expected a string"}},
      // What reads well but could not run, or would fail later without naming the file.
      {"output marked hidden", [](json& d) { d["GenotypeList"][3]["Nodes"][8][1] = "hidden"; },
       {"$.GenotypeList[3].Nodes[8][1]", "node 8 is hidden but must be output",
        "inputs are nodes 0 .. 6, its outputs nodes 7 .. 9"}},
      {"no nodes",
       [](json& d) {
         auto& g = d["GenotypeList"][4];
         g["Nodes"] = json::array();
         g["Connections"] = json::array();
         g.erase("State");
       },
       {"$.GenotypeList[4].Nodes", "the genome lacks node 0"}},
      {"link into an input", [](json& d) { d["GenotypeList"][0]["Connections"][0][2] = 1; },
       {"$.GenotypeList[0].Connections[0][2]", "leads into node 1, an input"}},
      {"weight not a number", [](json& d) { d["GenotypeList"][0]["Connections"][1][3] = "nan"; },
       {"$.GenotypeList[0].Connections[1][3]", "expected a finite number, found \"nan\""}},
      {"weight beyond the limit",
       [](json& d) { d["PreviousGenotypeList"][1]["Connections"][2][3] = 3.5; },
       {"$.PreviousGenotypeList[1].Connections[2][3]",
        "weight 3.5 lies beyond the population's limit of 3"}},
      {"infinite fitness", [](json& d) { d["GenotypeList"][1]["Fitness"] = "inf"; },
       {"$.GenotypeList[1].Fitness", "found \"inf\""}},
      {"unprepared", [](json& d) { d["GenotypeList"][2]["Prepared"] = false; },
       {"$.GenotypeList[2].Prepared", "always prepared"}},
      {"depth levels", [](json& d) { d["GenotypeList"][0]["MaxNodeDepth"] = 100000; },
       {"$.GenotypeList[0].MaxNodeDepth", "100000 is not between 2 and 2 + its"}},
      {"empty generation", [](json& d) { d["GenotypeList"] = json::array(); },
       {"$.GenotypeList", "holds 0 genotypes; PopulationSize is 30"}},
      {"setting not finite", [](json& d) { d["Settings"]["WeightPeturbationFactor"] = "inf"; },
       {"$.Settings.WeightPeturbationFactor", "found \"inf\""}},
      {"passes", [](json& d) { d["Settings"]["ActivationIterations"] = -2; },
       {"$.Settings.ActivationIterations", "-2 is out of range -1 .."}},
      {"local tournament",
       [](json& d) {
         d["Settings"]["SelectionType"] = "stLocalTournament";
         d["Settings"]["TournamentRange"] = 62;
       },
       {"$.Settings.TournamentRange", "62 does not fit a population of 30"}},
      {"total", [](json& d) { d["AdjustedFitnessTotal"] = d["AdjustedFitnessTotal"].get<double>() * 1e6; },
       {"$.AdjustedFitnessTotal", "is not the sum of the species' adjusted fitness"}},
      {"species sum", [&](json& d) { d["Species"][living]["AdjustedFitnessSum"] = 1e300; },
       {"$.Species[" + std::to_string(living) + "].AdjustedFitnessSum",
        "1e+300 is not the sum of its members' adjusted fitness"}},
      {"breeding from a generation about to be freed",
       [&](json& d) {
         auto& s = d["Species"][living];
         s["Champion"][0] = "PreviousGenotypeList";
         for (auto& member : s["Genotypes"]) member[0] = "PreviousGenotypeList";
       },
       {"$.Species[" + std::to_string(living) + "].Champion",
        "breeds next from PreviousGenotypeList, which that breeding step frees"}},
  };

  const std::string before = Fingerprint(run.Population());
  const auto refused = [&](const std::string& text, const std::vector<std::string>& expected) {
    std::istringstream in(text);
    try {
      io::LoadPopulation(in, run.Population());
      ADD_FAILURE() << "accepted";
    } catch (const io::EFormatError& e) {
      for (const std::string& words : expected) {
        EXPECT_NE(std::string(e.what()).find(words), std::string::npos)
            << "message: " << e.what() << "\nexpected: " << words;
      }
    }
    EXPECT_EQ(Fingerprint(run.Population()), before) << "the population changed";
  };
  for (const Corruption& c : corruptions) {
    SCOPED_TRACE(c.Name);
    json bad = doc;
    c.Edit(bad);
    refused(bad.dump(1), c.Expected);
  }
  // Truncated anywhere, and garbage.
  for (size_t cut : {size_t{0}, size_t{1}, good.size() / 7, good.size() / 2, good.size() - 3}) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    refused(good.substr(0, cut), {"checkpoint: not valid JSON (truncated or corrupt)"});
  }
  refused("\x89PNG\r\n\x1a\n", {"not valid JSON"});
  refused("[1, 2, 3]", {"$: expected an object"});

  // The good file itself still loads.
  std::istringstream in(good);
  EXPECT_NO_THROW(io::LoadPopulation(in, run.Population()));
  EXPECT_EQ(Fingerprint(run.Population()), before);
  CacheHandler().Clear();
}

// Never ends, never seeks: a pipe or a device behind a stream.
class EndlessSpaces : public std::streambuf {
public:
  EndlessSpaces() : buffer_(1 << 16, ' ') { underflow(); }

protected:
  int_type underflow() override {
    setg(buffer_.data(), buffer_.data(), buffer_.data() + buffer_.size());
    return ' ';
  }

private:
  std::vector<char> buffer_;
};

TEST(CheckpointFileTest, WhatIsNoFileOrHoldsTooMuchIsRefusedByNameBeforeItIsRead) {
  RegisterGameTransferFunctions();
  const fs::path dir = fs::temp_directory_path() / ("qf-io-files-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "run.json");
  std::ofstream(dir / "nested.json") << "{\n  \"Format\": " << std::string(40, '[');
  std::ofstream(dir / "large.json").close();
  fs::resize_file(dir / "large.json", (size_t{64} << 20) + 1);  // sparse: nothing to read
  const std::vector<std::pair<fs::path, std::string>> files = {
      {dir / "run.json", ": is a directory"},
      {"/dev/zero", ": is not a regular file"},
      {dir / "missing.json", ": cannot be opened: No such file or directory"},
      {dir / "nested.json",
       ": nested more than 16 levels deep at line 2, column 28; no genome file or checkpoint is"},
      {dir / "large.json",
       ": 67108865 bytes, more than the 67108864 a genome file or checkpoint may hold"}};
  TNEATPopulation population(nullptr);
  ApplyStoredPopulationSettings(population);
  TGenotype genotype(&population);
  for (const auto& [file, problem] : files) {
    SCOPED_TRACE(file.string());
    const std::string expected = file.string() + problem;
    try {
      io::LoadPopulationFile(file, population);
      ADD_FAILURE() << "accepted as a checkpoint";
    } catch (const io::EFormatError& e) {
      EXPECT_EQ(e.what(), expected);
    }
    try {
      io::LoadGenotypeFile(file, genotype);
      ADD_FAILURE() << "accepted as a genome";
    } catch (const io::EFormatError& e) {
      EXPECT_EQ(e.what(), expected);
    }
  }
  // A stream without end is read no further than a file may be long.
  EndlessSpaces endless;
  std::istream in(&endless);
  EXPECT_THROW(io::LoadPopulation(in, population), io::EFormatError);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qf::test
