#pragma once
// A still of the game composed the way the game composes it: background, the 400 x 400
// playfield layer at (35, 51), the 400 x 30 status bar stretched into (34, 21)-(435, 50), and
// optionally the game-over picture centred on the playfield. Every blend uses the game's rule.

#include "tools/assetgen/assetgen.h"
#include "tools/assetgen/picture.h"

namespace qf::assetgen {

constexpr int32_t kPlayfieldLeft = 35;
constexpr int32_t kPlayfieldTop = 51;
constexpr int32_t kPlayfieldSize = 400;
constexpr Argb kPlayfieldOutline = 0xFFC80000;

// The particle fade ramp of the game: opaque yellow at birth, transparent red at t = 1.
Argb ParticleColor(float t);

Picture ComposePreview(const AssetPictures& pictures, bool gameOver);

}  // namespace qf::assetgen
