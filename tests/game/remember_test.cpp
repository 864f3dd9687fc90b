// Remember mode and the learning view, on the headless platform with a hand-moved clock: the
// program is closed and started again as a player would, in a directory of its own.

#include <sys/resource.h>

#include <csignal>
#include <sstream>

#include "game/learning_view.h"
#include "neat/io/neat_io.h"
#include "raster/layers.h"
#include "tests/game/game_fixture.h"

using namespace qf;
using namespace qf::testing_game;

namespace {

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The saves set aside beside the save, by the word in their names.
std::vector<fs::path> SetAside(const fs::path& dir, const std::string& why) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("population-" + why + "-", 0) == 0 && entry.path().extension() == ".json")
      found.push_back(entry.path());
  }
  return found;
}

class RememberTest : public GameTest {
protected:
  void SetUp() override {
    dir_ = DataDir() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    save_ = dir_ / "population.json";
    options_.Remember = true;
    options_.SaveFile = save_;
    GameTest::SetUp();
  }
  void TearDown() override {
    GameTest::TearDown();
    fs::remove_all(dir_);
  }

  // Closes the program as the player does (the window saves and writes log.txt), returns the
  // log, and starts the program again.
  std::string Restart() {
    fmMain_.reset();
    app_.reset();
    const std::string log = ReadFile("log.txt");
    StartGame();
    return log;
  }

  // An invader on the field drops a bomb on the ship's last life: game over. Returns the
  // bomber's genome position.
  int32_t EndTheGame() {
    clock_->Advance(2000);
    S().Lives = 1;
    for (size_t i = S().Invaders.size(); i-- > 0;) {
      TNetworkInvader& bomber = *S().Invaders[i];
      if (!bomber.CanDropBomb()) continue;  // its bomb is still falling
      bomber.DropBomb();
      S().Bombs.back().X = S().PlayerX;
      S().Bombs.back().Y = S().PlayerY;
      const int32_t index = bomber.GenomeIndex;
      StillFrame();
      EXPECT_TRUE(S().GameOverLayer->Visible());
      return index;
    }
    ADD_FAILURE() << "no invader can drop a bomb";
    return -1;
  }

  std::vector<TGenotype*> Genomes() const {
    const TGenotypeList& list = *fmMain_->Population->GenotypeList;
    return {list.begin(), list.end()};
  }

  fs::path dir_;
  fs::path save_;
};

TEST_F(RememberTest, TheWaveThatEndsAGameIsBredAndYGoesOnWithTheNextGeneration) {
  for (int kill = 1; kill <= 30; ++kill) KillOne();  // generation 1, whose fitness stays
  ASSERT_EQ(S().Generation, 2);                      // in the table
  for (int kill = 1; kill <= 5; ++kill) KillOne();   // 15 of generation 2 have entered
  const int32_t bomber = EndTheGame();
  ASSERT_GE(bomber, 0);

  EXPECT_EQ(S().Generation, 3);
  EXPECT_TRUE(S().Invaders.empty());
  EXPECT_EQ(S().Lives, 0);
  ASSERT_EQ(fmMain_->History().size(), 2u);
  const TWaveRecord& last = fmMain_->History()[1];
  EXPECT_EQ(last.Generation, 2);
  EXPECT_EQ(last.Game, 1);
  EXPECT_EQ(last.Hits, 1);
  EXPECT_GE(last.Bombs, 1);
  EXPECT_GT(last.MeanLife, 1.0);
  const TGenotypeList& scored = *fmMain_->Population->PreviousGenotypeList;
  for (int i = 0; i < 15; ++i) EXPECT_GE(scored[i]->Fitness, 1.0) << i;  // they lived
  for (int i = 15; i < 30; ++i) EXPECT_EQ(scored[i]->Fitness, 0.0) << i;  // never entered
  EXPECT_GE(scored[bomber]->Fitness, 200.0);
  EXPECT_LT(bomber, 15);  // the hit that took the last life counts

  // The next generation waits for Y on an empty field, and is not bred again meanwhile.
  Frame();
  Frame();
  EXPECT_EQ(S().Generation, 3);
  EXPECT_TRUE(S().Invaders.empty());
  const std::vector<TGenotype*> bred = Genomes();
  headless_->PostKeyUp('Y');
  Frame();
  EXPECT_FALSE(S().GameOverLayer->Visible());
  EXPECT_EQ(S().Generation, 3);
  EXPECT_EQ(fmMain_->Game(), 2);
  EXPECT_EQ(S().Lives, 4);
  EXPECT_EQ(Genomes(), bred);
  ASSERT_EQ(S().Invaders.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(S().Invaders[i]->Genotype, bred[i]);

  // Without remember mode the game over breeds nothing and Y starts afresh (GameTest).
}

TEST_F(RememberTest, AnotherStartResumesThePopulationAsItWasSaved) {
  for (int kill = 1; kill <= 30; ++kill) KillOne();
  ASSERT_EQ(S().Generation, 2);
  const std::string kept = ReadFile(save_);
  ASSERT_FALSE(kept.empty());
  const std::vector<TWaveRecord> history = fmMain_->History();
  KillOne();  // the wave in play goes on; quitting now loses nothing but that wave
  Frame();

  Restart();
  EXPECT_EQ(ReadFile(save_), kept);  // the exit wrote the population as its wave began
  EXPECT_EQ(S().Generation, 2);
  EXPECT_EQ(fmMain_->Game(), 2);
  EXPECT_EQ(fmMain_->History(), history);
  // The population in hand is the file's: saved again it reads the same, but for the dice,
  // which come from the clock at every start.
  std::ostringstream again;
  io::SavePopulation(*fmMain_->Population, again, io::ReadPopulationCheckpointFile(save_).Host());
  const auto withoutSeed = [](std::string text) {
    const size_t at = text.find("\"RandSeed\"");
    return text.erase(at, text.find('\n', at) - at);
  };
  EXPECT_EQ(withoutSeed(again.str()), withoutSeed(kept));

  // The generations go on, and the history tells the games apart.
  for (int kill = 1; kill <= 30; ++kill) KillOne();
  EXPECT_EQ(S().Generation, 3);
  ASSERT_EQ(fmMain_->History().size(), 2u);
  EXPECT_EQ(fmMain_->History()[1].Game, 2);
  Restart();
  EXPECT_EQ(S().Generation, 3);
  EXPECT_EQ(fmMain_->History().size(), 2u);
}

TEST_F(RememberTest, ForgettingKeepsTheOldSaveUnderADatedName) {
  for (int kill = 1; kill <= 30; ++kill) KillOne();
  fmMain_.reset();
  app_.reset();
  const std::string old = ReadFile(save_);
  options_.Forget = true;
  testing::internal::CaptureStderr();
  StartGame();
  const std::string told = testing::internal::GetCapturedStderr();

  const std::vector<fs::path> aside = SetAside(dir_, "forgotten");
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ReadFile(aside[0]), old);
  EXPECT_NE(told.find(aside[0].filename().string()), std::string::npos) << told;
  EXPECT_EQ(S().Generation, 1);
  EXPECT_EQ(fmMain_->Game(), 1);
  EXPECT_TRUE(fmMain_->History().empty());
  // The new population is kept at once.
  EXPECT_EQ(DecodeRememberedGame(io::ReadPopulationCheckpointFile(save_).Host()).Generation, 1);
}

TEST_F(RememberTest, ASaveThatCannotBeReadIsSetAsideAndANewPopulationStarts) {
  for (int kill = 1; kill <= 30; ++kill) KillOne();
  fmMain_.reset();
  app_.reset();
  const std::string good = ReadFile(save_);

  auto withReplaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  struct Case {
    const char* Name;
    std::function<void()> Make;
  };
  const Case cases[] = {
      {"truncated", [&] { std::ofstream(save_, std::ios::binary) << good.substr(0, good.size() / 2); }},
      {"another version",
       [&] { std::ofstream(save_, std::ios::binary) << withReplaced("\"Version\": 1", "\"Version\": 9"); }},
      {"another registry",
       [&] { std::ofstream(save_, std::ios::binary) << withReplaced("\"Sigmoind\"", "\"Sigmoid2\""); }},
      {"no history", [&] { std::ofstream(save_, std::ios::binary) << withReplaced("\"history\"", "\"histori\""); }},
      {"a directory", [&] { fs::create_directory(save_); }},
      // Read as a file it would never end.
      {"a link to /dev/zero", [&] { fs::create_symlink("/dev/zero", save_); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    for (const fs::path& p : SetAside(dir_, "unreadable")) fs::remove_all(p);
    fs::remove_all(save_);
    c.Make();
    const auto before = fs::symlink_status(save_).type();
    const std::string bytes = fs::is_regular_file(fs::symlink_status(save_)) ? ReadFile(save_) : "";

    testing::internal::CaptureStderr();
    StartGame();
    const std::string told = testing::internal::GetCapturedStderr();
    const std::vector<fs::path> aside = SetAside(dir_, "unreadable");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(fs::symlink_status(aside[0]).type(), before);  // the very thing, kept
    if (!bytes.empty()) {
      EXPECT_EQ(ReadFile(aside[0]), bytes);
    }
    EXPECT_NE(told.find("cannot be read"), std::string::npos) << told;
    EXPECT_NE(told.find(aside[0].filename().string()), std::string::npos) << told;
    EXPECT_EQ(S().Generation, 1);
    EXPECT_TRUE(fmMain_->History().empty());
    ASSERT_EQ(S().Invaders.size(), 10u);
    const std::string log = Restart();  // the fresh population resumes; the log told it too
    EXPECT_NE(log.find("cannot be read"), std::string::npos);
    EXPECT_EQ(SetAside(dir_, "unreadable").size(), 1u);
    fmMain_.reset();
    app_.reset();
  }
}

TEST_F(RememberTest, ASaveThatCannotBeWrittenIsReportedAndTheGameGoesOn) {
  for (int kill = 1; kill <= 30; ++kill) KillOne();
  const std::string good = ReadFile(save_);

  // A full disk: the first bytes of a new save fit, the rest do not. The old one stays whole.
  struct rlimit limit {};
  getrlimit(RLIMIT_FSIZE, &limit);
  const struct rlimit small { 4096, limit.rlim_max };
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  testing::internal::CaptureStderr();
  for (int kill = 1; kill <= 30; ++kill) KillOne();
  std::string told = testing::internal::GetCapturedStderr();
  setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(S().Generation, 3);
  EXPECT_NE(told.find("cannot be saved"), std::string::npos) << told;
  EXPECT_EQ(ReadFile(save_), good);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1)
      << "a partial save was left behind";

  // No file can be written where the save is a directory or a device.
  for (auto make : {std::function<void()>([&] { fs::create_directory(save_); }),
                    std::function<void()>([&] { fs::create_symlink("/dev/full", save_); })}) {
    fs::remove_all(save_);
    make();
    const int32_t generation = S().Generation;
    testing::internal::CaptureStderr();
    for (int kill = 1; kill <= 30; ++kill) KillOne();
    told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(S().Generation, generation + 1);
    EXPECT_NE(told.find("cannot be saved"), std::string::npos) << told;
    Frame();
    EXPECT_EQ(S().Invaders.size(), 10u);  // the game goes on
  }
  fmMain_.reset();  // told in the log as well, the failure at exit included
  app_.reset();
  const std::string log = ReadFile("log.txt");
  EXPECT_NE(log.find("The population cannot be saved"), std::string::npos);
  EXPECT_TRUE(fs::is_symlink(save_));  // a link to a device is never replaced
}

TEST_F(RememberTest, TheLearningViewShowsOnlyWhenAskedAndOnlyWhilePausedOrOver) {
  auto shown = [&](int x, int y) {
    Frame(0);  // the repaint
    const qf::Frame& f = headless_->MainHeadlessWindow()->LastFrame();
    return f.Pixels[static_cast<size_t>(y) * f.Width + x] & 0xFFFFFFu;
  };
  auto viewShown = [&] { return fmMain_->LearningLayer().Visible(); };
  // The hits chart's empty plot, opaque, at the panel's (100, 100).
  constexpr uint32_t kChart = 0x1C2632u;
  const int x = 35 + 100, y = 51 + 100;

  headless_->PostKeyUp('L');  // asked while the game runs: nothing hides the field
  Frame();
  EXPECT_FALSE(viewShown());
  EXPECT_NE(shown(x, y), kChart);
  headless_->PostKeyUp('P');
  headless_->Step();
  EXPECT_TRUE(viewShown());
  EXPECT_EQ(shown(x, y), kChart);
  headless_->PostKeyUp('P');  // running again: gone at once
  headless_->Step();
  EXPECT_FALSE(viewShown());

  // At game over it shows by itself, with the wave that ended the game in its history: a bar
  // of one hit fills the hits chart from its floor to its top.
  EndTheGame();
  EXPECT_TRUE(viewShown());
  const TBitmap32& panel = fmMain_->LearningLayer().Bitmap;
  EXPECT_EQ(panel.Pixel(100, 157), 0xFFFF6A5Au);
  EXPECT_EQ(panel.Pixel(100, 63), 0xFFFF6A5Au);
  headless_->PostKeyUp('L');
  headless_->Step();
  EXPECT_FALSE(viewShown());
  headless_->PostKeyUp('L');
  headless_->PostKeyUp('Y');  // the new game runs: the view waits for the next pause
  Frame();
  EXPECT_FALSE(viewShown());
}

}  // namespace
