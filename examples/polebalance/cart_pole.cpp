#include "examples/polebalance/cart_pole.h"

#include <algorithm>
#include <cmath>

namespace qf::pole {

namespace {

constexpr Pole kPoles[2] = {kLongPole, kShortPole};

// s + h * d, component by component.
CartPoleState Advance(const CartPoleState& s, const CartPoleState& d, double h) {
  CartPoleState r;
  r.X = s.X + h * d.X;
  r.XDot = s.XDot + h * d.XDot;
  for (int i = 0; i < 2; ++i) {
    r.Theta[i] = s.Theta[i] + h * d.Theta[i];
    r.ThetaDot[i] = s.ThetaDot[i] + h * d.ThetaDot[i];
  }
  return r;
}

}  // namespace

CartPole::CartPole(int32_t poleCount, const CartPoleState& start)
    : poleCount_(std::clamp(poleCount, 1, 2)), state_(start) {}

CartPoleState CartPole::Derivative(const CartPoleState& s, double force) const {
  double effectiveForce = 0.0;
  double effectiveMass = 0.0;
  double hinge[2] = {0.0, 0.0};
  for (int32_t i = 0; i < poleCount_; ++i) {
    const Pole& p = kPoles[i];
    const double sinT = std::sin(s.Theta[i]);
    const double cosT = std::cos(s.Theta[i]);
    hinge[i] = kPoleFriction * s.ThetaDot[i] / (p.Mass * p.HalfLength);
    effectiveForce += p.Mass * p.HalfLength * s.ThetaDot[i] * s.ThetaDot[i] * sinT +
                      0.75 * p.Mass * cosT * (hinge[i] + kGravity * sinT);
    effectiveMass += p.Mass * (1.0 - 0.75 * cosT * cosT);
  }
  const double sign = static_cast<double>((s.XDot > 0.0) - (s.XDot < 0.0));
  CartPoleState d;
  d.X = s.XDot;
  d.XDot = (force - kCartFriction * sign + effectiveForce) / (kCartMass + effectiveMass);
  for (int32_t i = 0; i < poleCount_; ++i) {
    d.Theta[i] = s.ThetaDot[i];
    d.ThetaDot[i] = -0.75 / kPoles[i].HalfLength *
                    (d.XDot * std::cos(s.Theta[i]) + kGravity * std::sin(s.Theta[i]) + hinge[i]);
  }
  return d;
}

void CartPole::Step(double force) {
  constexpr double h = kTimeStep;
  const CartPoleState k1 = Derivative(state_, force);
  const CartPoleState k2 = Derivative(Advance(state_, k1, h / 2), force);
  const CartPoleState k3 = Derivative(Advance(state_, k2, h / 2), force);
  const CartPoleState k4 = Derivative(Advance(state_, k3, h), force);
  CartPoleState sum = Advance(k1, k2, 2.0);
  sum = Advance(sum, k3, 2.0);
  sum = Advance(sum, k4, 1.0);
  state_ = Advance(state_, sum, h / 6);
}

void CartPole::Act(double output) {
  const double force = kMaxForce * std::clamp(output, -1.0, 1.0);
  for (int32_t i = 0; i < kStepsPerAction; ++i) Step(force);
}

bool CartPole::Failed() const {
  if (std::fabs(state_.X) > kTrackLimit) return true;
  for (int32_t i = 0; i < poleCount_; ++i) {
    if (std::fabs(state_.Theta[i]) > kAngleLimit) return true;
  }
  return false;
}

}  // namespace qf::pole
