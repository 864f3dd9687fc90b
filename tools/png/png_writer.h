#pragma once
// PNG encoding through libpng with every choice fixed (compression level, strategy, window,
// filters, no time or text chunks), so the same picture always gives the same bytes: the
// committed assets and the pictures under docs/ can be checked byte for byte.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace qf {

enum class PngAlpha { Keep, Drop };

// Encodes top-down 32-bit ARGB pixels (alpha in the top byte, not premultiplied), width *
// height of them without padding, as 8-bit RGBA (Keep) or RGB (Drop, for pictures that are
// opaque anyway). Throws std::runtime_error for an empty picture or with libpng's message.
std::vector<uint8_t> EncodePng(const uint32_t* argb, int32_t width, int32_t height, PngAlpha alpha);

// Writes the bytes as the file. Throws std::runtime_error naming the file when it cannot.
void WritePngFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace qf
