// A genome runs as a network in place: its nodes are the neurons and its enabled connections
// the synapses. Values, delay lines and transfer state carry over from one Iterate to the
// next, so a genome driven every frame behaves as a recurrent controller. Iterating
// allocates nothing; preparation builds the wiring once per change of structure.

#include "base/errors.h"
#include "neat/genotype.h"
#include "neat/population.h"

namespace qf {

namespace {
constexpr int32_t kSettlePassLimit = 20;
}

void TGenotype::PreparePhenotype() {
  InputNodes.Clear();
  OutputNodes.Clear();
  for (TNode* node : NodeList) {
    node->IncomingConnects.Clear();
    if (node->IsInput) InputNodes.Add(node);
    if (node->IsOutput) OutputNodes.Add(node);
  }
  for (TConnect* connect : ConnectList) {
    if (!connect->Enabled) continue;
    connect->SourceNode = FindNode(connect->FromNode);
    if (!connect->SourceNode) continue;
    if (TNode* target = FindNode(connect->ToNode)) target->IncomingConnects.Add(connect);
  }
  NodeEvaluationList.Assign(NodeList);
  Prepared = true;
}

void TGenotype::SetInput(int32_t index, double x) { InputNodes.Items(index)->SetValue(x); }

double TGenotype::GetOutput(int32_t index) const { return OutputNodes.Items(index)->Value; }

bool TGenotype::HasSettled() const {
  for (const TNode* node : NodeList) {
    if (node->Value != node->PreviousValue) return false;
  }
  return true;
}

void TGenotype::RaiseIterationEvent(int32_t state) {
  TNEATPopulation* p = NEATPopulation;
  if (p && p->GenotypeIterationEvent && p->OnGenotypeIteration)
    p->OnGenotypeIteration(p, this, static_cast<TIterationState>(state));
}

void TGenotype::Iterate(int32_t iterations) {
  bool untilSettled = false;
  if (iterations == -1) {
    QF_ASSERT(NEATPopulation != nullptr, "The genotype has no population!");
    const int32_t setting = NEATPopulation->ActivationIterations;
    if (setting == 0) {
      iterations = MaxNodeDepth - 1;
    } else if (setting == -1) {
      iterations = kSettlePassLimit;
      untilSettled = true;
    } else {
      iterations = setting;
    }
  }
  QF_ASSERT(iterations >= 1, "At least 1 iteration is required!");
  QF_ASSERT(Prepared, "The phenotype hasn't been prepared, can't iterate!");

  RaiseIterationEvent(isPreIterations);
  const int32_t count = NodeEvaluationList.Count();
  for (int32_t pass = 0; pass < iterations; ++pass) {
    // In place: a node evaluated later in this pass sees the new values of earlier ones. A
    // failing calculation throws before its node is written, so the pass stops with the
    // values computed so far; a host's function that returns an infinity or not-a-number
    // fails here as the built-in ones fail inside.
    for (int32_t i = 0; i < count; ++i) {
      TNode* node = NodeEvaluationList[i];
      if (!node->IsInput) node->Value = CheckFinite(node->Calculate());
    }
    if (untilSettled && HasSettled()) break;
    RaiseIterationEvent(isMidIterations);
    for (int32_t i = 0; i < count; ++i) {
      TNode* node = NodeEvaluationList[i];
      if (!node->IsInput) node->PreviousValue = node->Value;
    }
  }
  RaiseIterationEvent(isPostIterations);
}

}  // namespace qf
