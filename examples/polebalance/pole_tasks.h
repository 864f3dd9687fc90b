#pragma once
// The three pole-balancing tasks as a network sees them: which state goes in and how it is
// scaled, where a trial starts, how long it may run and how it is scored.
//
// A network step is one decision every 0.02 s (two integration steps); "steps" below are
// network steps. The network's first output, cut into [-1, 1], is the force in units of
// 10 N. Every trial starts from a network with fresh state (node values, transfer-function
// memory, delay lines all zero), as a copy of the genome would have.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "examples/polebalance/cart_pole.h"

namespace qf {
class TGenotype;
}

namespace qf::pole {

enum class PoleTask {
  SinglePole,                 // inputs x, xd, th, thd
  DoublePoleVelocities,       // inputs x, xd, th1, thd1, th2, thd2
  DoublePoleNoVelocities,     // inputs x, th1, th2: velocities must be remembered
};

inline constexpr int32_t kSolvedSteps = 100000;
inline constexpr int32_t kDampingSteps = 1000;      // one scoring trial without velocities
inline constexpr int32_t kDampingWindow = 100;      // steps the damping term looks back over
inline constexpr int32_t kGeneralizationStarts = 625;
inline constexpr int32_t kGeneralizationSteps = 1000;
inline constexpr int32_t kGeneralizationNeeded = 200;
inline constexpr double kBias = 0.5;                // the constant last input

// "single", "double", "double-nv": the names of the command line.
const char* TaskName(PoleTask task);
bool ParseTask(const std::string& name, PoleTask* task);
int32_t PoleCount(PoleTask task);
// Network inputs including the bias.
int32_t InputCount(PoleTask task);
// What the inputs mean, in the order SetInputs sets them, and the one output.
std::vector<std::string> InputNames(PoleTask task);
inline constexpr const char* kOutputName = "force";

// Every task starts with the long pole at 4.5 degrees and all else at rest.
CartPoleState StandardStart();

// The 625 starts of the generalization test: x, xd, th1, thd1 each at 0.05, 0.25, 0.5,
// 0.75 and 0.95 of the ranges +-2.16 m, +-1.35 m/s, +-3.6 deg, +-8.6 deg/s (x varying
// slowest); the short pole upright and at rest.
std::array<CartPoleState, kGeneralizationStarts> GeneralizationStarts();

// Sets the network's inputs from the state as the task shows it.
void SetInputs(TGenotype& net, PoleTask task, const CartPoleState& s);

// Zeroes the network's state as on a fresh copy; touches only this genome's own genes, so
// different genomes may be reset and run on different threads.
void ResetNetwork(TGenotype& net);

struct Trial {
  int32_t Steps = 0;          // steps balanced
  double RecentMotion = 0.0;  // sum of |x| + |xd| + |th1| + |thd1| over the last
                              // kDampingWindow steps balanced (0 before that many)
};

// Runs a prepared network from a fresh state until the cart fails or maxSteps steps are
// balanced. A network whose output is not a number fails at once.
Trial RunTrial(TGenotype& net, PoleTask task, const CartPoleState& start, int32_t maxSteps);

// 0.1 t / 1000 + 0.9 * (0 below 100 steps, else 0.75 / RecentMotion).
double DampingFitness(const Trial& trial);

// The fitness the population sees: steps balanced (of at most kSolvedSteps) with velocities,
// the damping fitness of one kDampingSteps trial without.
double TaskFitness(TGenotype& net, PoleTask task, Trial* trial = nullptr);

// Of the starts first .. last - 1 of GeneralizationStarts, how many the network balances for
// kGeneralizationSteps, each from a fresh state.
int32_t GeneralizationCount(TGenotype& net, PoleTask task, int32_t first, int32_t last);

}  // namespace qf::pole
