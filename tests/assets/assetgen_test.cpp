// The generator's building blocks: the blend rule, the PNG and WAV encoders, the synthesiser's
// own sine and exponential, the pixel font and the preview composition.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

#include "tests/assets/decoded_png.h"
#include "tools/assetgen/assetgen.h"
#include "tools/assetgen/pixel_font.h"
#include "tools/assetgen/png_writer.h"
#include "tools/assetgen/preview.h"
#include "tools/assetgen/sprites.h"
#include "tools/assetgen/synth.h"
#include "tools/assetgen/wav_writer.h"

namespace qf::assetgen {
namespace {

TEST(AssetgenBlend, FollowsTheGamesRuleIncludingAlpha) {
  EXPECT_EQ(BlendArgb(0xFF102030, 0x00FFFFFF), 0xFF102030u);
  EXPECT_EQ(BlendArgb(0xFF102030, 0xFF0A141E), 0xFF0A141Eu);
  EXPECT_EQ(BlendArgb(0xFF000000, 0x80FFFFFF), 0xC0808080u);
  EXPECT_EQ(BlendArgb(0x00000000, 0x80FFFFFF), 0x40808080u);
  // (b * 55 + f * 201 + 128) >> 8 for each channel.
  EXPECT_EQ(BlendArgb(0xFF204060, 0xC9FF8000), 0xD5CF7215u);
}

TEST(AssetgenPicture, PixelMapsRejectRaggedRowsAndUnknownColoursAndMirrorExactly) {
  const std::unordered_map<char, Argb> palette = {{'a', 0xFF112233}, {'b', 0xFF445566}};
  EXPECT_THROW(FromPixelMap({"ab", "a"}, palette), std::invalid_argument);
  EXPECT_THROW(FromPixelMap({"az"}, palette), std::invalid_argument);
  const Picture m = FromMirroredMap({"a.b", "..a"}, palette);
  ASSERT_EQ(m.Width, 6);
  ASSERT_EQ(m.Height, 2);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(m.At(x, y), m.At(5 - x, y));
  EXPECT_EQ(m.At(0, 0), 0xFF112233u);
  EXPECT_EQ(m.At(1, 0), 0u);
  EXPECT_EQ(m.At(3, 0), 0xFF445566u);
}

TEST(AssetgenPicture, StretchingFourHundredIntoFourHundredOneRepeatsTheFirstColumn) {
  Picture src(400, 2);
  for (int32_t x = 0; x < 400; ++x) src.Set(x, 0, 0xFF000000u | static_cast<uint32_t>(x));
  Picture dst(401, 1);
  dst.DrawStretched(0, 0, 401, 1, src);
  EXPECT_EQ(dst.At(0, 0), 0xFF000000u);
  EXPECT_EQ(dst.At(1, 0), 0xFF000000u);
  EXPECT_EQ(dst.At(2, 0), 0xFF000001u);
  EXPECT_EQ(dst.At(400, 0), 0xFF000000u | 399u);
}

TEST(AssetgenPng, RoundTripsExactlyAndCarriesNoTimeOrTextChunks) {
  Picture p(7, 5);
  StarRandom rnd(42);
  for (Argb& c : p.Pixels) c = rnd.Next();
  const std::vector<uint8_t> bytes = EncodePng(p, PngAlpha::Keep);
  EXPECT_EQ(bytes, EncodePng(p, PngAlpha::Keep));
  const testing::DecodedPng back = testing::DecodePngBytes(bytes);
  ASSERT_TRUE(back.Ok);
  ASSERT_TRUE(back.HasAlpha);
  ASSERT_EQ(back.Width, 7);
  ASSERT_EQ(back.Height, 5);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(back.Argb(x, y), p.At(x, y));

  const testing::DecodedPng opaque = testing::DecodePngBytes(EncodePng(p, PngAlpha::Drop));
  ASSERT_TRUE(opaque.Ok);
  EXPECT_FALSE(opaque.HasAlpha);
  EXPECT_EQ(opaque.Argb(3, 2), p.At(3, 2) | 0xFF000000u);

  // Walk the chunks: only IHDR, IDAT and IEND may appear.
  for (size_t at = 8; at + 8 <= bytes.size();) {
    const uint32_t length = (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
                            (uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
    const std::string type(bytes.begin() + static_cast<long>(at) + 4, bytes.begin() + static_cast<long>(at) + 8);
    EXPECT_TRUE(type == "IHDR" || type == "IDAT" || type == "IEND") << type;
    at += 12 + length;
  }
  EXPECT_THROW(EncodePng(Picture(), PngAlpha::Keep), std::runtime_error);
}

TEST(AssetgenWav, HeaderDescribesSixteenBitMonoPcm) {
  const std::vector<uint8_t> w = EncodeWav({0, 1000, -1000, -32767}, 44100);
  ASSERT_EQ(w.size(), 44u + 8u);
  auto u32 = [&](size_t at) {
    return uint32_t{w[at]} | (uint32_t{w[at + 1]} << 8) | (uint32_t{w[at + 2]} << 16) |
           (uint32_t{w[at + 3]} << 24);
  };
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(w[at] | (w[at + 1] << 8)); };
  EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
  EXPECT_EQ(u32(4), 44u);
  EXPECT_EQ(std::string(w.begin() + 8, w.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(u16(20), 1u);   // PCM
  EXPECT_EQ(u16(22), 1u);   // mono
  EXPECT_EQ(u32(24), 44100u);
  EXPECT_EQ(u32(28), 88200u);
  EXPECT_EQ(u16(34), 16u);
  EXPECT_EQ(u32(40), 8u);
  EXPECT_EQ(static_cast<int16_t>(u16(46)), 1000);
  EXPECT_EQ(static_cast<int16_t>(u16(50)), -32767);
}

TEST(AssetgenSynth, OwnSineAndExponentialMatchTheLibrary) {
  for (double x = -40.0; x <= 40.0; x += 0.0173) EXPECT_NEAR(DetSin(x), std::sin(x), 1e-12) << x;
  for (double x = -60.0; x <= 0.0; x += 0.0371)
    EXPECT_NEAR(DetExp(x) / std::exp(x), 1.0, 1e-13) << x;
  EXPECT_EQ(DetExp(0.0), 1.0);
  EXPECT_EQ(DetExp(-1000.0), 0.0);
}

TEST(AssetgenSynth, NormalizeHitsThePeakWithoutClippingAndKeepsSilence) {
  const std::vector<int16_t> out = Normalize({0.0, 0.25, -0.5, 0.125}, 0.9);
  EXPECT_EQ(out, (std::vector<int16_t>{0, 14745, -29490, 7373}));
  EXPECT_EQ(Normalize({0.0, 0.0}, 0.9), (std::vector<int16_t>{0, 0}));
  EXPECT_EQ(Normalize({-3.0, 1.0}, 1.0)[0], -32767);
  EXPECT_THROW(Normalize({1.0}, 0.0), std::invalid_argument);
  EXPECT_THROW(Normalize({1.0}, 1.5), std::invalid_argument);
}

TEST(AssetgenSynth, ToneRisesFromSilenceAndFadesBackToIt) {
  std::vector<double> buffer(4410, 0.0);
  Tone t;
  t.Start = 0.01;
  t.Attack = 0.005;
  t.Length = 0.05;
  t.Release = 0.02;
  t.Frequency = 441;
  t.Gain = 1;
  t.Partials = {{1.0, 1.0, 10.0}};
  AddTone(buffer, 44100, t);
  EXPECT_EQ(buffer[440], 0.0);    // before the start
  EXPECT_EQ(buffer[4000], 0.0);   // after the release
  EXPECT_LT(std::fabs(buffer[442]), 0.01);
  double peak = 0;
  for (const double v : buffer) peak = std::max(peak, std::fabs(v));
  EXPECT_NEAR(peak, 1.0, 0.01);
}

TEST(AssetgenFont, MeasuresDrawsAndRefusesMissingGlyphs) {
  for (const char ch : std::string("GAMEOVERPlayagain?Y/N 0123456789.FPSGen"))
    EXPECT_TRUE(HasGlyph(ch)) << ch;
  EXPECT_EQ(TextWidth(""), 0);
  EXPECT_EQ(TextWidth("I"), 3);
  EXPECT_EQ(TextWidth("AI"), 5 + 1 + 3);

  Picture p(20, 20);
  DrawText(p, 1, 1, "I", 2, 0xFFFFFFFFu);
  int ink = 0;
  for (const Argb c : p.Pixels) ink += c == 0xFFFFFFFFu;
  EXPECT_EQ(ink, 11 * 4);  // the serif I has 11 font pixels, each a 2 x 2 block
  EXPECT_EQ(p.At(1, 1), 0xFFFFFFFFu);
  EXPECT_EQ(p.At(0, 0), 0u);

  Picture untouched(20, 20);
  EXPECT_THROW(DrawText(untouched, 0, 0, "A~", 1, 0xFFFFFFFFu), std::invalid_argument);
  EXPECT_EQ(untouched.Pixels, Picture(20, 20).Pixels) << "nothing drawn before the refusal";
}

TEST(AssetgenPreview, ComposesLayersWhereTheGamePutsThem) {
  EXPECT_EQ(ParticleColor(0.0f), 0xFFFFFF14u);
  EXPECT_EQ(ParticleColor(0.5f), MakeArgb(127, 255, 155, 10));
  EXPECT_EQ(ParticleColor(3.0f), 0x00FF3700u);

  const AssetPictures pictures = MakeAllPictures();
  const Picture play = ComposePreview(pictures, false);
  ASSERT_EQ(play.Width, kClientWidth);
  ASSERT_EQ(play.Height, kClientHeight);
  // The red outline on the playfield's outermost ring.
  for (const auto [x, y] : {std::array{35, 51}, {434, 51}, {35, 450}, {434, 450}, {235, 450}})
    EXPECT_EQ(play.At(x, y), kPlayfieldOutline) << x << "," << y;
  EXPECT_NE(play.At(36, 52), kPlayfieldOutline);
  // The ship's centre pixel, copied over the sky: bottom edge 5 pixels above the playfield's.
  const Picture& ship = pictures.Player;
  const int32_t shipCentreY = 51 + 395 - ship.Height / 2;
  EXPECT_EQ(play.At(235, shipCentreY), ship.At(ship.Width / 2, ship.Height / 2));

  const Picture over = ComposePreview(pictures, true);
  const Picture& go = pictures.GameOver;
  const int32_t left = 235 - go.Width / 2, top = 251 - go.Height / 2;
  // Where the picture is opaque it replaces the playfield exactly.
  for (int32_t y = 0; y < go.Height; y += 7)
    for (int32_t x = 0; x < go.Width; x += 5) {
      if (AlphaOf(go.At(x, y)) == 255) {
        EXPECT_EQ(over.At(left + x, top + y), go.At(x, y));
      }
    }
}

TEST(AssetgenFiles, NineFilesInAFixedOrderAndEveryRunTheSame) {
  const std::vector<AssetFile> a = MakeAssetFiles();
  ASSERT_EQ(a.size(), 9u);
  EXPECT_EQ(a[0].Name, "fons.png");
  EXPECT_EQ(a[8].Name, "Media/tada.wav");
  const std::vector<AssetFile> b = MakeAssetFiles();
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].Bytes, b[i].Bytes) << a[i].Name;
}

}  // namespace
}  // namespace qf::assetgen
