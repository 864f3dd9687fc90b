#include <gtest/gtest.h>

#include <vector>

#include "base/random.h"
#include "raster/blend_rows.h"
#include "raster/color.h"

using namespace qf;

namespace {
// The blend rule written out channel by channel, as the reference for the packed and vector
// versions.
TColor32 ReferenceBlend(TColor32 f, TColor32 b) {
  const uint32_t a = f >> 24;
  if (a == 0) return b;
  if (a == 255) return f;
  TColor32 out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t bc = (b >> shift) & 0xFF, fc = (f >> shift) & 0xFF;
    const uint32_t v = (bc * (256 - a) + fc * a + 128) >> 8;
    EXPECT_LE(v, 255u);
    out |= v << shift;
  }
  return out;
}

uint32_t RandomColor() {
  return static_cast<uint32_t>(RandomIndex(65536)) << 16 |
         static_cast<uint32_t>(RandomIndex(65536));
}
}  // namespace

TEST(Color, BuildsAndConvertsPlatformColours) {
  EXPECT_EQ(Color32(10, 20, 30, 40), 0x280A141Eu);
  EXPECT_EQ(Color32(10, 20, 30), 0xFF0A141Eu);
  EXPECT_EQ(AlphaComponent(0x80112233u), 0x80);
  EXPECT_EQ(RedComponent(0x80112233u), 0x11);
  EXPECT_EQ(GreenComponent(0x80112233u), 0x22);
  EXPECT_EQ(BlueComponent(0x80112233u), 0x33);
  // Platform colours are 0x00BBGGRR; the result is opaque.
  EXPECT_EQ(Color32(TColor{0x00332211}), 0xFF112233u);
  // The button face is a system colour: (240, 240, 240) on this platform.
  EXPECT_EQ(Color32(clBtnFace), Color32(240, 240, 240, 255));
  EXPECT_EQ(Color32(clWindow), 0xFFFFFFFFu);
}

TEST(Color, BlendFollowsTheRuleIncludingAlpha) {
  // Opaque sources land exactly; transparent ones change nothing.
  EXPECT_EQ(BlendReg(Color32(10, 20, 30, 255), 0x12345678u), Color32(10, 20, 30, 255));
  EXPECT_EQ(BlendReg(0x00FFFFFFu, 0x12345678u), 0x12345678u);
  EXPECT_EQ(BlendReg(0x00000000u, 0xFF000000u), 0xFF000000u);
  // Half-transparent white: the alpha channel is blended like the colours.
  EXPECT_EQ(BlendReg(Color32(255, 255, 255, 128), Color32(0, 0, 0, 255)),
            Color32(128, 128, 128, 192));
  EXPECT_EQ(BlendReg(Color32(255, 255, 255, 128), 0x00000000u), Color32(128, 128, 128, 64));

  SetRandSeed(7);
  for (int i = 0; i < 100000; ++i) {
    const TColor32 f = RandomColor(), b = RandomColor();
    ASSERT_EQ(BlendReg(f, b), ReferenceBlend(f, b)) << std::hex << f << " over " << b;
  }
}

TEST(Color, MasterAlphaAndMergeKeepTheirEnds) {
  EXPECT_EQ(ApplyMasterAlpha(0x80FFFFFFu, 255), 0x80FFFFFFu);
  EXPECT_EQ(ApplyMasterAlpha(0xFF123456u, 0), 0x00123456u);
  EXPECT_EQ(ApplyMasterAlpha(0xFF123456u, 128), 0x80123456u);
  // Merge: over a transparent pixel the source is kept as it is; nothing ever loses opacity.
  EXPECT_EQ(MergeReg(0x80FF0000u, 0x00000000u), 0x80FF0000u);
  EXPECT_EQ(MergeReg(0x80FF0000u, 0xFF0000FFu) >> 24, 255u);
  EXPECT_EQ(MergeReg(0x00FF0000u, 0x400000FFu), 0x400000FFu);
  EXPECT_EQ(MergeReg(0xFFFF0000u, 0x400000FFu), 0xFFFF0000u);
}

// Every kernel must give the scalar rule's result bit for bit, for every alpha, in runs whose
// lengths exercise the vector bodies, their shortcuts and the tails.
TEST(Color, RowKernelsMatchTheScalarRuleForAllAlphas) {
  SetRandSeed(12345);
  using Kernel = void (*)(const TColor32*, TColor32*, int32_t);
  std::vector<std::pair<const char*, Kernel>> kernels = {{"line", &BlendLine}};
  if (detail::HasSse2()) kernels.emplace_back("sse2", &detail::BlendLineSse2);
  if (detail::HasAvx2()) kernels.emplace_back("avx2", &detail::BlendLineAvx2);
  if (detail::HasWasmSimd()) kernels.emplace_back("wasm-simd", &detail::BlendLineWasmSimd);

  for (auto [name, kernel] : kernels) {
    for (int32_t length : {1, 3, 4, 7, 8, 9, 16, 31, 257, 1024}) {
      for (int round = 0; round < 40; ++round) {
        std::vector<TColor32> src(static_cast<size_t>(length)), dst(src.size());
        for (size_t i = 0; i < src.size(); ++i) {
          // Rounds cycle through all-transparent, all-opaque and mixed runs.
          uint32_t alpha = static_cast<uint32_t>(RandomIndex(256));
          if (round % 4 == 1) alpha = 0;
          if (round % 4 == 2) alpha = 255;
          if (round % 4 == 3) alpha = static_cast<uint32_t>((i * 37 + round) % 256);
          src[i] = (RandomColor() & 0x00FFFFFFu) | alpha << 24;
          dst[i] = RandomColor();
        }
        std::vector<TColor32> expected(dst);
        for (size_t i = 0; i < src.size(); ++i) expected[i] = ReferenceBlend(src[i], dst[i]);
        kernel(src.data(), dst.data(), length);
        ASSERT_EQ(dst, expected) << name << " length " << length << " round " << round;
      }
    }
    // Every (alpha, source channel, target channel) combination of one channel.
    std::vector<TColor32> src, dst, expected;
    for (uint32_t a = 0; a < 256; ++a)
      for (uint32_t f = 0; f < 256; f += 5)
        for (uint32_t b = 0; b < 256; b += 3) {
          src.push_back(a << 24 | f << 16 | (255 - f) << 8 | b);
          dst.push_back((255 - a) << 24 | b << 16 | f << 8 | (255 - b));
        }
    for (size_t i = 0; i < src.size(); ++i) expected.push_back(ReferenceBlend(src[i], dst[i]));
    kernel(src.data(), dst.data(), static_cast<int32_t>(src.size()));
    EXPECT_EQ(dst, expected) << name;
  }
}
