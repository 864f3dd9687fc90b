#include "neat/transfer_functions.h"

#include <cxxabi.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

// 2^(j/64) for j = 0 .. 63, from the library's exp2 (correct to the last bit or nearly).
struct PowersOfTwo {
  long double value[64];
  PowersOfTwo() {
    for (int j = 0; j < 64; ++j) value[j] = std::exp2(static_cast<long double>(j) / 64);
  }
};

// 2^m for m in the normal range of the extended format. Built from its bits where the format
// is the x87 one: ldexpl costs as much as the rest of ExtendedExp together.
long double PowerOfTwo(int m) {
#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__))
  struct {
    uint64_t mantissa;
    uint16_t signAndExponent;
  } bits{0x8000000000000000ull, static_cast<uint16_t>(m + 16383)};
  long double result;
  std::memcpy(&result, &bits, 10);
  return result;
#else
  return std::ldexp(1.0L, m);
#endif
}

// The whole number kd as an integer; shifted is kd + 1.5 * 2^63, whose mantissa holds it.
int64_t WholeNumberBelowRounder([[maybe_unused]] long double shifted,
                                [[maybe_unused]] long double kd) {
#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__))
  uint64_t mantissa;
  std::memcpy(&mantissa, &shifted, sizeof mantissa);
  return static_cast<int64_t>(mantissa - 0xC000000000000000ull);
#else
  return static_cast<int64_t>(kd);
#endif
}

double Gaussian(long double s) {
  const long double x = 2.5L * s;
  return static_cast<double>(2.0L * ExtendedExp(-(x * x)) - 1.0L);
}

}  // namespace

long double ExtendedExp(long double x) {
  // Outside this band (and for not-a-number) the library decides overflow, underflow and
  // subnormal results; inside, every result is a normal extended number.
  if (!(x > -11350.0L && x < 11350.0L)) return std::exp(x);
  static const PowersOfTwo table;
  // x = (64 m + j) ln2/64 + r with |r| <= ln2/128. The high part of ln2/64 has 40 significant
  // bits, so k times it is exact for every k of this band.
  constexpr long double k64ByLn2 = 0xb8aa3b295c17f0bcp-57L;
  constexpr long double kLn2By64Hi = 0xb17217f7d2p-46L;
  constexpr long double kLn2By64Lo = -0xc21950d871319ff0p-112L;
  // Round to a whole number by adding and removing 1.5 * 2^63: nearbyintl saves and restores
  // the floating-point environment, and a cast to an integer switches the rounding mode.
  // After the addition the low mantissa bits hold k.
  constexpr long double kRounder = 0x1.8p63L;
  const long double shifted = x * k64ByLn2 + kRounder;
  const long double kd = shifted - kRounder;
  const int64_t k = WholeNumberBelowRounder(shifted, kd);
  const long double r = (x - kd * kLn2By64Hi) - kd * kLn2By64Lo;
  // Taylor to degree 7 (the remainder is below 2^-64 for |r| <= ln2/128), evaluated in
  // Estrin's order so the multiplications do not wait on one another.
  const long double r2 = r * r;
  const long double r4 = r2 * r2;
  const long double p = (1.0L + r + r2 * (1.0L / 2 + r * (1.0L / 6))) +
                        r4 * ((1.0L / 24 + r * (1.0L / 120)) +
                              r2 * (1.0L / 720 + r * (1.0L / 5040)));
  return table.value[k & 63] * p * PowerOfTwo(static_cast<int>(k >> 6));
}

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
    s = CheckFinite(s + c->Output());
  }
  node->NetInput = s;
  return s;
}

double TTransferFunction::GetMul(TNode* node) {
  double p = 1.0;
  for (TConnect* c : node->IncomingConnects) {
    if (c->Enabled) {
      p = CheckFinite(p * c->Output());  // before the cap: an overflow is not a large product
      if (std::fabs(p) > 1e9) p = 0.0;
    }
    if (p == 0.0) break;
  }
  node->NetInput = p;
  return p;
}

double TTransferFunctionSigmoid::CalculateValue(TNode* node) {
  const long double s = GetSum(node);
  // The exponential overflows the extended format for sums below about -2306.
  const long double e = CheckFinite(ExtendedExp(-4.924273L * s));
  return static_cast<double>(2.0L / (1.0L + e) - 1.0L);
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
      if (in[i]->Enabled) s = CheckFinite(s + in[i]->Output());
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
