#pragma once
// The generator's pictures through the tools' one PNG writer (tools/png).

#include <cstdint>
#include <vector>

#include "tools/assetgen/picture.h"
#include "tools/png/png_writer.h"

namespace qf::assetgen {

using qf::PngAlpha;

inline std::vector<uint8_t> EncodePng(const Picture& picture, PngAlpha alpha) {
  return qf::EncodePng(picture.Pixels.data(), picture.Width, picture.Height, alpha);
}

}  // namespace qf::assetgen
