#include "neat/transfer_functions.h"

#include <cxxabi.h>

#include <cmath>
#include <cstdlib>
#include <typeinfo>

#include "base/errors.h"
#include "base/random.h"
#include "neat/genes.h"

namespace qf {

namespace {

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

double Gaussian(long double s) {
  const long double x = 2.5L * s;
  return static_cast<double>(2.0L * std::exp(-(x * x)) - 1.0L);
}

}  // namespace

std::string TTransferFunction::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : mangled;
  std::free(demangled);
  const size_t colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

double TTransferFunction::CalculateValue(TNode* /*node*/) {
  QF_FAIL(Format("%s must override CalculateValue!", ClassName().c_str()));
}

double TTransferFunction::GetSum(TNode* node) {
  double s = 0.0;
  for (TConnect* c : node->IncomingConnects) {
    QF_ASSERT(c->Enabled, "Connection is not enabled!");
    s += c->Output();
  }
  node->NetInput = s;
  return s;
}

double TTransferFunction::GetMul(TNode* node) {
  double p = 1.0;
  for (TConnect* c : node->IncomingConnects) {
    if (c->Enabled) {
      p *= c->Output();
      if (std::fabs(p) > 1e9) p = 0.0;
    }
    if (p == 0.0) break;
  }
  node->NetInput = p;
  return p;
}

double TTransferFunctionSigmoid::CalculateValue(TNode* node) {
  const long double s = GetSum(node);
  return static_cast<double>(2.0L / (1.0L + std::exp(-4.924273L * s)) - 1.0L);
}

double TTransferFunctionGaussian::CalculateValue(TNode* node) { return Gaussian(GetSum(node)); }

double TTransferFunctionMAX::CalculateValue(TNode* node) {
  const TConnectList& in = node->IncomingConnects;
  if (in.Empty()) return 0.0;
  double best = in[0]->Output();
  for (int32_t i = 1; i < in.Count(); ++i) {
    const double v = in[i]->Output();
    if (v > best) best = v;
  }
  return best;
}

double TTransferFunctionMIN::CalculateValue(TNode* node) {
  const TConnectList& in = node->IncomingConnects;
  if (in.Empty()) return 0.0;
  double best = in[0]->Output();
  for (int32_t i = 1; i < in.Count(); ++i) {
    const double v = in[i]->Output();
    if (v < best) best = v;
  }
  return best;
}

double TTransferFunctionIF::CalculateValue(TNode* node) {
  const TConnectList& in = node->IncomingConnects;
  const int32_t n = in.Count();
  if (n == 0) return 0.0;
  const double condition = in[0]->Output();
  if (condition > 0.0) {
    if (n <= 2) return 1.0;
    double s = 0.0;
    for (int32_t i = 2; i < n; ++i) {
      if (in[i]->Enabled) s += in[i]->Output();
    }
    return s;
  }
  return n >= 2 ? in[1]->Output() : -1.0;
}

double TTransferFunction1DelayGaussian::CalculateValue(TNode* node) {
  const double previous = node->TransferState[0];
  node->TransferState[0] = TTransferFunctionGaussian::CalculateValue(node);
  return previous;
}

TTransferFunction* TTransferFunctionList::Items(int32_t index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
  return entries_[static_cast<size_t>(index)].Instance.get();
}

const std::string& TTransferFunctionList::Names(int32_t index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
  return entries_[static_cast<size_t>(index)].Name;
}

int32_t TTransferFunctionList::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (SameNameIgnoringCase(entries_[i].Name, name)) return static_cast<int32_t>(i);
  }
  return -1;
}

TTransferFunctionList& TransferFunctionList() {
  static TTransferFunctionList list;
  // The engine's own entry is made on first use, so no linker can drop it.
  if (list.Count() == 0) list.Append("Sigmoid", std::make_unique<TTransferFunctionSigmoid>());
  return list;
}

void TTransferFunctionList::Append(const std::string& name,
                                   std::unique_ptr<TTransferFunction> instance) {
  QF_ASSERT(IndexOf(name) < 0,
            Format("There is allready a transferfunction named %s!", name.c_str()));
  QF_ASSERT(instance != nullptr, "No transfer function supplied!");
  instance->Name = name;
  entries_.push_back({name, std::move(instance)});
}

void RegisterTransferFunction(const std::string& /*category*/, const std::string& name,
                              std::unique_ptr<TTransferFunction> instance) {
  TransferFunctionList().Append(name, std::move(instance));
}

TTransferFunction* RandomTransferFunction() {
  const TTransferFunctionList& list = TransferFunctionList();
  QF_ASSERT(list.Count() > 0, "There are no registered transfer functions!");
  return list.Items(RandomIndex(list.Count()));
}

void AssignRandomTransferFunction(TNode* node) { node->TransferFunction = RandomTransferFunction(); }

}  // namespace qf
