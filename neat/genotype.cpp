#include "neat/genotype.h"

#include <algorithm>

#include "base/errors.h"
#include "base/random.h"
#include "neat/gene_pool.h"

namespace qf {

TGenotype::TGenotype(TNEATPopulation* population) : NEATPopulation(population) {}

TGenotype::~TGenotype() {
  for (TNode* node : NodeList) delete node;
  for (TConnect* connect : ConnectList) delete connect;
}

std::unique_ptr<TGenotype> TGenotype::Clone() const {
  auto copy = std::make_unique<TGenotype>(NEATPopulation);
  CopyTo(*copy);
  return copy;
}

void TGenotype::CopyTo(TGenotype& target) const {
  QF_ASSERT(target.NodeList.Empty(), "Still nodes in the Genotype!");
  QF_ASSERT(target.ConnectList.Empty(), "Still connects in the Genotype!");
  target.SpeciesHint = SpeciesHint;
  TCacheHandler& cache = CacheHandler();
  target.NodeList.Reserve(NodeList.Count());
  for (const TNode* node : NodeList) {
    TNode* copy = cache.GetNode(&target);
    copy->CopyFrom(*node);
    copy->Genotype = &target;
    target.AddNode(copy);
  }
  target.ConnectList.Reserve(ConnectList.Count());
  for (const TConnect* connect : ConnectList) {
    TConnect* copy = cache.GetConnect(&target);
    copy->CopyFrom(*connect);
    copy->Genotype = &target;
    target.AddConnect(copy);
  }
  target.Fitness = Fitness;
  target.AdjustedFitness = AdjustedFitness;
  target.NEATPopulation = NEATPopulation;
  target.MaxNodeDepth = MaxNodeDepth;
}

void TGenotype::ReleaseToCache() {
  TCacheHandler& cache = CacheHandler();
  int32_t incoming = 0;
  for (TNode* node : NodeList) {
    incoming += node->IncomingConnects.Count();
    cache.ReturnNode(node);
  }
  NodeList.Clear();
  // The derived lists would point into the pool, where the nodes soon belong to other
  // genomes; a run of this genome before the next preparation must fail, not corrupt them.
  InputNodes.Clear();
  OutputNodes.Clear();
  NodeEvaluationList.Clear();
  Prepared = false;
  QF_ASSERT(ConnectList.Count() >= incoming,
            Format("There is an error in counting connections, ConnectList.Count = %d <>  "
                   "NodeConnectCount = %d!",
                   ConnectList.Count(), incoming));
  for (TConnect* connect : ConnectList) cache.ReturnConnect(connect);
  ConnectList.Clear();
}

TNode* TGenotype::GetRandomNode(bool excludeInputs) {
  QF_ASSERT(!NodeList.Empty(), "No nodes to choose from!");
  // Without a non-input node the redraw below would never end.
  if (excludeInputs) {
    QF_ASSERT(std::any_of(NodeList.begin(), NodeList.end(),
                          [](const TNode* n) { return !n->IsInput; }),
              "No non-input nodes to choose from!");
  }
  TNode* node;
  do {
    node = NodeList[RandomIndex(NodeList.Count())];
  } while (excludeInputs && node->IsInput);
  QF_ASSERT(node->IsValid(), "GetRandomNode failed");
  return node;
}

TConnect* TGenotype::GetRandomConnect() {
  if (ConnectList.Empty()) return nullptr;
  return ConnectList[RandomIndex(ConnectList.Count())];
}

bool TGenotype::HasConnection(int32_t fromNode, int32_t toNode) const {
  return std::any_of(ConnectList.begin(), ConnectList.end(), [&](const TConnect* c) {
    return c->FromNode == fromNode && c->ToNode == toNode;
  });
}

int32_t TGenotype::GeneCount() const {
  const auto enabled = std::count_if(ConnectList.begin(), ConnectList.end(),
                                     [](const TConnect* c) { return c->Enabled; });
  return static_cast<int32_t>(enabled) + NodeList.Count();
}

bool TGenotype::IsSameAs(const TGenotype& other) const {
  if (NodeList.Count() != other.NodeList.Count()) return false;
  if (ConnectList.Count() != other.ConnectList.Count()) return false;
  for (int32_t i = 0; i < ConnectList.Count(); ++i) {
    const TConnect& a = *ConnectList[i];
    const TConnect& b = *other.ConnectList[i];
    if (a.InnovationNumber != b.InnovationNumber || a.Delay != b.Delay ||
        a.Enabled != b.Enabled || a.Weight != b.Weight)
      return false;
  }
  for (int32_t i = 0; i < NodeList.Count(); ++i) {
    const TNode& a = *NodeList[i];
    const TNode& b = *other.NodeList[i];
    if (a.Number != b.Number || a.TransferFunction != b.TransferFunction) return false;
  }
  return true;
}

void TGenotype::AddNode(TNode* node) {
  try {
    NodeList.Add(node);
  } catch (...) {
    CacheHandler().ReturnNode(node);
    throw;
  }
}

void TGenotype::AddConnect(TConnect* connect) {
  try {
    ConnectList.Add(connect);
  } catch (...) {
    CacheHandler().ReturnConnect(connect);
    throw;
  }
}

TGenotype* TGenotypeList::Items(int32_t index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
  return items_[static_cast<size_t>(index)];
}

int32_t TGenotypeList::IndexOf(const TGenotype* genotype) const {
  const auto it = std::find(items_.begin(), items_.end(), genotype);
  return it == items_.end() ? -1 : static_cast<int32_t>(it - items_.begin());
}

int32_t TGenotypeList::Add(TGenotype* genotype) {
  QF_ASSERT(!ownsObjects_, "An owning genotype list takes genotypes by unique_ptr!");
  items_.push_back(genotype);
  return Count() - 1;
}

int32_t TGenotypeList::Add(std::unique_ptr<TGenotype> genotype) {
  QF_ASSERT(ownsObjects_, "A reference list can't own a genotype!");
  items_.push_back(genotype.release());
  return Count() - 1;
}

void TGenotypeList::Delete(int32_t index) {
  TGenotype* genotype = Items(index);
  items_.erase(items_.begin() + index);
  if (ownsObjects_) delete genotype;
}

std::unique_ptr<TGenotype> TGenotypeList::Extract(int32_t index) {
  QF_ASSERT(ownsObjects_, "A reference list can't hand over ownership!");
  TGenotype* genotype = Items(index);
  items_.erase(items_.begin() + index);
  return std::unique_ptr<TGenotype>(genotype);
}

void TGenotypeList::Exchange(int32_t i, int32_t j) {
  Items(i);
  Items(j);
  std::swap(items_[static_cast<size_t>(i)], items_[static_cast<size_t>(j)]);
}

void TGenotypeList::Clear() {
  if (ownsObjects_) {
    for (TGenotype* genotype : items_) delete genotype;
  }
  items_.clear();
}

}  // namespace qf
