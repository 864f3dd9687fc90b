// The module quillfrost.neat: the engine's error types as Python exceptions, the process-wide
// state (random source, gene pool, transfer-function registry), and the classes of
// genotype_binding.cpp and population_binding.cpp.

#include <pybind11/stl.h>

#include <functional>
#include <limits>

#include "base/errors.h"
#include "base/random.h"
#include "base/version.h"
#include "bindings/python/binding.h"
#include "neat/gene_pool.h"
#include "neat/io/neat_io.h"
#include "neat/transfer_functions.h"

namespace qf::python {

namespace {

struct ExceptionClasses {
  PyObject* AssertionFailed;
  PyObject* ListError;
  PyObject* MathError;
  PyObject* Overflow;
  PyObject* InvalidOp;
  PyObject* Abort;
  PyObject* FormatError;
  PyObject* EngineBusy;
  PyObject* UsageError;
};
ExceptionClasses classes;

// A class of the module, kept for the life of the process.
PyObject* NewException(py::module_& m, const char* name, py::handle bases, const char* doc) {
  const std::string qualified = std::string("quillfrost.neat.") + name;
  PyObject* cls = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), nullptr);
  if (!cls) throw py::error_already_set();
  m.add_object(name, py::handle(cls));
  return cls;
}

void Raise(PyObject* cls, const char* what) { PyErr_SetString(cls, what); }

// The transfer functions a host can register by the name of their kind.
const std::pair<const char*, std::function<std::unique_ptr<TTransferFunction>()>> kKinds[] = {
    {"Sigmoid", [] { return std::make_unique<TTransferFunctionSigmoid>(); }},
    {"Gaussian", [] { return std::make_unique<TTransferFunctionGaussian>(); }},
    {"MAX", [] { return std::make_unique<TTransferFunctionMAX>(); }},
    {"MIN", [] { return std::make_unique<TTransferFunctionMIN>(); }},
    {"IF", [] { return std::make_unique<TTransferFunctionIF>(); }},
    {"1DelayGaussian", [] { return std::make_unique<TTransferFunction1DelayGaussian>(); }},
};

void RegisterKind(const std::string& name, const std::string& kind, const std::string& category) {
  for (const auto& [k, make] : kKinds) {
    if (kind == k) {
      RegisterTransferFunction(category, name, make());
      return;
    }
  }
  std::string known;
  for (const auto& [k, make] : kKinds) known += (known.empty() ? "" : ", ") + std::string(k);
  throw py::value_error("no transfer function of kind '" + kind + "'; the kinds are " + known);
}

}  // namespace

void RegisterExceptions(py::module_& m) {
  const py::handle runtimeError(PyExc_RuntimeError);
  PyObject* error = NewException(m, "Error", runtimeError,
                                 "Base of the errors the engine and this module raise.");
  const py::handle base(error);
  classes.AssertionFailed = NewException(
      m, "EAssertionFailed", base,
      "A broken invariant or a refused call: the engine's message followed by its source file "
      "and line. The message alone is in the attribute message.");
  classes.ListError =
      NewException(m, "EListError", py::make_tuple(base, py::handle(PyExc_IndexError)),
                   "A keyed list refused an element or an index was out of range.");
  classes.MathError =
      NewException(m, "EMathError", py::make_tuple(base, py::handle(PyExc_ArithmeticError)),
                   "A calculation would have yielded an infinity or not-a-number.");
  classes.Overflow =
      NewException(m, "EOverflow", py::handle(classes.MathError), "A calculation overflowed.");
  classes.InvalidOp = NewException(m, "EInvalidOp", py::handle(classes.MathError),
                                   "A calculation had no defined result.");
  classes.Abort = NewException(m, "EAbort", base, "The engine's silent abort.");
  classes.FormatError =
      NewException(m, "EFormatError", py::make_tuple(base, py::handle(PyExc_ValueError)),
                   "A genome file or checkpoint was refused; the message names the problem and "
                   "where it is. Nothing was changed.");
  classes.EngineBusy = NewException(
      m, "EEngineBusy", base,
      "Refused: the engine is running in another thread, or the population is in the middle "
      "of an operation that called the handler making this call.");
  classes.UsageError = NewException(
      m, "EUsageError", base,
      "Refused before the engine was touched: a genotype that no longer exists, or host "
      "operations out of order.");

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const EAssertionFailed& e) {
      py::object exc = py::reinterpret_borrow<py::object>(classes.AssertionFailed)(e.what());
      exc.attr("message") = e.Message();
      PyErr_SetObject(classes.AssertionFailed, exc.ptr());
    } catch (const EListError& e) {
      Raise(classes.ListError, e.what());
    } catch (const EOverflow& e) {
      Raise(classes.Overflow, e.what());
    } catch (const EInvalidOp& e) {
      Raise(classes.InvalidOp, e.what());
    } catch (const EMathError& e) {
      Raise(classes.MathError, e.what());
    } catch (const EAbort& e) {
      Raise(classes.Abort, e.what());
    } catch (const io::EFormatError& e) {
      Raise(classes.FormatError, e.what());
    } catch (const EngineBusy& e) {
      Raise(classes.EngineBusy, e.what());
    } catch (const UsageError& e) {
      Raise(classes.UsageError, e.what());
    }
  });
}

}  // namespace qf::python

PYBIND11_MODULE(neat, m) {
  namespace py = pybind11;
  using namespace qf;
  using namespace qf::python;
  using Lock = py::call_guard<EngineLock>;

  m.doc() =
      "The Quillfrost NEAT engine: a population evolved by the host's three calls "
      "(CreateInitialPopulation, then EvaluateGeneration and CreateNextGeneration per "
      "generation), genotypes run as networks, checkpoints and SVG drawings.";
  m.attr("__version__") = kVersion;

  RegisterExceptions(m);

  m.def(
      "SetRandSeed",
      [](py::int_ seed) {
        const unsigned long long v = PyLong_AsUnsignedLongLong(seed.ptr());
        if (PyErr_Occurred() || v > std::numeric_limits<uint32_t>::max()) {
          PyErr_Clear();
          throw py::value_error("the seed is an integer in 0 .. 4294967295");
        }
        SetRandSeed(static_cast<uint32_t>(v));
      },
      py::arg("seed"), Lock(),
      "Seeds the process-wide random source every draw of the engine comes from.");
  m.def("GetRandSeed", &GetRandSeed, Lock(), "The random source's state.");
  m.def("Randomize", &Randomize, Lock(), "Seeds the random source from the clock.");
  m.def(
      "GenePoolSize",
      [] {
        return py::make_tuple(CacheHandler().NodePool.Count(), CacheHandler().ConnectPool.Count());
      },
      Lock(), "(nodes, connections): the spare genes in the process-wide pool.");
  m.def(
      "ClearGenePool", [] { CacheHandler().Clear(); }, Lock(),
      "Empties the process-wide gene pool. A gene built new draws a transfer function and a "
      "pooled one does not, so a run from a seed is the same run only from an empty pool.");

  m.def("RegisterTransferFunction", &RegisterKind, py::arg("name"), py::arg("kind"),
        py::arg("category") = "Python", Lock(),
        "Registers a transfer function of a kind (Sigmoid, Gaussian, MAX, MIN, IF, "
        "1DelayGaussian) under a name. New nodes draw uniformly from the registry, which starts "
        "with Sigmoid; entries are never removed.");
  m.def(
      "TransferFunctionNames",
      [] {
        std::vector<std::string> names;
        for (int32_t i = 0; i < TransferFunctionList().Count(); ++i)
          names.push_back(TransferFunctionList().Names(i));
        return names;
      },
      Lock(), "The registry's names in registration order.");

  BindGenotype(m);
  BindPopulation(m);
}
