#include "tools/assetgen/icons.h"

#include <algorithm>
#include <array>

#include "tools/assetgen/sprites.h"

namespace qf::assetgen {
namespace {

// Averages 2 x 2 blocks, colours weighted by their alpha so transparent pixels add no tint.
Picture HalfSize(const Picture& src) {
  Picture out(src.Width / 2, src.Height / 2);
  for (int32_t y = 0; y < out.Height; ++y)
    for (int32_t x = 0; x < out.Width; ++x) {
      uint32_t a = 0, r = 0, g = 0, b = 0;
      for (const auto [dx, dy] : {std::array{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
        const Argb c = src.At(2 * x + dx, 2 * y + dy);
        const uint32_t ca = AlphaOf(c);
        a += ca;
        r += ((c >> 16) & 0xFF) * ca;
        g += ((c >> 8) & 0xFF) * ca;
        b += (c & 0xFF) * ca;
      }
      if (a == 0) continue;
      out.Set(x, y, MakeArgb((a + 2) / 4, (r + a / 2) / a, (g + a / 2) / a, (b + a / 2) / a));
    }
  return out;
}

// Inside a square of side `size` with corners rounded to radius r (pixel centres tested).
bool InsideRounded(int32_t x, int32_t y, int32_t size, int32_t r) {
  const int32_t cx = std::clamp(x, r, size - 1 - r);
  const int32_t cy = std::clamp(y, r, size - 1 - r);
  const int32_t dx = 2 * (x - cx), dy = 2 * (y - cy);
  return dx * dx + dy * dy <= 4 * r * r;
}

Picture Tile(int32_t size) {
  Picture p(size, size);
  const int32_t margin = size / 16;
  const int32_t side = size - 2 * margin;
  const int32_t radius = side / 5;
  const int32_t rim = std::max(1, size / 64);
  for (int32_t y = 0; y < side; ++y)
    for (int32_t x = 0; x < side; ++x) {
      if (!InsideRounded(x, y, side, radius)) continue;
      // The game's sky: near black above, bluer towards the horizon.
      Argb c = MixRgb(0xFF04050C, pal::Navy, y * 256 / side);
      if (!InsideRounded(x - rim, y - rim, side - 2 * rim, std::max(radius - rim, 0)))
        c = y < side / 2 ? pal::Sky : pal::Blue;
      p.Set(margin + x, margin + y, c);
    }
  // A few stars, placed in sixteenths of the tile so every size shows the same sky.
  constexpr std::array<std::array<int32_t, 2>, 6> stars = {
      {{3, 3}, {12, 2}, {2, 10}, {13, 9}, {6, 13}, {10, 14}}};
  const int32_t dot = std::max(1, size / 64);
  for (const auto [sx, sy] : stars) {
    const int32_t x = margin + sx * side / 16, y = margin + sy * side / 16;
    p.FillRect(x, y, x + dot, y + dot, sx % 2 ? pal::Silver : pal::Cyan);
  }
  return p;
}

}  // namespace

Picture MakeIcon(int32_t size) {
  if (size < 32) return HalfSize(MakeIcon(size * 2));
  Picture p = Tile(size);
  const Picture invader = MakeInvader();
  // Whole pixels only. The invader takes more of the smaller tiles, so that it still reads at
  // 48 pixels and, averaged down, at 24.
  const int32_t scale = std::max(1, (size + 16) * 5 / 8 / invader.Width);
  const Picture big = Enlarged(invader, scale);
  p.Draw((size - big.Width) / 2, (size - big.Height) / 2 - size / 32, big, true);
  return p;
}

}  // namespace qf::assetgen
