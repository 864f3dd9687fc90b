#include <gtest/gtest.h>

#include "base/random.h"
#include "base/ticks.h"
#include "game/particles.h"
#include "raster/bitmap32.h"

using namespace qf;

TEST(Particles, ColourRampFadesFromYellowWhiteToTransparentRed) {
  EXPECT_EQ(ParticleColor(0), Color32(255, 255, 20, 255));
  EXPECT_EQ(ParticleColor(0.5f), Color32(255, 155, 10, 127));
  EXPECT_EQ(ParticleColor(1), Color32(255, 55, 0, 0));
  EXPECT_EQ(ParticleColor(3), ParticleColor(1));
  EXPECT_EQ(ParticleColor(-1), ParticleColor(0));
}

TEST(Particles, ASpeedZeroParticleFallsUnderGravity) {
  ManualClock clock(1000);
  TParticleClass one;
  one.Emit(100, 100, 180, 40, 0, 0);
  clock.Advance(1000);
  one.Update();
  Particle p;
  one.GetParticle(0, p);
  EXPECT_EQ(p.X, 100);
  EXPECT_EQ(p.Y, 140);  // velocity 40 px/s first, then applied for the whole second

  TParticleClass steps;
  steps.Emit(100, 100, 180, 40, 0, 0);
  for (int i = 0; i < 100; ++i) {
    clock.Advance(10);
    steps.Update();
  }
  steps.GetParticle(0, p);
  EXPECT_NEAR(p.PosY, 120.2, 0.01);  // about 20 px in 10 ms steps
  EXPECT_NEAR(p.PosX, 100.0, 1e-9);
}

TEST(Particles, DirectionsAreClockwiseFromUp) {
  ManualClock clock(0);
  TParticleClass ps;
  ps.Emit(0, 0, 0, 0, 90, 10);   // right
  ps.Emit(0, 0, 0, 0, 180, 10);  // down
  Particle p;
  ps.GetParticle(0, p);
  EXPECT_NEAR(p.VelX, 10, 1e-9);
  EXPECT_NEAR(p.VelY, 0, 1e-9);
  ps.GetParticle(1, p);
  EXPECT_NEAR(p.VelY, 10, 1e-9);

  Particle untouched;
  untouched.X = 77;
  ps.GetParticle(2, untouched);
  ps.GetParticle(-1, untouched);
  EXPECT_EQ(untouched.X, 77);
}

TEST(Particles, PassDrawsThenRetiresEscapedAndOldParticles) {
  ManualClock clock(5000);
  TParticleClass ps;
  TBitmap32 field;
  field.SetSize(400, 400);
  ps.Emit(400, 10, 0, 0, 0, 0);   // on the edge column: stays, pixel clipped
  ps.Emit(401, 10, 0, 0, 0, 0);   // beyond: deleted
  ps.Emit(50, 60, 0, 0, 0, 0);    // inside: drawn opaque
  ps.DrawAndRetire(field, clock.Now());
  EXPECT_EQ(ps.LastIndex(), 1);
  Particle p;
  ps.GetParticle(0, p);
  EXPECT_EQ(p.X, 400);
  ps.GetParticle(1, p);
  EXPECT_EQ(p.X, 50);
  EXPECT_EQ(field.Pixel(50, 60), Color32(255, 255, 20, 255));

  clock.Advance(1000);
  field.Clear(0);
  ps.DrawAndRetire(field, clock.Now());
  EXPECT_EQ(field.Pixel(50, 60), BlendReg(ParticleColor(0.5f), 0));  // half-way faded
  clock.Advance(1000);
  ps.DrawAndRetire(field, clock.Now());
  EXPECT_EQ(ps.LastIndex(), 1);  // exactly 2000 ms old: still alive
  clock.Advance(1);
  field.Clear(0);
  ps.DrawAndRetire(field, clock.Now());
  EXPECT_EQ(ps.LastIndex(), -1);
  EXPECT_EQ(field.Pixel(50, 60), 0u);  // drawn in its last frame, fully faded
}

TEST(Particles, ParticleBornAfterTheFrameTickShowsNextFrame) {
  ManualClock clock(100);
  TParticleClass ps;
  TBitmap32 field;
  field.SetSize(400, 400);
  const uint32_t frameNow = clock.Now();
  clock.Advance(5);
  ps.Emit(20, 20, 0, 0, 0, 0);
  ps.DrawAndRetire(field, frameNow);
  EXPECT_EQ(ps.LastIndex(), 0);          // not deleted
  EXPECT_EQ(field.Pixel(20, 20), 0u);    // drawn fully transparent
}

TEST(Particles, ALongPauseSendsParticlesFarAwayWithoutOverflow) {
  ManualClock clock(0);
  TParticleClass ps;
  ps.Emit(200, 200, 180, 40, 0, 0);
  clock.Advance(4'000'000'000u);  // over a month of pause
  TBitmap32 field;
  field.SetSize(400, 400);
  ps.DrawAndRetire(field, clock.Now());
  EXPECT_EQ(ps.LastIndex(), -1);
}
