// The arena itself: the same seed plays the same game, the autopilot dodges and answers the
// game-over picture with keys, and the learning curve reaches its PNG intact.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/ticks.h"
#include "game/game_state.h"
#include "game/invaders.h"
#include "game/main_window.h"
#include "game/png_loader.h"
#include "neat/io/neat_io.h"
#include "neat/population.h"
#include "platform/headless/headless.h"
#include "raster/layers.h"
#include "tools/arena/arena.h"
#include "tools/arena/curve.h"

using namespace qf;
using namespace qf::arena;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ArenaTest : public ::testing::Test {
protected:
  void SetUp() override {
    out_ = fs::temp_directory_path() /
           ("qf_arena_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(out_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(out_, ec);
  }

  ArenaOptions Options(uint32_t seed, const std::string& sub) {
    ArenaOptions o;
    o.Seed = seed;
    o.Generations = 2;
    o.FrameStepMs = 40;
    o.DataDir = QF_ASSET_DIR;
    o.OutDir = out_ / sub;
    o.MaxFrames = 100000;
    fs::create_directories(o.OutDir);
    return o;
  }

  // Plays a run to its end and returns its CSV rows and its log.
  std::pair<std::string, std::string> Play(const ArenaOptions& o) {
    std::string rows;
    {
      Arena arena(o);
      EXPECT_TRUE(arena.Run());
      for (const GenerationRecord& r : arena.Records()) rows += CsvRow(r) + "\n";
    }
    return {rows, ReadAll(o.OutDir / "log.txt")};
  }

  fs::path out_;
};

TEST_F(ArenaTest, TheSameSeedPlaysTheSameGameAndAnotherSeedAnother) {
  const auto first = Play(Options(5, "a"));
  const auto again = Play(Options(5, "b"));
  const auto other = Play(Options(6, "c"));
  ASSERT_FALSE(first.first.empty());
  EXPECT_EQ(first.first, again.first);
  EXPECT_EQ(first.second, again.second);
  EXPECT_NE(first.first, other.first);
  EXPECT_NE(first.second.find("Hit Invader"), std::string::npos);
  EXPECT_EQ(std::count(first.first.begin(), first.first.end(), '\n'), 2);
}

TEST_F(ArenaTest, TheAutopilotSidestepsABombAndAnswersGameOverWithY) {
  Arena arena(Options(7, "a"));
  TGameState& s = GameState();
  s.Invaders.erase(s.Invaders.begin() + 1, s.Invaders.end());  // one invader, far away
  s.Invaders[0]->X = 20;
  s.Invaders[0]->Y = 20;
  s.PlayerX = 200;
  s.Bombs.push_back(Bomb{200, 250, nullptr});  // falling straight onto the ship
  Autopilot pilot(40);
  const AutopilotDecision d = pilot.Decide(s, arena.Now());
  EXPECT_NE(d.Direction, 0);
  EXPECT_EQ(d.Threats, 1);
  for (int i = 0; i < 60 && !s.Bombs.empty(); ++i) ASSERT_TRUE(arena.Frame());
  EXPECT_EQ(s.Lives, 4);
  EXPECT_EQ(s.PlayerHitTick, 0u);
  EXPECT_TRUE(arena.App().SoundsPlayed.empty());  // not hoarded over a long run

  // At game over it presses Y, as keys: a new game starts.
  s.Lives = 0;
  s.GameOverLayer->SetVisible(true);
  const int32_t games = arena.Game();
  EXPECT_TRUE(pilot.Decide(s, arena.Now()).Restart);
  ASSERT_TRUE(arena.Frame());
  EXPECT_FALSE(s.GameOverLayer->Visible());
  EXPECT_EQ(s.Lives, 4);
  EXPECT_EQ(s.Generation, 1);
  EXPECT_EQ(arena.Game(), games + 1);
}

TEST_F(ArenaTest, TheLearningCurveReachesItsPngIntact) {
  std::vector<GenerationRecord> records;
  for (int i = 1; i <= 12; ++i) {
    GenerationRecord r;
    r.Index = i;
    r.Game = i <= 6 ? 1 : 2;
    r.MeanFitness = 5 + i;
    r.BestFitness = 40 + 10 * i;
    records.push_back(r);
  }
  TBitmap32 picture;
  DrawLearningCurve(picture, records, "test");
  ASSERT_EQ(picture.Width(), kCurveWidth);
  ASSERT_EQ(picture.Height(), kCurveHeight);
  auto count = [&](TColor32 color) {
    int n = 0;
    for (int32_t y = 0; y < picture.Height(); ++y)
      for (int32_t x = 0; x < picture.Width(); ++x) n += picture.Pixel(x, y) == color;
    return n;
  };
  EXPECT_GT(count(0xFF4AA8FFu), 30);  // the mean: pixels its line covers fully
  EXPECT_GT(count(0xFFFFA840u), 30);  // the best

  const fs::path file = out_ / "curve.png";
  WritePng(picture, file);
  const auto decoded = DecodePng(ReadAll(file));
  ASSERT_TRUE(decoded.has_value());
  ASSERT_EQ(decoded->Width, kCurveWidth);
  ASSERT_EQ(decoded->Height, kCurveHeight);
  EXPECT_TRUE(std::equal(decoded->Pixels.begin(), decoded->Pixels.end(), picture.Bits()));

  EXPECT_THROW(WritePng(picture, out_ / "no" / "such" / "dir.png"), std::runtime_error);
}

TEST_F(ArenaTest, ACheckpointPutsItsPopulationIntoTheGameAndOneOfAnotherShapeIsRefused) {
  const fs::path file = out_ / "gen2.json";
  std::string saved;
  {
    ArenaOptions o = Options(5, "a");
    o.Generations = 1;
    Arena arena(o);
    ASSERT_TRUE(arena.Run());
    arena.SaveCheckpoint(file);
    std::ostringstream text;
    io::SavePopulation(*arena.Main().Population, text);
    saved = text.str();
  }
  ArenaOptions o = Options(6, "b");
  o.Generations = 1;
  Arena arena(o);
  arena.Resume(file);
  std::ostringstream resumed;
  io::SavePopulation(*arena.Main().Population, resumed);
  // Genomes, species, counters and pool; the seed has moved on with the new invaders.
  const auto withoutSeed = [](std::string text) {
    const size_t at = text.find("\"RandSeed\"");
    return text.erase(at, text.find('\n', at) - at);
  };
  EXPECT_EQ(withoutSeed(resumed.str()), withoutSeed(saved));
  TGameState& s = GameState();
  EXPECT_EQ(s.Generation, 2);
  ASSERT_EQ(s.Invaders.size(), 10u);
  for (const auto& invader : s.Invaders) {
    const auto* network = dynamic_cast<const TNetworkInvader*>(invader.get());
    ASSERT_NE(network, nullptr);
    EXPECT_EQ((*arena.Main().Population->GenotypeList)[network->GenomeIndex], network->Genotype);
  }
  ASSERT_TRUE(arena.Run());
  EXPECT_EQ(arena.Records().front().GameGeneration, 2);

  // An XOR-shaped population is not the game's: refused, the game's own left as it was.
  TNEATPopulation other(nullptr);
  other.PopulationSize = 10;
  other.InputNodeCount = 3;
  other.CreateInitialPopulation();
  io::SavePopulationFile(other, out_ / "xor.json");
  std::ostringstream before;
  io::SavePopulation(*arena.Main().Population, before);
  const size_t invaders = s.Invaders.size();
  ASSERT_GT(invaders, 0u);
  try {
    arena.Resume(out_ / "xor.json");
    ADD_FAILURE() << "accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("a population of 10 genomes with 3 inputs and 1 outputs; "
                                         "the game plays 30 with 7 and 3"),
              std::string::npos) << e.what();
  }
  std::ostringstream after;
  io::SavePopulation(*arena.Main().Population, after);
  EXPECT_EQ(after.str(), before.str());
  EXPECT_EQ(s.Invaders.size(), invaders);  // the wave in play goes on
}

TEST(ArenaOptionsTest, AMissingDataDirectoryIsAClearError) {
  ArenaOptions o;
  o.DataDir = "/nonexistent/quillfrost/data";
  try {
    Arena arena(o);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/quillfrost/data"), std::string::npos);
  }
}

}  // namespace
