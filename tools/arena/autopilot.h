#pragma once
// The arena's player: reads the game state, as a human reads the screen, and answers with key
// events only. It steers under the invader it can hit soonest, fires whenever a rocket fired
// now is predicted to meet an invader, plans its moves around the bombs already falling, keeps
// out from under low invaders that could drop one, and answers the game-over picture with Y.

#include <cstdint>

namespace qf {
class HeadlessApplication;
struct TGameState;
}  // namespace qf

namespace qf::arena {

struct AutopilotDecision {
  int32_t Direction = 0;  // -1 left, 0 stand, +1 right
  bool Fire = false;
  bool Restart = false;   // Y at game over
  float AimX = 200.0f;    // where it wants the ship, for inspection
  int32_t Threats = 0;    // bombs it is dodging
};

class Autopilot {
public:
  // frameStepMs: the arena's frame time, used as the margin of every timing prediction.
  explicit Autopilot(uint32_t frameStepMs) : stepSeconds_(frameStepMs / 1000.0) {}

  // What to do at tick `now`, the tick of the next frame.
  // It remembers its target between calls.
  AutopilotDecision Decide(const TGameState& s, uint32_t now);

  // Posts the key events that carry out the decision: arrow downs and ups so that the ship's
  // direction becomes decision.Direction, Space down and up, Y down and up.
  void Post(HeadlessApplication& app, const TGameState& s, const AutopilotDecision& decision);

  // Forgets which arrows it holds (after a new game the ship's direction is kept by the game,
  // so the held keys stay meaningful; this is for a fresh window).
  void Reset() {
    leftHeld_ = rightHeld_ = false;
    target_ = nullptr;
  }

private:
  double stepSeconds_;
  const void* target_ = nullptr;  // compared only, never followed: with its birth tick
  uint32_t targetBirth_ = 0;
  float targetAim_ = 200.0f;
  bool seamHeld_ = false;
  uint32_t seamSince_ = 0;
  bool leftHeld_ = false;
  bool rightHeld_ = false;
};

}  // namespace qf::arena
