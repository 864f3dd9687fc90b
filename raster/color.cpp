#include "raster/color.h"

#include <array>
#include <cstddef>

namespace qf {

namespace {
// The platform's system colours (0x00BBGGRR), by index.
constexpr std::array<TColor, 31> kSysColors = {
    0xC8C8C8,  // scroll bar
    0x000000,  // desktop
    0xD1B499,  // active caption
    0xDBCDBF,  // inactive caption
    0xF0F0F0,  // menu
    0xFFFFFF,  // window
    0x646464,  // window frame
    0x000000,  // menu text
    0x000000,  // window text
    0x000000,  // caption text
    0xB4B4B4,  // active border
    0xFCF7F4,  // inactive border
    0xABABAB,  // application workspace
    0xD77800,  // highlight
    0xFFFFFF,  // highlight text
    0xF0F0F0,  // button face: (240, 240, 240)
    0xA0A0A0,  // button shadow
    0x6D6D6D,  // grey text
    0x000000,  // button text
    0x000000,  // inactive caption text
    0xFFFFFF,  // button highlight
    0x696969,  // 3D dark shadow
    0xE3E3E3,  // 3D light
    0x000000,  // tooltip text
    0xE1FFFF,  // tooltip background
    0x000000,  // (unused)
    0xCC6600,  // hot-tracked item
    0xEAD1B9,  // active caption gradient
    0xF2E4D7,  // inactive caption gradient
    0xD77800,  // menu highlight
    0xF0F0F0,  // menu bar
};
}  // namespace

TColor GetSysColor(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(kSysColors.size())) return 0;
  return kSysColors[static_cast<std::size_t>(index)];
}

TColor32 Color32(TColor color) {
  if (color < 0) color = GetSysColor(color & 0xFF);
  const auto c = static_cast<uint32_t>(color);
  return Color32(static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                 static_cast<uint8_t>(c >> 16), 255);
}

}  // namespace qf
