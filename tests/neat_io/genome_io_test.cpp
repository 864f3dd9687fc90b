// Genome files: evolved genomes round-trip exactly, network state included, so a loaded
// genome runs on bit for bit; awkward numbers survive; saving changes nothing; the target
// population's counters and registry must accept what is loaded.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cfloat>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "neat/io/neat_io.h"
#include "tests/neat_io/io_test_util.h"

namespace qf::test {
namespace {

class GenomeIoTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterGameTransferFunctions();
    CacheHandler().Clear();
    SetRandSeed(31337);
    ApplyStoredPopulationSettings(pop);
    pop.MaxConnectionDelay = kMaxDelay;  // delay lines in use, the longest too
    pop.OnCalculateFitness = GenomeFitness;
  }
  void TearDown() override { CacheHandler().Clear(); }

  void Evolve(int32_t generations) {
    pop.CreateInitialPopulation();
    for (int32_t i = 0; i < generations; ++i) {
      pop.EvaluateGeneration();
      pop.CreateNextGeneration();
    }
    pop.EvaluateGeneration();  // every genome has run: values, delay lines, transfer state
  }

  static std::string Saved(const TGenotype& g) {
    std::ostringstream out;
    io::SaveGenotype(g, out);
    return out.str();
  }

  std::unique_ptr<TGenotype> Loaded(const std::string& text) {
    auto g = std::make_unique<TGenotype>(&pop);
    std::istringstream in(text);
    io::LoadGenotype(in, *g);
    return g;
  }

  static std::vector<double> RunOn(TGenotype& g, int32_t steps) {
    std::vector<double> outputs;
    for (int32_t k = 0; k < steps; ++k) {
      for (int32_t i = 0; i < g.InputNodes.Count(); ++i) g.SetInput(i, std::cos(0.7 * i * k));
      g.Iterate(-1);
      for (int32_t o = 0; o < g.OutputNodes.Count(); ++o) outputs.push_back(g.GetOutput(o));
    }
    return outputs;
  }

  static bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (Bits(a[i]) != Bits(b[i])) return false;
    }
    return true;
  }

  TNEATPopulation pop{nullptr};
};

TEST_F(GenomeIoTest, EvolvedGenomesRoundTripAndRunOnBitForBit) {
  Evolve(12);
  int32_t hidden = 0, delayed = 0, longest = 0, withState = 0;
  for (TGenotype* original : *pop.GenotypeList) {
    original->Tag = 17;
    const std::string text = Saved(*original);
    auto copy = Loaded(text);
    ASSERT_TRUE(copy->IsSameAs(*original));
    std::ostringstream a, b;
    FingerprintGenome(a, *original);
    FingerprintGenome(b, *copy);
    EXPECT_EQ(a.str(), b.str());
    EXPECT_EQ(copy->Tag, 17);
    EXPECT_EQ(copy->SpeciesHint, nullptr);
    for (int32_t i = 0; i < original->NodeList.Count(); ++i) {
      const TNode& n = *original->NodeList[i];
      const TNode& m = *copy->NodeList[i];
      EXPECT_EQ(m.Genotype, copy.get());
      EXPECT_EQ(Bits(m.Value), Bits(n.Value));
      EXPECT_EQ(Bits(m.TransferState[0]), Bits(n.TransferState[0]));
      hidden += !n.IsInput && !n.IsOutput;
    }
    for (const TConnect* c : original->ConnectList) {
      delayed += c->Delay > 0 && c->Enabled;
      longest += c->Delay == kMaxDelay && c->Enabled && c->DelayLine[0] != 0;
    }
    withState += text.find("\"State\"") != std::string::npos;
    // Saved again, the text is the same.
    EXPECT_EQ(Saved(*copy), text);
    // Both go on from where the original stood.
    EXPECT_TRUE(SameBits(RunOn(*copy, 6), RunOn(*original, 6)));
  }
  EXPECT_GT(hidden, 0) << "evolve longer: no hidden node to test";
  EXPECT_GT(delayed, 0) << "no delay line to test";
  EXPECT_GT(longest, 0) << "no full delay line of the longest delay to test";
  EXPECT_EQ(withState, pop.PopulationSize);

  // A fresh copy (no state) saves without a State, loads fresh and runs like another copy.
  auto fresh = (*pop.GenotypeList)[0]->Clone();
  fresh->PreparePhenotype();
  const std::string text = Saved(*fresh);
  EXPECT_EQ(text.find("\"State\""), std::string::npos);
  auto loaded = Loaded(text);
  EXPECT_TRUE(SameBits(RunOn(*loaded, 5), RunOn(*fresh, 5)));
}

TEST_F(GenomeIoTest, AwkwardNumbersSurviveBitForBit) {
  Evolve(0);
  // A copy, so the population's own genomes keep weights its settings allow.
  const auto awkward = (*pop.GenotypeList)[0]->Clone();
  TGenotype& g = *awkward;
  pop.MaxLinkWeight = FLT_MAX;  // the widest weight limit there is
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> weights = {0.1, 1.0 / 3, -0.0, 5e-324, 2.2250738585072014e-308,
                                       FLT_MAX, -FLT_MAX, 0x1p60, 1.2345678901234567e20,
                                       9007199254740993.0, -1e-300, 3.0000000000000004,
                                       123456789012345678.0, 1e21, 0.30000000000000004};
  for (size_t i = 0; i < weights.size(); ++i) g.ConnectList[static_cast<int32_t>(i)]->Weight = weights[i];
  g.Fitness = 1e308;
  g.AdjustedFitness = 4.9406564584124654e-324;
  g.NodeList[8]->Value = inf;
  g.NodeList[8]->NetInput = -inf;
  g.NodeList[9]->Value = std::numeric_limits<double>::quiet_NaN();
  g.NodeList[9]->PreviousValue = -0.0;
  g.NodeList[9]->Depth = 99.99999999999999;
  g.NodeList[9]->TransferState[1] = DBL_MAX;
  g.ConnectList[2]->DelayLine[5] = -DBL_MAX;
  auto copy = Loaded(Saved(g));
  for (size_t i = 0; i < weights.size(); ++i) {
    EXPECT_EQ(Bits(copy->ConnectList[static_cast<int32_t>(i)]->Weight), Bits(weights[i])) << i;
  }
  EXPECT_EQ(Bits(copy->Fitness), Bits(g.Fitness));
  EXPECT_EQ(Bits(copy->AdjustedFitness), Bits(g.AdjustedFitness));
  EXPECT_EQ(copy->NodeList[8]->Value, inf);
  EXPECT_EQ(copy->NodeList[8]->NetInput, -inf);
  EXPECT_TRUE(std::isnan(copy->NodeList[9]->Value));
  EXPECT_EQ(Bits(copy->NodeList[9]->PreviousValue), Bits(-0.0));
  EXPECT_EQ(Bits(copy->NodeList[9]->Depth), Bits(99.99999999999999));
  EXPECT_EQ(copy->NodeList[9]->TransferState[1], DBL_MAX);
  EXPECT_EQ(copy->ConnectList[2]->DelayLine[5], -DBL_MAX);

  // Singles are written as singles and read back to the same bits.
  const std::vector<float> singles = {0.4f, 0.1f, FLT_MIN, 1e-45f, FLT_MAX, 1.0000001f,
                                      16777217.0f, 3.1415927f};
  for (size_t i = 0; i + 3 < singles.size(); i += 4) {
    pop.WeightUnrelatednessFactor = singles[i];
    pop.WeightPeturbationFactor = singles[i + 1];
    pop.InitialWeightMagnitude = singles[i + 2];
    pop.MaxLinkWeight = singles[i + 3];
    std::ostringstream out;
    io::SavePopulation(pop, out);
    if (i == 0) {
      EXPECT_NE(out.str().find("\"WeightUnrelatednessFactor\": 0.4,"), std::string::npos);
    }
    TNEATPopulation other(nullptr);
    std::istringstream in(out.str());
    io::LoadPopulation(in, other);
    EXPECT_EQ(other.WeightUnrelatednessFactor, singles[i]);
    EXPECT_EQ(other.WeightPeturbationFactor, singles[i + 1]);
    EXPECT_EQ(other.InitialWeightMagnitude, singles[i + 2]);
    EXPECT_EQ(other.MaxLinkWeight, singles[i + 3]);
  }
}

TEST_F(GenomeIoTest, SavingDrawsNothingAndTakesNothing) {
  Evolve(3);
  const std::string before = Fingerprint(pop);
  for (const TGenotype* g : *pop.GenotypeList) Saved(*g);
  std::ostringstream out;
  io::SavePopulation(pop, out);
  EXPECT_EQ(Fingerprint(pop), before);
}

TEST_F(GenomeIoTest, LoadingTakesGenesFromThePoolAndReturnsTheOldOnes) {
  Evolve(4);
  const TGenotype& source = *(*pop.GenotypeList)[3];
  const std::string text = Saved(source);
  auto target = (*pop.GenotypeList)[0]->Clone();
  const int32_t oldNodes = target->NodeList.Count();
  const int32_t nodesBefore = CacheHandler().NodePool.Count();
  std::istringstream in(text);
  io::LoadGenotype(in, *target);
  EXPECT_EQ(CacheHandler().NodePool.Count(), nodesBefore + oldNodes - source.NodeList.Count());
  EXPECT_TRUE(target->IsSameAs(source));
}

TEST_F(GenomeIoTest, TheTargetPopulationMustAcceptTheNumbersAndNames) {
  Evolve(12);
  const TGenotype* grown = nullptr;
  for (const TGenotype* g : *pop.GenotypeList) {
    if (!grown || g->NodeList.Last()->Number > grown->NodeList.Last()->Number) grown = g;
  }
  ASSERT_GT(grown->NodeList.Last()->Number, 9);
  const std::string text = Saved(*grown);

  TNEATPopulation fresh(nullptr);
  ApplyStoredPopulationSettings(fresh);
  fresh.CreateInitialPopulation();  // counters at 10 and 21
  TGenotype& target = *(*fresh.GenotypeList)[0];
  std::ostringstream before;
  FingerprintGenome(before, target);
  const auto refusal = [&](const std::string& t) -> std::string {
    std::istringstream in(t);
    try {
      io::LoadGenotype(in, target);
    } catch (const io::EFormatError& e) {
      return e.what();
    }
    return "<accepted>";
  };
  EXPECT_NE(refusal(text).find("is not below the population's NextNodeNumber 10"), std::string::npos)
      << refusal(text);
  std::string renamed = text;
  renamed.replace(renamed.find("\"Sigmoid\""), 9, "\"Softsign\"");
  EXPECT_NE(refusal(renamed).find("$.Genotype.Nodes[0]: transfer function \"Softsign\" is not registered"),
            std::string::npos) << refusal(renamed);
  std::string broken = text;
  broken.replace(broken.find("\"Connections\": ["), 16, "\"Connections\": [[0, 0, 4242, 1, true, 0], ");
  EXPECT_NE(refusal(broken).find("$.Genotype.Connections[0][2]: connection 0 leads to node 4242"),
            std::string::npos) << refusal(broken);
  EXPECT_NE(refusal(text.substr(0, text.size() / 2)).find("genome: not valid JSON"), std::string::npos);
  nlohmann::json heavy = nlohmann::json::parse(text);
  heavy["Genotype"]["Connections"][0][3] = 7.5;
  EXPECT_NE(refusal(heavy.dump()).find("$.Genotype.Connections[0][3]: weight 7.5 lies beyond the "
                                       "population's limit of 3"),
            std::string::npos) << refusal(heavy.dump());
  // Into a population of another shape its nodes are not the inputs and outputs the host uses.
  fresh.OutputNodeCount = 2;
  EXPECT_NE(refusal(text).find("$.Genotype.Nodes[9][1]: node 9 is output but must be hidden"),
            std::string::npos) << refusal(text);
  fresh.OutputNodeCount = 3;
  std::ostringstream after;
  FingerprintGenome(after, target);
  EXPECT_EQ(after.str(), before.str());
  EXPECT_EQ(fresh.NextNodeNumber, 10);

  // With the counters raised instead, the champion moves into the fresh population.
  io::GenotypeLoadOptions raise;
  raise.AdvanceCounters = true;
  std::istringstream in(text);
  io::LoadGenotype(in, target, raise);
  EXPECT_TRUE(target.IsSameAs(*grown));
  EXPECT_EQ(fresh.NextNodeNumber, grown->NodeList.Last()->Number + 1);
  EXPECT_EQ(fresh.NextInnovation, grown->ConnectList.Last()->InnovationNumber + 1);
}

}  // namespace
}  // namespace qf::test
