#include "game/invaders.h"

#include <cmath>
#include <exception>

#include "base/errors.h"
#include "base/numbers.h"
#include "base/random.h"
#include "base/ticks.h"
#include "game/game_state.h"
#include "neat/genotype.h"
#include "raster/bitmap32.h"

namespace qf {

namespace {
constexpr float kField = 400.0f;
constexpr double kGravity = 232.3;        // a little stronger than the strongest steering
constexpr double kMaxSteering = 230.0;
constexpr double kBombTrigger = 0.8;
constexpr float kBombFitness = 0.1f;
}  // namespace

TInvader::TInvader() {
  TGameState& s = GameState();
  BirthTick = GetTickCount();
  LastBombTick = BirthTick;
  SetSprite(s.InvaderSprite.get());
  X = static_cast<float>(RandomIndex(400));
}

TInvader::~TInvader() {
  std::vector<Bomb>& bombs = GameState().Bombs;
  for (size_t i = bombs.size(); i-- > 0;) {
    if (bombs[i].Owner == this) bombs[i].Owner = nullptr;
  }
}

void TInvader::SetSprite(TBitmap32* sprite) {
  Sprite = sprite;
  HalfWidth = sprite ? sprite->Width() / 2 : 0;
  HalfHeight = sprite ? sprite->Height() / 2 : 0;
}

void TInvader::Draw(TBitmap32& target) const {
  if (!Sprite) return;
  target.Draw(static_cast<int32_t>(X - static_cast<float>(HalfWidth)),
              static_cast<int32_t>(Y - static_cast<float>(HalfHeight)), *Sprite);
}

bool TInvader::CanDropBomb() const {
  return GetTickCount() - LastBombTick > BombInterval && BombsInFlight == 0;
}

void TInvader::DropBomb() {
  if (!CanDropBomb()) return;
  Fitness += kBombFitness;
  LastBombTick = GetTickCount();
  ++BombsInFlight;
  ++GameState().Wave.Bombs;
  GameState().Bombs.push_back(Bomb{X, Y + static_cast<float>(HalfHeight), this});
}

void TInvader::Move(float dt) {
  VelX = static_cast<float>(VelX + double{AccelX} * dt);
  VelY = static_cast<float>(VelY + (AccelY + kGravity) * dt);
  const float speed = static_cast<float>(std::sqrt(double{VelX} * VelX + double{VelY} * VelY));
  if (speed > MaxSpeed) {
    const double r = double{speed} / MaxSpeed;
    VelX = static_cast<float>(VelX / r);
    VelY = static_cast<float>(VelY / r);
  }
  X = static_cast<float>(X + double{VelX} * dt);
  Y = static_cast<float>(Y + double{VelY} * dt);

  if (X < 0) X = kField;
  else if (X > kField) X = 0;
  if (Y < static_cast<float>(HalfHeight)) {
    Y = static_cast<float>(HalfHeight);
    VelY = static_cast<float>(-0.8 * VelY);  // the bounce loses a fifth of the speed
  } else if (Y > kField) {
    Y = 0;  // out at the bottom, back at the top
  }

  RocketDX = RandomUniform() >= 0.5 ? kField : -kField;
  RocketDY = -kField;
}

void TInvader::SenseRocket(float rocketX, float rocketY) {
  const float dx = rocketX - X;
  if (std::fabs(dx) < std::fabs(RocketDX)) RocketDX = dx;
  const float dy = rocketY - Y;
  if (std::fabs(dy) < std::fabs(RocketDY)) RocketDY = dy;
}

TNetworkInvader::TNetworkInvader(TGenotype* genotype, int32_t genomeIndex)
    : Genotype(genotype), GenomeIndex(genomeIndex) {
  QF_ASSERT(genomeIndex >= 0 && genomeIndex < kGenerationSize, "Genome index out of range!");
}

TNetworkInvader::~TNetworkInvader() {
  const uint32_t lived = GetTickCount() - BirthTick;
  Fitness += SurvivalBonus(lived);
  if (!(Fitness >= 0)) Fitness = 0.01f;
  TGameState& s = GameState();
  s.FitnessTable[static_cast<size_t>(GenomeIndex)] = Fitness;
  s.Wave.LifeMs += lived;
  ++s.Wave.Deaths;
}

void TNetworkInvader::Think() {
  const TGameState& s = GameState();
  Genotype->SetInput(0, double{s.PlayerX} - X);
  Genotype->SetInput(1, double{s.PlayerY} - Y);
  Genotype->SetInput(2, CanDropBomb() ? 1.0 : 0.0);
  Genotype->SetInput(3, VelX);
  Genotype->SetInput(4, VelY);
  Genotype->SetInput(5, RocketDX);
  Genotype->SetInput(6, RocketDY);

  // A network that fails, by an engine error or a floating-point failure, makes the invader
  // brake for this frame; the game goes on. Every failure throws where it happens, so what
  // follows it (a bomb, a fitness bonus) does not happen. The outputs are finite doubles; one
  // beyond the single range overflows in the conversion. Past that nothing can fail: a
  // steering vector longer than 1 is divided by its length, so at most 1 is scaled by 230.
  try {
    Genotype->Iterate(-1);
    AccelX = CheckFinite(static_cast<float>(Genotype->GetOutput(0)));
    AccelY = CheckFinite(static_cast<float>(Genotype->GetOutput(1)));
    const double length = std::sqrt(double{AccelX} * AccelX + double{AccelY} * AccelY);
    if (length > 1) {
      AccelX = static_cast<float>(AccelX / length);
      AccelY = static_cast<float>(AccelY / length);
    }
    AccelX = static_cast<float>(AccelX * kMaxSteering);
    AccelY = static_cast<float>(AccelY * kMaxSteering);
    if (Genotype->GetOutput(2) > kBombTrigger) DropBomb();
  } catch (const std::exception&) {
    AccelX = -0.2f * VelX;
    AccelY = -0.2f * VelY;
  }
}

float SurvivalBonus(uint32_t livedMs) {
  return static_cast<float>(RoundHalfEven(livedMs / 1000.0 * 0.6));
}

}  // namespace qf
