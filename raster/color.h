#pragma once
// 32-bit ARGB colours (alpha in the top byte, not premultiplied) and the one blend rule every
// drawing path uses.

#include <cstdint>

namespace qf {

using TColor32 = uint32_t;

// A platform colour: 0x00BBGGRR, or, when negative, a system colour whose index is the low byte.
using TColor = int32_t;

inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
inline constexpr TColor clWindow = static_cast<TColor>(0x80000005);
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;

inline constexpr TColor32 clBlack32 = 0xFF000000u;
inline constexpr TColor32 clWhite32 = 0xFFFFFFFFu;
inline constexpr TColor32 clTransparent32 = 0x00000000u;

enum TDrawMode { dmOpaque, dmBlend, dmCustom, dmTransparent };
enum TCombineMode { cmBlend, cmMerge };

constexpr TColor32 Color32(uint8_t R, uint8_t G, uint8_t B, uint8_t A = 255) {
  return static_cast<TColor32>(A) << 24 | static_cast<TColor32>(R) << 16 |
         static_cast<TColor32>(G) << 8 | B;
}

// The platform colour as an opaque TColor32; system colours take the platform's values.
TColor32 Color32(TColor color);

// The value the platform gives a system colour index (0x00BBGGRR); 0 for unknown indices.
TColor GetSysColor(int32_t index);

constexpr uint8_t AlphaComponent(TColor32 c) { return static_cast<uint8_t>(c >> 24); }
constexpr uint8_t RedComponent(TColor32 c) { return static_cast<uint8_t>(c >> 16); }
constexpr uint8_t GreenComponent(TColor32 c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t BlueComponent(TColor32 c) { return static_cast<uint8_t>(c); }

// F blended into B. Every channel, alpha included, becomes (B * (256 - a) + F * a + 128) >> 8
// with a = F's alpha; alpha 0 keeps B and alpha 255 gives F exactly. Two channels share one
// 32-bit lane pair: each 16-bit half stays below 255 * 256 + 128, so nothing carries over.
constexpr TColor32 BlendReg(TColor32 f, TColor32 b) {
  const uint32_t a = f >> 24;
  if (a == 0) return b;
  if (a == 255) return f;
  const uint32_t ia = 256 - a;
  const uint32_t rb =
      (((b & 0x00FF00FFu) * ia + (f & 0x00FF00FFu) * a + 0x00800080u) >> 8) & 0x00FF00FFu;
  const uint32_t ag =
      (((b >> 8) & 0x00FF00FFu) * ia + ((f >> 8) & 0x00FF00FFu) * a + 0x00800080u) & 0xFF00FF00u;
  return ag | rb;
}

// F's alpha weighted by a master alpha (0..255), rounded; 255 leaves it as it is.
constexpr TColor32 ApplyMasterAlpha(TColor32 f, uint32_t master) {
  if (master >= 255) return f;
  const uint32_t a = ((f >> 24) * master + 127) / 255;
  return (f & 0x00FFFFFFu) | a << 24;
}

// F laid over B as non-premultiplied colours: the result's alpha is the union of both
// coverages, and its colour the coverage-weighted mix (cmMerge).
constexpr TColor32 MergeReg(TColor32 f, TColor32 b) {
  const uint32_t fa = f >> 24;
  if (fa == 0) return b;
  if (fa == 255) return f;
  const uint32_t ba = b >> 24;
  if (ba == 0) return f;
  const uint32_t fw = fa * 255;          // F's weight, scaled by 255
  const uint32_t bw = ba * (255 - fa);   // what shows of B, scaled by 255
  const uint32_t total = fw + bw;
  auto mix = [&](int shift) {
    const uint32_t fc = (f >> shift) & 0xFF, bc = (b >> shift) & 0xFF;
    return ((fc * fw + bc * bw + total / 2) / total) << shift;
  };
  return ((total + 127) / 255) << 24 | mix(16) | mix(8) | mix(0);
}

inline TColor32 CombineReg(TColor32 f, TColor32 b, TCombineMode mode) {
  return mode == cmMerge ? MergeReg(f, b) : BlendReg(f, b);
}

}  // namespace qf
