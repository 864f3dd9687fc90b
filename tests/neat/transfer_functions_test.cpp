#include "neat/transfer_functions.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <vector>

#include "neat_test_util.h"

namespace qf {
namespace {

using test::AssertionOf;
using test::kInput;
using test::kOutput;

// A node fed by inputs 0 .. n-1 with the given weights (input i -> node n, innovation i).
class TransferFunctions : public test::NeatTest {
protected:
  TNode* Fan(const std::vector<double>& weights, TTransferFunction* tf,
             const std::vector<int32_t>& delays = {}) {
    const int32_t n = static_cast<int32_t>(weights.size());
    for (int32_t i = 0; i < n; ++i) AddNode(g, i, kInput, 0.0);
    TNode* target = AddNode(g, n, kOutput, 100.0, tf);
    for (int32_t i = 0; i < n; ++i)
      AddLink(g, i, i, n, weights[i], true, delays.empty() ? 0 : delays[i]);
    g.PreparePhenotype();
    return target;
  }
  void Inputs(const std::vector<double>& values) {
    for (size_t i = 0; i < values.size(); ++i) g.SetInput(static_cast<int32_t>(i), values[i]);
  }

  TGenotype g{&pop};
  TTransferFunctionSigmoid sigmoid;
  TTransferFunctionGaussian gaussian;
  TTransferFunctionMAX max;
  TTransferFunctionMIN min;
  TTransferFunctionIF iff;
  TTransferFunction1DelayGaussian delayed;
};

TEST_F(TransferFunctions, ValuesWithoutIncomingConnections) {
  TNode* node = Fan({}, &sigmoid);
  EXPECT_EQ(sigmoid.CalculateValue(node), 0.0);
  EXPECT_EQ(gaussian.CalculateValue(node), 1.0);
  EXPECT_EQ(max.CalculateValue(node), 0.0);
  EXPECT_EQ(min.CalculateValue(node), 0.0);
  EXPECT_EQ(iff.CalculateValue(node), 0.0);
  EXPECT_EQ(sigmoid.GetSum(node), 0.0);
  EXPECT_EQ(sigmoid.GetMul(node), 1.0);
}

TEST_F(TransferFunctions, SigmoidAndGaussianValues) {
  TNode* node = Fan({1.0, 1.0}, &sigmoid);
  Inputs({0.75, 0.25});
  EXPECT_NEAR(sigmoid.CalculateValue(node), 0.985569, 1e-6);
  EXPECT_NEAR(sigmoid.CalculateValue(node), std::tanh(2.4621365), 1e-12);
  EXPECT_EQ(node->NetInput, 1.0);
  Inputs({0.3, 0.1});
  EXPECT_NEAR(gaussian.CalculateValue(node), 2 * std::exp(-1.0) - 1, 1e-12);
  EXPECT_NEAR(gaussian.CalculateValue(node), -0.264241, 1e-6);
  Inputs({-0.3, -0.1});
  EXPECT_NEAR(gaussian.CalculateValue(node), -0.264241, 1e-6) << "symmetric";
  Inputs({-0.5, 0.0});
  EXPECT_NEAR(sigmoid.CalculateValue(node), -std::tanh(2.4621365 * 0.5), 1e-12);
}

TEST_F(TransferFunctions, SaturationRaisesNoSpuriousFlagsButExtendedOverflowFails) {
  TNode* node = Fan({1.0}, &sigmoid);
  // e^(4.9 * 200) overflows a double but not the extended format: no error, just -1.
  for (double s : {-200.0, 200.0, -2000.0, 1e300}) {
    Inputs({s});
    std::feclearexcept(FE_ALL_EXCEPT);
    const double v = sigmoid.CalculateValue(node);
    const double w = gaussian.CalculateValue(node);
    EXPECT_EQ(std::fetestexcept(FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID), 0) << s;
    EXPECT_EQ(v, s < 0 ? -1.0 : 1.0) << s;
    EXPECT_EQ(w, -1.0) << s;
  }
  // Beyond the extended range the exponential overflows, as in the arithmetic it was made
  // for: e^(4.924273 * 2306.5) does not fit, e^(4.924273 * 2306) does.
  Inputs({-2306.0});
  EXPECT_EQ(sigmoid.CalculateValue(node), -1.0);
  Inputs({-2306.5});
  EXPECT_THROW(sigmoid.CalculateValue(node), EOverflow);
  EXPECT_EQ(node->NetInput, -2306.5) << "the sum itself was computed";
  Inputs({-1e300});
  EXPECT_THROW(sigmoid.CalculateValue(node), EOverflow);
  EXPECT_EQ(gaussian.CalculateValue(node), -1.0) << "its exponential only underflows";
}

// Each operation that would give an infinity throws there: what comes after it in the same
// evaluation (later connections, their delay lines, NetInput) is not touched.
TEST_F(TransferFunctions, OverflowsFailAtTheOperationThatOverflows) {
  const double big = std::numeric_limits<double>::max() / 2;
  TNode* node = Fan({4.0, 1.0, 1.0, 1.0}, &sigmoid, {0, 0, 0, 2});
  Inputs({big, 1.0, 1.0, 5.0});
  TConnect* late = g.FindConnect(3);
  EXPECT_THROW(sigmoid.CalculateValue(node), EOverflow) << "the product of c[0]";
  EXPECT_THROW(sigmoid.GetMul(node), EOverflow);
  EXPECT_THROW(iff.CalculateValue(node), EOverflow) << "the condition";
  EXPECT_EQ(node->NetInput, 0.0);
  EXPECT_EQ(late->DelayLine[2], 0.0);

  // The running sum: c[0] + c[1] overflows, so c[3]'s delay line stays put.
  g.FindConnect(0)->Weight = 1.0;
  Inputs({big, big * 1.5, 1.0, 5.0});
  try {
    sigmoid.GetSum(node);
    ADD_FAILURE() << "no overflow";
  } catch (const EMathError& e) {
    EXPECT_STREQ(e.what(), "Floating point overflow");
  }
  EXPECT_EQ(late->DelayLine[2], 0.0);
  EXPECT_EQ(node->NetInput, 0.0);
  EXPECT_THROW(gaussian.CalculateValue(node), EOverflow);
  EXPECT_THROW(delayed.CalculateValue(node), EOverflow);
  EXPECT_EQ(node->TransferState[0], 0.0);

  // The product of the delayed connection fails before its line moves.
  Inputs({1.0, 1.0, 1.0, 5.0});
  EXPECT_EQ(sigmoid.GetSum(node), 3.0);
  EXPECT_EQ(late->DelayLine[2], 5.0);
  late->Weight = 1e300;
  Inputs({1.0, 1.0, 1.0, 1e10});
  EXPECT_THROW(sigmoid.GetSum(node), EOverflow);
  EXPECT_EQ(late->DelayLine[1], 0.0);
  EXPECT_EQ(late->DelayLine[2], 5.0);
  EXPECT_EQ(node->NetInput, 3.0);

  // GetMul: 1e9 times a finite factor overflows before the 1e9 rule could make it 0.
  late->Weight = 1.0;
  Inputs({1e9, 1.0, big, 1.0});
  EXPECT_THROW(sigmoid.GetMul(node), EOverflow);
  Inputs({1e9, 1.0, 1e299, 1.0});
  EXPECT_EQ(sigmoid.GetMul(node), 0.0) << "a large but finite product is capped";

  // IF: the sum from the third connection on, checked after each addition.
  Inputs({1.0, 1.0, big * 1.5, big * 1.5});
  late->SetDelay(0);
  EXPECT_THROW(iff.CalculateValue(node), EOverflow);
  Inputs({1.0, 1.0, big * 1.5, -big * 1.5});
  EXPECT_EQ(iff.CalculateValue(node), 0.0);
}

TEST(ExtendedExp, AgreesWithTheLibraryToTheLastBitsOfTheExtendedFormat) {
  const long double tolerance = 0x1p-61L;  // four units of the 64-bit mantissa's last place
  long double worst = 0;
  for (long double x = -11349.0L; x < 11349.0L; x += 0.8765432L) {
    const long double want = std::exp(x);
    worst = std::max(worst, std::fabs(ExtendedExp(x) - want) / want);
  }
  for (long double x = -30.0L; x < 30.0L; x += 0.0012345L) {
    const long double want = std::exp(x);
    worst = std::max(worst, std::fabs(ExtendedExp(x) - want) / want);
  }
  EXPECT_LT(worst, tolerance);
  EXPECT_EQ(ExtendedExp(0.0L), 1.0L);

  std::feclearexcept(FE_ALL_EXCEPT);
  EXPECT_EQ(ExtendedExp(-12000.0L), 0.0L);
  EXPECT_GT(ExtendedExp(-11352.0L), 0.0L);
  EXPECT_EQ(std::fetestexcept(FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID), 0);
  EXPECT_TRUE(std::isinf(ExtendedExp(11357.0L)));
  EXPECT_NE(std::fetestexcept(FE_OVERFLOW), 0);
  std::feclearexcept(FE_ALL_EXCEPT);
  EXPECT_TRUE(std::isnan(ExtendedExp(std::numeric_limits<long double>::quiet_NaN())));
}

TEST_F(TransferFunctions, GetSumRefusesDisabledConnections) {
  TNode* node = Fan({1.0, 1.0}, &sigmoid);
  g.FindConnect(1)->Enabled = false;  // changed after preparation
  EXPECT_EQ(AssertionOf([&] { sigmoid.CalculateValue(node); }), "Connection is not enabled!");
}

TEST_F(TransferFunctions, GetMulStopsAtZeroAndCapsLargeProducts) {
  TNode* node = Fan({1.0, 1.0, 1.0}, &sigmoid, {0, 1, 1});
  Inputs({2.0, 0.0, 3.0});
  // The second factor is 0 (its delay line still holds the initial 0): the third line stays.
  EXPECT_EQ(sigmoid.GetMul(node), 0.0);
  EXPECT_EQ(node->NetInput, 0.0);
  EXPECT_EQ(g.FindConnect(2)->DelayLine[1], 0.0) << "not evaluated after the product hit 0";

  TGenotype h(&pop);
  AddNode(h, 0, kInput, 0.0);
  AddNode(h, 1, kInput, 0.0);
  AddNode(h, 2, kInput, 0.0);
  TNode* t = AddNode(h, 3, kOutput, 100.0);
  AddLink(h, 0, 0, 3, 1.0);
  AddLink(h, 1, 1, 3, 1.0);
  AddLink(h, 2, 2, 3, 1.0, true, 2);
  h.PreparePhenotype();
  h.SetInput(0, 1e5);
  h.SetInput(1, 1e5);
  h.SetInput(2, 4.0);
  EXPECT_EQ(sigmoid.GetMul(t), 0.0) << "1e10 is beyond 1e9";
  EXPECT_EQ(h.FindConnect(2)->DelayLine[2], 0.0) << "the product stopped before it";
  h.SetInput(1, 2.0);
  EXPECT_EQ(sigmoid.GetMul(t), 0.0) << "the delayed third factor is still 0";
  EXPECT_EQ(h.FindConnect(2)->DelayLine[2], 4.0);
  h.FindConnect(2)->Enabled = false;  // a disabled factor is skipped, not a failure
  h.SetInput(0, 3.0);
  h.SetInput(1, -5.0);
  EXPECT_EQ(sigmoid.GetMul(t), -15.0);
  EXPECT_EQ(t->NetInput, -15.0);
}

TEST_F(TransferFunctions, MaxAndMinReadEveryConnectionOnce) {
  TNode* node = Fan({1.0, -1.0, 2.0}, &max, {0, 0, 1});
  Inputs({0.5, 0.25, 3.0});
  EXPECT_EQ(max.CalculateValue(node), 0.5) << "the delayed connection still delivers 0";
  EXPECT_EQ(min.CalculateValue(node), -0.25);
  EXPECT_EQ(max.CalculateValue(node), 6.0);
  EXPECT_EQ(node->NetInput, 0.0) << "MAX and MIN leave NetInput alone";
}

TEST_F(TransferFunctions, IfChoosesByItsFirstConnection) {
  TNode* two = Fan({1.0, 1.0}, &iff, {0, 1});
  Inputs({1.0, 7.0});
  EXPECT_EQ(iff.CalculateValue(two), 1.0);
  EXPECT_EQ(g.FindConnect(1)->DelayLine[1], 0.0) << "the second connection is not read";
  // A delay of 1 delivers a product on the third evaluation.
  Inputs({-1.0, 7.0});
  EXPECT_EQ(iff.CalculateValue(two), 0.0);
  EXPECT_EQ(iff.CalculateValue(two), 0.0);
  EXPECT_EQ(iff.CalculateValue(two), 7.0);

  TGenotype h(&pop);
  for (int32_t i = 0; i < 4; ++i) AddNode(h, i, kInput, 0.0);
  TNode* four = AddNode(h, 4, kOutput, 100.0);
  for (int32_t i = 0; i < 4; ++i) AddLink(h, i, i, 4, 1.0);
  h.PreparePhenotype();
  h.SetInput(0, 0.5);
  h.SetInput(1, 100.0);
  h.SetInput(2, 2.0);
  h.SetInput(3, 3.0);
  EXPECT_EQ(iff.CalculateValue(four), 5.0);
  h.FindConnect(2)->Enabled = false;
  EXPECT_EQ(iff.CalculateValue(four), 3.0) << "disabled connections are skipped";
  h.SetInput(0, 0.0);
  EXPECT_EQ(iff.CalculateValue(four), 100.0);
  EXPECT_EQ(four->NetInput, 0.0);

  TGenotype k(&pop);
  AddNode(k, 0, kInput, 0.0);
  TNode* one = AddNode(k, 1, kOutput, 100.0);
  AddLink(k, 0, 0, 1, 1.0);
  k.PreparePhenotype();
  k.SetInput(0, -2.0);
  EXPECT_EQ(iff.CalculateValue(one), -1.0);
}

TEST_F(TransferFunctions, DelayedGaussianAnswersOneEvaluationLate) {
  TNode* node = Fan({1.0}, &delayed);
  Inputs({0.4});
  EXPECT_EQ(delayed.CalculateValue(node), 0.0);
  EXPECT_EQ(node->NetInput, 0.4);
  Inputs({0.0});
  EXPECT_NEAR(delayed.CalculateValue(node), -0.264241, 1e-6);
  EXPECT_EQ(delayed.CalculateValue(node), 1.0);
  // Pooling forgets the state.
  node->ResetForPool();
  EXPECT_EQ(node->TransferState[0], 0.0);
}

struct TForgetful : TTransferFunction {};

TEST_F(TransferFunctions, BaseClassMustBeOverridden) {
  TNode* node = Fan({}, &sigmoid);
  TForgetful forgetful;
  EXPECT_EQ(AssertionOf([&] { forgetful.CalculateValue(node); }),
            "TForgetful must override CalculateValue!");
  node->TransferFunction = nullptr;
  EXPECT_EQ(AssertionOf([&] { node->Calculate(); }),
            "The node has no transfer function assigned!");
}

TEST_F(TransferFunctions, RegistryRules) {
  TTransferFunctionList& list = TransferFunctionList();
  ASSERT_GE(list.Count(), 1);
  EXPECT_EQ(list.Names(0), "Sigmoid");
  EXPECT_EQ(list.Items(0)->Name, "Sigmoid");
  EXPECT_NE(dynamic_cast<TTransferFunctionSigmoid*>(list.Items(0)), nullptr);

  const int32_t before = list.Count();
  RegisterTransferFunction("Test", "RegistryRulesMax", std::make_unique<TTransferFunctionMAX>());
  EXPECT_EQ(list.Count(), before + 1);
  EXPECT_EQ(list.Items(before)->Name, "RegistryRulesMax");
  EXPECT_EQ(list.IndexOf("registryrulesMAX"), before);
  EXPECT_EQ(AssertionOf([] {
              RegisterTransferFunction("Test", "REGISTRYRULESMAX",
                                       std::make_unique<TTransferFunctionMIN>());
            }),
            "There is allready a transferfunction named REGISTRYRULESMAX!");
  EXPECT_EQ(AssertionOf([] {
              RegisterTransferFunction("Main", "sigmoid",
                                       std::make_unique<TTransferFunctionSigmoid>());
            }),
            "There is allready a transferfunction named sigmoid!");
  EXPECT_EQ(list.Count(), before + 1);

  // One RandomIndex draw over all entries.
  SetRandSeed(777);
  const int32_t expected = RandomIndex(list.Count());
  SetRandSeed(777);
  EXPECT_EQ(RandomTransferFunction(), list.Items(expected));
  std::vector<int> hits(static_cast<size_t>(list.Count()));
  for (int i = 0; i < 2000; ++i) {
    TNode* n = g.NodeList.Empty() ? AddNode(g, 0, kOutput, 100.0) : g.NodeList[0];
    AssignRandomTransferFunction(n);
    hits[static_cast<size_t>(list.IndexOf(n->TransferFunction->Name))]++;
  }
  for (int h : hits) EXPECT_GT(h, 0);
}

}  // namespace
}  // namespace qf
