#pragma once
// Node and connection genes, their keyed lists and the split-innovation record. Genes are
// identified by number, not by object: a node by its node number, a connection by its
// innovation number, so genomes of one population align gene by gene.
//
// Gene objects cycle between genomes and the process-wide pool (gene_pool.h), so they are
// handled by raw pointer; only the owning genome or the pool frees them.

#include <cstdint>

#include "base/errors.h"
#include "neat/sorted_list.h"

namespace qf {

class TGenotype;
class TNode;
class TTransferFunction;

// Capacity of a connection's delay line: delays 0 .. kMaxDelay.
constexpr int32_t kMaxDelay = 5;

class TConnect {
public:
  explicit TConnect(TGenotype* genotype);
  TConnect(const TConnect&) = delete;
  TConnect& operator=(const TConnect&) = delete;

  bool Enabled = false;
  double Weight = 1.0;
  int32_t ToNode = 0;
  int32_t InnovationNumber = 0;
  int32_t FromNode = 0;
  TGenotype* Genotype = nullptr;
  TNode* SourceNode = nullptr;  // resolved by phenotype preparation
  int32_t Delay = 0;
  double DelayLine[kMaxDelay + 1] = {};  // index 0 is the oldest signal

  // Takes the gene's identity, weight, state and delay; not the wiring or the delay line.
  void CopyFrom(const TConnect& other);
  void ResetForPool();
  bool IsValid() const;

  // The signal for the target's current evaluation. Every call advances the delay line, so a
  // connection with delay d delivers the product of d + 1 evaluations ago. A product that
  // overflows throws (EOverflow) before the line moves.
  inline double Output();

  bool IsRecurrent() const;
  bool SameInnovationAs(const TConnect& other) const {
    return FromNode == other.FromNode && ToNode == other.ToNode && Delay == other.Delay;
  }
  void ToggleEnabled() { Enabled = !Enabled; }
  void SetDelay(int32_t n);

  // Variation (variation.cpp).
  TNode* MutateSplit();
  void MutateWeight();
};

class TConnectList final : public TSortedList<TConnect> {
public:
  explicit TConnectList(bool sorted) : TSortedList(sorted) {}
  uint32_t KeyOf(const TConnect* c) const override {
    return static_cast<uint32_t>(c->InnovationNumber);
  }
};

class TNode {
public:
  explicit TNode(TGenotype* genotype);
  virtual ~TNode();
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;

  int32_t Number = -1;
  double Value = 0.0;
  double PreviousValue = 0.0;
  double NetInput = 0.0;
  bool IsInput = false;
  bool IsOutput = false;
  bool NoSplitFrom = false;
  double Depth = 0.0;
  TConnectList IncomingConnects{true};  // enabled connections ending here, not owned
  TTransferFunction* TransferFunction = nullptr;
  TGenotype* Genotype = nullptr;
  double TransferState[4] = {};

  // The value the node's transfer function computes from its incoming connections.
  virtual double Calculate();

  void SetValue(double x) {
    Value = x;
    if (IsInput) PreviousValue = x;
  }
  void CopyFrom(const TNode& other);
  void ResetForPool();
  bool IsValid() const;
};

class TNodeList final : public TSortedList<TNode> {
public:
  explicit TNodeList(bool sorted) : TSortedList(sorted) {}
  uint32_t KeyOf(const TNode* n) const override { return static_cast<uint32_t>(n->Number); }
};

// Records that a connection was split in the current generation, so the same split in
// another genome receives the same numbers.
struct TSplitInnovation {
  int32_t SplitNodeNumber = 0;
  int32_t InInnovation = 0;
  int32_t SplitInnovation = 0;
  int32_t OutInnovation = 0;
};

inline double TConnect::Output() {
  const double p = CheckFinite(SourceNode->Value * Weight);
  if (Delay <= 0) return p;
  // Delay is a public field; never run past the line whatever was stored in it.
  const int32_t d = Delay < kMaxDelay ? Delay : kMaxDelay;
  const double out = DelayLine[0];
  for (int32_t i = 0; i < d; ++i) DelayLine[i] = DelayLine[i + 1];
  DelayLine[d] = p;
  return out;
}

}  // namespace qf
