#include "tools/assetgen/synth.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace qf::assetgen {
namespace {

constexpr double kPi = 3.14159265358979311600;
constexpr double kTwoPiHi = 6.28318530717958623200;
constexpr double kTwoPiLo = 2.44929359829470635445e-16;
constexpr double kLn2 = 0.69314718055994528623;

}  // namespace

double DetSin(double x) {
  // nearbyint and the products below are exact or correctly rounded IEEE operations.
  const double k = std::nearbyint(x / kTwoPiHi);
  double r = (x - k * kTwoPiHi) - k * kTwoPiLo;
  if (r > kPi / 2)
    r = kPi - r;
  else if (r < -kPi / 2)
    r = -kPi - r;
  const double r2 = r * r;
  // Taylor series to r^17: below 1e-13 on [-pi/2, pi/2].
  double term = r;
  double sum = r;
  for (int n = 1; n <= 8; ++n) {
    term = -term * r2 / static_cast<double>((2 * n) * (2 * n + 1));
    sum += term;
  }
  return sum;
}

double DetExp(double x) {
  if (x >= 0) return 1.0;
  if (x < -700) return 0.0;
  const double k = std::floor(x / kLn2);
  const double r = x - k * kLn2;  // in [0, ln 2)
  double term = 1.0;
  double sum = 1.0;
  for (int n = 1; n <= 16; ++n) {
    term = term * r / static_cast<double>(n);
    sum += term;
  }
  return std::ldexp(sum, static_cast<int>(k));
}

void AddTone(std::vector<double>& buffer, uint32_t sampleRate, const Tone& tone) {
  const double rate = static_cast<double>(sampleRate);
  const int64_t first = static_cast<int64_t>(std::nearbyint(tone.Start * rate));
  const int64_t count = static_cast<int64_t>(std::nearbyint((tone.Length + tone.Release) * rate));
  std::vector<double> phases(tone.Partials.size(), 0.0);
  for (int64_t n = 0; n < count; ++n) {
    const int64_t at = first + n;
    if (at < 0) continue;
    if (at >= static_cast<int64_t>(buffer.size())) break;
    const double t = static_cast<double>(n) / rate;
    double env = 1.0;
    if (t < tone.Attack) env = 0.5 - 0.5 * DetSin(kPi * t / tone.Attack + kPi / 2);
    if (t > tone.Length) env *= std::max(0.0, 1.0 - (t - tone.Length) / tone.Release);
    double freq = tone.Frequency;
    if (tone.VibratoDepth > 0 && t > tone.VibratoDelay) {
      // The vibrato fades in over a tenth of a second instead of jumping.
      const double fade = std::min(1.0, (t - tone.VibratoDelay) / 0.1);
      freq *= 1.0 + fade * tone.VibratoDepth * DetSin(2 * kPi * tone.VibratoHz * t);
    }
    double value = 0;
    for (size_t i = 0; i < tone.Partials.size(); ++i) {
      const Partial& p = tone.Partials[i];
      // Phase in cycles, kept small so precision does not drift over the tone.
      phases[i] += p.Ratio * freq / rate;
      phases[i] -= std::floor(phases[i]);
      value += p.Amp * DetExp(-t / p.Decay) * DetSin(2 * kPi * phases[i]);
    }
    buffer[static_cast<size_t>(at)] += tone.Gain * env * value;
  }
}

std::vector<int16_t> Normalize(const std::vector<double>& buffer, double peak) {
  if (!(peak > 0 && peak <= 1)) throw std::invalid_argument("peak must lie in (0, 1]");
  double loudest = 0;
  for (const double v : buffer) loudest = std::max(loudest, std::fabs(v));
  std::vector<int16_t> out(buffer.size(), 0);
  if (loudest == 0) return out;
  const double scale = peak * 32767.0 / loudest;
  for (size_t i = 0; i < buffer.size(); ++i) {
    const double s = std::clamp(std::nearbyint(buffer[i] * scale), -32767.0, 32767.0);
    out[i] = static_cast<int16_t>(s);
  }
  return out;
}

}  // namespace qf::assetgen
