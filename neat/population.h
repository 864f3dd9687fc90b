#pragma once
// The population component: the one engine object a host deals with. It holds the settings,
// the current and the previous generation, the species, and the innovation registries that
// give structurally equal mutations equal numbers within one breeding step.
//
// One run per process. The random source (base/random.h), the gene pool (gene_pool.h) and the
// transfer-function registry (transfer_functions.h) belong to the process, not to a
// population, and every population draws from them; even the pool's count of spare genes
// decides draws (a node built new draws its transfer function, a pooled one does not). A run
// replays exactly from its seed only with these to itself: evolve one population at a time,
// and start each run in a process of its own, or empty the pool (CacheHandler().Clear()) and
// set the seed (SetRandSeed) first. A checkpoint (neat/io/neat_io.h) carries the seed, the
// pool's count and the registry's names: a run resumed in a fresh process that registers the
// same transfer functions continues exactly. Nothing here is guarded: call the engine from one
// thread; other threads may only set inputs, iterate and read outputs of distinct genomes.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/component.h"
#include "neat/genes.h"
#include "neat/genotype.h"
#include "neat/species_list.h"

namespace qf {

enum TSelectionType { stFitProp, stSpecies, stTournament, stLocalTournament };
enum TSpeciesFitnessMethod { sfmAverageFitness, sfmHighestFitness };
enum TIterationState { isPreIterations, isMidIterations, isPostIterations };

class TNEATPopulation;

// Events; the component tests that one is assigned before every call.
using TOnCalculateFitness =
    std::function<double(TNEATPopulation* NEATPopulation, TGenotype* Genotype)>;
using TOnShowBestIndividual = std::function<double(
    TNEATPopulation* NEATPopulation, TGenotype* Genotype, bool DifferentFromPrevious)>;
using TOnPrepareInitialGenotype =
    std::function<void(TNEATPopulation* NEATPopulation, TGenotype* Genotype)>;
using TOnGenotypeIteration = std::function<void(
    TNEATPopulation* NEATPopulation, TGenotype* Genotype, TIterationState IterationState)>;
using TNotifyEvent = std::function<void(TComponent* Sender)>;

class TNEATPopulation : public TComponent {
public:
  explicit TNEATPopulation(TComponent* owner);
  ~TNEATPopulation() override;

  void Loaded() override;
  // On the removal of the owner the run stops.
  void Notification(TComponent* component, TOperation operation) override;

  // Fields in their declared order.

  std::unique_ptr<TConnectList> InnovationRegistry;  // not owning its connections
  TOnCalculateFitness OnCalculateFitness;
  double MinSpeciesRelatedness = 3.0;
  TSelectionType SelectionType = stSpecies;
  int32_t OutputNodeCount = 1;
  int32_t InputNodeCount = 1;
  int32_t PopulationSize = 150;
  double ReproduceMutateRate = 0.25;
  int32_t SpeciesTargetCount = 0;
  int32_t GenerationsToRun = 65;
  double TargetFitness = 0.1;
  TOnShowBestIndividual OnShowBestIndividual;
  double PreviousBestFitness = 0.0;
  bool UseFitnessMonitor = true;
  TNotifyEvent OnBeforeStartRun;
  TNotifyEvent OnAfterRunStopped;
  int32_t TournamentRange = 14;
  int32_t TournamentSize = 7;
  double ConnectionWeightMutationChance = 0.8;
  double ConnectionMutationBigChangeChance = 0.1;
  bool MutateCrossed = true;
  bool ConnectNodesOfInitialPop = true;
  bool ConnectOutputOfInitialPop = false;
  int32_t ActivationIterations = 1;
  bool AllowRecurrentLinks = true;
  int32_t LivingSpeciesCount = 0;

  // Must lie strictly between 0 and 1; a refused value leaves the old one.
  double SurvivalThreshold() const { return survivalThreshold_; }
  void SetSurvivalThreshold(double value);

private:
  double survivalThreshold_ = 0.4;

public:
  TSpeciesFitnessMethod SpeciesFitnessMethod = sfmAverageFitness;
  TOnPrepareInitialGenotype OnPrepareInitialGenotype;
  TOnGenotypeIteration OnGenotypeIteration;
  bool GenotypeIterationEvent = false;
  double ConnectionAddChance = 0.05;
  double ConnectionSplitChance = 0.03;
  float WeightUnrelatednessFactor = 0.4f;
  float WeightPeturbationFactor = 2.5f;
  float InitialWeightMagnitude = 1.0f;
  double FitnessTotal = 0.0;
  double AdjustedFitnessTotal = 0.0;
  double ChampionFitnessTotal = 0.0;
  int32_t NextInnovation = 0;
  int32_t NextNodeNumber = 0;
  int32_t CurrentGeneration = 0;
  TGenotype* BestIndividual = nullptr;  // not owned
  std::unique_ptr<TGenotypeList> GenotypeList;
  std::unique_ptr<TGenotypeList> PreviousGenotypeList;
  TSpeciesList SpeciesList;
  int32_t MaxConnectionDelay = 0;
  float MaxLinkWeight = 3.0f;
  int32_t CurrentGenotypeIndex = 0;
  std::vector<TSplitInnovation> SplitRegistry;
  int32_t NextSpeciesID = 0;

  // Empties InnovationRegistry; the connections in it are not touched.
  void ClearInnovations();

  // The innovation number for a new connection: the number of an equal connection (same
  // source, target and delay) registered since the last clearing, else the next free number,
  // registering the connection. Without a connection always the next free number.
  int32_t NewInnovation(TConnect* connect);
  int32_t NewNodeNumber();

  // Uniform in [-InitialWeightMagnitude, InitialWeightMagnitude).
  double RandomWeight();
  // Uniform whole delay in 0 .. MaxConnectionDelay, clamped into the delay line's 0 .. 5.
  int32_t RandomDelay();

  // Clears both registries and frees the current generation, which must be empty or complete.
  void ClearGenotypes();
  void SwapGenotypeLists();
  void StopRun();

  // ---- Speciation (species.cpp) and the generation cycle (generation.cpp) ----

  // Replaces the current generation and every species with fresh initial genotypes.
  void CreateInitialPopulation();
  // Scores every genotype through OnCalculateFitness, in position order, letting pending
  // messages run after each; a terminating application ends it with the silent abort. Then
  // speciates (stSpecies) and reports the best individual.
  virtual void EvaluateGeneration();
  void ShowBestIndividual();
  // Breeds a complete new GenotypeList from the evaluated one, which becomes the previous.
  void CreateNextGeneration();
  void ReproduceSpecies();
  // The crossover child of two parents with its follow-up mutation, not yet prepared.
  std::unique_ptr<TGenotype> BreedByCrossover(TGenotype* p1, TGenotype* p2);
  TGenotype* SelectParent(int32_t i, const TGenotype* excluded);
  // Spends a random share of total on uniformly drawn genotypes' adjusted fitness; the one
  // that exhausts it wins, so a genotype of adjusted fitness 0 never does.
  TGenotype* SelectFitProp(const TGenotypeList& list, double total);
  // The lowest adjusted fitness among n draws wins.
  TGenotype* SelectTournament(const TGenotypeList& list, int32_t n, const TGenotype* excluded);
  // The highest fitness among TournamentSize draws from the ring neighbourhood of i wins.
  TGenotype* SelectLocalTournament(int32_t i, const TGenotype* excluded);

  void Speciate();
  // The hinted species if compatible, else the oldest compatible living species, or nullptr.
  TSpecies* FindSpecies(TGenotype* genotype);
  // FreeAll frees every species; otherwise each is given its champion's copy as
  // representative and emptied for a new assignment.
  void ResetSpecies(bool FreeAll);
  // Moves MinSpeciesRelatedness toward SpeciesTargetCount living species.
  void AdjustRelatednessThreshold();
};

}  // namespace qf
