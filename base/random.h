#pragma once
// The program's one random source: a 32-bit linear congruential generator,
// seed = seed * 134775813 + 1 (mod 2^32). Every random draw of the program comes from here,
// so a fixed seed replays a whole game, or a whole run of the engine that has the generator
// to itself (neat/population.h: one run per process).

#include <cstdint>

namespace qf {

// The generator's state. Tests set it for reproducible runs.
uint32_t GetRandSeed();
void SetRandSeed(uint32_t seed);

// Seeds from the high-resolution counter's low 32 bits.
void Randomize();

// Advances the seed; returns a uniform real in [0, 1): the new seed / 2^32.
double RandomUniform();

// Advances the seed; returns a uniform integer in 0 .. n - 1: the high 32 bits of the
// 64-bit product n * new seed. n is taken as unsigned, as the generator always did.
int32_t RandomIndex(int32_t n);

}  // namespace qf
