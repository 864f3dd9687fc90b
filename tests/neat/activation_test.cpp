#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "neat_test_util.h"

namespace qf {
namespace {

using test::AssertionOf;
using test::kHidden;
using test::kInput;
using test::kOutput;

class Activation : public test::NeatTest {
protected:
  void SetUp() override {
    NeatTest::SetUp();
    pop.GenotypeIterationEvent = true;
    pop.OnGenotypeIteration = [this](TNEATPopulation* p, TGenotype* g, TIterationState s) {
      EXPECT_EQ(p, &pop);
      EXPECT_TRUE(current == nullptr || g == current);
      stages += "PMX"[s];
    };
  }
  // Runs one activation and returns the stages seen: P(re), M(id), X (post).
  std::string Run(TGenotype& g, int32_t iterations = -1) {
    current = &g;
    stages.clear();
    g.Iterate(iterations);
    return stages;
  }

  TGenotype* current = nullptr;
  std::string stages;
};

TEST_F(Activation, PassCountFollowsActivationIterations) {
  auto g = Chain(1.0, 1.0);
  g->PreparePhenotype();

  pop.ActivationIterations = 0;
  g->MaxNodeDepth = 2;
  EXPECT_EQ(Run(*g), "PMX") << "a genome without hidden levels runs one pass";
  g->MaxNodeDepth = 3;
  EXPECT_EQ(Run(*g), "PMMX");

  pop.ActivationIterations = 3;
  EXPECT_EQ(Run(*g), "PMMMX");
  EXPECT_EQ(Run(*g, 2), "PMMX") << "an explicit count wins";

  pop.GenotypeIterationEvent = false;
  EXPECT_EQ(Run(*g), "") << "the event is switched off";
  pop.GenotypeIterationEvent = true;
  pop.OnGenotypeIteration = nullptr;
  EXPECT_EQ(AssertionOf([&] { g->Iterate(-1); }), "<none>");
}

TEST_F(Activation, EarlyStoppingWhenTheNetworkSettles) {
  pop.ActivationIterations = -1;
  TGenotype g(&pop);
  AddNode(g, 0, kInput, 0.0);
  AddNode(g, 1, kOutput, 100.0);
  AddLink(g, 0, 0, 1, 2.0);
  g.PreparePhenotype();
  g.SetInput(0, 1.5);
  EXPECT_EQ(Run(g), "PMX") << "the second pass changes nothing";
  EXPECT_EQ(g.GetOutput(0), 3.0);
  EXPECT_TRUE(g.HasSettled());
  EXPECT_EQ(Run(g), "PX") << "unchanged since the last call: settled in the first pass";

  // v := 1 - v never settles: the pass limit of 20 ends it.
  TGenotype flip(&pop);
  AddNode(flip, 0, kInput, 0.0);
  AddNode(flip, 1, kOutput, 100.0);
  AddLink(flip, 0, 0, 1, 1.0);
  AddLink(flip, 1, 1, 1, -1.0);
  flip.PreparePhenotype();
  flip.SetInput(0, 1.0);
  EXPECT_EQ(Run(flip), "P" + std::string(20, 'M') + "X");
}

TEST_F(Activation, RefusesBadPassCountsAndUnpreparedGenomes) {
  auto g = Chain(1.0, 1.0);
  EXPECT_EQ(AssertionOf([&] { g->Iterate(0); }), "At least 1 iteration is required!");
  EXPECT_EQ(AssertionOf([&] { g->Iterate(-2); }), "At least 1 iteration is required!");
  EXPECT_EQ(AssertionOf([&] { g->Iterate(1); }),
            "The phenotype hasn't been prepared, can't iterate!");
  g->PreparePhenotype();
  pop.ActivationIterations = 0;
  g->MaxNodeDepth = 1;
  EXPECT_EQ(AssertionOf([&] { g->Iterate(-1); }), "At least 1 iteration is required!");
  auto clone = g->Clone();
  EXPECT_EQ(AssertionOf([&] { clone->Iterate(1); }),
            "The phenotype hasn't been prepared, can't iterate!");
  EXPECT_THROW(g->SetInput(1, 0.0), EListError);
  EXPECT_THROW(g->SetInput(-1, 0.0), EListError);
  EXPECT_THROW(g->GetOutput(1), EListError);
}

TEST_F(Activation, OutputsSeeHiddenValuesOnePassLate) {
  auto g = Chain(2.0, 3.0);
  g->PreparePhenotype();
  g->SetInput(0, 1.0);
  g->Iterate(1);
  EXPECT_EQ(g->GetOutput(0), 0.0) << "the hidden node still held 0";
  EXPECT_EQ(g->FindNode(2)->Value, 2.0);
  g->SetInput(0, 5.0);
  g->Iterate(1);
  EXPECT_EQ(g->GetOutput(0), 6.0) << "the hidden value of the previous call";
  g->Iterate(1);
  EXPECT_EQ(g->GetOutput(0), 30.0);

  // A direct input -> output link acts in the first pass; a hidden node sees a lower-numbered
  // hidden node's new value.
  TGenotype h(&pop);
  AddNode(h, 0, kInput, 0.0);
  AddNode(h, 1, kOutput, 100.0);
  AddNode(h, 2, kHidden, 50.0);
  AddNode(h, 3, kHidden, 75.0);
  AddLink(h, 0, 0, 1, 1.0);
  AddLink(h, 1, 0, 2, 1.0);
  AddLink(h, 2, 2, 3, 1.0);
  AddLink(h, 3, 3, 1, 10.0);
  h.PreparePhenotype();
  h.SetInput(0, 4.0);
  h.Iterate(1);
  EXPECT_EQ(h.GetOutput(0), 4.0);
  EXPECT_EQ(h.FindNode(3)->Value, 4.0);
  h.Iterate(1);
  EXPECT_EQ(h.GetOutput(0), 44.0);
}

TEST_F(Activation, DelayLinesAndStateCarryOverAndPreparationKeepsThem) {
  TGenotype g(&pop);
  AddNode(g, 0, kInput, 0.0);
  AddNode(g, 1, kOutput, 100.0);
  AddNode(g, 2, kOutput, 100.0);
  AddLink(g, 0, 0, 1, 2.0, true, 1);
  TConnect* off = AddLink(g, 1, 0, 2, 1.0, false, 1);
  g.PreparePhenotype();
  g.SetInput(0, 1.0);
  g.Iterate(1);
  EXPECT_EQ(g.GetOutput(0), 0.0);
  g.Iterate(1);
  EXPECT_EQ(g.GetOutput(0), 0.0);
  // Preparing again between calls must not lose what is in flight.
  g.PreparePhenotype();
  EXPECT_EQ(g.FindConnect(0)->DelayLine[0], 2.0);
  g.Iterate(1);
  EXPECT_EQ(g.GetOutput(0), 2.0) << "delay 1: the first product on the third evaluation";
  EXPECT_EQ(g.GetOutput(1), 0.0);
  EXPECT_EQ(off->DelayLine[0] + off->DelayLine[1], 0.0) << "a disabled link never moves";
  EXPECT_EQ(g.FindNode(2)->IncomingConnects.Count(), 0);
}

TEST_F(Activation, PreparationWiresOnlyWhatExists) {
  TGenotype g(&pop);
  AddNode(g, 0, kInput, 0.0);
  AddNode(g, 1, kInput, 0.0);
  AddNode(g, 2, kOutput, 100.0);
  AddNode(g, 4, kHidden, 50.0);
  AddLink(g, 5, 1, 2, 1.0);
  AddLink(g, 2, 0, 2, 1.0);
  AddLink(g, 3, 9, 2, 1.0);  // no node 9
  AddLink(g, 4, 0, 8, 1.0);  // no node 8
  AddLink(g, 6, 4, 2, 1.0, false);
  g.PreparePhenotype();
  EXPECT_TRUE(g.Prepared);
  ASSERT_EQ(g.InputNodes.Count(), 2);
  EXPECT_EQ(g.InputNodes[1]->Number, 1);
  ASSERT_EQ(g.OutputNodes.Count(), 1);
  EXPECT_EQ(g.NodeEvaluationList.Count(), 4);
  const TConnectList& in = g.FindNode(2)->IncomingConnects;
  ASSERT_EQ(in.Count(), 2);
  EXPECT_EQ(in[0]->InnovationNumber, 2);
  EXPECT_EQ(in[1]->InnovationNumber, 5);
  EXPECT_EQ(g.FindConnect(4)->SourceNode, g.FindNode(0));
  g.SetInput(0, 1.0);
  g.SetInput(1, 2.0);
  g.Iterate(1);
  EXPECT_EQ(g.GetOutput(0), 3.0);
}

TEST_F(Activation, GenomesBuiltByTheEngineRunTheirTransferFunctions) {
  pop.InputNodeCount = 2;
  TGenotype g(&pop);
  g.BuildInitial(2, 1);
  for (TConnect* c : g.ConnectList) {
    c->Enabled = true;
    c->Weight = 0.5;
  }
  g.FindNode(2)->TransferFunction = TransferFunctionList().Items(0);
  g.PreparePhenotype();
  g.SetInput(0, 1.0);
  g.SetInput(1, 1.0);
  pop.ActivationIterations = 1;
  g.Iterate(-1);
  EXPECT_NEAR(g.GetOutput(0), 0.985569, 1e-6);
}

// A failing calculation stops the pass at its node: the node keeps the value it had, later
// nodes are not evaluated, no further event is raised, and the network runs on afterwards.
TEST_F(Activation, AFailingNodeStopsThePassWhereItFails) {
  TTransferFunctionSigmoid sigmoid;
  TGenotype g(&pop);
  AddNode(g, 0, kInput, 0.0);
  AddNode(g, 1, kOutput, 100.0, &sigmoid);
  AddLink(g, 0, 0, 1, 3.0);
  g.PreparePhenotype();
  g.SetInput(0, 1.0);
  Run(g, 1);
  const double before = g.GetOutput(0);
  EXPECT_NEAR(before, 0.999999, 1e-6);
  g.SetInput(0, -1000.0);  // e^(4.924273 * 3000) overflows
  current = &g;
  stages.clear();
  EXPECT_THROW(g.Iterate(1), EOverflow);
  EXPECT_EQ(stages, "P");
  EXPECT_EQ(g.GetOutput(0), before);
  EXPECT_EQ(g.FindNode(1)->PreviousValue, before);
  g.SetInput(0, -1.0);
  Run(g, 1);
  EXPECT_NEAR(g.GetOutput(0), -0.999999, 1e-6);

  // Output 1 sums two huge products and fails; hidden node 2, evaluated after it, and the
  // delay line of the link that would have been read next stay as the last pass left them.
  TGenotype h(&pop);
  AddNode(h, 0, kInput, 0.0);
  AddNode(h, 1, kOutput, 100.0);
  AddNode(h, 2, kHidden, 50.0);
  AddLink(h, 0, 0, 1, 1e308);
  AddLink(h, 1, 0, 1, 1e308);
  TConnect* late = AddLink(h, 2, 2, 1, 1.0, true, 1);
  AddLink(h, 3, 0, 2, 1.0);
  h.PreparePhenotype();
  h.SetInput(0, 0.5);
  Run(h, 2);
  EXPECT_EQ(h.GetOutput(0), 1e308);
  EXPECT_EQ(h.FindNode(2)->Value, 0.5);
  EXPECT_EQ(late->DelayLine[1], 0.5);
  h.SetInput(0, 1.5);
  EXPECT_THROW(h.Iterate(1), EOverflow);
  EXPECT_EQ(h.GetOutput(0), 1e308);
  EXPECT_EQ(h.FindNode(2)->Value, 0.5) << "not evaluated";
  EXPECT_EQ(late->DelayLine[1], 0.5) << "not read";

  // A host's function that returns an infinity or not-a-number fails the same way.
  struct TFixed : TTransferFunction {
    double Result = 0.0;
    double CalculateValue(TNode*) override { return Result; }
  } fixed;
  h.FindNode(1)->TransferFunction = &fixed;
  fixed.Result = std::numeric_limits<double>::infinity();
  EXPECT_THROW(h.Iterate(1), EOverflow);
  fixed.Result = std::numeric_limits<double>::quiet_NaN();
  try {
    h.Iterate(1);
    ADD_FAILURE() << "no failure";
  } catch (const EMathError& e) {
    EXPECT_NE(dynamic_cast<const EInvalidOp*>(&e), nullptr);
    EXPECT_STREQ(e.what(), "Invalid floating point operation");
  }
  EXPECT_EQ(h.GetOutput(0), 1e308);
  EXPECT_EQ(h.FindNode(2)->Value, 0.5);
}

}  // namespace
}  // namespace qf
