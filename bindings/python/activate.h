#pragma once
// Networks run on many cases in one call: the batched path of the Python module, plain engine
// code that runs without the GIL.
//
// A case starts either from a fresh copy of the genome (fresh: the genome is cloned, prepared,
// run and the copy's genes returned to the pool, exactly as the XOR host does, so a run scored
// this way takes the same genes from the pool and makes the same random draws as one scored
// case by case through the engine) or from where the genome's own network stands (not fresh:
// the cases run in order on the genome itself, whose state carries over from case to case and
// from call to call, as a controller driven step by step).

#include <cstdint>
#include <vector>

namespace qf {
class TGenotype;
}

namespace qf::python {

// Passes per case: Iterate(Iterations) (-1: by the population's ActivationIterations), or with
// PerNode as many passes as the genome has nodes, so that any feed-forward path reaches the
// outputs.
struct Passes {
  int32_t Iterations = -1;
  bool PerNode = false;
};

// Input and output nodes of a genome as its network will have them once prepared.
int32_t InputNodeCount(const TGenotype& genotype);
int32_t OutputNodeCount(const TGenotype& genotype);

// Runs every genotype on every case. inputs holds cases x inputCount values, the same for
// every genotype when shared, else genotypes x cases x inputCount; outputs receives
// genotypes x cases x outputCount. Every genotype must have inputCount input and outputCount
// output nodes. An engine error ends the run with the outputs written so far.
void RunCases(const std::vector<TGenotype*>& genotypes, const double* inputs, bool shared,
              int32_t cases, int32_t inputCount, int32_t outputCount, const Passes& passes,
              bool fresh, double* outputs);

}  // namespace qf::python
