#pragma once
// Rounding and number formatting as the system defines them.

#include <cstdint>
#include <string>
#include <string_view>

namespace qf {

// To the nearest integer, halves to even (1.5 -> 2, 2.5 -> 2, -0.5 -> 0).
double RoundHalfEven(double x);
int32_t RoundToInt(double x);

// Formats with a picture of '#', '0' and one '.': '0' forces a digit, '#' shows one only when
// needed ("####.00" gives ".50" for 0.5 and "62.50" for 62.5). Halves round away from zero.
std::string FormatFloat(const char* picture, double value);

// Fixed-point with the given decimals; not-a-number and infinities read "NAN", "INF", "-INF".
std::string FormatFixed(double value, int decimals);

// Appends the shortest text that reads back to the same double (single), as std::to_chars
// writes it: fixed or scientific, whichever is shorter, fixed on a tie; or scientific.
void AppendShortest(std::string& out, double value, bool scientific = false);
void AppendShortest(std::string& out, float value);

// Reads a decimal number as std::from_chars does; false unless the whole text is one.
bool ParseNumber(std::string_view text, double& value);

namespace detail {
// The same from printf and strtod, for a standard library without floating-point to_chars and
// from_chars (emscripten's, in the browser build).
void AppendShortestPortable(std::string& out, double value, bool scientific = false);
void AppendShortestPortable(std::string& out, float value);
bool ParseNumberPortable(std::string_view text, double& value);
}  // namespace detail

}  // namespace qf
