// The players of the arena and the learning study: each skill level behaves as documented on
// a hand-made situation, without touching the game's random source.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/random.h"
#include "game/game_state.h"
#include "game/invaders.h"
#include "game/main_window.h"
#include "game/png_loader.h"
#include "neat/io/neat_io.h"
#include "neat/population.h"
#include "tools/arena/arena.h"
#include "tools/arena/autopilot.h"
#include "tools/arena/curve.h"
#include "tools/arena/study.h"

using namespace qf;
using namespace qf::arena;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kStepMs = 40;

class LearningTest : public ::testing::Test {
protected:
  void SetUp() override {
    out_ = fs::temp_directory_path() /
           ("qf_learning_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(out_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(out_, ec);
  }

  ArenaOptions Options(uint32_t seed) {
    ArenaOptions o;
    o.Seed = seed;
    o.Generations = 1;
    o.FrameStepMs = kStepMs;
    o.DataDir = QF_ASSET_DIR;
    o.OutDir = out_;
    o.MaxFrames = 100000;
    return o;
  }

  // One invader straight above the ship, standing still as far as anyone can tell: the aim
  // is where the ship already is, so any move is about the bombs.
  static void StillInvaderAbove(TGameState& s) {
    s.Invaders.erase(s.Invaders.begin() + 1, s.Invaders.end());
    TInvader& inv = *s.Invaders[0];
    inv.X = 200;
    inv.Y = 60;
    inv.VelX = inv.VelY = 0;
    s.PlayerX = 200;
    s.Bombs.clear();
  }

  fs::path out_;
};

TEST_F(LearningTest, TheNonDodgingPlayerStaysUnderABombTheAutopilotSidesteps) {
  Arena arena(Options(3));
  TGameState& s = GameState();
  StillInvaderAbove(s);
  s.Bombs.push_back(Bomb{200, 200, nullptr});
  Autopilot expert(kStepMs);
  Autopilot careless(kStepMs, Skill::NoDodge);
  // Each plays its own ship under the same bomb; the ship moves 100 px/s.
  float expertX = 200, carelessX = 200;
  int32_t expertDir = 0;
  int32_t expertThreats = 0;
  uint32_t now = arena.Now();
  for (int frame = 0; s.Bombs[0].Y < s.PlayerY; ++frame, now += kStepMs) {
    s.PlayerX = expertX;
    s.PlayerDirection = expertDir;
    const AutopilotDecision e = expert.Decide(s, now);
    expertDir = e.Direction;
    expertX += 4.0f * static_cast<float>(expertDir);
    expertThreats = std::max(expertThreats, e.Threats);
    s.PlayerX = carelessX;
    s.PlayerDirection = 0;
    const AutopilotDecision c = careless.Decide(s, now);
    EXPECT_EQ(c.Direction, 0) << "frame " << frame;
    EXPECT_EQ(c.Threats, 0);
    EXPECT_FLOAT_EQ(c.AimX, 200.0f);
    s.Bombs[0].Y += 220.0f * kStepMs / 1000.0f;
  }
  EXPECT_EQ(expertThreats, 1);
  EXPECT_GT(std::fabs(expertX - 200.0f), static_cast<float>(s.PlayerHalfWidth));
}

TEST_F(LearningTest, TheHumanReactsToABombOnlyAfterItsDelayAndNeverDrawsTheGamesDice) {
  Arena arena(Options(4));
  TGameState& s = GameState();
  StillInvaderAbove(s);
  SkillProfile sure = ProfileOf(Skill::Human);
  sure.NoticeChance = 1;  // this test is about the delay
  sure.AimNoisePx = 0;
  Autopilot human(kStepMs, sure, 1);
  const uint32_t gameDice = GetRandSeed();

  uint32_t now = arena.Now();
  for (int frame = 0; frame < 10; ++frame, now += kStepMs)
    EXPECT_EQ(human.Decide(s, now).Direction, 0);

  s.Bombs.push_back(Bomb{200, 120, nullptr});  // about a second above the ship
  const uint32_t dropped = now;
  bool reacted = false;
  for (; now - dropped < 600; now += kStepMs) {
    const AutopilotDecision d = human.Decide(s, now);
    if (now - dropped < sure.ReactionMs) {
      EXPECT_EQ(d.Direction, 0) << now - dropped << " ms after the drop";
      EXPECT_EQ(d.Threats, 0);
    } else if (!reacted) {
      EXPECT_NE(d.Direction, 0) << now - dropped << " ms after the drop";
      EXPECT_EQ(d.Threats, 1);
      reacted = true;
    }
    s.Bombs[0].Y += 220.0f * kStepMs / 1000.0f;
  }
  EXPECT_TRUE(reacted);
  EXPECT_EQ(GetRandSeed(), gameDice);
}

TEST_F(LearningTest, AHumanNoticesSomeBombsOnceEachAndMisjudgesItsAimByAFewPixels) {
  Arena arena(Options(5));
  TGameState& s = GameState();
  StillInvaderAbove(s);
  const uint32_t gameDice = GetRandSeed();

  // Noticing: 400 bombs, each noticed or not once and for good.
  SkillProfile glance = ProfileOf(Skill::Human);
  glance.ReactionMs = 0;
  glance.AimNoisePx = 0;
  Autopilot human(kStepMs, glance, 9);
  for (int i = 0; i < 400; ++i) s.Bombs.push_back(Bomb{0.5f + i, 100, nullptr});
  const int32_t noticed = human.Decide(s, arena.Now()).Threats;
  EXPECT_NEAR(noticed, 0.6 * 400, 40);  // four standard deviations
  for (Bomb& b : s.Bombs) b.Y += 8.8f;
  s.Bombs.erase(s.Bombs.begin() + 7);  // one is gone; the others are still the same bombs
  const int32_t again = human.Decide(s, arena.Now() + kStepMs).Threats;
  EXPECT_TRUE(again == noticed || again == noticed - 1) << noticed << " then " << again;
  s.Bombs.clear();

  // Aim: a fresh error for every seed, a few pixels wide, none for the autopilot.
  double sumSquares = 0;
  constexpr int kSeeds = 200;
  for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
    Autopilot h(kStepMs, Skill::Human, seed);
    const double aim = h.Decide(s, arena.Now()).AimX;  // too soon to see: where the ship is
    EXPECT_FLOAT_EQ(static_cast<float>(aim), 200.0f);
    const double error = h.Decide(s, arena.Now() + 400).AimX - 200.0;
    sumSquares += error * error;
  }
  EXPECT_NEAR(std::sqrt(sumSquares / kSeeds), ProfileOf(Skill::Human).AimNoisePx, 1.0);
  EXPECT_FLOAT_EQ(Autopilot(kStepMs).Decide(s, arena.Now()).AimX, 200.0f);
  EXPECT_EQ(GetRandSeed(), gameDice);
}

TEST_F(LearningTest, RestoredLivesKeepOneGameGoingAndTheWaveFiguresAddUpToItsFitness) {
  ArenaOptions o = Options(11);
  o.Generations = 2;
  o.Player = Skill::NoDodge;
  o.RestoreLives = true;
  Arena arena(o);
  int32_t hits = 0;
  // Every genome's fitness is 0.1 a bomb, 200 a paid hit and 0.6 a second lived (rounded):
  // the wave's figures must account for the fitness the game recorded.
  arena.OnGeneration = [&](const GenerationRecord& r) {
    double total = 0;
    for (float f : GameState().FitnessTable) total += f;
    const double lived = total - 200.0 * r.PaidHits - 0.1 * r.BombsDropped;
    EXPECT_NEAR(lived, 0.6 * kGenerationSize * r.MeanLifetime, 0.5 * kGenerationSize)
        << CsvRow(r, true);
    EXPECT_LE(r.PaidHits, r.HitsOnPlayer);
    EXPECT_GT(r.MeanLifetime, 0);
    hits += r.HitsOnPlayer;
  };
  ASSERT_TRUE(arena.Run());
  EXPECT_GE(hits, 4) << "a player that does not dodge should have lost a game's lives";
  EXPECT_EQ(arena.GameOvers(), 0);
  EXPECT_EQ(arena.Game(), 1);
  EXPECT_TRUE(arena.GameLengths().empty());
  EXPECT_EQ(GameState().Lives, 4);
}

// The population's text without the random seed, which moves on with every draw.
std::string PopulationText(TNEATPopulation& population) {
  std::ostringstream out;
  io::SavePopulation(population, out);
  std::string text = out.str();
  const size_t at = text.find("\"RandSeed\"");
  return text.erase(at, text.find('\n', at) - at);
}

struct Replay {
  std::vector<std::string> Rows;
  std::vector<std::vector<float>> Entries;  // where each wave's first invaders entered
  std::vector<std::string> Populations;     // what each wave started with
};

TEST_F(LearningTest, AFrozenReplayPlaysTheSameWavesForAnyPopulationAndNeverBreeds) {
  const fs::path first = out_ / "first.json";
  const fs::path other = out_ / "other.json";
  Arena(Options(21)).SaveCheckpoint(first);
  Arena(Options(22)).SaveCheckpoint(other);

  auto replay = [&](const fs::path& file, uint32_t seed, int32_t waves) {
    ArenaOptions o = Options(seed);
    o.Frozen = file;
    o.Generations = waves;
    o.Player = Skill::Human;
    Replay r;
    Arena arena(o);
    auto startOfWave = [&] {
      std::vector<float> xs;
      for (const auto& inv : GameState().Invaders) xs.push_back(inv->X);
      r.Entries.push_back(xs);
      r.Populations.push_back(PopulationText(*arena.Main().Population));
    };
    startOfWave();
    arena.OnFrame = [&](Arena& a) {
      if (a.Records().size() == r.Rows.size()) return;
      r.Rows.push_back(CsvRow(a.Records().back(), true));
      EXPECT_EQ(a.Records().back().GameGeneration, 1);
      if (r.Rows.size() < static_cast<size_t>(waves)) startOfWave();
    };
    EXPECT_TRUE(arena.Run());
    EXPECT_EQ(arena.GameOvers(), 0);
    return r;
  };
  const Replay a = replay(first, 5, 2);
  const Replay again = replay(first, 5, 2);
  const Replay b = replay(other, 5, 2);
  const Replay elsewhere = replay(first, 6, 1);

  ASSERT_EQ(a.Rows.size(), 2u);
  EXPECT_EQ(a.Rows, again.Rows);
  EXPECT_NE(a.Rows[0], a.Rows[1]);
  // Every wave starts from the checkpoint, whatever the game bred at the end of the last.
  ASSERT_EQ(a.Populations.size(), 2u);
  EXPECT_EQ(a.Populations[0], a.Populations[1]);
  EXPECT_NE(a.Populations[0], b.Populations[0]);
  // The same waves for another population: its invaders enter where the first one's did.
  ASSERT_EQ(a.Entries.size(), 2u);
  EXPECT_EQ(a.Entries, b.Entries);
  EXPECT_NE(a.Entries[0], a.Entries[1]);
  EXPECT_NE(a.Entries[0], elsewhere.Entries[0]);
  EXPECT_NE(a.Rows, b.Rows);
}

TEST_F(LearningTest, AFrozenReplayOfAFileThatIsNoCheckpointIsAClearError) {
  const fs::path bad = out_ / "not-a-checkpoint.json";
  std::ofstream(bad) << "{\"format\": \"something else\"}";
  const fs::path before = fs::current_path();
  ArenaOptions o = Options(1);
  o.Frozen = bad;
  try {
    Arena arena(o);
    ADD_FAILURE() << "accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("not-a-checkpoint.json"), std::string::npos) << e.what();
  }
  EXPECT_EQ(fs::current_path(), before);
}

TEST_F(LearningTest, ATinyStudyMakesTheReportFromItsRuns) {
  StudyOptions o;
  o.Players = {Skill::NoDodge, Skill::Human};
  o.Seeds = 2;
  o.Generations = 1;
  o.Replayed = {1};
  o.Waves = 1;
  o.RuleGames = 1;
  o.RememberGames = 2;
  o.RememberGenerations = 3;
  o.RememberReplayed = {1, 2};
  o.FrameStepMs = kStepMs;
  o.Jobs = 2;
  o.DataDir = QF_ASSET_DIR;
  o.OutDir = out_ / "study";
  RunStudy(o, nullptr);
  const fs::path report = WriteReport(o);
  std::ifstream in(report);
  const std::string md{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

  // The frozen replays' hits per wave: mean and standard error over the seeds' files.
  for (Skill player : o.Players) {
    double hits[2];
    for (int seed = 1; seed <= 2; ++seed) {
      const fs::path csv = o.OutDir / "runs" /
                           (std::string(SkillName(player)) + "-seed" + std::to_string(seed)) /
                           "frozen-gen1.csv";
      hits[seed - 1] = MeansPerWave(ReadStudyCsv(csv)).Hits;
    }
    char row[96];
    std::snprintf(row, sizeof row, "| %s | %.2f ± %.2f |", SkillName(player),
                  (hits[0] + hits[1]) / 2, std::fabs(hits[0] - hits[1]) / 2);
    EXPECT_NE(md.find(row), std::string::npos) << row << "\n" << md;
  }
  EXPECT_NE(md.find("## What the game's rules do to learning"), std::string::npos);

  // Remember mode: game 1's length over the seeds that ended it, and the replay of the
  // population that started it, which is the game's own fresh save.
  const auto cell = [](const std::vector<double>& v, int decimals) {
    if (v.empty()) return std::string("–");
    char text[64];
    std::snprintf(text, sizeof text, "%.*f ± %.*f%s", decimals,
                  (v.front() + v.back()) / 2, decimals, std::fabs(v.front() - v.back()) / 2,
                  v.size() == 1 ? " (1)" : "");
    return std::string(text);
  };
  for (Skill player : o.Players) {
    std::vector<double> lengths, hits;
    for (int seed = 1; seed <= 2; ++seed) {
      const fs::path dir = o.OutDir / "runs" /
                           (std::string(SkillName(player)) + "-seed" + std::to_string(seed));
      std::ifstream games(dir / "remember-games.txt");
      int32_t n = 0;
      std::string state;
      if (games >> n >> state && state == "ended") lengths.push_back(n);
      const auto start = io::ReadPopulationCheckpointFile(dir / "remember-game1.json");
      EXPECT_EQ(start.Host().at("generation"), "1");
      hits.push_back(MeansPerWave(ReadStudyCsv(dir / "frozen-game1.csv")).Hits);
    }
    const std::string name = "| " + std::string(SkillName(player)) + " | ";
    EXPECT_NE(md.find(name + cell(lengths, 1) + " |"), std::string::npos)
        << cell(lengths, 1) << "\n" << md;
    EXPECT_NE(md.find(name + cell(hits, 2) + " |", md.find("## Invaders that remember you")),
              std::string::npos)
        << cell(hits, 2) << "\n" << md;
  }
  EXPECT_NE(md.find("![Hits on the ship per wave](learning-hits.png)"), std::string::npos);

  // One curve per player in its colour.
  for (const char* name : {"learning-hits.png", "learning-bombs.png"}) {
    std::ifstream file(o.OutDir / name, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const auto picture = DecodePng(bytes);
    ASSERT_TRUE(picture.has_value()) << name;
    EXPECT_EQ(picture->Width, kCurveWidth);
    EXPECT_EQ(picture->Height, kCurveHeight);
    for (TColor32 colour : {0xFFFF6A5Au, 0xFFFFB840u}) {
      EXPECT_GE(std::count(picture->Pixels.begin(), picture->Pixels.end(), colour), 25)
          << name << std::hex << " " << colour;
    }
  }

  // A run's file gone: the report names it.
  fs::remove(o.OutDir / "runs" / "human-seed2" / "game.csv");
  try {
    WriteReport(o);
    ADD_FAILURE() << "made a report without a run";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("human-seed2/game.csv"), std::string::npos) << e.what();
  }
  o.Replayed = {2};
  EXPECT_THROW(RunStudy(o, nullptr), std::invalid_argument);
}

TEST(SkillNamesTest, EveryLevelHasANameThatParsesBack) {
  for (Skill skill : kAllSkills) EXPECT_EQ(ParseSkill(SkillName(skill)), skill);
  EXPECT_FALSE(ParseSkill("expert").has_value());
}

}  // namespace
