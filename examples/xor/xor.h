#pragma once
// Evolving exclusive-or with the engine, through nothing but the population's public
// operations and events: the classic first test of a NEAT implementation.
//
// Task. Inputs a, b in {0, 1} plus a bias input of 1; one output of the bipolar sigmoid in
// (-1, 1), read as true above 0. Each case is run on a fresh copy of the genome (no state
// carried from the previous case, so a recurrent network cannot learn the case order), with
// one pass per node so that any feed-forward path reaches the output.
//
// Fitness. The classic one of the NEAT paper, (4 - total error)^2 with the output mapped to
// [0, 1] and targets 0/1: 0 .. 16, 16 for a perfect answer.
//
// Solved. Every case on the right side of 0 by at least the margin: above +margin for true,
// below -margin for false (margin 0.5, i.e. below 0.25 / above 0.75 on the [0, 1] scale).

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "neat/population.h"

namespace qf {

class TGenotype;

// What the network's inputs and output mean, in the order the cases set and read them.
inline constexpr std::array<const char*, 3> kXorInputNames{"x1", "x2", "bias"};
inline constexpr const char* kXorOutputName = "x1 xor x2";

struct XorOptions {
  // The run's seed (1 unless given) and its margin (0.5 unless given). A checkpoint keeps both
  // for the run it continues; given with ResumeFile, they must be that run's.
  std::optional<uint32_t> Seed;
  int32_t PopulationSize = 150;
  int32_t MaxGenerations = 300;
  std::optional<double> Margin;
  TSelectionType SelectionType = stSpecies;
  std::ostream* Log = nullptr;  // one line per generation when set

  // Checkpoints, rewritten at every generation: the population as bred (before it is
  // evaluated, the initial one included) and as evaluated (before breeding). Writing them
  // changes nothing of the run.
  std::string CheckpointFile;
  std::string EvaluatedCheckpointFile;
  // Continue from a checkpoint of either kind instead of a fresh population; the checkpoint's
  // settings replace PopulationSize, its random state the seed's.
  std::string ResumeFile;
  // The best genome of the last evaluation, as a genome file and as a picture.
  std::string ChampionFile;
  std::string ChampionSvgFile;
  // Called after every evaluation (evaluated true) and every breeding step, with the number of
  // the generation in GenotypeList.
  std::function<void(const TNEATPopulation&, int32_t generation, bool evaluated)> OnStep;
};

struct XorResult {
  bool Solved = false;
  int32_t Generations = 0;  // generations evaluated; the initial population is generation 1
  int64_t Evaluations = 0;  // fitness evaluations made
  double BestFitness = 0.0;
  int32_t ChampionGenes = 0;
  int32_t LivingSpecies = 0;
};

// The classic fitness of a genome over the four cases; solved tells whether every case is
// answered with the margin. The genome is left untouched.
double XorFitness(const TGenotype& genotype, double margin, bool* solved);

// One evolution from a fixed seed, until a generation holds a solver or the limit is reached.
XorResult RunXor(const XorOptions& options);

struct XorStatistics {
  int32_t Runs = 0;
  int32_t Successes = 0;
  double MeanGenerations = 0.0;    // over the successful runs
  double MedianGenerations = 0.0;  // over the successful runs
  double MeanEvaluations = 0.0;    // over the successful runs
  double MeanEvaluationsAll = 0.0; // over every run, failures at their limit
};

XorStatistics Summarize(const std::vector<XorResult>& results);

}  // namespace qf
