#include "tools/arena/autopilot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
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
constexpr double kMaxInvaderSpeed = 250.0;
constexpr uint32_t kShotIntervalMs = 600;
constexpr uint32_t kBlinkMs = 3000;
constexpr uint32_t kBombIntervalMs = 1000;

// Planning.
constexpr double kShipMargin = 3.0;        // px kept between a bomb and the ship's columns
constexpr double kLegStep = 0.1;           // s, granularity of a leg's length
constexpr int kFirstLegSteps = 15;         // first legs of up to 1.5 s
constexpr int kSecondLegSteps = 12;        // second legs of up to 1.2 s
constexpr uint32_t kSeamPatienceMs = 1500;  // how long to wait on one side of the seam
constexpr double kTargetLoyalty = 60.0;    // px nearer another invader must be to take over
constexpr double kRocketWait = 0.3;        // s, a guess at when one of two rockets is gone
constexpr double kLowInvaderReach = 0.45;  // s: a bomb dropped closer than this is hard to dodge
constexpr double kSoftThreatCost = 400.0;  // px of aiming worth giving up to stay clear
constexpr uint32_t kArmingLookaheadMs = 350;  // an invader armed this soon counts as armed
constexpr double kDriftTime = 0.15;        // s of an invader's drift allowed for
constexpr double kKeepGoing = 8.0;         // px: turning back and forth wastes escapes
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

// The velocity is kept: a network's steering can swing from frame to frame, so the last
// acceleration says little about the next second, while the velocity changes slowly.
Path PredictPath(const SeenInvader& inv) {
  Path path;
  double x = inv.X, y = inv.Y, vx = inv.VelX, vy = inv.VelY;
  const double ax = 0, ay = 0;
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
Intercept FindIntercept(const Path& path, const SeenInvader& inv, double launch, double rocketTop,
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

// A move of the ship: dir1 for h1 seconds, then dir2 for h2 seconds, then standing.
struct Plan {
  double X0;
  int Dir1;
  double H1;
  int Dir2;
  double H2;

  double At(double t) const {
    const double first = X0 + Dir1 * kShipSpeed * std::min(t, H1);
    const double x1 = std::clamp(first, 0.0, kField);
    if (t <= H1) return x1;
    return std::clamp(x1 + Dir2 * kShipSpeed * std::min(t - H1, H2), 0.0, kField);
  }
  // The path is straight between its turns, so its extremes lie at the ends or the turns.
  double MinOver(double a, double b) const { return Extreme(a, b, false); }
  double MaxOver(double a, double b) const { return Extreme(a, b, true); }

private:
  double Extreme(double a, double b, bool wantMax) const {
    double m = At(a);
    for (double t : {b, H1, H1 + H2}) {
      if (t < a || t > b) continue;
      m = wantMax ? std::max(m, At(t)) : std::min(m, At(t));
    }
    return m;
  }
};

}  // namespace

SkillProfile ProfileOf(Skill skill) {
  switch (skill) {
    case Skill::NoDodge: return SkillProfile{0, 0.0, 0.0, false};
    case Skill::Human: return SkillProfile{250, 4.0, 0.6, true};
    case Skill::Skilled: return SkillProfile{100, 1.5, 0.95, true};
    case Skill::Autopilot: break;
  }
  return SkillProfile{};
}

const char* SkillName(Skill skill) {
  switch (skill) {
    case Skill::NoDodge: return "nododge";
    case Skill::Human: return "human";
    case Skill::Skilled: return "skilled";
    case Skill::Autopilot: break;
  }
  return "autopilot";
}

std::optional<Skill> ParseSkill(std::string_view name) {
  for (Skill skill : kAllSkills)
    if (name == SkillName(skill)) return skill;
  return std::nullopt;
}

Autopilot::Autopilot(uint32_t frameStepMs, const SkillProfile& profile, uint32_t seed)
    : stepSeconds_(frameStepMs / 1000.0), profile_(profile) {
  Reset(seed);
}

void Autopilot::Reset(uint32_t seed) {
  random_.seed(seed);
  seen_.clear();
  trackedBombs_.clear();
  noticed_.clear();
  aimError_ = profile_.AimNoisePx > 0 ? profile_.AimNoisePx * Gaussian() : 0.0;
  leftHeld_ = rightHeld_ = false;
  target_ = nullptr;
  targetBirth_ = 0;
  targetAim_ = 200.0f;
  seamHeld_ = false;
  seamSince_ = 0;
}

double Autopilot::Uniform() {  // 53 random bits in [0, 1)
  const uint64_t high = random_() >> 5;
  const uint64_t low = random_() >> 6;
  return static_cast<double>(high << 26 | low) * 0x1p-53;
}

double Autopilot::Gaussian() {  // Box and Muller
  const double u = 1.0 - Uniform();
  return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * Uniform());
}

View Autopilot::Perceive(const TGameState& s, uint32_t now) {
  View v;
  v.Tick = now;
  v.Invaders.reserve(s.Invaders.size());
  for (const auto& inv : s.Invaders) {
    v.Invaders.push_back(SeenInvader{inv.get(), inv->BirthTick, inv->LastBombTick,
                                     inv->BombsInFlight, inv->X, inv->Y, inv->VelX, inv->VelY,
                                     inv->HalfWidth, inv->HalfHeight});
  }
  if (profile_.NoticeChance >= 1) {
    for (const Bomb& bomb : s.Bombs) v.Bombs.push_back(SeenBomb{bomb.X, bomb.Y});
  } else if (profile_.NoticeChance > 0) {
    // Bombs keep their order and their x while they fall: a bomb is the next one seen before
    // at its x and no lower, or a new one, which is noticed or not for good.
    std::vector<SeenBomb> tracked;
    std::vector<bool> noticed;
    size_t next = 0;
    for (const Bomb& bomb : s.Bombs) {
      size_t m = next;
      while (m < trackedBombs_.size() &&
             !(trackedBombs_[m].X == bomb.X && trackedBombs_[m].Y <= bomb.Y))
        ++m;
      bool seen;
      if (m < trackedBombs_.size()) {
        seen = noticed_[m];
        next = m + 1;
      } else {
        seen = Uniform() < profile_.NoticeChance;
      }
      tracked.push_back(SeenBomb{bomb.X, bomb.Y});
      noticed.push_back(seen);
      if (seen) v.Bombs.push_back(tracked.back());
    }
    trackedBombs_ = std::move(tracked);
    noticed_ = std::move(noticed);
  }

  if (profile_.ReactionMs > 0) {
    seen_.push_back(std::move(v));
    while (seen_.size() >= 2 && seen_[1].Tick + profile_.ReactionMs <= now) seen_.pop_front();
    if (seen_.front().Tick + profile_.ReactionMs > now) return View{now, {}, {}};  // nothing yet
    v = seen_.front();
    // Carried forward to now: bombs fall straight, invaders keep the velocity they had.
    const double late = (now - v.Tick) / 1000.0;
    for (SeenBomb& bomb : v.Bombs) bomb.Y = static_cast<float>(bomb.Y + kBombSpeed * late);
    for (SeenInvader& inv : v.Invaders) {
      double x = std::fmod(inv.X + inv.VelX * late, kField);
      if (x < 0) x += kField;
      inv.X = static_cast<float>(x);
      inv.Y = static_cast<float>(std::max<double>(inv.Y + inv.VelY * late, inv.HalfHeight));
    }
    v.Tick = now;
  }
  if (aimError_ != 0) {
    for (SeenInvader& inv : v.Invaders) inv.X = static_cast<float>(inv.X + aimError_);
  }
  return v;
}

AutopilotDecision Autopilot::Decide(const TGameState& s, uint32_t now) {
  AutopilotDecision d;
  if (s.GameOverLayer && s.GameOverLayer->Visible()) {
    d.Restart = true;
    seen_.clear();  // the new game's playfield has nothing of this one
    trackedBombs_.clear();
    noticed_.clear();
    return d;
  }
  if (!s.Running || s.Lives <= 0) return d;
  const View world = Perceive(s, now);

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
  for (const SeenBomb& bomb : world.Bombs) {
    inTheWay(bomb.X, (rowsTop - bomb.Y) / kBombSpeed - step,
             (rowsBottom - bomb.Y) / kBombSpeed + step, kHardThreatCost);
  }
  d.Threats = static_cast<int32_t>(threats.size());
  // Low invaders that may drop a bomb any moment: a bomb from there comes too fast to dodge,
  // so the ship keeps out from under them, allowing for their drift.
  for (const SeenInvader& inv : world.Invaders) {
    if (!profile_.WatchesLowInvaders) break;
    const double dropY = inv.Y + inv.HalfHeight;
    const double enter = (rowsTop - dropY) / kBombSpeed;
    if (dropY >= rowsBottom || enter > kLowInvaderReach || inv.BombsInFlight != 0) continue;
    const uint32_t armedFor = now - inv.LastBombTick;
    if (armedFor + kArmingLookaheadMs <= kBombIntervalMs) continue;
    const double drift = std::fabs(inv.VelX) * kDriftTime + 4;
    const size_t before = threats.size();
    inTheWay(inv.X, enter, (rowsBottom - dropY) / kBombSpeed + step, kSoftThreatCost);
    if (threats.size() > before) {
      threats.back().Low -= drift;
      threats.back().High += drift;
    }
  }

  // The aim: the invader whose rocket intercept is nearest, allowing for the time the ship
  // needs to get under it. The ship sticks to its target unless another is much nearer, and
  // stays on its side of the field when the target crosses the seam where x wraps: chasing it
  // from one edge to the other is hopeless.
  std::vector<Path> paths;
  paths.reserve(world.Invaders.size());
  for (const SeenInvader& inv : world.Invaders) paths.push_back(PredictPath(inv));
  double bestDistance = 1e9;
  double targetDistance = 1e9;
  double targetAim = px;
  const SeenInvader* best = nullptr;
  d.AimX = static_cast<float>(px);
  for (size_t i = 0; i < world.Invaders.size(); ++i) {
    const SeenInvader& inv = world.Invaders[i];
    Intercept hit;
    double launch = 0;
    for (int round = 0; round < 3; ++round) {  // beyond the prediction keep the last answer
      const Intercept next = FindIntercept(paths[i], inv, launch, rocketTop, s.RocketHalfWidth,
                                           s.RocketHalfHeight, nullptr);
      if (!next.Found) break;
      hit = next;
      launch = std::fabs(hit.X - px) / kShipSpeed;
    }
    if (!hit.Found) continue;
    const bool isTarget = inv.Id == target_ && inv.BirthTick == targetBirth_;
    if (isTarget && std::fabs(hit.X - targetAim_) > kField / 2) {
      // Across the seam: hold this side a while, but not for good, the target may stay there.
      if (!seamHeld_) seamSince_ = now;
      seamHeld_ = true;
      if (now - seamSince_ <= kSeamPatienceMs) hit.X = targetAim_;
    } else if (isTarget) {
      seamHeld_ = false;
    }
    const double distance = std::fabs(hit.X - px);
    if (isTarget) {
      targetDistance = distance;
      targetAim = hit.X;
    }
    if (distance < bestDistance) {
      bestDistance = distance;
      best = &inv;
      d.AimX = static_cast<float>(hit.X);
    }
  }
  const bool targetAlive =
      std::any_of(world.Invaders.begin(), world.Invaders.end(), [&](const SeenInvader& inv) {
        return inv.Id == target_ && inv.BirthTick == targetBirth_;
      });
  if (targetDistance < 1e9 && targetDistance <= bestDistance + kTargetLoyalty) {
    d.AimX = static_cast<float>(targetAim);
  } else if (best && (!targetAlive || targetDistance < 1e9)) {
    target_ = best->Id;
    targetBirth_ = best->BirthTick;
  } else if (targetAlive) {
    d.AimX = targetAim_;  // out of reach for the moment: wait where it was last aimed at
  }
  targetAim_ = d.AimX;

  // Moves of two legs: one way (or stand) for a while, then one way (or stand) for a while,
  // then stand. The first leg takes the ship to its aim, the second away from what falls there.
  // The cheapest wins; only its first step is taken, the next frame plans afresh.
  // When the next rocket may go: the ship should be under its aim by then.
  const uint32_t sinceShot = now - s.LastShotTick;
  double shotReady = sinceShot > kShotIntervalMs ? 0.0 : (kShotIntervalMs - sinceShot) / 1000.0;
  if (s.Rockets.size() >= 2) shotReady = std::max(shotReady, kRocketWait);
  double bestCost = 1e18;
  for (int dir1 : {0, -1, 1}) {
    for (int k1 = dir1 == 0 ? 0 : 1; k1 <= kFirstLegSteps; ++k1) {
      const double h1 = k1 * kLegStep;
      for (int dir2 : {0, -1, 1}) {
        for (int k2 = dir2 == 0 ? 0 : 1; k2 <= (dir2 == 0 ? 0 : kSecondLegSteps); ++k2) {
          const Plan plan{px, dir1, h1, dir2, k2 * kLegStep};
          double cost = std::fabs(plan.At(std::max(h1, shotReady)) - d.AimX) + 0.2 * h1 +
                        0.1 * plan.H2;
          if (dir1 != 0 && dir1 == s.PlayerDirection) cost -= kKeepGoing;
          for (const Threat& t : threats) {
            if (plan.MaxOver(t.Enter, t.Leave) >= t.Low && plan.MinOver(t.Enter, t.Leave) <= t.High)
              cost += t.Cost * (1.0 + 1.0 / (1.0 + t.Enter));  // sooner is worse
          }
          if (cost < bestCost) {
            bestCost = cost;
            d.Direction = h1 >= step / 2 ? dir1 : dir2;
          }
        }
      }
    }
  }

  // Fire when a rocket fired now is predicted to meet an invader, or, after a long wait, at
  // one straight above.
  const bool mayFire = now - s.LastShotTick > kShotIntervalMs && s.Rockets.size() < 2;
  if (mayFire) {
    const double rx = std::nearbyint(px);
    for (size_t i = 0; i < world.Invaders.size() && !d.Fire; ++i) {
      d.Fire = FindIntercept(paths[i], world.Invaders[i], step, rocketTop, s.RocketHalfWidth,
                             s.RocketHalfHeight, &rx)
                   .Found;
    }
    if (!d.Fire && s.Rockets.empty() && now - s.LastShotTick > kPatienceMs) {
      for (const SeenInvader& inv : world.Invaders)
        if (std::fabs(inv.X - px) <= inv.HalfWidth + 4) d.Fire = true;
    }
  }
  if (d.Fire && profile_.AimNoisePx > 0) aimError_ = profile_.AimNoisePx * Gaussian();
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
