#pragma once
// RIFF/WAVE encoding of 16-bit PCM mono sound.

#include <cstdint>
#include <vector>

namespace qf::assetgen {

// A 44-byte canonical header followed by the samples, little-endian.
std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& samples, uint32_t sampleRate);

}  // namespace qf::assetgen
