#include "tools/assetgen/sounds.h"

#include <cstddef>

#include "tools/assetgen/synth.h"

namespace qf::assetgen {
namespace {

// A struck metal bar: its overtones are not harmonic (the free-bar modes 2.76, 5.40, 8.93)
// and die faster the higher they are, which is what makes it sound like a glockenspiel.
std::vector<Partial> BellPartials() {
  return {{1.0, 1.0, 0.30}, {2.0, 0.18, 0.16}, {2.76, 0.34, 0.11},
          {5.40, 0.14, 0.05}, {8.93, 0.06, 0.025}};
}

// A bright brass-like tone: harmonic, the upper harmonics fading first so the attack blares
// and the tail mellows.
std::vector<Partial> BrassPartials(double sustain) {
  std::vector<Partial> p;
  for (int n = 1; n <= 9; ++n) {
    const double amp = 1.0 / (static_cast<double>(n) * (n < 3 ? 1.0 : 1.4));
    p.push_back({static_cast<double>(n), amp, sustain / static_cast<double>(n)});
  }
  return p;
}

}  // namespace

std::vector<int16_t> SynthesizeChimes() {
  // A quick rising major arpeggio, C6 E6 G6, the last ringing longest.
  const double length = 0.75;
  std::vector<double> buffer(static_cast<std::size_t>(length * kSoundRate), 0.0);
  const double notes[] = {1046.50, 1318.51, 1567.98};
  for (int i = 0; i < 3; ++i) {
    Tone t;
    t.Start = 0.065 * i;
    t.Attack = 0.002;
    t.Release = 0.08;
    t.Length = length - t.Start - t.Release - 0.005;
    t.Frequency = notes[i];
    t.Gain = i == 2 ? 1.0 : 0.8;
    t.Partials = BellPartials();
    AddTone(buffer, kSoundRate, t);
  }
  return Normalize(buffer, kSoundPeak);
}

std::vector<int16_t> SynthesizeTada() {
  // "Ta": a short G major chord; "da": a held C major chord with a late vibrato.
  const double length = 1.15;
  std::vector<double> buffer(static_cast<std::size_t>(length * kSoundRate), 0.0);
  const double ta[] = {392.00, 493.88, 587.33};
  for (int i = 0; i < 3; ++i) {
    Tone t;
    t.Start = 0.0;
    t.Attack = 0.012;
    t.Length = 0.11;
    t.Release = 0.04;
    t.Frequency = ta[i] * (1.0 + 0.0015 * (i - 1));
    t.Gain = 0.8;
    t.Partials = BrassPartials(0.5);
    AddTone(buffer, kSoundRate, t);
  }
  const double da[] = {523.25, 659.26, 783.99, 1046.50};
  for (int i = 0; i < 4; ++i) {
    Tone t;
    t.Start = 0.17;
    t.Attack = 0.015;
    t.Release = 0.25;
    t.Length = length - t.Start - t.Release - 0.01;
    t.Frequency = da[i] * (1.0 + 0.0012 * (i - 1.5));
    t.Gain = i == 3 ? 0.55 : 0.8;
    t.VibratoHz = 5.5;
    t.VibratoDepth = 0.004;
    t.VibratoDelay = 0.35;
    t.Partials = BrassPartials(0.9);
    AddTone(buffer, kSoundRate, t);
  }
  return Normalize(buffer, kSoundPeak);
}

}  // namespace qf::assetgen
