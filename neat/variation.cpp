// Everything that creates or changes a genome's genes, and the distance between two genomes.
// The order of the random draws is part of the behaviour: with a fixed seed a run replays.

#include <cmath>

#include "base/errors.h"
#include "base/random.h"
#include "neat/gene_pool.h"
#include "neat/genotype.h"
#include "neat/population.h"
#include "neat/transfer_functions.h"

namespace qf {

namespace {

constexpr double kInputDepth = 0.0;
constexpr double kOutputDepth = 100.0;
constexpr double kInitialDisabledFrom = 0.9;
constexpr double kToggleChance = 0.025;
constexpr double kRepickTransferChance = 0.005;
constexpr int32_t kSplitWalkLimit = 15;  // below this many enabled connections, walk the list
constexpr double kSplitWalkChance = 0.3;
constexpr int32_t kSplitDraws = 20;
constexpr int32_t kAddConnectionRetries = 20;

TNEATPopulation& PopulationOf(const TGenotype& g) {
  QF_ASSERT(g.NEATPopulation != nullptr, "The genotype has no population!");
  return *g.NEATPopulation;
}

}  // namespace

void TGenotype::BuildInitial(int32_t inputCount, int32_t outputCount) {
  TNEATPopulation& p = PopulationOf(*this);
  TCacheHandler& cache = CacheHandler();
  int32_t innovation = 0;
  const auto addInitialConnect = [&](int32_t from, int32_t to) {
    TConnect* c = cache.GetConnect(this);
    c->Weight = p.RandomWeight();
    c->Enabled = true;
    if (RandomUniform() >= kInitialDisabledFrom) c->Enabled = false;
    c->FromNode = from;
    c->ToNode = to;
    c->InnovationNumber = innovation++;
    c->SetDelay(p.RandomDelay());
    AddConnect(c);
  };

  for (int32_t i = 0; i < inputCount; ++i) {
    TNode* node = cache.GetNode(this);
    node->Number = i;
    node->IsInput = true;
    node->Depth = kInputDepth;
    node->TransferFunction = TransferFunctionList().Items(0);
    AddNode(node);
  }
  for (int32_t j = 0; j < outputCount; ++j) {
    const int32_t n = inputCount + j;
    TNode* node = cache.GetNode(this);
    node->Number = n;
    node->IsOutput = true;
    AssignRandomTransferFunction(node);
    node->Depth = kOutputDepth;
    AddNode(node);
    if (p.ConnectOutputOfInitialPop) addInitialConnect(n, n);
    if (p.ConnectNodesOfInitialPop) {
      for (int32_t i = 0; i < inputCount; ++i) addInitialConnect(i, n);
    }
  }
  MaxNodeDepth = 2;
}

void TGenotype::Mutate() {
  TNEATPopulation& p = PopulationOf(*this);
  if (RandomUniform() <= p.ConnectionAddChance) {
    AddRandomConnection();
    return;
  }
  if (RandomUniform() <= p.ConnectionSplitChance) {
    if (TConnect* c = ChooseConnectToSplit()) c->MutateSplit();
    return;
  }
  for (TConnect* c : ConnectList) {
    if (RandomUniform() <= p.ConnectionWeightMutationChance) c->MutateWeight();
  }
  if (RandomUniform() <= kToggleChance) {
    if (TConnect* c = GetRandomConnect()) c->ToggleEnabled();
  }
  for (int32_t i = NodeList.Count() - 1; i >= 0; --i) {
    if (RandomUniform() <= kRepickTransferChance) AssignRandomTransferFunction(NodeList[i]);
  }
}

TConnect* TGenotype::ChooseConnectToSplit() {
  const int32_t enabled = GeneCount() - NodeList.Count();
  if (enabled < kSplitWalkLimit) {
    for (TConnect* c : ConnectList) {
      if (!c->Enabled || c->Weight == 0.0) continue;
      const TNode* from = FindNode(c->FromNode);
      if (!from || !FindNode(c->ToNode) || from->NoSplitFrom) continue;
      if (RandomUniform() <= kSplitWalkChance) return c;
    }
    return nullptr;
  }
  for (int32_t draw = 0; draw < kSplitDraws; ++draw) {
    TConnect* c = GetRandomConnect();
    const TNode* from = FindNode(c->FromNode);
    if (!from || !FindNode(c->ToNode)) continue;
    if (c->Enabled && c->Weight != 0.0 && !c->IsRecurrent() && !from->NoSplitFrom) return c;
    if (c->Enabled) return nullptr;
  }
  return nullptr;
}

TNode* TConnect::MutateSplit() {
  QF_ASSERT(IsValid(), "MutateSplit failed, connections is allready invalid!");
  if (!Enabled) return nullptr;
  TGenotype& g = *Genotype;
  TNEATPopulation& p = PopulationOf(g);
  const TNode* source = g.FindNode(FromNode);
  const TNode* target = g.FindNode(ToNode);
  if (!source || !target) return nullptr;

  const TSplitInnovation* record = nullptr;
  for (const TSplitInnovation& r : p.SplitRegistry) {
    if (r.SplitInnovation == InnovationNumber) {
      record = &r;
      break;
    }
  }
  if (!record) {
    TSplitInnovation r;
    r.SplitInnovation = InnovationNumber;
    r.SplitNodeNumber = p.NewNodeNumber();
    r.InInnovation = p.NewInnovation(nullptr);
    r.OutInnovation = p.NewInnovation(nullptr);
    p.SplitRegistry.push_back(r);
    record = &p.SplitRegistry.back();
  }
  const TSplitInnovation split = *record;

  TCacheHandler& cache = CacheHandler();
  TNode* node = cache.GetNode(&g);
  AssignRandomTransferFunction(node);
  node->Number = split.SplitNodeNumber;
  g.AddNode(node);

  TConnect* in = cache.GetConnect(&g);
  in->FromNode = FromNode;
  in->ToNode = node->Number;
  in->Enabled = true;
  in->InnovationNumber = split.InInnovation;
  in->SetDelay(RandomUniform() < 0.8 ? Delay : p.RandomDelay());
  g.AddConnect(in);

  TConnect* out = cache.GetConnect(&g);
  out->FromNode = node->Number;
  out->ToNode = ToNode;
  out->Enabled = true;
  out->InnovationNumber = split.OutInnovation;
  out->SetDelay(p.RandomDelay());
  g.AddConnect(out);

  node->Depth = (source->Depth + target->Depth) / 2;
  // The first link passes the signal unchanged and the second carries the old weight, so the
  // split keeps what the connection did.
  in->Weight = 1.0;
  out->Weight = Weight;

  QF_ASSERT(in->IsValid(), "MutateSplit failed, Connect1 is invalid!");
  QF_ASSERT(out->IsValid(), "MutateSplit failed, Connect2 is invalid!");
  QF_ASSERT(node->IsValid(), "MutateSplit failed, Node is invalid!");

  for (const TNode* n : g.NodeList) {
    if (n->Depth == node->Depth) {
      if (n == node) ++g.MaxNodeDepth;
      break;
    }
  }
  Enabled = false;
  return node;
}

void TGenotype::AddRandomConnection() {
  TNEATPopulation& p = PopulationOf(*this);
  TNode* source = nullptr;
  TNode* target = nullptr;
  bool failed = true;
  for (int32_t tries = 0; failed && tries <= kAddConnectionRetries; ++tries) {
    source = GetRandomNode(false);
    target = GetRandomNode(true);
    failed = (!p.AllowRecurrentLinks && source == target) ||
             HasConnection(source->Number, target->Number) ||
             (!p.AllowRecurrentLinks && !(target->Depth > source->Depth));
  }
  if (failed) return;

  TConnect* c = CacheHandler().GetConnect(this);
  c->FromNode = source->Number;
  c->ToNode = target->Number;
  c->Weight = p.RandomWeight();
  c->Enabled = true;
  // Looked up while the delay is still the pool's 0.
  c->InnovationNumber = p.NewInnovation(c);
  c->SetDelay(p.RandomDelay());
  AddConnect(c);
  QF_ASSERT(c->IsValid(), Format("%d AddRandomConnection failed.", c->InnovationNumber));
}

void TConnect::MutateWeight() {
  if (!Enabled) return;
  TNEATPopulation& p = PopulationOf(*Genotype);
  if (RandomUniform() <= p.ConnectionMutationBigChangeChance) {
    Weight = p.RandomWeight();
  } else {
    const long double u = RandomUniform();
    Weight = static_cast<double>(Weight + (2.0L * u - 1.0L) * p.WeightPeturbationFactor);
  }
  const double limit = p.MaxLinkWeight;
  if (Weight > limit) Weight = limit;
  if (Weight < -limit) Weight = -limit;
}

void TGenotype::Crossover(const TGenotype* mother, const TGenotype* father) {
  QF_ASSERT(mother != nullptr, "Mother must be set!");
  QF_ASSERT(father != nullptr, "Father must be set!");
  mother->CopyTo(*this);
  for (const TNode* f : father->NodeList) {
    if (f->IsInput) continue;
    TNode* c = FindNode(f->Number);
    if (c && RandomUniform() > 0.5) {
      const double depth = c->Depth;
      c->CopyFrom(*f);
      c->Depth = depth;
      c->Genotype = this;
    }
  }
  for (const TConnect* f : father->ConnectList) {
    TConnect* c = FindConnect(f->InnovationNumber);
    if (!c) continue;
    if (RandomUniform() > 0.5) {
      if (RandomUniform() <= 0.4) {
        c->Weight = static_cast<double>((static_cast<long double>(c->Weight) + f->Weight) / 2);
      } else {
        c->CopyFrom(*f);
      }
    }
    if (!c->Enabled && RandomUniform() <= 0.25) c->Enabled = true;
  }
}

double TGenotype::Relatedness(const TGenotype& other) const {
  int32_t missing = 0;
  int32_t mismatches = 0;
  for (const TNode* a : NodeList) {
    const TNode* b = other.FindNode(a->Number);
    if (!b) {
      ++missing;
    } else if (a->TransferFunction != b->TransferFunction) {
      ++mismatches;
    }
  }
  const int32_t nodeDisjoint = missing + (other.NodeList.Count() - (NodeList.Count() - missing));

  missing = 0;
  int32_t matches = 0;
  long double weightSum = 0;
  long double delaySum = 0;
  for (const TConnect* a : ConnectList) {
    const TConnect* b = other.FindConnect(a->InnovationNumber);
    if (!b) {
      ++missing;
      continue;
    }
    weightSum += std::fabs(static_cast<long double>(a->Weight) - b->Weight);
    delaySum += std::abs(a->Delay - b->Delay);
    ++matches;
  }
  const int32_t connectDisjoint =
      missing + (other.ConnectList.Count() - (ConnectList.Count() - missing));
  const long double meanWeight = matches > 0 ? weightSum / matches : 0;
  return static_cast<double>(nodeDisjoint + connectDisjoint +
                             static_cast<long double>(PopulationOf(*this).WeightUnrelatednessFactor) * meanWeight +
                             0.75L * delaySum + 0.75L * mismatches);
}

}  // namespace qf
