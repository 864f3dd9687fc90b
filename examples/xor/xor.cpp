#include "examples/xor/xor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "base/numbers.h"
#include "base/random.h"
#include "neat/genotype.h"
#include "neat/io/neat_io.h"
#include "neat/io/svg.h"
#include "neat/population.h"

namespace qf {

namespace {

struct XorCase {
  double A, B;
  bool Target;
};
constexpr XorCase kCases[4] = {{0, 0, false}, {0, 1, true}, {1, 0, true}, {1, 1, false}};

constexpr auto kInputs = static_cast<int32_t>(kXorInputNames.size());
constexpr double kBias = 1.0;

double RunCase(const TGenotype& genotype, const XorCase& c) {
  auto net = genotype.Clone();
  net->PreparePhenotype();
  net->SetInput(0, c.A);
  net->SetInput(1, c.B);
  net->SetInput(2, kBias);
  net->Iterate(std::max<int32_t>(1, net->NodeList.Count()));
  const double out = net->GetOutput(0);
  net->ReleaseToCache();
  return out;
}

constexpr uint32_t kDefaultSeed = 1;
constexpr double kDefaultMargin = 0.5;

std::string NumberText(double v) {
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

// Where a checkpoint leaves the run, and what decides it, from the host data this host wrote.
struct XorResume {
  int32_t Generation = 1;
  bool Evaluated = false;
  int64_t Evaluations = 0;
  std::optional<uint32_t> Seed;  // checkpoints of earlier versions keep neither
  std::optional<double> Margin;
};

template <class T>
std::optional<T> HostValue(const io::HostData& host, const std::string& file, const char* key,
                           T min, T max) {
  const auto it = host.find(key);
  if (it == host.end()) return std::nullopt;
  const std::string& text = it->second;
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !(value >= min && value <= max)) {
    throw io::EFormatError(file + ": $.Host." + key + ": \"" + text + "\" is not a " + key +
                           " of an XOR run");
  }
  return value;
}

XorResume ReadResume(const io::PopulationCheckpoint& checkpoint, const XorOptions& options) {
  const std::string& file = options.ResumeFile;
  const io::HostData& host = checkpoint.Host();
  if (checkpoint.InputNodeCount() != kInputs || checkpoint.OutputNodeCount() != 1) {
    throw io::EFormatError(file + ": a population of " +
                           std::to_string(checkpoint.InputNodeCount()) + " inputs and " +
                           std::to_string(checkpoint.OutputNodeCount()) +
                           " outputs; XOR's has 3 and 1");
  }
  const auto stage = host.find("stage");
  const auto generation = HostValue<int32_t>(host, file, "generation", 1, INT32_MAX);
  const auto evaluations = HostValue<int64_t>(host, file, "evaluations", 0, INT64_MAX);
  if (stage == host.end() || !generation || !evaluations) {
    throw io::EFormatError(file + ": $.Host: not an XOR checkpoint");
  }
  XorResume r;
  r.Generation = *generation;
  r.Evaluations = *evaluations;
  r.Evaluated = stage->second == "evaluated";
  if (!r.Evaluated && stage->second != "bred") {
    throw io::EFormatError(file + ": $.Host.stage: \"" + stage->second +
                           "\" is neither \"bred\" nor \"evaluated\"");
  }
  // Breeding a generation that was not evaluated, or evaluating one twice, is not the run.
  if (r.Evaluated != checkpoint.Evaluated()) {
    throw io::EFormatError(file + ": $.Host.stage: \"" + stage->second + "\", but the population " +
                           (r.Evaluated ? "has not been evaluated" : "has just been evaluated"));
  }
  r.Seed = HostValue<uint32_t>(host, file, "seed", 0, UINT32_MAX);
  r.Margin = HostValue<double>(host, file, "margin", 0.0, std::nextafter(1.0, 0.0));

  // What the checkpoint keeps is the run's; another value would not continue it.
  if (options.Seed && options.Seed != r.Seed) {
    throw std::invalid_argument(
        r.Seed ? file + " continues the run of seed " + std::to_string(*r.Seed) +
                     ", not of seed " + std::to_string(*options.Seed) +
                     ": it goes on from the checkpoint's random state"
               : file + " does not say the seed of its run, and it goes on from the checkpoint's "
                        "random state: a seed cannot be given");
  }
  if (options.Margin && r.Margin && *options.Margin != *r.Margin) {
    throw std::invalid_argument(file + " continues a run solved with the margin " +
                                NumberText(*r.Margin) + ", not " + NumberText(*options.Margin));
  }
  return r;
}

}  // namespace

double XorFitness(const TGenotype& genotype, double margin, bool* solved) {
  double error = 0.0;
  bool allRight = true;
  for (const XorCase& c : kCases) {
    const double out = RunCase(genotype, c);
    const double unipolar = (out + 1.0) / 2.0;
    error += std::fabs(unipolar - (c.Target ? 1.0 : 0.0));
    allRight = allRight && (c.Target ? out > margin : out < -margin);
  }
  if (solved) *solved = allRight;
  return (4.0 - error) * (4.0 - error);
}

XorResult RunXor(const XorOptions& options) {
  // A checkpoint is read and checked before anything of this process changes.
  std::optional<io::PopulationCheckpoint> checkpoint;
  XorResume resume;
  if (!options.ResumeFile.empty()) {
    checkpoint = io::ReadPopulationCheckpointFile(options.ResumeFile);
    resume = ReadResume(*checkpoint, options);
  }
  const std::optional<uint32_t> seed =
      checkpoint ? resume.Seed : options.Seed.value_or(kDefaultSeed);
  const double margin = resume.Margin.value_or(options.Margin.value_or(kDefaultMargin));

  SetRandSeed(seed.value_or(kDefaultSeed));
  TNEATPopulation population(nullptr);
  population.PopulationSize = options.PopulationSize;
  population.InputNodeCount = kInputs;
  population.OutputNodeCount = 1;
  population.SelectionType = options.SelectionType;

  XorResult result;
  bool solvedThisGeneration = false;
  population.OnCalculateFitness = [&](TNEATPopulation*, TGenotype* genotype) {
    bool solved = false;
    const double fitness = XorFitness(*genotype, margin, &solved);
    solvedThisGeneration = solvedThisGeneration || solved;
    ++result.Evaluations;
    return fitness;
  };

  // The generation in GenotypeList, and whether it still has to be evaluated.
  int32_t generation = 1;
  bool evaluated = false;
  const auto checkpointTo = [&](const std::string& file) {
    if (file.empty()) return;
    io::HostData host = {{"generation", std::to_string(generation)},
                         {"stage", evaluated ? "evaluated" : "bred"},
                         {"evaluations", std::to_string(result.Evaluations)},
                         {"margin", NumberText(margin)}};
    if (seed) host["seed"] = std::to_string(*seed);
    io::SavePopulationFile(population, file, host);
  };
  const auto step = [&] {
    if (options.OnStep) options.OnStep(population, generation, evaluated);
  };

  if (!checkpoint) {
    population.ClearInnovations();
    population.CreateInitialPopulation();
    checkpointTo(options.CheckpointFile);
  } else {
    try {
      io::ApplyPopulationCheckpoint(*checkpoint, population);
    } catch (const io::EFormatError& e) {
      throw io::EFormatError(options.ResumeFile + ": " + e.what());
    }
    generation = resume.Generation;
    result.Evaluations = resume.Evaluations;
    evaluated = resume.Evaluated;
  }

  // Evaluate, then breed; the initial population is generation 1.
  while (true) {
    if (!evaluated) {
      if (generation > options.MaxGenerations) break;
      solvedThisGeneration = false;
      population.EvaluateGeneration();
      evaluated = true;
      result.Generations = generation;
      result.BestFitness = population.BestIndividual->Fitness;
      result.ChampionGenes = population.BestIndividual->GeneCount();
      result.LivingSpecies = population.LivingSpeciesCount;
      if (options.Log) {
        *options.Log << "generation " << generation << "  best fitness "
                     << FormatFixed(result.BestFitness, 4) << "  species " << result.LivingSpecies
                     << "  champion genes " << result.ChampionGenes << '\n';
      }
      step();
      if (solvedThisGeneration) {
        result.Solved = true;
        break;
      }
      checkpointTo(options.EvaluatedCheckpointFile);
    }
    population.CreateNextGeneration();
    ++generation;
    evaluated = false;
    step();
    checkpointTo(options.CheckpointFile);
  }

  if (const TGenotype* champion = population.BestIndividual) {
    if (!options.ChampionFile.empty()) io::SaveGenotypeFile(*champion, options.ChampionFile);
    if (!options.ChampionSvgFile.empty()) {
      io::SvgOptions svg;
      svg.Title = "XOR champion: fitness " + FormatFixed(champion->Fitness, 4) + ", " +
                  std::to_string(champion->NodeList.Count()) + " nodes, " +
                  std::to_string(champion->GeneCount() - champion->NodeList.Count()) +
                  " enabled connections";
      svg.InputNames.assign(kXorInputNames.begin(), kXorInputNames.end());
      svg.OutputNames = {kXorOutputName};
      io::WriteGenotypeSvg(*champion, options.ChampionSvgFile, svg);
    }
  }
  return result;
}

XorStatistics Summarize(const std::vector<XorResult>& results) {
  XorStatistics s;
  s.Runs = static_cast<int32_t>(results.size());
  std::vector<int32_t> generations;
  double evaluations = 0.0;
  double evaluationsAll = 0.0;
  for (const XorResult& r : results) {
    evaluationsAll += static_cast<double>(r.Evaluations);
    if (!r.Solved) continue;
    generations.push_back(r.Generations);
    evaluations += static_cast<double>(r.Evaluations);
  }
  s.Successes = static_cast<int32_t>(generations.size());
  if (s.Runs > 0) s.MeanEvaluationsAll = evaluationsAll / s.Runs;
  if (generations.empty()) return s;
  std::sort(generations.begin(), generations.end());
  double sum = 0.0;
  for (int32_t g : generations) sum += g;
  s.MeanGenerations = sum / s.Successes;
  const size_t mid = generations.size() / 2;
  s.MedianGenerations = generations.size() % 2 == 1
                            ? generations[mid]
                            : (generations[mid - 1] + generations[mid]) / 2.0;
  s.MeanEvaluations = evaluations / s.Successes;
  return s;
}

}  // namespace qf
