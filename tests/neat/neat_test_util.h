#pragma once
// Shared helpers of the engine tests: a fixture with a fresh pool and a fixed seed, and
// hand-wiring of small genomes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "base/random.h"
#include "neat/gene_pool.h"
#include "neat/genotype.h"
#include "neat/population.h"
#include "neat/transfer_functions.h"

namespace qf::test {

// The assertion message a call raises, or "<none>" when it returns normally.
template <class F>
std::string AssertionOf(F&& f) {
  try {
    f();
  } catch (const EAssertionFailed& e) {
    return e.Message();
  }
  return "<none>";
}

// The random source's state after n more draws of any kind: seed := seed * 134775813 + 1.
inline uint32_t SeedAfterDraws(uint32_t seed, int n) {
  for (int i = 0; i < n; ++i) seed = seed * 134775813u + 1u;
  return seed;
}

enum Kind { kInput, kOutput, kHidden };

class NeatTest : public ::testing::Test {
protected:
  void SetUp() override {
    // Whether a gene comes from the pool or is built decides whether a random draw is made,
    // so every test starts from the same pool and seed.
    CacheHandler().Clear();
    SetRandSeed(20240607u);
  }
  void TearDown() override { CacheHandler().Clear(); }

  TNode* AddNode(TGenotype& g, int32_t number, Kind kind, double depth,
                 TTransferFunction* tf = nullptr) {
    TNode* n = CacheHandler().GetNode(&g);
    n->Number = number;
    n->IsInput = kind == kInput;
    n->IsOutput = kind == kOutput;
    n->Depth = depth;
    n->TransferFunction = tf ? tf : &sum;
    g.AddNode(n);
    if (number >= pop.NextNodeNumber) pop.NextNodeNumber = number + 1;
    return n;
  }

  TConnect* AddLink(TGenotype& g, int32_t innovation, int32_t from, int32_t to, double weight,
                    bool enabled = true, int32_t delay = 0) {
    TConnect* c = CacheHandler().GetConnect(&g);
    c->InnovationNumber = innovation;
    c->FromNode = from;
    c->ToNode = to;
    c->Weight = weight;
    c->Enabled = enabled;
    c->SetDelay(delay);
    g.AddConnect(c);
    if (innovation >= pop.NextInnovation) pop.NextInnovation = innovation + 1;
    return c;
  }

  // Puts n spare nodes into the pool: a node built afresh draws its transfer function, one
  // taken from the pool does not, so the tests that count draws take theirs from here.
  void StockNodePool(int32_t n) {
    TGenotype owner(&pop);
    std::vector<TNode*> nodes;
    for (int32_t i = 0; i < n; ++i) nodes.push_back(CacheHandler().GetNode(&owner));
    for (TNode* node : nodes) CacheHandler().ReturnNode(node);
  }

  // input 0 -> hidden 2 -> output 1, plus a direct input -> output link when asked.
  std::unique_ptr<TGenotype> Chain(double inToHidden, double hiddenToOut) {
    auto g = std::make_unique<TGenotype>(&pop);
    AddNode(*g, 0, kInput, 0.0);
    AddNode(*g, 1, kOutput, 100.0);
    AddNode(*g, 2, kHidden, 50.0);
    AddLink(*g, 0, 0, 2, inToHidden);
    AddLink(*g, 1, 2, 1, hiddenToOut);
    g->MaxNodeDepth = 3;
    return g;
  }

  // A linear identity, so tests can follow values through a network by hand.
  struct Sum : TTransferFunction {
    double CalculateValue(TNode* node) override { return GetSum(node); }
  } sum;

  TNEATPopulation pop{nullptr};
};

}  // namespace qf::test
