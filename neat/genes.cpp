#include "neat/genes.h"

#include <algorithm>

#include "base/errors.h"
#include "neat/genotype.h"
#include "neat/population.h"
#include "neat/transfer_functions.h"

namespace qf {

TConnect::TConnect(TGenotype* genotype) : Genotype(genotype) {}

void TConnect::CopyFrom(const TConnect& other) {
  InnovationNumber = other.InnovationNumber;
  FromNode = other.FromNode;
  ToNode = other.ToNode;
  Weight = other.Weight;
  Enabled = other.Enabled;
  Delay = other.Delay;
}

void TConnect::ResetForPool() {
  Delay = 0;
  std::fill(std::begin(DelayLine), std::end(DelayLine), 0.0);
}

bool TConnect::IsValid() const {
  if (!Genotype || !Genotype->NEATPopulation) return false;
  const TNEATPopulation& p = *Genotype->NEATPopulation;
  return InnovationNumber >= 0 && InnovationNumber < p.NextInnovation && FromNode >= 0 &&
         FromNode < p.NextNodeNumber && ToNode >= 0 && ToNode < p.NextNodeNumber;
}

bool TConnect::IsRecurrent() const {
  const TNode* from = Genotype->FindNode(FromNode);
  const TNode* to = Genotype->FindNode(ToNode);
  // A connection with a missing end is not part of the network, so it cannot loop.
  if (!from || !to) return false;
  return from->Depth >= to->Depth;
}

void TConnect::SetDelay(int32_t n) { Delay = std::clamp(n, 0, kMaxDelay); }

TNode::TNode(TGenotype* genotype) : Genotype(genotype) {
  QF_ASSERT(genotype != nullptr, "No genotype supplied!");
  TransferFunction = RandomTransferFunction();
}

TNode::~TNode() { ResetForPool(); }

double TNode::Calculate() {
  QF_ASSERT(TransferFunction != nullptr, "The node has no transfer function assigned!");
  return TransferFunction->CalculateValue(this);
}

void TNode::CopyFrom(const TNode& other) {
  Number = other.Number;
  IsInput = other.IsInput;
  IsOutput = other.IsOutput;
  NoSplitFrom = other.NoSplitFrom;
  TransferFunction = other.TransferFunction;
  Genotype = other.Genotype;
  Depth = other.Depth;
  SetValue(0.0);
}

void TNode::ResetForPool() {
  Number = -1;
  Value = 0.0;
  PreviousValue = 0.0;
  NetInput = 0.0;
  IncomingConnects.Clear();
  IsInput = false;
  IsOutput = false;
  NoSplitFrom = false;
  Depth = -1.0;
  std::fill(std::begin(TransferState), std::end(TransferState), 0.0);
}

bool TNode::IsValid() const {
  if (!Genotype || !Genotype->NEATPopulation) return false;
  return Number > -1 && Number < Genotype->NEATPopulation->NextNodeNumber;
}

}  // namespace qf
