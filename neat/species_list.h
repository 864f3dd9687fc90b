#pragma once
// The population's species, oldest first. The species code supplies the deleter when it
// creates a species, so the population can free species without knowing their class.

#include <memory>
#include <vector>

namespace qf {

class TSpecies;

using TSpeciesDeleter = void (*)(TSpecies*);
using TSpeciesList = std::vector<std::unique_ptr<TSpecies, TSpeciesDeleter>>;

}  // namespace qf
