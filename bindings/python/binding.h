#pragma once
// What the parts of the Python module quillfrost.neat share: the engine lock, the state kept
// beside each population, and the handles through which Python reaches genotypes.
//
// Lifetimes. The population owns its genotypes and frees a generation at the second breeding
// step after it was made, so Python never holds a genotype of the lists directly: a handle
// names it by pointer and by a serial number the population state hands out, and every use
// checks that the pair still stands. A genotype that is gone raises an error instead of
// touching freed memory, and an address reused by a newer genotype carries another serial.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "neat/genotype.h"
#include "neat/population.h"

namespace qf::python {

namespace py = pybind11;

// The engine is single-threaded: the gene pool, the random source and the transfer-function
// registry are process-wide. Every call into it holds this lock (the same thread may take it
// again, so handlers can call back into the engine). A call from another thread while it is
// held, as when a batch runs with the GIL released, raises EngineBusy instead of racing.
class EngineLock {
public:
  EngineLock();
  ~EngineLock();
  EngineLock(const EngineLock&) = delete;
  EngineLock& operator=(const EngineLock&) = delete;

  // For destructors, which must not throw: waits for the lock, without the GIL meanwhile.
  struct Wait {};
  explicit EngineLock(Wait);

private:
  std::unique_lock<std::recursive_mutex> lock_;
};

// Refused because the engine or the population is in the middle of something.
class EngineBusy : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A call Python made against the engine's rules (order of the host operations, a genotype
// that is gone), refused before the engine was touched.
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Where the host stands in the generation cycle. Breeding needs a completed evaluation; a
// failed breeding step or initial population leaves the lists half made, and only a new
// initial population or a loaded checkpoint goes on from there.
enum class Stage { Empty, Populated, Evaluated, Broken };

class PopulationState : public std::enable_shared_from_this<PopulationState> {
  std::unique_ptr<TNEATPopulation> population_ = std::make_unique<TNEATPopulation>(nullptr);

public:
  PopulationState() = default;
  // Frees the population under the engine lock: it returns its genes to the process-wide pool.
  ~PopulationState();
  PopulationState(const PopulationState&) = delete;
  PopulationState& operator=(const PopulationState&) = delete;

  TNEATPopulation& Population = *population_;

  // The Python handlers behind the population's events (None when unassigned).
  py::object OnCalculateFitness = py::none();
  py::object OnShowBestIndividual = py::none();
  py::object OnPrepareInitialGenotype = py::none();
  py::object OnGenotypeIteration = py::none();

  Stage CurrentStage = Stage::Empty;
  // While EvaluateGeneration runs, its best individual so far is the engine's.
  bool Evaluating = false;

  // Calls under way that can run the population's handlers (evaluation, initial population,
  // iteration). While any is, the host operations that free or replace genotypes, or score
  // them again, are refused: the call under way still walks them.
  int32_t Busy = 0;
  // Genotypes being iterated right now; their genes must stay where they are.
  std::vector<const TGenotype*> Iterating;

  // The serial under which Python may reach a genotype of the lists, 0 when it may not.
  uint64_t SerialOf(const TGenotype* genotype) const;
  // After a host operation: the genotypes in keep that are still in the lists keep their
  // serials, every other genotype there gets a new one.
  void Renumber(const std::vector<TGenotype*>& keep);
  // All genotypes of both lists.
  std::vector<TGenotype*> Members() const;

  // The best individual of the last evaluation while it is still reachable, else nullptr.
  TGenotype* Best() const;
  void NoteBest();

  // The Python object of this population, made anew when only handles hold it.
  py::object Self();

  // Throws EngineBusy when Busy.
  void RefuseWhileBusy(const char* operation) const;

private:
  std::unordered_map<const TGenotype*, uint64_t> serials_;
  uint64_t nextSerial_ = 1;
  uint64_t bestSerial_ = 0;
};

// Counts a call under way on a population (PopulationState::Busy), and the genotype it
// iterates, if any.
class BusyScope {
public:
  explicit BusyScope(PopulationState& state, const TGenotype* iterating = nullptr);
  ~BusyScope();
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

private:
  PopulationState& state_;
  const TGenotype* iterating_;
};

// Python's Genotype: one of the population's lists (borrowed, checked at every use), one
// Python owns (a clone, a loaded genome), or one lent to a handler for the length of the call.
class GenotypeHandle {
public:
  static std::shared_ptr<GenotypeHandle> Borrow(std::shared_ptr<PopulationState> state,
                                                TGenotype* genotype);
  static std::shared_ptr<GenotypeHandle> Own(std::shared_ptr<PopulationState> state,
                                             std::unique_ptr<TGenotype> genotype);
  // For a handler: a genotype of the lists as Borrow; any other only until EndLoan.
  static std::shared_ptr<GenotypeHandle> Lend(std::shared_ptr<PopulationState> state,
                                              TGenotype* genotype);
  void EndLoan() { loanOver_ = true; }

  // The genotype, or UsageError when it is gone.
  TGenotype& Get() const;
  bool Owned() const { return owned_ != nullptr; }
  PopulationState& State() const { return *state_; }
  const std::shared_ptr<PopulationState>& StatePtr() const { return state_; }

private:
  GenotypeHandle(std::shared_ptr<PopulationState> state, TGenotype* genotype, uint64_t serial)
      : state_(std::move(state)), genotype_(genotype), serial_(serial) {}

  std::shared_ptr<PopulationState> state_;  // keeps the population alive
  TGenotype* genotype_;
  uint64_t serial_;  // 0: owned or lent
  std::unique_ptr<TGenotype> owned_;
  bool lent_ = false;
  bool loanOver_ = false;
};

// Calls a Python handler with a genotype lent for the call.
template <class... Args>
py::object CallWithGenotype(PopulationState& state, const py::object& handler, TGenotype* genotype,
                            Args&&... args) {
  auto handle = GenotypeHandle::Lend(state.shared_from_this(), genotype);
  struct EndLoan {
    GenotypeHandle& h;
    ~EndLoan() { h.EndLoan(); }
  } end{*handle};
  return handler(state.Self(), handle, std::forward<Args>(args)...);
}

// A function for a property, called under the engine lock (properties take no call guard).
template <class F>
py::cpp_function Guarded(F&& f) {
  return py::cpp_function(std::forward<F>(f), py::call_guard<EngineLock>());
}

// Inputs of the batched path, converted to a C-ordered array of doubles.
using InputArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Runs every genotype on every case of inputs (cases x inputs, or genotypes x cases x inputs
// unless shared) without the GIL, as activate.h describes. The result has the shape
// outputShape followed by the output count. iterations: a pass count, -1, or "nodes".
py::array_t<double> RunBatch(PopulationState& state, const std::vector<TGenotype*>& genotypes,
                             const InputArray& inputs, bool shared, const py::object& iterations,
                             bool fresh, std::vector<py::ssize_t> outputShape);

// Runs f; a file it could not write raises OSError with the library's message.
template <class F>
void AsOSError(F&& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    if (typeid(e) != typeid(std::runtime_error)) throw;
    PyErr_SetString(PyExc_OSError, e.what());
    throw py::error_already_set();
  }
}

// Python's exception classes for the engine's error types, and the translation.
void RegisterExceptions(py::module_& m);

void BindGenotype(py::module_& m);
void BindPopulation(py::module_& m);

}  // namespace qf::python
