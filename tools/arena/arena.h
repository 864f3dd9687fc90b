#pragma once
// The headless arena: the real main window on the headless platform, a clock moved by hand a
// fixed step per frame, and the autopilot at the keys. It plays a given number of generations
// and reports each one as it is bred.
//
// Counting generations. At game over the ship cannot fire, so the wave in play can never end;
// the autopilot answers Y, which starts a NEW GAME with a fresh population at generation 1
// (in remember mode the game breeds that wave first, and the new game goes on with the
// population).
// The arena counts the generations bred, across games: the n-th record is the n-th wave that
// was completed and bred, and it carries the game it belongs to and that game's generation
// number, so learning can be read within a game. A wave cut short by a game over is not bred
// and has no record; the records count the game overs so far.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/arena/autopilot.h"

namespace qf {
class Application;
class HeadlessApplication;
class ManualClock;
class TfmMain;
class TGenotype;
class TNEATPopulation;
namespace io {
class PopulationCheckpoint;
}
}  // namespace qf

namespace qf::arena {

struct ArenaOptions {
  uint32_t Seed = 1;
  int32_t Generations = 100;
  uint32_t FrameStepMs = 16;
  // The sprites are read from here and the sounds from Media/ below it.
  std::filesystem::path DataDir;
  // log.txt is written here when the window closes.
  std::filesystem::path OutDir;
  // Compose the view into a frame on every repaint, as a display would; off by default since
  // nothing looks at it.
  bool ComposeView = false;
  // Stop after this many frames even if the generations are not all bred (0: no limit).
  uint64_t MaxFrames = 0;
  // The clock's first reading; by default it is derived from the seed.
  std::optional<uint32_t> StartTick;
  // Who plays (autopilot.h); its own random numbers are seeded from Seed.
  Skill Player = Skill::Autopilot;
  // A study device outside the game's rules: the lives are restored after every frame, so the
  // game never ends and one population learns for as many generations as asked. Hits still
  // count and the ship still blinks after each.
  bool RestoreLives = false;
  // A frozen replay: the population of this checkpoint (saved by an arena, or by the game in
  // remember mode) plays every wave and is never bred; what the game breeds at the end of a
  // wave is put aside and the checkpoint put back. Every wave starts on a fresh playfield
  // (the ship at its start, lives restored after every frame as above, so each wave is played
  // to its end) with the game's random source and the player's seeded by WaveSeed(Seed, wave):
  // two populations replayed with one seed meet the same waves. Generations then counts the
  // waves.
  std::filesystem::path Frozen;
  // The game's remember mode: the wave that ends a game is bred, and Y goes on with the next
  // generation. The game keeps its population in <OutDir>/population.json; a run starts with a
  // new one (a save an earlier run left there is removed).
  bool Remember = false;
};

struct GenerationRecord {
  int32_t Index = 0;           // generations bred so far, this one included, across games
  int32_t Game = 0;            // from 1; a new game follows every game over
  int32_t GameGeneration = 0;  // the game's generation number of the wave, from 1
  double MeanFitness = 0;      // over the 30 fitness values the wave recorded
  double BestFitness = 0;
  int32_t BombsDropped = 0;    // during the wave
  int32_t HitsOnPlayer = 0;
  int32_t SpeciesAlive = 0;    // after the wave's speciation
  int32_t BestGenes = 0;       // of the best genome of the wave (nodes and enabled connections)
  uint64_t Frames = 0;         // frames the wave took
  int32_t GameOvers = 0;       // so far
  int32_t PooledGenes = 0;     // spare gene objects in the engine's pool after breeding
  // Study figures.
  int32_t PaidHits = 0;        // hits whose bomber was still alive to be paid for them
  double MeanLifetime = 0;     // seconds an invader of the wave lived, on average
};

// Formats a record as the arena prints it, and as a CSV row under CsvHeader(). With `study`
// the study figures follow; without, the format is the arena's first one.
std::string FormatRecord(const GenerationRecord& r, bool study = false);
std::string CsvHeader(bool study = false);
std::string CsvRow(const GenerationRecord& r, bool study = false);

// The study figures averaged over waves (zero without any).
struct WaveMeans {
  double Hits = 0;
  double PaidHits = 0;
  double Bombs = 0;
  double Lifetime = 0;
};
WaveMeans MeansPerWave(const std::vector<GenerationRecord>& records);

// The seed of a frozen replay's wave (from 1).
uint32_t WaveSeed(uint32_t seed, int32_t wave);

// A checkpoint read and checked for the game: 30 genomes of 7 inputs and 3 outputs, made with
// the game's transfer functions. Throws std::runtime_error (io::EFormatError for a bad file).
io::PopulationCheckpoint ReadGameCheckpoint(const std::filesystem::path& file);

class Arena {
public:
  // Creates the window in options.DataDir (the working directory is restored afterwards, then
  // changed to OutDir while the window lives, so the log lands there). Throws
  // std::runtime_error when a directory cannot be entered.
  explicit Arena(const ArenaOptions& options);
  // Closes the window (the log is written) and restores the working directory.
  ~Arena();
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // Runs after every frame, for checks.
  std::function<void(Arena&)> OnFrame;
  // Runs for every generation bred.
  std::function<void(const GenerationRecord&)> OnGeneration;

  // Plays until options.Generations have been bred or the frame limit is reached. Returns
  // true when all were bred.
  bool Run();
  // One frame: the clock moves one step, the autopilot posts its keys, the loop runs a round.
  // False once the application has terminated.
  bool Frame();
  // Presses Escape and lets the loop end: the window writes its log.
  void Close();

  // Checkpoints of the game's population (neat/io). Save at a generation boundary (OnGeneration
  // is one): the population as bred, before its wave plays, with the game's generation number.
  void SaveCheckpoint(const std::filesystem::path& file) const;
  // Puts a saved population into the game in place of the one it plays: the wave starts again
  // with the checkpoint's genomes, the game's generation number taken from it, and the random
  // seed the checkpoint carries. The playfield itself starts afresh. A checkpoint of another
  // shape than the game's (30 genomes, 7 inputs, 3 outputs) or another set of transfer
  // functions is refused with std::runtime_error and the game left as it was. A game over
  // still starts a new game with a fresh population.
  void Resume(const std::filesystem::path& file);
  // The same with a checkpoint read and checked by ReadGameCheckpoint, which needs no arena:
  // a host refuses a bad file before it makes anything of its own.
  void Resume(const io::PopulationCheckpoint& checkpoint);

  const std::vector<GenerationRecord>& Records() const { return records_; }
  uint64_t FramesPlayed() const { return frames_; }
  int32_t GameOvers() const { return gameOvers_; }
  int32_t Game() const { return game_; }
  // Generations bred in each game that has ended (the one in play is not among them).
  const std::vector<int32_t>& GameLengths() const { return gameLengths_; }
  uint32_t Now() const;

  TfmMain& Main() { return *main_; }
  HeadlessApplication& App() { return *headless_; }
  ManualClock& Clock() { return *clock_; }

private:
  struct Seen {  // an invader as it was before the frame
    uint32_t BirthTick;
    uint32_t LastBombTick;
    float Fitness;
    int32_t GenomeIndex;
  };
  void Observe(uint32_t now, bool restarted);
  void StartWave();
  // The checkpoint's genomes in place of the game's, on a playfield without invaders, bombs
  // or rockets; with a seed, the random source starts from it instead of the checkpoint's.
  void PutPopulation(const io::PopulationCheckpoint& checkpoint, std::optional<uint32_t> seed);
  void StartFrozenWave();

  ArenaOptions options_;
  std::filesystem::path previousDir_;
  std::unique_ptr<ManualClock> clock_;
  std::unique_ptr<Application> app_;
  HeadlessApplication* headless_ = nullptr;
  std::unique_ptr<TfmMain> main_;
  Autopilot autopilot_;

  std::vector<GenerationRecord> records_;
  std::vector<int32_t> gameLengths_;
  std::unordered_map<const void*, Seen> seen_;
  uint64_t frames_ = 0;
  std::unique_ptr<io::PopulationCheckpoint> frozen_;
  int32_t startLives_ = 0;
  float startX_ = 0;
  int32_t game_ = 1;
  int32_t gameRecords_ = 0;
  int32_t gameOvers_ = 0;
  int32_t lastGeneration_ = 1;
  bool gameOverShown_ = false;
  uint32_t lastHitTick_ = 0;
  // The wave in play.
  uint64_t waveFrames_ = 0;
  int32_t waveBombs_ = 0;
  int32_t waveHits_ = 0;
  int32_t wavePaid_ = 0;
  uint64_t waveLifeMs_ = 0;
  int32_t waveDeaths_ = 0;
  int32_t bestGenes_ = 0;
};

}  // namespace qf::arena
