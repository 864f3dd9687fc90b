#pragma once
// The one game-state record of the program: the playfield's layers, the sprites and sounds,
// the player, the lists of invaders, rockets and bombs, the particles, the counters, the
// fitness table, the log and the frame-rate figures. The main window sets it up at creation,
// a new game resets it, and the window's destruction releases it.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qf {

class TBitmap32;
class TBitmapLayer;
class TInvader;
class TNetworkInvader;
class TParticleClass;

struct Rocket {
  float X = 0;  // centre line
  float Y = 0;  // top edge of the rocket sprite
};

struct Bomb {
  float X = 0;  // centre line
  float Y = 0;  // top edge of the bomb sprite
  TInvader* Owner = nullptr;  // the invader that dropped it, none once that one is destroyed
};

inline constexpr int kGenerationSize = 30;

// What the wave in play has done so far, for the history of the learning view.
struct TWaveCounts {
  int32_t Bombs = 0;    // dropped
  int32_t Hits = 0;     // on the ship
  uint64_t LifeMs = 0;  // lived by the invaders whose life has ended
  int32_t Deaths = 0;   // those invaders
};

struct TGameState {
  TBitmapLayer* GameLayer = nullptr;      // owned by the view
  TBitmapLayer* HudLayer = nullptr;       // owned by the view
  TBitmapLayer* GameOverLayer = nullptr;  // owned by the view
  std::unique_ptr<TBitmap32> InvaderSprite;
  std::unique_ptr<TBitmap32> RocketSprite;
  std::unique_ptr<TBitmap32> BombSprite;
  std::unique_ptr<TBitmap32> PlayerSprite;
  std::unique_ptr<TBitmap32> LifeSprite;
  int32_t RocketHalfWidth = 0;
  int32_t RocketHalfHeight = 0;
  uint32_t LastFrameTick = 0;
  std::string ChimesWave;
  std::string TadaWave;
  bool Running = false;
  int32_t PlayerDirection = 0;
  int32_t PlayerHalfWidth = 0;
  int32_t PlayerHalfHeight = 0;
  int32_t Lives = 0;
  float PlayerX = 0;
  float PlayerY = 0;
  uint32_t PlayerHitTick = 0;
  uint32_t LastShotTick = 0;
  std::vector<Rocket> Rockets;  // in order of firing
  std::vector<Bomb> Bombs;      // in order of dropping
  std::unique_ptr<TParticleClass> Particles;
  int32_t InvadersInserted = 0;
  int32_t Generation = 0;
  std::vector<std::unique_ptr<TNetworkInvader>> Invaders;
  std::array<float, kGenerationSize> FitnessTable{};
  std::vector<std::string> LogLines;
  float FramesPerSecond = 0;
  uint32_t FpsStartTick = 0;
  int32_t FrameCount = 0;
  TWaveCounts Wave;

  TGameState();
  ~TGameState();
  TGameState(const TGameState&) = delete;
  TGameState& operator=(const TGameState&) = delete;
};

// The program's one game state. The main window creates it at its creation and releases it
// at its destruction; using it in between is an assertion failure.
TGameState& GameState();
void CreateGameState();
void ReleaseGameState();

}  // namespace qf
