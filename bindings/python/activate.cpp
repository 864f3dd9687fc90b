#include "bindings/python/activate.h"

#include <algorithm>
#include <cstddef>
#include <memory>

#include "neat/genotype.h"

namespace qf::python {

namespace {

void RunCase(TGenotype& net, const double* in, int32_t inputCount, int32_t outputCount,
             const Passes& passes, double* out) {
  for (int32_t i = 0; i < inputCount; ++i) net.SetInput(i, in[i]);
  net.Iterate(passes.PerNode ? std::max<int32_t>(1, net.NodeList.Count()) : passes.Iterations);
  for (int32_t o = 0; o < outputCount; ++o) out[o] = net.GetOutput(o);
}

// The copy's genes go back to the pool however its case ends.
struct PooledCopy {
  std::unique_ptr<TGenotype> net;
  ~PooledCopy() { net->ReleaseToCache(); }
};

}  // namespace

int32_t InputNodeCount(const TGenotype& genotype) {
  return static_cast<int32_t>(std::count_if(genotype.NodeList.begin(), genotype.NodeList.end(),
                                            [](const TNode* n) { return n->IsInput; }));
}

int32_t OutputNodeCount(const TGenotype& genotype) {
  return static_cast<int32_t>(std::count_if(genotype.NodeList.begin(), genotype.NodeList.end(),
                                            [](const TNode* n) { return n->IsOutput; }));
}

void RunCases(const std::vector<TGenotype*>& genotypes, const double* inputs, bool shared,
              int32_t cases, int32_t inputCount, int32_t outputCount, const Passes& passes,
              bool fresh, double* outputs) {
  const auto in = static_cast<size_t>(inputCount);
  const auto out = static_cast<size_t>(outputCount);
  for (size_t g = 0; g < genotypes.size(); ++g) {
    const double* caseInputs = shared ? inputs : inputs + g * static_cast<size_t>(cases) * in;
    double* caseOutputs = outputs + g * static_cast<size_t>(cases) * out;
    for (size_t c = 0; c < static_cast<size_t>(cases); ++c) {
      if (fresh) {
        PooledCopy copy{genotypes[g]->Clone()};
        copy.net->PreparePhenotype();
        RunCase(*copy.net, caseInputs + c * in, inputCount, outputCount, passes,
                caseOutputs + c * out);
      } else {
        RunCase(*genotypes[g], caseInputs + c * in, inputCount, outputCount, passes,
                caseOutputs + c * out);
      }
    }
  }
}

}  // namespace qf::python
