#pragma once
// Rounding and number formatting as the system defines them.

#include <cstdint>
#include <string>

namespace qf {

// To the nearest integer, halves to even (1.5 -> 2, 2.5 -> 2, -0.5 -> 0).
double RoundHalfEven(double x);
int32_t RoundToInt(double x);

// Formats with a picture of '#', '0' and one '.': '0' forces a digit, '#' shows one only when
// needed ("####.00" gives ".50" for 0.5 and "62.50" for 62.5). Halves round away from zero.
std::string FormatFloat(const char* picture, double value);

// Fixed-point with the given decimals; not-a-number and infinities read "NAN", "INF", "-INF".
std::string FormatFixed(double value, int decimals);

}  // namespace qf
