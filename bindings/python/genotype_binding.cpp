// Python's Genotype: a genome and the network it runs as, its genes as read-only snapshots,
// the batched runner both classes use, and genome files and drawings.

#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <limits>

#include "base/errors.h"
#include "bindings/python/activate.h"
#include "bindings/python/binding.h"
#include "neat/io/neat_io.h"
#include "neat/io/svg.h"
#include "neat/transfer_functions.h"

namespace qf::python {

namespace {

// Read-only copies of the genes: a gene object moves between genomes and the pool, so Python
// never holds one.
struct NodeGene {
  int32_t Number;
  bool IsInput, IsOutput, NoSplitFrom;
  double Depth;
  std::string TransferFunction;
  double Value, PreviousValue;
};

struct ConnectGene {
  int32_t InnovationNumber, FromNode, ToNode;
  double Weight;
  bool Enabled;
  int32_t Delay;
};

std::vector<NodeGene> NodeGenes(const TGenotype& g) {
  std::vector<NodeGene> genes;
  for (const TNode* n : g.NodeList) {
    genes.push_back({n->Number, n->IsInput, n->IsOutput, n->NoSplitFrom, n->Depth,
                     n->TransferFunction ? n->TransferFunction->Name : std::string(), n->Value,
                     n->PreviousValue});
  }
  return genes;
}

std::vector<ConnectGene> ConnectGenes(const TGenotype& g) {
  std::vector<ConnectGene> genes;
  for (const TConnect* c : g.ConnectList) {
    genes.push_back({c->InnovationNumber, c->FromNode, c->ToNode, c->Weight, c->Enabled, c->Delay});
  }
  return genes;
}

// Runs f on the genotype counted as iterating: a handler it raises may not release its genes.
template <class F>
auto WhileIterating(GenotypeHandle& h, F&& f) {
  TGenotype& g = h.Get();
  BusyScope busy(h.State(), &g);
  return f(g);
}

int32_t Index32(py::ssize_t n, const char* what) {
  if (n > std::numeric_limits<int32_t>::max())
    throw py::value_error(std::string("too many ") + what);
  return static_cast<int32_t>(n);
}

Passes ParsePasses(const py::object& iterations) {
  static const char* const kUsage =
      "iterations is a pass count, -1, or \"nodes\" (a pass per node)";
  Passes passes;
  if (py::isinstance<py::str>(iterations)) {
    if (iterations.cast<std::string>() != "nodes") throw py::value_error(kUsage);
    passes.PerNode = true;
  } else if (PyIndex_Check(iterations.ptr()) && !PyBool_Check(iterations.ptr())) {
    const long long n = PyLong_AsLongLong(iterations.ptr());
    if ((n == -1 && PyErr_Occurred()) || n < std::numeric_limits<int32_t>::min() ||
        n > std::numeric_limits<int32_t>::max()) {
      PyErr_Clear();
      throw py::value_error(kUsage);
    }
    passes.Iterations = static_cast<int32_t>(n);
  } else {
    throw py::type_error(kUsage);
  }
  return passes;
}

}  // namespace

py::array_t<double> RunBatch(PopulationState& state, const std::vector<TGenotype*>& genotypes,
                             const InputArray& inputs, bool shared, const py::object& iterations,
                             bool fresh, std::vector<py::ssize_t> outputShape) {
  const Passes passes = ParsePasses(iterations);
  const py::ssize_t ndim = inputs.ndim();
  const int32_t inputCount = Index32(inputs.shape(ndim - 1), "inputs");
  const int32_t cases = Index32(inputs.shape(ndim - 2), "cases");
  int32_t outputCount = state.Population.OutputNodeCount;
  for (size_t i = 0; i < genotypes.size(); ++i) {
    const TGenotype& g = *genotypes[i];
    const int32_t in = InputNodeCount(g);
    const int32_t out = OutputNodeCount(g);
    if (i == 0) outputCount = out;
    if (in != inputCount) {
      throw py::value_error(
          Format("the inputs have %d values per case, genotype %zu has %d input nodes", inputCount,
                 i, in));
    }
    if (out != outputCount) {
      throw py::value_error(
          Format("genotype %zu has %d output nodes, genotype 0 has %d", i, out, outputCount));
    }
    // Checked before anything runs, so that a refused batch changes no network.
    if (!fresh) QF_ASSERT(g.Prepared, "The phenotype hasn't been prepared, can't iterate!");
  }
  outputShape.push_back(outputCount);
  py::array_t<double> outputs(outputShape);
  const double* in = inputs.data();
  double* out = outputs.mutable_data();
  {
    BusyScope busy(state);
    py::gil_scoped_release nogil;
    RunCases(genotypes, in, shared, cases, inputCount, outputCount, passes, fresh, out);
  }
  return outputs;
}

void BindGenotype(py::module_& m) {
  using Lock = py::call_guard<EngineLock>;
  using H = GenotypeHandle;

  py::class_<NodeGene>(m, "NodeGene", "A node gene as it stood when read.")
      .def_readonly("Number", &NodeGene::Number)
      .def_readonly("IsInput", &NodeGene::IsInput)
      .def_readonly("IsOutput", &NodeGene::IsOutput)
      .def_readonly("NoSplitFrom", &NodeGene::NoSplitFrom)
      .def_readonly("Depth", &NodeGene::Depth)
      .def_readonly("TransferFunction", &NodeGene::TransferFunction)
      .def_readonly("Value", &NodeGene::Value)
      .def_readonly("PreviousValue", &NodeGene::PreviousValue)
      .def("__repr__", [](const NodeGene& n) {
        return Format("NodeGene(Number=%d, %s, TransferFunction='%s', Depth=%g, Value=%g)",
                      n.Number,
                      n.IsInput    ? "input"
                      : n.IsOutput ? "output"
                                   : "hidden",
                      n.TransferFunction.c_str(), n.Depth, n.Value);
      });
  py::class_<ConnectGene>(m, "ConnectGene", "A connection gene as it stood when read.")
      .def_readonly("InnovationNumber", &ConnectGene::InnovationNumber)
      .def_readonly("FromNode", &ConnectGene::FromNode)
      .def_readonly("ToNode", &ConnectGene::ToNode)
      .def_readonly("Weight", &ConnectGene::Weight)
      .def_readonly("Enabled", &ConnectGene::Enabled)
      .def_readonly("Delay", &ConnectGene::Delay)
      .def("__repr__", [](const ConnectGene& c) {
        return Format("ConnectGene(InnovationNumber=%d, %d -> %d, Weight=%g, %s, Delay=%d)",
                      c.InnovationNumber, c.FromNode, c.ToNode, c.Weight,
                      c.Enabled ? "enabled" : "disabled", c.Delay);
      });

  py::class_<H, std::shared_ptr<H>>(
      m, "Genotype",
      "A genome and its network. A genotype of the population's lists belongs to the "
      "population and lives through its own evaluation and one breeding step; one made by "
      "Clone or LoadGenotypeFile belongs to Python.")
      .def_property_readonly("Fitness", Guarded([](const H& h) { return h.Get().Fitness; }))
      .def_property_readonly("AdjustedFitness",
                             Guarded([](const H& h) { return h.Get().AdjustedFitness; }))
      .def_property_readonly("MaxNodeDepth",
                             Guarded([](const H& h) { return h.Get().MaxNodeDepth; }))
      .def_property_readonly("ExpectedOffspring",
                             Guarded([](const H& h) { return h.Get().ExpectedOffspring(); }))
      .def_property_readonly("Prepared", Guarded([](const H& h) { return h.Get().Prepared; }))
      .def_property("Tag", Guarded([](const H& h) { return h.Get().Tag; }),
                    Guarded([](const H& h, int32_t tag) { h.Get().Tag = tag; }))
      .def_property_readonly("NodeList", Guarded([](const H& h) { return NodeGenes(h.Get()); }))
      .def_property_readonly("ConnectList",
                             Guarded([](const H& h) { return ConnectGenes(h.Get()); }))
      .def_property_readonly("NodeCount",
                             Guarded([](const H& h) { return h.Get().NodeList.Count(); }))
      .def_property_readonly("InputNodeCount",
                             Guarded([](const H& h) { return InputNodeCount(h.Get()); }))
      .def_property_readonly("OutputNodeCount",
                             Guarded([](const H& h) { return OutputNodeCount(h.Get()); }))
      .def_property_readonly("Owned", &H::Owned, "True for a genotype that belongs to Python.")
      .def(
          "GeneCount", [](const H& h) { return h.Get().GeneCount(); }, Lock(),
          "Enabled connections plus nodes.")
      .def(
          "IsSameAs", [](const H& h, const H& other) { return h.Get().IsSameAs(other.Get()); },
          py::arg("other"), Lock())
      .def(
          "Clone", [](const H& h) { return H::Own(h.StatePtr(), h.Get().Clone()); }, Lock(),
          "A copy that belongs to Python, with genes from the gene pool and a fresh network; "
          "prepare it before running it.")
      .def(
          "PreparePhenotype",
          [](const H& h) {
            TGenotype& g = h.Get();
            const auto& it = h.State().Iterating;
            if (std::find(it.begin(), it.end(), &g) != it.end())
              throw EngineBusy("A genotype cannot be prepared while it is running");
            g.PreparePhenotype();
          },
          Lock(), "Wires the network; needed after the genome is built or copied.")
      .def(
          "ReleaseToCache",
          [](const H& h) {
            if (!h.Owned()) {
              throw UsageError(
                  "Only a genotype that belongs to Python (a clone, a loaded genome) "
                  "may give its genes back; this one belongs to the population");
            }
            TGenotype& g = h.Get();
            const auto& it = h.State().Iterating;
            if (std::find(it.begin(), it.end(), &g) != it.end())
              throw EngineBusy("A genotype cannot release its genes while it is running");
            g.ReleaseToCache();
          },
          Lock(), "Returns the genes to the gene pool; the genotype is empty afterwards.")
      .def(
          "SetInput", [](const H& h, int32_t index, double x) { h.Get().SetInput(index, x); },
          py::arg("index"), py::arg("x"), Lock())
      .def(
          "Iterate",
          [](H& h, int32_t iterations) {
            WhileIterating(h, [&](TGenotype& g) { g.Iterate(iterations); });
          },
          py::arg("iterations") = -1, Lock(),
          "Runs activation passes: -1 as the population's ActivationIterations says, or "
          "exactly that many.")
      .def(
          "GetOutput", [](const H& h, int32_t index) { return h.Get().GetOutput(index); },
          py::arg("index"), Lock())
      .def(
          "HasSettled", [](const H& h) { return h.Get().HasSettled(); }, Lock())
      .def(
          "Activate",
          [](H& h, const InputArray& inputs, const py::object& iterations, bool fresh) {
            if (inputs.ndim() != 1 && inputs.ndim() != 2)
              throw py::value_error("inputs: one case (inputs) or cases x inputs");
            const bool oneCase = inputs.ndim() == 1;
            const InputArray cases =
                oneCase ? InputArray(py::array(inputs).reshape({py::ssize_t{1}, inputs.shape(0)}))
                        : inputs;
            std::vector<py::ssize_t> shape;
            if (!oneCase) shape.push_back(inputs.shape(0));
            return WhileIterating(h, [&](TGenotype& g) {
              return RunBatch(h.State(), {&g}, cases, true, iterations, fresh, shape);
            });
          },
          py::arg("inputs"), py::arg("iterations") = -1, py::arg("fresh") = true, Lock(),
          "Sets the inputs, iterates and reads the outputs, for one case (inputs) or for each "
          "case (cases x inputs). fresh: each case on a fresh copy of the network; otherwise "
          "in order on this network, its state carrying over. iterations: passes per case, -1 "
          "by ActivationIterations, or \"nodes\" for one pass per node.")
      .def(
          "__eq__",
          [](const H& a, const py::object& b) -> py::object {
            if (!py::isinstance<H>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
            return py::bool_(&a.Get() == &b.cast<const H&>().Get());
          },
          Lock())
      .def(
          "__hash__", [](const H& h) { return std::hash<const TGenotype*>()(&h.Get()); }, Lock())
      .def(
          "__repr__",
          [](const H& h) {
            const TGenotype& g = h.Get();
            return Format("<Genotype%s: %d nodes, %d connections, Fitness %g>",
                          h.Owned() ? " (Python's)" : "", g.NodeList.Count(), g.ConnectList.Count(),
                          g.Fitness);
          },
          Lock());

  m.def(
      "SaveGenotypeFile",
      [](const H& h, const std::filesystem::path& file) {
        AsOSError([&] { io::SaveGenotypeFile(h.Get(), file); });
      },
      py::arg("genotype"), py::arg("file"), Lock(),
      "Writes the genome file: genes, fitness and network state.");
  using Names = std::vector<std::string>;
  const auto svgOptions = [](std::string title, bool legend, Names inputs, Names outputs) {
    io::SvgOptions o;
    o.Title = std::move(title);
    o.Legend = legend;
    o.InputNames = std::move(inputs);
    o.OutputNames = std::move(outputs);
    return o;
  };
  m.def(
      "DrawGenotypeSvg",
      [svgOptions](const H& h, std::string title, bool legend, Names inputs, Names outputs) {
        return io::DrawGenotypeSvg(h.Get(), svgOptions(title, legend, inputs, outputs));
      },
      py::arg("genotype"), py::arg("title") = "", py::arg("legend") = true,
      py::arg("input_names") = Names{}, py::arg("output_names") = Names{}, Lock(),
      "The genome drawn as an SVG picture; input_names and output_names label the inputs and "
      "outputs by position.");
  m.def(
      "WriteGenotypeSvg",
      [svgOptions](const H& h, const std::filesystem::path& file, std::string title, bool legend,
                   Names inputs, Names outputs) {
        AsOSError([&] {
          io::WriteGenotypeSvg(h.Get(), file, svgOptions(title, legend, inputs, outputs));
        });
      },
      py::arg("genotype"), py::arg("file"), py::arg("title") = "", py::arg("legend") = true,
      py::arg("input_names") = Names{}, py::arg("output_names") = Names{}, Lock());
}

}  // namespace qf::python
