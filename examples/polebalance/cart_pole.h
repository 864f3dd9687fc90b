#pragma once
// The cart with one or two hinged poles of the pole-balancing benchmarks, after Wieland's
// equations of motion, integrated with fourth-order Runge-Kutta.
//
// Sign convention: gravity is -9.8 m/s^2 and an angle is measured from upright, so an
// unforced pole away from upright falls further. Pole i has mass m_i, half-length l_i and
// hinge friction mu_p; with m~_i = m_i (1 - 3/4 cos^2 th_i) and
// F~_i = m_i l_i thd_i^2 sin th_i + 3/4 m_i cos th_i (mu_p thd_i / (m_i l_i) + g sin th_i):
//   xdd    = (F - mu_c sgn xd + sum F~_i) / (M + sum m~_i)
//   thdd_i = -3 / (4 l_i) (xdd cos th_i + g sin th_i + mu_p thd_i / (m_i l_i))

#include <cstdint>
#include <numbers>

namespace qf::pole {

inline constexpr double kGravity = -9.8;
inline constexpr double kCartMass = 1.0;
inline constexpr double kCartFriction = 0.0005;
inline constexpr double kPoleFriction = 0.000002;
inline constexpr double kMaxForce = 10.0;
inline constexpr double kTimeStep = 0.01;       // one Runge-Kutta step, seconds
inline constexpr int32_t kStepsPerAction = 2;   // the controller acts every 0.02 s
inline constexpr double kTrackLimit = 2.4;      // |x| beyond this fails
inline constexpr double kAngleLimit = 36.0 * std::numbers::pi / 180.0;  // ditto

struct Pole {
  double Mass;
  double HalfLength;
};
inline constexpr Pole kLongPole{0.1, 0.5};
inline constexpr Pole kShortPole{0.01, 0.05};

// Positions in metres and radians, speeds per second. Pole 1 is the long pole; with a single
// pole the second pair stays zero and plays no part.
struct CartPoleState {
  double X = 0.0, XDot = 0.0;
  double Theta[2] = {0.0, 0.0};
  double ThetaDot[2] = {0.0, 0.0};
};

class CartPole {
public:
  // One pole (the long one) or two (long and short).
  explicit CartPole(int32_t poleCount, const CartPoleState& start = {});

  int32_t PoleCount() const { return poleCount_; }
  const CartPoleState& State() const { return state_; }
  void SetState(const CartPoleState& s) { state_ = s; }

  // The time derivative of a state under a force held constant.
  CartPoleState Derivative(const CartPoleState& s, double force) const;
  // One Runge-Kutta step of kTimeStep with the force held.
  void Step(double force);
  // The controller's move: force = kMaxForce * output, the output cut into [-1, 1], held
  // for kStepsPerAction steps.
  void Act(double output);
  // The cart left the track or a pole leaned more than kAngleLimit.
  bool Failed() const;

private:
  int32_t poleCount_;
  CartPoleState state_;
};

}  // namespace qf::pole
