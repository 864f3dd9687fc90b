#include "base/numbers.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/errors.h"

namespace qf {

double RoundHalfEven(double x) {
  // nearbyint follows the current rounding mode; nobody in the program changes it.
  return std::nearbyint(x);
}

int32_t RoundToInt(double x) { return static_cast<int32_t>(RoundHalfEven(x)); }

std::string FormatFixed(double value, int decimals) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  return Format("%.*f", decimals, value);
}

std::string FormatFloat(const char* picture, double value) {
  const char* point = std::strchr(picture, '.');
  const size_t intLen = point ? static_cast<size_t>(point - picture) : std::strlen(picture);
  int minInt = 0;
  for (size_t i = 0; i < intLen; ++i) minInt += picture[i] == '0';
  int minDec = 0, maxDec = 0;
  if (point) {
    for (const char* p = point + 1; *p; ++p) {
      if (*p == '0') minDec = ++maxDec;
      else if (*p == '#') ++maxDec;
    }
  }
  if (!std::isfinite(value)) return FormatFixed(value, maxDec);

  // Round half away from zero at the last decimal place.
  const double scale = std::pow(10.0, maxDec);
  const double scaled = std::round(std::fabs(value) * scale);
  std::string digits = Format("%.0f", scaled);
  if (static_cast<int>(digits.size()) <= maxDec) digits.insert(0, maxDec + 1 - digits.size(), '0');
  std::string intPart = digits.substr(0, digits.size() - maxDec);
  std::string decPart = digits.substr(digits.size() - maxDec);
  while (static_cast<int>(decPart.size()) > minDec && decPart.back() == '0') decPart.pop_back();
  // Leading zeros of the integer part only where the picture forces them.
  size_t strip = 0;
  while (strip < intPart.size() && intPart[strip] == '0' &&
         static_cast<int>(intPart.size() - strip) > minInt)
    ++strip;
  intPart.erase(0, strip);

  std::string out = (value < 0 && scaled != 0) ? "-" : "";
  out += intPart;
  if (!decPart.empty()) out += "." + decPart;
  return out;
}

namespace detail {

namespace {

// The fewest significant digits (1 to maxDigits) that read back to `value`, laid out as
// std::to_chars would. At each count the correctly rounded digits are the candidate; at a power
// of two, whose gap to the number below is half the gap above, the next digits up may read back
// where those do not.
template <class T>
void AppendShortestByPrintf(std::string& out, T value, int maxDigits,
                            T (*read)(const char*, char**), bool scientificOnly) {
  if (!std::isfinite(value)) {
    out += std::isnan(value) ? (std::signbit(value) ? "-nan" : "nan") : value < 0 ? "-inf" : "inf";
    return;
  }
  if (value == 0) {
    out += std::signbit(value) ? "-0" : "0";
    if (scientificOnly) out += "e+00";
    return;
  }
  int binaryExponent = 0;
  const bool powerOfTwo = std::fabs(std::frexp(value, &binaryExponent)) == static_cast<T>(0.5);
  const bool negative = std::signbit(value);
  std::string digits;
  int exponent = 0;
  // Reads "d.ddd" digits times 10^exponent with the sign of value.
  auto readsBack = [&](const std::string& d, int e) {
    const std::string text = (negative ? "-" : "") + d.substr(0, 1) + "." + d.substr(1) + "e" +
                             std::to_string(e);
    return read(text.c_str(), nullptr) == value;
  };
  for (int count = 1; count <= maxDigits; ++count) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*e", count - 1, std::fabs(static_cast<double>(value)));
    digits.clear();
    const char* p = text;
    for (; *p != 'e'; ++p)
      if (*p != '.') digits += *p;
    exponent = std::atoi(p + 1);
    if (readsBack(digits, exponent)) break;
    if (!powerOfTwo) continue;
    std::string up = digits;
    int upExponent = exponent;
    size_t i = up.size();
    while (i > 0 && up[i - 1] == '9') up[--i] = '0';
    if (i == 0) {
      up[0] = '1';
      ++upExponent;
    } else {
      ++up[i - 1];
    }
    if (readsBack(up, upExponent)) {
      digits = up;
      exponent = upExponent;
      break;
    }
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int n = static_cast<int>(digits.size());

  std::string scientific = digits.substr(0, 1);
  if (n > 1) scientific += "." + digits.substr(1);
  char tail[16];
  std::snprintf(tail, sizeof tail, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  scientific += tail;

  std::string fixed;
  if (exponent < 0) {
    fixed = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else if (n <= exponent + 1) {
    // A whole number in fixed form is written exactly, as the standard library does.
    char whole[400];
    std::snprintf(whole, sizeof whole, "%.0f", std::fabs(static_cast<double>(value)));
    fixed = whole;
  } else {
    fixed = digits.substr(0, static_cast<size_t>(exponent + 1)) + "." +
            digits.substr(static_cast<size_t>(exponent + 1));
  }
  if (negative) out += '-';
  out += !scientificOnly && fixed.size() <= scientific.size() ? fixed : scientific;
}

double ReadDouble(const char* text, char** end) { return std::strtod(text, end); }
float ReadFloat(const char* text, char** end) { return std::strtof(text, end); }

}  // namespace

void AppendShortestPortable(std::string& out, double value, bool scientific) {
  AppendShortestByPrintf(out, value, 17, ReadDouble, scientific);
}

void AppendShortestPortable(std::string& out, float value) {
  AppendShortestByPrintf(out, value, 9, ReadFloat, false);
}

bool ParseNumberPortable(std::string_view text, double& value) {
  // What from_chars takes: no sign but '-', no blanks, no hexadecimal; inf and nan are
  // refused here, where only finite numbers are ever written.
  if (text.empty() || text.size() > 64) return false;
  const size_t first = text[0] == '-' ? 1 : 0;
  if (first == text.size() || !(std::isdigit(static_cast<unsigned char>(text[first])) || text[first] == '.'))
    return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c)) && !std::strchr(".eE+-", c)) return false;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const double read = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || (errno == ERANGE && std::isinf(read))) return false;
  value = read;
  return true;
}

}  // namespace detail

// libstdc++ has floating-point to_chars and from_chars; emscripten's libc++ has neither.
#if defined(__cpp_lib_to_chars)
void AppendShortest(std::string& out, double value, bool scientific) {
  char text[32];
  const auto result = scientific ? std::to_chars(text, text + sizeof text, value,
                                                 std::chars_format::scientific)
                                 : std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

void AppendShortest(std::string& out, float value) {
  char text[32];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

bool ParseNumber(std::string_view text, double& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}
#else
void AppendShortest(std::string& out, double value, bool scientific) {
  detail::AppendShortestPortable(out, value, scientific);
}
void AppendShortest(std::string& out, float value) { detail::AppendShortestPortable(out, value); }
bool ParseNumber(std::string_view text, double& value) {
  return detail::ParseNumberPortable(text, value);
}
#endif

}  // namespace qf
