#pragma once
// The learning study behind `make learning`: do the invaders learn within a game, and how
// much does that depend on the player? For every skill level and seed:
//   - a long game with the lives restored after every frame (a study device outside the
//     game's rules), so that one population learns for Generations generations; its
//     population is saved at the start of every generation replayed below;
//   - frozen replays of those generations against the same player, on the same waves, never
//     bred;
//   - a run under the game's rules, to see how many generations a game lasts;
//   - games in a row in the game's remember mode (the wave that ends a game is bred, the next
//     game goes on with the population), with frozen replays of the population as it stood at
//     the start of some of those games, against the same player on the same waves.
// Every run is a job of its own in a child process, Jobs at a time (the game is one per
// process). Each leaves its files in <out>/runs/<player>-seed<N>/; the report is made from
// those files into <out>/learning.md with its pictures.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <vector>

#include "tools/arena/arena.h"
#include "tools/arena/autopilot.h"

namespace qf::arena {

struct StudyOptions {
  std::vector<Skill> Players{std::begin(kAllSkills), std::end(kAllSkills)};
  int32_t Seeds = 5;                          // seeds 1 .. Seeds
  int32_t Generations = 100;                  // of each long game
  std::vector<int32_t> Replayed{1, 20, 100};  // generations replayed frozen
  int32_t Waves = 10;                         // of each frozen replay
  int32_t RuleGames = 3;  // games under the rules per seed, within Generations generations bred
  int32_t RememberGames = 10;        // games in a row in remember mode per seed (0: none) ...
  int32_t RememberGenerations = 40;  // ... within this many generations bred
  std::vector<int32_t> RememberReplayed{1, 5, 10};  // games whose first population is replayed
  bool RememberOnly = false;  // only the games in remember mode and their replays
  uint32_t FrameStepMs = 16;
  int32_t Jobs = 2;
  std::filesystem::path DataDir;
  std::filesystem::path OutDir;
};

// Refuses options the study cannot run (no player, no seed, a replayed generation the long
// game does not reach, ...) with std::invalid_argument.
void CheckStudyOptions(const StudyOptions& options);

// Plays every run, printing a line to `log` as each ends. Throws std::runtime_error naming
// the runs that failed, after the others have ended.
void RunStudy(const StudyOptions& options, std::FILE* log);

// Makes learning.md, learning-hits.png and learning-bombs.png in OutDir from the runs' files
// and returns the report's path. Throws std::runtime_error naming a missing or broken file.
std::filesystem::path WriteReport(const StudyOptions& options);

// The records of a CSV the arena wrote with its study figures.
std::vector<GenerationRecord> ReadStudyCsv(const std::filesystem::path& file);

}  // namespace qf::arena
