#pragma once
// The game's seven pictures. All share one sixteen-colour palette (the "Sweetie 16" palette),
// lit from the upper left, so they read as one set on the night sky.

#include <cstdint>

#include "tools/assetgen/picture.h"

namespace qf::assetgen {

namespace pal {
constexpr Argb Ink = 0xFF1A1C2C;
constexpr Argb Plum = 0xFF5D275D;
constexpr Argb Red = 0xFFB13E53;
constexpr Argb Orange = 0xFFEF7D57;
constexpr Argb Yellow = 0xFFFFCD75;
constexpr Argb Lime = 0xFFA7F070;
constexpr Argb Green = 0xFF38B764;
constexpr Argb Teal = 0xFF257179;
constexpr Argb Navy = 0xFF29366F;
constexpr Argb Blue = 0xFF3B5DC9;
constexpr Argb Sky = 0xFF41A6F6;
constexpr Argb Cyan = 0xFF73EFF7;
constexpr Argb White = 0xFFF4F4F4;
constexpr Argb Silver = 0xFF94B0C2;
constexpr Argb Slate = 0xFF566C86;
constexpr Argb Steel = 0xFF333C57;
}  // namespace pal

// The window's client area, which the background covers exactly.
constexpr int32_t kClientWidth = 471;
constexpr int32_t kClientHeight = 503;

// A tiny xorshift generator of the generator's own, so the starfield never changes with the
// game's random source.
class StarRandom {
 public:
  explicit StarRandom(uint32_t seed) : State(seed == 0 ? 0x9E3779B9u : seed) {}
  uint32_t Next() {
    State ^= State << 13;
    State ^= State >> 17;
    State ^= State << 5;
    return State;
  }
  // Uniform in 0 .. n - 1 (n > 0).
  int32_t Below(int32_t n) {
    return static_cast<int32_t>((static_cast<uint64_t>(Next()) * static_cast<uint32_t>(n)) >> 32);
  }

 private:
  uint32_t State;
};

Picture MakeBackground();  // fons.png, opaque, client size
Picture MakeInvader();     // invader.png
Picture MakeBomb();        // bumba.png
Picture MakeRocket();      // rakete.png
Picture MakePlayer();      // player.png; its alpha is the hit mask
Picture MakeLifeShip();    // playersm.png
Picture MakeGameOver();    // gameover.png

}  // namespace qf::assetgen
