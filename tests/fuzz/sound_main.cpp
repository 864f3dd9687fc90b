// libFuzzer program for sound playback.

#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qf::fuzz::InitSoundFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qf::fuzz::FuzzSound(data, size);
}
