#include "base/random.h"

#include "base/ticks.h"

namespace qf {

namespace {
uint32_t g_seed = 0;

uint32_t Next() {
  g_seed = g_seed * 134775813u + 1u;
  return g_seed;
}
}  // namespace

uint32_t GetRandSeed() { return g_seed; }
void SetRandSeed(uint32_t seed) { g_seed = seed; }

void Randomize() { g_seed = static_cast<uint32_t>(HighResolutionCounter()); }

double RandomUniform() { return static_cast<double>(Next()) * (1.0 / 4294967296.0); }

int32_t RandomIndex(int32_t n) {
  const uint64_t product = static_cast<uint64_t>(static_cast<uint32_t>(n)) * Next();
  return static_cast<int32_t>(static_cast<uint32_t>(product >> 32));
}

}  // namespace qf
