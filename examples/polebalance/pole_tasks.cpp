#include "examples/polebalance/pole_tasks.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "neat/genotype.h"

namespace qf::pole {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

double Motion(const CartPoleState& s) {
  return std::fabs(s.X) + std::fabs(s.XDot) + std::fabs(s.Theta[0]) + std::fabs(s.ThetaDot[0]);
}

}  // namespace

const char* TaskName(PoleTask task) {
  switch (task) {
    case PoleTask::SinglePole: return "single";
    case PoleTask::DoublePoleVelocities: return "double";
    case PoleTask::DoublePoleNoVelocities: return "double-nv";
  }
  return "?";
}

bool ParseTask(const std::string& name, PoleTask* task) {
  for (PoleTask t : {PoleTask::SinglePole, PoleTask::DoublePoleVelocities,
                     PoleTask::DoublePoleNoVelocities}) {
    if (name == TaskName(t)) {
      *task = t;
      return true;
    }
  }
  return false;
}

int32_t PoleCount(PoleTask task) { return task == PoleTask::SinglePole ? 1 : 2; }

int32_t InputCount(PoleTask task) { return static_cast<int32_t>(InputNames(task).size()); }

std::vector<std::string> InputNames(PoleTask task) {
  switch (task) {
    case PoleTask::SinglePole: return {"x", "ẋ", "θ1", "θ̇1", "bias"};
    case PoleTask::DoublePoleVelocities: return {"x", "ẋ", "θ1", "θ̇1", "θ2", "θ̇2", "bias"};
    case PoleTask::DoublePoleNoVelocities: return {"x", "θ1", "θ2", "bias"};
  }
  return {};
}

CartPoleState StandardStart() {
  CartPoleState s;
  s.Theta[0] = 4.5 * kDegree;
  return s;
}

std::array<CartPoleState, kGeneralizationStarts> GeneralizationStarts() {
  constexpr double kFractions[5] = {0.05, 0.25, 0.5, 0.75, 0.95};
  // A fraction f of the range [-r, r] is -r + 2 f r.
  auto at = [&](int32_t i, double range) { return -range + 2.0 * kFractions[i] * range; };
  std::array<CartPoleState, kGeneralizationStarts> starts{};
  int32_t n = 0;
  for (int32_t a = 0; a < 5; ++a)
    for (int32_t b = 0; b < 5; ++b)
      for (int32_t c = 0; c < 5; ++c)
        for (int32_t d = 0; d < 5; ++d) {
          CartPoleState& s = starts[static_cast<size_t>(n++)];
          s.X = at(a, 2.16);
          s.XDot = at(b, 1.35);
          s.Theta[0] = at(c, 3.6 * kDegree);
          s.ThetaDot[0] = at(d, 8.6 * kDegree);
        }
  return starts;
}

void SetInputs(TGenotype& net, PoleTask task, const CartPoleState& s) {
  switch (task) {
    case PoleTask::SinglePole:
      net.SetInput(0, s.X / 4.8);
      net.SetInput(1, s.XDot / 2.0);
      net.SetInput(2, s.Theta[0] / 0.52);
      net.SetInput(3, s.ThetaDot[0] / 2.0);
      net.SetInput(4, kBias);
      break;
    case PoleTask::DoublePoleVelocities:
      net.SetInput(0, s.X / 4.8);
      net.SetInput(1, s.XDot / 2.0);
      net.SetInput(2, s.Theta[0] / 0.52);
      net.SetInput(3, s.ThetaDot[0] / 2.0);
      net.SetInput(4, s.Theta[1] / 0.52);
      net.SetInput(5, s.ThetaDot[1] / 2.0);
      net.SetInput(6, kBias);
      break;
    case PoleTask::DoublePoleNoVelocities:
      net.SetInput(0, s.X / 4.8);
      net.SetInput(1, s.Theta[0] / 0.52);
      net.SetInput(2, s.Theta[1] / 0.52);
      net.SetInput(3, kBias);
      break;
  }
}

void ResetNetwork(TGenotype& net) {
  for (TNode* node : net.NodeList) {
    node->Value = 0.0;
    node->PreviousValue = 0.0;
    node->NetInput = 0.0;
    std::fill(std::begin(node->TransferState), std::end(node->TransferState), 0.0);
  }
  for (TConnect* connect : net.ConnectList)
    std::fill(std::begin(connect->DelayLine), std::end(connect->DelayLine), 0.0);
}

Trial RunTrial(TGenotype& net, PoleTask task, const CartPoleState& start, int32_t maxSteps) {
  ResetNetwork(net);
  CartPole cart(PoleCount(task), start);
  double recent[kDampingWindow] = {};
  Trial trial;
  while (trial.Steps < maxSteps) {
    SetInputs(net, task, cart.State());
    net.Iterate(-1);
    const double output = net.GetOutput(0);
    if (!std::isfinite(output)) break;
    cart.Act(output);
    if (cart.Failed()) break;
    recent[trial.Steps % kDampingWindow] = Motion(cart.State());
    ++trial.Steps;
  }
  if (trial.Steps >= kDampingWindow) {
    for (double m : recent) trial.RecentMotion += m;
  }
  return trial;
}

double DampingFitness(const Trial& trial) {
  const double f1 = static_cast<double>(trial.Steps) / kDampingSteps;
  // A cart standing perfectly still would divide by zero; the floor keeps the population's
  // fitness total finite.
  const double f2 =
      trial.Steps < kDampingWindow ? 0.0 : 0.75 / std::max(trial.RecentMotion, 1e-6);
  return 0.1 * f1 + 0.9 * f2;
}

double TaskFitness(TGenotype& net, PoleTask task, Trial* trial) {
  const bool damping = task == PoleTask::DoublePoleNoVelocities;
  const Trial t = RunTrial(net, task, StandardStart(), damping ? kDampingSteps : kSolvedSteps);
  if (trial) *trial = t;
  return damping ? DampingFitness(t) : static_cast<double>(t.Steps);
}

int32_t GeneralizationCount(TGenotype& net, PoleTask task, int32_t first, int32_t last) {
  static const auto starts = GeneralizationStarts();
  int32_t balanced = 0;
  for (int32_t i = std::max(first, 0); i < std::min(last, kGeneralizationStarts); ++i) {
    if (RunTrial(net, task, starts[static_cast<size_t>(i)], kGeneralizationSteps).Steps ==
        kGeneralizationSteps)
      ++balanced;
  }
  return balanced;
}

}  // namespace qf::pole
