#pragma once
// Records to text and back. Reading checks everything a file alone can tell: the envelope,
// types and ranges, ascending and unique numbers, connections between nodes that exist,
// numbers below the counters, list sizes, references. Internal to the io library.

#include <string>
#include <string_view>

#include "neat/io/records.h"

namespace qf::io {

std::string WriteGenomeText(const GenomeRecord& genome);
std::string WritePopulationText(const PopulationRecord& population);

// What a genome must be to run in a population: its first nodes are the population's inputs
// and outputs, by number, and no weight lies beyond what the population's operators make.
struct GenomeShape {
  int32_t Inputs = 0;
  int32_t Outputs = 0;
  double MaxWeight = 0.0;
};
GenomeShape ShapeOf(const TNEATPopulation& population);

// what names the source (a file name) in messages.
GenomeRecord ReadGenomeText(const std::string& text, const std::string& what,
                            const GenomeShape& shape);
PopulationRecord ReadPopulationText(const std::string& text, const std::string& what);

// Whether the population stands right after an evaluation, so that breeding comes next: the
// best of an evaluation lies in the current list, with a fitness above 0, and only then.
bool IsEvaluated(const PopulationRecord& population);

// The most spare genes of each kind a checkpoint may ask the pool to hold. Real runs keep a few
// thousand at most, and the largest text read holds about two million genes; a million nodes
// and a million connections take a quarter of a gigabyte to make.
inline constexpr int32_t kMaxPooledGenes = 1'000'000;

}  // namespace qf::io
