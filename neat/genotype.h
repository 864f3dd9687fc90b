#pragma once
// The genome: node and connection genes in lists ordered by number, the fields the population
// keeps per individual, and the operations that copy, compare and release it. Activation
// (activation.cpp) runs it as a network in place; variation (variation.cpp) builds, mutates
// and crosses it.

#include <cstdint>
#include <memory>
#include <vector>

#include "neat/genes.h"

namespace qf {

class TNEATPopulation;
class TSpecies;

class TGenotype {
public:
  explicit TGenotype(TNEATPopulation* population);
  // Frees every gene outright, not into the pool.
  ~TGenotype();
  TGenotype(const TGenotype&) = delete;
  TGenotype& operator=(const TGenotype&) = delete;

  TNodeList NodeList{true};        // owned, ascending Number
  TConnectList ConnectList{true};  // owned, ascending InnovationNumber
  TNodeList InputNodes{false};     // rebuilt by PreparePhenotype
  TNodeList OutputNodes{false};
  TNodeList NodeEvaluationList{false};
  TNEATPopulation* NEATPopulation = nullptr;
  double Fitness = 0.0;
  double AdjustedFitness = 0.0;
  int32_t MaxNodeDepth = 0;
  TSpecies* SpeciesHint = nullptr;
  int32_t Tag = 0;
  bool Prepared = false;

  // Set by speciation; read-only for everybody else.
  int32_t ExpectedOffspring() const { return expectedOffspring_; }
  void SetExpectedOffspring(int32_t n) { expectedOffspring_ = n; }

  // A new unprepared genome of the same population holding a copy of this one.
  std::unique_ptr<TGenotype> Clone() const;
  // Copies into an empty target; the copy has fresh network state and must be prepared.
  void CopyTo(TGenotype& target) const;
  // Returns every gene to the pool; the genome is empty and unprepared afterwards.
  void ReleaseToCache();

  TNode* FindNode(int32_t number) const {
    return NodeList.Find(static_cast<uint32_t>(number));
  }
  TConnect* FindConnect(int32_t innovation) const {
    return ConnectList.Find(static_cast<uint32_t>(innovation));
  }
  // Uniform over NodeList; with excludeInputs, redrawn while an input node comes up.
  TNode* GetRandomNode(bool excludeInputs);
  // Uniform over ConnectList, or nullptr when there is none.
  TConnect* GetRandomConnect();
  // Any connection from -> to, enabled or not, whatever its delay.
  bool HasConnection(int32_t fromNode, int32_t toNode) const;
  // Enabled connections plus nodes.
  int32_t GeneCount() const;
  bool IsSameAs(const TGenotype& other) const;

  // Activation (activation.cpp). Call order: SetInput for each input, Iterate(-1), GetOutput.
  void PreparePhenotype();
  void SetInput(int32_t index, double x);
  // -1 takes the pass count from the population's ActivationIterations.
  void Iterate(int32_t iterations);
  double GetOutput(int32_t index) const;
  bool HasSettled() const;

  // Variation (variation.cpp).
  void BuildInitial(int32_t inputCount, int32_t outputCount);
  void Mutate();
  void AddRandomConnection();
  void Crossover(const TGenotype* mother, const TGenotype* father);
  double Relatedness(const TGenotype& other) const;

  // Adds a gene taken from the pool; a refused gene goes back to the pool before the error
  // propagates, so nothing is lost.
  void AddNode(TNode* node);
  void AddConnect(TConnect* connect);

private:
  // The connection a split mutation picks, or nullptr.
  TConnect* ChooseConnectToSplit();
  void RaiseIterationEvent(int32_t state);

  int32_t expectedOffspring_ = 0;
};

// A list of genotype references. An owning list frees its genotypes when they are deleted
// from it or when it is cleared or destroyed; a reference list never does.
class TGenotypeList {
public:
  explicit TGenotypeList(bool ownsObjects) : ownsObjects_(ownsObjects) {}
  ~TGenotypeList() { Clear(); }
  TGenotypeList(const TGenotypeList&) = delete;
  TGenotypeList& operator=(const TGenotypeList&) = delete;

  bool OwnsObjects() const { return ownsObjects_; }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  TGenotype* operator[](int32_t index) const { return items_[static_cast<size_t>(index)]; }
  TGenotype* Items(int32_t index) const;  // the list error when out of range
  int32_t IndexOf(const TGenotype* genotype) const;

  // Appends a reference (reference lists only).
  int32_t Add(TGenotype* genotype);
  // Appends and takes ownership (owning lists only).
  int32_t Add(std::unique_ptr<TGenotype> genotype);

  void Delete(int32_t index);
  // Removes the entry without freeing it; the caller takes over an owned genotype.
  std::unique_ptr<TGenotype> Extract(int32_t index);
  void Exchange(int32_t i, int32_t j);
  void Clear();

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

private:
  bool ownsObjects_;
  std::vector<TGenotype*> items_;
};

}  // namespace qf
