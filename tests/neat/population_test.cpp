#include "neat/population.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "neat_test_util.h"

namespace qf {
namespace {

using test::AssertionOf;
using test::kInput;
using test::kOutput;

class Population : public test::NeatTest {
protected:
  std::unique_ptr<TGenotype> Small() {
    auto g = std::make_unique<TGenotype>(&pop);
    AddNode(*g, 0, kInput, 0.0);
    AddNode(*g, 1, kOutput, 100.0);
    AddLink(*g, 0, 0, 1, 0.5);
    return g;
  }
};

TEST_F(Population, DefaultsAfterConstruction) {
  TNEATPopulation p(nullptr);
  EXPECT_EQ(p.PopulationSize, 150);
  EXPECT_EQ(p.SpeciesTargetCount, 0);
  EXPECT_EQ(p.ReproduceMutateRate, 0.25);
  EXPECT_EQ(p.MinSpeciesRelatedness, 3.0);
  EXPECT_EQ(p.SelectionType, stSpecies);
  EXPECT_EQ(p.InputNodeCount, 1);
  EXPECT_EQ(p.OutputNodeCount, 1);
  EXPECT_EQ(p.GenerationsToRun, 65);
  EXPECT_EQ(p.TargetFitness, 0.1);
  EXPECT_TRUE(p.UseFitnessMonitor);
  EXPECT_EQ(p.TournamentSize, 7);
  EXPECT_EQ(p.TournamentRange, 14);
  EXPECT_EQ(p.ConnectionWeightMutationChance, 0.8);
  EXPECT_EQ(p.ConnectionMutationBigChangeChance, 0.1);
  EXPECT_TRUE(p.MutateCrossed);
  EXPECT_TRUE(p.ConnectNodesOfInitialPop);
  EXPECT_FALSE(p.ConnectOutputOfInitialPop);
  EXPECT_EQ(p.ActivationIterations, 1);
  EXPECT_TRUE(p.AllowRecurrentLinks);
  EXPECT_EQ(p.SurvivalThreshold(), 0.4);
  EXPECT_EQ(p.SpeciesFitnessMethod, sfmAverageFitness);
  EXPECT_FALSE(p.GenotypeIterationEvent);
  EXPECT_EQ(p.ConnectionSplitChance, 0.03);
  EXPECT_EQ(p.ConnectionAddChance, 0.05);
  EXPECT_EQ(p.WeightUnrelatednessFactor, 0.4f);
  EXPECT_EQ(p.WeightPeturbationFactor, 2.5f);
  EXPECT_EQ(p.InitialWeightMagnitude, 1.0f);
  EXPECT_EQ(p.MaxConnectionDelay, 0);
  EXPECT_EQ(p.MaxLinkWeight, 3.0f);
  EXPECT_FALSE(p.OnCalculateFitness || p.OnShowBestIndividual || p.OnBeforeStartRun ||
               p.OnAfterRunStopped || p.OnPrepareInitialGenotype || p.OnGenotypeIteration);
  EXPECT_EQ(p.PreviousBestFitness, 0.0);
  EXPECT_EQ(p.NextInnovation, 0);
  EXPECT_EQ(p.NextNodeNumber, 0);
  EXPECT_EQ(p.NextSpeciesID, 0);
  EXPECT_EQ(p.CurrentGeneration, 0);
  EXPECT_EQ(p.LivingSpeciesCount, 0);
  EXPECT_EQ(p.BestIndividual, nullptr);
  EXPECT_TRUE(p.GenotypeList->Empty());
  EXPECT_TRUE(p.GenotypeList->OwnsObjects());
  EXPECT_TRUE(p.PreviousGenotypeList->Empty());
  EXPECT_TRUE(p.SpeciesList.empty());
  EXPECT_TRUE(p.SplitRegistry.empty());
  EXPECT_TRUE(p.InnovationRegistry->Empty());
  EXPECT_FALSE(p.InnovationRegistry->Sorted());

  p.TournamentSize = 3;
  EXPECT_EQ(p.TournamentRange, 14) << "computed once, in the constructor";
}

TEST_F(Population, SurvivalThresholdIsValidated) {
  for (double bad : {0.0, 1.0, -0.5, 1.5, std::numeric_limits<double>::quiet_NaN()}) {
    pop.SetSurvivalThreshold(0.3);
    EXPECT_EQ(AssertionOf([&] { pop.SetSurvivalThreshold(bad); }),
              "SurvivalThreshold must be between 0 and 1")
        << bad;
    EXPECT_EQ(pop.SurvivalThreshold(), 0.3);
  }
  pop.SetSurvivalThreshold(0.999);
  EXPECT_EQ(pop.SurvivalThreshold(), 0.999);
  pop.SetSurvivalThreshold(0.001);
  EXPECT_EQ(pop.SurvivalThreshold(), 0.001);
}

TEST_F(Population, EqualNewConnectionsShareAnInnovation) {
  pop.NextInnovation = 21;
  TGenotype a(&pop), b(&pop);
  TConnect* first = CacheHandler().GetConnect(&a);
  first->FromNode = 3;
  first->ToNode = 8;
  first->Delay = 0;
  TConnect* same = CacheHandler().GetConnect(&b);
  same->FromNode = 3;
  same->ToNode = 8;
  same->Delay = 0;
  same->Weight = -2.0;  // weight and state do not matter
  TConnect* delayed = CacheHandler().GetConnect(&b);
  delayed->FromNode = 3;
  delayed->ToNode = 8;
  delayed->Delay = 1;
  TConnect* reversed = CacheHandler().GetConnect(&b);
  reversed->FromNode = 8;
  reversed->ToNode = 3;

  first->InnovationNumber = pop.NewInnovation(first);
  EXPECT_EQ(first->InnovationNumber, 21);
  EXPECT_EQ(pop.NewInnovation(same), 21);
  EXPECT_EQ(pop.InnovationRegistry->Count(), 1) << "a match registers nothing";
  delayed->InnovationNumber = pop.NewInnovation(delayed);
  EXPECT_EQ(delayed->InnovationNumber, 22);
  EXPECT_EQ(pop.NewInnovation(reversed), 23);
  EXPECT_EQ(pop.InnovationRegistry->Count(), 3);
  EXPECT_EQ(pop.NextInnovation, 24);

  pop.ClearInnovations();
  EXPECT_EQ(pop.InnovationRegistry->Count(), 0);
  EXPECT_EQ(first->FromNode, 3) << "clearing leaves the connections alone";
  EXPECT_EQ(pop.NewInnovation(same), 24);

  std::set<int32_t> seen;
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(seen.insert(pop.NewInnovation(nullptr)).second);
  EXPECT_EQ(pop.InnovationRegistry->Count(), 1);

  EXPECT_EQ(pop.NewNodeNumber(), 0);
  EXPECT_EQ(pop.NewNodeNumber(), 1);
  EXPECT_EQ(pop.NextNodeNumber, 2);

  for (TConnect* c : {first, same, delayed, reversed}) CacheHandler().ReturnConnect(c);
}

TEST_F(Population, RandomWeightsAndDelays) {
  pop.InitialWeightMagnitude = 2.0f;
  SetRandSeed(99);
  const double u = RandomUniform();
  SetRandSeed(99);
  EXPECT_EQ(pop.RandomWeight(), (2 * u - 1) * 2.0);
  double lo = 1, hi = -1;
  for (int i = 0; i < 5000; ++i) {
    const double w = pop.RandomWeight();
    ASSERT_GE(w, -2.0);
    ASSERT_LT(w, 2.0);
    lo = std::min(lo, w);
    hi = std::max(hi, w);
  }
  EXPECT_LT(lo, -1.9);
  EXPECT_GT(hi, 1.9);

  for (int i = 0; i < 100; ++i) EXPECT_EQ(pop.RandomDelay(), 0);
  pop.MaxConnectionDelay = 3;
  std::set<int32_t> delays;
  for (int i = 0; i < 2000; ++i) delays.insert(pop.RandomDelay());
  EXPECT_EQ(delays, (std::set<int32_t>{0, 1, 2, 3}));
  // The delay line holds 0 .. 5; a larger setting must not run past it.
  pop.MaxConnectionDelay = 9;
  delays.clear();
  for (int i = 0; i < 2000; ++i) delays.insert(pop.RandomDelay());
  EXPECT_EQ(*delays.rbegin(), 5);
  EXPECT_EQ(*delays.begin(), 0);
}

TEST_F(Population, ClearGenotypesChecksTheGenerationSize) {
  pop.PopulationSize = 2;
  pop.GenotypeList->Add(Small());
  pop.GenotypeList->Add(Small());
  pop.SplitRegistry.push_back({});
  pop.PopulationSize = 3;
  TConnect* registered = pop.GenotypeList->Items(0)->ConnectList[0];
  pop.InnovationRegistry->Add(registered);
  EXPECT_EQ(AssertionOf([&] { pop.ClearGenotypes(); }), "Genotypes have dissappeared!");
  EXPECT_EQ(pop.GenotypeList->Count(), 2) << "nothing was freed";
  EXPECT_TRUE(pop.InnovationRegistry->Empty());
  EXPECT_TRUE(pop.SplitRegistry.empty());

  pop.PopulationSize = 2;
  pop.ClearGenotypes();
  EXPECT_TRUE(pop.GenotypeList->Empty());
  EXPECT_EQ(CacheHandler().NodePool.Count(), 4);
  EXPECT_EQ(CacheHandler().ConnectPool.Count(), 2);
  pop.ClearGenotypes();  // an empty generation is fine too
}

TEST_F(Population, SwapsGenerationsAndFreesBothOnDestruction) {
  auto owner = std::make_unique<TComponent>(nullptr);
  auto* p = new TNEATPopulation(owner.get());  // owned by its owner
  p->PopulationSize = 1;
  p->GenotypeList->Add(Small());
  TGenotype* first = p->GenotypeList->Items(0);
  p->SwapGenotypeLists();
  EXPECT_EQ(p->PreviousGenotypeList->Items(0), first);
  EXPECT_TRUE(p->GenotypeList->Empty());
  p->GenotypeList->Add(Small());
  p->GenotypeList->Add(Small());
  // A size that no longer matches must not make destruction throw; everything is freed
  // (the sanitizer run checks for leaks).
  TComponent* sender = nullptr;
  p->OnAfterRunStopped = [&](TComponent* s) { sender = s; };
  owner.reset();
  EXPECT_EQ(sender, p) << "the owner's removal stops the run";
  EXPECT_EQ(CacheHandler().NodePool.Count(), 6);
}

TEST_F(Population, StopRunFiresOnlyAnAssignedEvent) {
  pop.StopRun();
  int calls = 0;
  pop.OnAfterRunStopped = [&](TComponent* s) {
    EXPECT_EQ(s, &pop);
    ++calls;
  };
  pop.StopRun();
  TComponent stranger(nullptr);
  pop.Notification(&stranger, opRemove);
  EXPECT_EQ(calls, 1) << "only the owner's removal stops the run";
}

}  // namespace
}  // namespace qf
