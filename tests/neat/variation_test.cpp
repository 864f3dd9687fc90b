#include <gtest/gtest.h>

#include <cmath>

#include "neat_test_util.h"

namespace qf {
namespace {

using test::AssertionOf;
using test::kHidden;
using test::kInput;
using test::kOutput;

class Variation : public test::NeatTest {
protected:
  // An initial genome as the population makes it, with the counters set after it.
  std::unique_ptr<TGenotype> Initial(int32_t inputs, int32_t outputs) {
    auto g = std::make_unique<TGenotype>(&pop);
    g->BuildInitial(inputs, outputs);
    pop.NextNodeNumber = std::max(pop.NextNodeNumber, g->NodeList.Count());
    pop.NextInnovation = std::max(pop.NextInnovation, g->ConnectList.Count());
    return g;
  }
  static int32_t Disabled(const TGenotype& g) {
    int32_t n = 0;
    for (const TConnect* c : g.ConnectList) n += !c->Enabled;
    return n;
  }
};

TEST_F(Variation, InitialGenomeNumbering) {
  auto g = Initial(7, 3);
  ASSERT_EQ(g->NodeList.Count(), 10);
  for (int32_t i = 0; i < 10; ++i) {
    const TNode* n = g->NodeList[i];
    EXPECT_EQ(n->Number, i);
    EXPECT_EQ(n->IsInput, i < 7);
    EXPECT_EQ(n->IsOutput, i >= 7);
    EXPECT_EQ(n->Depth, i < 7 ? 0.0 : 100.0);
    EXPECT_NE(n->TransferFunction, nullptr);
    if (i < 7) {
      EXPECT_EQ(n->TransferFunction, TransferFunctionList().Items(0));
    }
  }
  ASSERT_EQ(g->ConnectList.Count(), 21);
  for (int32_t j = 0; j < 3; ++j) {
    for (int32_t i = 0; i < 7; ++i) {
      const TConnect* c = g->ConnectList[7 * j + i];
      EXPECT_EQ(c->InnovationNumber, 7 * j + i);
      EXPECT_EQ(c->FromNode, i);
      EXPECT_EQ(c->ToNode, 7 + j);
      EXPECT_EQ(c->Delay, 0) << "MaxConnectionDelay 0";
      EXPECT_GE(c->Weight, -1.0);
      EXPECT_LT(c->Weight, 1.0);
    }
  }
  EXPECT_EQ(g->MaxNodeDepth, 2);
  EXPECT_FALSE(g->Prepared);

  // About one in ten starts disabled.
  int32_t disabled = 0;
  for (int k = 0; k < 100; ++k) disabled += Disabled(*Initial(7, 3));
  EXPECT_GT(disabled, 150);
  EXPECT_LT(disabled, 270);

  pop.ConnectOutputOfInitialPop = true;
  pop.MaxConnectionDelay = 5;
  auto s = Initial(7, 3);
  ASSERT_EQ(s->ConnectList.Count(), 24);
  bool delayed = false;
  for (int32_t j = 0; j < 3; ++j) {
    const TConnect* self = s->ConnectList[8 * j];
    EXPECT_EQ(self->FromNode, 7 + j);
    EXPECT_EQ(self->ToNode, 7 + j);
    for (int32_t i = 0; i < 7; ++i) {
      const TConnect* c = s->ConnectList[8 * j + 1 + i];
      EXPECT_EQ(c->FromNode, i);
      EXPECT_EQ(c->ToNode, 7 + j);
    }
  }
  for (const TConnect* c : s->ConnectList) delayed |= c->Delay > 0;
  EXPECT_TRUE(delayed);

  pop.ConnectNodesOfInitialPop = false;
  EXPECT_EQ(Initial(7, 3)->ConnectList.Count(), 3);
}

TEST_F(Variation, SplitInsertsANodeThatKeepsTheConnectionsEffect) {
  auto g = Initial(2, 1);  // links 0 -> 2 (innovation 0) and 1 -> 2 (innovation 1)
  TConnect* c = g->FindConnect(0);
  c->Enabled = true;
  c->Weight = -0.75;
  c->Delay = 2;

  TConnect* off = g->FindConnect(1);
  off->Enabled = false;
  EXPECT_EQ(off->MutateSplit(), nullptr);
  EXPECT_EQ(g->NodeList.Count(), 3);
  EXPECT_EQ(pop.NextNodeNumber, 3) << "a refused split uses no number";
  off->Enabled = true;

  TNode* n = c->MutateSplit();
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->Number, 3);
  EXPECT_EQ(n->Depth, 50.0);
  EXPECT_FALSE(n->IsInput || n->IsOutput);
  EXPECT_EQ(g->MaxNodeDepth, 3);
  EXPECT_FALSE(c->Enabled);
  const TConnect* in = g->FindConnect(2);
  const TConnect* out = g->FindConnect(3);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->FromNode, 0);
  EXPECT_EQ(in->ToNode, 3);
  EXPECT_EQ(in->Weight, 1.0);
  EXPECT_TRUE(in->Enabled);
  EXPECT_EQ(out->FromNode, 3);
  EXPECT_EQ(out->ToNode, 2);
  EXPECT_EQ(out->Weight, -0.75);
  EXPECT_TRUE(out->Enabled);
  EXPECT_EQ(pop.NextNodeNumber, 4);
  EXPECT_EQ(pop.NextInnovation, 4);
  ASSERT_EQ(pop.SplitRegistry.size(), 1u);
  EXPECT_EQ(pop.SplitRegistry[0].SplitInnovation, 0);
  EXPECT_EQ(pop.SplitRegistry[0].SplitNodeNumber, 3);
  EXPECT_EQ(pop.SplitRegistry[0].InInnovation, 2);
  EXPECT_EQ(pop.SplitRegistry[0].OutInnovation, 3);
  EXPECT_TRUE(pop.InnovationRegistry->Empty());

  // Another node at depth 50 is not a new level.
  g->FindConnect(1)->MutateSplit();
  EXPECT_EQ(g->MaxNodeDepth, 3);
  EXPECT_EQ(g->FindNode(4)->Depth, 50.0);
}

TEST_F(Variation, SplitsAreSharedWithinOneGeneration) {
  auto a = Initial(7, 3);
  auto b = a->Clone();
  b->FindConnect(12)->Enabled = true;
  a->FindConnect(12)->Enabled = true;
  TNode* na = a->FindConnect(12)->MutateSplit();
  TNode* nb = b->FindConnect(12)->MutateSplit();
  EXPECT_EQ(na->Number, 10);
  EXPECT_EQ(nb->Number, 10);
  EXPECT_TRUE(a->FindConnect(21) && b->FindConnect(21));
  EXPECT_TRUE(a->FindConnect(22) && b->FindConnect(22));
  EXPECT_EQ(pop.NextNodeNumber, 11) << "the counters advance once";
  EXPECT_EQ(pop.NextInnovation, 23);

  // The next breeding step starts with empty registries: the same split gets new numbers.
  pop.ClearGenotypes();
  auto c = Initial(7, 3);
  c->FindConnect(12)->Enabled = true;
  EXPECT_EQ(c->FindConnect(12)->MutateSplit()->Number, 11);
  EXPECT_TRUE(c->FindConnect(23) && c->FindConnect(24));
}

TEST_F(Variation, SplitFailureMessagesAndMissingEnds) {
  auto g = Initial(2, 1);
  TConnect* c = g->FindConnect(0);
  c->Enabled = true;
  pop.NextInnovation = 0;
  EXPECT_EQ(AssertionOf([&] { c->MutateSplit(); }),
            "MutateSplit failed, connections is allready invalid!");
  pop.NextInnovation = 2;

  pop.SplitRegistry.push_back({/*node*/ 3, /*in*/ 50, /*split*/ 0, /*out*/ 3});
  pop.NextNodeNumber = 4;
  EXPECT_EQ(AssertionOf([&] { c->MutateSplit(); }), "MutateSplit failed, Connect1 is invalid!");

  auto h = Initial(2, 1);
  pop.SplitRegistry = {{3, 2, 0, 60}};
  pop.NextInnovation = 4;
  h->FindConnect(0)->Enabled = true;
  EXPECT_EQ(AssertionOf([&] { h->FindConnect(0)->MutateSplit(); }),
            "MutateSplit failed, Connect2 is invalid!");

  // A connection whose end node the genome lacks is left alone.
  TGenotype k(&pop);
  AddNode(k, 0, kInput, 0.0);
  TConnect* dangling = AddLink(k, 1, 0, 2, 1.0);
  EXPECT_EQ(dangling->MutateSplit(), nullptr);
  EXPECT_TRUE(dangling->Enabled);
  EXPECT_EQ(k.NodeList.Count(), 1);
}

TEST_F(Variation, AddRandomConnectionRules) {
  pop.AllowRecurrentLinks = false;
  pop.ConnectNodesOfInitialPop = false;
  auto g = Initial(3, 2);
  for (int k = 0; k < 100 && g->ConnectList.Count() < 6; ++k) g->AddRandomConnection();
  // Only input -> output links can go forward, and none twice.
  EXPECT_EQ(g->ConnectList.Count(), 6);
  for (const TConnect* c : g->ConnectList) {
    EXPECT_LT(c->FromNode, 3);
    EXPECT_GE(c->ToNode, 3);
    EXPECT_TRUE(c->Enabled);
  }

  // Fully connected: nothing can be added.
  for (int k = 0; k < 10; ++k) g->AddRandomConnection();
  EXPECT_EQ(g->ConnectList.Count(), 6);

  // Where every try fails, exactly 21 tries of two draws each are made.
  TGenotype flat(&pop);
  for (int32_t i = 0; i < 3; ++i) AddNode(flat, i, kOutput, 100.0);
  const uint32_t seed = GetRandSeed();
  for (int k = 0; k < 42; ++k) RandomIndex(3);
  const uint32_t expected = GetRandSeed();
  SetRandSeed(seed);
  flat.AddRandomConnection();
  EXPECT_TRUE(flat.ConnectList.Empty());
  EXPECT_EQ(GetRandSeed(), expected);

  // With recurrent links allowed, loops and backward links appear.
  pop.AllowRecurrentLinks = true;
  auto r = Initial(2, 2);
  int32_t recurrent = 0;
  for (int k = 0; k < 40; ++k) r->AddRandomConnection();
  for (const TConnect* c : r->ConnectList) recurrent += c->IsRecurrent();
  EXPECT_GT(recurrent, 0);
  for (const TConnect* c : r->ConnectList)
    EXPECT_FALSE(r->FindNode(c->ToNode)->IsInput) << "inputs are never targets";
}

TEST_F(Variation, AddedConnectionsShareInnovationsWithinAGeneration) {
  pop.AllowRecurrentLinks = false;
  pop.ConnectNodesOfInitialPop = false;
  auto a = Initial(1, 1);
  auto b = Initial(1, 1);
  a->AddRandomConnection();
  b->AddRandomConnection();
  EXPECT_EQ(a->ConnectList[0]->InnovationNumber, 0);
  EXPECT_EQ(b->ConnectList[0]->InnovationNumber, 0);
  EXPECT_EQ(pop.NextInnovation, 1);
  EXPECT_EQ(pop.InnovationRegistry->Count(), 1);

  // A number out of the population's range is caught.
  auto c = Initial(1, 1);
  a->ConnectList[0]->InnovationNumber = 40;
  EXPECT_EQ(AssertionOf([&] { c->AddRandomConnection(); }), "40 AddRandomConnection failed.");

  TGenotype empty(&pop);
  EXPECT_EQ(AssertionOf([&] { empty.AddRandomConnection(); }), "No nodes to choose from!");
}

TEST_F(Variation, WeightMutationIsClamped) {
  TGenotype g(&pop);
  AddNode(g, 0, kInput, 0.0);
  AddNode(g, 1, kOutput, 100.0);
  TConnect* c = AddLink(g, 0, 0, 1, 2.9);
  TConnect* off = AddLink(g, 1, 1, 1, 2.9, false);
  pop.ConnectionMutationBigChangeChance = 0.0;
  bool reachedLimit = false;
  for (int k = 0; k < 200; ++k) {
    c->Weight = 2.9;
    c->MutateWeight();
    EXPECT_LE(c->Weight, 3.0);
    EXPECT_GE(c->Weight, 2.9 - 2.5);
    reachedLimit |= c->Weight == 3.0;
  }
  EXPECT_TRUE(reachedLimit);
  for (int k = 0; k < 50; ++k) c->MutateWeight();
  EXPECT_GE(c->Weight, -3.0);
  EXPECT_LE(c->Weight, 3.0);

  const uint32_t seed = GetRandSeed();
  off->MutateWeight();
  EXPECT_EQ(off->Weight, 2.9);
  EXPECT_EQ(GetRandSeed(), seed) << "a disabled connection draws nothing";

  pop.ConnectionMutationBigChangeChance = 1.0;
  pop.InitialWeightMagnitude = 0.25f;
  c->MutateWeight();
  EXPECT_LT(std::fabs(c->Weight), 0.25) << "a big change draws a fresh weight";
}

TEST_F(Variation, MutateRunsExactlyOneBranch) {
  auto base = Initial(7, 3);
  for (TConnect* c : base->ConnectList) c->Enabled = true;

  pop.ConnectionAddChance = 1.0;
  pop.ConnectionSplitChance = 1.0;
  auto add = base->Clone();
  add->Mutate();
  EXPECT_EQ(add->ConnectList.Count(), 22);
  EXPECT_EQ(add->NodeList.Count(), 10) << "no split after an added connection";

  pop.ConnectionAddChance = 0.0;
  auto split = base->Clone();
  split->Mutate();
  EXPECT_EQ(split->NodeList.Count(), 11);
  EXPECT_EQ(split->ConnectList.Count(), 23);

  pop.ConnectionSplitChance = 0.0;
  pop.ConnectionWeightMutationChance = 1.0;
  auto weights = base->Clone();
  weights->Mutate();
  EXPECT_EQ(weights->NodeList.Count(), 10);
  EXPECT_EQ(weights->ConnectList.Count(), 21);
  int32_t changed = 0;
  for (int32_t i = 0; i < 21; ++i)
    changed += weights->ConnectList[i]->Weight != base->ConnectList[i]->Weight;
  EXPECT_EQ(changed, 21);
}

TEST_F(Variation, SplitChoiceRespectsNoSplitFromAndRecurrence) {
  pop.ConnectionAddChance = 0.0;
  pop.ConnectionSplitChance = 1.0;
  // Few connections: the walk may split a recurrent link, never one from a NoSplitFrom node.
  TGenotype small(&pop);
  AddNode(small, 0, kInput, 0.0);
  TNode* out = AddNode(small, 1, kOutput, 100.0);
  AddLink(small, 0, 0, 1, 1.0);
  AddLink(small, 1, 1, 1, 1.0);
  small.FindNode(0)->NoSplitFrom = true;
  for (int k = 0; k < 20 && small.NodeList.Count() == 2; ++k) small.Mutate();
  ASSERT_EQ(small.NodeList.Count(), 3);
  EXPECT_FALSE(small.FindConnect(1)->Enabled) << "the self-loop was split";
  EXPECT_TRUE(small.FindConnect(0)->Enabled);
  EXPECT_EQ(out->IncomingConnects.Count(), 0) << "nothing was prepared";

  // Many connections: random draws, and recurrent ones are never split.
  TGenotype big(&pop);
  for (int32_t i = 0; i < 16; ++i) AddNode(big, i, kOutput, 100.0);
  for (int32_t i = 0; i < 16; ++i) AddLink(big, i, i, (i + 1) % 16, 1.0);
  for (int k = 0; k < 200; ++k) big.Mutate();
  EXPECT_EQ(big.NodeList.Count(), 16);
}

TEST_F(Variation, CrossoverTakesTheMothersGenesAndSomeOfTheFathersValues) {
  EXPECT_EQ(AssertionOf([&] {
              TGenotype child(&pop);
              child.Crossover(nullptr, nullptr);
            }),
            "Mother must be set!");
  auto mother = Initial(7, 3);
  EXPECT_EQ(AssertionOf([&] {
              TGenotype child(&pop);
              child.Crossover(mother.get(), nullptr);
            }),
            "Father must be set!");

  // With itself: the same genes and weights; disabled links come back one time in four.
  int32_t disabledBefore = 0, enabledAfter = 0;
  for (int k = 0; k < 40; ++k) {
    auto parent = Initial(7, 3);
    parent->Fitness = 3.0;
    TGenotype child(&pop);
    child.Crossover(parent.get(), parent.get());
    ASSERT_EQ(child.ConnectList.Count(), 21);
    EXPECT_EQ(child.Fitness, 3.0);
    for (int32_t i = 0; i < 21; ++i) {
      const TConnect* p = parent->ConnectList[i];
      const TConnect* c = child.ConnectList[i];
      EXPECT_EQ(c->Weight, p->Weight);
      if (!p->Enabled) {
        ++disabledBefore;
        enabledAfter += c->Enabled;
      } else {
        EXPECT_TRUE(c->Enabled);
      }
    }
  }
  EXPECT_GT(enabledAfter, disabledBefore / 10);
  EXPECT_LT(enabledAfter, disabledBefore / 2);

  // Father-only genes are never inherited; matching ones take the mother's or the father's
  // weight or their mean.
  auto father = mother->Clone();
  for (TConnect* c : father->ConnectList) c->Weight = 2.0;
  for (TConnect* c : mother->ConnectList) c->Weight = -2.0;
  father->FindConnect(5)->MutateSplit();
  father->FindNode(7)->TransferFunction = nullptr;  // a marker the child may pick up
  int32_t mean = 0, fathers = 0, fatherNodes = 0;
  for (int k = 0; k < 30; ++k) {
    TGenotype child(&pop);
    child.Crossover(mother.get(), father.get());
    EXPECT_EQ(child.NodeList.Count(), 10);
    EXPECT_EQ(child.ConnectList.Count(), 21);
    EXPECT_EQ(child.FindNode(7)->Depth, 100.0);
    EXPECT_EQ(child.FindNode(7)->Genotype, &child);
    fatherNodes += child.FindNode(7)->TransferFunction == nullptr;
    for (const TConnect* c : child.ConnectList) {
      if (c->InnovationNumber == 5) continue;  // disabled by the split in the father
      EXPECT_TRUE(c->Weight == -2.0 || c->Weight == 0.0 || c->Weight == 2.0) << c->Weight;
      mean += c->Weight == 0.0;
      fathers += c->Weight == 2.0;
    }
  }
  EXPECT_GT(mean, 0);
  EXPECT_GT(fathers, 0);
  EXPECT_GT(fatherNodes, 0);
  EXPECT_LT(fatherNodes, 30);
}

TEST_F(Variation, Relatedness) {
  auto a = Initial(7, 3);
  auto b = a->Clone();
  EXPECT_EQ(a->Relatedness(*b), 0.0);

  AddNode(*b, 10, kHidden, 50.0);
  AddLink(*b, 21, 0, 10, 1.0);
  EXPECT_EQ(a->Relatedness(*b), 2.0) << "one extra node and one extra connection";
  EXPECT_EQ(b->Relatedness(*a), 2.0);

  auto c = a->Clone();
  c->ConnectList[0]->Weight += 1.0;
  c->ConnectList[1]->Delay = 2;
  c->NodeList[8]->TransferFunction = &sum;  // not a registered function
  const double expected = 0.4f * (1.0 / 21) + 0.75 * 2 + 0.75;
  EXPECT_NEAR(a->Relatedness(*c), expected, 1e-12);
  EXPECT_NEAR(c->Relatedness(*a), expected, 1e-12);
}

}  // namespace
}  // namespace qf
