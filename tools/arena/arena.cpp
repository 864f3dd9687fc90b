#include "tools/arena/arena.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <stdexcept>

#include "base/random.h"
#include "base/ticks.h"
#include "game/game_state.h"
#include "game/invaders.h"
#include "game/main_window.h"
#include "game/particles.h"
#include "game/remember.h"
#include "neat/gene_pool.h"
#include "neat/io/neat_io.h"
#include "neat/genotype.h"
#include "neat/population.h"
#include "platform/headless/headless.h"
#include "raster/layers.h"

namespace qf::arena {

namespace fs = std::filesystem;

namespace {

// The game keeps this many invaders on the field; a resumed wave starts with as many.
constexpr int kInvadersOnField = 10;

// A bomb adds 0.1 to its invader's fitness; anything above half of that is a drop. A bomb
// that hits adds 200; anything from half of that is a hit paid for.
constexpr float kDropMark = 0.05f;
constexpr float kPaidMark = 100.0f;
constexpr float kHitFitness = 200.0f;

// Far from the wrap of the 32-bit tick counter for any run of realistic length, and different
// for every seed: the window seeds the random source from the clock at creation, so this is
// what makes the first population depend on the seed.
uint32_t StartTickFor(uint32_t seed) { return 0x10000u + (seed * 2654435761u) % 0x40000000u; }

void EnterDirectory(const fs::path& dir, const char* what) {
  std::error_code ec;
  fs::current_path(dir, ec);
  if (ec) {
    throw std::runtime_error(std::string("cannot enter the ") + what + " directory " +
                             dir.string() + ": " + ec.message());
  }
}

}  // namespace

io::PopulationCheckpoint ReadGameCheckpoint(const fs::path& file) {
  io::PopulationCheckpoint checkpoint = io::ReadPopulationCheckpointFile(file);
  CheckGamePopulation(checkpoint, file);
  return checkpoint;
}

std::string FormatRecord(const GenerationRecord& r, bool study) {
  char line[320];
  std::snprintf(line, sizeof line,
                "gen %4d  game %2d gen %4d  mean %8.2f  best %8.2f  bombs %4d  hits %2d  "
                "species %2d  genes %3d  frames %7" PRIu64 "  game overs %d  pool %d",
                r.Index, r.Game, r.GameGeneration, r.MeanFitness, r.BestFitness, r.BombsDropped,
                r.HitsOnPlayer, r.SpeciesAlive, r.BestGenes, r.Frames, r.GameOvers,
                r.PooledGenes);
  if (!study) return line;
  char figures[64];
  std::snprintf(figures, sizeof figures, "  paid %2d  life %5.1f s", r.PaidHits, r.MeanLifetime);
  return line + std::string(figures);
}

std::string CsvHeader(bool study) {
  return std::string("generation,game,game_generation,mean_fitness,best_fitness,bombs_dropped,"
                     "hits_on_player,species,best_genes,frames,game_overs,pooled_genes") +
         (study ? ",paid_hits,mean_lifetime_s" : "");
}

std::string CsvRow(const GenerationRecord& r, bool study) {
  char line[320];
  std::snprintf(line, sizeof line, "%d,%d,%d,%.4f,%.4f,%d,%d,%d,%d,%" PRIu64 ",%d,%d", r.Index,
                r.Game, r.GameGeneration, r.MeanFitness, r.BestFitness, r.BombsDropped,
                r.HitsOnPlayer, r.SpeciesAlive, r.BestGenes, r.Frames, r.GameOvers,
                r.PooledGenes);
  if (!study) return line;
  char figures[64];
  std::snprintf(figures, sizeof figures, ",%d,%.3f", r.PaidHits, r.MeanLifetime);
  return line + std::string(figures);
}

WaveMeans MeansPerWave(const std::vector<GenerationRecord>& records) {
  WaveMeans m;
  if (records.empty()) return m;
  for (const GenerationRecord& r : records) {
    m.Hits += r.HitsOnPlayer;
    m.PaidHits += r.PaidHits;
    m.Bombs += r.BombsDropped;
    m.Lifetime += r.MeanLifetime;
  }
  const auto n = static_cast<double>(records.size());
  m.Hits /= n;
  m.PaidHits /= n;
  m.Bombs /= n;
  m.Lifetime /= n;
  return m;
}

Arena::Arena(const ArenaOptions& options)
    : options_(options),
      previousDir_(fs::current_path()),
      autopilot_(options.FrameStepMs, options.Player, options.Seed) {
  if (options_.FrameStepMs == 0) throw std::invalid_argument("the frame step must be at least 1 ms");
  if (!options_.Frozen.empty()) {
    frozen_ = std::make_unique<io::PopulationCheckpoint>(ReadGameCheckpoint(options_.Frozen));
    options_.RestoreLives = true;
  }
  const fs::path data = fs::absolute(options_.DataDir.empty() ? previousDir_ : options_.DataDir);
  const fs::path out = fs::absolute(options_.OutDir.empty() ? previousDir_ : options_.OutDir);
  if (!fs::is_directory(data)) throw std::runtime_error("no data directory " + data.string());

  // A fresh gene object draws a transfer function from the random source, a pooled one does
  // not: a run must not depend on what an earlier run in this process left in the pool.
  CacheHandler().Clear();
  clock_ = std::make_unique<ManualClock>(options_.StartTick.value_or(StartTickFor(options_.Seed)));
  app_ = CreateHeadlessApplication();
  headless_ = static_cast<HeadlessApplication*>(app_.get());
  headless_->SystemDirectory = data.string();
  GameOptions game;
  if (options_.Remember) {
    game.Remember = true;
    game.SaveFile = out / "population.json";
    fs::remove(game.SaveFile);
  }
  try {
    EnterDirectory(data, "data");  // the window reads its sprites from the working directory
    main_ = std::make_unique<TfmMain>(*app_, game);
    EnterDirectory(out, "output");
  } catch (...) {
    main_.reset();
    fs::current_path(previousDir_);
    throw;
  }
  // Creation seeded the random source from the clock; from here on the seed rules.
  SetRandSeed(options_.Seed);
  if (!options_.ComposeView) main_->MainWindow().OnPaint = nullptr;
  main_->Population->OnShowBestIndividual = [this](TNEATPopulation*, TGenotype* best, bool) {
    bestGenes_ = best->GeneCount();
    return 0.0;
  };
  lastGeneration_ = GameState().Generation;
  startLives_ = GameState().Lives;
  startX_ = GameState().PlayerX;
  if (frozen_) {
    try {
      StartFrozenWave();
    } catch (...) {  // a checkpoint the game cannot take: no arena, nothing left behind
      main_.reset();
      fs::current_path(previousDir_);
      throw;
    }
  }
}

Arena::~Arena() {
  try {
    Close();
  } catch (...) {
    // A destructor must not throw; the window's own destruction still writes the log.
  }
  main_.reset();
  app_.reset();
  clock_.reset();
  std::error_code ec;
  fs::current_path(previousDir_, ec);
}

uint32_t Arena::Now() const { return clock_->Now(); }

void Arena::Close() {
  if (!main_ || headless_->Terminated()) return;
  headless_->PostKeyDown(VK_ESCAPE);
  headless_->Step();
}

bool Arena::Run() {
  while (static_cast<int32_t>(records_.size()) < options_.Generations) {
    if (options_.MaxFrames != 0 && frames_ >= options_.MaxFrames) return false;
    if (!Frame()) return false;
  }
  return true;
}

bool Arena::Frame() {
  if (headless_->Terminated()) return false;
  clock_->Advance(options_.FrameStepMs);
  const uint32_t now = clock_->Now();
  TGameState& s = GameState();
  const AutopilotDecision decision = autopilot_.Decide(s, now);
  autopilot_.Post(*headless_, s, decision);

  seen_.clear();
  for (const auto& inv : s.Invaders)
    seen_[inv.get()] = Seen{inv->BirthTick, inv->LastBombTick, inv->Fitness, inv->GenomeIndex};
  lastGeneration_ = s.Generation;
  lastHitTick_ = s.PlayerHitTick;

  const bool running = headless_->Step();
  // The headless platform keeps every sound handed to it for tests to look at; a run of hours
  // would hoard them all (a kill's chime alone is 66 kB).
  headless_->SoundsPlayed.clear();
  if (!running) return false;
  ++frames_;
  ++waveFrames_;
  Observe(now, decision.Restart);
  if (options_.RestoreLives) s.Lives = startLives_;
  if (OnFrame) OnFrame(*this);
  return true;
}

void Arena::Observe(uint32_t now, bool restarted) {
  TGameState& s = GameState();
  if (restarted) {  // Y at game over: a new game, a fresh population
    gameLengths_.push_back(gameRecords_);
    gameRecords_ = 0;
    ++game_;
    gameOverShown_ = s.GameOverLayer->Visible();
    StartWave();
    return;
  }
  if (s.PlayerHitTick == now && lastHitTick_ != now) ++waveHits_;

  // Bombs: an invader that dropped one this frame has a new LastBombTick; one shot down in the
  // same frame shows it in the fitness it recorded, beyond its survival bonus.
  for (const auto& inv : s.Invaders) {
    auto it = seen_.find(inv.get());
    if (it == seen_.end() || it->second.BirthTick != inv->BirthTick) continue;
    if (inv->LastBombTick != it->second.LastBombTick) ++waveBombs_;
    if (inv->Fitness - it->second.Fitness >= kPaidMark) ++wavePaid_;
    seen_.erase(it);
  }
  for (const auto& [ptr, gone] : seen_) {
    const float recorded = s.FitnessTable[static_cast<size_t>(gone.GenomeIndex)];
    // A bomber shot down is never paid in the frame it dies: the rockets fly before the bombs.
    // One that ends at game over (remember mode) may have been paid for the last hit.
    float gained = recorded - gone.Fitness - SurvivalBonus(now - gone.BirthTick);
    if (gained >= kPaidMark) {
      ++wavePaid_;
      gained -= kHitFitness;
    }
    if (gained > kDropMark) ++waveBombs_;
    waveLifeMs_ += now - gone.BirthTick;
    ++waveDeaths_;
  }

  if (!gameOverShown_ && s.GameOverLayer->Visible()) {
    gameOverShown_ = true;
    ++gameOvers_;
  }

  if (s.Generation == lastGeneration_) return;
  GenerationRecord r;
  r.Index = static_cast<int32_t>(records_.size()) + 1;
  r.Game = game_;
  r.GameGeneration = lastGeneration_;
  double total = 0;
  double best = 0;
  for (float f : s.FitnessTable) {
    total += f;
    best = std::max(best, double{f});
  }
  r.MeanFitness = total / static_cast<double>(s.FitnessTable.size());
  r.BestFitness = best;
  r.BombsDropped = waveBombs_;
  r.HitsOnPlayer = waveHits_;
  r.SpeciesAlive = main_->Population->LivingSpeciesCount;
  r.BestGenes = bestGenes_;
  r.Frames = waveFrames_;
  r.GameOvers = gameOvers_;
  r.PooledGenes = CacheHandler().NodePool.Count() + CacheHandler().ConnectPool.Count();
  r.PaidHits = wavePaid_;
  r.MeanLifetime = waveDeaths_ ? static_cast<double>(waveLifeMs_) / waveDeaths_ / 1000.0 : 0.0;
  records_.push_back(r);
  ++gameRecords_;
  StartWave();
  if (OnGeneration) OnGeneration(r);
  if (frozen_) StartFrozenWave();  // what the game bred is put aside unplayed
}

void Arena::SaveCheckpoint(const fs::path& file) const {
  io::SavePopulationFile(*main_->Population, file,
                         {{"game_generation", std::to_string(GameState().Generation)},
                          {"arena_seed", std::to_string(options_.Seed)}});
}

void Arena::Resume(const fs::path& file) { Resume(ReadGameCheckpoint(file)); }

void Arena::Resume(const io::PopulationCheckpoint& checkpoint) {
  PutPopulation(checkpoint, std::nullopt);
}

void Arena::PutPopulation(const io::PopulationCheckpoint& checkpoint,
                          std::optional<uint32_t> seed) {
  // The arena's checkpoints name the generation "game_generation", the game's saves
  // "generation".
  int32_t generation = 1;
  for (const char* key : {"game_generation", "generation"}) {
    if (const auto it = checkpoint.Host().find(key); it != checkpoint.Host().end())
      generation = std::max(1, std::atoi(it->second.c_str()));
  }
  TGameState& s = GameState();
  // Bombs name their invaders and invaders their genomes: both go before the genomes do.
  s.Bombs.clear();
  s.Rockets.clear();
  s.Invaders.clear();
  io::ApplyPopulationCheckpoint(checkpoint, *main_->Population);
  if (seed) SetRandSeed(*seed);  // before the invaders draw where they enter
  s.Generation = generation;
  s.InvadersInserted = 0;
  for (int i = 0; i < kInvadersOnField; ++i) main_->InsertInvader();
  lastGeneration_ = s.Generation;
  StartWave();
}

uint32_t WaveSeed(uint32_t seed, int32_t wave) {
  return seed + 0x9E3779B9u * static_cast<uint32_t>(wave);
}

void Arena::StartFrozenWave() {
  const uint32_t seed = WaveSeed(options_.Seed, static_cast<int32_t>(records_.size()) + 1);
  TGameState& s = GameState();
  s.GameOverLayer->SetVisible(false);
  s.Lives = startLives_;
  s.PlayerHitTick = 0;
  s.PlayerX = startX_;
  s.PlayerDirection = 0;
  s.LastShotTick = Now();
  s.Particles->Clear();
  PutPopulation(*frozen_, seed);
  autopilot_.Reset(seed);
}

void Arena::StartWave() {
  waveFrames_ = 0;
  waveBombs_ = 0;
  waveHits_ = 0;
  wavePaid_ = 0;
  waveLifeMs_ = 0;
  waveDeaths_ = 0;
}

}  // namespace qf::arena
