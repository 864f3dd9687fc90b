#include "neat/io/format.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>

#include "neat/io/json_text.h"
#include "neat/io/neat_io.h"

namespace qf::io {

namespace {

// Gene numbers stay below the largest int32, so one past the highest is always a counter.
constexpr int32_t kMaxNumber = std::numeric_limits<int32_t>::max() - 1;

// -0.0 and not-a-number count as state too: the network must continue bit for bit.
bool NonZero(double v) { return v != 0.0 || std::signbit(v); }

bool HasState(const NodeRecord& n) {
  return NonZero(n.Value) || NonZero(n.PreviousValue) || NonZero(n.NetInput) ||
         std::any_of(std::begin(n.TransferState), std::end(n.TransferState), NonZero);
}

bool HasState(const ConnectRecord& c) {
  return std::any_of(std::begin(c.DelayLine), std::end(c.DelayLine), NonZero);
}

const char* KindName(const NodeRecord& n) {
  return n.IsInput ? "input" : n.IsOutput ? "output" : "hidden";
}

void WriteGenome(JsonWriter& w, const GenomeRecord& g, int indent, bool withHint) {
  const int in = indent + 1;
  w.Raw("{");
  w.Key("Fitness", in, true);
  w.Double(g.Fitness);
  w.Key("AdjustedFitness", in, false);
  w.Double(g.AdjustedFitness);
  w.Key("MaxNodeDepth", in, false);
  w.Int(g.MaxNodeDepth);
  w.Key("ExpectedOffspring", in, false);
  w.Int(g.ExpectedOffspring);
  w.Key("Tag", in, false);
  w.Int(g.Tag);
  w.Key("Prepared", in, false);
  w.Bool(g.Prepared);
  if (withHint) {
    w.Key("SpeciesHint", in, false);
    if (g.SpeciesHint < 0) w.Raw("null");
    else w.Int(g.SpeciesHint);
  }
  w.Key("Nodes", in, false);
  w.Raw("[");
  for (size_t i = 0; i < g.Nodes.size(); ++i) {
    const NodeRecord& n = g.Nodes[i];
    if (i) w.Raw(",");
    w.Newline(in + 1);
    w.Raw("[");
    w.Int(n.Number);
    w.Raw(", \"");
    w.Raw(KindName(n));
    w.Raw("\", ");
    w.String(n.TransferFunction);
    w.Raw(", ");
    w.Double(n.Depth);
    w.Raw(", ");
    w.Bool(n.NoSplitFrom);
    w.Raw("]");
  }
  if (!g.Nodes.empty()) w.Newline(in);
  w.Raw("]");
  w.Key("Connections", in, false);
  w.Raw("[");
  for (size_t i = 0; i < g.Connects.size(); ++i) {
    const ConnectRecord& c = g.Connects[i];
    if (i) w.Raw(",");
    w.Newline(in + 1);
    w.Raw("[");
    w.Int(c.InnovationNumber);
    w.Raw(", ");
    w.Int(c.FromNode);
    w.Raw(", ");
    w.Int(c.ToNode);
    w.Raw(", ");
    w.Double(c.Weight);
    w.Raw(", ");
    w.Bool(c.Enabled);
    w.Raw(", ");
    w.Int(c.Delay);
    w.Raw("]");
  }
  if (!g.Connects.empty()) w.Newline(in);
  w.Raw("]");

  const bool nodeState = std::any_of(g.Nodes.begin(), g.Nodes.end(),
                                     [](const NodeRecord& n) { return HasState(n); });
  const bool connectState = std::any_of(g.Connects.begin(), g.Connects.end(),
                                        [](const ConnectRecord& c) { return HasState(c); });
  if (nodeState || connectState) {
    w.Key("State", in, false);
    w.Raw("{");
    w.Key("Nodes", in + 1, true);
    w.Raw("[");
    bool first = true;
    for (const NodeRecord& n : g.Nodes) {
      if (!HasState(n)) continue;
      if (!first) w.Raw(",");
      first = false;
      w.Newline(in + 2);
      w.Raw("[");
      w.Int(n.Number);
      for (double v : {n.Value, n.PreviousValue, n.NetInput, n.TransferState[0],
                       n.TransferState[1], n.TransferState[2], n.TransferState[3]}) {
        w.Raw(", ");
        w.Double(v);
      }
      w.Raw("]");
    }
    w.Raw("]");
    w.Key("Connections", in + 1, false);
    w.Raw("[");
    first = true;
    for (const ConnectRecord& c : g.Connects) {
      if (!HasState(c)) continue;
      if (!first) w.Raw(",");
      first = false;
      w.Newline(in + 2);
      w.Raw("[");
      w.Int(c.InnovationNumber);
      for (double v : c.DelayLine) {
        w.Raw(", ");
        w.Double(v);
      }
      w.Raw("]");
    }
    w.Raw("]");
    w.Newline(in);
    w.Raw("}");
  }
  w.Newline(indent);
  w.Raw("}");
}

void WriteRef(JsonWriter& w, const std::optional<GenotypeRef>& ref) {
  if (!ref) {
    w.Raw("null");
    return;
  }
  w.Raw(ref->List == ListId::Current ? "[\"GenotypeList\", " : "[\"PreviousGenotypeList\", ");
  w.Int(ref->Index);
  w.Raw("]");
}

void WriteGenomeList(JsonWriter& w, const std::vector<GenomeRecord>& list, int indent) {
  w.Raw("[");
  for (size_t i = 0; i < list.size(); ++i) {
    if (i) w.Raw(",");
    w.Newline(indent + 1);
    WriteGenome(w, list[i], indent + 1, true);
  }
  if (!list.empty()) w.Newline(indent);
  w.Raw("]");
}

// ---- reading ----

// Number to position within a genome's ascending node or connection rows.
template <class Row, class Key>
const Row* FindRow(const std::vector<Row>& rows, int32_t number, Key key) {
  const auto it = std::lower_bound(rows.begin(), rows.end(), number,
                                   [&](const Row& r, int32_t n) { return key(r) < n; });
  return it != rows.end() && key(*it) == number ? &*it : nullptr;
}

int32_t NodeKey(const NodeRecord& n) { return n.Number; }
int32_t ConnectKey(const ConnectRecord& c) { return c.InnovationNumber; }

// Mutation clamps a changed weight to +-MaxLinkWeight, but new weights (the initial ones, an
// added connection's) are drawn within +-InitialWeightMagnitude and kept until mutated, a
// split's first link weighs 1, and crossover averages two weights: no run makes a larger one.
double MaxWeight(float maxLinkWeight, float initialWeightMagnitude) {
  return std::max({std::fabs(static_cast<double>(maxLinkWeight)),
                   std::fabs(static_cast<double>(initialWeightMagnitude)), 1.0});
}

// Depths run from the inputs' 0 to the outputs' 100; a split node takes the mean of its ends.
constexpr double kMaxDepth = 100.0;

std::string Plural(int32_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string NodeRange(int32_t first, int32_t count) {
  if (count == 0) return "none";
  if (count == 1) return "node " + std::to_string(first);
  return "nodes " + std::to_string(first) + " .. " + std::to_string(first + count - 1);
}

// Nodes 0 .. Inputs - 1 are the inputs, the next Outputs nodes the outputs, the rest hidden:
// the host sets and reads them by these positions, and crossover matches nodes by number.
void CheckNodeKinds(const JsonAt& nodes, const GenomeRecord& g, const GenomeShape& shape) {
  const int32_t fixed = shape.Inputs + shape.Outputs;
  const auto layout = [&] {
    return "the population's inputs are " + NodeRange(0, shape.Inputs) + ", its outputs " +
           NodeRange(shape.Inputs, shape.Outputs) + ", and all others are hidden";
  };
  for (int32_t i = 0; i < fixed; ++i) {
    if (static_cast<size_t>(i) >= g.Nodes.size() || g.Nodes[static_cast<size_t>(i)].Number != i) {
      nodes.Fail("the genome lacks node " + std::to_string(i) + "; " + layout());
    }
  }
  for (size_t i = 0; i < g.Nodes.size(); ++i) {
    const NodeRecord& n = g.Nodes[i];
    const bool input = n.Number < shape.Inputs;
    const bool output = !input && n.Number < fixed;
    if (n.IsInput != input || n.IsOutput != output) {
      nodes.At(i).At(1).Fail("node " + std::to_string(n.Number) + " is " + KindName(n) +
                             " but must be " + (input ? "input" : output ? "output" : "hidden") +
                             "; " + layout());
    }
  }
}

// Where a genome stands decides what more it must be.
enum class GenomeIn { File, List, Species };

GenomeRecord ReadGenome(const JsonAt& at, GenomeIn where, const GenomeShape& shape) {
  if (where != GenomeIn::File) {
    at.RequireObject({"Fitness", "AdjustedFitness", "MaxNodeDepth", "ExpectedOffspring", "Tag",
                      "Prepared", "SpeciesHint", "Nodes", "Connections", "State"});
  } else {
    at.RequireObject({"Fitness", "AdjustedFitness", "MaxNodeDepth", "ExpectedOffspring", "Tag",
                      "Prepared", "Nodes", "Connections", "State"});
  }
  GenomeRecord g;
  // Fitness comes from evaluation, which refuses a negative or infinite one.
  g.Fitness = at["Fitness"].Finite(0.0);
  g.AdjustedFitness = at["AdjustedFitness"].Finite(0.0);
  g.MaxNodeDepth = at["MaxNodeDepth"].Int32();
  g.ExpectedOffspring = at["ExpectedOffspring"].Int32(0, std::numeric_limits<int32_t>::max());
  g.Tag = at["Tag"].Int32();
  g.Prepared = at["Prepared"].Bool();
  // The host runs the genomes of the lists as they stand.
  if (where == GenomeIn::List && !g.Prepared) {
    at["Prepared"].Fail("a genome of the population's lists is always prepared");
  }
  if (where != GenomeIn::File) {
    const JsonAt hint = at["SpeciesHint"];
    g.SpeciesHint = hint.IsNull() ? -1 : hint.Int32(0, std::numeric_limits<int32_t>::max());
  }

  const JsonAt nodes = at["Nodes"];
  const size_t nodeCount = nodes.ArraySize();
  g.Nodes.resize(nodeCount);
  for (size_t i = 0; i < nodeCount; ++i) {
    const JsonAt row = nodes.At(i);
    row.ArraySize(5);
    NodeRecord& n = g.Nodes[i];
    n.Number = row.At(0).Int32(0, kMaxNumber);
    if (i > 0 && n.Number <= g.Nodes[i - 1].Number) {
      row.At(0).Fail(n.Number == g.Nodes[i - 1].Number
                      ? "node number " + std::to_string(n.Number) + " appears twice"
                      : "node numbers must ascend");
    }
    const std::string_view kind = row.At(1).String();
    n.IsInput = kind == "input";
    n.IsOutput = kind == "output";
    if (!n.IsInput && !n.IsOutput && kind != "hidden") {
      row.At(1).Fail("node kind \"" + std::string(kind) + "\" is not input, output or hidden");
    }
    n.TransferFunction = std::string(row.At(2).String());
    n.Depth = row.At(3).Finite(0.0, kMaxDepth);
    n.NoSplitFrom = row.At(4).Bool();
  }
  CheckNodeKinds(nodes, g, shape);
  // One level per depth, and only a split adds one: activation runs MaxNodeDepth - 1 passes
  // when the population says 0, so a larger number would only make it spin.
  const int32_t hidden = static_cast<int32_t>(nodeCount) - shape.Inputs - shape.Outputs;
  if (g.MaxNodeDepth < 2 || g.MaxNodeDepth > 2 + hidden) {
    at["MaxNodeDepth"].Fail(std::to_string(g.MaxNodeDepth) + " is not between 2 and 2 + its " +
                            Plural(hidden, "hidden node"));
  }

  const JsonAt connects = at["Connections"];
  const size_t connectCount = connects.ArraySize();
  g.Connects.resize(connectCount);
  for (size_t i = 0; i < connectCount; ++i) {
    const JsonAt row = connects.At(i);
    row.ArraySize(6);
    ConnectRecord& c = g.Connects[i];
    c.InnovationNumber = row.At(0).Int32(0, kMaxNumber);
    if (i > 0 && c.InnovationNumber <= g.Connects[i - 1].InnovationNumber) {
      row.At(0).Fail(c.InnovationNumber == g.Connects[i - 1].InnovationNumber
                      ? "innovation " + std::to_string(c.InnovationNumber) + " appears twice"
                      : "innovation numbers must ascend");
    }
    c.FromNode = row.At(1).Int32();
    c.ToNode = row.At(2).Int32();
    const NodeRecord* target = nullptr;
    for (int end : {1, 2}) {
      const int32_t node = end == 1 ? c.FromNode : c.ToNode;
      target = FindRow(g.Nodes, node, NodeKey);
      if (!target) {
        row.At(static_cast<size_t>(end)).Fail("connection " + std::to_string(c.InnovationNumber) +
                                           " leads " + (end == 1 ? "from" : "to") +
                                           " node " + std::to_string(node) +
                                           ", which the genome does not hold");
      }
    }
    if (target->IsInput) {
      row.At(2).Fail("connection " + std::to_string(c.InnovationNumber) + " leads into node " +
                     std::to_string(c.ToNode) + ", an input");
    }
    c.Weight = row.At(3).Finite();
    if (std::fabs(c.Weight) > shape.MaxWeight) {
      row.At(3).Fail("weight " + NumberText(c.Weight) + " lies beyond the population's limit of " +
                     NumberText(shape.MaxWeight) +
                     " (the largest of MaxLinkWeight, InitialWeightMagnitude and 1)");
    }
    c.Enabled = row.At(4).Bool();
    c.Delay = row.At(5).Int32(0, kMaxDelay);
  }

  // Network state may be anything a network computed, overflows included.
  if (at.Has("State")) {
    const JsonAt state = at["State"];
    state.RequireObject({"Nodes", "Connections"});
    const JsonAt nodeState = state["Nodes"];
    for (size_t i = 0, n = nodeState.ArraySize(); i < n; ++i) {
      const JsonAt row = nodeState.At(i);
      row.ArraySize(8);
      const int32_t number = row.At(0).Int32();
      auto* node = const_cast<NodeRecord*>(FindRow(g.Nodes, number, NodeKey));
      if (!node) row.At(0).Fail("state for node " + std::to_string(number) + ", which the genome does not hold");
      node->Value = row.At(1).Double();
      node->PreviousValue = row.At(2).Double();
      node->NetInput = row.At(3).Double();
      for (size_t k = 0; k < 4; ++k) node->TransferState[k] = row.At(4 + k).Double();
    }
    const JsonAt connectState = state["Connections"];
    for (size_t i = 0, n = connectState.ArraySize(); i < n; ++i) {
      const JsonAt row = connectState.At(i);
      row.ArraySize(kMaxDelay + 2);
      const int32_t innovation = row.At(0).Int32();
      auto* c = const_cast<ConnectRecord*>(FindRow(g.Connects, innovation, ConnectKey));
      if (!c) row.At(0).Fail("state for connection " + std::to_string(innovation) + ", which the genome does not hold");
      for (size_t k = 0; k <= kMaxDelay; ++k) c->DelayLine[k] = row.At(1 + k).Double();
    }
  }
  return g;
}

std::optional<GenotypeRef> ReadRef(const JsonAt& at, const PopulationRecord& p) {
  if (at.IsNull()) return std::nullopt;
  at.ArraySize(2);
  GenotypeRef ref;
  const std::string list(at.At(0).String());
  if (list == "GenotypeList") {
    ref.List = ListId::Current;
  } else if (list == "PreviousGenotypeList") {
    ref.List = ListId::Previous;
  } else {
    at.At(0).Fail("\"" + list + "\" is neither GenotypeList nor PreviousGenotypeList");
  }
  const size_t size =
      (ref.List == ListId::Current ? p.GenotypeList : p.PreviousGenotypeList).size();
  ref.Index = at.At(1).Int32(0, std::numeric_limits<int32_t>::max());
  if (static_cast<size_t>(ref.Index) >= size) {
    at.At(1).Fail("refers to genotype " + std::to_string(ref.Index) + " of " + list +
               ", which holds " + std::to_string(size));
  }
  return ref;
}

const GenomeRecord& Resolve(const PopulationRecord& p, const GenotypeRef& ref) {
  return (ref.List == ListId::Current ? p.GenotypeList
                                      : p.PreviousGenotypeList)[static_cast<size_t>(ref.Index)];
}

// The checks that need the checkpoint's counters and registry names.
void CheckGenomeAgainst(const JsonAt& at, const GenomeRecord& g, const PopulationRecord& p,
                        const std::unordered_map<std::string, int>& names) {
  for (size_t i = 0; i < g.Nodes.size(); ++i) {
    const NodeRecord& n = g.Nodes[i];
    if (n.Number >= p.NextNodeNumber) {
      const JsonAt nodes = at["Nodes"];
      nodes.At(i).Fail("node number " + std::to_string(n.Number) + " is not below NextNodeNumber " +
                    std::to_string(p.NextNodeNumber));
    }
    if (!names.count(n.TransferFunction)) {
      const JsonAt nodes = at["Nodes"];
      nodes.At(i).Fail("transfer function \"" + n.TransferFunction +
                    "\" is not among the checkpoint's TransferFunctions");
    }
  }
  for (size_t i = 0; i < g.Connects.size(); ++i) {
    if (g.Connects[i].InnovationNumber >= p.NextInnovation) {
      const JsonAt connects = at["Connections"];
      connects.At(i).Fail("innovation " + std::to_string(g.Connects[i].InnovationNumber) +
                       " is not below NextInnovation " + std::to_string(p.NextInnovation));
    }
  }
  if (g.SpeciesHint >= static_cast<int32_t>(p.Species.size())) {
    at["SpeciesHint"].Fail("species " + std::to_string(g.SpeciesHint) + " does not exist (" +
                           std::to_string(p.Species.size()) + " species)");
  }
}

// The current generation is always full; the one before is empty until the first breeding.
std::vector<GenomeRecord> ReadGenomeList(const JsonAt& at, int32_t populationSize, bool mayBeEmpty,
                                         const GenomeShape& shape) {
  const size_t n = at.ArraySize();
  if ((n != 0 || !mayBeEmpty) && n != static_cast<size_t>(populationSize)) {
    at.Fail("holds " + std::to_string(n) + " genotypes; PopulationSize is " +
            std::to_string(populationSize) +
            (mayBeEmpty ? " (a list is empty or full)" : " (the current generation is full)"));
  }
  std::vector<GenomeRecord> list;
  list.reserve(n);
  for (size_t i = 0; i < n; ++i) list.push_back(ReadGenome(at.At(i), GenomeIn::List, shape));
  return list;
}

template <class Names, class Value>
Value ReadEnum(const JsonAt& at, const Names& names) {
  const std::string_view name = at.String();
  for (size_t i = 0; i < std::size(names); ++i) {
    if (name == names[i]) return static_cast<Value>(i);
  }
  at.Fail("unknown value \"" + std::string(name) + "\"");
}

SettingsRecord ReadSettings(const JsonAt& at) {
  std::vector<std::string_view> allowed = {"SelectionType", "SpeciesFitnessMethod",
                                           "SurvivalThreshold"};
  for (const auto& e : kIntSettings) allowed.push_back(e.Name);
  for (const auto& e : kDoubleSettings) allowed.push_back(e.Name);
  for (const auto& e : kSingleSettings) allowed.push_back(e.Name);
  for (const auto& e : kBoolSettings) allowed.push_back(e.Name);
  for (const std::string_view key : at.Keys()) {
    if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
      at.Fail("unknown setting \"" + std::string(key) + "\"");
    }
  }
  SettingsRecord s;
  for (const auto& e : kIntSettings) {
    s.Ints.push_back(at[e.Name].Int32(e.Min, std::numeric_limits<int32_t>::max()));
  }
  // Infinite or not-a-number settings act like finite ones at best (a chance of "inf" is 1)
  // and otherwise turn weights and relatedness into not-a-number.
  for (const auto& e : kDoubleSettings) s.Doubles.push_back(at[e.Name].Finite());
  for (const auto& e : kSingleSettings) {
    at[e.Name].Finite();
    s.Singles.push_back(at[e.Name].Single());
  }
  for (const auto& e : kBoolSettings) s.Bools.push_back(at[e.Name].Bool());
  s.SelectionType = ReadEnum<decltype(kSelectionTypeNames), TSelectionType>(
      at["SelectionType"], kSelectionTypeNames);
  s.SpeciesFitnessMethod = ReadEnum<decltype(kSpeciesFitnessMethodNames), TSpeciesFitnessMethod>(
      at["SpeciesFitnessMethod"], kSpeciesFitnessMethodNames);
  s.SurvivalThreshold = at["SurvivalThreshold"].Double();
  if (!(s.SurvivalThreshold > 0.0 && s.SurvivalThreshold < 1.0)) {
    at["SurvivalThreshold"].Fail("must lie strictly between 0 and 1");
  }
  // A local tournament's neighbourhood must fit the ring of positions (the engine asserts it).
  const int32_t range = IntSettingOf(s, &TNEATPopulation::TournamentRange);
  const int32_t size = IntSettingOf(s, &TNEATPopulation::PopulationSize);
  if (s.SelectionType == stLocalTournament && (range < 0 || range > 2 * int64_t{size} + 1)) {
    at["TournamentRange"].Fail(std::to_string(range) + " does not fit a population of " +
                               std::to_string(size) + " (0 .. 2 x PopulationSize + 1)");
  }
  return s;
}

}  // namespace

std::string WriteGenomeText(const GenomeRecord& genome) {
  std::string text;
  JsonWriter w(text);
  w.Raw("{");
  w.Key("Format", 1, true);
  w.String(kGenomeFormat);
  w.Key("Version", 1, false);
  w.Int(kFormatVersion);
  w.Key("Genotype", 1, false);
  WriteGenome(w, genome, 1, false);
  w.Newline(0);
  w.Raw("}\n");
  return text;
}

std::string WritePopulationText(const PopulationRecord& p) {
  std::string text;
  text.reserve(4096 + 64 * (p.GenotypeList.size() + p.PreviousGenotypeList.size()) * 16);
  JsonWriter w(text);
  w.Raw("{");
  w.Key("Format", 1, true);
  w.String(kCheckpointFormat);
  w.Key("Version", 1, false);
  w.Int(kFormatVersion);
  w.Key("TransferFunctions", 1, false);
  w.Raw("[");
  for (size_t i = 0; i < p.TransferFunctions.size(); ++i) {
    if (i) w.Raw(", ");
    w.String(p.TransferFunctions[i]);
  }
  w.Raw("]");
  w.Key("RandSeed", 1, false);
  w.Int(p.RandSeed);
  w.Key("GenePool", 1, false);
  w.Raw("{\"Nodes\": ");
  w.Int(p.PooledNodes);
  w.Raw(", \"Connections\": ");
  w.Int(p.PooledConnects);
  w.Raw("}");

  w.Key("Settings", 1, false);
  w.Raw("{");
  bool first = true;
  for (size_t i = 0; i < kIntSettings.size(); ++i, first = false) {
    w.Key(kIntSettings[i].Name, 2, first);
    w.Int(p.Settings.Ints[i]);
  }
  for (size_t i = 0; i < kDoubleSettings.size(); ++i) {
    w.Key(kDoubleSettings[i].Name, 2, false);
    w.Double(p.Settings.Doubles[i]);
  }
  for (size_t i = 0; i < kSingleSettings.size(); ++i) {
    w.Key(kSingleSettings[i].Name, 2, false);
    w.Single(p.Settings.Singles[i]);
  }
  for (size_t i = 0; i < kBoolSettings.size(); ++i) {
    w.Key(kBoolSettings[i].Name, 2, false);
    w.Bool(p.Settings.Bools[i]);
  }
  w.Key("SelectionType", 2, false);
  w.String(kSelectionTypeNames[p.Settings.SelectionType]);
  w.Key("SpeciesFitnessMethod", 2, false);
  w.String(kSpeciesFitnessMethodNames[p.Settings.SpeciesFitnessMethod]);
  w.Key("SurvivalThreshold", 2, false);
  w.Double(p.Settings.SurvivalThreshold);
  w.Newline(1);
  w.Raw("}");

  const std::pair<const char*, int32_t> counters[] = {
      {"NextInnovation", p.NextInnovation},         {"NextNodeNumber", p.NextNodeNumber},
      {"NextSpeciesID", p.NextSpeciesID},           {"CurrentGeneration", p.CurrentGeneration},
      {"LivingSpeciesCount", p.LivingSpeciesCount}, {"CurrentGenotypeIndex", p.CurrentGenotypeIndex}};
  for (const auto& [name, value] : counters) {
    w.Key(name, 1, false);
    w.Int(value);
  }
  const std::pair<const char*, double> totals[] = {
      {"FitnessTotal", p.FitnessTotal},
      {"AdjustedFitnessTotal", p.AdjustedFitnessTotal},
      {"ChampionFitnessTotal", p.ChampionFitnessTotal},
      {"PreviousBestFitness", p.PreviousBestFitness}};
  for (const auto& [name, value] : totals) {
    w.Key(name, 1, false);
    w.Double(value);
  }
  w.Key("BestIndividual", 1, false);
  WriteRef(w, p.BestIndividual);

  w.Key("Species", 1, false);
  w.Raw("[");
  for (size_t i = 0; i < p.Species.size(); ++i) {
    const SpeciesRecord& s = p.Species[i];
    if (i) w.Raw(",");
    w.Newline(2);
    w.Raw("{");
    const std::pair<const char*, int32_t> ints[] = {
        {"SpeciesID", s.SpeciesID},
        {"BirthGeneration", s.BirthGeneration},
        {"MemberCount", s.MemberCount},
        {"Color", s.Color},
        {"ExpectedOffspringCount", s.ExpectedOffspringCount},
        {"LastImprovementGeneration", s.LastImprovementGeneration}};
    bool firstKey = true;
    for (const auto& [name, value] : ints) {
      w.Key(name, 3, firstKey);
      firstKey = false;
      w.Int(value);
    }
    w.Key("DeadSpecies", 3, false);
    w.Bool(s.DeadSpecies);
    const std::pair<const char*, double> reals[] = {{"FitnessSum", s.FitnessSum},
                                                    {"AdjustedFitnessSum", s.AdjustedFitnessSum},
                                                    {"SpeciesPunish", s.SpeciesPunish},
                                                    {"OldChampionFitness", s.OldChampionFitness}};
    for (const auto& [name, value] : reals) {
      w.Key(name, 3, false);
      w.Double(value);
    }
    w.Key("Champion", 3, false);
    WriteRef(w, s.Champion);
    w.Key("Genotypes", 3, false);
    w.Raw("[");
    for (size_t m = 0; m < s.Genotypes.size(); ++m) {
      if (m) w.Raw(", ");
      WriteRef(w, s.Genotypes[m]);
    }
    w.Raw("]");
    w.Key("DefiningMember", 3, false);
    if (s.DefiningMember) WriteGenome(w, *s.DefiningMember, 3, true);
    else w.Raw("null");
    w.Newline(2);
    w.Raw("}");
  }
  if (!p.Species.empty()) w.Newline(1);
  w.Raw("]");

  w.Key("GenotypeList", 1, false);
  WriteGenomeList(w, p.GenotypeList, 1);
  w.Key("PreviousGenotypeList", 1, false);
  WriteGenomeList(w, p.PreviousGenotypeList, 1);

  w.Key("Host", 1, false);
  w.Raw("{");
  first = true;
  for (const auto& [key, value] : p.Host) {
    w.Key(key, 2, first);
    first = false;
    w.String(value);
  }
  if (!p.Host.empty()) w.Newline(1);
  w.Raw("}");
  w.Newline(0);
  w.Raw("}\n");
  return text;
}

GenomeShape ShapeOf(const TNEATPopulation& p) {
  return {p.InputNodeCount, p.OutputNodeCount,
          MaxWeight(p.MaxLinkWeight, p.InitialWeightMagnitude)};
}

GenomeRecord ReadGenomeText(const std::string& text, const std::string& what,
                            const GenomeShape& shape) {
  try {
    const JsonDocument doc(text);
    const JsonAt root = doc.Root();
    CheckEnvelope(root, kGenomeFormat);
    root.RequireObject({"Format", "Version", "Genotype"});
    return ReadGenome(root["Genotype"], GenomeIn::File, shape);
  } catch (const EFormatError& e) {
    throw EFormatError(what + ": " + e.what());
  }
}

bool IsEvaluated(const PopulationRecord& p) {
  return p.BestIndividual && p.BestIndividual->List == ListId::Current &&
         Resolve(p, *p.BestIndividual).Fitness > 0.0;
}

namespace {
// Sums the engine formed in the same order; a little room in case that order ever changes.
bool SameSum(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(a, b); }

// Fitness-proportional selection draws until the weights it meets add up to a share of the
// total it is given. A total or a species' sum that its genomes do not add up to makes it spin
// on, and breeding from members of the generation the same step frees reads freed genomes;
// neither comes from a run.
void CheckBreedingState(const JsonAt& root, const PopulationRecord& p) {
  const JsonAt species = root["Species"];
  const bool bySpecies = p.Settings.SelectionType == stSpecies;
  const bool evaluated = IsEvaluated(p);
  double total = 0.0;
  for (size_t i = 0; i < p.Species.size(); ++i) {
    const SpeciesRecord& s = p.Species[i];
    if (s.Genotypes.empty()) continue;
    const JsonAt entry = species.At(i);
    if (bySpecies && (evaluated || s.ExpectedOffspringCount > 0) &&
        s.Champion->List != ListId::Current) {
      entry["Champion"].Fail(
          "the species breeds next from PreviousGenotypeList, which that breeding step frees");
    }
    double sum = 0.0;
    for (const GenotypeRef& member : s.Genotypes) sum += Resolve(p, member).AdjustedFitness;
    const JsonAt sumAt = entry["AdjustedFitnessSum"];
    if (!SameSum(sum, s.AdjustedFitnessSum)) {
      sumAt.Fail(NumberText(s.AdjustedFitnessSum) +
                 " is not the sum of its members' adjusted fitness, " + NumberText(sum));
    }
    if (s.ExpectedOffspringCount > 0 && !(sum > 0.0)) {
      sumAt.Fail("a species allotted children needs a member with an adjusted fitness above 0");
    }
    if (!s.DeadSpecies) total += s.AdjustedFitnessSum;
  }
  if (!evaluated) return;  // evaluation computes the total afresh
  if (!bySpecies) {
    total = 0.0;
    for (const GenomeRecord& g : p.GenotypeList) total += g.AdjustedFitness;
  }
  const JsonAt totalAt = root["AdjustedFitnessTotal"];
  if (!SameSum(total, p.AdjustedFitnessTotal)) {
    totalAt.Fail(NumberText(p.AdjustedFitnessTotal) + " is not the sum of the " +
                 (bySpecies ? "species'" : "genotypes'") + " adjusted fitness, " +
                 NumberText(total));
  }
  if (!(total > 0.0)) totalAt.Fail("an evaluated generation has a total above 0");
}

PopulationRecord ReadPopulation(const std::string& text) {
  const JsonDocument doc(text);
  const JsonAt root = doc.Root();
  CheckEnvelope(root, kCheckpointFormat);
  root.RequireObject({"Format", "Version", "TransferFunctions", "RandSeed", "GenePool",
                      "Settings", "NextInnovation", "NextNodeNumber", "NextSpeciesID",
                      "CurrentGeneration", "LivingSpeciesCount", "CurrentGenotypeIndex",
                      "FitnessTotal", "AdjustedFitnessTotal", "ChampionFitnessTotal",
                      "PreviousBestFitness", "BestIndividual", "Species", "GenotypeList",
                      "PreviousGenotypeList", "Host"});
  PopulationRecord p;

  const JsonAt names = root["TransferFunctions"];
  std::unordered_map<std::string, int> nameIndex;
  for (size_t i = 0, n = names.ArraySize(); i < n; ++i) {
    const std::string name(names.At(i).String());
    if (name.empty()) names.At(i).Fail("a transfer function needs a name");
    if (!nameIndex.emplace(name, static_cast<int>(i)).second) {
      names.At(i).Fail("\"" + name + "\" appears twice");
    }
    p.TransferFunctions.push_back(name);
  }
  if (p.TransferFunctions.empty()) names.Fail("the registry is never empty");

  p.RandSeed = root["RandSeed"].UInt32();
  const JsonAt pool = root["GenePool"];
  pool.RequireObject({"Nodes", "Connections"});
  p.PooledNodes = pool["Nodes"].Int32(0, kMaxPooledGenes);
  p.PooledConnects = pool["Connections"].Int32(0, kMaxPooledGenes);

  p.Settings = ReadSettings(root["Settings"]);
  const int32_t max = std::numeric_limits<int32_t>::max();
  p.NextInnovation = root["NextInnovation"].Int32(0, max);
  p.NextNodeNumber = root["NextNodeNumber"].Int32(0, max);
  p.NextSpeciesID = root["NextSpeciesID"].Int32(0, max);
  p.CurrentGeneration = root["CurrentGeneration"].Int32();
  p.LivingSpeciesCount = root["LivingSpeciesCount"].Int32(0, max);
  p.CurrentGenotypeIndex = root["CurrentGenotypeIndex"].Int32(0, p.PopulationSize() - 1);
  // Sums of fitness values, each finite and not negative.
  p.FitnessTotal = root["FitnessTotal"].Finite(0.0);
  p.AdjustedFitnessTotal = root["AdjustedFitnessTotal"].Finite(0.0);
  p.ChampionFitnessTotal = root["ChampionFitnessTotal"].Finite(0.0);
  p.PreviousBestFitness = root["PreviousBestFitness"].Finite(0.0);

  const GenomeShape shape = {
      IntSettingOf(p.Settings, &TNEATPopulation::InputNodeCount),
      IntSettingOf(p.Settings, &TNEATPopulation::OutputNodeCount),
      MaxWeight(SingleSettingOf(p.Settings, &TNEATPopulation::MaxLinkWeight),
                SingleSettingOf(p.Settings, &TNEATPopulation::InitialWeightMagnitude))};
  const JsonAt current = root["GenotypeList"];
  const JsonAt previous = root["PreviousGenotypeList"];
  p.GenotypeList = ReadGenomeList(current, p.PopulationSize(), false, shape);
  p.PreviousGenotypeList = ReadGenomeList(previous, p.PopulationSize(), true, shape);
  p.BestIndividual = ReadRef(root["BestIndividual"], p);

  const JsonAt species = root["Species"];
  const size_t speciesCount = species.ArraySize();
  p.Species.resize(speciesCount);
  for (size_t i = 0; i < speciesCount; ++i) {
    const JsonAt at = species.At(i);
    at.RequireObject({"SpeciesID", "BirthGeneration", "MemberCount", "Color",
                      "ExpectedOffspringCount", "LastImprovementGeneration", "DeadSpecies",
                      "FitnessSum", "AdjustedFitnessSum", "SpeciesPunish", "OldChampionFitness",
                      "Champion", "Genotypes", "DefiningMember"});
    SpeciesRecord& s = p.Species[i];
    s.SpeciesID = at["SpeciesID"].Int32(0, max);
    if (s.SpeciesID >= p.NextSpeciesID) {
      at["SpeciesID"].Fail("species " + std::to_string(s.SpeciesID) +
                           " is not below NextSpeciesID " + std::to_string(p.NextSpeciesID));
    }
    for (size_t k = 0; k < i; ++k) {
      if (p.Species[k].SpeciesID == s.SpeciesID) {
        at["SpeciesID"].Fail("species " + std::to_string(s.SpeciesID) + " appears twice");
      }
    }
    s.BirthGeneration = at["BirthGeneration"].Int32();
    s.MemberCount = at["MemberCount"].Int32(0, max);
    s.Color = at["Color"].Int32(0, 0xFFFFFF);  // drawn from the 24-bit colours
    s.ExpectedOffspringCount = at["ExpectedOffspringCount"].Int32(0, max);
    s.LastImprovementGeneration = at["LastImprovementGeneration"].Int32();
    s.DeadSpecies = at["DeadSpecies"].Bool();
    s.FitnessSum = at["FitnessSum"].Finite(0.0);
    s.AdjustedFitnessSum = at["AdjustedFitnessSum"].Finite(0.0);
    s.SpeciesPunish = at["SpeciesPunish"].Finite(0.0);
    s.OldChampionFitness = at["OldChampionFitness"].Finite(0.0);
    s.Champion = ReadRef(at["Champion"], p);
    const JsonAt members = at["Genotypes"];
    for (size_t m = 0, n = members.ArraySize(); m < n; ++m) {
      const JsonAt member = members.At(m);
      if (member.IsNull()) member.Fail("a member cannot be null");
      s.Genotypes.push_back(*ReadRef(member, p));
    }
    const JsonAt defining = at["DefiningMember"];
    if (!defining.IsNull()) s.DefiningMember = ReadGenome(defining, GenomeIn::Species, shape);
  }
  if (p.LivingSpeciesCount > static_cast<int32_t>(speciesCount)) {
    root["LivingSpeciesCount"].Fail(std::to_string(p.LivingSpeciesCount) +
                                    " living species, but the checkpoint holds " +
                                    std::to_string(speciesCount));
  }

  // Breeding trusts what speciation left: a species' champion and members are of one
  // generation, members come with a champion, a species allotted children has both, and the
  // allotments fit the population.
  int64_t allotted = 0;
  for (size_t i = 0; i < speciesCount; ++i) {
    const SpeciesRecord& s = p.Species[i];
    allotted += s.ExpectedOffspringCount;
    if (s.ExpectedOffspringCount > 0 && !s.DeadSpecies && (!s.Champion || s.Genotypes.empty())) {
      species.At(i).Fail("a species allotted children needs a champion and members");
    }
    if (!s.Genotypes.empty() && !s.Champion) species.At(i).Fail("members without a champion");
    for (const GenotypeRef& member : s.Genotypes) {
      if (member.List != s.Champion->List) {
        species.At(i).Fail("the champion and the members lie in different genotype lists");
      }
    }
  }
  if (allotted > p.PopulationSize()) {
    species.Fail("the species are allotted " + std::to_string(allotted) +
                 " children, more than PopulationSize " + std::to_string(p.PopulationSize()));
  }
  CheckBreedingState(root, p);

  // Now that the counters, names and species are known.
  for (size_t i = 0; i < p.GenotypeList.size(); ++i) {
    CheckGenomeAgainst(current.At(i), p.GenotypeList[i], p, nameIndex);
  }
  for (size_t i = 0; i < p.PreviousGenotypeList.size(); ++i) {
    CheckGenomeAgainst(previous.At(i), p.PreviousGenotypeList[i], p, nameIndex);
  }
  for (size_t i = 0; i < speciesCount; ++i) {
    if (!p.Species[i].DefiningMember) continue;
    const JsonAt at = species.At(i);
    CheckGenomeAgainst(at["DefiningMember"], *p.Species[i].DefiningMember, p, nameIndex);
  }

  const JsonAt host = root["Host"];
  for (const std::string_view key : host.Keys()) {
    p.Host[std::string(key)] = std::string(host[key].String());
  }
  return p;
}
}  // namespace

PopulationRecord ReadPopulationText(const std::string& text, const std::string& what) {
  try {
    return ReadPopulation(text);
  } catch (const EFormatError& e) {
    throw EFormatError(what + ": " + e.what());
  }
}

}  // namespace qf::io
