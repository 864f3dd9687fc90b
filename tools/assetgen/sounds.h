#pragma once
// The game's two sounds: the chime of a kill and the fanfare of start-up and of a hit.

#include <cstdint>
#include <vector>

namespace qf::assetgen {

constexpr uint32_t kSoundRate = 44100;
// Peak level of both sounds: about -1 dBFS, loud but clear of clipping.
constexpr double kSoundPeak = 0.89;

std::vector<int16_t> SynthesizeChimes();
std::vector<int16_t> SynthesizeTada();

}  // namespace qf::assetgen
