#include "tools/plot/plot.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "tools/png/png_writer.h"

namespace qf {

double NiceCeiling(double v) {
  if (!(v > 0)) return 1;
  const double p = std::pow(10.0, std::floor(std::log10(v)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * p >= v) return m * p;
  return 10 * p;
}

std::string AxisLabel(double v) {
  char text[32];
  if (v == std::floor(v)) std::snprintf(text, sizeof text, "%.0f", v);
  else std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

void WritePng(const TBitmap32& picture, const std::filesystem::path& path) {
  if (picture.Empty()) throw std::runtime_error("cannot write an empty picture to " + path.string());
  WritePngFile(path, EncodePng(picture.Bits(), picture.Width(), picture.Height(), PngAlpha::Keep));
}

}  // namespace qf
