#pragma once
// Explosion particles: single pixels that fly out from a point, fall under a light gravity and
// fade from yellowish white to transparent red within two seconds.

#include <cstdint>
#include <vector>

#include "raster/color.h"

namespace qf {

class TBitmap32;

struct Particle {
  int32_t X = 0;  // PosX truncated toward zero
  int32_t Y = 0;
  uint32_t BirthTick = 0;
  double PosX = 0, PosY = 0;
  double VelX = 0, VelY = 0;  // px/s
  double AccX = 0, AccY = 0;  // px/s²
};

class TParticleClass {
public:
  // Re-seeds the shared random source from the clock.
  TParticleClass();

  // Directions are degrees clockwise from straight up: (m sin θ, -m cos θ).
  void Emit(int32_t x, int32_t y, double accelAngle, double accelMagnitude, double angle,
            double speed);
  // Moves every particle by the time since the previous update.
  void Update();
  int32_t LastIndex() const { return static_cast<int32_t>(particles_.size()) - 1; }
  // Copies the record at index into out; out stays untouched when the index is out of range.
  void GetParticle(int32_t index, Particle& out) const;
  void Delete(int32_t index);
  void Clear();

  uint32_t LastUpdateTick = 0;

  // The frame's pass: update, blend every particle into target in the colour of its age at
  // now, and drop the ones outside the 0..400 square or older than 2000 ms (they still show
  // in this frame).
  void DrawAndRetire(TBitmap32& target, uint32_t now);

private:
  std::vector<Particle> particles_;  // in order of emission
};

// The fade ramp: t clamped to [0, 1]; opaque (255, 255, 20) at 0, transparent (255, 55, 0) at 1.
TColor32 ParticleColor(float t);

}  // namespace qf
