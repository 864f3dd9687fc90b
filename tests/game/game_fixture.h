#pragma once
// The real game on the headless platform: a data folder of small, known sprites, a hand-moved
// clock, and helpers that run frames.

#include <gtest/gtest.h>

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/random.h"
#include "base/ticks.h"
#include "game/game_state.h"
#include "game/invaders.h"
#include "game/main_window.h"
#include "game/particles.h"
#include "neat/genotype.h"
#include "neat/population.h"
#include "platform/headless/headless.h"

namespace qf::testing_game {

namespace fs = std::filesystem;


inline void WritePng(const fs::path& path, int w, int h, const std::vector<uint32_t>& argb) {
  FILE* fp = std::fopen(path.c_str(), "wb");
  ASSERT_NE(fp, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, fp);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t c = argb[static_cast<size_t>(y) * w + x];
      row[x * 4 + 0] = uint8_t(c >> 16);
      row[x * 4 + 1] = uint8_t(c >> 8);
      row[x * 4 + 2] = uint8_t(c);
      row[x * 4 + 3] = uint8_t(c >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(fp);
}

inline void WriteSolid(const fs::path& path, int w, int h, uint32_t color) {
  WritePng(path, w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, color));
}

// The ship: 30 x 18, transparent columns 0..4, alpha 1 at column 5, opaque from column 6 on.
constexpr int kShipW = 30, kShipH = 18;
inline std::vector<uint32_t> ShipPixels() {
  std::vector<uint32_t> px(kShipW * kShipH);
  for (int y = 0; y < kShipH; ++y)
    for (int x = 0; x < kShipW; ++x)
      px[y * kShipW + x] = x < 5 ? 0x0000FF00u : x == 5 ? 0x0100FF00u : 0xFF00FF00u;
  return px;
}

// The window's icon: any small picture, with colours and alpha that a swap would show.
inline std::vector<uint32_t> IconPixels() {
  return {0xFF102030u, 0x80405060u, 0xFFFF0000u, 0xFF00FF00u, 0x400000FFu, 0xFFFFFFFFu};
}

class GameTest : public ::testing::Test {
protected:
  static fs::path& DataDir() {
    static fs::path dir;
    return dir;
  }

  static void SetUpTestSuite() {
    DataDir() = fs::temp_directory_path() / ("qf_game_" + std::to_string(::getpid()));
    WriteGameData(DataDir());
  }

  // The seven sprites and two stand-in sounds (the headless platform only records them).
  static void WriteGameData(const fs::path& d) {
    fs::create_directories(d / "Media");
    WriteSolid(d / "fons.png", 471, 503, 0xFF101020);
    WriteSolid(d / "invader.png", 20, 16, 0xFFFF00FF);
    WriteSolid(d / "bumba.png", 6, 10, 0xFFFFFF00);
    WriteSolid(d / "rakete.png", 4, 12, 0xFFFFFFFF);
    WritePng(d / "player.png", kShipW, kShipH, ShipPixels());
    WriteSolid(d / "playersm.png", 20, 14, 0xFF00FF00);
    WriteSolid(d / "gameover.png", 200, 100, 0x80FF0000);
    fs::create_directories(d / "icons");
    WritePng(d / kIconFile, 3, 2, IconPixels());
    std::ofstream(d / "Media" / "chimes.wav", std::ios::binary) << "CHIMES";
    std::ofstream(d / "Media" / "tada.wav", std::ios::binary) << "TADA";
  }

  static void TearDownTestSuite() { fs::remove_all(DataDir()); }

  void SetUp() override {
    previousDir_ = fs::current_path();
    fs::current_path(DataDir());
    clock_ = std::make_unique<ManualClock>(100000);
    StartGame();
  }

  // Creates the window with the current directory's sprites and the given system directory.
  void StartGame(const std::string& systemDir) {
    auto app = CreateHeadlessApplication();
    headless_ = static_cast<HeadlessApplication*>(app.get());
    app_ = std::move(app);
    headless_->SystemDirectory = systemDir;
    fmMain_ = std::make_unique<TfmMain>(*app_);
  }
  void StartGame() { StartGame(DataDir().string()); }

  void TearDown() override {
    fmMain_.reset();
    app_.reset();
    clock_.reset();
    fs::current_path(previousDir_);
  }

  // One round of the loop (pending events, then one frame) after `ms` milliseconds.
  void Frame(uint32_t ms = 16) {
    clock_->Advance(ms);
    headless_->Step();
  }

  // A frame in which nothing moves (dt = 0) after `ms` milliseconds have passed.
  void StillFrame(uint32_t ms = 0) {
    clock_->Advance(ms);
    S().LastFrameTick = clock_->Now();
    headless_->Step();
  }

  // Puts a rocket on the last invader and lets a still frame resolve the hit.
  void KillOne(uint32_t msBefore = 1000) {
    clock_->Advance(msBefore);
    const TNetworkInvader& target = *S().Invaders.back();
    S().Rockets.push_back(Rocket{target.X, target.Y});
    StillFrame();
  }

  static TGameState& S() { return GameState(); }
  std::string Title() const { return headless_->MainWindow()->Title(); }

  fs::path previousDir_;
  std::unique_ptr<ManualClock> clock_;
  std::unique_ptr<Application> app_;
  HeadlessApplication* headless_ = nullptr;
  std::unique_ptr<TfmMain> fmMain_;
};

}  // namespace qf::testing_game
