#include "examples/xor/xor.h"

#include <algorithm>
#include <cmath>

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
  SetRandSeed(options.Seed);
  TNEATPopulation population(nullptr);
  population.PopulationSize = options.PopulationSize;
  population.InputNodeCount = kInputs;
  population.OutputNodeCount = 1;
  population.SelectionType = options.SelectionType;

  XorResult result;
  bool solvedThisGeneration = false;
  population.OnCalculateFitness = [&](TNEATPopulation*, TGenotype* genotype) {
    bool solved = false;
    const double fitness = XorFitness(*genotype, options.Margin, &solved);
    solvedThisGeneration = solvedThisGeneration || solved;
    ++result.Evaluations;
    return fitness;
  };

  // The generation in GenotypeList, and whether it still has to be evaluated.
  int32_t generation = 1;
  bool evaluated = false;
  const auto checkpoint = [&](const std::string& file) {
    if (file.empty()) return;
    io::SavePopulationFile(population, file,
                           {{"generation", std::to_string(generation)},
                            {"stage", evaluated ? "evaluated" : "bred"},
                            {"evaluations", std::to_string(result.Evaluations)}});
  };
  const auto step = [&] {
    if (options.OnStep) options.OnStep(population, generation, evaluated);
  };

  if (options.ResumeFile.empty()) {
    population.ClearInnovations();
    population.CreateInitialPopulation();
    checkpoint(options.CheckpointFile);
  } else {
    const io::HostData host = io::LoadPopulationFile(options.ResumeFile, population);
    const auto number = [&](const char* key) -> int64_t {
      const auto it = host.find(key);
      if (it == host.end()) throw io::EFormatError(options.ResumeFile + ": not an XOR checkpoint");
      return std::stoll(it->second);
    };
    generation = static_cast<int32_t>(number("generation"));
    result.Evaluations = number("evaluations");
    evaluated = host.at("stage") == "evaluated";
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
      checkpoint(options.EvaluatedCheckpointFile);
    }
    population.CreateNextGeneration();
    ++generation;
    evaluated = false;
    step();
    checkpoint(options.CheckpointFile);
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
