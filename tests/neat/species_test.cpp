// Speciation: who founds and joins which species, champions, the cull, offspring allotment and
// the automatic relatedness threshold.

#include <vector>

#include "neat/species.h"
#include "neat_test_util.h"

namespace qf::test {
namespace {

class SpeciesTest : public NeatTest {
protected:
  // Input 0 -> output 1 plus `extra` unconnected hidden nodes numbered from 2: relatedness
  // between two such genomes is the difference of their extra counts, a whole number.
  std::unique_ptr<TGenotype> Genome(int32_t extra, double fitness, double weight = 0.5) {
    auto g = std::make_unique<TGenotype>(&pop);
    AddNode(*g, 0, kInput, 0.0);
    AddNode(*g, 1, kOutput, 100.0);
    for (int32_t k = 0; k < extra; ++k) AddNode(*g, 2 + k, kHidden, 50.0);
    AddLink(*g, 0, 0, 1, weight);
    g->Fitness = fitness;
    g->AdjustedFitness = fitness;
    return g;
  }

  // Puts a generation into GenotypeList as an evaluation would leave it.
  std::vector<TGenotype*> Generation(const std::vector<std::pair<int32_t, double>>& members) {
    std::vector<TGenotype*> out;
    pop.PopulationSize = static_cast<int32_t>(members.size());
    pop.FitnessTotal = 0.0;
    for (const auto& [extra, fitness] : members) {
      auto g = Genome(extra, fitness);
      out.push_back(g.get());
      pop.FitnessTotal += fitness;
      pop.GenotypeList->Add(std::move(g));
    }
    return out;
  }

  // The previous generation stays alive as parents while the next is speciated.
  std::vector<TGenotype*> NextGeneration(const std::vector<std::pair<int32_t, double>>& members) {
    pop.SwapGenotypeLists();
    pop.GenotypeList->Clear();
    return Generation(members);
  }

  TSpecies& Species(int32_t index) { return *pop.SpeciesList[static_cast<size_t>(index)]; }
};

TEST_F(SpeciesTest, FoundingAndJoiningFollowTheStrictThresholdAndFirstMatch) {
  pop.NextSpeciesID = 7;
  const auto g = Generation({{0, 1.0}, {2, 1.0}, {3, 1.0}, {4, 1.0}});
  pop.Speciate();

  // Relatedness 2 joins, exactly 3 (the threshold) founds a new species.
  ASSERT_EQ(pop.SpeciesList.size(), 2u);
  EXPECT_EQ(Species(0).SpeciesID, 7);
  EXPECT_EQ(Species(1).SpeciesID, 8);
  EXPECT_EQ(pop.NextSpeciesID, 9);
  EXPECT_EQ(pop.LivingSpeciesCount, 2);
  EXPECT_EQ(Species(0).MemberCount, 2);
  EXPECT_EQ(Species(1).MemberCount, 2);
  EXPECT_EQ(g[0]->SpeciesHint, &Species(0));
  EXPECT_EQ(g[1]->SpeciesHint, &Species(0));
  EXPECT_EQ(g[2]->SpeciesHint, &Species(1));
  EXPECT_EQ(g[3]->SpeciesHint, &Species(1));
  EXPECT_TRUE(Species(1).DefiningMember->IsSameAs(*g[2]));

  // Compatible with both species: the first one in the list wins, not the closer one...
  auto probe = Genome(2, 0.0);
  EXPECT_EQ(pop.FindSpecies(probe.get()), &Species(0));
  EXPECT_EQ(probe->SpeciesHint, &Species(0));
  // ...unless the hint names the other.
  auto hinted = Genome(1, 0.0);
  hinted->SpeciesHint = &Species(1);
  EXPECT_EQ(pop.FindSpecies(hinted.get()), &Species(1));
  // Compatible with neither.
  auto stranger = Genome(9, 0.0);
  EXPECT_EQ(pop.FindSpecies(stranger.get()), nullptr);
}

TEST_F(SpeciesTest, ChampionIsTheFittestThenTheSmallerThenTheEarlier) {
  TSpecies s(&pop);
  auto a = Genome(2, 5.0);
  auto b = Genome(2, 5.0);  // same fitness, same size: a stays
  auto c = Genome(1, 5.0);  // fewer genes: c takes over
  auto d = Genome(0, 4.0);  // smaller but less fit
  s.AddMember(a.get());
  EXPECT_EQ(s.Champion, a.get());
  s.AddMember(b.get());
  EXPECT_EQ(s.Champion, a.get());
  s.AddMember(c.get());
  EXPECT_EQ(s.Champion, c.get());
  s.AddMember(d.get());
  EXPECT_EQ(s.Champion, c.get());
  auto e = Genome(3, 6.0);
  s.AddMember(e.get());
  EXPECT_EQ(s.Champion, e.get());
  EXPECT_EQ(s.Genotypes.Count(), 5);
}

TEST_F(SpeciesTest, SurvivorsOfOneToTenMembersAtThresholdPointFour) {
  const int32_t expected[] = {1, 1, 2, 2, 3, 3, 3, 4, 4, 5};
  for (int32_t n = 1; n <= 10; ++n) {
    TSpecies s(&pop);
    std::vector<std::unique_ptr<TGenotype>> members;
    for (int32_t k = 0; k < n; ++k) {
      // Rotated fitness 1 .. n, so that the cull has to sort.
      members.push_back(Genome(0, (k + n / 2) % n + 1.0));
      members.back()->AdjustedFitness = members.back()->Fitness / 2;
      s.AddMember(members.back().get());
    }
    s.ApplySurvivalThreshold();
    ASSERT_EQ(s.Genotypes.Count(), expected[n - 1]) << n << " members";
    double adjusted = 0.0;
    for (int32_t k = 0; k < s.Genotypes.Count(); ++k) {
      EXPECT_EQ(s.Genotypes[k]->Fitness, n - k) << n << " members, survivor " << k;
      adjusted += s.Genotypes[k]->AdjustedFitness;
    }
    EXPECT_DOUBLE_EQ(s.AdjustedFitnessSum, adjusted);
  }
}

TEST_F(SpeciesTest, TheListQuicksortDecidesWhichEqualMembersSurvive) {
  TSpecies s(&pop);
  std::vector<std::unique_ptr<TGenotype>> m;
  for (int32_t k = 0; k < 5; ++k) {
    m.push_back(Genome(0, 1.0));
    s.AddMember(m.back().get());
  }
  s.ApplySurvivalThreshold();
  // Five equal members a..e come out of the partitioning as d, e, c, a, b; three survive.
  ASSERT_EQ(s.Genotypes.Count(), 3);
  EXPECT_EQ(s.Genotypes[0], m[3].get());
  EXPECT_EQ(s.Genotypes[1], m[4].get());
  EXPECT_EQ(s.Genotypes[2], m[2].get());
}

TEST_F(SpeciesTest, SharingAllotsAtMostThePopulationAndCullsToTheBest) {
  const auto g = Generation({{0, 3.0}, {0, 6.0}, {0, 9.0}, {3, 0.0}, {3, 0.0}, {6, 4.0}});
  pop.Speciate();
  ASSERT_EQ(pop.SpeciesList.size(), 3u);
  TSpecies& a = Species(0);
  TSpecies& zero = Species(1);
  TSpecies& lone = Species(2);

  // Shared fitness: a's members divided by 3, the lone member by 1.
  EXPECT_DOUBLE_EQ(g[1]->AdjustedFitness, 2.0);
  EXPECT_DOUBLE_EQ(g[5]->AdjustedFitness, 4.0);
  EXPECT_DOUBLE_EQ(a.FitnessSum, 18.0);
  EXPECT_EQ(a.Champion, g[2]);
  EXPECT_DOUBLE_EQ(a.OldChampionFitness, 9.0);
  // 10 / 6 adjusted fitness per place: a earns 0.6 + 1.2 + 1.8 places, the lone member 2.4,
  // the members that scored nothing none.
  EXPECT_EQ(a.ExpectedOffspringCount, 3);
  EXPECT_EQ(lone.ExpectedOffspringCount, 2);
  EXPECT_EQ(zero.ExpectedOffspringCount, 0);
  EXPECT_EQ(g[2]->ExpectedOffspring(), 1);
  EXPECT_EQ(g[0]->ExpectedOffspring(), 0);
  // The cull keeps two of three, best first; the total weight is that of the survivors.
  ASSERT_EQ(a.Genotypes.Count(), 2);
  EXPECT_EQ(a.Genotypes[0], g[2]);
  EXPECT_EQ(a.Genotypes[1], g[1]);
  EXPECT_EQ(zero.Genotypes.Count(), 1);
  EXPECT_DOUBLE_EQ(pop.AdjustedFitnessTotal, 3.0 + 2.0 + 4.0);
  EXPECT_DOUBLE_EQ(pop.ChampionFitnessTotal, 9.0 + 0.0 + 4.0);

  // By highest fitness: champion 9 of the champions' 13, over 6 places.
  pop.SpeciesFitnessMethod = sfmHighestFitness;
  a.CalculateExpectedOffspring();
  EXPECT_EQ(a.ExpectedOffspringCount, 4);
}

TEST_F(SpeciesTest, OffspringFailures) {
  Generation({{0, 10.0}});
  pop.Speciate();
  TSpecies& s = Species(0);
  pop.SpeciesFitnessMethod = sfmHighestFitness;
  pop.ChampionFitnessTotal = 2.0;  // as if the total had lost a species
  pop.PopulationSize = 3;
  EXPECT_EQ(AssertionOf([&] { s.CalculateExpectedOffspring(); }),
            "ExpectedOffspringCount is too large, 15, max allowed is 3.");
  s.SpeciesPunish = 0.0;
  EXPECT_EQ(AssertionOf([&] { s.CalculateExpectedOffspring(); }), "SpeciesPunish can't be zero.");
  TSpecies empty(&pop);
  EXPECT_EQ(AssertionOf([&] { empty.ApplySurvivalThreshold(); }), "Species is emtpy");
}

TEST_F(SpeciesTest, ADeadSpeciesNeverRevives) {
  Generation({{0, 1.0}, {3, 1.0}});
  pop.Speciate();
  ASSERT_EQ(pop.SpeciesList.size(), 2u);

  // Nobody is related to the second species' representative any more.
  NextGeneration({{0, 1.0}, {1, 1.0}});
  pop.Speciate();
  EXPECT_FALSE(Species(0).DeadSpecies);
  EXPECT_TRUE(Species(1).DeadSpecies);
  EXPECT_EQ(Species(1).ExpectedOffspringCount, 0);
  EXPECT_EQ(pop.LivingSpeciesCount, 1);

  // A genotype just like its old representative founds a new species instead.
  const auto g = NextGeneration({{0, 1.0}, {3, 1.0}});
  pop.Speciate();
  ASSERT_EQ(pop.SpeciesList.size(), 3u);
  EXPECT_TRUE(Species(1).DeadSpecies);
  EXPECT_EQ(Species(1).DefiningMember, nullptr);
  EXPECT_EQ(g[1]->SpeciesHint, &Species(2));
  EXPECT_EQ(pop.LivingSpeciesCount, 2);

  // The representative of a living species is its champion of the generation before.
  pop.SwapGenotypeLists();
  pop.ResetSpecies(false);
  EXPECT_TRUE(Species(2).DefiningMember->IsSameAs(*g[1]));
  EXPECT_EQ(Species(2).Champion, nullptr);
  EXPECT_TRUE(Species(2).Genotypes.Empty());
  pop.SwapGenotypeLists();

  pop.ResetSpecies(true);
  EXPECT_TRUE(pop.SpeciesList.empty());
}

TEST_F(SpeciesTest, RelatednessThresholdFollowsTheTargetCount) {
  struct Case {
    int32_t living;
    double before, after;
  };
  const Case cases[] = {{25, 3.0, 6.75}, {17, 3.0, 4.0},  {14, 3.0, 3.1},  {12, 3.0, 3.0},
                        {8, 3.0, 3.0},   {3, 3.0, 2.0},   {3, 0.9, 0.4},   {25, 14.0, 15.0},
                        {7, 3.0, 2.9},
                        // Where the step changes: d = 3, 5 | 6, 10 | 11, on both sides.
                        {13, 3.0, 3.1},  {15, 3.0, 3.1},  {16, 3.0, 4.0},  {20, 3.0, 4.0},
                        {21, 3.0, 5.75}, {5, 3.0, 2.9},   {4, 3.0, 2.0},   {0, 3.0, 2.0}};
  pop.SpeciesTargetCount = 10;
  for (const Case& c : cases) {
    pop.LivingSpeciesCount = c.living;
    pop.MinSpeciesRelatedness = c.before;
    pop.AdjustRelatednessThreshold();
    EXPECT_DOUBLE_EQ(pop.MinSpeciesRelatedness, c.after) << c.living << " living";
  }
  // No target: never moves, not even into the clamp.
  pop.SpeciesTargetCount = 0;
  pop.LivingSpeciesCount = 40;
  pop.MinSpeciesRelatedness = 20.0;
  pop.AdjustRelatednessThreshold();
  EXPECT_EQ(pop.MinSpeciesRelatedness, 20.0);
}

}  // namespace
}  // namespace qf::test
