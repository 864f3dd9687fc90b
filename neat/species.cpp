// Species and the population's speciation step. The order of every loop here is part of the
// behaviour: it decides which species a genotype joins, who is champion on a tie and which
// members of equal fitness survive the cull.

#include "neat/species.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "base/errors.h"
#include "base/random.h"
#include "neat/population.h"

namespace qf {

namespace {

constexpr int32_t kColorCount = 0x1000000;

// Truncation toward zero of a stored offspring share. The shares are bounded by the
// population size in every flow; this keeps a float that is not (from a fitness total that
// underflowed) from reaching an undefined conversion.
int32_t TruncateShare(double x) {
  QF_ASSERT(std::isfinite(x) && std::fabs(x) < 2147483647.0, "Floating point division by zero");
  return static_cast<int32_t>(std::trunc(x));
}

// -1 when a is fitter, 0 when equal, +1 otherwise: best first.
int CompareFitness(const TGenotype* a, const TGenotype* b) {
  if (a->Fitness > b->Fitness) return -1;
  if (a->Fitness == b->Fitness) return 0;
  return 1;
}

// The classic in-place list quicksort. Its order among equal fitness values decides which of
// them survive the cull, so it must not be replaced by another sort.
void QuickSort(TGenotypeList& list, int32_t l, int32_t r) {
  do {
    int32_t i = l;
    int32_t j = r;
    const TGenotype* pivot = list[(l + r) / 2];
    do {
      while (CompareFitness(list[i], pivot) < 0) ++i;
      while (CompareFitness(list[j], pivot) > 0) --j;
      if (i <= j) {
        list.Exchange(i, j);
        ++i;
        --j;
      }
    } while (i <= j);
    if (l < j) QuickSort(list, l, j);
    l = i;
  } while (l < r);
}

bool IsCompatible(const TNEATPopulation& population, TGenotype* genotype,
                  const TSpecies& species) {
  // A species without a representative (dead, or reset before it found members) takes nobody.
  if (!species.DefiningMember) return false;
  return genotype->Relatedness(*species.DefiningMember) < population.MinSpeciesRelatedness;
}

}  // namespace

TSpecies::TSpecies(TNEATPopulation* population)
    : Population(population), Color(RandomIndex(kColorCount)) {}

TSpecies::~TSpecies() {
  if (DefiningMember) DefiningMember->ReleaseToCache();
}

void DeleteSpecies(TSpecies* species) { delete species; }

void TSpecies::AddMember(TGenotype* genotype) {
  Genotypes.Add(genotype);
  if (!Champion || genotype->Fitness > Champion->Fitness ||
      (genotype->Fitness == Champion->Fitness && genotype->GeneCount() < Champion->GeneCount())) {
    Champion = genotype;
  }
}

void TSpecies::SumAdjustedFitness() {
  double sum = 0.0;
  for (const TGenotype* g : Genotypes) sum += g->AdjustedFitness;
  AdjustedFitnessSum = sum;
  QF_ASSERT(!Genotypes.Empty(), "Species is emtpy");
}

TGenotype* TSpecies::SelectMember() {
  return Population->SelectFitProp(Genotypes, AdjustedFitnessSum);
}

void TSpecies::CalculateExpectedOffspring() {
  ExpectedOffspringCount = 0;
  if (DeadSpecies || Genotypes.Empty()) return;
  const TNEATPopulation& p = *Population;
  double sum = 0.0;
  switch (p.SpeciesFitnessMethod) {
    case sfmAverageFitness: {
      const double average = static_cast<double>(
          static_cast<long double>(p.AdjustedFitnessTotal) / p.PopulationSize);
      for (TGenotype* g : Genotypes) {
        const double x =
            static_cast<double>(static_cast<long double>(g->AdjustedFitness) / average);
        g->SetExpectedOffspring(TruncateShare(x));
        sum += x;
      }
      break;
    }
    case sfmHighestFitness:
      QF_ASSERT(SpeciesPunish > 0.0, "SpeciesPunish can't be zero.");
      sum = static_cast<double>(static_cast<long double>(Champion->Fitness) * SpeciesPunish /
                                p.ChampionFitnessTotal * p.PopulationSize);
      break;
    default:
      QF_FAIL("This species fitness method hasn't been implemented yet!");
  }
  ExpectedOffspringCount = TruncateShare(sum);
  QF_ASSERT(ExpectedOffspringCount <= p.PopulationSize,
            Format("ExpectedOffspringCount is too large, %d, max allowed is %d.",
                   ExpectedOffspringCount, p.PopulationSize));
}

void TSpecies::ApplySurvivalThreshold() {
  if (Genotypes.Count() > 1) QuickSort(Genotypes, 0, Genotypes.Count() - 1);
  // The stored threshold is not exactly its decimal (0.4 lies just above), and the count
  // times the stored value is taken exactly: a species of 5 keeps 3 at 0.4, not 2.
  const long double share =
      static_cast<long double>(Genotypes.Count()) * Population->SurvivalThreshold();
  const int32_t keep = static_cast<int32_t>(std::ceil(std::max(share, 1.0L)));
  while (Genotypes.Count() > keep) Genotypes.Delete(Genotypes.Count() - 1);
  QF_ASSERT(!Genotypes.Empty(), "Species is emtpy");
  SumAdjustedFitness();
}

TSpecies* TNEATPopulation::FindSpecies(TGenotype* genotype) {
  if (genotype->SpeciesHint && IsCompatible(*this, genotype, *genotype->SpeciesHint)) {
    return genotype->SpeciesHint;
  }
  for (const auto& species : SpeciesList) {
    if (species->DeadSpecies) continue;
    if (IsCompatible(*this, genotype, *species)) {
      genotype->SpeciesHint = species.get();
      return species.get();
    }
  }
  return nullptr;
}

void TNEATPopulation::ResetSpecies(bool FreeAll) {
  if (FreeAll) {
    SpeciesList.clear();
    return;
  }
  for (const auto& species : SpeciesList) {
    TSpecies& s = *species;
    TGenotype* representative =
        s.Champion ? s.Champion : (s.Genotypes.Empty() ? nullptr : s.Genotypes[0]);
    // A living species whose members were freed by a breeding step without speciation keeps
    // the copy it took of its champion then (see CreateNextGeneration).
    if (!representative && !s.DeadSpecies && s.DefiningMember) continue;
    if (s.DefiningMember) {
      s.DefiningMember->ReleaseToCache();
      s.DefiningMember.reset();
    }
    if (representative) s.DefiningMember = representative->Clone();
    s.Champion = nullptr;
    s.Genotypes.Clear();
  }
}

void TNEATPopulation::AdjustRelatednessThreshold() {
  if (SpeciesTargetCount <= 0) return;
  const int32_t d = std::abs(LivingSpeciesCount - SpeciesTargetCount);
  if (d <= 2) return;
  double step = 0.1;
  if (d > 10) {
    step = d / 4.0;
  } else if (d > 5) {
    step = 1.0;
  }
  if (LivingSpeciesCount > SpeciesTargetCount) {
    MinSpeciesRelatedness += step;
  } else {
    MinSpeciesRelatedness -= step;
  }
  MinSpeciesRelatedness = std::min(std::max(MinSpeciesRelatedness, 0.4), 15.0);
}

void TNEATPopulation::Speciate() {
  ResetSpecies(false);
  AdjustedFitnessTotal = 0.0;
  ChampionFitnessTotal = 0.0;
  AdjustRelatednessThreshold();
  LivingSpeciesCount = 0;

  for (TGenotype* genotype : *GenotypeList) {
    TSpecies* s = FindSpecies(genotype);
    if (!s) {
      auto created = TSpeciesList::value_type(new TSpecies(this), &DeleteSpecies);
      s = created.get();
      s->BirthGeneration = CurrentGeneration;
      s->LastImprovementGeneration = CurrentGeneration;
      s->SpeciesID = NextSpeciesID++;
      s->FitnessSum = 0.0;
      s->AdjustedFitnessSum = 0.0;
      s->DefiningMember = genotype->Clone();
      SpeciesList.push_back(std::move(created));
    }
    genotype->SpeciesHint = s;
    s->AddMember(genotype);
  }

  for (auto it = SpeciesList.rbegin(); it != SpeciesList.rend(); ++it) {
    TSpecies& s = **it;
    if (!s.Champion) continue;
    if (s.Champion->Fitness > s.OldChampionFitness) {
      s.LastImprovementGeneration = CurrentGeneration;
    }
    s.OldChampionFitness = s.Champion->Fitness;
  }

  // Species that die now; hints to species that died earlier were cleared back then.
  std::vector<const TSpecies*> dying;
  for (auto it = SpeciesList.rbegin(); it != SpeciesList.rend(); ++it) {
    TSpecies& s = **it;
    s.ExpectedOffspringCount = 0;
    s.MemberCount = s.Genotypes.Count();
    s.AdjustedFitnessSum = 0.0;
    s.FitnessSum = 0.0;
    s.SpeciesPunish = 1.0;
    if (s.Genotypes.Empty()) {
      if (!s.DeadSpecies) dying.push_back(&s);
      s.DeadSpecies = true;
      continue;
    }
    ++LivingSpeciesCount;
    ChampionFitnessTotal += s.Champion->Fitness * s.SpeciesPunish;
    const long double members = s.Genotypes.Count();
    for (TGenotype* g : s.Genotypes) {
      g->AdjustedFitness = static_cast<double>(static_cast<long double>(g->AdjustedFitness) *
                                               s.SpeciesPunish);
      g->AdjustedFitness =
          static_cast<double>(static_cast<long double>(g->AdjustedFitness) / members);
      s.FitnessSum += g->Fitness;
      s.AdjustedFitnessSum += g->AdjustedFitness;
      AdjustedFitnessTotal += g->AdjustedFitness;
    }
  }
  if (!dying.empty()) {
    for (TGenotype* g : *GenotypeList) {
      if (std::find(dying.begin(), dying.end(), g->SpeciesHint) != dying.end()) {
        g->SpeciesHint = nullptr;
      }
    }
  }

  for (const auto& species : SpeciesList) species->CalculateExpectedOffspring();

  AdjustedFitnessTotal = 0.0;
  for (auto it = SpeciesList.rbegin(); it != SpeciesList.rend(); ++it) {
    TSpecies& s = **it;
    if (s.DeadSpecies) continue;
    s.ApplySurvivalThreshold();
    AdjustedFitnessTotal += s.AdjustedFitnessSum;
  }
}

}  // namespace qf
