// libFuzzer program for the engine.

#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qf::fuzz::FuzzEngine(data, size);
}
