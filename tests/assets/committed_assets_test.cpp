// The nine committed asset files and the icons: reproducible by the generator, decodable by
// the loaders the game uses (libpng, SDL), and shaped the way the game's layout and the
// desktop's icon theme need them.

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/assets/decoded_png.h"
#include "tools/assetgen/icons.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using testing::DecodedPng;
using testing::DecodePngFile;

const char* const kAssetNames[] = {"fons.png",    "invader.png",  "bumba.png",
                                   "rakete.png",  "player.png",   "playersm.png",
                                   "gameover.png", "Media/chimes.wav", "Media/tada.wav"};
using assetgen::kIconSizes;

std::string IconName(int32_t size) { return "icons/quillfrost-" + std::to_string(size) + ".png"; }

std::vector<char> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A scratch directory of this process, removed when the test ends.
struct ScratchDir {
  fs::path Path;
  explicit ScratchDir(const std::string& tag)
      : Path(fs::temp_directory_path() / ("qf-assets-" + tag + "-" + std::to_string(getpid()))) {
    fs::remove_all(Path);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(Path, ec);
  }
};

int RunGenerator(const std::string& args) {
  const std::string cmd = std::string("'") + QF_ASSETGEN + "' " + args + " >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

DecodedPng LoadAsset(const char* name) {
  DecodedPng png = DecodePngFile(std::string(QF_ASSET_DIR) + "/" + name);
  EXPECT_TRUE(png.Ok) << name << " does not decode";
  return png;
}

int Luma(uint32_t argb) {
  return static_cast<int>((((argb >> 16) & 0xFF) * 3 + ((argb >> 8) & 0xFF) * 6 + (argb & 0xFF)) / 10);
}

// Opaque pixels reachable from (x, y) through edge neighbours.
int OpaqueRegionSize(const DecodedPng& png, int32_t x0, int32_t y0) {
  std::vector<bool> seen(static_cast<size_t>(png.Width * png.Height), false);
  std::vector<std::pair<int32_t, int32_t>> stack{{x0, y0}};
  int count = 0;
  while (!stack.empty()) {
    const auto [x, y] = stack.back();
    stack.pop_back();
    if (x < 0 || y < 0 || x >= png.Width || y >= png.Height) continue;
    const size_t i = static_cast<size_t>(y * png.Width + x);
    if (seen[i] || png.Alpha(x, y) == 0) continue;
    seen[i] = true;
    ++count;
    stack.insert(stack.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
  }
  return count;
}

int CountAlpha(const DecodedPng& png, uint8_t alpha) {
  int n = 0;
  for (int32_t y = 0; y < png.Height; ++y)
    for (int32_t x = 0; x < png.Width; ++x) n += png.Alpha(x, y) == alpha;
  return n;
}

TEST(CommittedAssets, GeneratorReproducesEveryFileByteForByte) {
  ScratchDir out("regen");
  ASSERT_EQ(RunGenerator("'" + out.Path.string() + "'"), 0);
  std::vector<std::string> names(std::begin(kAssetNames), std::end(kAssetNames));
  for (const int32_t size : kIconSizes) names.push_back(IconName(size));
  for (const std::string& name : names) {
    const std::vector<char> committed = ReadAll(fs::path(QF_ASSET_DIR) / name);
    ASSERT_FALSE(committed.empty()) << name << " is missing from assets/";
    EXPECT_TRUE(committed == ReadAll(out.Path / name))
        << name << " differs from a fresh run of the generator (run make assets)";
  }
}

TEST(CommittedAssets, GeneratorRejectsBadCommandLinesAndUnwritableTargets) {
  EXPECT_EQ(RunGenerator(""), 2);
  EXPECT_EQ(RunGenerator("--bogus"), 2);
  ScratchDir blocker("blocker");
  std::ofstream(blocker.Path.string()) << "a file, not a directory";
  EXPECT_EQ(RunGenerator("'" + (blocker.Path / "data").string() + "'"), 1);
  EXPECT_EQ(RunGenerator("--preview '" + (blocker.Path / "p").string() + "'"), 1);
}

TEST(CommittedAssets, PreviewOptionComposesTwoClientSizedStills) {
  ScratchDir out("preview");
  ASSERT_EQ(RunGenerator("--preview '" + out.Path.string() + "'"), 0);
  for (const char* name : {"preview-play.png", "preview-gameover.png"}) {
    const DecodedPng png = DecodePngFile((out.Path / name).string());
    ASSERT_TRUE(png.Ok) << name;
    EXPECT_EQ(png.Width, 471);
    EXPECT_EQ(png.Height, 503);
  }
}

TEST(CommittedAssets, BackgroundIsOpaqueDarkAndCoversTheClientArea) {
  const DecodedPng bg = LoadAsset("fons.png");
  ASSERT_EQ(bg.Width, 471);
  ASSERT_EQ(bg.Height, 503);
  EXPECT_EQ(CountAlpha(bg, 255), bg.Width * bg.Height);
  // White status text (rows 21..50) and the playfield's sprites must stand out: the sky there
  // is dark on average and never close to white.
  auto meanLuma = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2, int& brightest) {
    long sum = 0;
    brightest = 0;
    for (int32_t y = y1; y < y2; ++y)
      for (int32_t x = x1; x < x2; ++x) {
        const int l = Luma(bg.Argb(x, y));
        sum += l;
        brightest = std::max(brightest, l);
      }
    return sum / ((x2 - x1) * (y2 - y1));
  };
  int brightest = 0;
  EXPECT_LT(meanLuma(34, 21, 435, 51, brightest), 20);
  EXPECT_LT(brightest, 200);
  EXPECT_LT(meanLuma(35, 51, 435, 451, brightest), 40);
  EXPECT_LT(brightest, 230);
  EXPECT_GT(brightest, 60) << "a starfield, not a flat fill";
}

TEST(CommittedAssets, SpritesFitTheStatusBarAndPlayfield) {
  const DecodedPng invader = LoadAsset("invader.png");
  EXPECT_TRUE(invader.HasAlpha);
  EXPECT_LE(invader.Width, 20) << "the status bar's count starts at x = 26";
  EXPECT_GE(invader.Width, 12);
  EXPECT_LE(invader.Height, 24) << "drawn at y = 4 inside the 30-high status bar";

  const DecodedPng life = LoadAsset("playersm.png");
  EXPECT_TRUE(life.HasAlpha);
  EXPECT_LE(life.Width, 22);
  EXPECT_LE(life.Height, 24);

  const DecodedPng bomb = LoadAsset("bumba.png");
  const DecodedPng rocket = LoadAsset("rakete.png");
  EXPECT_TRUE(bomb.HasAlpha && rocket.HasAlpha);
  EXPECT_TRUE(bomb.Width >= 4 && bomb.Width <= 10 && bomb.Height >= 6 && bomb.Height <= 14);
  EXPECT_TRUE(rocket.Width >= 2 && rocket.Width <= 6 && rocket.Height >= 8 && rocket.Height <= 16);

  for (const DecodedPng* s : {&invader, &life, &bomb, &rocket}) {
    EXPECT_GT(CountAlpha(*s, 0), 0) << "a sprite shows its shape, not a box";
    EXPECT_GT(CountAlpha(*s, 255), s->Width * s->Height / 6);
  }
}

TEST(CommittedAssets, PlayerShipIsOneSolidShapeInAClearBorder) {
  const DecodedPng ship = LoadAsset("player.png");
  ASSERT_TRUE(ship.HasAlpha);
  EXPECT_TRUE(ship.Width >= 24 && ship.Width <= 36 && ship.Height >= 14 && ship.Height <= 24);
  for (int32_t x = 0; x < ship.Width; ++x) {
    EXPECT_EQ(ship.Alpha(x, 0), 0);
    EXPECT_EQ(ship.Alpha(x, ship.Height - 1), 0);
  }
  for (int32_t y = 0; y < ship.Height; ++y) {
    EXPECT_EQ(ship.Alpha(0, y), 0);
    EXPECT_EQ(ship.Alpha(ship.Width - 1, y), 0);
  }
  // The alpha is the hit mask: only fully in or fully out, and every opaque pixel part of the
  // one body that contains the centre.
  const int opaque = CountAlpha(ship, 255);
  EXPECT_EQ(opaque + CountAlpha(ship, 0), ship.Width * ship.Height);
  ASSERT_EQ(ship.Alpha(ship.Width / 2, ship.Height / 2), 255);
  EXPECT_EQ(OpaqueRegionSize(ship, ship.Width / 2, ship.Height / 2), opaque);
  EXPECT_GT(opaque, ship.Width * ship.Height / 4);
}

TEST(CommittedAssets, GameOverPictureIsCentredWithoutStretchingAndReadable) {
  const DecodedPng over = LoadAsset("gameover.png");
  ASSERT_TRUE(over.HasAlpha);
  // The layer spans W div 2 either side of the centre, so odd sizes would be stretched.
  EXPECT_EQ(over.Width % 2, 0);
  EXPECT_EQ(over.Height % 2, 0);
  EXPECT_LE(over.Width, 400);
  EXPECT_LE(over.Height, 400);
  EXPECT_GE(over.Width, 200);
  // Bright lettering on a darker panel: both must be present in quantity.
  int bright = 0, dark = 0;
  for (int32_t y = 0; y < over.Height; ++y)
    for (int32_t x = 0; x < over.Width; ++x) {
      if (over.Alpha(x, y) < 200) continue;
      (Luma(over.Argb(x, y)) > 150 ? bright : dark) += 1;
    }
  EXPECT_GT(bright, 1500);
  EXPECT_GT(dark, bright);
}

TEST(CommittedAssets, IconsAreSquareTilesWithClearCornersShowingTheInvader) {
  const DecodedPng invader = LoadAsset("invader.png");
  ASSERT_TRUE(invader.Ok);
  const uint32_t body = invader.Argb(invader.Width / 2, invader.Height / 2);
  for (const int32_t size : kIconSizes) {
    SCOPED_TRACE(size);
    const DecodedPng icon = LoadAsset(IconName(size).c_str());
    ASSERT_TRUE(icon.HasAlpha);
    ASSERT_EQ(icon.Width, size);
    ASSERT_EQ(icon.Height, size);
    for (const auto& [x, y] : {std::pair{0, 0}, {size - 1, 0}, {0, size - 1}, {size - 1, size - 1}})
      EXPECT_EQ(icon.Alpha(x, y), 0) << "corner " << x << "," << y;
    EXPECT_EQ(icon.Alpha(size / 2, size / 2), 255);
    // Drawn from the game's own sprite: its body colour covers a good part of the tile, except
    // where the small sizes average it with the sky.
    int32_t bodyPixels = 0;
    for (int32_t y = 0; y < size; ++y)
      for (int32_t x = 0; x < size; ++x) bodyPixels += icon.Argb(x, y) == body;
    if (size >= 32) {
      EXPECT_GT(bodyPixels, size * size / 16);
    }
  }
}

struct LoadedWav {
  SDL_AudioSpec Spec{};
  std::vector<int16_t> Samples;
};

LoadedWav LoadWav(const char* name) {
  LoadedWav wav;
  Uint8* buffer = nullptr;
  Uint32 length = 0;
  const std::string path = std::string(QF_ASSET_DIR) + "/" + name;
  if (SDL_LoadWAV(path.c_str(), &wav.Spec, &buffer, &length) == nullptr) {
    ADD_FAILURE() << name << ": " << SDL_GetError();
    return wav;
  }
  wav.Samples.resize(length / 2);
  std::copy_n(buffer, wav.Samples.size() * 2, reinterpret_cast<Uint8*>(wav.Samples.data()));
  SDL_FreeWAV(buffer);
  return wav;
}

TEST(CommittedAssets, SoundsAreShortNormalisedUnclippedMono16Bit) {
  struct Expect {
    const char* Name;
    double MinSeconds, MaxSeconds;
  };
  for (const Expect e : {Expect{"Media/chimes.wav", 0.3, 0.99}, Expect{"Media/tada.wav", 0.8, 1.5}}) {
    SCOPED_TRACE(e.Name);
    const LoadedWav wav = LoadWav(e.Name);
    ASSERT_FALSE(wav.Samples.empty());
    EXPECT_EQ(wav.Spec.format, AUDIO_S16LSB);
    EXPECT_EQ(wav.Spec.channels, 1);
    EXPECT_TRUE(wav.Spec.freq == 22050 || wav.Spec.freq == 44100);
    const double seconds = static_cast<double>(wav.Samples.size()) / wav.Spec.freq;
    EXPECT_GE(seconds, e.MinSeconds);
    EXPECT_LE(seconds, e.MaxSeconds);
    int peak = 0;
    for (const int16_t s : wav.Samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LT(peak, 32767) << "clipped";
    EXPECT_GT(peak, 32767 * 7 / 10) << "not normalised";
    // Starts and ends in silence, so playback neither clicks in nor cuts off.
    EXPECT_LT(std::abs(wav.Samples.front()), 200);
    EXPECT_LT(std::abs(wav.Samples.back()), 200);
  }
}

}  // namespace
}  // namespace qf
