// One frame of the game: the schedule of passes and the hit test.

#include <algorithm>
#include <cmath>
#include <string>

#include "base/numbers.h"
#include "base/random.h"
#include "base/ticks.h"
#include "game/game_state.h"
#include "game/invaders.h"
#include "game/main_window.h"
#include "game/particles.h"
#include "raster/layers.h"

namespace qf {

namespace {

constexpr float kPlayerSpeed = 100.0f;  // px/s
constexpr float kField = 400.0f;
constexpr uint32_t kBlinkMs = 3000;
constexpr float kRocketSpeed = 200.0f;
constexpr float kBombSpeed = 220.0f;
constexpr int32_t kKillBurst = 150;
constexpr int32_t kHitBurst = 100;
constexpr int32_t kGameOverBursts = 5;
constexpr float kFpsWindowMs = 2500.0f;
constexpr TColor32 kOutlineColor = 0xFFC80000;
constexpr TColor32 kTextColor = 0xFFFFFFFF;
constexpr float kBombHitFitness = 200.0f;

int32_t Trunc(double x) { return static_cast<int32_t>(x); }

// Keeps a view's or layer's update bracket balanced even when a pass throws (the silent abort
// of an evaluation cut short by closing the window).
template <class T>
class UpdateBracket {
public:
  explicit UpdateBracket(T& target) : target_(target) { target_.BeginUpdate(); }
  ~UpdateBracket() { target_.EndUpdate(); }
  UpdateBracket(const UpdateBracket&) = delete;
  UpdateBracket& operator=(const UpdateBracket&) = delete;

private:
  T& target_;
};

}  // namespace

void TfmMain::GameFrame() {
  TGameState& s = GameState();
  if (!s.Running) {
    s.LastFrameTick = GetTickCount();
    return;
  }
  uint32_t now;
  {
    UpdateBracket view(ImgView);
    {
      UpdateBracket playfield(*s.GameLayer);
      now = GetTickCount();
      const float dt = static_cast<float>((now - s.LastFrameTick) / 1000.0);
      s.GameLayer->Bitmap.Clear(0x00000000);
      MovePlayer(now, dt);
      RunInvaders(dt);
      FlyRockets(dt);
      DropBombs(dt);
      s.Particles->DrawAndRetire(s.GameLayer->Bitmap, now);
      s.GameLayer->Bitmap.FrameRect(0, 0, 400, 400, kOutlineColor);
    }
    DrawStatusBar();
    if (s.Invaders.empty()) NextGeneration();
  }
  ImgView.Invalidate();
  MeasureFrameRate();
  s.LastFrameTick = now;
}

void TfmMain::MovePlayer(uint32_t now, float dt) {
  TGameState& s = GameState();
  if (s.Lives <= 0) return;
  if (s.PlayerDirection != 0) {
    s.PlayerX = static_cast<float>(s.PlayerX + double{kPlayerSpeed} * dt * s.PlayerDirection);
    if (s.PlayerX < 0) s.PlayerX = 0;
    if (s.PlayerX > kField) s.PlayerX = kField;
  }
  bool visible = true;
  if (s.PlayerHitTick != 0) {  // blinking
    visible = RandomUniform() > 0.5;
    if (now - s.PlayerHitTick > kBlinkMs) s.PlayerHitTick = 0;
  }
  if (visible) {
    s.GameLayer->Bitmap.Draw(Trunc(s.PlayerX - s.PlayerHalfWidth),
                             Trunc(s.PlayerY - s.PlayerHalfHeight), *s.PlayerSprite);
  }
}

void TfmMain::RunInvaders(float dt) {
  TGameState& s = GameState();
  for (size_t i = s.Invaders.size(); i-- > 0;) {
    TNetworkInvader& invader = *s.Invaders[i];
    invader.Think();
    invader.Move(dt);
    invader.Draw(s.GameLayer->Bitmap);
  }
}

void TfmMain::FlyRockets(float dt) {
  TGameState& s = GameState();
  TBitmap32& field = s.GameLayer->Bitmap;
  const TBitmap32& sprite = *s.RocketSprite;
  for (size_t r = s.Rockets.size(); r-- > 0;) {
    Rocket& rocket = s.Rockets[r];
    rocket.Y = static_cast<float>(rocket.Y - double{kRocketSpeed} * dt);
    field.Draw(Trunc(rocket.X - sprite.Width() / 2), Trunc(rocket.Y), sprite);
    if (rocket.Y < -static_cast<float>(sprite.Height())) {  // gone at the top
      s.Rockets.erase(s.Rockets.begin() + static_cast<ptrdiff_t>(r));
      continue;
    }
    for (size_t j = s.Invaders.size(); j-- > 0;) {
      TNetworkInvader& invader = *s.Invaders[j];
      if (!HitsInvader(invader, rocket.X, rocket.Y)) {
        invader.SenseRocket(rocket.X, rocket.Y);
        continue;
      }
      const float x = rocket.X;
      const float y = rocket.Y;
      AddLog("Hit Invader " + std::to_string(j));
      PlayWave(s.ChimesWave);
      Explode(Trunc(x), Trunc(y), kKillBurst);
      s.Invaders.erase(s.Invaders.begin() + static_cast<ptrdiff_t>(j));  // records its fitness
      if (!s.Invaders.empty()) InsertInvader();
      s.Rockets.erase(s.Rockets.begin() + static_cast<ptrdiff_t>(r));
      break;
    }
  }
}

void TfmMain::DropBombs(float dt) {
  TGameState& s = GameState();
  TBitmap32& field = s.GameLayer->Bitmap;
  const TBitmap32& sprite = *s.BombSprite;
  for (size_t b = s.Bombs.size(); b-- > 0;) {
    Bomb& bomb = s.Bombs[b];
    bomb.Y = static_cast<float>(bomb.Y + double{kBombSpeed} * dt);
    field.Draw(Trunc(bomb.X - sprite.Width() / 2), Trunc(bomb.Y), sprite);
    // The bomb's top-centre point against the ship's alpha: its hit mask.
    const TColor32 mask = s.PlayerSprite->GetPixelClipped(
        Trunc((double{bomb.X} - s.PlayerX) + s.PlayerHalfWidth),
        Trunc((double{bomb.Y} - s.PlayerY) + s.PlayerHalfHeight));
    if ((mask >> 24) != 0 && s.PlayerHitTick == 0) {
      --s.Lives;
      PlayWave(s.TadaWave);
      Explode(Trunc(bomb.X), Trunc(bomb.Y), kHitBurst);
      if (s.Lives <= 0) {
        for (int i = 0; i < kGameOverBursts; ++i) {
          const double r1 = RandomUniform();  // row first
          const double r2 = RandomUniform();
          Explode(Trunc((1 - 2 * r2) * s.PlayerHalfWidth + s.PlayerX),
                  Trunc((1 - 2 * r1) * s.PlayerHalfHeight + s.PlayerY), kHitBurst);
        }
        s.GameOverLayer->SetVisible(true);
      }
      s.PlayerHitTick = GetTickCount();
      if (bomb.Owner) {
        bomb.Owner->Fitness += kBombHitFitness;
        --bomb.Owner->BombsInFlight;
      }
      s.Bombs.erase(s.Bombs.begin() + static_cast<ptrdiff_t>(b));
    } else if (bomb.Y > static_cast<float>(sprite.Height()) + kField) {  // out at the bottom
      if (bomb.Owner) --bomb.Owner->BombsInFlight;
      s.Bombs.erase(s.Bombs.begin() + static_cast<ptrdiff_t>(b));
    }
  }
}

void TfmMain::DrawStatusBar() {
  TGameState& s = GameState();
  TBitmap32& bar = s.HudLayer->Bitmap;
  UpdateBracket layer(*s.HudLayer);
  UpdateBracket bitmap(bar);
  bar.FillRect(2, 2, 398, 28, 0x00000000);  // the outline drawn at start-up stays
  bar.Draw(4, 4, *s.InvaderSprite);
  const auto remaining = kGenerationSize - s.InvadersInserted + static_cast<int32_t>(s.Invaders.size());
  bar.RenderText(26, 2, std::to_string(remaining), 1, kTextColor);
  bar.Draw(60, 2, *s.LifeSprite);
  bar.RenderText(84, 2, std::to_string(s.Lives), 1, kTextColor);
  bar.RenderText(160, 2, "Gen " + std::to_string(s.Generation), 0, kTextColor);
  // At 290 a figure of 100 or more would run past the bar's inside (it ends before 398): such
  // a figure ends at that edge instead.
  const std::string fps = FormatFloat("####.00", s.FramesPerSecond) + " FPS";
  bar.RenderText(std::min(290, 398 - bar.TextExtent(fps).cx), 2, fps, 1, kTextColor);
}

void TfmMain::MeasureFrameRate() {
  TGameState& s = GameState();
  ++s.FrameCount;
  const auto elapsed = static_cast<float>(GetTickCount() - s.FpsStartTick);
  if (elapsed > kFpsWindowMs) {
    s.FramesPerSecond = static_cast<float>(s.FrameCount / (elapsed / 1000.0));
    UpdateCaption();
    s.FrameCount = 0;
    s.FpsStartTick = GetTickCount();
  }
}

bool TfmMain::HitsInvader(const TInvader& invader, float x, float y) const {
  const TGameState& s = GameState();
  const auto hw = static_cast<float>(invader.HalfWidth);
  const auto hh = static_cast<float>(invader.HalfHeight);
  const auto rw = static_cast<float>(s.RocketHalfWidth);
  const auto rh = static_cast<float>(s.RocketHalfHeight);
  const float left = std::max(invader.X - hw, x - rw);
  const float right = std::min(invader.X + hw, x + rw);
  const float top = std::max(invader.Y - hh, y - rh);
  const float bottom = std::min(invader.Y + hh, y + rh);
  return left <= right && top <= bottom;
}

}  // namespace qf
