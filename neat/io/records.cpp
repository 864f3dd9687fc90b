#include "neat/io/records.h"

#include <stdexcept>

#include "neat/genotype.h"
#include "neat/io/neat_io.h"
#include "neat/species.h"
#include "neat/transfer_functions.h"

namespace qf::io {

using P = TNEATPopulation;

// An empty generation cannot be evaluated, a genome without an output cannot be read, and
// activation runs at least one pass (-1 and 0 choose the count).
const std::vector<IntSetting> kIntSettings = {
    {"PopulationSize", &P::PopulationSize, 1},
    {"SpeciesTargetCount", &P::SpeciesTargetCount},
    {"InputNodeCount", &P::InputNodeCount, 0},
    {"OutputNodeCount", &P::OutputNodeCount, 1},
    {"GenerationsToRun", &P::GenerationsToRun},
    {"TournamentSize", &P::TournamentSize},
    {"TournamentRange", &P::TournamentRange},
    {"ActivationIterations", &P::ActivationIterations, -1},
    {"MaxConnectionDelay", &P::MaxConnectionDelay},
};

const std::vector<DoubleSetting> kDoubleSettings = {
    {"ReproduceMutateRate", &P::ReproduceMutateRate},
    {"MinSpeciesRelatedness", &P::MinSpeciesRelatedness},
    {"TargetFitness", &P::TargetFitness},
    {"ConnectionWeightMutationChance", &P::ConnectionWeightMutationChance},
    {"ConnectionMutationBigChangeChance", &P::ConnectionMutationBigChangeChance},
    {"ConnectionSplitChance", &P::ConnectionSplitChance},
    {"ConnectionAddChance", &P::ConnectionAddChance},
};

const std::vector<SingleSetting> kSingleSettings = {
    {"WeightUnrelatednessFactor", &P::WeightUnrelatednessFactor},
    {"WeightPeturbationFactor", &P::WeightPeturbationFactor},
    {"InitialWeightMagnitude", &P::InitialWeightMagnitude},
    {"MaxLinkWeight", &P::MaxLinkWeight},
};

const std::vector<BoolSetting> kBoolSettings = {
    {"UseFitnessMonitor", &P::UseFitnessMonitor},
    {"MutateCrossed", &P::MutateCrossed},
    {"ConnectNodesOfInitialPop", &P::ConnectNodesOfInitialPop},
    {"ConnectOutputOfInitialPop", &P::ConnectOutputOfInitialPop},
    {"AllowRecurrentLinks", &P::AllowRecurrentLinks},
    {"GenotypeIterationEvent", &P::GenotypeIterationEvent},
};

const char* const kSelectionTypeNames[4] = {"stFitProp", "stSpecies", "stTournament",
                                            "stLocalTournament"};
const char* const kSpeciesFitnessMethodNames[2] = {"sfmAverageFitness", "sfmHighestFitness"};

int32_t PopulationRecord::PopulationSize() const { return IntSettingOf(Settings, &P::PopulationSize); }

int32_t IntSettingOf(const SettingsRecord& s, int32_t TNEATPopulation::*member) {
  for (size_t i = 0; i < kIntSettings.size(); ++i) {
    if (kIntSettings[i].Member == member) return s.Ints[i];
  }
  throw std::logic_error("not an integer setting");
}

float SingleSettingOf(const SettingsRecord& s, float TNEATPopulation::*member) {
  for (size_t i = 0; i < kSingleSettings.size(); ++i) {
    if (kSingleSettings[i].Member == member) return s.Singles[i];
  }
  throw std::logic_error("not a single setting");
}

namespace {
// Nodes are saved with their function's registered name; an object the registry does not
// hold could not be found again when loading.
const std::string& RegisteredName(const TTransferFunction* tf, int32_t node) {
  const TTransferFunctionList& list = TransferFunctionList();
  for (int32_t i = 0; i < list.Count(); ++i) {
    if (list.Items(i) == tf) return list.Names(i);
  }
  throw EFormatError("node " + std::to_string(node) +
                     " has a transfer function that is not registered, so it cannot be saved");
}
}  // namespace

SettingsRecord CaptureSettings(const TNEATPopulation& p) {
  SettingsRecord s;
  for (const auto& e : kIntSettings) s.Ints.push_back(p.*e.Member);
  for (const auto& e : kDoubleSettings) s.Doubles.push_back(p.*e.Member);
  for (const auto& e : kSingleSettings) s.Singles.push_back(p.*e.Member);
  for (const auto& e : kBoolSettings) s.Bools.push_back(p.*e.Member);
  s.SelectionType = p.SelectionType;
  s.SpeciesFitnessMethod = p.SpeciesFitnessMethod;
  s.SurvivalThreshold = p.SurvivalThreshold();
  return s;
}

void ApplySettings(const SettingsRecord& s, TNEATPopulation& p) {
  for (size_t i = 0; i < kIntSettings.size(); ++i) p.*kIntSettings[i].Member = s.Ints[i];
  for (size_t i = 0; i < kDoubleSettings.size(); ++i) p.*kDoubleSettings[i].Member = s.Doubles[i];
  for (size_t i = 0; i < kSingleSettings.size(); ++i) p.*kSingleSettings[i].Member = s.Singles[i];
  for (size_t i = 0; i < kBoolSettings.size(); ++i) p.*kBoolSettings[i].Member = s.Bools[i];
  p.SelectionType = s.SelectionType;
  p.SpeciesFitnessMethod = s.SpeciesFitnessMethod;
  p.SetSurvivalThreshold(s.SurvivalThreshold);  // checked in (0, 1) when read
}

GenomeRecord CaptureGenome(const TGenotype& g, int32_t speciesHintIndex) {
  GenomeRecord r;
  r.Fitness = g.Fitness;
  r.AdjustedFitness = g.AdjustedFitness;
  r.MaxNodeDepth = g.MaxNodeDepth;
  r.ExpectedOffspring = g.ExpectedOffspring();
  r.Tag = g.Tag;
  r.Prepared = g.Prepared;
  r.SpeciesHint = speciesHintIndex;
  r.Nodes.reserve(static_cast<size_t>(g.NodeList.Count()));
  for (const TNode* n : g.NodeList) {
    NodeRecord& nr = r.Nodes.emplace_back();
    nr.Number = n->Number;
    nr.IsInput = n->IsInput;
    nr.IsOutput = n->IsOutput;
    nr.NoSplitFrom = n->NoSplitFrom;
    nr.Depth = n->Depth;
    nr.TransferFunction = RegisteredName(n->TransferFunction, n->Number);
    nr.Value = n->Value;
    nr.PreviousValue = n->PreviousValue;
    nr.NetInput = n->NetInput;
    std::copy(std::begin(n->TransferState), std::end(n->TransferState), nr.TransferState);
  }
  r.Connects.reserve(static_cast<size_t>(g.ConnectList.Count()));
  for (const TConnect* c : g.ConnectList) {
    ConnectRecord& cr = r.Connects.emplace_back();
    cr.InnovationNumber = c->InnovationNumber;
    cr.FromNode = c->FromNode;
    cr.ToNode = c->ToNode;
    cr.Weight = c->Weight;
    cr.Enabled = c->Enabled;
    cr.Delay = c->Delay;
    std::copy(std::begin(c->DelayLine), std::end(c->DelayLine), cr.DelayLine);
  }
  return r;
}

}  // namespace qf::io
