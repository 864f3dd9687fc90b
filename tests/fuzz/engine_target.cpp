// The engine from untrusted bytes. The bytes choose a population's settings within the ranges
// a host could give, then a sequence of operations on a handful of genome slots: build,
// mutate, add a connection, split, cross over, prepare, iterate, relatedness, clone, discard,
// mark a node NoSplitFrom, start a new breeding step; and, on a second population, the
// generation cycle as a host drives it: a new initial population, an evaluation with fitness
// values from the bytes (which speciates), breeding the next generation. After every
// operation the invariants are checked:
// - node and connection lists strictly ascending by number (sorted, no duplicates);
// - every node and innovation number below the population's counters;
// - each gene belongs to exactly one genome, which it names as its Genotype, and is not at
//   the same time lying in the gene pool;
// - a genome prepared since its last change of structure has every enabled connection whose
//   ends exist wired into its target, and nothing else wired;
// - operations on parents and sources leave them unchanged; relatedness is symmetric and 0
//   for a genome and its copy;
// - a generation has PopulationSize prepared genomes; after a speciation every genome's
//   species is a living one that lists it, living species keep their best members in
//   fitness order, and the allotted offspring add up to at most PopulationSize.
// Only errors the engine documents for legal calls are tolerated: "Duplicates are not
// allowed!" when a genome is offered a gene number it already holds, and a floating-point
// error from an activation whose values outgrow a double. Whether or not an activation
// fails, no node value or delay line may hold an infinity or not-a-number afterwards.

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/random.h"
#include "game/main_window.h"
#include "neat/gene_pool.h"
#include "neat/genotype.h"
#include "neat/population.h"
#include "neat/species.h"
#include "neat/transfer_functions.h"
#include "tests/fuzz/fuzz_targets.h"

namespace qf::fuzz {

namespace {

constexpr int32_t kSlots = 6;
constexpr int32_t kMaxOperations = 400;
// Growth stops here so that one input stays fast; the invariants do not depend on size.
constexpr int32_t kMaxNodes = 80;
constexpr int32_t kMaxConnects = 300;
constexpr int32_t kFirstCycleOperation = 11;

class ByteReader {
public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return pos_ >= size_; }
  // Past the end every read is 0, so any prefix is a complete program.
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint32_t Word() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = w << 8 | Byte();
    return w;
  }
  int32_t Range(int32_t lo, int32_t hi) {
    return lo + static_cast<int32_t>(Byte() % static_cast<uint32_t>(hi - lo + 1));
  }
  double Unit() { return Byte() / 255.0; }
  bool Flag() { return (Byte() & 1) != 0; }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

bool Registered(const TTransferFunction* f) {
  static const std::vector<const TTransferFunction*> known = [] {
    std::vector<const TTransferFunction*> all;
    for (int32_t i = 0; i < TransferFunctionList().Count(); ++i)
      all.push_back(TransferFunctionList().Items(i));
    return all;
  }();
  return std::find(known.begin(), known.end(), f) != known.end();
}

class EngineRun {
public:
  explicit EngineRun(ByteReader& in) : in_(in) {
    SetRandSeed(in_.Word());
    inputs_ = in_.Range(1, 8);
    outputs_ = in_.Range(1, 4);
    pop_.InputNodeCount = inputs_;
    pop_.OutputNodeCount = outputs_;
    pop_.ConnectNodesOfInitialPop = in_.Flag();
    pop_.ConnectOutputOfInitialPop = in_.Flag();
    pop_.AllowRecurrentLinks = in_.Flag();
    pop_.MaxConnectionDelay = in_.Range(0, 5);
    pop_.ActivationIterations = in_.Range(-1, 3);
    pop_.ConnectionAddChance = in_.Unit();
    pop_.ConnectionSplitChance = in_.Unit();
    pop_.ConnectionWeightMutationChance = in_.Unit();
    pop_.ConnectionMutationBigChangeChance = in_.Unit();
    pop_.InitialWeightMagnitude = static_cast<float>(in_.Range(0, 40)) / 4.0f;
    pop_.WeightPeturbationFactor = static_cast<float>(in_.Range(0, 40)) / 4.0f;
    pop_.MaxLinkWeight = static_cast<float>(in_.Range(1, 40)) / 4.0f;
    pop_.WeightUnrelatednessFactor = static_cast<float>(in_.Range(0, 20)) / 4.0f;
    SetUpCycle();
  }

  ~EngineRun() {
    pop_.ClearInnovations();
    for (auto& g : slots_)
      if (g) g->ReleaseToCache();
  }

  void Run() {
    for (int32_t n = 0; n < kMaxOperations && !in_.AtEnd(); ++n) {
      const int32_t op = in_.Byte() % 14;
      Step(op);
      CheckInvariants(op >= kFirstCycleOperation);
    }
  }

private:
  TGenotype* Slot(int32_t i) { return slots_[static_cast<size_t>(i)].get(); }
  int32_t PickSlot() { return in_.Byte() % kSlots; }

  bool MayGrow(const TGenotype& g) const {
    return g.NodeList.Count() < kMaxNodes && g.ConnectList.Count() < kMaxConnects;
  }

  // A genome leaves: its genes go back to the pool. The innovation registry may refer to its
  // connections, so it is emptied, as the population does whenever a generation is freed.
  void Discard(int32_t i) {
    auto& g = slots_[static_cast<size_t>(i)];
    if (!g) return;
    pop_.ClearInnovations();
    g->ReleaseToCache();
    g.reset();
    fresh_[i] = false;
  }

  void Put(int32_t i, std::unique_ptr<TGenotype> g) {
    Discard(i);
    slots_[static_cast<size_t>(i)] = std::move(g);
    fresh_[i] = false;
  }

  // Runs a structural change; a gene number the genome already holds is refused with the
  // list error, which leaves the genome consistent.
  template <class F>
  void Change(int32_t i, F&& f) {
    fresh_[i] = false;
    try {
      f();
    } catch (const EListError& e) {
      QF_FUZZ_CHECK(std::string(e.what()) == "Duplicates are not allowed!",
                    "unexpected list error");
    }
  }

  // Copies taken to compare against go back to the pool like every other genome.
  static void Release(std::unique_ptr<TGenotype> g) { g->ReleaseToCache(); }

  void Step(int32_t op) {
    const int32_t s = PickSlot();
    TGenotype* g = Slot(s);
    switch (op) {
      case 0: {  // build an initial genome, as CreateInitialPopulation does
        auto built = std::make_unique<TGenotype>(&pop_);
        built->BuildInitial(inputs_, outputs_);
        pop_.NextNodeNumber = std::max(pop_.NextNodeNumber, inputs_ + outputs_);
        pop_.NextInnovation = std::max(pop_.NextInnovation, built->ConnectList.Count());
        Put(s, std::move(built));
        break;
      }
      case 1:
        if (g && MayGrow(*g)) Change(s, [&] { g->Mutate(); });
        break;
      case 2:
        if (g && MayGrow(*g)) Change(s, [&] { g->AddRandomConnection(); });
        break;
      case 3: {
        const int32_t k = in_.Byte();
        if (!g || g->ConnectList.Empty() || !MayGrow(*g)) break;
        TConnect* c = g->ConnectList[k % g->ConnectList.Count()];
        Change(s, [&] {
          TNode* node = c->MutateSplit();
          if (node) {
            QF_FUZZ_CHECK(!c->Enabled, "a split left the old connection enabled");
            QF_FUZZ_CHECK(g->FindNode(node->Number) == node, "split node not in the genome");
          }
        });
        break;
      }
      case 4: {
        TGenotype* mother = Slot(PickSlot());
        TGenotype* father = Slot(PickSlot());
        if (!mother || !father) break;
        auto motherBefore = mother->Clone();
        auto fatherBefore = father->Clone();
        auto child = std::make_unique<TGenotype>(&pop_);
        child->Crossover(mother, father);
        QF_FUZZ_CHECK(mother->IsSameAs(*motherBefore), "crossover changed the mother");
        QF_FUZZ_CHECK(father->IsSameAs(*fatherBefore), "crossover changed the father");
        QF_FUZZ_CHECK(child->NodeList.Count() == mother->NodeList.Count() &&
                          child->ConnectList.Count() == mother->ConnectList.Count(),
                      "the child's genes are not the mother's");
        for (int32_t i = 0; i < child->NodeList.Count(); ++i)
          QF_FUZZ_CHECK(child->NodeList[i]->Number == mother->NodeList[i]->Number,
                        "the child's nodes are not the mother's");
        for (int32_t i = 0; i < child->ConnectList.Count(); ++i)
          QF_FUZZ_CHECK(child->ConnectList[i]->InnovationNumber ==
                            mother->ConnectList[i]->InnovationNumber,
                        "the child's connections are not the mother's");
        QF_FUZZ_CHECK(!child->Prepared, "a crossover child starts prepared");
        Release(std::move(motherBefore));
        Release(std::move(fatherBefore));
        Put(s, std::move(child));
        break;
      }
      case 5:
        if (g) {
          g->PreparePhenotype();
          fresh_[s] = true;
        }
        break;
      case 6: {
        const int32_t passes = in_.Range(-1, 3);
        if (!g || !fresh_[s]) break;
        for (int32_t i = 0; i < g->InputNodes.Count(); ++i)
          g->SetInput(i, (in_.Byte() - 128) / 16.0);
        try {
          g->Iterate(passes == 0 ? -1 : passes);
        } catch (const EMathError&) {
        }
        for (int32_t i = 0; i < g->OutputNodes.Count(); ++i) g->GetOutput(i);
        g->HasSettled();
        for (const TNode* n : g->NodeList)
          QF_FUZZ_CHECK(std::isfinite(n->Value) && std::isfinite(n->PreviousValue),
                        "an activation stored an infinity or not-a-number");
        for (const TConnect* c : g->ConnectList)
          for (double v : c->DelayLine)
            QF_FUZZ_CHECK(std::isfinite(v), "a delay line holds an infinity or not-a-number");
        break;
      }
      case 7: {
        TGenotype* other = Slot(PickSlot());
        if (!g || !other) break;
        const double ab = g->Relatedness(*other);
        const double ba = other->Relatedness(*g);
        QF_FUZZ_CHECK(ab >= 0.0 && std::isfinite(ab), "relatedness negative or not finite");
        QF_FUZZ_CHECK(ab == ba, "relatedness is not symmetric");
        QF_FUZZ_CHECK(g->Relatedness(*g) == 0.0, "a genome is unrelated to itself");
        break;
      }
      case 8: {
        const int32_t target = PickSlot();
        if (!g) break;
        auto before = g->Clone();
        std::unique_ptr<TGenotype> copy = g->Clone();
        QF_FUZZ_CHECK(copy->IsSameAs(*g) && g->IsSameAs(*before), "a clone differs");
        QF_FUZZ_CHECK(copy->Relatedness(*g) == 0.0, "a clone is unrelated to its source");
        QF_FUZZ_CHECK(!copy->Prepared, "a clone starts prepared");
        Release(std::move(before));
        Put(target, std::move(copy));
        break;
      }
      case 9:
        Discard(s);
        break;
      case 10: {
        const int32_t k = in_.Byte();
        if (g && !g->NodeList.Empty()) {
          TNode* node = g->NodeList[k % g->NodeList.Count()];
          node->NoSplitFrom = !node->NoSplitFrom;
        }
        break;
      }
      case 11:
        cycle_.ClearInnovations();
        cycle_.CreateInitialPopulation();
        cycleState_ = kBred;
        previousOfThisRun_ = false;
        break;
      case 12:
        if (in_.Flag()) cycle_.SelectionType = static_cast<TSelectionType>(in_.Range(0, 3));
        if (cycleState_ == kNoGeneration) break;
        anyFitness_ = false;
        cycle_.EvaluateGeneration();
        cycleState_ = kEvaluated;
        speciated_ = cycle_.SelectionType == stSpecies;
        break;
      case 13:
        if (cycleState_ != kEvaluated) break;
        cycle_.CreateNextGeneration();
        cycleState_ = kBred;
        previousOfThisRun_ = true;
        if (speciated_) {
          for (const auto& sp : cycle_.SpeciesList)
            QF_FUZZ_CHECK(sp->ExpectedOffspringCount == 0, "a species kept children unbred");
        }
        break;
      default:
        break;
    }
    // A new breeding step now and then: equal innovations are shared only within one.
    if (op == 0 && in_.Flag()) {
      pop_.ClearInnovations();
      pop_.SplitRegistry.clear();
    }
  }

  void CheckInvariants(bool cycleChanged) {
    // Every gene object, pooled or owned, must appear exactly once.
    genes_.clear();
    for (const TNode* n : CacheHandler().NodePool) {
      QF_FUZZ_CHECK(n != nullptr && n->Number == -1 && n->IncomingConnects.Empty(),
                    "a pooled node was not reset");
      genes_.push_back(n);
    }
    for (const TConnect* c : CacheHandler().ConnectPool) {
      QF_FUZZ_CHECK(c != nullptr && c->Delay == 0, "a pooled connection was not reset");
      genes_.push_back(c);
    }
    for (int32_t i = 0; i < kSlots; ++i) {
      if (const TGenotype* g = Slot(i)) CheckGenotype(*g, pop_, true, fresh_[i]);
    }
    // The second population changes only through the cycle's own operations.
    if (cycleChanged) {
      const size_t before = genes_.size();
      CheckCycle();
      cycleGenes_.assign(genes_.begin() + static_cast<ptrdiff_t>(before), genes_.end());
    } else {
      genes_.insert(genes_.end(), cycleGenes_.begin(), cycleGenes_.end());
    }
    std::sort(genes_.begin(), genes_.end());
    QF_FUZZ_CHECK(std::adjacent_find(genes_.begin(), genes_.end()) == genes_.end(),
                  "a gene object is shared by two genomes, or by a genome and the gene pool");
  }

  // Counters are checked against the population's only for genomes of its current run: a
  // new initial population restarts the numbering while the generation before the last
  // breeding step is still kept.
  void CheckGenotype(const TGenotype& g, const TNEATPopulation& p, bool counters, bool prepared) {
    QF_FUZZ_CHECK(g.NEATPopulation == &p, "a genome lost its population");
    int64_t lastNumber = -1;
    for (const TNode* n : g.NodeList) {
      QF_FUZZ_CHECK(n != nullptr, "a nil node in NodeList");
      QF_FUZZ_CHECK(n->Number > lastNumber, "NodeList is not strictly ascending");
      lastNumber = n->Number;
      QF_FUZZ_CHECK(!counters || n->Number < p.NextNodeNumber,
                    "a node number at or above NextNodeNumber");
      QF_FUZZ_CHECK(n->Genotype == &g, "a node names another genome");
      QF_FUZZ_CHECK(!(n->IsInput && n->IsOutput), "a node is both input and output");
      QF_FUZZ_CHECK(n->TransferFunction != nullptr && Registered(n->TransferFunction),
                    "a node without a registered transfer function");
      genes_.push_back(n);
    }
    int64_t lastInnovation = -1;
    for (const TConnect* c : g.ConnectList) {
      QF_FUZZ_CHECK(c != nullptr, "a nil connection in ConnectList");
      QF_FUZZ_CHECK(c->InnovationNumber > lastInnovation, "ConnectList is not strictly ascending");
      lastInnovation = c->InnovationNumber;
      QF_FUZZ_CHECK(!counters || c->InnovationNumber < p.NextInnovation,
                    "an innovation number at or above NextInnovation");
      QF_FUZZ_CHECK(c->FromNode >= 0 && c->ToNode >= 0 &&
                        (!counters || (c->FromNode < p.NextNodeNumber && c->ToNode < p.NextNodeNumber)),
                    "a connection joins node numbers outside the counters");
      QF_FUZZ_CHECK(c->Delay >= 0 && c->Delay <= kMaxDelay, "a delay outside 0..5");
      QF_FUZZ_CHECK(std::isfinite(c->Weight), "a weight that is not finite");
      QF_FUZZ_CHECK(c->Genotype == &g, "a connection names another genome");
      genes_.push_back(c);
    }
    if (prepared) CheckWiring(g);
  }


  // ---- The generation cycle ----

  enum CycleState { kNoGeneration, kBred, kEvaluated };

  void SetUpCycle() {
    TNEATPopulation& c = cycle_;
    c.InputNodeCount = inputs_;
    c.OutputNodeCount = outputs_;
    c.ConnectNodesOfInitialPop = pop_.ConnectNodesOfInitialPop;
    c.ConnectOutputOfInitialPop = pop_.ConnectOutputOfInitialPop;
    c.AllowRecurrentLinks = pop_.AllowRecurrentLinks;
    c.MaxConnectionDelay = pop_.MaxConnectionDelay;
    c.ActivationIterations = pop_.ActivationIterations;
    c.ConnectionAddChance = pop_.ConnectionAddChance;
    c.ConnectionSplitChance = pop_.ConnectionSplitChance;
    c.ConnectionWeightMutationChance = pop_.ConnectionWeightMutationChance;
    c.ConnectionMutationBigChangeChance = pop_.ConnectionMutationBigChangeChance;
    c.InitialWeightMagnitude = pop_.InitialWeightMagnitude;
    c.WeightPeturbationFactor = pop_.WeightPeturbationFactor;
    c.MaxLinkWeight = pop_.MaxLinkWeight;
    c.WeightUnrelatednessFactor = pop_.WeightUnrelatednessFactor;
    c.PopulationSize = in_.Range(2, 16);
    c.SelectionType = static_cast<TSelectionType>(in_.Range(0, 3));
    c.SpeciesFitnessMethod = in_.Flag() ? sfmAverageFitness : sfmHighestFitness;
    c.SetSurvivalThreshold(in_.Range(1, 19) / 20.0);
    c.MinSpeciesRelatedness = in_.Range(1, 40) / 4.0;
    c.SpeciesTargetCount = in_.Range(0, 6);
    c.ReproduceMutateRate = in_.Unit();
    c.MutateCrossed = in_.Flag();
    c.TournamentSize = in_.Range(1, 8);
    c.TournamentRange = in_.Range(1, 2 * c.PopulationSize);
    // Fitness values from the bytes, in tenths so that shares do not come out exact; a
    // generation without any fitness above 0 is refused by the engine, so the last genome
    // scores when none did.
    c.OnCalculateFitness = [this](TNEATPopulation* p, TGenotype*) {
      double f = in_.Byte() / 10.0;
      if (p->CurrentGenotypeIndex == p->GenotypeList->Count() - 1 && !anyFitness_) f = 1.0;
      anyFitness_ = anyFitness_ || f > 0.0;
      return f;
    };
  }

  void CheckCycle() {
    const TNEATPopulation& c = cycle_;
    const bool live = cycleState_ != kNoGeneration;
    if (live) {
      QF_FUZZ_CHECK(c.GenotypeList->Count() == c.PopulationSize,
                    "a generation does not have PopulationSize genomes");
    }
    for (const TGenotype* g : *c.GenotypeList) CheckGenotype(*g, c, true, live);
    for (const TGenotype* g : *c.PreviousGenotypeList)
      CheckGenotype(*g, c, previousOfThisRun_, true);
    int32_t lastId = -1;
    for (const auto& sp : c.SpeciesList) {
      QF_FUZZ_CHECK(sp->SpeciesID > lastId, "species IDs are not unique and rising");
      lastId = sp->SpeciesID;
      if (sp->DefiningMember) CheckGenotype(*sp->DefiningMember, c, true, false);
    }
    if (cycleState_ == kEvaluated && speciated_) CheckSpecies();
  }

  void CheckSpecies() const {
    const TNEATPopulation& c = cycle_;
    int64_t allotted = 0;
    int32_t living = 0;
    for (const auto& sp : c.SpeciesList) {
      allotted += sp->ExpectedOffspringCount;
      QF_FUZZ_CHECK(sp->ExpectedOffspringCount >= 0, "a negative offspring count");
      if (sp->DeadSpecies) {
        QF_FUZZ_CHECK(sp->Genotypes.Empty() && sp->ExpectedOffspringCount == 0,
                      "a dead species has members or children");
        continue;
      }
      ++living;
      QF_FUZZ_CHECK(!sp->Genotypes.Empty() && sp->Genotypes.Count() <= sp->MemberCount,
                    "a living species lost all members or gained some in culling");
      QF_FUZZ_CHECK(sp->Champion && c.GenotypeList->IndexOf(sp->Champion) >= 0,
                    "a species champion is not of the generation");
      const TGenotype* previous = nullptr;
      for (const TGenotype* m : sp->Genotypes) {
        QF_FUZZ_CHECK(c.GenotypeList->IndexOf(m) >= 0, "a species member is not of the generation");
        QF_FUZZ_CHECK(m->SpeciesHint == sp.get(), "a member names another species");
        QF_FUZZ_CHECK(!previous || previous->Fitness >= m->Fitness,
                      "survivors are not in fitness order");
        QF_FUZZ_CHECK(m->AdjustedFitness >= 0.0 && std::isfinite(m->AdjustedFitness),
                      "an adjusted fitness negative or not finite");
        previous = m;
      }
    }
    QF_FUZZ_CHECK(living == c.LivingSpeciesCount, "LivingSpeciesCount is not the living species");
    QF_FUZZ_CHECK(allotted <= c.PopulationSize, "more children allotted than PopulationSize");
    for (const TGenotype* g : *c.GenotypeList) {
      bool found = false;
      for (const auto& sp : c.SpeciesList) found = found || (sp.get() == g->SpeciesHint && !sp->DeadSpecies);
      QF_FUZZ_CHECK(found, "a genome's species is not a living one");
    }
  }

  static void CheckWiring(const TGenotype& g) {
    QF_FUZZ_CHECK(g.Prepared, "a prepared genome is not marked Prepared");
    QF_FUZZ_CHECK(g.NodeEvaluationList.Count() == g.NodeList.Count(),
                  "NodeEvaluationList is not a copy of NodeList");
    int32_t inputs = 0, outputs = 0;
    for (int32_t i = 0; i < g.NodeList.Count(); ++i) {
      const TNode* n = g.NodeList[i];
      QF_FUZZ_CHECK(g.NodeEvaluationList[i] == n, "NodeEvaluationList is not a copy of NodeList");
      if (n->IsInput) {
        QF_FUZZ_CHECK(inputs < g.InputNodes.Count() && g.InputNodes[inputs] == n,
                      "InputNodes is not the inputs in order");
        ++inputs;
      }
      if (n->IsOutput) {
        QF_FUZZ_CHECK(outputs < g.OutputNodes.Count() && g.OutputNodes[outputs] == n,
                      "OutputNodes is not the outputs in order");
        ++outputs;
      }
      int64_t last = -1;
      for (const TConnect* c : n->IncomingConnects) {
        QF_FUZZ_CHECK(c->InnovationNumber > last, "IncomingConnects is not strictly ascending");
        last = c->InnovationNumber;
        QF_FUZZ_CHECK(g.FindConnect(c->InnovationNumber) == c,
                      "a wired connection is not the genome's own");
        QF_FUZZ_CHECK(c->Enabled && c->ToNode == n->Number,
                      "a disabled or foreign connection is wired into a node");
        QF_FUZZ_CHECK(c->SourceNode != nullptr && c->SourceNode == g.FindNode(c->FromNode),
                      "a wired connection's source is not resolved");
      }
    }
    QF_FUZZ_CHECK(inputs == g.InputNodes.Count() && outputs == g.OutputNodes.Count(),
                  "InputNodes or OutputNodes hold extra nodes");
    for (const TConnect* c : g.ConnectList) {
      if (!c->Enabled || !g.FindNode(c->FromNode)) continue;
      const TNode* target = g.FindNode(c->ToNode);
      if (!target) continue;
      QF_FUZZ_CHECK(target->IncomingConnects.Find(static_cast<uint32_t>(c->InnovationNumber)) == c,
                    "an enabled connection of a prepared genome is not wired");
    }
  }

  ByteReader& in_;
  TNEATPopulation pop_{nullptr};
  int32_t inputs_ = 1;
  int32_t outputs_ = 1;
  std::unique_ptr<TGenotype> slots_[kSlots];
  bool fresh_[kSlots] = {};
  std::vector<const void*> genes_;
  std::vector<const void*> cycleGenes_;
  TNEATPopulation cycle_{nullptr};
  CycleState cycleState_ = kNoGeneration;
  bool previousOfThisRun_ = false;
  bool speciated_ = false;
  bool anyFitness_ = false;
};

}  // namespace

int FuzzEngine(const uint8_t* data, size_t size) {
  RegisterGameTransferFunctions();
  // Whether a gene comes from the pool or is newly made decides whether a random draw is
  // made, so every input starts from an empty pool.
  CacheHandler().Clear();
  ByteReader in(data, size);
  {
    EngineRun run(in);
    run.Run();
  }
  CacheHandler().Clear();
  return 0;
}

}  // namespace qf::fuzz
