// The tasks' scoring on hand-made controllers, against values computed independently: a
// linear-quadratic regulator for the double pole with velocities (gains from the linearised
// dynamics, mapped onto the sigmoid's slope) and the same gains without velocities, where
// connections delayed by two network steps stand in for the speeds.

#include "examples/polebalance/pole_tasks.h"

#include <cmath>
#include <numbers>
#include <set>
#include <tuple>

#include "tests/neat/neat_test_util.h"

namespace qf::pole {
namespace {

using test::kHidden;
using test::kInput;
using test::kOutput;

constexpr double kDeg = std::numbers::pi / 180.0;

// Regulator gains on the scaled inputs x, xd, th1, thd1, th2, thd2.
constexpr double kGains[6] = {-0.4898102233497991, -0.4668817048822663, -2.8491022040464897,
                              -2.8307956358105892, 1.7441318892582072, 0.5635720594220417};

class PoleTasksTest : public test::NeatTest {
protected:
  TTransferFunction* Sigmoid() { return TransferFunctionList().Items(0); }

  // Inputs 0 .. n - 1, output n with the sigmoid, no links.
  std::unique_ptr<TGenotype> Bare(int32_t inputs) {
    auto g = std::make_unique<TGenotype>(&pop);
    for (int32_t i = 0; i < inputs; ++i) AddNode(*g, i, kInput, 0.0, Sigmoid());
    AddNode(*g, inputs, kOutput, 100.0, Sigmoid());
    g->MaxNodeDepth = 2;
    return g;
  }

  std::unique_ptr<TGenotype> Regulator() {
    auto g = Bare(7);
    for (int32_t i = 0; i < 6; ++i) AddLink(*g, i, i, 7, kGains[i]);
    g->PreparePhenotype();
    return g;
  }

  // Without velocities: v ~ (p(t) - p(t - 2)) / 0.04, folded into a direct and a delayed link
  // per position input (x/4.8: factor 4.8 / 0.08; angles /0.52: factor 0.52 / 0.08).
  std::unique_ptr<TGenotype> DelayRegulator() {
    auto g = Bare(4);
    const double fold[3] = {60.0, 6.5, 6.5};
    for (int32_t i = 0; i < 3; ++i)
      AddLink(*g, i, i, 4, kGains[2 * i] + fold[i] * kGains[2 * i + 1]);
    for (int32_t i = 0; i < 3; ++i)
      AddLink(*g, 3 + i, i, 4, -fold[i] * kGains[2 * i + 1], true, 1);
    g->PreparePhenotype();
    return g;
  }
};

TEST_F(PoleTasksTest, InputsAreScaledAsEachTaskShowsThem) {
  CartPoleState s;
  s.X = 2.4;
  s.XDot = -1.0;
  s.Theta[0] = 0.26;
  s.ThetaDot[0] = 0.5;
  s.Theta[1] = -0.13;
  s.ThetaDot[1] = 3.0;
  auto input = [](const TGenotype& g, int32_t i) { return g.InputNodes[i]->Value; };

  auto single = Bare(5);
  single->PreparePhenotype();
  SetInputs(*single, PoleTask::SinglePole, s);
  EXPECT_DOUBLE_EQ(input(*single, 0), 0.5);
  EXPECT_DOUBLE_EQ(input(*single, 1), -0.5);
  EXPECT_DOUBLE_EQ(input(*single, 2), 0.5);
  EXPECT_DOUBLE_EQ(input(*single, 3), 0.25);
  EXPECT_DOUBLE_EQ(input(*single, 4), kBias);

  auto full = Bare(7);
  full->PreparePhenotype();
  SetInputs(*full, PoleTask::DoublePoleVelocities, s);
  EXPECT_DOUBLE_EQ(input(*full, 4), -0.25);
  EXPECT_DOUBLE_EQ(input(*full, 5), 1.5);
  EXPECT_DOUBLE_EQ(input(*full, 6), kBias);

  auto blind = Bare(4);
  blind->PreparePhenotype();
  SetInputs(*blind, PoleTask::DoublePoleNoVelocities, s);
  EXPECT_DOUBLE_EQ(input(*blind, 0), 0.5);
  EXPECT_DOUBLE_EQ(input(*blind, 1), 0.5);
  EXPECT_DOUBLE_EQ(input(*blind, 2), -0.25);
  EXPECT_DOUBLE_EQ(input(*blind, 3), kBias);

  EXPECT_EQ(InputCount(PoleTask::SinglePole), 5);
  EXPECT_EQ(InputCount(PoleTask::DoublePoleVelocities), 7);
  EXPECT_EQ(InputCount(PoleTask::DoublePoleNoVelocities), 4);
  PoleTask parsed{};
  EXPECT_TRUE(ParseTask("double-nv", &parsed));
  EXPECT_EQ(parsed, PoleTask::DoublePoleNoVelocities);
  EXPECT_FALSE(ParseTask("triple", &parsed));
}

TEST_F(PoleTasksTest, GeneralizationGridSpansTheRangesAtTheFiveFractions) {
  const auto starts = GeneralizationStarts();
  std::set<std::tuple<double, double, double, double>> distinct;
  for (const CartPoleState& s : starts) {
    distinct.emplace(s.X, s.XDot, s.Theta[0], s.ThetaDot[0]);
    EXPECT_EQ(s.Theta[1], 0.0);
    EXPECT_EQ(s.ThetaDot[1], 0.0);
  }
  EXPECT_EQ(distinct.size(), 625u);
  // 0.05 of [-r, r] is -0.9 r; 0.25 is -0.5 r; the middle start is all zero.
  EXPECT_NEAR(starts[0].X, -1.944, 1e-12);
  EXPECT_NEAR(starts[0].XDot, -1.215, 1e-12);
  EXPECT_NEAR(starts[0].Theta[0], -3.24 * kDeg, 1e-12);
  EXPECT_NEAR(starts[0].ThetaDot[0], -7.74 * kDeg, 1e-12);
  EXPECT_NEAR(starts[1].ThetaDot[0], -4.3 * kDeg, 1e-12);
  EXPECT_NEAR(starts[125].X, -1.08, 1e-12);
  const CartPoleState& mid = starts[312];
  EXPECT_NEAR(mid.X, 0.0, 1e-12);
  EXPECT_NEAR(mid.XDot, 0.0, 1e-12);
  EXPECT_NEAR(mid.Theta[0], 0.0, 1e-12);
  EXPECT_NEAR(mid.ThetaDot[0], 0.0, 1e-12);
  EXPECT_NEAR(starts[624].X, 1.944, 1e-12);
  EXPECT_NEAR(starts[624].ThetaDot[0], 7.74 * kDeg, 1e-12);
}

TEST_F(PoleTasksTest, DampingFitnessOfHandMadeControllers) {
  EXPECT_DOUBLE_EQ(DampingFitness({50, 0.0}), 0.005);
  EXPECT_DOUBLE_EQ(DampingFitness({99, 7.0}), 0.0099);  // the damping term starts at 100
  EXPECT_DOUBLE_EQ(DampingFitness({1000, 2.5}), 0.1 + 0.9 * 0.3);

  // No links: the output is 0, no force; the short pole falls first, after 21 steps.
  auto idle = Bare(4);
  idle->PreparePhenotype();
  Trial trial;
  EXPECT_DOUBLE_EQ(TaskFitness(*idle, PoleTask::DoublePoleNoVelocities, &trial), 0.0021);
  EXPECT_EQ(trial.Steps, 21);
  EXPECT_EQ(trial.RecentMotion, 0.0);

  // The delayed regulator holds the 1000 steps, jiggling; computed independently: motion
  // 30.625079380698935 over the last 100 steps.
  auto regulator = DelayRegulator();
  const double f = TaskFitness(*regulator, PoleTask::DoublePoleNoVelocities, &trial);
  EXPECT_EQ(trial.Steps, 1000);
  EXPECT_NEAR(trial.RecentMotion, 30.625079380698935, 1e-9);
  EXPECT_NEAR(f, 0.12204075919637976, 1e-12);
  // A second evaluation starts from fresh network state and gives the same score.
  EXPECT_EQ(TaskFitness(*regulator, PoleTask::DoublePoleNoVelocities), f);
}

TEST_F(PoleTasksTest, GeneralizationOfHandMadeControllers) {
  auto idle = Bare(7);
  idle->PreparePhenotype();
  // Without force only the five starts at rest with both poles upright stay balanced.
  EXPECT_EQ(GeneralizationCount(*idle, PoleTask::DoublePoleVelocities, 0, 625), 5);

  auto regulator = Regulator();
  EXPECT_EQ(RunTrial(*regulator, PoleTask::DoublePoleVelocities, StandardStart(), 5000).Steps,
            5000);
  // Computed independently over the same 625 starts: 541 balanced. Counted in two parts with
  // bounds beyond the grid, which are cut.
  EXPECT_EQ(GeneralizationCount(*regulator, PoleTask::DoublePoleVelocities, -5, 300) +
                GeneralizationCount(*regulator, PoleTask::DoublePoleVelocities, 300, 900),
            541);
}

TEST_F(PoleTasksTest, EveryTrialStartsFromFreshNetworkState) {
  // Memory of every kind: a self-loop on the output, a delayed link and a hidden node that
  // the output reads one step late.
  auto g = DelayRegulator();
  AddNode(*g, 5, kHidden, 50.0, Sigmoid());
  AddLink(*g, 6, 4, 4, 0.3, true, 2);
  AddLink(*g, 7, 1, 5, -1.5);
  AddLink(*g, 8, 5, 4, 0.2);
  g->PreparePhenotype();
  const Trial first = RunTrial(*g, PoleTask::DoublePoleNoVelocities, StandardStart(), 1000);
  const Trial again = RunTrial(*g, PoleTask::DoublePoleNoVelocities, StandardStart(), 1000);
  auto copy = g->Clone();
  copy->PreparePhenotype();
  const Trial fresh = RunTrial(*copy, PoleTask::DoublePoleNoVelocities, StandardStart(), 1000);
  EXPECT_GT(first.Steps, 100);
  EXPECT_EQ(again.Steps, first.Steps);
  EXPECT_EQ(again.RecentMotion, first.RecentMotion);
  EXPECT_EQ(fresh.Steps, first.Steps);
  EXPECT_EQ(fresh.RecentMotion, first.RecentMotion);
  copy->ReleaseToCache();
}

}  // namespace
}  // namespace qf::pole
