// libFuzzer program for the genome and checkpoint loaders.

#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qf::fuzz::FuzzNeatIo(data, size);
}
