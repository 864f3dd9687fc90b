#pragma once
// The invaders: each one embodies a genome of the current generation for one life. Every frame
// its network reads seven sensors and answers a steering acceleration and a bomb trigger; what
// it achieves while it lives becomes its genome's fitness.

#include <array>
#include <cstdint>

namespace qf {

// What the network's inputs and outputs mean, in the order Think sets and reads them.
inline constexpr std::array<const char*, 7> kInvaderInputNames{"player dx", "player dy", "bomb ready", "velocity x", "velocity y", "rocket dx", "rocket dy"};
inline constexpr std::array<const char*, 3> kInvaderOutputNames{"steer x", "steer y", "bomb"};

class TBitmap32;
class TGenotype;

class TInvader {
public:
  TInvader();
  // Clears the owner of every bomb this invader dropped.
  virtual ~TInvader();
  TInvader(const TInvader&) = delete;
  TInvader& operator=(const TInvader&) = delete;

  virtual void Think() = 0;

  void SetSprite(TBitmap32* sprite);
  void Draw(TBitmap32& target) const;
  bool CanDropBomb() const;
  void DropBomb();

  // One frame of motion: gravity and steering, the speed limit, the wrap-arounds and the top
  // bounce, then the rocket sensors are reset for the rocket pass to fill.
  void Move(float dt);
  // The rocket pass reports a rocket that did not hit this invader.
  void SenseRocket(float rocketX, float rocketY);

  uint32_t LastBombTick = 0;
  int32_t HalfWidth = 0;
  int32_t HalfHeight = 0;
  TBitmap32* Sprite = nullptr;  // shared, not owned
  float AccelX = 0;
  float AccelY = 0;
  uint32_t BirthTick = 0;
  float X = 0;
  float Y = 0;
  uint32_t BombInterval = 1000;
  uint32_t BombsInFlight = 0;
  float Fitness = 0;
  float MaxSpeed = 250.0f;
  float VelX = 0;
  float VelY = 0;
  float RocketDX = 0;
  float RocketDY = 0;
};

class TNetworkInvader : public TInvader {
public:
  TNetworkInvader(TGenotype* genotype, int32_t genomeIndex);
  // Adds the survival bonus and records the fitness in the game's fitness table.
  ~TNetworkInvader() override;

  void Think() override;

  TGenotype* Genotype = nullptr;  // owned by the population
  int32_t GenomeIndex = 0;
};

// Survival bonus of a life of the given length: 0.6 per second, rounded half to even.
float SurvivalBonus(uint32_t livedMs);

}  // namespace qf
