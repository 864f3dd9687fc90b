#pragma once
// Shared by the io tests: the game's population shape (from the game itself), a fitness that
// depends on the genome alone, and a fingerprint of everything that decides how a run
// continues, taken without the io library.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "base/random.h"
#include "game/main_window.h"
#include "neat/gene_pool.h"
#include "neat/genotype.h"
#include "neat/population.h"
#include "neat/species.h"
#include "neat/transfer_functions.h"

namespace qf::test {

// Runs the network in place on three fixed input patterns, as the game runs its invaders, and
// scores the outputs; a network that overflows scores its floor.
inline double GenomeFitness(TNEATPopulation*, TGenotype* g) {
  double score = 0.05;
  for (int k = 0; k < 3; ++k) {
    for (int32_t i = 0; i < g->InputNodes.Count(); ++i) g->SetInput(i, std::sin(1.3 * i + k));
    g->Iterate(-1);
    for (int32_t o = 0; o < g->OutputNodes.Count(); ++o) {
      const double out = g->GetOutput(o);
      if (std::isfinite(out)) score += std::fabs(out) * (1 + o);
    }
  }
  return score;
}

inline std::string Bits(double v) {
  uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(u));
  return buffer;
}

inline void FingerprintGenome(std::ostringstream& out, const TGenotype& g) {
  out << " F" << Bits(g.Fitness) << " A" << Bits(g.AdjustedFitness) << " D" << g.MaxNodeDepth
      << " E" << g.ExpectedOffspring() << " T" << g.Tag << (g.Prepared ? " P" : " U") << '\n';
  for (const TNode* n : g.NodeList) {
    out << "  n" << n->Number << ' ' << n->TransferFunction->Name << ' ' << Bits(n->Depth)
        << (n->IsInput ? 'i' : n->IsOutput ? 'o' : 'h') << n->NoSplitFrom << " state "
        << Bits(n->Value) << ' ' << Bits(n->PreviousValue) << ' ' << Bits(n->NetInput);
    for (double v : n->TransferState) out << ' ' << Bits(v);
    out << '\n';
  }
  for (const TConnect* c : g.ConnectList) {
    out << "  c" << c->InnovationNumber << ' ' << c->FromNode << '>' << c->ToNode << ' '
        << Bits(c->Weight) << ' ' << c->Enabled << ' ' << c->Delay << " line";
    for (double v : c->DelayLine) out << ' ' << Bits(v);
    out << '\n';
  }
}

// Every field a checkpoint keeps: the genomes of both lists with their network state, the
// species, the counters and totals, the pool's counts and the random seed.
inline std::string Fingerprint(const TNEATPopulation& p) {
  std::ostringstream out;
  out << "seed " << GetRandSeed() << " pool " << CacheHandler().NodePool.Count() << '/'
      << CacheHandler().ConnectPool.Count() << " next " << p.NextInnovation << '/'
      << p.NextNodeNumber << '/' << p.NextSpeciesID << " living " << p.LivingSpeciesCount
      << " generation " << p.CurrentGeneration << " index " << p.CurrentGenotypeIndex
      << " totals " << Bits(p.FitnessTotal) << ' ' << Bits(p.AdjustedFitnessTotal) << ' '
      << Bits(p.ChampionFitnessTotal) << " previous best " << Bits(p.PreviousBestFitness) << '\n';
  for (const TGenotypeList* list : {p.GenotypeList.get(), p.PreviousGenotypeList.get()}) {
    out << "list\n";
    for (const TGenotype* g : *list) FingerprintGenome(out, *g);
  }
  const auto where = [&](const TGenotype* g) {
    const int32_t current = p.GenotypeList->IndexOf(g);
    return current >= 0 ? current : g ? 1000 + p.PreviousGenotypeList->IndexOf(g) : -1;
  };
  out << "best " << where(p.BestIndividual) << '\n';
  for (const auto& s : p.SpeciesList) {
    out << "champion " << where(s->Champion) << " members";
    for (const TGenotype* g : s->Genotypes) out << ' ' << where(g);
    out << "\nspecies " << s->SpeciesID << ' ' << s->DeadSpecies << ' ' << s->MemberCount << ' '
        << s->ExpectedOffspringCount << ' ' << s->Genotypes.Count() << ' ' << Bits(s->OldChampionFitness)
        << ' ' << (s->Champion ? s->Champion->GeneCount() : -1) << " born " << s->BirthGeneration
        << " improved " << s->LastImprovementGeneration << " colour " << s->Color << " sums "
        << Bits(s->FitnessSum) << ' ' << Bits(s->AdjustedFitnessSum) << " punish "
        << Bits(s->SpeciesPunish) << '\n';
    if (s->DefiningMember) FingerprintGenome(out, *s->DefiningMember);
  }
  return out.str();
}

}  // namespace qf::test
