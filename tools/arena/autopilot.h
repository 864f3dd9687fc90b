#pragma once
// The arena's player: reads the game state, as a human reads the screen, and answers with key
// events only. It steers under the invader it can hit soonest, fires whenever a rocket fired
// now is predicted to meet an invader, plans its moves around the bombs already falling, keeps
// out from under low invaders that could drop one, and answers the game-over picture with Y.
//
// Skill levels make it a weaker player by what it perceives, never by what it may do: the
// same planner sees the world late, misjudges where the invaders are, and overlooks bombs.
//   autopilot  sees everything at once and exactly (the arena's default player)
//   nododge    aims and fires like the autopilot but ignores bombs and the invaders that
//              could drop one
//   human      sees the world 250 ms late, misjudges the invaders' x by about 4 px (a fresh
//              error after every shot) and notices a bomb with probability 0.6
//   skilled    a practised human: 100 ms late, about 1.5 px off, notices 95% of the bombs
// A late view is carried forward the way anyone would: bombs along their fall, invaders along
// the velocity they were seen with; what appeared, turned or dropped within the delay is not
// known yet.

#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace qf {
class HeadlessApplication;
struct TGameState;
}  // namespace qf

namespace qf::arena {

enum class Skill { Autopilot, NoDodge, Human, Skilled };

struct SkillProfile {
  uint32_t ReactionMs = 0;         // how old the view of the invaders and bombs is
  double AimNoisePx = 0;           // standard deviation of the error in the invaders' x
  double NoticeChance = 1;         // probability of noticing a bomb, once per bomb
  bool WatchesLowInvaders = true;  // keeps out from under armed invaders close above
};

SkillProfile ProfileOf(Skill skill);
const char* SkillName(Skill skill);
std::optional<Skill> ParseSkill(std::string_view name);
inline constexpr Skill kAllSkills[] = {Skill::Autopilot, Skill::NoDodge, Skill::Human,
                                       Skill::Skilled};

struct AutopilotDecision {
  int32_t Direction = 0;  // -1 left, 0 stand, +1 right
  bool Fire = false;
  bool Restart = false;   // Y at game over
  float AimX = 200.0f;    // where it wants the ship, for inspection
  int32_t Threats = 0;    // bombs it is dodging
};

// What the player knows of an invader and of a bomb.
struct SeenInvader {
  const void* Id;  // compared only, never followed: with the birth tick
  uint32_t BirthTick;
  uint32_t LastBombTick;
  uint32_t BombsInFlight;
  float X, Y, VelX, VelY;
  int32_t HalfWidth, HalfHeight;
};
struct SeenBomb {
  float X, Y;
};
struct View {
  uint32_t Tick = 0;
  std::vector<SeenInvader> Invaders;
  std::vector<SeenBomb> Bombs;
};

class Autopilot {
public:
  // frameStepMs: the arena's frame time, used as the margin of every timing prediction.
  // seed: the player's own random numbers (aim errors, which bombs it notices). They never
  // come from the game's random source, so a player's dice cannot change the game's draws.
  explicit Autopilot(uint32_t frameStepMs, Skill skill = Skill::Autopilot, uint32_t seed = 1)
      : Autopilot(frameStepMs, ProfileOf(skill), seed) {}
  Autopilot(uint32_t frameStepMs, const SkillProfile& profile, uint32_t seed);

  // What to do at tick `now`, the tick of the next frame.
  // It remembers its target, and for a late view what it saw, between calls.
  AutopilotDecision Decide(const TGameState& s, uint32_t now);

  // Posts the key events that carry out the decision: arrow downs and ups so that the ship's
  // direction becomes decision.Direction, Space down and up, Y down and up.
  void Post(HeadlessApplication& app, const TGameState& s, const AutopilotDecision& decision);

  // Forgets which arrows it holds, its target and what it has seen, and starts its random
  // numbers afresh from the seed (after a new game the ship's direction is kept by the game,
  // so the held keys stay meaningful; this is for a fresh playfield).
  void Reset(uint32_t seed);

  const SkillProfile& Profile() const { return profile_; }

private:
  // The world as this player knows it at `now`.
  View Perceive(const TGameState& s, uint32_t now);
  double Uniform();
  double Gaussian();

  double stepSeconds_;
  SkillProfile profile_;
  // mt19937's sequence is fixed by the standard, its distributions are not: the uniform and
  // normal numbers are made here from its raw output, so a seed plays the same everywhere.
  std::mt19937 random_;
  std::deque<View> seen_;              // with a reaction time: the views not yet acted on
  std::vector<SeenBomb> trackedBombs_;  // every bomb in flight, to notice each one once
  std::vector<bool> noticed_;
  double aimError_ = 0;

  const void* target_ = nullptr;  // compared only, never followed: with its birth tick
  uint32_t targetBirth_ = 0;
  float targetAim_ = 200.0f;
  bool seamHeld_ = false;
  uint32_t seamSince_ = 0;
  bool leftHeld_ = false;
  bool rightHeld_ = false;
};

}  // namespace qf::arena
