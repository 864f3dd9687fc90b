#pragma once
// Lines for the game's own pictures (the learning view, and the charts of the tools), drawn
// with the raster library's blending.

#include "raster/bitmap32.h"

namespace qf {

// The colour with its alpha scaled by a coverage in [0, 1].
TColor32 WithCoverage(TColor32 color, double coverage);

// An antialiased line (Wu's): two pixels per step share the coverage, blended in.
void DrawLine(TBitmap32& bitmap, double x0, double y0, double x1, double y1, TColor32 color);

}  // namespace qf
