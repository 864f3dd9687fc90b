#include "neat/genotype.h"

#include <gtest/gtest.h>

#include "neat_test_util.h"

namespace qf {
namespace {

using test::AssertionOf;
using test::kHidden;
using test::kInput;
using test::kOutput;

class GenePool : public test::NeatTest {};
class Genotype : public test::NeatTest {};

TEST_F(GenePool, HandsOutTheLastReturnedGeneFirst) {
  TGenotype g(&pop);
  TCacheHandler& cache = CacheHandler();
  ASSERT_EQ(cache.NodePool.Count(), 0);

  TNode* fresh = cache.GetNode(&g);
  EXPECT_NE(fresh->TransferFunction, nullptr) << "a new node draws its transfer function";
  EXPECT_EQ(fresh->Number, -1);
  EXPECT_EQ(fresh->Genotype, &g);

  TNode* other = cache.GetNode(&g);
  fresh->Number = 4;
  fresh->Value = 2.5;
  fresh->IsOutput = true;
  fresh->Depth = 100.0;
  fresh->TransferState[0] = 1.0;
  TTransferFunction* kept = fresh->TransferFunction;
  cache.ReturnNode(other);
  cache.ReturnNode(fresh);

  TGenotype h(&pop);
  TNode* again = cache.GetNode(&h);
  EXPECT_EQ(again, fresh);
  EXPECT_EQ(again->Number, -1);
  EXPECT_EQ(again->Depth, -1.0);
  EXPECT_EQ(again->Value, 0.0);
  EXPECT_FALSE(again->IsOutput);
  EXPECT_EQ(again->TransferState[0], 0.0);
  EXPECT_EQ(again->TransferFunction, kept) << "the transfer function stays as it was";
  EXPECT_EQ(again->Genotype, &h);
  EXPECT_EQ(cache.GetNode(&h), other);
  EXPECT_EQ(cache.NodePool.Count(), 0);
  delete again;
  delete other;

  TConnect* c1 = cache.GetConnect(&g);
  EXPECT_EQ(c1->Weight, 1.0);
  EXPECT_FALSE(c1->Enabled);
  TConnect* c2 = cache.GetConnect(&g);
  c1->Weight = 0.7;
  c1->Enabled = true;
  c1->InnovationNumber = 12;
  c1->Delay = 2;
  c1->DelayLine[2] = 3.0;
  cache.ReturnConnect(c2);
  cache.ReturnConnect(c1);
  TConnect* back = cache.GetConnect(&h);
  EXPECT_EQ(back, c1);
  EXPECT_EQ(back->Delay, 0);
  EXPECT_EQ(back->DelayLine[2], 0.0);
  // Takers set these; the pool leaves them.
  EXPECT_EQ(back->Weight, 0.7);
  EXPECT_EQ(back->InnovationNumber, 12);
  EXPECT_EQ(back->Genotype, &h);
  cache.ReturnConnect(back);
}

TEST_F(GenePool, FailureMessages) {
  TCacheHandler& cache = CacheHandler();
  EXPECT_EQ(AssertionOf([&] { cache.ReturnNode(nullptr); }), "Can't cache a nil node!");
  EXPECT_EQ(AssertionOf([&] { cache.ReturnConnect(nullptr); }), "Can't cache a nil connect!");
  EXPECT_EQ(AssertionOf([&] { cache.GetNode(nullptr); }), "No genotype supplied!");
  try {
    cache.ReturnNode(nullptr);
    ADD_FAILURE() << "no assertion";
  } catch (const EAssertionFailed& e) {
    // The system's format: the message, then the source file and line.
    EXPECT_NE(std::string(e.what()).find("Can't cache a nil node! (gene_pool.cpp, line "),
              std::string::npos)
        << e.what();
  }
}

TEST_F(Genotype, CloneCopiesGenesButNotNetworkState) {
  auto g = Chain(0.5, -2.0);
  g->FindConnect(1)->Delay = 2;
  g->Fitness = 7.5;
  g->AdjustedFitness = 2.5;
  g->MaxNodeDepth = 3;
  g->Tag = 99;
  auto* hint = reinterpret_cast<TSpecies*>(g.get());  // any non-null marker will do
  g->SpeciesHint = hint;
  g->PreparePhenotype();
  g->SetInput(0, 1.0);
  g->Iterate(3);
  ASSERT_NE(g->FindNode(2)->Value, 0.0);

  auto clone = g->Clone();
  EXPECT_FALSE(clone->Prepared);
  EXPECT_EQ(clone->Fitness, 7.5);
  EXPECT_EQ(clone->AdjustedFitness, 2.5);
  EXPECT_EQ(clone->MaxNodeDepth, 3);
  EXPECT_EQ(clone->SpeciesHint, hint);
  EXPECT_EQ(clone->NEATPopulation, &pop);
  EXPECT_EQ(clone->Tag, 0);
  EXPECT_TRUE(clone->InputNodes.Empty());
  for (const TNode* n : clone->NodeList) {
    EXPECT_EQ(n->Value, 0.0);
    EXPECT_EQ(n->Genotype, clone.get());
    EXPECT_NE(n, g->FindNode(n->Number));
  }
  for (const TConnect* c : clone->ConnectList) {
    EXPECT_EQ(c->Genotype, clone.get());
    EXPECT_EQ(c->DelayLine[0] + c->DelayLine[1] + c->DelayLine[2], 0.0);
  }
  EXPECT_EQ(clone->FindConnect(1)->Delay, 2);
  EXPECT_TRUE(clone->IsSameAs(*g));
  EXPECT_TRUE(g->IsSameAs(*clone));

  clone->FindConnect(0)->Weight += 1e-9;
  EXPECT_FALSE(clone->IsSameAs(*g));
  clone->FindConnect(0)->Weight = 0.5;
  clone->FindNode(2)->TransferFunction = nullptr;
  EXPECT_FALSE(clone->IsSameAs(*g));
  clone->FindNode(2)->TransferFunction = g->FindNode(2)->TransferFunction;
  clone->FindConnect(1)->Enabled = false;
  EXPECT_FALSE(clone->IsSameAs(*g));

  EXPECT_EQ(AssertionOf([&] { g->CopyTo(*clone); }), "Still nodes in the Genotype!");
  TGenotype onlyLinks(&pop);
  AddLink(onlyLinks, 5, 0, 1, 1.0);
  EXPECT_EQ(AssertionOf([&] { g->CopyTo(onlyLinks); }), "Still connects in the Genotype!");
}

TEST_F(Genotype, ReleaseReturnsEveryGeneToThePool) {
  auto g = Chain(1.0, 1.0);
  AddLink(*g, 2, 0, 1, 1.0, false);
  g->PreparePhenotype();
  g->ReleaseToCache();
  EXPECT_EQ(CacheHandler().NodePool.Count(), 3);
  EXPECT_EQ(CacheHandler().ConnectPool.Count(), 3);
  EXPECT_TRUE(g->NodeList.Empty());
  EXPECT_TRUE(g->ConnectList.Empty());
  // Its network pointed at genes that now belong to the pool: it must not run.
  EXPECT_EQ(AssertionOf([&] { g->Iterate(1); }),
            "The phenotype hasn't been prepared, can't iterate!");

  TGenotype allDisabled(&pop);
  AddNode(allDisabled, 0, kInput, 0.0);
  AddNode(allDisabled, 1, kOutput, 100.0);
  AddLink(allDisabled, 0, 0, 1, 1.0, false);
  allDisabled.PreparePhenotype();
  EXPECT_EQ(AssertionOf([&] { allDisabled.ReleaseToCache(); }), "<none>");
}

TEST_F(Genotype, ReleaseDetectsLostConnections) {
  auto g = Chain(1.0, 1.0);
  g->PreparePhenotype();
  // A connection wired into the network vanishes from the gene list behind its back.
  TConnect* lost = g->ConnectList[1];
  g->ConnectList.Delete(1);
  EXPECT_EQ(AssertionOf([&] { g->ReleaseToCache(); }),
            "There is an error in counting connections, ConnectList.Count = 1 <>  "
            "NodeConnectCount = 2!");
  delete lost;
}

TEST_F(Genotype, LookupsAndCounts) {
  TGenotype g(&pop);
  EXPECT_EQ(g.GetRandomConnect(), nullptr);
  EXPECT_EQ(AssertionOf([&] { g.GetRandomNode(false); }), "No nodes to choose from!");
  AddNode(g, 0, kInput, 0.0);
  AddNode(g, 1, kInput, 0.0);
  // Only inputs: redrawing would never end, so the call is refused.
  EXPECT_EQ(AssertionOf([&] { g.GetRandomNode(true); }), "No non-input nodes to choose from!");
  AddNode(g, 3, kOutput, 100.0);
  AddNode(g, 2, kHidden, 50.0);
  for (int i = 0; i < 50; ++i) EXPECT_FALSE(g.GetRandomNode(true)->IsInput);

  AddLink(g, 4, 0, 3, 1.0);
  AddLink(g, 1, 1, 2, 1.0, false, 3);
  AddLink(g, 9, 2, 3, 1.0);
  EXPECT_EQ(g.NodeList[2]->Number, 2) << "nodes stay in number order";
  EXPECT_EQ(g.FindNode(3)->Number, 3);
  EXPECT_EQ(g.FindNode(5), nullptr);
  EXPECT_EQ(g.FindConnect(9)->FromNode, 2);
  EXPECT_EQ(g.FindConnect(2), nullptr);
  EXPECT_TRUE(g.HasConnection(1, 2)) << "disabled and delayed connections count";
  EXPECT_FALSE(g.HasConnection(2, 1));
  EXPECT_EQ(g.GeneCount(), 4 + 2);

  // A number the population never handed out is not a valid node.
  pop.NextNodeNumber = 2;
  EXPECT_EQ(AssertionOf([&] {
              for (int i = 0; i < 100; ++i) g.GetRandomNode(true);
            }),
            "GetRandomNode failed");
  pop.NextNodeNumber = 4;

  // A refused duplicate goes back to the pool instead of being lost.
  TNode* duplicate = CacheHandler().GetNode(&g);
  duplicate->Number = 2;
  EXPECT_THROW(g.AddNode(duplicate), EListError);
  EXPECT_EQ(CacheHandler().NodePool.Last(), duplicate);
  TConnect* twin = CacheHandler().GetConnect(&g);
  twin->InnovationNumber = 4;
  EXPECT_THROW(g.AddConnect(twin), EListError);
  EXPECT_EQ(CacheHandler().ConnectPool.Last(), twin);
}

TEST_F(Genotype, GenotypeListOwnershipModes) {
  TGenotypeList owning(true);
  owning.Add(std::make_unique<TGenotype>(&pop));
  owning.Add(std::make_unique<TGenotype>(&pop));
  TGenotype* second = owning[1];
  TGenotypeList refs(false);
  refs.Add(second);
  EXPECT_EQ(AssertionOf([&] { refs.Add(std::make_unique<TGenotype>(&pop)); }),
            "A reference list can't own a genotype!");
  EXPECT_EQ(AssertionOf([&] { owning.Add(second); }),
            "An owning genotype list takes genotypes by unique_ptr!");
  refs.Clear();  // must not free
  EXPECT_EQ(owning.IndexOf(second), 1);
  owning.Exchange(0, 1);
  EXPECT_EQ(owning[0], second);
  auto taken = owning.Extract(0);
  EXPECT_EQ(taken.get(), second);
  EXPECT_EQ(owning.Count(), 1);
  EXPECT_THROW(owning.Items(1), EListError);
  owning.Delete(0);
  EXPECT_TRUE(owning.Empty());
}

}  // namespace
}  // namespace qf
