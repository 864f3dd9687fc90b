// Python's Population: every published setting by name, the events as Python handlers, the
// host operations in their order, the generation's networks run in one batched call, and
// checkpoints.

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

#include "base/errors.h"
#include "bindings/python/binding.h"
#include "neat/io/neat_io.h"
#include "neat/io/records.h"

namespace qf::python {

namespace {

// ---- Settings by name ----

std::string TypeName(const py::handle& h) { return Py_TYPE(h.ptr())->tp_name; }

int32_t ToInt32(const py::handle& h, const std::string& name) {
  if (PyBool_Check(h.ptr()) || !PyIndex_Check(h.ptr()))
    throw py::type_error(name + " takes an integer, not " + TypeName(h));
  const long long v =
      PyLong_AsLongLong(py::reinterpret_steal<py::object>(PyNumber_Index(h.ptr())).ptr());
  if ((v == -1 && PyErr_Occurred()) || v < std::numeric_limits<int32_t>::min() ||
      v > std::numeric_limits<int32_t>::max()) {
    PyErr_Clear();
    throw py::value_error(name + " must lie in -2147483648 .. 2147483647");
  }
  return static_cast<int32_t>(v);
}

double ToDouble(const py::handle& h, const std::string& name) {
  if (PyBool_Check(h.ptr()) || PyUnicode_Check(h.ptr()) || PyBytes_Check(h.ptr()))
    throw py::type_error(name + " takes a number, not " + TypeName(h));
  const double v = PyFloat_AsDouble(h.ptr());
  if (v == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    throw py::type_error(name + " takes a number, not " + TypeName(h));
  }
  return v;
}

float ToSingle(const py::handle& h, const std::string& name) {
  const double v = ToDouble(h, name);
  if (std::isfinite(v) && std::fabs(v) > FLT_MAX)
    throw py::value_error(name + " is a single-precision setting; " +
                          py::str(h).cast<std::string>() + " is beyond its range");
  return static_cast<float>(v);
}

// The double nearest the shortest decimal of the single, so 0.4f reads as 0.4, not as
// 0.4000000059604645; setting it again stores the same single.
double ShortestSingle(float v) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  double d = 0.0;
  std::from_chars(text, end, d);
  return d;
}

bool ToBool(const py::handle& h, const std::string& name) {
  if (PyBool_Check(h.ptr())) return h.ptr() == Py_True;
  if (PyIndex_Check(h.ptr())) {
    const int32_t v = ToInt32(h, name);
    if (v == 0 || v == 1) return v == 1;
  }
  throw py::type_error(name + " takes True or False, not " + py::repr(h).cast<std::string>());
}

template <size_t N>
int ToEnum(const py::handle& h, const std::string& name, const char* const (&names)[N]) {
  std::string known;
  for (size_t i = 0; i < N; ++i) known += (i ? ", " : "") + std::string(names[i]);
  if (!PyUnicode_Check(h.ptr()))
    throw py::type_error(name + " takes one of " + known + " as a string, not " + TypeName(h));
  const std::string value = h.cast<std::string>();
  for (size_t i = 0; i < N; ++i)
    if (value == names[i]) return static_cast<int>(i);
  throw py::value_error(name + " must be one of " + known + ", not '" + value + "'");
}

struct Setting {
  std::string Name;
  std::function<py::object(const TNEATPopulation&)> Get;
  std::function<void(TNEATPopulation&, const py::handle&)> Set;
};

// Every published setting under the names of the checkpoint files, in their order there.
const std::vector<Setting>& Settings() {
  static const std::vector<Setting> settings = [] {
    using P = TNEATPopulation;
    std::vector<Setting> s;
    for (const auto& e : io::kIntSettings) {
      const auto m = e.Member;
      const std::string n = e.Name;
      s.push_back({n, [m](const P& p) { return py::object(py::int_(p.*m)); },
                   [m, n](P& p, const py::handle& h) { p.*m = ToInt32(h, n); }});
    }
    for (const auto& e : io::kDoubleSettings) {
      const auto m = e.Member;
      const std::string n = e.Name;
      s.push_back({n, [m](const P& p) { return py::object(py::float_(p.*m)); },
                   [m, n](P& p, const py::handle& h) { p.*m = ToDouble(h, n); }});
    }
    for (const auto& e : io::kSingleSettings) {
      const auto m = e.Member;
      const std::string n = e.Name;
      s.push_back({n, [m](const P& p) { return py::object(py::float_(ShortestSingle(p.*m))); },
                   [m, n](P& p, const py::handle& h) { p.*m = ToSingle(h, n); }});
    }
    for (const auto& e : io::kBoolSettings) {
      const auto m = e.Member;
      const std::string n = e.Name;
      s.push_back({n, [m](const P& p) { return py::object(py::bool_(p.*m)); },
                   [m, n](P& p, const py::handle& h) { p.*m = ToBool(h, n); }});
    }
    s.push_back(
        {"SelectionType",
         [](const P& p) { return py::object(py::str(io::kSelectionTypeNames[p.SelectionType])); },
         [](P& p, const py::handle& h) {
           p.SelectionType =
               static_cast<TSelectionType>(ToEnum(h, "SelectionType", io::kSelectionTypeNames));
         }});
    s.push_back({"SpeciesFitnessMethod",
                 [](const P& p) {
                   return py::object(
                       py::str(io::kSpeciesFitnessMethodNames[p.SpeciesFitnessMethod]));
                 },
                 [](P& p, const py::handle& h) {
                   p.SpeciesFitnessMethod = static_cast<TSpeciesFitnessMethod>(
                       ToEnum(h, "SpeciesFitnessMethod", io::kSpeciesFitnessMethodNames));
                 }});
    s.push_back({"SurvivalThreshold",
                 [](const P& p) { return py::object(py::float_(p.SurvivalThreshold())); },
                 [](P& p, const py::handle& h) {
                   p.SetSurvivalThreshold(ToDouble(h, "SurvivalThreshold"));
                 }});
    return s;
  }();
  return settings;
}

// ---- Events ----

const char* const kIterationStateNames[] = {"isPreIterations", "isMidIterations",
                                            "isPostIterations"};

constexpr const char* kEvents[] = {"OnCalculateFitness", "OnShowBestIndividual",
                                   "OnPrepareInitialGenotype", "OnGenotypeIteration"};

py::object& HandlerOf(PopulationState& s, std::string_view event) {
  if (event == "OnCalculateFitness") return s.OnCalculateFitness;
  if (event == "OnShowBestIndividual") return s.OnShowBestIndividual;
  if (event == "OnPrepareInitialGenotype") return s.OnPrepareInitialGenotype;
  return s.OnGenotypeIteration;
}

// Installs the engine's event for a Python handler, or clears it. The event takes the handler
// from the state when it fires, with the GIL (a batch runs without it), and skips one the
// garbage collector has cleared meanwhile to break a cycle.
void SetHandler(PopulationState& s, std::string_view event, const py::object& handler) {
  if (!handler.is_none() && !PyCallable_Check(handler.ptr()))
    throw py::type_error(std::string(event) + " takes a callable or None");
  s.RefuseWhileBusy(("Changing " + std::string(event)).c_str());
  HandlerOf(s, event) = handler;
  TNEATPopulation& p = s.Population;
  PopulationState* state = &s;
  const bool set = !handler.is_none();
  if (event == "OnCalculateFitness") {
    p.OnCalculateFitness = !set ? TOnCalculateFitness() : [state](TNEATPopulation*, TGenotype* g) {
      py::gil_scoped_acquire gil;
      const py::object h = state->OnCalculateFitness;
      if (h.is_none()) throw UsageError("OnCalculateFitness was cleared");
      const double fitness = PyFloat_AsDouble(CallWithGenotype(*state, h, g).ptr());
      if (fitness == -1.0 && PyErr_Occurred()) throw py::error_already_set();
      return fitness;
    };
  } else if (event == "OnShowBestIndividual") {
    p.OnShowBestIndividual =
        !set ? TOnShowBestIndividual() : [state](TNEATPopulation*, TGenotype* g, bool different) {
          py::gil_scoped_acquire gil;
          if (const py::object h = state->OnShowBestIndividual; !h.is_none())
            CallWithGenotype(*state, h, g, different);
          return 0.0;
        };
  } else if (event == "OnPrepareInitialGenotype") {
    p.OnPrepareInitialGenotype =
        !set ? TOnPrepareInitialGenotype() : [state](TNEATPopulation*, TGenotype* g) {
          py::gil_scoped_acquire gil;
          if (const py::object h = state->OnPrepareInitialGenotype; !h.is_none())
            CallWithGenotype(*state, h, g);
        };
  } else {
    p.OnGenotypeIteration =
        !set ? TOnGenotypeIteration()
             : [state](TNEATPopulation*, TGenotype* g, TIterationState stage) {
                 py::gil_scoped_acquire gil;
                 if (const py::object h = state->OnGenotypeIteration; !h.is_none())
                   CallWithGenotype(*state, h, g, kIterationStateNames[stage]);
               };
  }
}

// A setting or an event by name, as the constructor takes them.
void Configure(PopulationState& s, const std::string& name, const py::handle& value) {
  for (const Setting& setting : Settings()) {
    if (setting.Name == name) {
      setting.Set(s.Population, value);
      return;
    }
  }
  for (const char* event : kEvents) {
    if (name == event) {
      SetHandler(s, event, py::reinterpret_borrow<py::object>(value));
      return;
    }
  }
  throw py::type_error("Population has no setting or event named '" + name + "'");
}

// ---- The host operations ----

// Runs at the end of the enclosing block, however it is left.
template <class F>
struct Finally {
  F f;
  ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;

std::vector<TGenotype*> Genotypes(const TGenotypeList& list) { return {list.begin(), list.end()}; }

void CreateInitialPopulation(PopulationState& s) {
  s.RefuseWhileBusy("CreateInitialPopulation");
  // It frees the current generation; the previous one stays.
  const auto keep = Genotypes(*s.Population.PreviousGenotypeList);
  s.CurrentStage = Stage::Broken;
  {
    Finally renumber{[&] { s.Renumber(keep); }};
    BusyScope busy(s);
    s.Population.CreateInitialPopulation();
  }
  s.CurrentStage = s.Population.GenotypeList->Empty() ? Stage::Empty : Stage::Populated;
}

void Evaluate(PopulationState& s) {
  s.RefuseWhileBusy("EvaluateGeneration");
  if (s.CurrentStage == Stage::Broken) {
    throw UsageError(
        "The last CreateInitialPopulation or CreateNextGeneration failed and left the "
        "generation half made: call CreateInitialPopulation or load a checkpoint");
  }
  if (s.CurrentStage == Stage::Evaluated) s.CurrentStage = Stage::Populated;
  {
    BusyScope busy(s);
    s.Evaluating = true;
    Finally done{[&] { s.Evaluating = false; }};
    s.Population.EvaluateGeneration();
  }
  s.NoteBest();
  s.CurrentStage = Stage::Evaluated;
}

void EvaluateGeneration(PopulationState& s, const py::object& fitness) {
  if (fitness.is_none()) return Evaluate(s);
  const InputArray array(fitness);
  const TGenotypeList& list = *s.Population.GenotypeList;
  if (array.ndim() != 1 || array.shape(0) != list.Count()) {
    throw py::value_error(
        Format("fitness holds one value per genotype of GenotypeList (%d)", list.Count()));
  }
  const std::vector<double> values(array.data(), array.data() + array.shape(0));
  TOnCalculateFitness& event = s.Population.OnCalculateFitness;
  TOnCalculateFitness handler = std::move(event);
  Finally restore{[&] { event = std::move(handler); }};
  event = [&values](TNEATPopulation* p, TGenotype*) {
    return values[static_cast<size_t>(p->CurrentGenotypeIndex)];
  };
  Evaluate(s);
}

void CreateNextGeneration(PopulationState& s) {
  s.RefuseWhileBusy("CreateNextGeneration");
  if (s.CurrentStage != Stage::Evaluated) {
    throw UsageError(
        "CreateNextGeneration breeds from an evaluated generation: call EvaluateGeneration "
        "first");
  }
  // The evaluated generation becomes the previous one; the one before it is freed.
  const auto keep = Genotypes(*s.Population.GenotypeList);
  s.CurrentStage = Stage::Broken;
  {
    Finally renumber{[&] { s.Renumber(keep); }};
    s.Population.CreateNextGeneration();
  }
  s.CurrentStage = Stage::Populated;
}

io::HostData LoadPopulation(PopulationState& s, const std::filesystem::path& file) {
  s.RefuseWhileBusy("LoadPopulationFile");
  io::HostData host = io::LoadPopulationFile(file, s.Population);
  s.Renumber({});
  s.NoteBest();
  const TGenotypeList& list = *s.Population.GenotypeList;
  // Saved after an evaluation, the best individual is in the generation it was chosen from.
  if (list.Empty()) {
    s.CurrentStage = Stage::Empty;
  } else {
    s.CurrentStage = list.IndexOf(s.Best()) >= 0 ? Stage::Evaluated : Stage::Populated;
  }
  return host;
}

// ---- The genotype lists ----

struct GenotypeListView {
  std::shared_ptr<PopulationState> State;
  bool Previous;

  const TGenotypeList& List() const {
    return Previous ? *State->Population.PreviousGenotypeList : *State->Population.GenotypeList;
  }
  std::shared_ptr<GenotypeHandle> At(int64_t i) const {
    const int64_t n = List().Count();
    if (i < 0) i += n;
    if (i < 0 || i >= n) throw py::index_error("genotype index out of range");
    return GenotypeHandle::Borrow(State, List()[static_cast<int32_t>(i)]);
  }
};

// The garbage collector sees the handlers a population holds, so a handler that refers back
// to its population does not keep both alive for ever.
void SetUpGarbageCollection(PyHeapTypeObject* heapType) {
  PyTypeObject* type = &heapType->ht_type;
  type->tp_flags |= Py_TPFLAGS_HAVE_GC;
  type->tp_traverse = [](PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    auto* inst = reinterpret_cast<py::detail::instance*>(self);
    const py::detail::value_and_holder vh = inst->get_value_and_holder();
    if (!vh.holder_constructed()) return 0;
    PopulationState& s = *vh.holder<std::shared_ptr<PopulationState>>();
    for (const char* event : kEvents) Py_VISIT(HandlerOf(s, event).ptr());
    return 0;
  };
  type->tp_clear = [](PyObject* self) {
    auto* inst = reinterpret_cast<py::detail::instance*>(self);
    const py::detail::value_and_holder vh = inst->get_value_and_holder();
    if (!vh.holder_constructed()) return 0;
    PopulationState& s = *vh.holder<std::shared_ptr<PopulationState>>();
    for (const char* event : kEvents) HandlerOf(s, event) = py::none();
    return 0;
  };
}

}  // namespace

void BindPopulation(py::module_& m) {
  using Lock = py::call_guard<EngineLock>;
  using S = PopulationState;

  py::class_<GenotypeListView>(m, "GenotypeListView",
                               "One of the population's genotype lists, by position.")
      .def(
          "__len__", [](const GenotypeListView& v) { return v.List().Count(); }, Lock())
      .def("__getitem__", &GenotypeListView::At, Lock())
      .def(
          "__iter__",
          [](const GenotypeListView& v) {
            py::list items;
            for (TGenotype* g : v.List()) items.append(GenotypeHandle::Borrow(v.State, g));
            return py::iter(items);
          },
          Lock());

  py::class_<S, std::shared_ptr<S>> cls(
      m, "Population", py::custom_type_setup(SetUpGarbageCollection),
      "The population component: settings and events by their published names, the host's "
      "operations, and the genotypes of the current and the previous generation.");
  cls.def(py::init([](const py::kwargs& settings) {
            auto s = std::make_shared<S>();
            for (const auto& [name, value] : settings)
              Configure(*s, name.cast<std::string>(), value);
            return s;
          }),
          "Population(**settings): the defaults, then any published setting or event given by "
          "name, e.g. Population(PopulationSize=150, SelectionType='stSpecies').");

  for (const Setting& setting : Settings()) {
    cls.def_property(
        setting.Name.c_str(), Guarded([&setting](const S& s) { return setting.Get(s.Population); }),
        Guarded([&setting](S& s, const py::object& v) { setting.Set(s.Population, v); }));
  }
  cls.def(
      "Settings",
      [](const S& s) {
        py::dict d;
        for (const Setting& setting : Settings())
          d[py::str(setting.Name)] = setting.Get(s.Population);
        return d;
      },
      Lock(), "Every published setting by name; enumerations by value name.");
  for (const char* event : kEvents) {
    cls.def_property(event, Guarded([event](S& s) { return HandlerOf(s, event); }),
                     Guarded([event](S& s, const py::object& h) { SetHandler(s, event, h); }));
  }

  cls.def(
         "ClearInnovations", [](S& s) { s.Population.ClearInnovations(); }, Lock())
      .def("CreateInitialPopulation", &CreateInitialPopulation, Lock(),
           "Replaces the current generation and every species with fresh initial genotypes.")
      .def("EvaluateGeneration", &EvaluateGeneration, py::arg("fitness") = py::none(), Lock(),
           "Scores every genotype in position order through OnCalculateFitness, or takes the "
           "scores from fitness (one per genotype of GenotypeList), then speciates.")
      .def("CreateNextGeneration", &CreateNextGeneration, Lock(),
           "Breeds the next generation from the evaluated one.")
      .def(
          "Activate",
          [](S& s, const InputArray& inputs, const py::object& iterations, bool fresh) {
            const TGenotypeList& list = *s.Population.GenotypeList;
            const bool shared = inputs.ndim() == 2;
            if ((!shared && inputs.ndim() != 3) || (!shared && inputs.shape(0) != list.Count())) {
              throw py::value_error(Format(
                  "inputs: cases x inputs for every genotype alike, or %d genotypes x cases x "
                  "inputs",
                  list.Count()));
            }
            return RunBatch(s, Genotypes(list), inputs, shared, iterations, fresh,
                            {list.Count(), inputs.shape(inputs.ndim() - 2)});
          },
          py::arg("inputs"), py::arg("iterations") = -1, py::arg("fresh") = true, Lock(),
          "Runs every genotype of GenotypeList on every case in C++, without the GIL, and "
          "returns genotypes x cases x outputs. inputs: cases x inputs, or genotypes x cases "
          "x inputs. fresh: each case on a fresh copy of the network, as the XOR example "
          "does (the genotypes are untouched); otherwise the cases run in order on each "
          "genotype's own network, its state carrying over. iterations: passes per case, -1 "
          "by ActivationIterations, or \"nodes\" for one pass per node.")
      .def_property_readonly("GenotypeList",
                             [](const std::shared_ptr<S>& s) {
                               return GenotypeListView{s, false};
                             })
      .def_property_readonly("PreviousGenotypeList",
                             [](const std::shared_ptr<S>& s) {
                               return GenotypeListView{s, true};
                             })
      .def_property_readonly("BestIndividual",
                             Guarded([](const std::shared_ptr<S>& s) -> py::object {
                               TGenotype* best = s->Best();
                               if (!best) return py::none();
                               return py::cast(GenotypeHandle::Borrow(s, best));
                             }),
                             "The best genotype of the last evaluation while it lives, else None.")
      .def_property_readonly("CurrentGenotypeIndex",
                             Guarded([](const S& s) { return s.Population.CurrentGenotypeIndex; }))
      .def_property_readonly("NextInnovation",
                             Guarded([](const S& s) { return s.Population.NextInnovation; }))
      .def_property_readonly("NextNodeNumber",
                             Guarded([](const S& s) { return s.Population.NextNodeNumber; }))
      .def_property_readonly("NextSpeciesID",
                             Guarded([](const S& s) { return s.Population.NextSpeciesID; }))
      .def_property_readonly("LivingSpeciesCount",
                             Guarded([](const S& s) { return s.Population.LivingSpeciesCount; }))
      .def_property_readonly("FitnessTotal",
                             Guarded([](const S& s) { return s.Population.FitnessTotal; }))
      .def_property_readonly("AdjustedFitnessTotal",
                             Guarded([](const S& s) { return s.Population.AdjustedFitnessTotal; }))
      .def_property("CurrentGeneration",
                    Guarded([](const S& s) { return s.Population.CurrentGeneration; }),
                    Guarded([](S& s, int32_t g) { s.Population.CurrentGeneration = g; }),
                    "Recorded in new species; the host advances it if it wants to.");

  m.def(
      "SavePopulationFile",
      [](const S& s, const std::filesystem::path& file, const io::HostData& host) {
        AsOSError([&] { io::SavePopulationFile(s.Population, file, host); });
      },
      py::arg("population"), py::arg("file"), py::arg("host") = io::HostData{}, Lock(),
      "Writes a checkpoint: the population, the random seed, the gene pool's size and the "
      "registry's names, with the host's own strings. Take it after CreateInitialPopulation "
      "or CreateNextGeneration, or after EvaluateGeneration; saving changes nothing.");
  m.def(
      "LoadPopulationFile",
      [](const std::filesystem::path& file, S& s) { return LoadPopulation(s, file); },
      py::arg("file"), py::arg("population"), Lock(),
      "Replaces the population (not its events) with a checkpoint, sets the gene pool's size "
      "and the random seed, and returns the host's strings; the run goes on exactly as the "
      "one that saved it. A refused file raises EFormatError and changes nothing.");
  m.def(
      "LoadGenotypeFile",
      [](const std::filesystem::path& file, const std::shared_ptr<S>& s, bool advanceCounters) {
        return GenotypeHandle::Own(s, io::LoadGenotypeFile(file, s->Population, {advanceCounters}));
      },
      py::arg("file"), py::arg("population"), py::arg("advance_counters") = false, Lock(),
      "A genome file as a new genotype of the population, belonging to Python. The genome's "
      "numbers must lie below the population's counters, unless advance_counters raises them.");
}

}  // namespace qf::python
