#pragma once
// Remember mode: the population kept across games and across starts of the game, with the
// history a player would want to see. The window decides when to keep it (a new population,
// every generation bred, and at exit); the file is a population checkpoint of neat/io whose
// host data carry the game's own figures.
//
// Nothing is lost. A save is written beside its place, flushed to the disk and renamed over
// the old one, so a crash or a full disk leaves the previous save whole; a save that cannot be
// written is reported and the game goes on. A save the player forgets, or one that cannot be
// read, is never deleted: it is kept beside under a dated name.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "neat/io/neat_io.h"

namespace qf {

class TNEATPopulation;

// One generation bred: what its wave did.
struct TWaveRecord {
  int32_t Generation = 0;  // the generation that played the wave
  int32_t Game = 0;        // from 1, counted over every game of the population
  int32_t Hits = 0;        // bombs that hit the ship
  int32_t Bombs = 0;       // bombs dropped
  double MeanLife = 0;     // seconds an invader of the wave lived, on average
  double BestFitness = 0;
  bool operator==(const TWaveRecord&) const = default;
};

// What a save holds beside the population.
struct TRememberedGame {
  int32_t Game = 1;        // the game in play when it was saved
  int32_t Generation = 1;  // the generation about to play
  std::vector<TWaveRecord> History;
  bool operator==(const TRememberedGame&) const = default;
};

io::HostData EncodeRememberedGame(const TRememberedGame& game);
// Throws io::EFormatError naming the key that is missing or malformed.
TRememberedGame DecodeRememberedGame(const io::HostData& host);

// Refuses, with io::EFormatError naming the file, a checkpoint of another shape than the
// game's population (30 genomes, 7 inputs, 3 outputs) or made with other transfer functions.
void CheckGamePopulation(const io::PopulationCheckpoint& checkpoint,
                         const std::filesystem::path& file);

class TPopulationMemory {
public:
  // `report` tells the player what went wrong or was set aside. The file name is made
  // absolute against the working directory of this moment.
  TPopulationMemory(const std::filesystem::path& file,
                    std::function<void(const std::string&)> report);

  // At start-up. With `forget`, a save is set aside and nothing is loaded. Otherwise a save is
  // loaded into the population, whose settings are then the file's (the caller sets the
  // game's back), and its game is returned; a save that cannot be read is set aside, the
  // player is told, and nothing is loaded. Either way a new save is not written over a file
  // that could not be set aside.
  std::optional<TRememberedGame> Recall(TNEATPopulation& population, bool forget);

  // Takes the population as it stands, at a generation boundary, and writes it.
  void Keep(const TNEATPopulation& population, const TRememberedGame& game);
  // Writes what was kept last once more, if anything was (at exit).
  void KeepAgain();

  const std::filesystem::path& File() const { return file_; }

private:
  // Renames the save to <stem>-<why>-<date>-<time><extension> and tells the player.
  void SetAside(const char* why, const std::string& reason);
  void Write();

  std::filesystem::path file_;
  std::function<void(const std::string&)> report_;
  std::string kept_;
  bool writable_ = true;
  std::string lastFailure_;  // reported once until a write succeeds
};

// Writes the text to the file so that the old file stays whole until the new one is complete
// on the disk: a temporary file in the same directory, flushed and synced, then renamed over
// it. A link is followed, so a save kept elsewhere stays there; anything but a regular file at
// the end of it is refused. Throws std::runtime_error saying why.
void WriteFileDurably(const std::filesystem::path& file, const std::string& text);

}  // namespace qf
