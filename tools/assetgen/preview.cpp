#include "tools/assetgen/preview.h"

#include <algorithm>
#include <array>

#include "tools/assetgen/pixel_font.h"
#include "tools/assetgen/sprites.h"
#include "tools/assetgen/synth.h"

namespace qf::assetgen {
namespace {

// Invader centres of a wave in mid-flight: loose, as networks steering under gravity fly.
constexpr std::array<std::array<int32_t, 2>, 10> kInvaders = {{
    {58, 62}, {132, 44}, {214, 78}, {296, 52}, {352, 118},
    {86, 150}, {176, 128}, {262, 168}, {330, 214}, {122, 232},
}};
constexpr std::array<std::array<int32_t, 2>, 2> kRockets = {{{200, 300}, {262, 205}}};
constexpr std::array<std::array<int32_t, 2>, 3> kBombs = {{{130, 262}, {268, 318}, {334, 250}}};

void DrawCentred(Picture& layer, const Picture& sprite, int32_t x, int32_t y, bool blend) {
  layer.Draw(x - sprite.Width / 2, y - sprite.Height / 2, sprite, blend);
}

// A burst a moment after a kill: sparks fly out in all directions, fall a little and fade.
void DrawBurst(Picture& layer, int32_t cx, int32_t cy) {
  StarRandom rnd(0xB0B5EEDu);
  for (int i = 0; i < 150; ++i) {
    const double angle = 2 * 3.14159265358979 * rnd.Below(3600) / 3600.0;
    const double age = rnd.Below(1000) / 1000.0;
    const double reach = (6.0 + rnd.Below(30)) * (0.3 + age);
    const int32_t x = cx + static_cast<int32_t>(DetSin(angle) * reach);
    const int32_t y = cy + static_cast<int32_t>(DetSin(angle + 3.14159265358979 / 2) * reach +
                                                20.0 * age * age);
    layer.Blend(x, y, ParticleColor(static_cast<float>(age * 0.8)));
  }
}

// Stand-in for the status bar's text: the pixel font at twice size, its cap line about where
// a 16-point face's would be.
void StatusText(Picture& bar, int32_t x, std::string_view text) {
  DrawText(bar, x, 2 + 4, text, 2, 0xFFFFFFFF);
}

}  // namespace

Argb ParticleColor(float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  const float a = 1.0f - t;
  return MakeArgb(static_cast<uint32_t>(255.0f * a), 255, static_cast<uint32_t>(200.0f * a) + 55,
                  static_cast<uint32_t>(20.0f * a));
}

Picture ComposePreview(const AssetPictures& pictures, bool gameOver) {
  Picture screen(kClientWidth, kClientHeight, 0xFFF0F0F0);  // the view's face colour
  screen.Draw((kClientWidth - pictures.Background.Width) / 2,
              (kClientHeight - pictures.Background.Height) / 2, pictures.Background, false);

  // The playfield, drawn in the game's frame order: ship (copied, not blended), invaders,
  // rockets, bombs, sparks, outline.
  Picture field(kPlayfieldSize, kPlayfieldSize);
  const Picture& ship = pictures.Player;
  const int32_t shipHalfW = ship.Width / 2, shipHalfH = ship.Height / 2;
  const int32_t shipY = 395 - shipHalfH;
  if (!gameOver) field.Draw(200 - shipHalfW, shipY - shipHalfH, ship, false);
  for (const auto [x, y] : kInvaders) DrawCentred(field, pictures.Invader, x, y, true);
  for (const auto [x, y] : kRockets) field.Draw(x - pictures.Rocket.Width / 2, y, pictures.Rocket, true);
  for (const auto [x, y] : kBombs) field.Draw(x - pictures.Bomb.Width / 2, y, pictures.Bomb, true);
  DrawBurst(field, 300, 92);
  if (gameOver) DrawBurst(field, 200, shipY);
  field.FrameRect(0, 0, kPlayfieldSize, kPlayfieldSize, kPlayfieldOutline);
  screen.Draw(kPlayfieldLeft, kPlayfieldTop, field, true);

  // The status bar: its near-black frame drawn once, the inside cleared every frame.
  Picture bar(400, 30);
  bar.FrameRect(1, 0, 400, 29, 0xFF0A0A0A);
  bar.FillRect(2, 2, 398, 28, 0);
  bar.Draw(4, 4, pictures.Invader, true);
  StatusText(bar, 26, "27");
  bar.Draw(60, 2, pictures.LifeShip, false);
  StatusText(bar, 84, gameOver ? "0" : "3");
  StatusText(bar, 160, "Gen 4");
  StatusText(bar, 290, "61.50 FPS");
  screen.DrawStretched(34, 21, 401, 29, bar);

  if (gameOver) {
    const Picture& over = pictures.GameOver;
    const int32_t cx = kClientWidth / 2, cy = kClientHeight / 2;
    screen.DrawStretched(cx - over.Width / 2, cy - over.Height / 2,
                         2 * (over.Width / 2), 2 * (over.Height / 2), over);
  }
  return screen;
}

}  // namespace qf::assetgen
