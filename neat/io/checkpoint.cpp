// Population checkpoints: capture, apply, and the process-wide state around them.

#include <sstream>
#include <unordered_map>

#include "base/random.h"
#include "neat/gene_pool.h"
#include "neat/genotype.h"
#include "neat/io/build.h"
#include "neat/io/format.h"
#include "neat/io/neat_io.h"
#include "neat/population.h"
#include "neat/species.h"
#include "neat/transfer_functions.h"

namespace qf::io {

namespace {

std::vector<std::string> RegistryNames() {
  const TTransferFunctionList& registry = TransferFunctionList();
  std::vector<std::string> names;
  for (int32_t i = 0; i < registry.Count(); ++i) names.push_back(registry.Names(i));
  return names;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

PopulationRecord Capture(const TNEATPopulation& p, const HostData& host) {
  PopulationRecord r;
  r.TransferFunctions = RegistryNames();
  r.RandSeed = GetRandSeed();
  const TCacheHandler& cache = CacheHandler();
  r.PooledNodes = cache.NodePool.Count();
  r.PooledConnects = cache.ConnectPool.Count();
  r.Settings = CaptureSettings(p);
  r.NextInnovation = p.NextInnovation;
  r.NextNodeNumber = p.NextNodeNumber;
  r.NextSpeciesID = p.NextSpeciesID;
  r.CurrentGeneration = p.CurrentGeneration;
  r.LivingSpeciesCount = p.LivingSpeciesCount;
  r.CurrentGenotypeIndex = p.CurrentGenotypeIndex;
  r.FitnessTotal = p.FitnessTotal;
  r.AdjustedFitnessTotal = p.AdjustedFitnessTotal;
  r.ChampionFitnessTotal = p.ChampionFitnessTotal;
  r.PreviousBestFitness = p.PreviousBestFitness;
  r.Host = host;

  // References become positions.
  std::unordered_map<const TSpecies*, int32_t> speciesIndex;
  for (size_t i = 0; i < p.SpeciesList.size(); ++i) {
    speciesIndex.emplace(p.SpeciesList[i].get(), static_cast<int32_t>(i));
  }
  // A hint to a species freed by CreateInitialPopulation survives in the generation before;
  // nothing reads it again, and it is saved as none.
  const auto hintOf = [&](const TGenotype& g) {
    const auto it = speciesIndex.find(g.SpeciesHint);
    return it == speciesIndex.end() ? -1 : it->second;
  };
  std::unordered_map<const TGenotype*, GenotypeRef> where;
  for (ListId id : {ListId::Current, ListId::Previous}) {
    const TGenotypeList& list = id == ListId::Current ? *p.GenotypeList : *p.PreviousGenotypeList;
    auto& records = id == ListId::Current ? r.GenotypeList : r.PreviousGenotypeList;
    records.reserve(static_cast<size_t>(list.Count()));
    for (int32_t i = 0; i < list.Count(); ++i) {
      where.emplace(list[i], GenotypeRef{id, i});
      records.push_back(CaptureGenome(*list[i], hintOf(*list[i])));
    }
  }
  // The best individual matters only after an evaluation, when it is in GenotypeList; after
  // CreateInitialPopulation it may name a freed genotype, which the next evaluation replaces.
  if (const auto it = where.find(p.BestIndividual); it != where.end()) r.BestIndividual = it->second;

  for (size_t i = 0; i < p.SpeciesList.size(); ++i) {
    const TSpecies& s = *p.SpeciesList[i];
    SpeciesRecord& sr = r.Species.emplace_back();
    sr.SpeciesID = s.SpeciesID;
    sr.DeadSpecies = s.DeadSpecies;
    sr.FitnessSum = s.FitnessSum;
    sr.AdjustedFitnessSum = s.AdjustedFitnessSum;
    sr.SpeciesPunish = s.SpeciesPunish;
    sr.OldChampionFitness = s.OldChampionFitness;
    sr.BirthGeneration = s.BirthGeneration;
    sr.MemberCount = s.MemberCount;
    sr.Color = s.Color;
    sr.ExpectedOffspringCount = s.ExpectedOffspringCount;
    sr.LastImprovementGeneration = s.LastImprovementGeneration;
    if (s.DefiningMember) sr.DefiningMember = CaptureGenome(*s.DefiningMember, hintOf(*s.DefiningMember));
    // Members and champions always lie in one of the two lists (the engine drops them before
    // their generation is freed); anything else is a broken invariant, not something to save.
    const auto refOf = [&](const TGenotype* g) {
      const auto it = where.find(g);
      if (it == where.end()) {
        throw EFormatError("species " + std::to_string(s.SpeciesID) +
                           " refers to a genotype in neither list; the population cannot be saved");
      }
      return it->second;
    };
    if (s.Champion) sr.Champion = refOf(s.Champion);
    for (const TGenotype* g : s.Genotypes) sr.Genotypes.push_back(refOf(g));
  }
  return r;
}

using GenotypeOwner = std::vector<std::unique_ptr<TGenotype>>;

std::vector<TTransferFunction*> TransferOf(const GenomeRecord& g) {
  const TTransferFunctionList& registry = TransferFunctionList();
  std::vector<TTransferFunction*> transfer;
  transfer.reserve(g.Nodes.size());
  // The names were checked against the registry before.
  for (const NodeRecord& n : g.Nodes) transfer.push_back(registry.Items(registry.IndexOf(n.TransferFunction)));
  return transfer;
}

void FreeGeneration(TGenotypeList& list) {
  for (TGenotype* g : list) g->ReleaseToCache();
  list.Clear();
}

// Brings the pool to the saved counts. A node built here draws a transfer function; the
// random seed is set after this.
void SetPoolCounts(int32_t nodes, int32_t connects, TNEATPopulation& population) {
  TCacheHandler& cache = CacheHandler();
  while (cache.NodePool.Count() > nodes) delete cache.NodePool.ExtractLast();
  while (cache.ConnectPool.Count() > connects) delete cache.ConnectPool.ExtractLast();
  if (cache.NodePool.Count() < nodes) {
    // A pooled node's owner is stale by definition: every taker sets it.
    TGenotype owner(&population);
    while (cache.NodePool.Count() < nodes) cache.ReturnNode(new TNode(&owner));
  }
  while (cache.ConnectPool.Count() < connects) cache.ReturnConnect(new TConnect(nullptr));
}

}  // namespace

PopulationCheckpoint::PopulationCheckpoint(std::unique_ptr<PopulationRecord> record)
    : record_(std::move(record)) {}
PopulationCheckpoint::~PopulationCheckpoint() = default;
PopulationCheckpoint::PopulationCheckpoint(PopulationCheckpoint&&) noexcept = default;
PopulationCheckpoint& PopulationCheckpoint::operator=(PopulationCheckpoint&&) noexcept = default;
const HostData& PopulationCheckpoint::Host() const { return record_->Host; }
int32_t PopulationCheckpoint::PopulationSize() const { return record_->PopulationSize(); }
int32_t PopulationCheckpoint::InputNodeCount() const {
  return IntSettingOf(record_->Settings, &TNEATPopulation::InputNodeCount);
}
int32_t PopulationCheckpoint::OutputNodeCount() const {
  return IntSettingOf(record_->Settings, &TNEATPopulation::OutputNodeCount);
}
bool PopulationCheckpoint::Evaluated() const { return IsEvaluated(*record_); }

void SavePopulation(const TNEATPopulation& population, std::ostream& out, const HostData& host) {
  WriteStream(out, WritePopulationText(Capture(population, host)));
}

void SavePopulationFile(const TNEATPopulation& population, const std::filesystem::path& file,
                        const HostData& host) {
  WriteFileAtomically(file, WritePopulationText(Capture(population, host)));
}

PopulationCheckpoint ReadPopulationCheckpoint(std::istream& in) {
  return PopulationCheckpoint(std::make_unique<PopulationRecord>(
      ReadPopulationText(ReadAll(in, "checkpoint"), "checkpoint")));
}

PopulationCheckpoint ReadPopulationCheckpointFile(const std::filesystem::path& file) {
  return PopulationCheckpoint(
      std::make_unique<PopulationRecord>(ReadPopulationText(ReadFileText(file), file.string())));
}

void PopulationCheckpoint::CheckRegistry() const {
  // New nodes draw uniformly from the registry: with other entries the run would go elsewhere.
  const std::vector<std::string> names = RegistryNames();
  if (names != record_->TransferFunctions) {
    throw EFormatError("the checkpoint was made with the transfer functions [" +
                       JoinNames(record_->TransferFunctions) + "], this program has [" +
                       JoinNames(names) + "]: the run could not continue exactly");
  }
}

void ApplyPopulationCheckpoint(const PopulationCheckpoint& checkpoint, TNEATPopulation& p) {
  const PopulationRecord& r = checkpoint.Record();
  checkpoint.CheckRegistry();

  // Everything new is built aside first; the population changes only when it all stands.
  std::vector<TSpecies*> species;  // the plain pointers of the new list below
  TSpeciesList newSpecies;
  for (size_t i = 0; i < r.Species.size(); ++i) {
    newSpecies.emplace_back(new TSpecies(&p), &DeleteSpecies);
    species.push_back(newSpecies.back().get());
  }
  const auto build = [&](const GenomeRecord& g) {
    auto genotype = std::make_unique<TGenotype>(&p);
    BuildGenome(g, TransferOf(g), *genotype);
    genotype->SpeciesHint = g.SpeciesHint < 0 ? nullptr : species[static_cast<size_t>(g.SpeciesHint)];
    return genotype;
  };
  GenotypeOwner current, previous;
  for (const GenomeRecord& g : r.GenotypeList) current.push_back(build(g));
  for (const GenomeRecord& g : r.PreviousGenotypeList) previous.push_back(build(g));
  const auto resolve = [&](const GenotypeRef& ref) {
    return (ref.List == ListId::Current ? current : previous)[static_cast<size_t>(ref.Index)].get();
  };
  for (size_t i = 0; i < r.Species.size(); ++i) {
    const SpeciesRecord& sr = r.Species[i];
    TSpecies& s = *species[i];
    s.DeadSpecies = sr.DeadSpecies;
    s.FitnessSum = sr.FitnessSum;
    s.AdjustedFitnessSum = sr.AdjustedFitnessSum;
    s.SpeciesPunish = sr.SpeciesPunish;
    s.OldChampionFitness = sr.OldChampionFitness;
    s.BirthGeneration = sr.BirthGeneration;
    s.MemberCount = sr.MemberCount;
    s.SpeciesID = sr.SpeciesID;
    s.Color = sr.Color;
    s.ExpectedOffspringCount = sr.ExpectedOffspringCount;
    s.LastImprovementGeneration = sr.LastImprovementGeneration;
    if (sr.DefiningMember) s.DefiningMember = build(*sr.DefiningMember);
    s.Champion = sr.Champion ? resolve(*sr.Champion) : nullptr;
    for (const GenotypeRef& ref : sr.Genotypes) s.Genotypes.Add(resolve(ref));
  }
  TGenotype* best = r.BestIndividual ? resolve(*r.BestIndividual) : nullptr;

  // Commit: the old generations and species go, the new ones take their places.
  p.ClearInnovations();
  p.SplitRegistry.clear();
  p.SpeciesList.clear();
  FreeGeneration(*p.GenotypeList);
  FreeGeneration(*p.PreviousGenotypeList);
  for (auto& g : current) p.GenotypeList->Add(std::move(g));
  for (auto& g : previous) p.PreviousGenotypeList->Add(std::move(g));
  p.SpeciesList = std::move(newSpecies);
  ApplySettings(r.Settings, p);
  p.NextInnovation = r.NextInnovation;
  p.NextNodeNumber = r.NextNodeNumber;
  p.NextSpeciesID = r.NextSpeciesID;
  p.CurrentGeneration = r.CurrentGeneration;
  p.LivingSpeciesCount = r.LivingSpeciesCount;
  p.CurrentGenotypeIndex = r.CurrentGenotypeIndex;
  p.FitnessTotal = r.FitnessTotal;
  p.AdjustedFitnessTotal = r.AdjustedFitnessTotal;
  p.ChampionFitnessTotal = r.ChampionFitnessTotal;
  p.PreviousBestFitness = r.PreviousBestFitness;
  p.BestIndividual = best;
  SetPoolCounts(r.PooledNodes, r.PooledConnects, p);
  SetRandSeed(r.RandSeed);
}

HostData LoadPopulation(std::istream& in, TNEATPopulation& population) {
  const PopulationCheckpoint checkpoint = ReadPopulationCheckpoint(in);
  ApplyPopulationCheckpoint(checkpoint, population);
  return checkpoint.Host();
}

HostData LoadPopulationFile(const std::filesystem::path& file, TNEATPopulation& population) {
  const PopulationCheckpoint checkpoint = ReadPopulationCheckpointFile(file);
  try {
    ApplyPopulationCheckpoint(checkpoint, population);
  } catch (const EFormatError& e) {
    throw EFormatError(file.string() + ": " + e.what());
  }
  return checkpoint.Host();
}

}  // namespace qf::io
