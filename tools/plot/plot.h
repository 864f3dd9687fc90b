#pragma once
// What charts drawn with the raster library share: round axis steps and labels, and writing
// the picture as a PNG (tools/png). Used by the arena's learning curve and the pole-balancing study.

#include <filesystem>
#include <string>

#include "raster/bitmap32.h"

namespace qf {

// The smallest of 1, 2, 5 times a power of ten that is at least v (1 for v <= 0).
double NiceCeiling(double v);

// An axis label: whole numbers without decimals, others with one.
std::string AxisLabel(double v);

// Writes the bitmap as an 8-bit RGBA PNG with every encoder choice fixed, so equal pictures
// give equal files. Throws std::runtime_error naming the file when it cannot be written.
void WritePng(const TBitmap32& picture, const std::filesystem::path& path);

}  // namespace qf
