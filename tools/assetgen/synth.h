#pragma once
// Additive synthesis. Sine and exponential are computed here from + and * alone, so the
// sounds come out bit-identical whatever the C library, optimisation level or sanitizer.

#include <cstdint>
#include <vector>

namespace qf::assetgen {

double DetSin(double radians);
// For x <= 0 (envelopes only decay); larger x is clamped to 0.
double DetExp(double x);

struct Partial {
  double Ratio;  // frequency as a multiple of the tone's fundamental
  double Amp;
  double Decay;  // seconds for the partial to fall to 1/e
};

struct Tone {
  double Start;     // seconds into the buffer
  double Length;    // seconds until the release starts
  double Release;   // seconds of linear fade after Length
  double Attack;    // seconds of rise (a raised-cosine ramp) at the start
  double Frequency; // fundamental, Hz
  double Gain;
  double VibratoHz = 0;
  double VibratoDepth = 0;  // relative frequency swing
  double VibratoDelay = 0;  // seconds before the vibrato sets in
  std::vector<Partial> Partials;
};

// Mixes the tone into buffer (mono, sampleRate); samples beyond the buffer are dropped.
void AddTone(std::vector<double>& buffer, uint32_t sampleRate, const Tone& tone);

// Scales so that the loudest sample has magnitude peak (0 < peak <= 1) of full scale and
// rounds to 16 bits; silence stays silence. The result never reaches -32768.
std::vector<int16_t> Normalize(const std::vector<double>& buffer, double peak);

}  // namespace qf::assetgen
