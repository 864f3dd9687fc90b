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

// what names the source (a file name) in messages.
GenomeRecord ReadGenomeText(const std::string& text, const std::string& what);
PopulationRecord ReadPopulationText(const std::string& text, const std::string& what);

// The most spare genes a checkpoint may ask the pool to hold: far above any real run, low
// enough that a corrupt count cannot make loading allocate without end.
inline constexpr int32_t kMaxPooledGenes = 10'000'000;

}  // namespace qf::io
