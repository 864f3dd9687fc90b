#pragma once
// One entry per fuzz target. The libFuzzer programs call them for every generated input and
// the replay test calls them for the kept regression inputs, so a fault found once stays
// tested in the ordinary build. Each returns 0 and aborts with a message on a broken
// invariant; crashes and leaks are the sanitizers' to report.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace qf::fuzz {

// The sprite loader from bytes: DecodePng and LoadPngStream agree, and a refused picture
// leaves the bitmap untouched.
int FuzzPng(const uint8_t* data, size_t size);

// A WAV image through the SDL sound player onto SDL's dummy audio device.
int FuzzSound(const uint8_t* data, size_t size);
// The sound player needs SDL's dummy audio driver; call once before FuzzSound.
void InitSoundFuzzing();

// The engine from bytes: a sequence of genome operations, the genome invariants checked after
// each one.
int FuzzEngine(const uint8_t* data, size_t size);

// The genome and checkpoint loaders from bytes: a refused file changes nothing, an accepted
// one saves back to the same text and can be bred from.
int FuzzNeatIo(const uint8_t* data, size_t size);

}  // namespace qf::fuzz

#define QF_FUZZ_CHECK(cond, what)                                                   \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "fuzz invariant broken: %s (%s, line %d)\n", (what),    \
                   __FILE__, __LINE__);                                             \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)
