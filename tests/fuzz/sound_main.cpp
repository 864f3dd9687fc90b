// libFuzzer program for sound playback. Most byte mutations break a chunk's length, and the
// player refuses such images before SDL sees them, so the mutator here usually repairs the
// lengths afterwards: the RIFF size becomes the image's, and a chunk running past the end is
// cut to what remains. That keeps SDL's format parsing and conversion under fire.

#include <cstring>

#include "tests/fuzz/fuzz_targets.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

uint32_t GetLE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void FixLengths(uint8_t* data, size_t size) {
  size_t pos;
  if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0) {
    PutLE32(data + 4, static_cast<uint32_t>(size - 8));
    pos = 12;
  } else if (size >= 4 && std::memcmp(data, "WAVE", 4) == 0) {
    pos = 4;
  } else {
    return;
  }
  while (pos + 8 <= size) {
    uint32_t length = GetLE32(data + pos + 4);
    if (length > size - pos - 8) {
      length = static_cast<uint32_t>(size - pos - 8);
      PutLE32(data + pos + 4, length);
    }
    pos += 8 + size_t{length} + (length & 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qf::fuzz::InitSoundFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qf::fuzz::FuzzSound(data, size);
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
  const size_t n = LLVMFuzzerMutate(data, size, maxSize);
  // A few inputs keep their lying lengths, so their refusal stays covered.
  if (seed % 8 != 1) FixLengths(data, n);
  return n;
}
