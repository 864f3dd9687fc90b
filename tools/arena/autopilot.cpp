#include "tools/arena/autopilot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "game/game_state.h"
#include "game/invaders.h"
#include "platform/headless/headless.h"
#include "raster/bitmap32.h"
#include "raster/layers.h"

namespace qf::arena {

namespace {

// The game's rules as a player learns them.
constexpr double kField = 400.0;
constexpr double kShipSpeed = 100.0;
constexpr double kBombSpeed = 220.0;
constexpr double kRocketSpeed = 200.0;
constexpr double kGravity = 232.3;
constexpr double kMaxInvaderSpeed = 250.0;
constexpr uint32_t kShotIntervalMs = 600;
constexpr uint32_t kBlinkMs = 3000;
constexpr uint32_t kBombIntervalMs = 1000;

// Planning.
constexpr double kShipMargin = 3.0;        // px kept between a bomb and the ship's columns
constexpr double kPlanStep = 0.05;         // s, granularity of a move's length
constexpr int kPlanMoves = 40;             // moves of up to 2 s
constexpr double kLowInvaderReach = 0.45;  // s: a bomb dropped closer than this is hard to dodge
constexpr double kSoftThreatCost = 150.0;  // px of aiming worth giving up to stay clear
constexpr double kHardThreatCost = 1e6;
constexpr double kPredictStep = 0.02;      // s, invader path sampling
constexpr int kPredictSamples = 150;       // 3 s ahead
constexpr uint32_t kPatienceMs = 2500;     // fire anyway at an invader close above after this

struct Threat {
  double Enter;  // s from now
  double Leave;
  double Low;    // ship centres in [Low, High] are in the way
  double High;
  double Cost;
};

// An invader's path under its last steering, sampled every kPredictStep seconds.
struct Path {
  std::array<float, kPredictSamples> X{};
  std::array<float, kPredictSamples> Y{};
};

Path PredictPath(const TInvader& inv) {
  Path path;
  double x = inv.X, y = inv.Y, vx = inv.VelX, vy = inv.VelY;
  const double ax = inv.AccelX, ay = inv.AccelY + kGravity;
  for (int i = 0; i < kPredictSamples; ++i) {
    path.X[static_cast<size_t>(i)] = static_cast<float>(x);
    path.Y[static_cast<size_t>(i)] = static_cast<float>(y);
    vx += ax * kPredictStep;
    vy += ay * kPredictStep;
    const double speed = std::hypot(vx, vy);
    if (speed > kMaxInvaderSpeed) {
      vx *= kMaxInvaderSpeed / speed;
      vy *= kMaxInvaderSpeed / speed;
    }
    x += vx * kPredictStep;
    y += vy * kPredictStep;
    if (x < 0) x = kField;
    else if (x > kField) x = 0;
    if (y < inv.HalfHeight) {
      y = inv.HalfHeight;
      vy = -0.8 * vy;
    } else if (y > kField) {
      y = 0;
    }
  }
  return path;
}

struct Intercept {
  bool Found = false;
  double Time = 0;  // s from now until the rocket meets the invader
  double X = 0;     // the invader's x then
};

// Where a rocket launched `launch` seconds from now from the ship's row meets the invader's
// row band; with a rocket x given, it must also meet the invader's columns.
Intercept FindIntercept(const Path& path, const TInvader& inv, double launch, double rocketTop,
                        double rocketHalfW, double rocketHalfH, const double* rocketX) {
  Intercept hit;
  const int first = static_cast<int>(std::ceil(launch / kPredictStep));
  for (int i = std::max(first, 0); i < kPredictSamples; ++i) {
    const double t = i * kPredictStep;
    const double ry = rocketTop - kRocketSpeed * (t - launch);
    if (ry < -20) break;
    const double ix = path.X[static_cast<size_t>(i)];
    const double iy = path.Y[static_cast<size_t>(i)];
    if (std::fabs(iy - ry) > inv.HalfHeight + rocketHalfH) continue;
    if (rocketX && std::fabs(ix - *rocketX) > inv.HalfWidth + rocketHalfW) continue;
    hit.Found = true;
    hit.Time = t;
    hit.X = ix;
    return hit;
  }
  return hit;
}

// The ship's centre t seconds into a move in direction dir held for h seconds.
double ShipAt(double x0, int dir, double h, double t) {
  return std::clamp(x0 + dir * kShipSpeed * std::min(t, h), 0.0, kField);
}

}  // namespace

AutopilotDecision Autopilot::Decide(const TGameState& s, uint32_t now) const {
  AutopilotDecision d;
  if (s.GameOverLayer && s.GameOverLayer->Visible()) {
    d.Restart = true;
    return d;
  }
  if (!s.Running || s.Lives <= 0) return d;

  const double px = s.PlayerX;
  const double py = s.PlayerY;
  const int32_t hw = s.PlayerHalfWidth;
  const int32_t hh = s.PlayerHalfHeight;
  const int32_t shipW = s.PlayerSprite ? s.PlayerSprite->Width() : 0;
  const int32_t shipH = s.PlayerSprite ? s.PlayerSprite->Height() : 0;
  const double rocketTop = std::nearbyint(py - hh);
  const double step = stepSeconds_;

  // Bombs that will pass the ship's rows, and where the ship must not be then. A bomb hits
  // when its top-centre point lands on the ship's sprite: the ship's left edge is px - hw.
  std::vector<Threat> threats;
  double safeUntil = -1;  // still blinking: nothing can hit before this
  if (s.PlayerHitTick != 0 && now - s.PlayerHitTick <= kBlinkMs)
    safeUntil = (kBlinkMs - (now - s.PlayerHitTick)) / 1000.0 - 2 * step;
  const double rowsTop = py - hh - 1;
  const double rowsBottom = py - hh + shipH;
  auto inTheWay = [&](double bx, double enter, double leave, double cost) {
    if (shipW == 0 || leave < 0 || leave < safeUntil) return;
    threats.push_back(Threat{std::max(enter, 0.0), leave, bx - (shipW - hw) - kShipMargin,
                             bx + hw + 1 + kShipMargin, cost});
  };
  for (const Bomb& bomb : s.Bombs) {
    inTheWay(bomb.X, (rowsTop - bomb.Y) / kBombSpeed - step,
             (rowsBottom - bomb.Y) / kBombSpeed + step, kHardThreatCost);
  }
  d.Threats = static_cast<int32_t>(threats.size());
  // Low invaders that may drop a bomb any moment: a bomb from there comes too fast to dodge.
  for (const auto& inv : s.Invaders) {
    const double dropY = inv->Y + inv->HalfHeight;
    const double enter = (rowsTop - dropY) / kBombSpeed;
    if (enter < 0 || enter > kLowInvaderReach || inv->BombsInFlight != 0) continue;
    if (now - inv->LastBombTick + static_cast<uint32_t>(enter * 1000) <= kBombIntervalMs) continue;
    inTheWay(inv->X, enter, (rowsBottom - dropY) / kBombSpeed + step, kSoftThreatCost);
  }

  // The aim: the invader whose rocket intercept is nearest, allowing for the time the ship
  // needs to get under it.
  std::vector<Path> paths;
  paths.reserve(s.Invaders.size());
  for (const auto& inv : s.Invaders) paths.push_back(PredictPath(*inv));
  double bestDistance = 1e9;
  d.AimX = static_cast<float>(px);
  for (size_t i = 0; i < s.Invaders.size(); ++i) {
    const TInvader& inv = *s.Invaders[i];
    double launch = 0;
    Intercept hit;
    for (int round = 0; round < 3; ++round) {
      hit = FindIntercept(paths[i], inv, launch, rocketTop, s.RocketHalfWidth,
                          s.RocketHalfHeight, nullptr);
      if (!hit.Found) break;
      launch = std::fabs(hit.X - px) / kShipSpeed;
    }
    if (!hit.Found) continue;
    const double distance = std::fabs(hit.X - px);
    if (distance < bestDistance) {
      bestDistance = distance;
      d.AimX = static_cast<float>(hit.X);
    }
  }

  // Moves: stand, or go left or right for a while and stop; the cheapest wins.
  double bestCost = 1e18;
  for (int dir : {0, -1, 1}) {
    for (int k = dir == 0 ? 0 : 1; k <= (dir == 0 ? 0 : kPlanMoves); ++k) {
      const double h = k * kPlanStep;
      double cost = std::fabs(ShipAt(px, dir, h, h) - d.AimX) + 0.5 * h;
      for (const Threat& t : threats) {
        const double a = ShipAt(px, dir, h, t.Enter);
        const double b = ShipAt(px, dir, h, t.Leave);
        if (std::max(a, b) >= t.Low && std::min(a, b) <= t.High)
          cost += t.Cost * (1.0 + 1.0 / (1.0 + t.Enter));  // sooner is worse
      }
      if (cost < bestCost) {
        bestCost = cost;
        d.Direction = h >= step / 2 ? dir : 0;
      }
    }
  }

  // Fire when a rocket fired now is predicted to meet an invader, or, after a long wait, at
  // one straight above.
  const bool mayFire = now - s.LastShotTick > kShotIntervalMs && s.Rockets.size() < 2;
  if (mayFire) {
    const double rx = std::nearbyint(px);
    for (size_t i = 0; i < s.Invaders.size() && !d.Fire; ++i) {
      d.Fire = FindIntercept(paths[i], *s.Invaders[i], step, rocketTop, s.RocketHalfWidth,
                             s.RocketHalfHeight, &rx)
                   .Found;
    }
    if (!d.Fire && s.Rockets.empty() && now - s.LastShotTick > kPatienceMs) {
      for (const auto& inv : s.Invaders)
        if (std::fabs(inv->X - px) <= inv->HalfWidth + 4) d.Fire = true;
    }
  }
  return d;
}

void Autopilot::Post(HeadlessApplication& app, const TGameState& s,
                     const AutopilotDecision& decision) {
  if (decision.Restart) {
    app.PostKey('Y');
    return;
  }
  switch (decision.Direction) {
    case -1:
      if (s.PlayerDirection != -1) app.PostKeyDown(VK_LEFT);
      leftHeld_ = true;
      if (rightHeld_) app.PostKeyUp(VK_RIGHT);  // left keeps the lead
      rightHeld_ = false;
      break;
    case 1:
      if (s.PlayerDirection != 1) app.PostKeyDown(VK_RIGHT);
      rightHeld_ = true;
      if (leftHeld_) app.PostKeyUp(VK_LEFT);
      leftHeld_ = false;
      break;
    default:
      if (leftHeld_ || s.PlayerDirection == -1) app.PostKeyUp(VK_LEFT);
      if (rightHeld_ || s.PlayerDirection == 1) app.PostKeyUp(VK_RIGHT);
      leftHeld_ = rightHeld_ = false;
      break;
  }
  if (decision.Fire) app.PostKey(VK_SPACE);
}

}  // namespace qf::arena
