#include "game/drawing.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace qf {

TColor32 WithCoverage(TColor32 color, double coverage) {
  const auto a =
      static_cast<uint32_t>(std::lround(std::clamp(coverage, 0.0, 1.0) * (color >> 24)));
  return (color & 0x00FFFFFFu) | a << 24;
}

void DrawLine(TBitmap32& b, double x0, double y0, double x1, double y1, TColor32 color) {
  const bool steep = std::fabs(y1 - y0) > std::fabs(x1 - x0);
  if (steep) {
    std::swap(x0, y0);
    std::swap(x1, y1);
  }
  if (x0 > x1) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  const double dx = x1 - x0;
  const double gradient = dx == 0 ? 0 : (y1 - y0) / dx;
  auto plot = [&](int32_t x, int32_t y, double coverage) {
    if (steep) b.BlendPixel(y, x, WithCoverage(color, coverage));
    else b.BlendPixel(x, y, WithCoverage(color, coverage));
  };
  const auto first = static_cast<int32_t>(std::lround(x0));
  const auto last = static_cast<int32_t>(std::lround(x1));
  for (int32_t x = first; x <= last; ++x) {
    const double y = y0 + gradient * (x - x0);
    const auto yi = static_cast<int32_t>(std::floor(y));
    const double frac = y - yi;
    plot(x, yi, 1 - frac);
    plot(x, yi + 1, frac);
  }
}

}  // namespace qf
