#pragma once
// PNG encoding through libpng with every choice fixed (compression level, filters, no time
// or text chunks), so the same picture always gives the same bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/assetgen/picture.h"

namespace qf::assetgen {

enum class PngAlpha { Keep, Drop };

// Encodes 8-bit RGBA (Keep) or RGB (Drop, for pictures that are opaque anyway).
// Throws std::runtime_error with libpng's message if encoding fails.
std::vector<uint8_t> EncodePng(const Picture& picture, PngAlpha alpha);

}  // namespace qf::assetgen
