// xor                 one run from seed 1, a line per generation
// xor RUNS [SEED]     RUNS runs from seeds SEED, SEED + 1, ... (default 1), then the statistics
// Options: --max-generations N (default 300), --margin M (default 0.5), and for one run:
//   --seed N                     the run's seed (default 1)
//   --save FILE                  the champion (best genome of the last evaluation) as a genome file
//   --draw FILE.svg              the champion as a picture
//   --checkpoint FILE            the population, rewritten after every breeding step
//   --checkpoint-evaluated FILE  the population, rewritten after every evaluation
//   --resume FILE                continue from a checkpoint of either kind; lines and files then
//                                continue exactly as the uninterrupted run's. The checkpoint
//                                keeps the run's seed and margin: --seed or --margin given with
//                                it must be the run's, else the resume is refused

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "examples/xor/xor.h"

namespace {

bool ParseLong(const char* text, long min, long max, long* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < min || v > max) return false;
  *out = v;
  return true;
}

bool ParseDouble(const char* text, double* out) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= 0.0 && v < 1.0)) return false;
  *out = v;
  return true;
}

int Usage() {
  std::cerr << "usage: xor [RUNS [SEED]] [--max-generations N] [--margin M]\n"
               "       xor [--seed N] [--save FILE] [--draw FILE.svg] [--checkpoint FILE]\n"
               "           [--checkpoint-evaluated FILE] [--resume FILE] [--max-generations N]\n"
               "  RUNS 1..100000, SEED 0..4294967295, N 1..1000000, M in [0, 1)\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  qf::XorOptions options;
  std::vector<long> positional;
  bool singleRunOption = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    long value = 0;
    const bool hasValue = i + 1 < argc;
    if (arg == "--max-generations" && hasValue) {
      if (!ParseLong(argv[++i], 1, 1000000, &value)) return Usage();
      options.MaxGenerations = static_cast<int32_t>(value);
    } else if (arg == "--margin" && hasValue) {
      double margin = 0.0;
      if (!ParseDouble(argv[++i], &margin)) return Usage();
      options.Margin = margin;
    } else if (arg == "--seed" && hasValue) {
      if (!ParseLong(argv[++i], 0, 4294967295L, &value)) return Usage();
      options.Seed = static_cast<uint32_t>(value);
      singleRunOption = true;
    } else if ((arg == "--save" || arg == "--draw" || arg == "--checkpoint" ||
                arg == "--checkpoint-evaluated" || arg == "--resume") && hasValue) {
      const std::string file = argv[++i];
      if (arg == "--save") options.ChampionFile = file;
      if (arg == "--draw") options.ChampionSvgFile = file;
      if (arg == "--checkpoint") options.CheckpointFile = file;
      if (arg == "--checkpoint-evaluated") options.EvaluatedCheckpointFile = file;
      if (arg == "--resume") options.ResumeFile = file;
      singleRunOption = true;
    } else if (positional.empty() && ParseLong(argv[i], 1, 100000, &value)) {
      positional.push_back(value);
    } else if (positional.size() == 1 && ParseLong(argv[i], 0, 4294967295L, &value)) {
      positional.push_back(value);
    } else {
      return Usage();
    }
  }
  if (singleRunOption && !positional.empty()) return Usage();

  try {
    if (positional.empty()) {
      options.Log = &std::cout;
      const qf::XorResult r = qf::RunXor(options);
      if (r.Solved) {
        std::cout << "solved in generation " << r.Generations << " after " << r.Evaluations
                  << " evaluations\n";
      } else {
        std::cout << "not solved within " << options.MaxGenerations << " generations\n";
      }
      return r.Solved ? 0 : 1;
    }
  } catch (const std::exception& e) {
    std::cerr << "xor: " << e.what() << '\n';
    return 2;
  }

  const long runs = positional[0];
  const uint32_t firstSeed = positional.size() > 1 ? static_cast<uint32_t>(positional[1]) : 1u;
  std::vector<qf::XorResult> results;
  for (long k = 0; k < runs; ++k) {
    options.Seed = firstSeed + static_cast<uint32_t>(k);
    results.push_back(qf::RunXor(options));
    const qf::XorResult& r = results.back();
    std::printf("seed %u: %s in generation %d, champion genes %d, species %d\n", *options.Seed,
                r.Solved ? "solved" : "NOT solved", r.Generations, r.ChampionGenes,
                r.LivingSpecies);
  }
  const qf::XorStatistics s = qf::Summarize(results);
  std::printf("runs %d, solved %d (%.1f%%) within %d generations\n", s.Runs, s.Successes,
              100.0 * s.Successes / s.Runs, options.MaxGenerations);
  if (s.Successes > 0) {
    std::printf("generations to solve: mean %.1f, median %.1f\n", s.MeanGenerations,
                s.MedianGenerations);
    std::printf("evaluations: mean %.0f over solved runs, %.0f over all runs\n",
                s.MeanEvaluations, s.MeanEvaluationsAll);
  }
  return 0;
}
