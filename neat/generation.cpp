// The generation cycle: the initial population, the evaluation through the host's fitness
// handler, and breeding by species or by individual selection. The order of the random
// draws is part of the behaviour: with a fixed seed a run replays.

#include <cmath>

#include "base/errors.h"
#include "base/message_pump.h"
#include "base/numbers.h"
#include "base/random.h"
#include "neat/population.h"
#include "neat/species.h"

namespace qf {

namespace {

// The chance that a crossover within a species takes its second parent from the whole
// previous generation instead.
constexpr double kInterspeciesChance = 0.001;
constexpr int32_t kInterspeciesTournamentSize = 14;
constexpr double kChampionCopyChance = 0.5;
constexpr double kNoStructuralMutationBelow = 0.2;

}  // namespace

void TNEATPopulation::CreateInitialPopulation() {
  ClearGenotypes();
  ResetSpecies(true);
  for (int32_t i = 0; i < PopulationSize; ++i) {
    auto genotype = std::make_unique<TGenotype>(this);
    genotype->NEATPopulation = this;
    genotype->BuildInitial(InputNodeCount, OutputNodeCount);
    if (i == 0) {
      // Every initial genotype has the same structure and numbering.
      NextNodeNumber = genotype->NodeList.Count();
      NextInnovation = genotype->ConnectList.Count();
    }
    if (OnPrepareInitialGenotype) OnPrepareInitialGenotype(this, genotype.get());
    TGenotype* added = genotype.get();
    GenotypeList->Add(std::move(genotype));
    added->PreparePhenotype();
  }
}

void TNEATPopulation::EvaluateGeneration() {
  QF_ASSERT(static_cast<bool>(OnCalculateFitness), "You must assign a OnCalculateFitness event!");
  BestIndividual = nullptr;
  FitnessTotal = 0.0;
  AdjustedFitnessTotal = 0.0;
  for (int32_t i = 0; i < GenotypeList->Count(); ++i) {
    CurrentGenotypeIndex = i;
    TGenotype* g = (*GenotypeList)[i];
    g->Fitness = OnCalculateFitness(this, g);
    // An infinite fitness would turn the offspring shares into not-a-number; it is refused
    // like a negative one.
    if (!(g->Fitness >= 0.0) || std::isinf(g->Fitness)) {
      QF_FAIL(Format("Fitness MUST be zero or above, %s is not a valid fitness.!",
                     FormatFixed(g->Fitness, 2).c_str()));
    }
    g->AdjustedFitness = g->Fitness;
    FitnessTotal += g->Fitness;
    AdjustedFitnessTotal += g->Fitness;
    if (!BestIndividual || g->Fitness > BestIndividual->Fitness ||
        (g->Fitness == BestIndividual->Fitness && g->GeneCount() < BestIndividual->GeneCount())) {
      BestIndividual = g;
    }
    ProcessMessages();
    if (ApplicationTerminated()) throw EAbort();
  }
  QF_ASSERT(FitnessTotal > 0.0, "At least one genotype must have a fitness > 0!");
  QF_ASSERT(std::isfinite(FitnessTotal),
            "The fitness total is too large; keep fitness values well below the double range!");
  if (SelectionType == stSpecies) Speciate();
  ShowBestIndividual();
}

void TNEATPopulation::ShowBestIndividual() {
  QF_ASSERT(BestIndividual != nullptr, "BestIndividual not assigned!");
  if (OnShowBestIndividual) {
    OnShowBestIndividual(this, BestIndividual, PreviousBestFitness != BestIndividual->Fitness);
  }
  ProcessMessages();
}

void TNEATPopulation::CreateNextGeneration() {
  SwapGenotypeLists();
  if (SelectionType != stSpecies) {
    // Species keep member references across breeding steps only when every evaluation
    // speciates. Without speciation the generation about to be freed may still hold their
    // champions; each such species keeps a copy of its champion as representative instead.
    for (const auto& species : SpeciesList) {
      TSpecies& s = *species;
      if (!s.Champion || GenotypeList->IndexOf(s.Champion) < 0) continue;
      if (s.DefiningMember) s.DefiningMember->ReleaseToCache();
      s.DefiningMember = s.Champion->Clone();
      s.Champion = nullptr;
      s.Genotypes.Clear();
    }
  }
  ClearGenotypes();
  if (SelectionType == stSpecies) {
    ReproduceSpecies();
    return;
  }
  for (int32_t i = 0; i < PopulationSize; ++i) {
    TGenotype* old = PreviousGenotypeList->Items(i);
    TSpecies* s = FindSpecies(old);
    std::unique_ptr<TGenotype> child;
    if (old == BestIndividual) {
      child = old->Clone();
    } else if (s && old == s->Champion && RandomUniform() <= kChampionCopyChance) {
      child = old->Clone();
    } else if (RandomUniform() <= ReproduceMutateRate) {
      child = SelectParent(i, nullptr)->Clone();
      child->Mutate();
    } else {
      TGenotype* p1 = SelectParent(i, nullptr);
      TGenotype* p2 = SelectParent(i, p1);
      child = BreedByCrossover(p1, p2);
    }
    child->PreparePhenotype();
    GenotypeList->Add(std::move(child));
  }
}

void TNEATPopulation::ReproduceSpecies() {
  for (const auto& species : SpeciesList) {
    TSpecies& s = *species;
    if (s.DeadSpecies || s.ExpectedOffspringCount == 0) continue;
    if (s.MemberCount > 4 || s.Champion == BestIndividual) {
      --s.ExpectedOffspringCount;
      auto elite = s.Champion->Clone();
      elite->PreparePhenotype();
      GenotypeList->Add(std::move(elite));
    }
    while (s.ExpectedOffspringCount > 0) {
      --s.ExpectedOffspringCount;
      std::unique_ptr<TGenotype> child;
      if (RandomUniform() <= ReproduceMutateRate) {
        child = s.SelectMember()->Clone();
        child->Mutate();
      } else {
        TGenotype* p1 = s.SelectMember();
        TGenotype* p2 = RandomUniform() > kInterspeciesChance
                            ? s.SelectMember()
                            : SelectTournament(*PreviousGenotypeList,
                                               kInterspeciesTournamentSize, nullptr);
        child = BreedByCrossover(p1, p2);
      }
      child->PreparePhenotype();
      GenotypeList->Add(std::move(child));
    }
  }
  // Every allotment can truncate to 0 (a species per genotype and equal fitness put each
  // share a hair below 1), leaving no child to copy; the generation then starts from the
  // best individual's elite copy, which its species would have made.
  if (GenotypeList->Empty()) {
    auto elite = BestIndividual->Clone();
    elite->PreparePhenotype();
    GenotypeList->Add(std::move(elite));
  }
  // The truncated allotments leave places over; mutated copies of children already made
  // fill them.
  while (GenotypeList->Count() < PopulationSize) {
    auto child = SelectFitProp(*GenotypeList, AdjustedFitnessTotal)->Clone();
    child->Mutate();
    child->PreparePhenotype();
    GenotypeList->Add(std::move(child));
  }
  QF_ASSERT(GenotypeList->Count() == PopulationSize,
            Format("%d offspring allotted for a population of %d!", GenotypeList->Count(),
                   PopulationSize));
}

std::unique_ptr<TGenotype> TNEATPopulation::BreedByCrossover(TGenotype* p1, TGenotype* p2) {
  auto child = std::make_unique<TGenotype>(this);
  // The fitter parent is the mother; on equal fitness the second parent.
  if (p1->Fitness > p2->Fitness) {
    child->Crossover(p1, p2);
  } else {
    child->Crossover(p2, p1);
  }
  if (p1 == p2) {
    child->Mutate();
    return child;
  }
  if (RandomUniform() < kNoStructuralMutationBelow) {
    if (p1->Fitness == p2->Fitness && RandomUniform() <= ConnectionWeightMutationChance) {
      for (TConnect* c : child->ConnectList) c->MutateWeight();
    }
  } else if (MutateCrossed || child->IsSameAs(*p1)) {
    child->Mutate();
  }
  return child;
}

TGenotype* TNEATPopulation::SelectParent(int32_t i, const TGenotype* excluded) {
  switch (SelectionType) {
    case stFitProp:
      return SelectFitProp(*PreviousGenotypeList, AdjustedFitnessTotal);
    case stTournament:
      return SelectTournament(*PreviousGenotypeList, TournamentSize, excluded);
    case stLocalTournament:
      return SelectLocalTournament(i, excluded);
    default:
      QF_FAIL("Species selection breeds through ReproduceSpecies!");
  }
}

TGenotype* TNEATPopulation::SelectFitProp(const TGenotypeList& list, double total) {
  QF_ASSERT(!list.Empty(), "GenotypeList can't be empty!");
  double r = static_cast<double>(static_cast<long double>(RandomUniform()) * total);
  if (!(r > 0.0)) r = 1.0;
  TGenotype* g = list[0];
  // Draws with replacement end as soon as some weight above 0 turns up. A list without any
  // would spin forever, so after many fruitless passes the list is checked once.
  int64_t passes = 0;
  const int64_t checkAfter = 64 * static_cast<int64_t>(list.Count());
  while (r > 0.0) {
    g = list[RandomIndex(list.Count())];
    r = static_cast<double>(static_cast<long double>(r) - g->AdjustedFitness);
    if (++passes == checkAfter) {
      bool anyWeight = false;
      for (const TGenotype* x : list) anyWeight = anyWeight || x->AdjustedFitness > 0.0;
      QF_ASSERT(anyWeight, "No genotype in the list has an adjusted fitness above 0!");
    }
  }
  return g;
}

TGenotype* TNEATPopulation::SelectTournament(const TGenotypeList& list, int32_t n,
                                             const TGenotype* excluded) {
  QF_ASSERT(!list.Empty(), "There are no genotypes in the list!");
  TGenotype* winner = nullptr;
  for (int32_t k = 0; k < n; ++k) {
    TGenotype* c = list[RandomIndex(list.Count())];
    if (c != excluded && (!winner || c->AdjustedFitness < winner->AdjustedFitness)) winner = c;
  }
  return winner ? winner : list[0];
}

TGenotype* TNEATPopulation::SelectLocalTournament(int32_t i, const TGenotype* excluded) {
  const TGenotypeList& list = *PreviousGenotypeList;
  // One wrap-around reaches every neighbour only while the range spans at most the ring
  // twice over; the check also catches a population resized since the evaluation.
  QF_ASSERT(TournamentRange >= 0 && TournamentRange <= 2 * PopulationSize + 1 &&
                list.Count() == PopulationSize,
            Format("TournamentRange %d does not fit a population of %d!", TournamentRange,
                   PopulationSize));
  TGenotype* winner = nullptr;
  for (int32_t k = 0; k < TournamentSize; ++k) {
    int32_t j = RandomIndex(TournamentRange) - TournamentRange / 2 + i;
    if (j >= PopulationSize) j -= PopulationSize;
    if (j < 0) j += PopulationSize;
    TGenotype* c = list.Items(j);
    if (c != excluded && (!winner || c->Fitness > winner->Fitness)) winner = c;
  }
  return winner ? winner : list.Items(i);
}

}  // namespace qf
