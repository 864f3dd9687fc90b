// Thirty generations of the real game, played by the arena's autopilot, with the game's
// invariants checked after every frame and the gene pool checked at the end; and games in a
// row in remember mode against the human-like player. Leaks are LeakSanitizer's part (the
// sanitizer build runs this too).

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "game/game_state.h"
#include "game/invaders.h"
#include "game/main_window.h"
#include "game/remember.h"
#include "neat/gene_pool.h"
#include "neat/io/neat_io.h"
#include "neat/genotype.h"
#include "neat/population.h"
#include "neat/species.h"
#include "tools/arena/arena.h"

using namespace qf;
using namespace qf::arena;
namespace fs = std::filesystem;

namespace {

constexpr int kGenerations = 30;
// 40 ms frames: rockets and bombs still cannot pass through anything in one step, and the
// sanitizer build gets through thirty generations in a few minutes.
constexpr uint32_t kFrameStepMs = 40;

int32_t GeneObjects(const TGenotype& g) { return g.NodeList.Count() + g.ConnectList.Count(); }

struct PoolCensus {
  int64_t Pooled = 0;     // spare objects in the process-wide pool
  int64_t Live = 0;       // held by genomes: both generations and the species' representatives
  int32_t Genomes = 0;    // genomes holding them
  int32_t Largest = 0;    // objects of the largest of them
};

PoolCensus TakeCensus(const TNEATPopulation& p) {
  PoolCensus c;
  c.Pooled = CacheHandler().NodePool.Count() + CacheHandler().ConnectPool.Count();
  auto count = [&c](const TGenotype& g) {
    c.Live += GeneObjects(g);
    c.Largest = std::max(c.Largest, GeneObjects(g));
    ++c.Genomes;
  };
  for (const TGenotypeList* list : {p.GenotypeList.get(), p.PreviousGenotypeList.get()})
    for (int32_t i = 0; i < list->Count(); ++i) count(*(*list)[i]);
  for (const auto& species : p.SpeciesList)
    if (species->DefiningMember) count(*species->DefiningMember);
  return c;
}

// The first broken rule, with the frame it broke in; the run stops there.
class Invariants {
public:
  void Check(const Arena& arena) {
    const TGameState& s = GameState();
    const TNEATPopulation& p = *const_cast<Arena&>(arena).Main().Population;
    Expect(s.Invaders.size() <= 10, "more than 10 invaders on the playfield");
    Expect(s.InvadersInserted >= 0 && s.InvadersInserted <= 30, "InvadersInserted out of 0..30");
    Expect(s.Rockets.size() <= 2, "more than 2 rockets in flight");
    Expect(s.Lives >= 0 && s.Lives <= 4, "lives out of 0..4");
    Expect(p.GenotypeList->Count() == 30, "the population does not hold 30 genomes");
    for (float f : s.FitnessTable) Expect(f >= 0 && std::isfinite(f), "a recorded fitness below 0");
    for (int32_t i = 0; i < p.GenotypeList->Count(); ++i)
      Expect((*p.GenotypeList)[i]->Fitness >= 0, "a genome's fitness below 0");
    // Every bomb's owner is a live invader, and each one's count of bombs in flight is right.
    for (const Bomb& bomb : s.Bombs) {
      if (!bomb.Owner) continue;
      const bool live = std::any_of(s.Invaders.begin(), s.Invaders.end(),
                                    [&](const auto& inv) { return inv.get() == bomb.Owner; });
      Expect(live, "a bomb owned by an invader that is gone");
    }
    for (const auto& inv : s.Invaders) {
      const auto owned = std::count_if(s.Bombs.begin(), s.Bombs.end(),
                                       [&](const Bomb& b) { return b.Owner == inv.get(); });
      Expect(owned <= 1 && static_cast<uint32_t>(owned) == inv->BombsInFlight,
             "an invader's bombs in flight do not match the bombs it owns");
    }
    static const std::regex line(R"((Inserted new Invader, count : ([1-9]|10))|(Hit Invader [0-9]))");
    for (; logChecked_ < s.LogLines.size(); ++logChecked_)
      Expect(std::regex_match(s.LogLines[logChecked_], line),
             "a malformed log line: \"" + s.LogLines[logChecked_] + "\"");
    ++frame_;
  }

  bool Broken() const { return !first_.empty(); }
  const std::string& First() const { return first_; }

private:
  void Expect(bool ok, const std::string& what) {
    if (!ok && first_.empty()) first_ = what + " (frame " + std::to_string(frame_ + 1) + ")";
  }
  size_t logChecked_ = 0;
  uint64_t frame_ = 0;
  std::string first_;
};

TEST(Soak, ThirtyGenerationsKeepTheRulesAndTheGenePoolBounded) {
  const fs::path out = fs::temp_directory_path() / ("qf_soak_" + std::to_string(::getpid()));
  fs::create_directories(out);

  ArenaOptions options;
  options.Seed = 20240607;
  options.Generations = kGenerations;
  options.FrameStepMs = kFrameStepMs;
  options.DataDir = QF_ASSET_DIR;
  options.OutDir = out;
  options.MaxFrames = 400000;  // a wave the autopilot could never finish would fail, not hang

  Invariants invariants;
  std::vector<PoolCensus> census;
  {
    Arena arena(options);
    arena.OnGeneration = [&](const GenerationRecord&) {
      census.push_back(TakeCensus(*arena.Main().Population));
    };
    while (static_cast<int>(arena.Records().size()) < kGenerations && !invariants.Broken()) {
      ASSERT_LT(arena.FramesPlayed(), options.MaxFrames) << "the generations did not end";
      ASSERT_TRUE(arena.Frame());
      invariants.Check(arena);
    }
    EXPECT_FALSE(invariants.Broken()) << invariants.First();
    ASSERT_EQ(census.size(), static_cast<size_t>(kGenerations));
    for (const GenerationRecord& r : arena.Records()) {
      EXPECT_GE(r.MeanFitness, 0);
      EXPECT_GE(r.BestFitness, r.MeanFitness);
      EXPECT_GT(r.BestGenes, 0);
    }
  }  // closing writes the log

  // Every gene object ever made is either held by a genome or waiting in the pool, and the pool
  // only makes new ones when it is empty: so all of them together never exceed what was alive
  // at once, which is two generations, the species' representatives and the genomes being
  // bred. A pool that leaked returned genes past that would grow generation after generation.
  int32_t largest = 0;
  for (const PoolCensus& c : census) {
    largest = std::max(largest, c.Largest);
    const int64_t bound = static_cast<int64_t>(c.Genomes + 4) * largest;
    EXPECT_LE(c.Pooled + c.Live, bound) << "pooled " << c.Pooled << ", live " << c.Live;
  }
  const PoolCensus& last = census.back();
  EXPECT_GT(last.Live, 0);
  EXPECT_LE(last.Pooled, static_cast<int64_t>(last.Genomes + 4) * largest);

  std::error_code ec;
  EXPECT_TRUE(fs::is_regular_file(out / "log.txt", ec));
  fs::remove_all(out, ec);
}

// Remember mode through game overs: the wave that ends a game is bred, the next game goes on
// with the population, and the history and the save keep up with every generation.
TEST(Soak, GamesInRememberModeKeepTheRulesAndTheirHistory) {
  const fs::path out = fs::temp_directory_path() / ("qf_soak_remember_" + std::to_string(::getpid()));
  fs::create_directories(out);

  ArenaOptions options;
  options.Seed = 7;
  options.Generations = 10;
  options.FrameStepMs = kFrameStepMs;
  options.Player = Skill::Human;
  options.Remember = true;
  options.DataDir = QF_ASSET_DIR;
  options.OutDir = out;
  options.MaxFrames = 200000;

  Invariants invariants;
  {
    Arena arena(options);
    TfmMain& main = arena.Main();
    while (static_cast<int>(arena.Records().size()) < options.Generations && !invariants.Broken()) {
      ASSERT_LT(arena.FramesPlayed(), options.MaxFrames) << "the generations did not end";
      ASSERT_TRUE(arena.Frame());
      invariants.Check(arena);
      const TGameState& s = GameState();
      // Every generation bred is one more of the same population, whatever the game.
      ASSERT_EQ(s.Generation, 1 + static_cast<int32_t>(main.History().size()));
      ASSERT_EQ(main.History().size(), arena.Records().size());
      ASSERT_TRUE(!s.GameOverLayer->Visible() || s.Invaders.empty()) << "bred, waiting for Y";
    }
    EXPECT_FALSE(invariants.Broken()) << invariants.First();
    EXPECT_GE(arena.GameLengths().size(), 3u) << "too few games to tell";
    for (size_t i = 0; i < arena.Records().size(); ++i) {
      EXPECT_EQ(main.History()[i].Game, arena.Records()[i].Game);
      EXPECT_EQ(main.History()[i].Hits, arena.Records()[i].HitsOnPlayer);
    }
    const TRememberedGame saved =
        DecodeRememberedGame(io::ReadPopulationCheckpointFile(out / "population.json").Host());
    EXPECT_EQ(saved.Generation, GameState().Generation);
    EXPECT_EQ(saved.History, main.History());
  }

  std::error_code ec;
  fs::remove_all(out, ec);
}

}  // namespace
