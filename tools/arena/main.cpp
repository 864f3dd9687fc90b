// arena: plays the real game headless, with a hand-moved clock and the autopilot at the keys,
// and reports how the invaders learn.
//
//   arena [--seed N] [--generations N] [--step MS] [--data DIR] [--out DIR]
//         [--csv FILE] [--png FILE] [--max-frames N] [--compose] [--memory]
//         [--checkpoint-every N] [--resume FILE]
//         [--player autopilot|nododge|human|skilled] [--restore-lives]
//         [--frozen FILE [--waves N]]
//
// One line per generation bred on standard output, the same as CSV (default
// <out>/arena-seed<N>.csv) and the learning curve as PNG (default <out>/arena-seed<N>.png);
// the game's log.txt lands in <out>. The best network of every generation is drawn beside the
// CSV, in <csv stem>-best/game<G>-gen<N>.svg. The same arguments give the same bytes every
// time, except with --memory, which adds the process's resident size to every printed line
// (for the soak).
//
// --checkpoint-every N saves the population every N generations bred, at the generation
// boundary, to <csv stem>-checkpoints/game<G>-gen<N>.json (N: the generation about to play).
// --resume FILE starts the game with a saved population instead of a fresh one; the playfield
// starts afresh, so the lines that follow are not those of the run that saved it.
//
// --player chooses who plays (tools/arena/autopilot.h); --restore-lives is a study device
// outside the game's rules (the lives are restored after every frame, so one game goes on).
// With either, every line and row also carries the hits that paid their bomber and the
// invaders' mean lifetime, and the summary the length of every game in generations.
// --frozen FILE replays a saved population for N waves (10) without breeding, each wave on a
// fresh playfield seeded from the seed and its number, with lives restored: one line per
// wave, and the means per wave at the end. Replays of two populations with one seed meet the
// same waves.

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "neat/genotype.h"
#include "neat/io/svg.h"
#include "neat/population.h"
#include "raster/bitmap32.h"
#include "tools/arena/arena.h"
#include "tools/arena/command_line.h"
#include "game/invaders.h"
#include "game/main_window.h"
#include "tools/arena/curve.h"

namespace fs = std::filesystem;
using namespace qf::arena;

namespace {

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "arena: %s\n", problem);
  std::fprintf(stderr,
               "usage: arena [--seed N] [--generations N] [--step MS] [--data DIR] [--out DIR]\n"
               "             [--csv FILE] [--png FILE] [--max-frames N] [--compose] [--memory]\n"
               "             [--checkpoint-every N] [--resume FILE]\n"
               "             [--player autopilot|nododge|human|skilled] [--restore-lives]\n"
               "             [--frozen FILE [--waves N]]\n");
  return 2;
}

// The resident set size from /proc/self/statm, or -1.
long ResidentKb() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return -1;
  long size = 0, resident = -1;
  if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = -1;
  std::fclose(f);
  return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double MeanOf(const std::vector<GenerationRecord>& records, size_t from, size_t to) {
  double total = 0;
  size_t n = 0;
  for (size_t i = from; i < to && i < records.size(); ++i, ++n) total += records[i].MeanFitness;
  return n ? total / static_cast<double>(n) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  ArenaOptions options;
  std::string csvPath, pngPath, resumePath;
  int32_t checkpointEvery = 0;
  int32_t waves = 0;
  bool generationsGiven = false;
  bool memory = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto value = [&]() -> std::string_view { return argv[++i]; };
    if (arg == "--compose") {
      options.ComposeView = true;
    } else if (arg == "--memory") {
      memory = true;
    } else if (arg == "--restore-lives") {
      options.RestoreLives = true;
    } else if (!hasValue) {
      return Usage(("missing value or unknown option " + std::string(arg)).c_str());
    } else if (arg == "--seed") {
      if (!ParseNumber(value(), options.Seed)) return Usage("--seed needs a number 0..4294967295");
    } else if (arg == "--generations") {
      if (!ParseNumber(value(), options.Generations) || options.Generations < 1)
        return Usage("--generations needs a number of at least 1");
      generationsGiven = true;
    } else if (arg == "--waves") {
      if (!ParseNumber(value(), waves) || waves < 1) return Usage("--waves needs a number of at least 1");
    } else if (arg == "--step") {
      if (!ParseNumber(value(), options.FrameStepMs) || options.FrameStepMs < 1 ||
          options.FrameStepMs > 1000)
        return Usage("--step needs milliseconds from 1 to 1000");
    } else if (arg == "--max-frames") {
      if (!ParseNumber(value(), options.MaxFrames)) return Usage("--max-frames needs a number");
    } else if (arg == "--player") {
      const auto skill = ParseSkill(value());
      if (!skill) return Usage("--player needs autopilot, nododge, human or skilled");
      options.Player = *skill;
    } else if (arg == "--data") {
      options.DataDir = value();
    } else if (arg == "--out") {
      options.OutDir = value();
    } else if (arg == "--csv") {
      csvPath = value();
    } else if (arg == "--png") {
      pngPath = value();
    } else if (arg == "--checkpoint-every") {
      if (!ParseNumber(value(), checkpointEvery) || checkpointEvery < 1)
        return Usage("--checkpoint-every needs a number of at least 1");
    } else if (arg == "--resume") {
      resumePath = value();
    } else if (arg == "--frozen") {
      options.Frozen = value();
    } else {
      return Usage(("unknown option " + std::string(arg)).c_str());
    }
  }

  const bool frozen = !options.Frozen.empty();
  if (frozen && (generationsGiven || checkpointEvery > 0 || !resumePath.empty()))
    return Usage("--frozen plays --waves of a population that never changes: no --generations, "
                 "--checkpoint-every or --resume");
  if (!frozen && waves > 0) return Usage("--waves goes with --frozen");
  if (frozen) options.Generations = waves > 0 ? waves : 10;
  const bool study = options.Player != Skill::Autopilot || options.RestoreLives || frozen;
  try {
    if (options.DataDir.empty()) options.DataDir = DefaultDataDir();
    if (options.OutDir.empty()) options.OutDir = fs::current_path();
    fs::create_directories(options.OutDir);
    options.OutDir = fs::absolute(options.OutDir);
    const std::string stem = "arena-seed" + std::to_string(options.Seed);
    const fs::path csvFile = csvPath.empty() ? options.OutDir / (stem + ".csv") : fs::absolute(csvPath);
    const fs::path pngFile = pngPath.empty() ? options.OutDir / (stem + ".png") : fs::absolute(pngPath);

    const fs::path bestDir = csvFile.parent_path() / (csvFile.stem().string() + "-best");
    const fs::path checkpointDir = csvFile.parent_path() / (csvFile.stem().string() + "-checkpoints");
    fs::create_directories(bestDir);
    if (checkpointEvery > 0) fs::create_directories(checkpointDir);
    const fs::path resumeFile = resumePath.empty() ? fs::path() : fs::absolute(resumePath);

    std::ofstream csv(csvFile, std::ios::binary | std::ios::trunc);
    if (!csv) throw std::runtime_error("cannot write " + csvFile.string());
    csv << CsvHeader(study) << '\n';

    std::vector<GenerationRecord> records;
    uint64_t frames = 0;
    int32_t games = 0, gameOvers = 0;
    std::vector<int32_t> gameLengths;
    bool complete = false;
    {
      Arena arena(options);
      if (!resumeFile.empty()) arena.Resume(resumeFile);
      arena.OnGeneration = [&](const GenerationRecord& r) {
        const std::string line = FormatRecord(r, study);
        if (memory) std::printf("%s  rss %ld kB\n", line.c_str(), ResidentKb());
        else std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        csv << CsvRow(r, study) << '\n';
        const std::string game = "game" + std::to_string(r.Game);
        const qf::TGenotype* best = arena.Main().Population->BestIndividual;
        if (best && !frozen) {
          qf::io::SvgOptions svg;
          char title[160];
          std::snprintf(title, sizeof title, "Seed %" PRIu32 ", game %d, generation %d: best fitness %.2f",
                        options.Seed, r.Game, r.GameGeneration, best->Fitness);
          svg.Title = title;
          svg.InputNames.assign(qf::kInvaderInputNames.begin(), qf::kInvaderInputNames.end());
          svg.OutputNames.assign(qf::kInvaderOutputNames.begin(), qf::kInvaderOutputNames.end());
          qf::io::WriteGenotypeSvg(*best, bestDir / (game + "-gen" + std::to_string(r.GameGeneration) + ".svg"), svg);
        }
        if (checkpointEvery > 0 && r.Index % checkpointEvery == 0) {
          arena.SaveCheckpoint(checkpointDir /
                               (game + "-gen" + std::to_string(r.GameGeneration + 1) + ".json"));
        }
      };
      complete = arena.Run();
      records = arena.Records();
      frames = arena.FramesPlayed();
      games = arena.Game();
      gameOvers = arena.GameOvers();
      gameLengths = arena.GameLengths();
    }  // the window closes here and writes log.txt
    csv.close();
    if (!csv) throw std::runtime_error("cannot write " + csvFile.string());

    if (frozen) {
      const WaveMeans m = MeansPerWave(records);
      std::printf("frozen replay of %s (generation %d) against %s: %zu waves in %" PRIu64
                  " frames; per wave hits %.2f, paid %.2f, bombs %.1f, invader life %.2f s\n",
                  options.Frozen.c_str(), records.empty() ? 0 : records[0].GameGeneration,
                  SkillName(options.Player), records.size(), frames, m.Hits, m.PaidHits, m.Bombs,
                  m.Lifetime);
      if (!complete) {
        std::fprintf(stderr, "arena: stopped after %" PRIu64 " frames with %zu of %d waves played\n",
                     frames, records.size(), options.Generations);
        return 1;
      }
      return 0;
    }

    qf::TBitmap32 picture;
    char title[160];
    std::snprintf(title, sizeof title, "Quillfrost arena: seed %" PRIu32 ", %zu generations bred, %d game%s",
                  options.Seed, records.size(), games, games == 1 ? "" : "s");
    DrawLearningCurve(picture, records, title);
    WritePng(picture, pngFile);

    const uint64_t gameSeconds = frames * options.FrameStepMs / 1000;
    std::printf("%zu generations bred in %" PRIu64 " frames (%" PRIu64 ":%02" PRIu64 ":%02" PRIu64
                " of play), %d game%s, %d game over%s\n",
                records.size(), frames, gameSeconds / 3600, gameSeconds / 60 % 60,
                gameSeconds % 60, games, games == 1 ? "" : "s", gameOvers,
                gameOvers == 1 ? "" : "s");
    if (study) {
      std::printf("player %s%s; games ended after", SkillName(options.Player),
                  options.RestoreLives ? ", lives restored after every frame (outside the game's rules)" : "");
      if (gameLengths.empty()) std::printf(" (none ended)");
      for (int32_t n : gameLengths) std::printf(" %d", n);
      std::printf(" generation%s bred\n", gameLengths.size() == 1 && gameLengths[0] == 1 ? "" : "s");
    }
    if (records.size() >= 20) {
      std::printf("mean fitness: generations 1-10 %.2f, the last 10 %.2f\n", MeanOf(records, 0, 10),
                  MeanOf(records, records.size() - 10, records.size()));
    }
    if (!complete) {
      std::fprintf(stderr, "arena: stopped after %" PRIu64 " frames with %zu of %d generations bred\n",
                   frames, records.size(), options.Generations);
      return 1;
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "arena: %s\n", e.what());
    return 1;
  }
}
