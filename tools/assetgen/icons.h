#pragma once
// The application icon, at the sizes desktops look for in the hicolor theme: an invader of
// the game over the night sky, on a rounded tile.

#include <array>
#include <cstdint>

#include "tools/assetgen/picture.h"

namespace qf::assetgen {

constexpr std::array<int32_t, 7> kIconSizes = {16, 24, 32, 48, 64, 128, 256};

// A size x size picture with transparent corners; sizes below 32 are the double-size icon
// averaged down, since the invader does not fit them at one pixel per pixel.
Picture MakeIcon(int32_t size);

}  // namespace qf::assetgen
