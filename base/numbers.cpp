#include "base/numbers.h"

#include <cmath>
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

}  // namespace qf
