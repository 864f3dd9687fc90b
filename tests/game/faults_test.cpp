// The game under bad input and odd timing: missing or corrupt files, an unwritable log, stalls
// and a tick counter that wraps.

#include "tests/game/game_fixture.h"

using namespace qf;
using namespace qf::testing_game;

namespace {

// Each test gets an empty folder of its own as the current directory.
class FaultTest : public GameTest {
protected:
  void SetUp() override {
    previousDir_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("qf_faults_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    clock_ = std::make_unique<ManualClock>(100000);
  }
  void TearDown() override {
    GameTest::TearDown();
    fs::remove_all(dir_);
  }
  // Plays `frames` frames of `ms` each, firing whenever allowed and moving the ship about.
  void Play(int frames, uint32_t ms = 16) {
    for (int i = 0; i < frames; ++i) {
      if (i % 40 == 0) headless_->PostKeyDown(i % 80 ? VK_LEFT : VK_RIGHT);
      headless_->PostKeyDown(VK_SPACE);
      Frame(ms);
    }
  }
  fs::path dir_;
};

TEST_F(FaultTest, NoSpritesAndNoSoundsTheGameStillPlays) {
  StartGame("");  // no system directory at all
  EXPECT_EQ(S().Invaders.size(), 10u);
  EXPECT_TRUE(S().PlayerSprite->Empty());
  EXPECT_EQ(S().Invaders[0]->HalfWidth, 0);
  // Bombs on the ship's centre: an empty sprite has no opaque pixel, so nothing ever hits.
  S().Bombs.push_back(Bomb{S().PlayerX, S().PlayerY, nullptr});
  StillFrame();
  EXPECT_EQ(S().Lives, 4);
  Play(600);
  EXPECT_EQ(S().Lives, 4);
  EXPECT_TRUE(headless_->SoundsPlayed.empty());  // silent, nothing failed
  // Kills still work with a point-sized rocket box.
  for (int i = 0; i < 30; ++i) KillOne();
  EXPECT_EQ(S().Generation, 2);
}

TEST_F(FaultTest, CorruptSpritesAndSoundsAreIgnored) {
  fs::create_directories(dir_ / "Media");
  for (const char* name : {"fons.png", "invader.png", "bumba.png", "rakete.png", "player.png",
                           "playersm.png", "gameover.png"})
    std::ofstream(dir_ / name, std::ios::binary) << "\x89PNG\r\n\x1a\nnot really a picture";
  std::ofstream(dir_ / "Media" / "tada.wav", std::ios::binary) << "RIFF\x10\0\0\0WAVEfmt ";
  std::ofstream(dir_ / "Media" / "chimes.wav", std::ios::binary);  // empty
  StartGame(dir_.string());
  EXPECT_TRUE(S().PlayerSprite->Empty());
  EXPECT_TRUE(fmMain_->ImgView.Bitmap.Empty());
  // The truncated WAV is handed over as it is (the player refuses it); the empty one is not.
  ASSERT_EQ(headless_->SoundsPlayed.size(), 1u);
  Play(300);
  KillOne();
  EXPECT_EQ(headless_->SoundsPlayed.size(), 1u);  // no chimes: its file was empty
  EXPECT_EQ(S().Invaders.size(), 10u);
}

TEST_F(FaultTest, AnUnwritableLogDoesNotStopTheExit) {
  WriteGameData(dir_);
  fs::create_directories(dir_ / "log.txt");  // a folder where the file should go
  StartGame(dir_.string());
  Play(10);
  headless_->PostKeyDown(VK_ESCAPE);
  EXPECT_FALSE(headless_->Step());
  EXPECT_TRUE(fs::is_directory(dir_ / "log.txt"));
}

TEST_F(FaultTest, AFiveSecondStallMovesEverythingInOneStep) {
  WriteGameData(dir_);
  StartGame(dir_.string());
  Frame();
  S().Rockets.push_back(Rocket{390, 300});
  S().PlayerDirection = -1;
  const float playerX = S().PlayerX;
  Frame(5000);
  EXPECT_TRUE(S().Rockets.empty());  // 1000 px up: gone without meeting anyone
  EXPECT_FLOAT_EQ(S().PlayerX, std::max(0.0f, playerX - 500));
  for (const auto& invader : S().Invaders) {
    EXPECT_GE(invader->X, 0);
    EXPECT_LE(invader->X, 400);
    EXPECT_LE(std::hypot(invader->VelX, invader->VelY), 250.01);
  }
  Play(100);
  EXPECT_LE(S().Invaders.size(), 10u);
}

TEST_F(FaultTest, TheTickCounterWrapsMidGame) {
  WriteGameData(dir_);
  clock_->Set(0xFFFFFFFFu - 1000);
  StartGame(dir_.string());
  Play(50);  // crosses 2^32 after about 62 frames
  Play(50);
  EXPECT_LT(clock_->Now(), 1000u);
  // Frame time, firing and blinking measure across the wrap.
  S().PlayerDirection = 1;
  S().PlayerX = 100;
  Frame(100);
  EXPECT_NEAR(S().PlayerX, 110, 1e-3);
  S().Rockets.clear();
  clock_->Advance(601);
  headless_->PostKeyDown(VK_SPACE);
  StillFrame();
  EXPECT_EQ(S().Rockets.size(), 1u);
  for (int i = 0; i < 30; ++i) KillOne();
  EXPECT_EQ(S().Generation, 2);
}

}  // namespace
