#include "game/particles.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>

#include "base/random.h"
#include "base/ticks.h"
#include "raster/bitmap32.h"

namespace qf {

namespace {
constexpr double kDegree = std::numbers::pi / 180.0;
constexpr int32_t kField = 400;
constexpr int64_t kLifetimeMs = 2000;

// Toward zero, saturating: a particle left alone through a long pause may fly far beyond any
// pixel, and it is deleted then anyway.
int32_t TruncPixel(double v) {
  if (!(v > -2147483648.0)) return INT32_MIN;
  if (v >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(v);
}
}  // namespace

TParticleClass::TParticleClass() {
  Randomize();
  LastUpdateTick = GetTickCount();
}

void TParticleClass::Emit(int32_t x, int32_t y, double accelAngle, double accelMagnitude,
                          double angle, double speed) {
  Particle p;
  p.X = x;
  p.Y = y;
  p.PosX = x;
  p.PosY = y;
  p.VelX = speed * std::sin(angle * kDegree);
  p.VelY = -speed * std::cos(angle * kDegree);
  p.AccX = accelMagnitude * std::sin(accelAngle * kDegree);
  p.AccY = -accelMagnitude * std::cos(accelAngle * kDegree);
  p.BirthTick = GetTickCount();
  particles_.push_back(p);
}

void TParticleClass::Update() {
  const uint32_t now = GetTickCount();
  const double dt = static_cast<double>(now - LastUpdateTick);
  for (Particle& p : particles_) {
    p.VelX += dt * p.AccX / 1000;
    p.VelY += dt * p.AccY / 1000;
    p.PosX += dt * p.VelX / 1000;
    p.PosY += dt * p.VelY / 1000;
    p.X = TruncPixel(p.PosX);
    p.Y = TruncPixel(p.PosY);
  }
  LastUpdateTick = now;
}

void TParticleClass::GetParticle(int32_t index, Particle& out) const {
  if (index >= 0 && index <= LastIndex()) out = particles_[static_cast<size_t>(index)];
}

void TParticleClass::Delete(int32_t index) {
  if (index >= 0 && index <= LastIndex()) particles_.erase(particles_.begin() + index);
}

void TParticleClass::Clear() { particles_.clear(); }

void TParticleClass::DrawAndRetire(TBitmap32& target, uint32_t now) {
  Update();
  // Walks from the last to the first as the deleting pass always did, but compacts in one
  // sweep instead of erasing one by one: the survivors keep their order.
  size_t kept = particles_.size();
  for (size_t n = particles_.size(); n-- > 0;) {
    const Particle& p = particles_[n];
    const uint32_t age = now - p.BirthTick;
    target.BlendPixel(p.X, p.Y, ParticleColor(static_cast<float>(age / 2000.0)));
    const int64_t signedAge = static_cast<int32_t>(age);
    const bool gone = p.X < 0 || p.X > kField || p.Y < 0 || p.Y > kField ||
                      std::llabs(signedAge) > kLifetimeMs;
    if (!gone) particles_[--kept] = p;
  }
  particles_.erase(particles_.begin(), particles_.begin() + static_cast<ptrdiff_t>(kept));
}

TColor32 ParticleColor(float t) {
  if (t < 0) t = 0;
  if (t > 1) t = 1;
  const float a = 1.0f - t;
  const auto alpha = static_cast<uint32_t>(255.0 * a);
  const auto green = static_cast<uint32_t>(200.0 * a) + 55;
  const auto blue = static_cast<uint32_t>(20.0 * a);
  return alpha << 24 | 255u << 16 | green << 8 | blue;
}

}  // namespace qf
