#pragma once
// The plain contents of a genome file and of a population checkpoint, as read from the text
// and checked, before anything of the engine is touched. Loading first fills these records
// completely, so a refused file leaves the genome or population it was meant for as it was.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "neat/genes.h"
#include "neat/population.h"

namespace qf::io {

struct NodeRecord {
  int32_t Number = 0;
  bool IsInput = false;
  bool IsOutput = false;
  bool NoSplitFrom = false;
  double Depth = 0.0;
  std::string TransferFunction;  // the registered name
  // Network state.
  double Value = 0.0;
  double PreviousValue = 0.0;
  double NetInput = 0.0;
  double TransferState[4] = {};
};

struct ConnectRecord {
  int32_t InnovationNumber = 0;
  int32_t FromNode = 0;
  int32_t ToNode = 0;
  double Weight = 0.0;
  bool Enabled = false;
  int32_t Delay = 0;
  double DelayLine[kMaxDelay + 1] = {};  // network state
};

struct GenomeRecord {
  double Fitness = 0.0;
  double AdjustedFitness = 0.0;
  int32_t MaxNodeDepth = 0;
  int32_t ExpectedOffspring = 0;
  int32_t Tag = 0;
  bool Prepared = false;
  int32_t SpeciesHint = -1;  // index into the checkpoint's species; -1 for none
  std::vector<NodeRecord> Nodes;        // ascending Number
  std::vector<ConnectRecord> Connects;  // ascending InnovationNumber
};

// Which of the population's two genotype lists a reference points into.
enum class ListId { Current, Previous };

struct GenotypeRef {
  ListId List = ListId::Current;
  int32_t Index = 0;
};

struct SpeciesRecord {
  int32_t SpeciesID = 0;
  bool DeadSpecies = false;
  double FitnessSum = 0.0;
  double AdjustedFitnessSum = 0.0;
  double SpeciesPunish = 0.0;
  double OldChampionFitness = 0.0;
  int32_t BirthGeneration = 0;
  int32_t MemberCount = 0;
  int32_t Color = 0;
  int32_t ExpectedOffspringCount = 0;
  int32_t LastImprovementGeneration = 0;
  std::optional<GenomeRecord> DefiningMember;
  std::optional<GenotypeRef> Champion;
  std::vector<GenotypeRef> Genotypes;
};

// Every published setting of the population, grouped by type in the order of the tables in
// records.cpp.
struct SettingsRecord {
  std::vector<int32_t> Ints;
  std::vector<double> Doubles;
  std::vector<float> Singles;
  std::vector<bool> Bools;
  TSelectionType SelectionType = stSpecies;
  TSpeciesFitnessMethod SpeciesFitnessMethod = sfmAverageFitness;
  double SurvivalThreshold = 0.4;
};

struct PopulationRecord {
  // The process-wide state that decides the continuation beside the population itself.
  std::vector<std::string> TransferFunctions;  // the registry's names, in order
  uint32_t RandSeed = 0;
  int32_t PooledNodes = 0;
  int32_t PooledConnects = 0;

  SettingsRecord Settings;
  int32_t NextInnovation = 0;
  int32_t NextNodeNumber = 0;
  int32_t NextSpeciesID = 0;
  int32_t CurrentGeneration = 0;
  int32_t LivingSpeciesCount = 0;
  int32_t CurrentGenotypeIndex = 0;
  double FitnessTotal = 0.0;
  double AdjustedFitnessTotal = 0.0;
  double ChampionFitnessTotal = 0.0;
  double PreviousBestFitness = 0.0;
  std::optional<GenotypeRef> BestIndividual;
  std::vector<GenomeRecord> GenotypeList;
  std::vector<GenomeRecord> PreviousGenotypeList;
  std::vector<SpeciesRecord> Species;

  // Free key/value pairs of the host (its own generation counter, ...); the engine ignores them.
  std::map<std::string, std::string> Host;

  int32_t PopulationSize() const;
};

// The settings tables: names as the population publishes them, and the members they mirror.
struct IntSetting {
  const char* Name;
  int32_t TNEATPopulation::*Member;
  int32_t Min = INT32_MIN;  // below it the population cannot run
};
struct DoubleSetting {
  const char* Name;
  double TNEATPopulation::*Member;
};
struct SingleSetting {
  const char* Name;
  float TNEATPopulation::*Member;
};
struct BoolSetting {
  const char* Name;
  bool TNEATPopulation::*Member;
};
extern const std::vector<IntSetting> kIntSettings;
extern const std::vector<DoubleSetting> kDoubleSettings;
extern const std::vector<SingleSetting> kSingleSettings;
extern const std::vector<BoolSetting> kBoolSettings;
extern const char* const kSelectionTypeNames[4];
extern const char* const kSpeciesFitnessMethodNames[2];

// A setting's value in a record, by the member it mirrors.
int32_t IntSettingOf(const SettingsRecord& settings, int32_t TNEATPopulation::*member);
float SingleSettingOf(const SettingsRecord& settings, float TNEATPopulation::*member);

SettingsRecord CaptureSettings(const TNEATPopulation& population);
void ApplySettings(const SettingsRecord& settings, TNEATPopulation& population);

// The genome's genes, fields and network state. speciesIndex maps the genome's SpeciesHint to
// an index (-1 for none).
GenomeRecord CaptureGenome(const TGenotype& genotype, int32_t speciesHintIndex);

}  // namespace qf::io
