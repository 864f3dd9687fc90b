#pragma once
// Node activation functions and their process-wide registry. One shared instance per
// registered name; nodes only refer to it, and whatever a function must remember for a node
// lives in that node's TransferState.
//
// Exponentials are computed in long double, so saturation and overflow happen where 64-bit
// mantissa arithmetic has them. Every operation that can overflow checks its result and
// throws EOverflow at once (base/errors.h): the node keeps its value, the connections not yet
// read keep their delay lines, and the pass stops there.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qf {

class TNode;

// e^x in extended precision, within a unit or two of the last place of the 64-bit mantissa,
// several times faster than the library's expl. Overflow and underflow are the library's.
long double ExtendedExp(long double x);

class TTransferFunction {
public:
  virtual ~TTransferFunction() = default;

  std::string Name;  // set on registration

  // The node's new value; may update the node's NetInput and TransferState only.
  virtual double CalculateValue(TNode* node);

  // Sum of the incoming outputs; every incoming connection must be enabled.
  double GetSum(TNode* node);
  // Product of the enabled incoming outputs; 0 once it leaves +-1e9, and stops at 0.
  double GetMul(TNode* node);

  // The dynamic class name without namespace, as failure messages show it.
  std::string ClassName() const;
};

class TTransferFunctionSigmoid : public TTransferFunction {
public:
  double CalculateValue(TNode* node) override;
};

class TTransferFunctionGaussian : public TTransferFunction {
public:
  double CalculateValue(TNode* node) override;
};

class TTransferFunctionMAX : public TTransferFunction {
public:
  double CalculateValue(TNode* node) override;
};

class TTransferFunctionMIN : public TTransferFunction {
public:
  double CalculateValue(TNode* node) override;
};

// The first incoming connection is a condition: positive selects the sum of the connections
// from the third on (1.0 without them), otherwise the second connection (-1.0 without it).
class TTransferFunctionIF : public TTransferFunction {
public:
  double CalculateValue(TNode* node) override;
};

// A Gaussian that answers one evaluation late.
class TTransferFunction1DelayGaussian : public TTransferFunctionGaussian {
public:
  double CalculateValue(TNode* node) override;
};

// The registry: (name, instance) pairs in registration order. It is created on first access
// with "Sigmoid" as entry 0, so the engine's own function is always there, whatever the
// linker keeps of a static library. Entries live until the process ends.
class TTransferFunctionList {
public:
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  TTransferFunction* Items(int32_t index) const;  // the list error when out of range
  const std::string& Names(int32_t index) const;
  // Index of the entry with that name, letter case ignored; -1 when absent.
  int32_t IndexOf(const std::string& name) const;

private:
  friend TTransferFunctionList& TransferFunctionList();
  friend void RegisterTransferFunction(const std::string&, const std::string&,
                                       std::unique_ptr<TTransferFunction>);
  void Append(const std::string& name, std::unique_ptr<TTransferFunction> instance);

  struct Entry {
    std::string Name;
    std::unique_ptr<TTransferFunction> Instance;
  };
  std::vector<Entry> entries_;
};

TTransferFunctionList& TransferFunctionList();

// Adds a named instance. Category is the caller's grouping label and is not stored.
void RegisterTransferFunction(const std::string& category, const std::string& name,
                              std::unique_ptr<TTransferFunction> instance);

// An entry drawn uniformly (one RandomIndex draw).
TTransferFunction* RandomTransferFunction();

// The node's TransferFunction := RandomTransferFunction.
void AssignRandomTransferFunction(TNode* node);

}  // namespace qf
