#include "examples/polebalance/pole_evolution.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <variant>

#include "base/errors.h"
#include "base/numbers.h"
#include "base/random.h"
#include "base/ticks.h"
#include "neat/gene_pool.h"
#include "neat/genotype.h"
#include "neat/population.h"

namespace qf::pole {

namespace {

// ---- Settings by name ----

bool ParseInt(const std::string& text, int32_t* out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *out);
  return ec == std::errc() && ptr == end;
}

bool ParseReal(const std::string& text, double* out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *out);
  return ec == std::errc() && ptr == end && std::isfinite(*out);
}

bool ParseFlag(const std::string& text, bool* out) {
  if (text == "true" || text == "1") *out = true;
  else if (text == "false" || text == "0") *out = false;
  else return false;
  return true;
}

std::string Show(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

struct IntSetting {
  int32_t TNEATPopulation::*Member;
  int32_t Min, Max;
};
struct RealSetting {
  double TNEATPopulation::*Member;
  double Min, Max;
};
struct SingleSetting {
  float TNEATPopulation::*Member;
  double Min, Max;
};
struct FlagSetting {
  bool TNEATPopulation::*Member;
};
struct SurvivalSetting {};
struct SelectionSetting {};
struct FitnessMethodSetting {};

using SettingKind = std::variant<IntSetting, RealSetting, SingleSetting, FlagSetting,
                                 SurvivalSetting, SelectionSetting, FitnessMethodSetting>;

struct SettingEntry {
  const char* Name;
  SettingKind Kind;
};

constexpr const char* kSelectionNames[] = {"stFitProp", "stSpecies", "stTournament",
                                           "stLocalTournament"};
constexpr const char* kFitnessMethodNames[] = {"sfmAverageFitness", "sfmHighestFitness"};

// The published settings a host may choose, in the component's declared order.
const SettingEntry kSettings[] = {
    {"MinSpeciesRelatedness", RealSetting{&TNEATPopulation::MinSpeciesRelatedness, 0.0, 1e6}},
    {"SelectionType", SelectionSetting{}},
    {"PopulationSize", IntSetting{&TNEATPopulation::PopulationSize, 2, 1000000}},
    {"ReproduceMutateRate", RealSetting{&TNEATPopulation::ReproduceMutateRate, 0.0, 1.0}},
    {"SpeciesTargetCount", IntSetting{&TNEATPopulation::SpeciesTargetCount, 0, 1000000}},
    {"TournamentRange", IntSetting{&TNEATPopulation::TournamentRange, 1, 1000000}},
    {"TournamentSize", IntSetting{&TNEATPopulation::TournamentSize, 1, 1000000}},
    {"ConnectionWeightMutationChance",
     RealSetting{&TNEATPopulation::ConnectionWeightMutationChance, 0.0, 1.0}},
    {"ConnectionMutationBigChangeChance",
     RealSetting{&TNEATPopulation::ConnectionMutationBigChangeChance, 0.0, 1.0}},
    {"MutateCrossed", FlagSetting{&TNEATPopulation::MutateCrossed}},
    {"ConnectNodesOfInitialPop", FlagSetting{&TNEATPopulation::ConnectNodesOfInitialPop}},
    {"ConnectOutputOfInitialPop", FlagSetting{&TNEATPopulation::ConnectOutputOfInitialPop}},
    {"ActivationIterations", IntSetting{&TNEATPopulation::ActivationIterations, -1, 1000}},
    {"AllowRecurrentLinks", FlagSetting{&TNEATPopulation::AllowRecurrentLinks}},
    {"SurvivalThreshold", SurvivalSetting{}},
    {"SpeciesFitnessMethod", FitnessMethodSetting{}},
    {"ConnectionSplitChance", RealSetting{&TNEATPopulation::ConnectionSplitChance, 0.0, 1.0}},
    {"ConnectionAddChance", RealSetting{&TNEATPopulation::ConnectionAddChance, 0.0, 1.0}},
    {"WeightUnrelatednessFactor",
     SingleSetting{&TNEATPopulation::WeightUnrelatednessFactor, 0.0, 1e6}},
    {"WeightPeturbationFactor",
     SingleSetting{&TNEATPopulation::WeightPeturbationFactor, 0.0, 1e6}},
    {"InitialWeightMagnitude", SingleSetting{&TNEATPopulation::InitialWeightMagnitude, 0.0, 1e6}},
    {"MaxConnectionDelay", IntSetting{&TNEATPopulation::MaxConnectionDelay, 0, kMaxDelay}},
    {"MaxLinkWeight", SingleSetting{&TNEATPopulation::MaxLinkWeight, 0.0, 1e6}},
};

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};

// ---- Threads ----

// body(i) for every i in 0 .. count - 1, on `threads` threads including the caller's. The
// first exception is passed on to the caller once every thread has stopped.
void ParallelFor(int32_t count, int32_t threads, const std::function<void(int32_t)>& body) {
  std::atomic<int32_t> next{0};
  std::exception_ptr failure;
  std::mutex failureLock;
  auto work = [&] {
    for (;;) {
      const int32_t i = next.fetch_add(1);
      if (i >= count) return;
      try {
        body(i);
      } catch (...) {
        const std::lock_guard lock(failureLock);
        if (!failure) failure = std::current_exception();
        next.store(count);
        return;
      }
    }
  };
  {
    std::vector<std::jthread> helpers;
    for (int32_t t = 1; t < std::min(threads, count); ++t) helpers.emplace_back(work);
    work();
  }
  if (failure) std::rethrow_exception(failure);
}

// The generalization test runs on this many copies of the network whatever the thread count:
// a copy takes genes from the pool, and a pool that runs dry builds genes with a random draw,
// so the number of copies must not depend on the threads.
constexpr int32_t kGeneralizationCopies = 5;

int32_t Generalization(const TGenotype& champion, PoleTask task, int32_t threads) {
  std::vector<std::unique_ptr<TGenotype>> copies;
  for (int32_t k = 0; k < kGeneralizationCopies; ++k) {
    copies.push_back(champion.Clone());
    copies.back()->PreparePhenotype();
  }
  std::atomic<int32_t> balanced{0};
  constexpr int32_t kShare = kGeneralizationStarts / kGeneralizationCopies;
  ParallelFor(kGeneralizationCopies, threads, [&](int32_t k) {
    balanced += GeneralizationCount(*copies[static_cast<size_t>(k)], task, k * kShare,
                                    k + 1 == kGeneralizationCopies ? kGeneralizationStarts
                                                                   : (k + 1) * kShare);
  });
  for (auto& copy : copies) copy->ReleaseToCache();
  return balanced;
}

// Everything of a genome that decides how its network behaves, as numbers to compare.
std::vector<uint64_t> Fingerprint(const TGenotype& g) {
  std::vector<uint64_t> f;
  f.reserve(static_cast<size_t>(1 + 2 * g.NodeList.Count() + 5 * g.ConnectList.Count()));
  f.push_back(static_cast<uint64_t>(g.MaxNodeDepth));  // the pass count may depend on it
  for (const TNode* node : g.NodeList) {
    f.push_back(static_cast<uint64_t>(node->Number));
    f.push_back(reinterpret_cast<uintptr_t>(node->TransferFunction));
  }
  for (const TConnect* c : g.ConnectList) {
    f.push_back(static_cast<uint64_t>(c->FromNode) << 32 | static_cast<uint32_t>(c->ToNode));
    f.push_back(static_cast<uint64_t>(c->InnovationNumber));
    f.push_back(std::bit_cast<uint64_t>(c->Weight));
    f.push_back(c->Enabled);
    f.push_back(static_cast<uint64_t>(c->Delay));
  }
  return f;
}

int32_t HiddenNodes(const TGenotype& g) {
  int32_t n = 0;
  for (const TNode* node : g.NodeList)
    if (!node->IsInput && !node->IsOutput) ++n;
  return n;
}

}  // namespace

bool ApplySetting(TNEATPopulation& p, const std::string& name, const std::string& value) {
  for (const SettingEntry& entry : kSettings) {
    if (name != entry.Name) continue;
    return std::visit(
        Overloaded{
            [&](const IntSetting& s) {
              int32_t v = 0;
              if (!ParseInt(value, &v) || v < s.Min || v > s.Max) return false;
              p.*s.Member = v;
              return true;
            },
            [&](const RealSetting& s) {
              double v = 0;
              if (!ParseReal(value, &v) || v < s.Min || v > s.Max) return false;
              p.*s.Member = v;
              return true;
            },
            [&](const SingleSetting& s) {
              double v = 0;
              if (!ParseReal(value, &v) || v < s.Min || v > s.Max) return false;
              p.*s.Member = static_cast<float>(v);
              return true;
            },
            [&](const FlagSetting& s) { return ParseFlag(value, &(p.*s.Member)); },
            [&](const SurvivalSetting&) {
              double v = 0;
              if (!ParseReal(value, &v) || !(v > 0.0 && v < 1.0)) return false;
              p.SetSurvivalThreshold(v);
              return true;
            },
            [&](const SelectionSetting&) {
              for (int i = 0; i < 4; ++i) {
                if (value != kSelectionNames[i]) continue;
                p.SelectionType = static_cast<TSelectionType>(i);
                return true;
              }
              return false;
            },
            [&](const FitnessMethodSetting&) {
              for (int i = 0; i < 2; ++i) {
                if (value != kFitnessMethodNames[i]) continue;
                p.SpeciesFitnessMethod = static_cast<TSpeciesFitnessMethod>(i);
                return true;
              }
              return false;
            }},
        entry.Kind);
  }
  return false;
}

std::string DescribeSettings(const TNEATPopulation& p) {
  std::string text;
  for (const SettingEntry& entry : kSettings) {
    const std::string value = std::visit(
        Overloaded{[&](const IntSetting& s) { return std::to_string(p.*s.Member); },
                   [&](const RealSetting& s) { return Show(p.*s.Member); },
                   [&](const SingleSetting& s) { return Show(p.*s.Member); },
                   [&](const FlagSetting& s) { return std::string(p.*s.Member ? "true" : "false"); },
                   [&](const SurvivalSetting&) { return Show(p.SurvivalThreshold()); },
                   [&](const SelectionSetting&) {
                     return std::string(kSelectionNames[p.SelectionType]);
                   },
                   [&](const FitnessMethodSetting&) {
                     return std::string(kFitnessMethodNames[p.SpeciesFitnessMethod]);
                   }},
        entry.Kind);
    if (!text.empty()) text += ' ';
    text += std::string(entry.Name) + "=" + value;
  }
  return text;
}

std::vector<Setting> TaskPreset(PoleTask task) {
  switch (task) {
    case PoleTask::SinglePole:
      return {};  // the engine's defaults solve it within a few generations
    case PoleTask::DoublePoleVelocities:
      // A linear controller suffices, so the search is mostly over weights: small steps,
      // rare structural changes, a small population bred by local tournament.
      return {{"PopulationSize", "30"},
              {"SelectionType", "stLocalTournament"},
              {"WeightPeturbationFactor", "0.5"},
              {"ConnectionAddChance", "0.02"},
              {"ConnectionSplitChance", "0.01"}};
    case PoleTask::DoublePoleNoVelocities:
      // Memory from the start through the output's self-connection; a species target keeps
      // the count of species near 15 instead of hundreds of one-member species.
      return {{"PopulationSize", "300"},
              {"ConnectOutputOfInitialPop", "true"},
              {"SpeciesTargetCount", "15"}};
  }
  return {};
}

PoleResult RunPoleBalancing(const PoleOptions& options) {
  const uint32_t started = GetTickCount();
  const PoleTask task = options.Task;
  const int32_t threads = std::max<int32_t>(1, options.Threads);
  SetRandSeed(options.Seed);
  // A gene taken from the pool skips the random draw a new one makes, so a run starts from an
  // empty pool: a seed gives the same run alone or after others in the same process.
  CacheHandler().Clear();

  TNEATPopulation population(nullptr);
  population.InputNodeCount = InputCount(task);
  population.OutputNodeCount = 1;
  std::vector<Setting> settings = TaskPreset(task);
  settings.insert(settings.end(), options.Settings.begin(), options.Settings.end());
  for (const auto& [name, value] : settings) {
    if (!ApplySetting(population, name, value))
      throw std::invalid_argument("bad setting " + name + "=" + value);
  }

  PoleResult result;
  result.Settings = DescribeSettings(population);
  std::vector<double> fitness;
  std::vector<int32_t> steps;
  population.OnCalculateFitness = [&](TNEATPopulation* p, TGenotype*) {
    return fitness[static_cast<size_t>(p->CurrentGenotypeIndex)];
  };

  const bool damping = task == PoleTask::DoublePoleNoVelocities;
  struct {
    std::vector<uint64_t> Genes;
    int32_t Held = 0;
    int32_t Generalization = -1;
  } tested;  // the last champion tried beyond the scoring trial
  population.ClearInnovations();
  population.CreateInitialPopulation();
  for (int32_t generation = 1; generation <= options.MaxGenerations &&
                               result.Evaluations < options.MaxEvaluations;
       ++generation) {
    const TGenotypeList& genomes = *population.GenotypeList;
    const int32_t size = genomes.Count();
    fitness.assign(static_cast<size_t>(size), 0.0);
    steps.assign(static_cast<size_t>(size), 0);
    ParallelFor(size, threads, [&](int32_t i) {
      Trial trial;
      fitness[static_cast<size_t>(i)] = TaskFitness(*genomes[i], task, &trial);
      steps[static_cast<size_t>(i)] = trial.Steps;
    });
    population.EvaluateGeneration();
    result.Generations = generation;
    result.Evaluations += size;

    TGenotype* best = population.BestIndividual;
    result.BestFitness = best->Fitness;
    result.ChampionGenes = best->GeneCount();
    result.ChampionHiddenNodes = HiddenNodes(*best);
    result.LivingSpecies = population.LivingSpeciesCount;
    std::ostringstream line;
    line << "generation " << generation << "  best fitness " << FormatFixed(best->Fitness, 4)
         << "  steps " << steps[static_cast<size_t>(genomes.IndexOf(best))] << "  species "
         << result.LivingSpecies << "  champion genes " << result.ChampionGenes << " hidden "
         << result.ChampionHiddenNodes;

    TGenotype* solver = nullptr;
    if (damping) {
      // The champion often survives unchanged as its species' elite copy: the same genes
      // give the same trials, so they are not run again.
      std::vector<uint64_t> genes = Fingerprint(*best);
      if (genes != tested.Genes) {
        tested.Genes = std::move(genes);
        tested.Held = RunTrial(*best, task, StandardStart(), kSolvedSteps).Steps;
        tested.Generalization =
            tested.Held == kSolvedSteps ? Generalization(*best, task, threads) : -1;
      }
      line << "  long run " << tested.Held;
      if (tested.Held == kSolvedSteps) {
        result.Generalization = tested.Generalization;
        line << "  generalization " << result.Generalization;
        if (result.Generalization >= kGeneralizationNeeded) solver = best;
      }
      if (solver) result.EvaluationsToSolver = result.Evaluations;
    } else {
      const auto first = std::find(steps.begin(), steps.end(), kSolvedSteps);
      if (first != steps.end()) {
        const auto index = static_cast<int32_t>(first - steps.begin());
        solver = genomes[index];
        result.EvaluationsToSolver = result.Evaluations - size + index + 1;
        result.Generalization = Generalization(*solver, task, threads);
        line << "  solver at " << index << " generalization " << result.Generalization;
      }
    }
    if (options.Log) *options.Log << line.str() << '\n';
    if (solver) {
      result.Solved = true;
      result.ChampionGenes = solver->GeneCount();
      result.ChampionHiddenNodes = HiddenNodes(*solver);
      break;
    }
    population.CreateNextGeneration();
  }
  result.WallMilliseconds = GetTickCount() - started;
  return result;
}

}  // namespace qf::pole
