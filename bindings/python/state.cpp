#include "bindings/python/binding.h"

#include <algorithm>
#include <unordered_set>

namespace qf::python {

namespace {
std::recursive_mutex& EngineMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}
}  // namespace

EngineLock::EngineLock() : lock_(EngineMutex(), std::try_to_lock) {
  if (!lock_.owns_lock()) {
    throw EngineBusy(
        "The engine is busy in another thread (a batch runs there); the engine is "
        "single-threaded: call it from one thread at a time");
  }
}

EngineLock::EngineLock(Wait) : lock_(EngineMutex(), std::try_to_lock) {
  if (lock_.owns_lock()) return;
  if (PyGILState_Check()) {
    py::gil_scoped_release nogil;
    lock_.lock();
  } else {
    lock_.lock();
  }
}

EngineLock::~EngineLock() = default;

PopulationState::~PopulationState() {
  EngineLock lock{EngineLock::Wait{}};
  population_.reset();
}

uint64_t PopulationState::SerialOf(const TGenotype* genotype) const {
  const auto it = serials_.find(genotype);
  return it == serials_.end() ? 0 : it->second;
}

std::vector<TGenotype*> PopulationState::Members() const {
  std::vector<TGenotype*> all;
  for (const TGenotypeList* list :
       {Population.GenotypeList.get(), Population.PreviousGenotypeList.get()}) {
    all.insert(all.end(), list->begin(), list->end());
  }
  return all;
}

void PopulationState::Renumber(const std::vector<TGenotype*>& keep) {
  const std::unordered_set<const TGenotype*> kept(keep.begin(), keep.end());
  std::unordered_map<const TGenotype*, uint64_t> serials;
  for (TGenotype* g : Members()) {
    const uint64_t old = kept.contains(g) ? SerialOf(g) : 0;
    serials.emplace(g, old != 0 ? old : nextSerial_++);
  }
  serials_ = std::move(serials);
}

TGenotype* PopulationState::Best() const {
  TGenotype* best = Population.BestIndividual;
  if (!best) return nullptr;
  const uint64_t serial = SerialOf(best);
  return serial != 0 && (Evaluating || serial == bestSerial_) ? best : nullptr;
}

void PopulationState::NoteBest() { bestSerial_ = SerialOf(Population.BestIndividual); }

py::object PopulationState::Self() { return py::cast(shared_from_this()); }

void PopulationState::RefuseWhileBusy(const char* operation) const {
  if (Busy > 0) {
    throw EngineBusy(std::string(operation) +
                     " cannot run while the population is evaluating, building its initial "
                     "genotypes or running a network (it was called from a handler)");
  }
}

BusyScope::BusyScope(PopulationState& state, const TGenotype* iterating)
    : state_(state), iterating_(iterating) {
  ++state_.Busy;
  if (iterating_) state_.Iterating.push_back(iterating_);
}

BusyScope::~BusyScope() {
  --state_.Busy;
  if (iterating_) {
    auto& v = state_.Iterating;
    v.erase(std::find(v.begin(), v.end(), iterating_));
  }
}

std::shared_ptr<GenotypeHandle> GenotypeHandle::Borrow(std::shared_ptr<PopulationState> state,
                                                       TGenotype* genotype) {
  const uint64_t serial = state->SerialOf(genotype);
  if (serial == 0) throw UsageError("This genotype is not (yet) one of the population's lists");
  return std::shared_ptr<GenotypeHandle>(new GenotypeHandle(std::move(state), genotype, serial));
}

std::shared_ptr<GenotypeHandle> GenotypeHandle::Own(std::shared_ptr<PopulationState> state,
                                                    std::unique_ptr<TGenotype> genotype) {
  std::shared_ptr<GenotypeHandle> h(new GenotypeHandle(std::move(state), genotype.get(), 0));
  h->owned_ = std::move(genotype);
  return h;
}

std::shared_ptr<GenotypeHandle> GenotypeHandle::Lend(std::shared_ptr<PopulationState> state,
                                                     TGenotype* genotype) {
  const uint64_t serial = state->SerialOf(genotype);
  std::shared_ptr<GenotypeHandle> h(new GenotypeHandle(std::move(state), genotype, serial));
  h->lent_ = serial == 0;
  return h;
}

TGenotype& GenotypeHandle::Get() const {
  if (owned_) return *owned_;
  if (lent_) {
    if (loanOver_) {
      throw UsageError(
          "This genotype was lent to a handler for the length of the call; it is not one of "
          "the population's lists, and the handler has returned");
    }
    return *genotype_;
  }
  if (state_->SerialOf(genotype_) != serial_) {
    throw UsageError(
        "This genotype no longer exists: the population frees a generation at the second "
        "breeding step after it was made (CreateInitialPopulation and loading a checkpoint "
        "replace them all)");
  }
  return *genotype_;
}

}  // namespace qf::python
