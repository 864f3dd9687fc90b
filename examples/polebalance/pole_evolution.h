#pragma once
// Evolving pole balancers with the engine, through the population's public operations and
// events only. The genomes of a generation are scored on worker threads before
// EvaluateGeneration, which answers OnCalculateFitness from that table; the workers only set
// inputs, iterate and read outputs of distinct genomes, and everything that touches the gene
// pool, the random source or the transfer-function registry stays on the calling thread. The
// same seed therefore gives the same run with any number of threads.
//
// Solved. With velocities (and the single pole): a genome balances kSolvedSteps from the
// standard start. Without velocities: the best genome of a generation (by damping fitness)
// balances kSolvedSteps and then at least kGeneralizationNeeded of the 625 generalization
// starts.

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "examples/polebalance/pole_tasks.h"

namespace qf {
class TNEATPopulation;
}

namespace qf::pole {

using Setting = std::pair<std::string, std::string>;

// Sets one of the population's published settings by its name; false for an unknown name or
// a value that does not parse or lies outside what the engine accepts.
bool ApplySetting(TNEATPopulation& population, const std::string& name, const std::string& value);
// Every setting ApplySetting knows, as "Name=value" separated by spaces.
std::string DescribeSettings(const TNEATPopulation& population);

// The settings this host chose for a task, applied over the engine's defaults.
std::vector<Setting> TaskPreset(PoleTask task);

struct PoleOptions {
  PoleTask Task = PoleTask::DoublePoleVelocities;
  uint32_t Seed = 1;
  int32_t MaxGenerations = 100000;
  int64_t MaxEvaluations = 200000;  // no generation starts beyond this many evaluations
  int32_t Threads = 1;
  std::vector<Setting> Settings;  // applied after TaskPreset(Task)
  std::ostream* Log = nullptr;    // one line per generation when set
};

struct PoleResult {
  bool Solved = false;
  int32_t Generations = 0;          // generations evaluated, the initial one included
  int64_t Evaluations = 0;          // genomes scored, every generation in full
  int64_t EvaluationsToSolver = 0;  // as a scorer that stops at the first solver would count
  int32_t Generalization = -1;      // of 625: the solver's, else the last champion's tested;
                                    // -1 when none was tested
  double BestFitness = 0.0;         // of the last generation
  int32_t ChampionGenes = 0;        // the solver's, or the last best's
  int32_t ChampionHiddenNodes = 0;
  int32_t LivingSpecies = 0;
  uint32_t WallMilliseconds = 0;
  std::string Settings;             // DescribeSettings of the run
};

// One evolution from a fixed seed until solved, MaxGenerations generations or
// MaxEvaluations evaluations. Throws
// std::invalid_argument for a setting ApplySetting refuses.
PoleResult RunPoleBalancing(const PoleOptions& options);

}  // namespace qf::pole
