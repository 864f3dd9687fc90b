#pragma once
// A species: the genotypes of one generation that are related closely enough to the species'
// representative. Members share their fitness, the species is allotted a number of children
// from that shared fitness, and only its best members survive as parents.
//
// The population creates, fills and frees species (Speciate, ResetSpecies); hosts only read
// the fields below.

#include <cstdint>
#include <memory>

#include "neat/genotype.h"
#include "neat/species_list.h"

namespace qf {

class TNEATPopulation;

class TSpecies {
public:
  explicit TSpecies(TNEATPopulation* population);
  // Returns the representative's genes to the pool; the members belong to the population.
  ~TSpecies();
  TSpecies(const TSpecies&) = delete;
  TSpecies& operator=(const TSpecies&) = delete;

  TNEATPopulation* Population;
  bool DeadSpecies = false;  // never cleared: a dead species never takes members again
  double FitnessSum = 0.0;
  double AdjustedFitnessSum = 0.0;
  double SpeciesPunish = 0.0;
  double OldChampionFitness = 0.0;
  int32_t BirthGeneration = 0;
  int32_t MemberCount = 0;  // before culling
  int32_t SpeciesID = 0;
  int32_t Color = 0;  // a random 24-bit colour for displays
  int32_t ExpectedOffspringCount = 0;
  int32_t LastImprovementGeneration = 0;
  std::unique_ptr<TGenotype> DefiningMember;  // owned copy
  TGenotype* Champion = nullptr;              // a member, not owned
  TGenotypeList Genotypes{false};             // after culling, the parents

  // Appends a member; a fitter one, or an equally fit one with fewer genes, becomes champion.
  void AddMember(TGenotype* genotype);
  void SumAdjustedFitness();
  // A parent drawn in proportion to adjusted fitness.
  TGenotype* SelectMember();
  void CalculateExpectedOffspring();
  // Sorts the members best first and keeps the share SurvivalThreshold of them.
  void ApplySurvivalThreshold();
};

// The deleter the population's species list holds.
void DeleteSpecies(TSpecies* species);

}  // namespace qf
