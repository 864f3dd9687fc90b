// The cart-pole physics against values computed independently (a separate Runge-Kutta
// implementation of the same equations, and a 100 times finer integration of the free fall).

#include "examples/polebalance/cart_pole.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace qf::pole {
namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

void ExpectState(const CartPoleState& s, const double (&expected)[6], double tolerance) {
  EXPECT_NEAR(s.X, expected[0], tolerance);
  EXPECT_NEAR(s.XDot, expected[1], tolerance);
  EXPECT_NEAR(s.Theta[0], expected[2], tolerance);
  EXPECT_NEAR(s.ThetaDot[0], expected[3], tolerance);
  EXPECT_NEAR(s.Theta[1], expected[4], tolerance);
  EXPECT_NEAR(s.ThetaDot[1], expected[5], tolerance);
}

TEST(CartPoleTest, DerivativeAndOneStepMatchAnIndependentComputation) {
  CartPoleState s;
  s.X = 0.3;
  s.XDot = -0.2;
  s.Theta[0] = 0.05;
  s.ThetaDot[0] = 0.4;
  s.Theta[1] = -0.03;
  s.ThetaDot[1] = -1.1;
  CartPole cart(2, s);
  ExpectState(cart.Derivative(s, 3.7),
              {-0.2, 3.5675643417443994, 0.4, -4.609988934660552, -1.1, -57.832724402651344},
              1e-12);
  cart.Step(3.7);
  ExpectState(cart.State(),
              {0.2981783430490272, -0.1643346218068385, 0.0537705214606733, 0.3542031485740104,
               -0.043920634396916125, -1.687384178815552},
              1e-13);

  // The mirror image under the mirrored force: every derivative changes sign, friction too.
  CartPoleState m;
  m.XDot = 0.2;
  m.Theta[0] = -0.05;
  m.ThetaDot[0] = -0.4;
  m.Theta[1] = 0.03;
  m.ThetaDot[1] = 1.1;
  m.X = -0.3;
  const CartPoleState d = cart.Derivative(m, -3.7);
  ExpectState(d, {0.2, -3.5675643417443994, -0.4, 4.609988934660552, 1.1, 57.832724402651344},
              1e-12);
}

TEST(CartPoleTest, UnforcedPoleFallsAsComputedIndependently) {
  CartPoleState start;
  start.Theta[0] = 4.5 * kDeg;
  CartPole cart(1, start);
  for (int i = 0; i < 25; ++i) cart.Act(0.0);  // 50 steps, 0.5 s
  // The same Runge-Kutta scheme computed elsewhere ...
  ExpectState(cart.State(),
              {-0.009384467161083406, -0.04777246585487121, 0.2902158331145937,
               1.102063534381516, 0.0, 0.0},
              1e-12);
  // ... and the true motion, from steps of 0.0001 s.
  ExpectState(cart.State(),
              {-0.009384045888138091, -0.0477715443284738, 0.29021477144866836,
               1.1020592379240775, 0.0, 0.0},
              1e-5);
  // The pole falls away from upright and drags the cart the other way.
  EXPECT_GT(cart.State().ThetaDot[0], 0.0);
  EXPECT_LT(cart.State().XDot, 0.0);

  // It passes 36 degrees after 71 steps of 0.01 s: within the 36th action.
  cart.SetState(start);
  int32_t actions = 0;
  while (!cart.Failed()) {
    cart.Act(0.0);
    ++actions;
  }
  EXPECT_EQ(actions, 36);
  ExpectState(cart.State(),
              {-0.02471448785572744, -0.09104647770050346, 0.674821335575313, 2.5744852264323463,
               0.0, 0.0},
              1e-12);
}

TEST(CartPoleTest, ActionsAreCutToTheForceRangeAndFailureIsTheTrackOrEitherPole) {
  CartPole a(2), b(2);
  a.Act(5.0);
  b.Act(1.0);
  EXPECT_EQ(a.State().XDot, b.State().XDot);
  EXPECT_GT(a.State().XDot, 0.0);  // a positive output pushes toward +x
  a.SetState({});
  b.SetState({});
  a.Act(-3.0);
  b.Act(-1.0);
  EXPECT_EQ(a.State().X, b.State().X);

  CartPoleState s;
  CartPole cart(2, s);
  EXPECT_FALSE(cart.Failed());
  s.X = -2.41;
  cart.SetState(s);
  EXPECT_TRUE(cart.Failed());
  s = {};
  s.Theta[1] = 36.5 * kDeg;
  cart.SetState(s);
  EXPECT_TRUE(cart.Failed());
  // With one pole the second pair plays no part.
  CartPole single(1, s);
  EXPECT_FALSE(single.Failed());
  EXPECT_EQ(single.Derivative(s, 0.0).ThetaDot[1], 0.0);
}

}  // namespace
}  // namespace qf::pole
