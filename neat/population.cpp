#include "neat/population.h"

#include <algorithm>
#include <cmath>

#include "base/errors.h"
#include "base/random.h"

namespace qf {

namespace {
// Returns a generation's genes to the pool and frees it, whatever its size.
void FreeGenotypes(TGenotypeList& list) {
  for (TGenotype* genotype : list) genotype->ReleaseToCache();
  list.Clear();
}
}  // namespace

TNEATPopulation::TNEATPopulation(TComponent* owner)
    : TComponent(owner),
      InnovationRegistry(std::make_unique<TConnectList>(false)),
      GenotypeList(std::make_unique<TGenotypeList>(true)),
      PreviousGenotypeList(std::make_unique<TGenotypeList>(true)) {
  InnovationRegistry->Duplicates = dupAccept;
  TournamentRange = 2 * TournamentSize;
}

TNEATPopulation::~TNEATPopulation() {
  // The size check of ClearGenotypes guards breeding; a destructor must not throw, so a
  // generation whose size no longer matches PopulationSize is freed all the same.
  ClearInnovations();
  SplitRegistry.clear();
  FreeGenotypes(*GenotypeList);
  SwapGenotypeLists();
  FreeGenotypes(*GenotypeList);
  GenotypeList.reset();
  PreviousGenotypeList.reset();
  ClearInnovations();
  InnovationRegistry.reset();
  SpeciesList.clear();
  SplitRegistry.clear();
}

void TNEATPopulation::Loaded() { TComponent::Loaded(); }

void TNEATPopulation::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (component == Owner() && operation == opRemove) StopRun();
}

void TNEATPopulation::SetSurvivalThreshold(double value) {
  // Written so that not-a-number fails too.
  QF_ASSERT(value > 0.0 && value < 1.0, "SurvivalThreshold must be between 0 and 1");
  survivalThreshold_ = value;
}

void TNEATPopulation::ClearInnovations() { InnovationRegistry->Clear(); }

int32_t TNEATPopulation::NewInnovation(TConnect* connect) {
  if (connect) {
    for (const TConnect* known : *InnovationRegistry) {
      if (known->SameInnovationAs(*connect)) return known->InnovationNumber;
    }
  }
  const int32_t n = NextInnovation++;
  if (connect) InnovationRegistry->Add(connect);
  return n;
}

int32_t TNEATPopulation::NewNodeNumber() { return NextNodeNumber++; }

double TNEATPopulation::RandomWeight() {
  const long double u = RandomUniform();
  return static_cast<double>((2.0L * u - 1.0L) * static_cast<long double>(InitialWeightMagnitude));
}

int32_t TNEATPopulation::RandomDelay() {
  const float u = static_cast<float>(RandomUniform());
  const long double d = std::nearbyint(static_cast<long double>(u) * MaxConnectionDelay);
  return static_cast<int32_t>(std::clamp(d, 0.0L, static_cast<long double>(kMaxDelay)));
}

void TNEATPopulation::ClearGenotypes() {
  ClearInnovations();
  SplitRegistry.clear();
  QF_ASSERT(GenotypeList->Empty() || GenotypeList->Count() == PopulationSize,
            "Genotypes have dissappeared!");
  FreeGenotypes(*GenotypeList);
}

void TNEATPopulation::SwapGenotypeLists() { std::swap(GenotypeList, PreviousGenotypeList); }

void TNEATPopulation::StopRun() {
  if (OnAfterRunStopped) OnAfterRunStopped(this);
}

}  // namespace qf
