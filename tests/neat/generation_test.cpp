// The generation cycle: initial population, evaluation and its failures, breeding by species
// and by individual selection, and the selection schemes.

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "base/message_pump.h"
#include "neat/species.h"
#include "neat_test_util.h"

namespace qf::test {
namespace {

class GenerationTest : public NeatTest {
protected:
  void SetUp() override {
    NeatTest::SetUp();
    pop.PopulationSize = 30;
    pop.InputNodeCount = 7;
    pop.OutputNodeCount = 3;
  }
  void TearDown() override {
    SetMessagePump(nullptr);
    NeatTest::TearDown();
  }

  // Fitness by position, as the game hands it back.
  void ScoreBy(std::vector<double> fitness) {
    pop.OnCalculateFitness = [fitness](TNEATPopulation* p, TGenotype*) {
      return fitness[static_cast<size_t>(p->CurrentGenotypeIndex)];
    };
  }
  void ScoreByPosition() {
    pop.OnCalculateFitness = [](TNEATPopulation* p, TGenotype*) {
      return 1.0 + p->CurrentGenotypeIndex;
    };
  }

  // Input 0 -> output 1 with `extra` unconnected hidden nodes from 2; relatedness between two
  // such genomes is the difference of their extra counts.
  std::unique_ptr<TGenotype> Genome(int32_t extra, double fitness, double weight = 0.5) {
    auto g = std::make_unique<TGenotype>(&pop);
    AddNode(*g, 0, kInput, 0.0, TransferFunctionList().Items(0));
    AddNode(*g, 1, kOutput, 100.0, TransferFunctionList().Items(0));
    for (int32_t k = 0; k < extra; ++k) {
      AddNode(*g, 2 + k, kHidden, 50.0, TransferFunctionList().Items(0));
    }
    AddLink(*g, 0, 0, 1, weight);
    g->Fitness = fitness;
    g->PreparePhenotype();
    return g;
  }

  std::vector<TGenotype*> HandGeneration(const std::vector<std::pair<int32_t, double>>& spec) {
    std::vector<TGenotype*> out;
    std::vector<double> fitness;
    pop.PopulationSize = static_cast<int32_t>(spec.size());
    for (size_t k = 0; k < spec.size(); ++k) {
      auto g = Genome(spec[k].first, spec[k].second, 0.1 * static_cast<double>(k));
      out.push_back(g.get());
      fitness.push_back(spec[k].second);
      pop.GenotypeList->Add(std::move(g));
    }
    ScoreBy(fitness);
    return out;
  }

  std::vector<std::unique_ptr<TGenotype>> Scored(const std::vector<double>& adjusted) {
    std::vector<std::unique_ptr<TGenotype>> out;
    for (double a : adjusted) {
      out.push_back(Genome(0, a));
      out.back()->AdjustedFitness = a;
    }
    return out;
  }
  static std::unique_ptr<TGenotypeList> ListOf(
      const std::vector<std::unique_ptr<TGenotype>>& genotypes) {
    auto list = std::make_unique<TGenotypeList>(false);
    for (const auto& g : genotypes) list->Add(g.get());
    return list;
  }
};

// A pump that reports termination once it has been pumped a given number of times.
class TerminatingPump : public MessagePump {
public:
  explicit TerminatingPump(int32_t after) : after_(after) {}
  void ProcessMessages() override { ++pumped; }
  bool Terminated() const override { return pumped >= after_; }
  int32_t pumped = 0;

private:
  int32_t after_;
};

TEST_F(GenerationTest, InitialPopulationHasTheGamesShapeAndNumbering) {
  int32_t prepared = 0;
  pop.OnPrepareInitialGenotype = [&](TNEATPopulation* p, TGenotype* g) {
    EXPECT_EQ(p, &pop);
    EXPECT_FALSE(g->Prepared);
    ++prepared;
  };
  pop.CreateInitialPopulation();
  EXPECT_EQ(prepared, 30);
  ASSERT_EQ(pop.GenotypeList->Count(), 30);
  for (TGenotype* g : *pop.GenotypeList) {
    EXPECT_EQ(g->NodeList.Count(), 10);
    EXPECT_EQ(g->ConnectList.Count(), 21);
    EXPECT_TRUE(g->Prepared);
    EXPECT_EQ(g->NEATPopulation, &pop);
  }
  EXPECT_EQ(pop.NextNodeNumber, 10);
  EXPECT_EQ(pop.NextInnovation, 21);

  // A second start frees the species but keeps counting species identifiers.
  ScoreByPosition();
  pop.EvaluateGeneration();
  ASSERT_FALSE(pop.SpeciesList.empty());
  const int32_t nextId = pop.NextSpeciesID;
  pop.CreateInitialPopulation();
  EXPECT_TRUE(pop.SpeciesList.empty());
  EXPECT_EQ(pop.GenotypeList->Count(), 30);
  pop.EvaluateGeneration();
  EXPECT_EQ(pop.SpeciesList.front()->SpeciesID, nextId);
}

TEST_F(GenerationTest, EvaluationScoresInOrderAndReportsTheBest) {
  pop.CreateInitialPopulation();
  std::vector<int32_t> order;
  pop.OnCalculateFitness = [&](TNEATPopulation* p, TGenotype* g) {
    EXPECT_EQ((*p->GenotypeList)[p->CurrentGenotypeIndex], g);
    order.push_back(p->CurrentGenotypeIndex);
    return 2.0;  // a tie everywhere: the fewest genes, then the lowest position, wins
  };
  int32_t shown = 0;
  pop.OnShowBestIndividual = [&](TNEATPopulation*, TGenotype* g, bool different) {
    EXPECT_EQ(g, pop.BestIndividual);
    EXPECT_TRUE(different);
    ++shown;
    return 0.0;
  };
  pop.EvaluateGeneration();
  ASSERT_EQ(order.size(), 30u);
  for (int32_t i = 0; i < 30; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(pop.CurrentGenotypeIndex, 29);
  EXPECT_DOUBLE_EQ(pop.FitnessTotal, 60.0);

  int32_t fewest = 1000;
  int32_t expected = -1;
  for (int32_t i = 0; i < 30; ++i) {
    const int32_t genes = (*pop.GenotypeList)[i]->GeneCount();
    if (genes < fewest) {
      fewest = genes;
      expected = i;
    }
  }
  // Random disabling at birth must have made the sizes differ, or the tie rule is untested.
  ASSERT_LT(fewest, 31);
  EXPECT_EQ(pop.BestIndividual, (*pop.GenotypeList)[expected]);
}

TEST_F(GenerationTest, EvaluationFailures) {
  EXPECT_EQ(AssertionOf([&] { pop.EvaluateGeneration(); }),
            "You must assign a OnCalculateFitness event!");
  ScoreByPosition();
  EXPECT_EQ(AssertionOf([&] { pop.EvaluateGeneration(); }),
            "At least one genotype must have a fitness > 0!");

  pop.CreateInitialPopulation();
  std::vector<double> fitness(30, 1.0);
  fitness[4] = -1.5;
  ScoreBy(fitness);
  EXPECT_EQ(AssertionOf([&] { pop.EvaluateGeneration(); }),
            "Fitness MUST be zero or above, -1.50 is not a valid fitness.!");
  EXPECT_EQ((*pop.GenotypeList)[4]->Fitness, -1.5);  // stored before the check
  fitness[4] = std::numeric_limits<double>::quiet_NaN();
  ScoreBy(fitness);
  EXPECT_EQ(AssertionOf([&] { pop.EvaluateGeneration(); }),
            "Fitness MUST be zero or above, NAN is not a valid fitness.!");
  // Infinity would make every offspring share not-a-number; it is refused the same way.
  fitness[4] = std::numeric_limits<double>::infinity();
  ScoreBy(fitness);
  EXPECT_EQ(AssertionOf([&] { pop.EvaluateGeneration(); }),
            "Fitness MUST be zero or above, INF is not a valid fitness.!");
  ScoreBy(std::vector<double>(30, 0.0));
  EXPECT_EQ(AssertionOf([&] { pop.EvaluateGeneration(); }),
            "At least one genotype must have a fitness > 0!");
  EXPECT_TRUE(pop.SpeciesList.empty());
  pop.BestIndividual = nullptr;
  EXPECT_EQ(AssertionOf([&] { pop.ShowBestIndividual(); }), "BestIndividual not assigned!");
}

TEST_F(GenerationTest, TerminationEndsTheEvaluationAfterTheCurrentGenotype) {
  pop.CreateInitialPopulation();
  int32_t scored = 0;
  pop.OnCalculateFitness = [&](TNEATPopulation*, TGenotype*) { return ++scored; };
  bool shown = false;
  pop.OnShowBestIndividual = [&](TNEATPopulation*, TGenotype*, bool) {
    shown = true;
    return 0.0;
  };
  TerminatingPump pump(5);
  SetMessagePump(&pump);
  EXPECT_THROW(pop.EvaluateGeneration(), EAbort);
  EXPECT_EQ(scored, 5);
  EXPECT_EQ(pump.pumped, 5);
  EXPECT_FALSE(shown);
  EXPECT_TRUE(pop.SpeciesList.empty());
  EXPECT_EQ((*pop.GenotypeList)[4]->Fitness, 5.0);
  EXPECT_EQ((*pop.GenotypeList)[5]->Fitness, 0.0);

  // A full evaluation pumps once per genotype and once after the best is shown.
  TerminatingPump patient(1000);
  SetMessagePump(&patient);
  pop.EvaluateGeneration();
  EXPECT_EQ(patient.pumped, 31);
  EXPECT_TRUE(shown);
}

TEST_F(GenerationTest, SpeciesBreedInGroupsWithEliteCopiesFirst) {
  pop.CreateInitialPopulation();
  pop.MinSpeciesRelatedness = 0.24;  // species of every size from the start
  ScoreByPosition();
  pop.EvaluateGeneration();
  ASSERT_GE(pop.LivingSpeciesCount, 3);

  struct Group {
    TSpecies* species;
    int32_t count;
    bool elite;
    TGenotype* champion;
  };
  std::vector<Group> groups;
  int32_t allotted = 0;
  for (const auto& s : pop.SpeciesList) {
    if (s->DeadSpecies || s->ExpectedOffspringCount == 0) continue;
    groups.push_back({s.get(), s->ExpectedOffspringCount,
                      s->MemberCount > 4 || s->Champion == pop.BestIndividual, s->Champion});
    allotted += s->ExpectedOffspringCount;
  }
  ASSERT_LE(allotted, 30);
  ASSERT_LT(allotted, 30) << "no fill-up to check with this seed";
  ASSERT_TRUE(std::any_of(groups.begin(), groups.end(), [](const Group& g) { return g.elite; }));
  ASSERT_TRUE(std::any_of(groups.begin(), groups.end(), [](const Group& g) { return !g.elite; }));

  pop.CreateNextGeneration();
  ASSERT_EQ(pop.GenotypeList->Count(), 30);
  int32_t pos = 0;
  for (const Group& group : groups) {
    for (int32_t k = 0; k < group.count; ++k, ++pos) {
      TGenotype* child = (*pop.GenotypeList)[pos];
      EXPECT_TRUE(child->Prepared);
      EXPECT_EQ(child->SpeciesHint, group.species) << "position " << pos;
      if (k == 0) {
        EXPECT_EQ(group.elite, child->IsSameAs(*group.champion)) << "position " << pos;
      }
    }
    EXPECT_EQ(group.species->ExpectedOffspringCount, 0);
  }
  EXPECT_EQ(pos, allotted);
  // The best individual's species always keeps an unchanged copy of it.
  bool bestKept = false;
  for (TGenotype* g : *pop.GenotypeList) bestKept = bestKept || g->IsSameAs(*pop.BestIndividual);
  EXPECT_TRUE(bestKept);
}

TEST_F(GenerationTest, ElitismNeedsFiveMembersOrTheBestIndividual) {
  // Species A: five members led by the best of the generation; B: four, one short of
  // elitism, led by a lesser one.
  const auto g = HandGeneration({{0, 9.0}, {0, 1.0}, {0, 1.0}, {0, 1.0}, {0, 1.0}, {3, 2.0},
                                 {3, 2.0}, {3, 2.0}, {3, 2.0}});
  pop.EvaluateGeneration();
  ASSERT_EQ(pop.SpeciesList.size(), 2u);
  TSpecies& a = *pop.SpeciesList[0];
  TSpecies& b = *pop.SpeciesList[1];
  ASSERT_EQ(a.Champion, pop.BestIndividual);
  a.ExpectedOffspringCount = 1;
  b.ExpectedOffspringCount = 2;

  pop.CreateNextGeneration();
  ASSERT_EQ(pop.GenotypeList->Count(), 9);
  // A's single place goes to the elite copy; B breeds both of its children.
  EXPECT_TRUE((*pop.GenotypeList)[0]->IsSameAs(*g[0]));
  EXPECT_EQ((*pop.GenotypeList)[1]->SpeciesHint, &b);
  EXPECT_EQ((*pop.GenotypeList)[2]->SpeciesHint, &b);
  EXPECT_FALSE((*pop.GenotypeList)[1]->IsSameAs(*b.Champion));

}

// Seed 182, breeding the lesser species' one child: 0.711 is no mutated copy (rate 0), the
// first parent takes two draws, then 0.0045 > 0.001 takes the second parent from the species
// (two draws) rather than from a tournament of 14 over the generation. The crossover of the
// member with itself draws for its four non-input nodes and its connection (0.568 > 0.5, then
// 0.906), and the mutation that follows for adding, splitting, the connection, the toggle and
// its five nodes: 21 draws.
TEST_F(GenerationTest, TheSecondParentComesFromTheWholeGenerationOnlyOnceInAThousand) {
  HandGeneration({{0, 9.0}, {3, 1.0}});
  pop.ReproduceMutateRate = 0.0;
  pop.ConnectionAddChance = 0.0;
  pop.ConnectionSplitChance = 0.0;
  pop.ConnectionWeightMutationChance = 0.0;
  pop.EvaluateGeneration();
  ASSERT_EQ(pop.SpeciesList.size(), 2u);
  pop.SpeciesList[0]->ExpectedOffspringCount = 1;  // the best's elite copy, no draw
  pop.SpeciesList[1]->ExpectedOffspringCount = 1;
  StockNodePool(20);
  SetRandSeed(182);
  pop.CreateNextGeneration();
  ASSERT_EQ(pop.GenotypeList->Count(), 2);
  EXPECT_EQ(GetRandSeed(), SeedAfterDraws(182, 21));
}

TEST_F(GenerationTest, TheBestIndividualsSpeciesKeepsItsChampionWhateverItsSize) {
  const auto g = HandGeneration({{0, 1.0}, {0, 9.0}, {3, 2.0}, {3, 2.0}});
  pop.EvaluateGeneration();
  ASSERT_EQ(pop.SpeciesList.size(), 2u);
  pop.SpeciesList[0]->ExpectedOffspringCount = 1;
  pop.SpeciesList[1]->ExpectedOffspringCount = 1;
  pop.CreateNextGeneration();
  ASSERT_EQ(pop.GenotypeList->Count(), 4);
  EXPECT_TRUE((*pop.GenotypeList)[0]->IsSameAs(*g[1]));
}

// Found by fuzzing: with a species per genotype and equal fitness every share comes out a
// hair below 1 and truncates to 0, so no species breeds and the fill-up had nothing to copy.
TEST_F(GenerationTest, BreedingWhenEveryShareTruncatesToZeroStartsFromTheBest) {
  for (TSpeciesFitnessMethod method : {sfmAverageFitness, sfmHighestFitness}) {
    SCOPED_TRACE(method);
    pop.SpeciesFitnessMethod = method;
    pop.ResetSpecies(true);
    pop.GenotypeList->Clear();
    pop.PreviousGenotypeList->Clear();
    std::vector<std::pair<int32_t, double>> spec;
    for (int32_t k = 0; k < 11; ++k) spec.push_back({3 * k, 3.6});
    HandGeneration(spec);
    pop.EvaluateGeneration();
    ASSERT_EQ(pop.LivingSpeciesCount, 11);
    for (const auto& s : pop.SpeciesList) ASSERT_EQ(s->ExpectedOffspringCount, 0);

    pop.CreateNextGeneration();
    ASSERT_EQ(pop.GenotypeList->Count(), 11);
    EXPECT_TRUE((*pop.GenotypeList)[0]->IsSameAs(*pop.BestIndividual));
    for (TGenotype* g : *pop.GenotypeList) EXPECT_TRUE(g->Prepared);
  }
}

TEST_F(GenerationTest, IndividualSelectionKeepsTheBestInPlace) {
  for (TSelectionType type : {stFitProp, stTournament, stLocalTournament}) {
    pop.SelectionType = type;
    pop.CreateInitialPopulation();
    std::vector<double> fitness(30);
    for (int32_t i = 0; i < 30; ++i) fitness[static_cast<size_t>(i)] = (i * 11) % 30 + 1.0;
    ScoreBy(fitness);
    for (int32_t generation = 0; generation < 3; ++generation) {
      pop.EvaluateGeneration();
      EXPECT_TRUE(pop.SpeciesList.empty());
      const int32_t bestAt = pop.GenotypeList->IndexOf(pop.BestIndividual);
      ASSERT_EQ(bestAt, 19);  // (19 * 11) % 30 + 1 = 30
      pop.CreateNextGeneration();
      ASSERT_EQ(pop.GenotypeList->Count(), 30);
      EXPECT_TRUE((*pop.GenotypeList)[bestAt]->IsSameAs(*pop.BestIndividual)) << type;
      for (TGenotype* g : *pop.GenotypeList) EXPECT_TRUE(g->Prepared);
    }
  }
}

TEST_F(GenerationTest, SwitchingSelectionTypeMidRunKeepsSpeciesSound) {
  // Species keep references to parents; a run that stops speciating for a while frees those
  // parents, and speciating again must not touch them.
  pop.CreateInitialPopulation();
  ScoreByPosition();
  pop.EvaluateGeneration();
  pop.CreateNextGeneration();
  pop.SelectionType = stTournament;
  for (int32_t k = 0; k < 3; ++k) {
    pop.EvaluateGeneration();
    pop.CreateNextGeneration();
  }
  pop.SelectionType = stSpecies;
  for (int32_t k = 0; k < 3; ++k) {
    pop.EvaluateGeneration();
    pop.CreateNextGeneration();
    ASSERT_EQ(pop.GenotypeList->Count(), 30);
  }
  EXPECT_GE(pop.LivingSpeciesCount, 1);
}

TEST_F(GenerationTest, TournamentPicksTheLowestAdjustedFitness) {
  const auto g = Scored({5.0, 1.0, 9.0, 3.0});
  const auto list = ListOf(g);
  EXPECT_EQ(pop.SelectTournament(*list, 60, nullptr), g[1].get());
  EXPECT_EQ(pop.SelectTournament(*list, 60, g[1].get()), g[3].get());
  // Every draw excluded: the first of the list.
  const auto one = Scored({4.0});
  const auto single = ListOf(one);
  EXPECT_EQ(pop.SelectTournament(*single, 5, one[0].get()), one[0].get());
  const TGenotypeList empty(false);
  EXPECT_EQ(AssertionOf([&] { pop.SelectTournament(empty, 3, nullptr); }),
            "There are no genotypes in the list!");
}

TEST_F(GenerationTest, FitnessProportionalNeverPicksAWeightlessGenotype) {
  const auto g = Scored({0.0, 2.0, 0.0, 6.0});
  const auto list = ListOf(g);
  int32_t picks[4] = {};
  for (int32_t k = 0; k < 800; ++k) {
    TGenotype* chosen = pop.SelectFitProp(*list, 8.0);
    for (int32_t i = 0; i < 4; ++i) picks[i] += chosen == g[static_cast<size_t>(i)].get();
  }
  EXPECT_EQ(picks[0], 0);
  EXPECT_EQ(picks[2], 0);
  EXPECT_GT(picks[3], picks[1]);
  EXPECT_EQ(picks[1] + picks[3], 800);

  const TGenotypeList empty(false);
  EXPECT_EQ(AssertionOf([&] { pop.SelectFitProp(empty, 1.0); }), "GenotypeList can't be empty!");
  // Nothing to spend the draw on would never end; it fails instead.
  const auto none = Scored({0.0, 0.0});
  const auto weightless = ListOf(none);
  EXPECT_EQ(AssertionOf([&] { pop.SelectFitProp(*weightless, 0.0); }),
            "No genotype in the list has an adjusted fitness above 0!");
}

TEST_F(GenerationTest, LocalTournamentDrawsFromTheRingNeighbourhood) {
  pop.CreateInitialPopulation();
  for (int32_t i = 0; i < 30; ++i) (*pop.GenotypeList)[i]->Fitness = i + 1.0;
  (*pop.GenotypeList)[15]->Fitness = 100.0;  // outside the neighbourhood of 2
  pop.SwapGenotypeLists();

  pop.TournamentSize = 1;
  std::set<int32_t> drawn;
  for (int32_t k = 0; k < 3000; ++k) {
    drawn.insert(pop.PreviousGenotypeList->IndexOf(pop.SelectLocalTournament(2, nullptr)));
  }
  std::set<int32_t> neighbourhood = {25, 26, 27, 28, 29};
  for (int32_t j = 0; j <= 8; ++j) neighbourhood.insert(j);
  EXPECT_EQ(drawn, neighbourhood);

  // The highest fitness among the draws wins: 29 is the best neighbour of 2.
  pop.TournamentSize = 200;
  TGenotype* top = (*pop.PreviousGenotypeList)[29];
  EXPECT_EQ(pop.SelectLocalTournament(2, nullptr), top);
  EXPECT_EQ(pop.SelectLocalTournament(2, top), (*pop.PreviousGenotypeList)[28]);
  pop.TournamentSize = 0;
  EXPECT_EQ(pop.SelectLocalTournament(2, nullptr), (*pop.PreviousGenotypeList)[2]);

  // Wider than twice the ring plus one, one wrap-around cannot bring a draw back onto it.
  pop.TournamentSize = 7;
  pop.TournamentRange = 61;
  for (int32_t k = 0; k < 200; ++k) pop.SelectLocalTournament(k % 30, nullptr);
  pop.TournamentRange = 62;
  EXPECT_EQ(AssertionOf([&] { pop.SelectLocalTournament(0, nullptr); }),
            "TournamentRange 62 does not fit a population of 30!");
}

TEST_F(GenerationTest, CrossoverTakesTheFitterParentAsMother) {
  // Only the larger parent has node 2, so the child shows whose copy it started from.
  auto small = Genome(0, 1.0);
  auto large = Genome(1, 1.0);
  EXPECT_NE(pop.BreedByCrossover(small.get(), large.get())->FindNode(2), nullptr);
  EXPECT_EQ(pop.BreedByCrossover(large.get(), small.get())->FindNode(2), nullptr);
  large->Fitness = 2.0;
  auto child = pop.BreedByCrossover(large.get(), small.get());
  EXPECT_NE(child->FindNode(2), nullptr);
  EXPECT_FALSE(child->Prepared);
}

// Seed 4, equal fitness, so the second parent is the mother: 0.126 for the output node,
// 0.350 keeps the mother's weight, and 0.227 >= 0.2 is the branch with structural mutation,
// which, without MutateCrossed and with a child unlike the first parent, mutates nothing.
// Below 0.2 a weight draw would follow.
TEST_F(GenerationTest, CrossoverChildIsLeftAsItIsFromTheDrawOfPointTwoOn) {
  pop.MutateCrossed = false;
  auto p1 = Genome(0, 1.0, 0.5);
  auto p2 = Genome(0, 1.0, -0.5);
  StockNodePool(2);
  SetRandSeed(4);
  auto child = pop.BreedByCrossover(p1.get(), p2.get());
  EXPECT_TRUE(child->IsSameAs(*p2));
  EXPECT_EQ(GetRandSeed(), SeedAfterDraws(4, 3));
}

}  // namespace
}  // namespace qf::test
