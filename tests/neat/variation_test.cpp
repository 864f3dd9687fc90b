#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

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

// The lookup of an added connection runs while its delay is still the pool's 0: a second
// genome adding the same link takes the first one's number when that one drew delay 0,
// whatever delay it then draws itself. Seed 12: the first draws delay 0, the second 2.
TEST_F(Variation, AddedConnectionsAreLookedUpBeforeTheirDelayIsDrawn) {
  pop.AllowRecurrentLinks = false;
  pop.ConnectNodesOfInitialPop = false;
  pop.MaxConnectionDelay = 5;
  auto a = Initial(1, 1);
  auto b = Initial(1, 1);
  SetRandSeed(12);
  a->AddRandomConnection();
  b->AddRandomConnection();
  ASSERT_EQ(a->ConnectList.Count(), 1);
  ASSERT_EQ(b->ConnectList.Count(), 1);
  EXPECT_EQ(a->ConnectList[0]->Delay, 0);
  EXPECT_EQ(b->ConnectList[0]->Delay, 2);
  EXPECT_EQ(b->ConnectList[0]->InnovationNumber, a->ConnectList[0]->InnovationNumber);
  EXPECT_EQ(pop.NextInnovation, 1);
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

  // Below the lower limit the weight stops at -3. Seed 5: 0.157, no fresh weight; then the
  // step (2 * 0.180 - 1) * 2.5 would take -2.9 to -4.5.
  pop.ConnectionMutationBigChangeChance = 0.1;
  c->Weight = -2.9;
  SetRandSeed(5);
  c->MutateWeight();
  EXPECT_EQ(c->Weight, -3.0);
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

// The tests below fix the seed and follow the rules' draws one by one; the draws each seed
// yields are listed, and the generator's final state proves that no draw was added or lost.
// New nodes come from a stocked pool, so that building one draws nothing.

// Seed 11501 draws 0.901, 0.049, 0.826, 0.186, 0.103, 0.243, 0.860, 0.466, 0.933: the nine
// this crossover needs, each on the side of its threshold that tells a slip apart.
TEST_F(Variation, CrossoverDrawsOnlyForSharedGenesInTheirOrder) {
  TTransferFunction* sigmoid = TransferFunctionList().Items(0);
  TGenotype mother(&pop), father(&pop);
  AddNode(mother, 0, kInput, 0.0);
  AddNode(mother, 1, kOutput, 100.0);
  AddNode(mother, 2, kHidden, 50.0);
  AddLink(mother, 0, 0, 1, 1.0);
  AddLink(mother, 1, 0, 2, -1.0, false);
  AddLink(mother, 2, 2, 1, 0.5, true, 1);
  AddNode(father, 0, kInput, 0.0, sigmoid);  // an input: no draw
  AddNode(father, 1, kOutput, 90.0, sigmoid);
  AddNode(father, 2, kHidden, 40.0, sigmoid);
  AddNode(father, 3, kHidden, 30.0, sigmoid);  // the father's own: no draw
  AddLink(father, 0, 0, 1, 3.0, true, 2);
  AddLink(father, 1, 0, 2, 2.0, true, 3);
  AddLink(father, 2, 2, 1, -0.5, false, 4);
  AddLink(father, 3, 0, 3, 1.5);  // the father's own: no draw

  StockNodePool(3);
  SetRandSeed(11501);
  TGenotype child(&pop);
  child.Crossover(&mother, &father);
  // Node 1: 0.901 > 0.5 takes the father's fields but keeps its depth; node 2: 0.049 does not.
  ASSERT_EQ(child.NodeList.Count(), 3);
  EXPECT_EQ(child.FindNode(1)->TransferFunction, sigmoid);
  EXPECT_EQ(child.FindNode(1)->Depth, 100.0);
  EXPECT_EQ(child.FindNode(1)->Genotype, &child);
  EXPECT_EQ(child.FindNode(2)->TransferFunction, &sum);
  EXPECT_EQ(child.FindNode(2)->Depth, 50.0);
  ASSERT_EQ(child.ConnectList.Count(), 3);
  // Connection 0: 0.826 > 0.5, then 0.186 <= 0.4: the mean weight; enabled, no third draw.
  const TConnect* c0 = child.FindConnect(0);
  EXPECT_EQ(c0->Weight, 2.0);
  EXPECT_TRUE(c0->Enabled);
  EXPECT_EQ(c0->Delay, 0);
  // Connection 1: 0.103 keeps the mother's; it is disabled, and 0.243 <= 0.25 enables it.
  const TConnect* c1 = child.FindConnect(1);
  EXPECT_EQ(c1->Weight, -1.0);
  EXPECT_TRUE(c1->Enabled);
  EXPECT_EQ(c1->Delay, 0);
  // Connection 2: 0.860 > 0.5, then 0.466 > 0.4: the father's fields, disabled with them;
  // 0.933 > 0.25 leaves it so.
  const TConnect* c2 = child.FindConnect(2);
  EXPECT_EQ(c2->Weight, -0.5);
  EXPECT_FALSE(c2->Enabled);
  EXPECT_EQ(c2->Delay, 4);
  EXPECT_EQ(GetRandSeed(), test::SeedAfterDraws(11501, 9));
}

// Seed 5463: 0.429 > 0.1 adds no connection, 0.511 > 0.03 splits none; connection 0 is picked
// (0.653 <= 0.7) and perturbed (0.472 > 0.1, no fresh weight; 0.552 the step); the disabled
// connection 1 is picked (0.434) but draws nothing; 0.197 > 0.025 toggles nothing; the
// functions are redrawn from the last node to the first: 0.811 and 0.290 spare nodes 2 and 1,
// 0.0023 <= 0.005 redraws node 0's with one more draw. Eleven draws.
TEST_F(Variation, WeightBranchDrawsPerConnectionThenToggleThenNodesFromTheLast) {
  pop.ConnectionAddChance = 0.1;
  pop.ConnectionSplitChance = 0.03;
  pop.ConnectionWeightMutationChance = 0.7;
  pop.ConnectionMutationBigChangeChance = 0.1;
  pop.WeightPeturbationFactor = 2.5f;
  pop.MaxLinkWeight = 3.0f;
  TGenotype g(&pop);
  AddNode(g, 0, kInput, 0.0);
  AddNode(g, 1, kOutput, 100.0);
  AddNode(g, 2, kHidden, 50.0);
  AddLink(g, 0, 0, 2, 0.5);
  AddLink(g, 1, 2, 1, -1.0, false);

  SetRandSeed(5463);
  g.Mutate();
  EXPECT_NEAR(g.FindConnect(0)->Weight, 0.7606362290680408, 1e-12);  // 0.5 + (2 * 0.552 - 1) * 2.5
  EXPECT_TRUE(g.FindConnect(0)->Enabled);
  EXPECT_EQ(g.FindConnect(1)->Weight, -1.0);
  EXPECT_FALSE(g.FindConnect(1)->Enabled);
  EXPECT_NE(g.FindNode(0)->TransferFunction, &sum);
  EXPECT_EQ(g.FindNode(1)->TransferFunction, &sum);
  EXPECT_EQ(g.FindNode(2)->TransferFunction, &sum);
  EXPECT_EQ(GetRandSeed(), test::SeedAfterDraws(5463, 11));
}

// Below 15 enabled connections the split walks the list; from 15 on it makes up to 20 random
// picks, a disabled pick leading to the next and an enabled one that cannot be split ending
// the step.
TEST_F(Variation, SplitChoiceWalksBelowFifteenEnabledConnectionsAndPicksFromFifteen) {
  pop.ConnectionAddChance = 0.0;
  pop.ConnectionSplitChance = 1.0;
  // Inputs 0..4, outputs 5..7; connections 0..14 from input k % 5 to output 5 + k / 5, of
  // which 3 has weight 0; then 200 disabled ones, 15..214.
  const auto make = [&] {
    auto g = std::make_unique<TGenotype>(&pop);
    for (int32_t i = 0; i < 5; ++i) AddNode(*g, i, kInput, 0.0);
    for (int32_t o = 5; o < 8; ++o) AddNode(*g, o, kOutput, 100.0);
    for (int32_t k = 0; k < 15; ++k) AddLink(*g, k, k % 5, 5 + k / 5, k == 3 ? 0.0 : 1.0);
    for (int32_t k = 15; k < 215; ++k) AddLink(*g, k, 0, 5, 1.0, false);
    return g;
  };
  struct Case {
    uint32_t seed;
    int32_t enabled;  // 14: connection 14 disabled
    int32_t split;    // the connection split, -1 for none
    int draws;
  };
  // After the two branch draws (no add, split):
  // - 14 enabled, seed 7: the walk draws 0.2518 <= 0.3 for connection 0 and splits it; the
  //   split then draws its node's function, the first link's delay choice (below 0.8: kept)
  //   and the second link's delay.
  // - 15 enabled, seed 18: the pick RandomIndex(215) is 1; split as above. The walk would
  //   have split 0.
  // - seed 100: the pick is 3, enabled but of weight 0: the step ends without a split.
  // - seed 3: twenty picks, all disabled (190, 88, 100, 131, 182, ...): no split.
  for (const Case& c : {Case{7, 14, 0, 6}, Case{18, 15, 1, 6}, Case{100, 15, -1, 3},
                        Case{3, 15, -1, 22}}) {
    auto g = make();
    if (c.enabled == 14) g->FindConnect(14)->Enabled = false;
    std::vector<bool> before;
    for (int32_t k = 0; k < 15; ++k) before.push_back(g->FindConnect(k)->Enabled);
    StockNodePool(1);
    SetRandSeed(c.seed);
    g->Mutate();
    int32_t split = -1;
    for (int32_t k = 0; k < 15; ++k)
      if (before[static_cast<size_t>(k)] && !g->FindConnect(k)->Enabled) split = k;
    EXPECT_EQ(split, c.split) << "seed " << c.seed;
    EXPECT_EQ(g->NodeList.Count(), c.split < 0 ? 8 : 9) << "seed " << c.seed;
    EXPECT_EQ(GetRandSeed(), test::SeedAfterDraws(c.seed, c.draws)) << "seed " << c.seed;
  }
}

TEST_F(Variation, SplitKeepsTheDelayFourTimesInFiveAndDelaysAreDrawnAsSingles) {
  pop.MaxConnectionDelay = 5;
  auto g = Initial(2, 1);
  TConnect* c = g->FindConnect(0);
  c->Enabled = true;
  c->Delay = 3;
  // Seed 19: the node's function, then 0.795 < 0.8 keeps delay 3 for the first link, and 0.350
  // gives the second one round(0.350 * 5) = 2.
  StockNodePool(1);
  SetRandSeed(19);
  ASSERT_NE(c->MutateSplit(), nullptr);
  EXPECT_EQ(g->FindConnect(2)->Delay, 3);
  EXPECT_EQ(g->FindConnect(3)->Delay, 2);
  EXPECT_EQ(GetRandSeed(), test::SeedAfterDraws(19, 3));

  // A draw just below 0.3 is 0.30000001 as a single: five times that rounds to 2, not 1.
  SetRandSeed(1387957698u);
  EXPECT_LT(RandomUniform(), 0.3);
  SetRandSeed(1387957698u);
  EXPECT_EQ(pop.RandomDelay(), 2);
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
