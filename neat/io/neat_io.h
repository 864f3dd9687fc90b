#pragma once
// Keeping what evolution found: genomes saved and loaded, whole populations checkpointed and
// resumed exactly, in a documented, versioned JSON text format (README, "Saved genomes and
// checkpoints").
//
// Exact resume. A checkpoint taken after CreateInitialPopulation / CreateNextGeneration
// (before evaluation) or after EvaluateGeneration (before breeding) holds the population and
// the process-wide state that decides how it continues: the random seed, the number of spare
// genes in the pool (a node built new draws a transfer function, a pooled one does not) and
// the transfer-function registry's names in order. Loading it into a population, in this or a
// new process, continues the run draw for draw. Saving changes nothing.
//
// Bad input. A file is read and checked completely before anything is touched; a refused file
// throws EFormatError naming the problem and where it is, and leaves the target as it was.
// Refused too is what reads well but could not run: a genome whose first nodes are not the
// population's inputs and outputs, a weight that is not finite or lies beyond what the
// population's settings make, a fitness that is negative or not finite, an empty generation,
// sums that breeding would draw from but that its genomes do not add up to. Network state
// (values, transfer state, delay lines) may hold anything a network computed, infinities
// included. A text is read no further than 64 MiB, nor deeper than 16 levels of nesting: a
// directory, device or pipe given as a file is refused by name.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace qf {

class TGenotype;
class TNEATPopulation;

namespace io {

struct PopulationRecord;

// A file refused: truncated, not JSON, another format or version, inconsistent, or naming a
// transfer function the registry does not hold. what() names the problem and where it is
// (a JSON path such as $.GenotypeList[3].Connections[7]).
class EFormatError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

inline constexpr int32_t kFormatVersion = 1;
inline constexpr const char* kGenomeFormat = "quillfrost-genome";
inline constexpr const char* kCheckpointFormat = "quillfrost-population";

// ---- Genomes ----

// The genome's structure, Fitness, AdjustedFitness, MaxNodeDepth, ExpectedOffspring, Tag and
// network state (node values, transfer state, delay lines: only what is not zero).
void SaveGenotype(const TGenotype& genotype, std::ostream& out);
// Written beside the target and renamed over it, so a failed save leaves the old file.
void SaveGenotypeFile(const TGenotype& genotype, const std::filesystem::path& file);

struct GenotypeLoadOptions {
  // By default every number must lie below the population's NextNodeNumber / NextInnovation.
  // Set, the counters are raised instead (loading a champion into a fresh population).
  bool AdvanceCounters = false;
};

// Replaces the target's genes with the file's; the target's own genes go back to the pool and
// the new ones are taken from it. The target belongs to a population (its NEATPopulation),
// whose counters must accept the numbers, whose InputNodeCount and OutputNodeCount the
// genome's nodes must match and whose weight limit its weights must keep; SpeciesHint becomes
// none. A genome that was prepared when saved is prepared again.
void LoadGenotype(std::istream& in, TGenotype& target, const GenotypeLoadOptions& options = {});
void LoadGenotypeFile(const std::filesystem::path& file, TGenotype& target,
                      const GenotypeLoadOptions& options = {});
// A new genome of the population holding the file's.
std::unique_ptr<TGenotype> LoadGenotypeFile(const std::filesystem::path& file,
                                            TNEATPopulation& population,
                                            const GenotypeLoadOptions& options = {});

// ---- Population checkpoints ----

// Host key/value pairs stored with a checkpoint (the host's generation counter, ...).
using HostData = std::map<std::string, std::string>;

void SavePopulation(const TNEATPopulation& population, std::ostream& out,
                    const HostData& host = {});
void SavePopulationFile(const TNEATPopulation& population, const std::filesystem::path& file,
                        const HostData& host = {});

// A checkpoint read and checked, not yet applied: hosts may look at it before they commit
// (the arena refuses one of another shape than the game's).
class PopulationCheckpoint {
public:
  explicit PopulationCheckpoint(std::unique_ptr<PopulationRecord> record);
  ~PopulationCheckpoint();
  PopulationCheckpoint(PopulationCheckpoint&&) noexcept;
  PopulationCheckpoint& operator=(PopulationCheckpoint&&) noexcept;

  const PopulationRecord& Record() const { return *record_; }
  const HostData& Host() const;
  int32_t PopulationSize() const;
  int32_t InputNodeCount() const;
  int32_t OutputNodeCount() const;
  // Whether it was taken after an evaluation, before breeding (the host breeds next), rather
  // than after CreateInitialPopulation or CreateNextGeneration (the host evaluates next).
  bool Evaluated() const;
  // Throws EFormatError when this program's transfer-function registry differs from the
  // checkpoint's (new nodes draw from it, so the run could not continue exactly).
  void CheckRegistry() const;

private:
  std::unique_ptr<PopulationRecord> record_;
};

PopulationCheckpoint ReadPopulationCheckpoint(std::istream& in);
PopulationCheckpoint ReadPopulationCheckpointFile(const std::filesystem::path& file);

// Replaces everything of the population but its events (they belong to the host) with the
// checkpoint, then sets the gene pool's counts and, last, the random seed. Refused with
// EFormatError, the population untouched, when the registry's names differ from the
// checkpoint's (the run could not continue exactly).
void ApplyPopulationCheckpoint(const PopulationCheckpoint& checkpoint,
                               TNEATPopulation& population);

// Read and apply in one; returns the host data.
HostData LoadPopulation(std::istream& in, TNEATPopulation& population);
HostData LoadPopulationFile(const std::filesystem::path& file, TNEATPopulation& population);

}  // namespace io
}  // namespace qf
