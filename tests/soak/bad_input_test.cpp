// The real game on bad data and through faults: missing or corrupt sprites, missing or corrupt
// sounds, a log that cannot be written, a long stall between frames, the tick counter wrapping,
// a checkpoint to resume that is refused.

#include <gtest/gtest.h>

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/ticks.h"
#include "game/game_state.h"
#include "game/invaders.h"
#include "game/main_window.h"
#include "neat/population.h"
#include "platform/headless/headless.h"
#include "raster/bitmap32.h"
#include "raster/layers.h"

using namespace qf;
namespace fs = std::filesystem;

namespace {

const char* const kSprites[] = {"fons.png",   "invader.png",  "bumba.png",   "rakete.png",
                                "player.png", "playersm.png", "gameover.png"};

std::string PngBytes(int w, int h, uint32_t argb) {
  std::string bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &bytes,
      [](png_structp p, png_bytep data, png_size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
      },
      nullptr);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
  for (int x = 0; x < w; ++x) {
    row[x * 4 + 0] = uint8_t(argb >> 16);
    row[x * 4 + 1] = uint8_t(argb >> 8);
    row[x * 4 + 2] = uint8_t(argb);
    row[x * 4 + 3] = uint8_t(argb >> 24);
  }
  for (int y = 0; y < h; ++y) png_write_row(png, row.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Good sprites of the usual sizes, for the tests that break something else.
void WriteGoodSprites(const fs::path& dir) {
  WriteFile(dir / "fons.png", PngBytes(471, 503, 0xFF101020));
  WriteFile(dir / "invader.png", PngBytes(20, 16, 0xFFFF00FF));
  WriteFile(dir / "bumba.png", PngBytes(6, 10, 0xFFFFFF00));
  WriteFile(dir / "rakete.png", PngBytes(4, 12, 0xFFFFFFFF));
  WriteFile(dir / "player.png", PngBytes(30, 18, 0xFF00FF00));
  WriteFile(dir / "playersm.png", PngBytes(20, 14, 0xFF00FF00));
  WriteFile(dir / "gameover.png", PngBytes(200, 100, 0x80FF0000));
}

class BadInputTest : public ::testing::Test {
protected:
  void SetUp() override {
    previousDir_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("qf_bad_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }

  void TearDown() override {
    main_.reset();
    app_.reset();
    clock_.reset();
    fs::current_path(previousDir_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Starts the game in dir_ with its sounds below `systemDir` (empty: there is none).
  void Start(const std::string& systemDir, uint32_t startTick = 100000) {
    fs::current_path(dir_);
    clock_ = std::make_unique<ManualClock>(startTick);
    app_ = CreateHeadlessApplication();
    headless_ = static_cast<HeadlessApplication*>(app_.get());
    headless_->SystemDirectory = systemDir;
    main_ = std::make_unique<TfmMain>(*app_);
  }

  bool Frame(uint32_t ms = 16) {
    clock_->Advance(ms);
    return headless_->Step();
  }

  // Plays `frames` frames firing whenever it may and sweeping the ship across the field.
  void Play(int frames) {
    for (int i = 0; i < frames; ++i) {
      if (i % 40 == 0) headless_->PostKey(VK_SPACE);
      if (i % 400 == 0) headless_->PostKeyDown(VK_LEFT);
      if (i % 400 == 200) headless_->PostKeyDown(VK_RIGHT);
      ASSERT_TRUE(Frame());
    }
  }

  // Puts a rocket on the last invader and lets a frame with dt = 0 resolve the hit.
  void KillOne(uint32_t msBefore) {
    clock_->Advance(msBefore);
    const TNetworkInvader& target = *S().Invaders.back();
    S().Rockets.push_back(Rocket{target.X, target.Y});
    S().LastFrameTick = clock_->Now();
    ASSERT_TRUE(headless_->Step());
  }

  // Every invader where the rules keep it: inside the field, no faster than its limit.
  void ExpectInvadersInBounds() {
    for (const auto& inv : S().Invaders) {
      EXPECT_GE(inv->X, 0);
      EXPECT_LE(inv->X, 400);
      EXPECT_GE(inv->Y, 0);
      EXPECT_LE(inv->Y, 400);
      EXPECT_LE(std::hypot(inv->VelX, inv->VelY), 250.01);
    }
  }

  static TGameState& S() { return GameState(); }

  fs::path previousDir_;
  fs::path dir_;
  std::unique_ptr<ManualClock> clock_;
  std::unique_ptr<Application> app_;
  HeadlessApplication* headless_ = nullptr;
  std::unique_ptr<TfmMain> main_;
};

TEST_F(BadInputTest, WithoutAnySpriteOrSoundTheGamePlaysAndTheEmptyShipIsNeverHit) {
  Start("");  // no system directory at all
  EXPECT_TRUE(S().PlayerSprite->Empty());
  EXPECT_TRUE(S().InvaderSprite->Empty());
  EXPECT_EQ(S().RocketHalfWidth, 0);
  EXPECT_EQ(S().Invaders.size(), 10u);
  EXPECT_FLOAT_EQ(S().PlayerY, 395.0f);

  Play(1500);  // 24 s: the invaders drop plenty of bombs
  EXPECT_EQ(S().Lives, 4);
  S().Bombs.push_back(Bomb{S().PlayerX, S().PlayerY, nullptr});  // dead centre
  ASSERT_TRUE(Frame(0));
  EXPECT_EQ(S().Lives, 4);
  EXPECT_EQ(S().PlayerHitTick, 0u);
  EXPECT_TRUE(headless_->SoundsPlayed.empty());

  // Nothing of the missing pictures shows: the playfield is its outline over the window.
  headless_->Post({ekPaint, 0, 0});
  ASSERT_TRUE(Frame(0));
  const qf::Frame& shown = headless_->MainHeadlessWindow()->LastFrame();
  ASSERT_EQ(shown.Width, 471);
  auto at = [&](int x, int y) { return shown.Pixels[static_cast<size_t>(y) * 471 + x]; };
  EXPECT_EQ(at(35, 51) & 0xFFFFFF, 0xC80000u);
  EXPECT_EQ(at(10, 10), at(470, 502));  // the view's plain background colour

  // A kill still counts with an empty rocket and invader: the boxes shrink to points.
  const size_t lines = S().LogLines.size();
  KillOne(1000);
  EXPECT_EQ(S().LogLines[lines].rfind("Hit Invader ", 0), 0u);
  EXPECT_TRUE(headless_->SoundsPlayed.empty());
}

TEST_F(BadInputTest, CorruptAndTruncatedSpritesLoadAsEmptyAndTheGamePlays) {
  const std::string good = PngBytes(20, 16, 0xFFFF00FF);
  WriteFile(dir_ / "fons.png", "this is not a picture");
  WriteFile(dir_ / "invader.png", good.substr(0, good.size() / 2));  // cut in its data
  WriteFile(dir_ / "bumba.png", "");
  WriteFile(dir_ / "rakete.png", good.substr(0, 8));  // the signature alone
  std::string flipped = good;
  flipped[flipped.size() / 2] ^= 0x5A;  // a damaged chunk: its checksum fails
  WriteFile(dir_ / "player.png", flipped);
  fs::create_directory(dir_ / "playersm.png");  // a directory where a file should be
  WriteFile(dir_ / "gameover.png", std::string(5000, '\xFF'));
  Start(dir_.string());

  EXPECT_TRUE(main_->ImgView.Bitmap.Empty());
  EXPECT_TRUE(S().InvaderSprite->Empty());
  EXPECT_TRUE(S().BombSprite->Empty());
  EXPECT_TRUE(S().RocketSprite->Empty());
  EXPECT_TRUE(S().PlayerSprite->Empty());
  EXPECT_TRUE(S().LifeSprite->Empty());
  EXPECT_TRUE(S().GameOverLayer->Bitmap.Empty());
  Play(1500);
  EXPECT_EQ(S().Lives, 4);
  ExpectInvadersInBounds();
}

TEST_F(BadInputTest, CorruptSoundsArePassedOnAndTheGameGoesOn) {
  WriteGoodSprites(dir_);
  fs::create_directories(dir_ / "Media");
  const std::string truncated("RIFF\x24\x08\x00\x00WAVEfmt ", 16);
  WriteFile(dir_ / "Media" / "chimes.wav", truncated);
  WriteFile(dir_ / "Media" / "tada.wav", std::string(300, '\x07'));
  Start(dir_.string());
  ASSERT_EQ(headless_->SoundsPlayed.size(), 1u);  // the greeting, whatever it holds
  EXPECT_EQ(headless_->SoundsPlayed[0], std::string(300, '\x07'));

  KillOne(1000);
  ASSERT_EQ(headless_->SoundsPlayed.size(), 2u);
  EXPECT_EQ(headless_->SoundsPlayed[1], truncated);
  Play(300);
  EXPECT_FALSE(main_->MainWindow().Closed());
  EXPECT_EQ(S().Invaders.size(), 10u);
}

TEST_F(BadInputTest, MissingSoundFilesLeaveTheGameSilent) {
  WriteGoodSprites(dir_);
  fs::create_directories(dir_ / "Media");  // a system directory without the two files
  Start(dir_.string());
  KillOne(1000);
  S().Bombs.push_back(Bomb{S().PlayerX, S().PlayerY, nullptr});
  ASSERT_TRUE(Frame(0));
  EXPECT_EQ(S().Lives, 3);  // the hit happened, silently
  EXPECT_TRUE(headless_->SoundsPlayed.empty());
}

TEST_F(BadInputTest, SoundsThatCannotBeReadLeaveTheGameSilent) {
  WriteGoodSprites(dir_);
  fs::create_directories(dir_ / "Media" / "chimes.wav");  // exists, but cannot be read
  fs::create_directories(dir_ / "Media" / "tada.wav");
  Start(dir_.string());
  EXPECT_TRUE(S().ChimesWave.empty());
  EXPECT_TRUE(S().TadaWave.empty());
  KillOne(1000);
  EXPECT_TRUE(headless_->SoundsPlayed.empty());
  EXPECT_EQ(S().Invaders.size(), 10u);
}

TEST_F(BadInputTest, ALogThatCannotBeWrittenStillLetsTheProgramEnd) {
  WriteGoodSprites(dir_);
  fs::create_directory(dir_ / "log.txt");  // root ignores permissions; a directory it cannot
  Start(dir_.string());
  Play(100);
  testing::internal::CaptureStderr();
  headless_->PostKeyDown(VK_ESCAPE);
  EXPECT_FALSE(headless_->Step());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(fs::is_directory(dir_ / "log.txt"));
  main_.reset();  // the window's own destruction does not try again, nor fail
}

TEST_F(BadInputTest, AWorkingDirectoryRemovedDuringPlayStillLetsTheProgramEnd) {
  WriteGoodSprites(dir_);
  Start(dir_.string());
  Play(100);
  fs::remove_all(dir_);  // the working directory is gone: "log.txt" cannot be created
  testing::internal::CaptureStderr();
  headless_->PostClose();
  EXPECT_FALSE(headless_->Step());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  main_.reset();
}

TEST_F(BadInputTest, AFiveSecondStallMovesEverythingInOneStep) {
  WriteGoodSprites(dir_);
  Start(dir_.string());
  Play(100);
  clock_->Advance(1000);
  headless_->PostKey(VK_SPACE);
  ASSERT_TRUE(Frame(0));
  ASSERT_EQ(S().Rockets.size(), 1u);
  S().Bombs.push_back(Bomb{S().PlayerX + 100, 50, nullptr});
  const size_t lines = S().LogLines.size();
  const int32_t lives = S().Lives;

  ASSERT_TRUE(Frame(5000));
  EXPECT_TRUE(S().Rockets.empty());  // 1000 px up in one step: gone without a test
  EXPECT_TRUE(S().Bombs.empty());  // 1100 px down: out at the bottom, none on the ship
  EXPECT_EQ(S().Lives, lives);
  EXPECT_EQ(S().LogLines.size(), lines);  // nobody hit on the way
  ExpectInvadersInBounds();
  for (const auto& inv : S().Invaders) EXPECT_LE(inv->BombsInFlight, 1u);
  Play(200);  // and the game plays on at its pace
  ExpectInvadersInBounds();
  EXPECT_EQ(S().Invaders.size(), 10u);
}

TEST_F(BadInputTest, TheTickCounterWrappingMidGameChangesNothing) {
  WriteGoodSprites(dir_);
  Start(dir_.string(), 0xFFFFFFFFu - 1999);  // wraps 2 s into the game
  const uint32_t birth = S().Invaders.back()->BirthTick;
  Play(40);

  // Shots keep their 600 ms spacing across the wrap.
  clock_->Set(0xFFFFFFFFu - 299);
  S().LastFrameTick = clock_->Now();
  S().LastShotTick = clock_->Now();
  S().Rockets.clear();
  clock_->Advance(600);
  ASSERT_LT(clock_->Now(), 1000u);
  S().LastFrameTick = clock_->Now();
  headless_->PostKey(VK_SPACE);
  ASSERT_TRUE(headless_->Step());
  EXPECT_TRUE(S().Rockets.empty());  // exactly 600 ms: too soon
  clock_->Advance(1);
  S().LastFrameTick = clock_->Now();
  headless_->PostKey(VK_SPACE);
  ASSERT_TRUE(headless_->Step());
  ASSERT_EQ(S().Rockets.size(), 1u);

  // The frame time across the wrap is one frame: the rocket climbs 3.2 px in 16 ms.
  const float y = S().Rockets[0].Y;
  ASSERT_TRUE(Frame(16));
  ASSERT_EQ(S().Rockets.size(), 1u);
  EXPECT_NEAR(S().Rockets[0].Y, y - 3.2f, 1e-3);
  S().Rockets.clear();

  // Killed 2.5 s after its birth, across the wrap: a survival bonus of 2, not of millions.
  TNetworkInvader& target = *S().Invaders.back();
  ASSERT_EQ(target.BirthTick, birth);
  clock_->Set(birth + 2500);
  target.Fitness = 0;
  target.LastBombTick = clock_->Now();  // no bomb in the killing frame
  const int32_t index = target.GenomeIndex;
  S().LastFrameTick = clock_->Now();
  S().Rockets.push_back(Rocket{target.X, target.Y});
  ASSERT_TRUE(headless_->Step());
  EXPECT_FLOAT_EQ(S().FitnessTable[static_cast<size_t>(index)], 2.0f);

  Play(300);
  ExpectInvadersInBounds();
  EXPECT_GT(S().FramesPerSecond, 1.0f);
  EXPECT_LT(S().FramesPerSecond, 1000.0f);
}

TEST_F(BadInputTest, ClosingTheWindowDuringAnEvaluationEndsItAndWritesTheLog) {
  WriteGoodSprites(dir_);
  Start(dir_.string());
  for (int kill = 1; kill <= 29; ++kill) KillOne(1000);
  auto original = main_->Population->OnCalculateFitness;
  int calls = 0;
  main_->Population->OnCalculateFitness = [&](TNEATPopulation* p, TGenotype* g) {
    if (calls++ == 5) headless_->PostClose();  // the close button, not a key
    return original(p, g);
  };
  clock_->Advance(1000);
  S().Rockets.push_back(Rocket{S().Invaders.back()->X, S().Invaders.back()->Y});
  S().LastFrameTick = clock_->Now();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(headless_->Step());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(calls, 6);
  std::ifstream log(dir_ / "log.txt", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
  EXPECT_NE(text.find("Hit Invader"), std::string::npos);
  main_.reset();
}

// The arena resuming from a checkpoint it refuses: the earlier run's record in the output
// directory is left as it was, not cut down to a header and a fresh log.
TEST(ArenaResumeTest, ARefusedCheckpointLeavesTheEarlierRunsFilesWhole) {
  const fs::path dir = fs::temp_directory_path() / ("qf_bad_resume_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "out");
  const std::map<std::string, std::string> earlier = {
      {"arena-seed1.csv", "generation,game\n1,1\n2,1\n"},
      {"arena-seed1.png", "an earlier curve"},
      {"log.txt", "Inserted new Invader, count : 1\n"}};
  for (const auto& [name, text] : earlier) WriteFile(dir / "out" / name, text);
  WriteFile(dir / "bad.json", "{\"Format\": \"quillfrost-population\", \"Version\": 1, \"Gen");

  const std::string command = std::string(QF_ARENA) + " --seed 1 --resume " +
                              (dir / "bad.json").string() + " --out " + (dir / "out").string() +
                              " 2> " + (dir / "err.txt").string();
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::ifstream err(dir / "err.txt");
  const std::string message{std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>()};
  EXPECT_NE(message.find("bad.json: not valid JSON"), std::string::npos) << message;
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir / "out")) {
    ++files;
    std::ifstream in(entry.path(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              earlier.at(entry.path().filename().string()));
  }
  EXPECT_EQ(files, earlier.size());  // nothing new either
  fs::remove_all(dir);
}

}  // namespace
