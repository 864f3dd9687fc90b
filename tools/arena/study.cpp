#include "tools/arena/study.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <tuple>
#include <utility>

#include "raster/bitmap32.h"
#include "tools/arena/curve.h"

namespace qf::arena {

namespace fs = std::filesystem;

namespace {

// A run that cannot end (a wave its player never finishes) fails instead of hanging: this is
// more than half an hour of play per wave at 16 ms a frame.
constexpr uint64_t kFramesPerWave = 120000;

std::string Format(const char* pattern, auto... values) {
  std::string text(static_cast<size_t>(std::snprintf(nullptr, 0, pattern, values...)), '\0');
  std::snprintf(text.data(), text.size() + 1, pattern, values...);
  return text;
}

fs::path RunDir(const StudyOptions& o, Skill player, int32_t seed) {
  return o.OutDir / "runs" / Format("%s-seed%d", SkillName(player), seed);
}
fs::path CheckpointFile(const fs::path& dir, int32_t generation) {
  return dir / Format("gen%d.json", generation);
}
fs::path FrozenCsv(const fs::path& dir, int32_t generation) {
  return dir / Format("frozen-gen%d.csv", generation);
}
// Remember mode: the population at the start of a game, and its frozen replay.
fs::path GameStartFile(const fs::path& dir, int32_t game) {
  return dir / Format("remember-game%d.json", game);
}
fs::path GameStartCsv(const fs::path& dir, int32_t game) {
  return dir / Format("frozen-game%d.csv", game);
}

// Each run has its own directory for the game's log.txt: runs in parallel never share one.
ArenaOptions RunOptions(const StudyOptions& o, Skill player, int32_t seed, const fs::path& logDir,
                        int32_t waves) {
  fs::create_directories(logDir);
  ArenaOptions a;
  a.Seed = static_cast<uint32_t>(seed);
  a.Player = player;
  a.FrameStepMs = o.FrameStepMs;
  a.DataDir = o.DataDir;
  a.OutDir = logDir;
  a.Generations = waves;
  a.MaxFrames = kFramesPerWave * static_cast<uint64_t>(waves);
  return a;
}

// A CSV of records with the study figures, checked when it is closed.
class RecordFile {
public:
  explicit RecordFile(fs::path path) : path_(std::move(path)), out_(path_, std::ios::trunc) {
    out_ << CsvHeader(true) << '\n';
    if (!out_) throw std::runtime_error("cannot write " + path_.string());
  }
  void Add(const GenerationRecord& r) { out_ << CsvRow(r, true) << '\n'; }
  void Close() {
    out_.close();
    if (!out_) throw std::runtime_error("cannot write " + path_.string());
  }

private:
  fs::path path_;
  std::ofstream out_;
};

void Played(const Arena& arena, bool complete, const ArenaOptions& a) {
  if (!complete) {
    throw std::runtime_error(Format("stopped after %llu frames with %zu of %d waves played",
                                    static_cast<unsigned long long>(arena.FramesPlayed()),
                                    arena.Records().size(), a.Generations));
  }
}

void PlayLongGame(const StudyOptions& o, Skill player, int32_t seed) {
  const fs::path dir = RunDir(o, player, seed);
  ArenaOptions a = RunOptions(o, player, seed, dir / "game", o.Generations);
  a.RestoreLives = true;
  RecordFile csv(dir / "game.csv");
  Arena arena(a);
  auto save = [&](int32_t generation) {
    if (std::find(o.Replayed.begin(), o.Replayed.end(), generation) != o.Replayed.end())
      arena.SaveCheckpoint(CheckpointFile(dir, generation));
  };
  save(1);
  arena.OnGeneration = [&](const GenerationRecord& r) {
    csv.Add(r);
    save(r.GameGeneration + 1);  // the population just bred plays that one
  };
  Played(arena, arena.Run(), a);
  csv.Close();
}

// Replays a checkpoint for Waves waves; its log goes to <run>/<logName>.
void PlayFrozen(const StudyOptions& o, Skill player, int32_t seed, const fs::path& checkpoint,
                const fs::path& csvFile, const std::string& logName) {
  const fs::path dir = RunDir(o, player, seed);
  ArenaOptions a = RunOptions(o, player, seed, dir / logName, o.Waves);
  a.Frozen = checkpoint;
  RecordFile csv(csvFile);
  Arena arena(a);
  arena.OnGeneration = [&](const GenerationRecord& r) { csv.Add(r); };
  Played(arena, arena.Run(), a);
  csv.Close();
}

// One line per game: its generations bred and "ended", or "running" for the one in play when
// the run stopped (if fewer than `wanted` games ended).
void WriteGameLengths(const fs::path& file, const Arena& arena, int32_t wanted) {
  std::ofstream games(file, std::ios::trunc);
  for (int32_t n : arena.GameLengths()) games << n << " ended\n";
  if (static_cast<int32_t>(arena.GameLengths().size()) < wanted) {
    const auto running = std::count_if(arena.Records().begin(), arena.Records().end(),
                                       [&](const GenerationRecord& r) { return r.Game == arena.Game(); });
    games << running << " running\n";
  }
  if (!games.flush()) throw std::runtime_error("cannot write " + file.string());
}

// Under the game's rules until RuleGames games have ended or Generations are bred.
void PlayUnderRules(const StudyOptions& o, Skill player, int32_t seed) {
  const fs::path dir = RunDir(o, player, seed);
  ArenaOptions a = RunOptions(o, player, seed, dir / "rules", o.Generations);
  RecordFile csv(dir / "rules.csv");
  Arena arena(a);
  arena.OnGeneration = [&](const GenerationRecord& r) { csv.Add(r); };
  auto bred = [&] { return static_cast<int32_t>(arena.Records().size()); };
  auto ended = [&] { return static_cast<int32_t>(arena.GameLengths().size()); };
  while (bred() < o.Generations && ended() < o.RuleGames) {
    if (arena.FramesPlayed() >= a.MaxFrames || !arena.Frame()) Played(arena, false, a);
  }
  csv.Close();
  WriteGameLengths(dir / "rules-games.txt", arena, o.RuleGames);
}

// In remember mode until RememberGames games have ended or RememberGenerations are bred. The
// game's own save when a game starts holds that game's first population, as bred.
void PlayRemembered(const StudyOptions& o, Skill player, int32_t seed) {
  const fs::path dir = RunDir(o, player, seed);
  for (int32_t g : o.RememberReplayed) {  // nothing of an earlier study passes for this one's
    fs::remove(GameStartFile(dir, g));
    fs::remove(GameStartCsv(dir, g));
  }
  ArenaOptions a = RunOptions(o, player, seed, dir / "remember", o.RememberGenerations);
  a.Remember = true;
  RecordFile csv(dir / "remember.csv");
  Arena arena(a);
  arena.OnGeneration = [&](const GenerationRecord& r) { csv.Add(r); };
  auto keep = [&](int32_t game) {
    if (std::find(o.RememberReplayed.begin(), o.RememberReplayed.end(), game) ==
        o.RememberReplayed.end())
      return;
    fs::copy_file(a.OutDir / "population.json", GameStartFile(dir, game),
                  fs::copy_options::overwrite_existing);
  };
  keep(1);
  auto bred = [&] { return static_cast<int32_t>(arena.Records().size()); };
  auto ended = [&] { return static_cast<int32_t>(arena.GameLengths().size()); };
  for (int32_t game = 1; bred() < o.RememberGenerations && ended() < o.RememberGames;) {
    if (arena.FramesPlayed() >= a.MaxFrames || !arena.Frame()) Played(arena, false, a);
    if (arena.Game() != game) keep(game = arena.Game());
  }
  csv.Close();
  WriteGameLengths(dir / "remember-games.txt", arena, o.RememberGames);
}

struct Job {
  std::string Name;
  std::function<void()> Run;
  std::string Needs = {};  // the job whose files it reads
};

// Runs the jobs, `parallel` child processes at a time (in this process, one after the other,
// when parallel is 1). Returns the names of those that failed.
std::vector<std::string> RunJobs(const std::vector<Job>& jobs, int32_t parallel, std::FILE* log,
                                 size_t& done, size_t total) {
  std::vector<std::string> failed;
  auto finished = [&](const Job& job, bool ok) {
    ++done;
    if (!ok) failed.push_back(job.Name);
    if (log) std::fprintf(log, "[%zu/%zu] %s%s\n", done, total, job.Name.c_str(), ok ? "" : ": FAILED");
    if (log) std::fflush(log);
  };
  if (parallel <= 1) {
    for (const Job& job : jobs) {
      bool ok = true;
      try {
        job.Run();
      } catch (const std::exception& e) {
        std::fprintf(stderr, "learning: %s: %s\n", job.Name.c_str(), e.what());
        ok = false;
      }
      finished(job, ok);
    }
    return failed;
  }
  std::map<pid_t, size_t> running;
  size_t next = 0;
  while (next < jobs.size() || !running.empty()) {
    while (next < jobs.size() && running.size() < static_cast<size_t>(parallel)) {
      std::fflush(nullptr);  // nothing buffered is written twice
      const pid_t pid = fork();
      if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
      if (pid == 0) {
        int code = 0;
        try {
          jobs[next].Run();
        } catch (const std::exception& e) {
          std::fprintf(stderr, "learning: %s: %s\n", jobs[next].Name.c_str(), e.what());
          code = 1;
        }
        std::fflush(nullptr);
        _exit(code);  // the parent's objects are the parent's to destroy
      }
      running[pid] = next++;
    }
    int status = 0;
    const pid_t pid = waitpid(-1, &status, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "waitpid");
    }
    const auto it = running.find(pid);
    if (it == running.end()) continue;
    finished(jobs[it->second], WIFEXITED(status) && WEXITSTATUS(status) == 0);
    running.erase(it);
  }
  return failed;
}

// ---- The report ----

struct MeanError {
  double Mean = 0;
  double Error = 0;  // standard error of the mean; 0 with fewer than two values
  size_t N = 0;
};

MeanError OverValues(const std::vector<double>& values) {
  MeanError m;
  m.N = values.size();
  if (values.empty()) return m;
  for (double v : values) m.Mean += v;
  m.Mean /= static_cast<double>(m.N);
  if (m.N < 2) return m;
  double squares = 0;
  for (double v : values) squares += (v - m.Mean) * (v - m.Mean);
  m.Error = std::sqrt(squares / static_cast<double>(m.N - 1) / static_cast<double>(m.N));
  return m;
}

std::string Cell(const MeanError& m, int decimals) {
  if (m.N == 0) return "–";
  return Format("%.*f ± %.*f", decimals, m.Mean, decimals, m.Error);
}

// What the runs of one player left.
struct PlayerRuns {
  std::vector<std::vector<GenerationRecord>> Games;     // each seed's long game
  std::map<int32_t, std::vector<WaveMeans>> Frozen;     // per replayed generation, per seed
  std::vector<int32_t> Ended;                           // game lengths under the rules
  std::vector<int32_t> Running;                         // games the run stopped in
  // Remember mode, per seed: the records and the lengths of the games that ended.
  std::vector<std::vector<GenerationRecord>> Remembered;
  std::vector<std::vector<int32_t>> RememberedLengths;
  std::map<int32_t, std::vector<WaveMeans>> GameStarts;  // per replayed game, seeds reaching it
};

// "N ended" / "N running" lines (WriteGameLengths).
void ReadGameLengths(const fs::path& file, std::vector<int32_t>& ended,
                     std::vector<int32_t>& running) {
  std::ifstream games(file);
  if (!games) throw std::runtime_error("cannot read " + file.string());
  int32_t n = 0;
  std::string state;
  while (games >> n >> state) (state == "ended" ? ended : running).push_back(n);
}

PlayerRuns ReadRuns(const StudyOptions& o, Skill player) {
  PlayerRuns runs;
  for (int32_t seed = 1; seed <= o.Seeds; ++seed) {
    const fs::path dir = RunDir(o, player, seed);
    if (!o.RememberOnly) {
      runs.Games.push_back(ReadStudyCsv(dir / "game.csv"));
      for (int32_t g : o.Replayed)
        runs.Frozen[g].push_back(MeansPerWave(ReadStudyCsv(FrozenCsv(dir, g))));
      if (o.RuleGames > 0) ReadGameLengths(dir / "rules-games.txt", runs.Ended, runs.Running);
    }
    if (o.RememberGames == 0) continue;
    runs.Remembered.push_back(ReadStudyCsv(dir / "remember.csv"));
    std::vector<int32_t> running;
    ReadGameLengths(dir / "remember-games.txt", runs.RememberedLengths.emplace_back(), running);
    for (int32_t g : o.RememberReplayed) {
      if (fs::exists(GameStartFile(dir, g)))
        runs.GameStarts[g].push_back(MeansPerWave(ReadStudyCsv(GameStartCsv(dir, g))));
    }
  }
  return runs;
}

// The mean of a figure over the long game's generations first .. last of every seed.
using Figure = double (*)(const GenerationRecord&);
double Hits(const GenerationRecord& r) { return r.HitsOnPlayer; }
double Bombs(const GenerationRecord& r) { return r.BombsDropped; }
double Lifetime(const GenerationRecord& r) { return r.MeanLifetime; }
double Paid(const GenerationRecord& r) { return r.PaidHits; }

MeanError OverGenerations(const PlayerRuns& runs, Figure figure, int32_t first, int32_t last) {
  std::vector<double> perSeed;
  for (const auto& game : runs.Games) {
    double total = 0;
    int32_t n = 0;
    for (const GenerationRecord& r : game) {
      if (r.GameGeneration < first || r.GameGeneration > last) continue;
      total += figure(r);
      ++n;
    }
    if (n > 0) perSeed.push_back(total / n);
  }
  return OverValues(perSeed);
}

MeanError OverFrozen(const PlayerRuns& runs, int32_t generation, double WaveMeans::*figure) {
  std::vector<double> perSeed;
  for (const WaveMeans& m : runs.Frozen.at(generation)) perSeed.push_back(m.*figure);
  return OverValues(perSeed);
}

// Over the seeds whose remember-mode run ended game `game`: its generations bred, or its hits
// per wave bred (the wave that ended it included).
MeanError GameLength(const PlayerRuns& runs, int32_t game) {
  std::vector<double> perSeed;
  for (const std::vector<int32_t>& lengths : runs.RememberedLengths)
    if (static_cast<size_t>(game) <= lengths.size()) perSeed.push_back(lengths[game - 1]);
  return OverValues(perSeed);
}
MeanError GameHits(const PlayerRuns& runs, int32_t game) {
  std::vector<double> perSeed;
  for (size_t seed = 0; seed < runs.Remembered.size(); ++seed) {
    if (static_cast<size_t>(game) > runs.RememberedLengths[seed].size()) continue;
    double hits = 0;
    int32_t waves = 0;
    for (const GenerationRecord& r : runs.Remembered[seed]) {
      if (r.Game != game) continue;
      hits += r.HitsOnPlayer;
      ++waves;
    }
    if (waves > 0) perSeed.push_back(hits / waves);
  }
  return OverValues(perSeed);
}
MeanError OverGameStarts(const PlayerRuns& runs, int32_t game, double WaveMeans::*figure) {
  std::vector<double> perSeed;
  if (const auto it = runs.GameStarts.find(game); it != runs.GameStarts.end())
    for (const WaveMeans& m : it->second) perSeed.push_back(m.*figure);
  return OverValues(perSeed);
}

// A cell with the number of seeds behind it when some did not get there.
std::string CellOf(const MeanError& m, int decimals, int32_t seeds) {
  std::string cell = Cell(m, decimals);
  if (m.N > 0 && m.N < static_cast<size_t>(seeds)) cell += Format(" (%zu)", m.N);
  return cell;
}

// b / a with the error of the two means carried over (first order).
std::string Ratio(const MeanError& a, const MeanError& b) {
  if (a.N == 0 || b.N == 0 || a.Mean <= 0) return "–";
  const double r = b.Mean / a.Mean;
  const double e = r * std::sqrt(std::pow(a.Error / a.Mean, 2) +
                                 (b.Mean > 0 ? std::pow(b.Error / b.Mean, 2) : 0.0));
  return Format("%.2f ± %.2f", r, e);
}

TColor32 ColorOf(Skill player) {
  switch (player) {
    case Skill::Autopilot: return 0xFF4AA8FFu;
    case Skill::NoDodge: return 0xFFFF6A5Au;
    case Skill::Human: return 0xFFFFB840u;
    case Skill::Skilled: return 0xFF70D070u;
  }
  return 0xFFFFFFFFu;
}

std::string Command(const StudyOptions& o) {
  std::string players, replayed;
  for (Skill s : o.Players) players += (players.empty() ? "" : ",") + std::string(SkillName(s));
  for (int32_t g : o.Replayed) replayed += (replayed.empty() ? "" : ",") + std::to_string(g);
  std::string games;
  for (int32_t g : o.RememberReplayed) games += (games.empty() ? "" : ",") + std::to_string(g);
  const std::string remember =
      Format("--remember-games %d --remember-generations %d --remember-replay %s",
             o.RememberGames, o.RememberGenerations, games.c_str());
  if (o.RememberOnly) {
    return Format("learning --remember-only --players %s --seeds %d --waves %d %s --step %u",
                  players.c_str(), o.Seeds, o.Waves, remember.c_str(), o.FrameStepMs);
  }
  return Format("learning --players %s --seeds %d --generations %d --replay %s --waves %d "
                "--rule-games %d %s --step %u",
                players.c_str(), o.Seeds, o.Generations, replayed.c_str(), o.Waves, o.RuleGames,
                remember.c_str(), o.FrameStepMs);
}

std::string TableRule(size_t columns) {
  std::string rule = "|";
  for (size_t i = 0; i < columns; ++i) rule += i == 0 ? "---|" : "--:|";
  return rule + "\n";
}

}  // namespace

void CheckStudyOptions(const StudyOptions& o) {
  if (o.Players.empty()) throw std::invalid_argument("no player");
  if (o.Seeds < 1) throw std::invalid_argument("the study needs at least one seed");
  if (o.Generations < 1) throw std::invalid_argument("the long games need at least 1 generation");
  if (o.Waves < 1) throw std::invalid_argument("a frozen replay needs at least 1 wave");
  if (o.RuleGames < 0) throw std::invalid_argument("a negative number of games");
  if (o.FrameStepMs < 1 || o.FrameStepMs > 1000)
    throw std::invalid_argument("the frame step must be 1 to 1000 ms");
  if (o.Jobs < 1) throw std::invalid_argument("at least one job at a time");
  if (o.Replayed.empty()) throw std::invalid_argument("no generation to replay");
  for (int32_t g : o.Replayed) {
    if (g < 1 || g > o.Generations) {
      throw std::invalid_argument(Format("generation %d is not one of the long game's 1 to %d",
                                         g, o.Generations));
    }
  }
  if (o.RememberGames < 0) throw std::invalid_argument("a negative number of games");
  if (o.RememberOnly && o.RememberGames == 0)
    throw std::invalid_argument("only remember mode, but no game in it");
  if (o.RememberGames == 0) return;
  if (o.RememberGenerations < 1)
    throw std::invalid_argument("the games in remember mode need at least 1 generation");
  if (o.RememberReplayed.empty()) throw std::invalid_argument("no game to replay");
  for (int32_t g : o.RememberReplayed) {
    if (g < 1 || g > o.RememberGames) {
      throw std::invalid_argument(Format("game %d is not one of the remembered games 1 to %d", g,
                                         o.RememberGames));
    }
  }
}

void RunStudy(const StudyOptions& o, std::FILE* log) {
  CheckStudyOptions(o);
  std::vector<Job> games, replays;
  for (Skill player : o.Players) {
    for (int32_t seed = 1; seed <= o.Seeds; ++seed) {
      fs::create_directories(RunDir(o, player, seed));
      const std::string run = Format("%s seed %d", SkillName(player), seed);
      const fs::path dir = RunDir(o, player, seed);
      const std::string longGame = run + ": long game";
      if (!o.RememberOnly)
        games.push_back({longGame, [&o, player, seed] { PlayLongGame(o, player, seed); }});
      if (o.RuleGames > 0 && !o.RememberOnly) {
        games.push_back(
            {run + ": under the rules", [&o, player, seed] { PlayUnderRules(o, player, seed); }});
      }
      for (int32_t g : o.RememberOnly ? std::vector<int32_t>() : o.Replayed) {
        replays.push_back({run + Format(": generation %d frozen", g),
                           [&o, player, seed, g, dir] {
                             PlayFrozen(o, player, seed, CheckpointFile(dir, g), FrozenCsv(dir, g),
                                        Format("frozen-gen%d", g));
                           },
                           longGame});
      }
      if (o.RememberGames == 0) continue;
      const std::string remembered = run + ": remember mode";
      games.push_back({remembered, [&o, player, seed] { PlayRemembered(o, player, seed); }});
      for (int32_t g : o.RememberReplayed) {
        // A game the run did not reach has no population to replay.
        replays.push_back({run + Format(": game %d frozen", g),
                           [&o, player, seed, g, dir] {
                             if (!fs::exists(GameStartFile(dir, g))) return;
                             PlayFrozen(o, player, seed, GameStartFile(dir, g),
                                        GameStartCsv(dir, g), Format("frozen-game%d", g));
                           },
                           remembered});
      }
    }
  }
  size_t done = 0;
  const size_t total = games.size() + replays.size();
  std::vector<std::string> failed = RunJobs(games, o.Jobs, log, done, total);
  // A replay needs its run's checkpoint: those of failed runs are not tried.
  std::vector<Job> ready;
  for (Job& job : replays) {
    if (std::find(failed.begin(), failed.end(), job.Needs) == failed.end())
      ready.push_back(std::move(job));
    else
      failed.push_back(job.Name + " (no checkpoint)");
  }
  const std::vector<std::string> replayFailed = RunJobs(ready, o.Jobs, log, done, total);
  failed.insert(failed.end(), replayFailed.begin(), replayFailed.end());
  if (!failed.empty()) {
    std::string names;
    for (const std::string& f : failed) names += "\n  " + f;
    throw std::runtime_error("these runs failed:" + names);
  }
}

std::vector<GenerationRecord> ReadStudyCsv(const fs::path& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::string line;
  if (!std::getline(in, line) || line != CsvHeader(true))
    throw std::runtime_error(file.string() + ": not a CSV of the arena's study figures");
  std::vector<GenerationRecord> records;
  for (int row = 2; std::getline(in, line); ++row) {
    GenerationRecord r;
    unsigned long long frames = 0;
    char end = 0;
    if (std::sscanf(line.c_str(), "%d,%d,%d,%lf,%lf,%d,%d,%d,%d,%llu,%d,%d,%d,%lf%c", &r.Index,
                    &r.Game, &r.GameGeneration, &r.MeanFitness, &r.BestFitness, &r.BombsDropped,
                    &r.HitsOnPlayer, &r.SpeciesAlive, &r.BestGenes, &frames, &r.GameOvers,
                    &r.PooledGenes, &r.PaidHits, &r.MeanLifetime, &end) != 14) {
      throw std::runtime_error(Format("%s, line %d: not a record", file.c_str(), row));
    }
    r.Frames = frames;
    records.push_back(r);
  }
  return records;
}

namespace {

using AllRuns = std::vector<std::pair<Skill, PlayerRuns>>;

// The long games, their frozen replays and the games under the rules.
std::string StudySections(const StudyOptions& o, const AllRuns& all) {
  std::string md = Format(
      "Made by `make learning` (`%s`). For every player and each of %d seed%s: one long game of "
      "%d generations with the lives restored after every frame, a study device outside the "
      "game's rules that lets one population go on learning; frozen replays of the populations "
      "that long game bred, %d wave%s each against the same player on the same waves, never "
      "bred; and a run under the game's rules. %u ms a frame. Figures are means over the seeds "
      "± their standard error.\n\n",
      Command(o).c_str(), o.Seeds, o.Seeds == 1 ? "" : "s", o.Generations, o.Waves,
      o.Waves == 1 ? "" : "s", o.FrameStepMs);

  // Frozen replays: the main table.
  md += "## The same waves against earlier and later populations\n\n";
  md += "Frozen replays: per wave, hits on the ship and bombs dropped.\n\n";
  auto frozenTable = [&](const char* a, double WaveMeans::*fa, int da, const char* b,
                         double WaveMeans::*fb, int db) {
    md += "| player |";
    for (int32_t g : o.Replayed) md += Format(" %s, gen %d |", a, g);
    for (int32_t g : o.Replayed) md += Format(" %s, gen %d |", b, g);
    md += "\n" + TableRule(1 + 2 * o.Replayed.size());
    for (const auto& [player, runs] : all) {
      md += Format("| %s |", SkillName(player));
      for (int32_t g : o.Replayed) md += " " + Cell(OverFrozen(runs, g, fa), da) + " |";
      for (int32_t g : o.Replayed) md += " " + Cell(OverFrozen(runs, g, fb), db) + " |";
      md += "\n";
    }
    md += "\n";
  };
  frozenTable("hits", &WaveMeans::Hits, 2, "bombs", &WaveMeans::Bombs, 1);
  md += "Hits that paid their bomber (it was still alive) and how long an invader lived.\n\n";
  frozenTable("paid hits", &WaveMeans::PaidHits, 2, "life (s)", &WaveMeans::Lifetime, 2);

  // Within a game.
  const int32_t window = std::max(1, std::min(10, o.Generations / 2));
  const int32_t lastFrom = o.Generations - window + 1;
  md += "## Within a game\n\n";
  md += "Per wave of the long games, with the lives restored.\n\n";
  md += "![Hits on the ship per wave](learning-hits.png)\n\n";
  md += "![Bombs dropped per wave](learning-bombs.png)\n\n";
  const std::string early = window == 1 ? "gen 1" : Format("gens 1–%d", window);
  const std::string late = window == 1 ? Format("gen %d", o.Generations)
                                       : Format("gens %d–%d", lastFrom, o.Generations);
  md += "| player |";
  for (const char* figure : {"hits", "paid hits", "bombs", "life (s)"})
    md += Format(" %s, %s | %s, %s |", figure, early.c_str(), figure, late.c_str());
  md += "\n" + TableRule(9);
  for (const auto& [player, runs] : all) {
    md += Format("| %s |", SkillName(player));
    for (auto [figure, decimals] : {std::pair{&Hits, 2}, {&Paid, 2}, {&Bombs, 1}, {&Lifetime, 2}}) {
      md += " " + Cell(OverGenerations(runs, figure, 1, window), decimals) + " |";
      md += " " + Cell(OverGenerations(runs, figure, lastFrom, o.Generations), decimals) + " |";
    }
    md += "\n";
  }
  md += "\n";

  // Game lengths.
  md += "## How long a game lasts under the game's rules\n\n";
  if (o.RuleGames == 0) {
    md += "Not measured (`--rule-games 0`).\n\n";
  } else {
    md += Format("Each seed played until %d game%s had ended or %d generations were bred.\n\n",
                 o.RuleGames, o.RuleGames == 1 ? "" : "s", o.Generations);
    md += "| player | games ended | generations bred per game | shortest | longest | games cut "
          "short by the run's end (generations bred) |\n" +
          TableRule(6);
    for (const auto& [player, runs] : all) {
      std::vector<double> lengths(runs.Ended.begin(), runs.Ended.end());
      std::string running;
      for (int32_t n : runs.Running) running += (running.empty() ? "" : ", ") + std::to_string(n);
      const auto [lo, hi] = std::minmax_element(runs.Ended.begin(), runs.Ended.end());
      md += Format("| %s | %zu | %s | %s | %s | %s |\n", SkillName(player), runs.Ended.size(),
                   Cell(OverValues(lengths), 1).c_str(),
                   runs.Ended.empty() ? "–" : std::to_string(*lo).c_str(),
                   runs.Ended.empty() ? "–" : std::to_string(*hi).c_str(),
                   running.empty() ? "none" : running.c_str());
    }
    md += "\n";
  }

  md += "## What the game's rules do to learning\n\n"
        "The lives are restored at every new generation, so a game ends in the first wave in "
        "which the ship is hit four times. That wave is never bred: its invaders' fitness, the "
        "hits that took the last life included, is thrown away, and the new game starts again "
        "from scratch with a fresh, random population at generation 1. Whatever the invaders "
        "had learned is lost, so against a player they can beat they never get far; only the "
        "study device above lets one population go on learning against such a player.\n";
  return md;
}

// The games in remember mode and the replays of the populations that started them.
std::string RememberSection(const StudyOptions& o, const AllRuns& all) {
  const int32_t games = o.RememberGames;
  std::string md = "## Invaders that remember you\n\n";
  md += Format(
      "The game's remember mode: the wave that ends a game is scored and bred like any other, "
      "and the next game goes on with the generation it bred. For every player and seed, "
      "games in a row until %d have ended or %d generations are bred. Per game, over the seeds "
      "that finished it (their number in brackets when not all did): the generations bred, "
      "the wave that ended the game included, and the hits on the ship per wave bred.\n\n",
      games, o.RememberGenerations);
  auto perGame = [&](const char* what, MeanError (*figure)(const PlayerRuns&, int32_t),
                     int decimals) {
    md += Format("| %s |", what);
    for (int32_t g = 1; g <= games; ++g) md += Format(" game %d |", g);
    md += "\n" + TableRule(1 + games);
    for (const auto& [player, runs] : all) {
      md += Format("| %s |", SkillName(player));
      for (int32_t g = 1; g <= games; ++g)
        md += " " + CellOf(figure(runs, g), decimals, o.Seeds) + " |";
      md += "\n";
    }
    md += "\n";
  };
  perGame("generations bred", &GameLength, 1);
  perGame("hits per wave", &GameHits, 2);
  md += "![Hits on the ship per wave in each game, remember mode](learning-remember.png)\n\n";

  md += Format(
      "Frozen replays of the population as it stood at the start of a game, %d wave%s each "
      "against the same player on the same waves, never bred: per wave, hits on the ship and "
      "bombs dropped, and the hits at the start of the last game replayed over those of the "
      "first.\n\n",
      o.Waves, o.Waves == 1 ? "" : "s");
  const int32_t first = o.RememberReplayed.front(), last = o.RememberReplayed.back();
  md += "| player |";
  for (int32_t g : o.RememberReplayed) md += Format(" hits, game %d |", g);
  for (int32_t g : o.RememberReplayed) md += Format(" bombs, game %d |", g);
  md += Format(" hits, game %d / game %d |\n", last, first) +
        TableRule(2 + 2 * o.RememberReplayed.size());
  for (const auto& [player, runs] : all) {
    md += Format("| %s |", SkillName(player));
    for (int32_t g : o.RememberReplayed)
      md += " " + CellOf(OverGameStarts(runs, g, &WaveMeans::Hits), 2, o.Seeds) + " |";
    for (int32_t g : o.RememberReplayed)
      md += " " + CellOf(OverGameStarts(runs, g, &WaveMeans::Bombs), 1, o.Seeds) + " |";
    md += " " + Ratio(OverGameStarts(runs, first, &WaveMeans::Hits),
                      OverGameStarts(runs, last, &WaveMeans::Hits)) + " |\n";
  }
  md += "\n";
  return md;
}

// Pictures: one curve per player, blocks of generations, an error bar on every point.
void DrawStudyPictures(const StudyOptions& o, const AllRuns& all) {
  const int32_t block = std::max(1, o.Generations / 20);
  for (auto [figure, name, title] :
       {std::tuple{&Hits, "learning-hits.png", "Hits on the ship per wave"},
        std::tuple{&Bombs, "learning-bombs.png", "Bombs dropped per wave"}}) {
    Chart chart;
    // The raster library draws 8-bit text, Latin-1: \xB1 is the plus-minus sign.
    chart.Title = Format("%s within a game (lives restored): mean \xB1 standard error over %d seed%s",
                         title, o.Seeds, o.Seeds == 1 ? "" : "s");
    chart.XLabel = block == 1 ? "generation" : Format("generation (means of %d)", block);
    for (const auto& [player, runs] : all) {
      ChartSeries series{SkillName(player), ColorOf(player), {}};
      for (int32_t first = 1; first <= o.Generations; first += block) {
        const int32_t last = std::min(o.Generations, first + block - 1);
        const MeanError m = OverGenerations(runs, figure, first, last);
        if (m.N > 0) series.Points.push_back({(first + last) / 2.0, m.Mean, m.Error});
      }
      chart.Series.push_back(std::move(series));
    }
    TBitmap32 picture;
    DrawChart(picture, chart);
    WritePng(picture, o.OutDir / name);
  }
}

void DrawRememberPicture(const StudyOptions& o, const AllRuns& all) {
  Chart chart;
  chart.Title = "Hits on the ship per wave in each game, remember mode: mean \xB1 standard error";
  chart.XLabel = "game";
  for (const auto& [player, runs] : all) {
    ChartSeries series{SkillName(player), ColorOf(player), {}};
    for (int32_t g = 1; g <= o.RememberGames; ++g) {
      const MeanError m = GameHits(runs, g);
      if (m.N > 0) series.Points.push_back({static_cast<double>(g), m.Mean, m.Error});
    }
    chart.Series.push_back(std::move(series));
  }
  TBitmap32 picture;
  DrawChart(picture, chart);
  WritePng(picture, o.OutDir / "learning-remember.png");
}

}  // namespace

fs::path WriteReport(const StudyOptions& o) {
  CheckStudyOptions(o);
  AllRuns all;
  for (Skill player : o.Players) all.emplace_back(player, ReadRuns(o, player));

  std::string md;
  if (o.RememberOnly) {
    md += "# Do the invaders learn? Invaders that remember you\n\n";
    md += Format("Made by `make learning-remember` (`%s`): the part of `make learning` in the "
                 "game's remember mode. %u ms a frame. Figures are means over the seeds ± their "
                 "standard error.\n\n",
                 Command(o).c_str(), o.FrameStepMs);
  } else {
    md += "# Do the invaders learn?\n\n";
    md += StudySections(o, all);
  }
  if (o.RememberGames > 0) md += (o.RememberOnly ? "" : "\n") + RememberSection(o, all);

  const fs::path report = o.OutDir / "learning.md";
  std::ofstream out(report, std::ios::trunc);
  out << md;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + report.string());

  if (!o.RememberOnly) DrawStudyPictures(o, all);
  if (o.RememberGames > 0) DrawRememberPicture(o, all);
  return report;
}

}  // namespace qf::arena
