// The genome and checkpoint loaders from untrusted bytes. Each input is offered to both.
// - A genome file refused leaves the genome it was meant for exactly as it was; one accepted
//   saves to a text that loads to the same genome and saves to the same text again.
// - A checkpoint accepted (and asking for a pool of modest size) is applied to a population;
//   saving it then gives exactly the text of what was read, and the population goes on as a
//   host drives it: every network runs, a population taken after its evaluation is bred, then
//   two generations follow. Errors the engine reports for odd but legal settings (assertions,
//   list errors) are tolerated; crashes, leaks and hangs are not.

#include <optional>
#include <sstream>
#include <string>

#include "base/errors.h"
#include "base/random.h"
#include "game/main_window.h"
#include "neat/gene_pool.h"
#include "neat/genotype.h"
#include "neat/io/format.h"
#include "neat/io/neat_io.h"
#include "neat/population.h"
#include "tests/fuzz/fuzz_targets.h"

namespace qf::fuzz {

namespace {

std::string Saved(const TGenotype& g) {
  std::ostringstream out;
  io::SaveGenotype(g, out);
  return out.str();
}

void FuzzGenome(const std::string& text) {
  TNEATPopulation population(nullptr);
  population.InputNodeCount = 7;  // the game's, as the seed genomes are
  population.OutputNodeCount = 3;
  population.PopulationSize = 2;
  population.CreateInitialPopulation();
  TGenotype& target = *(*population.GenotypeList)[0];
  const std::string before = Saved(target);
  const int32_t nextNode = population.NextNodeNumber;
  std::istringstream in(text);
  try {
    io::LoadGenotype(in, target, {true});
  } catch (const io::EFormatError&) {
    QF_FUZZ_CHECK(Saved(target) == before, "a refused genome changed its target");
    QF_FUZZ_CHECK(population.NextNodeNumber == nextNode, "a refused genome raised the counters");
    return;
  }
  const std::string saved = Saved(target);
  TGenotype again(&population);
  std::istringstream reread(saved);
  io::LoadGenotype(reread, again);
  QF_FUZZ_CHECK(again.IsSameAs(target), "a saved genome did not load back the same");
  QF_FUZZ_CHECK(Saved(again) == saved, "saving a loaded genome changed the text");
  again.ReleaseToCache();
}

double StructureFitness(TNEATPopulation*, TGenotype* g) { return 1.0 + g->GeneCount() % 7; }

void FuzzCheckpoint(const std::string& text) {
  std::optional<io::PopulationCheckpoint> checkpoint;
  std::istringstream in(text);
  try {
    checkpoint.emplace(io::ReadPopulationCheckpoint(in));
  } catch (const io::EFormatError&) {
    return;
  }
  const io::PopulationRecord& record = checkpoint->Record();
  // A pool of hundreds of thousands is legal but would only measure the allocator.
  if (record.PooledNodes + record.PooledConnects > 100000) return;
  const std::string expected = io::WritePopulationText(record);

  TNEATPopulation population(nullptr);
  population.OnCalculateFitness = StructureFitness;
  try {
    io::ApplyPopulationCheckpoint(*checkpoint, population);
  } catch (const io::EFormatError&) {
    return;  // another registry: refused before anything changed
  }
  std::ostringstream saved;
  io::SavePopulation(population, saved, record.Host);
  QF_FUZZ_CHECK(saved.str() == expected, "an applied checkpoint saved differently from what was read");

  // Settings a host could give but that only make the generation slow.
  if (population.TournamentSize > 64 || population.PopulationSize > 64 ||
      population.ActivationIterations > 64) {
    return;
  }
  try {
    for (TGenotype* g : *population.GenotypeList) {
      for (int32_t i = 0; i < population.InputNodeCount; ++i) g->SetInput(i, 0.5);
      g->Iterate(-1);
      for (int32_t o = 0; o < population.OutputNodeCount; ++o) g->GetOutput(o);
    }
    if (checkpoint->Evaluated()) population.CreateNextGeneration();
    for (int i = 0; i < 2; ++i) {
      population.EvaluateGeneration();
      population.CreateNextGeneration();
    }
  } catch (const EAssertionFailed&) {
  } catch (const EListError&) {
  }
}

}  // namespace

int FuzzNeatIo(const uint8_t* data, size_t size) {
  static const bool registered = (RegisterGameTransferFunctions(), true);
  (void)registered;
  const std::string text(reinterpret_cast<const char*>(data), size);
  SetRandSeed(1);
  FuzzGenome(text);
  FuzzCheckpoint(text);
  CacheHandler().Clear();
  return 0;
}

}  // namespace qf::fuzz
