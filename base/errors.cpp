#include "base/errors.h"

#include <cstdio>

namespace qf {

namespace {
// Reports name the source file alone, so messages do not depend on the build folder.
const char* BaseName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  return name;
}
}  // namespace

EAssertionFailed::EAssertionFailed(const std::string& message, const char* file, int line)
    : std::runtime_error(Format("%s (%s, line %d)", message.c_str(), BaseName(file), line)),
      message_(message) {}

std::string FormatV(const char* fmt, va_list args) {
  // Short texts (every number the game formats per frame) take no heap buffer of their own.
  char small[128];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n <= 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string s(static_cast<size_t>(n), '\0');
  std::vsnprintf(s.data(), s.size() + 1, fmt, args);
  return s;
}

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string s = FormatV(fmt, args);
  va_end(args);
  return s;
}

void RaiseMathError(long double nonFinite) {
  if (std::isnan(nonFinite)) throw EInvalidOp();
  throw EOverflow();
}

void AssertFailed(const std::string& message, const char* file, int line) {
  throw EAssertionFailed(message, file, line);
}

}  // namespace qf
