#include "tools/assetgen/sprites.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/assetgen/pixel_font.h"

namespace qf::assetgen {
namespace {

const std::unordered_map<char, Argb>& Palette() {
  static const std::unordered_map<char, Argb> map = {
      {'K', pal::Ink},   {'P', pal::Plum},  {'R', pal::Red},   {'O', pal::Orange},
      {'Y', pal::Yellow}, {'L', pal::Lime},  {'G', pal::Green}, {'T', pal::Teal},
      {'N', pal::Navy},  {'B', pal::Blue},  {'S', pal::Sky},   {'C', pal::Cyan},
      {'W', pal::White}, {'g', pal::Silver}, {'s', pal::Slate}, {'D', pal::Steel}};
  return map;
}

// ---- Background ---------------------------------------------------------------------------

constexpr int32_t kBayer4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

struct Rgb16 {  // channels in sixteenths of a level, so gradients can be dithered
  int32_t R, G, B;
};

Rgb16 Lerp16(Rgb16 a, Rgb16 b, int32_t t, int32_t span) {
  return {a.R + (b.R - a.R) * t / span, a.G + (b.G - a.G) * t / span,
          a.B + (b.B - a.B) * t / span};
}

Rgb16 Level16(int32_t r, int32_t g, int32_t b) { return {r * 16, g * 16, b * 16}; }

// Smooth value noise on a lattice of cell-sized squares; 0..256.
class ValueNoise {
 public:
  ValueNoise(StarRandom& rnd, int32_t cell, int32_t width, int32_t height)
      : Cell(cell), Cols(width / cell + 2), Rows(height / cell + 2),
        Lattice(static_cast<size_t>(Cols * Rows)) {
    for (int32_t& v : Lattice) v = rnd.Below(257);
  }
  int32_t At(int32_t x, int32_t y) const {
    const int32_t cx = x / Cell, cy = y / Cell;
    const int32_t fx = Smooth((x % Cell) * 256 / Cell), fy = Smooth((y % Cell) * 256 / Cell);
    const int32_t top = Mix(Node(cx, cy), Node(cx + 1, cy), fx);
    const int32_t bottom = Mix(Node(cx, cy + 1), Node(cx + 1, cy + 1), fx);
    return Mix(top, bottom, fy);
  }

 private:
  static int32_t Smooth(int32_t t) { return t * t * (768 - 2 * t) / 65536; }  // 3t^2 - 2t^3
  static int32_t Mix(int32_t a, int32_t b, int32_t t) { return a + (b - a) * t / 256; }
  int32_t Node(int32_t cx, int32_t cy) const { return Lattice[static_cast<size_t>(cy * Cols + cx)]; }
  int32_t Cell, Cols, Rows;
  std::vector<int32_t> Lattice;
};

// A ridge line by midpoint displacement: one height per column, `base` on average.
std::vector<int32_t> Ridge(StarRandom& rnd, int32_t width, int32_t base, int32_t amplitude) {
  int32_t n = 1;
  while (n < width) n *= 2;
  std::vector<int32_t> h(static_cast<size_t>(n) + 1, base);
  h[0] = base + rnd.Below(2 * amplitude + 1) - amplitude;
  h[static_cast<size_t>(n)] = base + rnd.Below(2 * amplitude + 1) - amplitude;
  int32_t spread = amplitude;
  for (int32_t step = n; step > 1; step /= 2) {
    for (int32_t i = step / 2; i < n; i += step) {
      const int32_t mid = (h[static_cast<size_t>(i - step / 2)] + h[static_cast<size_t>(i + step / 2)]) / 2;
      h[static_cast<size_t>(i)] = mid + rnd.Below(2 * spread + 1) - spread;
    }
    spread = spread * 2 / 3;  // reaches 0 before the finest steps: no column jitter
  }
  h.resize(static_cast<size_t>(width));
  return h;
}

Argb Resolve(Rgb16 c, int32_t x, int32_t y) {
  const int32_t d = kBayer4[y & 3][x & 3];
  auto ch = [d](int32_t v) { return static_cast<uint32_t>(std::clamp((v + d) >> 4, 0, 255)); };
  return MakeArgb(255, ch(c.R), ch(c.G), ch(c.B));
}

// Adds light to an opaque pixel, each channel capped at 255.
void AddLight(Picture& p, int32_t x, int32_t y, Argb tint, int32_t level) {
  if (!p.Contains(x, y)) return;
  const Argb c = p.At(x, y);
  auto ch = [&](int shift) {
    const int32_t base = static_cast<int32_t>((c >> shift) & 0xFF);
    const int32_t add = static_cast<int32_t>((tint >> shift) & 0xFF) * level / 255;
    return static_cast<uint32_t>(std::min(255, base + add));
  };
  p.Set(x, y, MakeArgb(255, ch(16), ch(8), ch(0)));
}

}  // namespace

Picture MakeBackground() {
  const int32_t w = kClientWidth, h = kClientHeight;
  StarRandom rnd(0x51F15EEDu);
  Picture p(w, h);

  // Night sky: near-black at the top (behind the status bar), a little bluer towards the
  // horizon, which glows faintly just above the hills.
  const Rgb16 top = Level16(4, 5, 12);
  const Rgb16 middle = Level16(9, 11, 26);
  const Rgb16 horizon = Level16(26, 30, 66);
  const int32_t midRow = 330, horizonRow = 470;
  ValueNoise cloud(rnd, 48, w, h);
  ValueNoise grain(rnd, 14, w, h);
  for (int32_t y = 0; y < h; ++y) {
    Rgb16 sky = y < midRow ? Lerp16(top, middle, y, midRow)
                           : Lerp16(middle, horizon, std::min(y, horizonRow) - midRow,
                                    horizonRow - midRow);
    for (int32_t x = 0; x < w; ++x) {
      // A faint band of haze across the playfield, along y = 140 + 0.4 x, tinted plum and
      // broken up by noise; it stays clear of the status bar's strip.
      const int32_t dist = std::abs(x * 2 - y * 5 + 700) * 1000 / 5385;
      int32_t band = std::max(0, 256 - dist * 256 / 80);
      band = band * band / 256;
      const int32_t haze = band * (cloud.At(x, y) * 3 + grain.At(x, y)) / 1024;  // 0..256
      Rgb16 c = sky;
      c.R += 10 * 16 * haze / 256;
      c.G += 3 * 16 * haze / 256;
      c.B += 15 * 16 * haze / 256;
      p.Set(x, y, Resolve(c, x, y));
    }
  }

  // Stars: mostly faint and cool so that bombs and explosion sparks stay the brightest
  // things on the playfield; a few brighter ones with a small cross of light.
  const Argb tints[] = {pal::Silver, pal::White, pal::Cyan, pal::Silver};
  for (int i = 0; i < 300; ++i) {
    const int32_t x = rnd.Below(w), y = rnd.Below(470);
    const Argb tint = tints[rnd.Below(4)];
    const int32_t roll = rnd.Below(100);
    if (roll < 72) {
      AddLight(p, x, y, tint, 45 + rnd.Below(45));
    } else if (roll < 96) {
      AddLight(p, x, y, tint, 110 + rnd.Below(50));
    } else {
      const int32_t level = 170 + rnd.Below(50);
      AddLight(p, x, y, tint, level);
      for (const auto [dx, dy] : {std::array{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
        AddLight(p, x + dx, y + dy, tint, level / 3);
    }
  }

  // Hills under the playfield: a far blue range and a near black one, with a lit rim.
  const std::vector<int32_t> far = Ridge(rnd, w, 458, 24);
  const std::vector<int32_t> near = Ridge(rnd, w, 484, 12);
  for (int32_t x = 0; x < w; ++x) {
    for (int32_t y = far[static_cast<size_t>(x)]; y < h; ++y) {
      const int32_t depth = std::min(y - far[static_cast<size_t>(x)], 24);
      const Rgb16 c = Lerp16(Level16(20, 24, 52), Level16(12, 14, 32), depth, 24);
      p.Set(x, y, Resolve(c, x, y));
    }
    AddLight(p, x, far[static_cast<size_t>(x)], pal::Sky, 40);
    for (int32_t y = near[static_cast<size_t>(x)]; y < h; ++y)
      p.Set(x, y, Resolve(Level16(7, 8, 17), x, y));
    AddLight(p, x, near[static_cast<size_t>(x)], pal::Blue, 28);
  }
  return p;
}

// ---- Sprites ------------------------------------------------------------------------------

Picture MakeInvader() {
  return FromMirroredMap({
                             "...L......",
                             "....L.....",
                             "....GL....",
                             "......LL..",
                             "....LLLLLL",
                             "...LLLLLLL",
                             "..LLLWLLLL",
                             ".LLL.ROLLL",
                             "GLLL.RRLLL",
                             "GLLLLLLLLL",
                             "GGLGGGGGGG",
                             "GG.GGGGGGG",
                             "TG.G....GG",
                             "TT.T.....T",
                             "....GGG...",
                             "....TTT...",
                         },
                         Palette());
}

Picture MakeBomb() {
  return FromPixelMap({
                          "gs..sg",
                          "gssssg",
                          ".sDDs.",
                          ".OOOR.",
                          "OYYOOR",
                          "OYOOOR",
                          "OOOOOR",
                          "ROOORR",
                          ".RRRP.",
                          "..RP..",
                      },
                      Palette());
}

Picture MakeRocket() {
  return FromPixelMap({
                          ".WW.",
                          ".WC.",
                          "SWCS",
                          "SWCS",
                          "SCCS",
                          "BCSB",
                          ".CS.",
                          ".SB.",
                          ".YY.",
                          ".OO.",
                          ".RO.",
                          "..R.",
                      },
                      Palette());
}

Picture MakePlayer() {
  return FromMirroredMap({
                             "...............",
                             "..............W",
                             ".............WW",
                             ".............WS",
                             "............WgC",
                             "............WgC",
                             "..R.........WgS",
                             "..R.........Wgg",
                             ".RR........WWgg",
                             ".RW.......WWggg",
                             ".RW.....WWWgggg",
                             ".RWW..WWWWggggB",
                             ".RWWWWWWggggBBB",
                             ".sWWWWggggsBBBs",
                             ".ssssssssssOOss",
                             "...........OYY.",
                             "............YW.",
                             "...............",
                         },
                         Palette());
}

Picture MakeLifeShip() {
  Picture p(20, 20);
  const Picture ship = FromMirroredMap({
                                           ".........W",
                                           "........WS",
                                           "........WC",
                                           ".R......Wg",
                                           ".R.....WWg",
                                           ".RW...WWgg",
                                           ".RWWWWWggB",
                                           ".sWWWgggBB",
                                           ".sssssssOs",
                                           "........Y.",
                                       },
                                       Palette());
  p.Draw(0, 5, ship, false);
  return p;
}

// ---- Game over ----------------------------------------------------------------------------

Picture MakeGameOver() {
  constexpr int32_t w = 352, h = 150;
  Picture p(w, h);

  // A dark glass panel with a two-tone rim and cut corners, so the playfield shows through
  // faintly and the lettering stays the brightest thing on screen.
  p.FillRect(2, 2, w - 2, h - 2, WithAlpha(pal::Ink, 236));
  p.FrameRect(0, 0, w, h, pal::Sky);
  p.FrameRect(1, 1, w - 1, h - 1, pal::Navy);
  for (const auto [cx, cy] : {std::array{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
    p.Set(cx, cy, 0);
  for (const auto [cx, cy] : {std::array{1, 1}, {w - 2, 1}, {1, h - 2}, {w - 2, h - 2}})
    p.Set(cx, cy, pal::Sky);

  const std::string_view title = "GAME OVER";
  constexpr int32_t titleScale = 6;
  const int32_t titleX = (w - TextWidth(title) * titleScale) / 2;
  constexpr int32_t titleY = 22;
  // Shadow first, then the letters in bands of yellow, orange and red with a lit top edge.
  DrawText(p, titleX + 3, titleY + 3, title, titleScale, pal::Plum);
  DrawText(p, titleX, titleY, title, titleScale, [](int32_t row, int32_t blockRow, char) {
    if (row == 0 && blockRow < 2) return pal::White;
    if (row < 3) return pal::Yellow;
    if (row < 5) return pal::Orange;
    return pal::Red;
  });

  // A dotted rule between the title and the question.
  const int32_t ruleY = titleY + kFontAscent * titleScale + 16;
  for (int32_t x = 40; x < w - 40; x += 4) p.Set(x, ruleY, pal::Slate);

  const std::string_view question = "Play again? Y / N";
  constexpr int32_t questionScale = 3;
  const int32_t questionX = (w - TextWidth(question) * questionScale) / 2;
  const int32_t questionY = ruleY + 16;
  DrawText(p, questionX + 2, questionY + 2, question, questionScale, pal::Ink);
  DrawText(p, questionX, questionY, question, questionScale, [](int32_t, int32_t, char ch) {
    if (ch == 'Y') return pal::Lime;
    if (ch == 'N') return pal::Orange;
    return pal::White;
  });
  return p;
}

}  // namespace qf::assetgen
