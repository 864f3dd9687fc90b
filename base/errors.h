#pragma once
// Error types shared by every subsystem, and the assertion macro that reports broken
// invariants in the system's own format: "<message> (<file>, line <n>)".

#include <cmath>
#include <concepts>
#include <cstdarg>
#include <stdexcept>
#include <string>

namespace qf {

// A broken invariant. what() is the message followed by " (file, line N)".
class EAssertionFailed : public std::runtime_error {
public:
  EAssertionFailed(const std::string& message, const char* file, int line);
  const std::string& Message() const { return message_; }

private:
  std::string message_;
};

// A keyed list refused an element ("Duplicates are not allowed!") or an index was out of range.
class EListError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The silent abort: unwinds to the message loop, which swallows it without a word.
class EAbort : public std::runtime_error {
public:
  EAbort() : std::runtime_error("Operation aborted") {}
};

// A floating-point operation would have yielded an infinity or not-a-number. The operation
// that fails throws at once, so nothing after it runs and nothing it would have stored is
// stored: the system has no infinities or not-a-numbers, and no hardware traps either.
class EMathError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class EOverflow : public EMathError {
public:
  EOverflow() : EMathError("Floating point overflow") {}
};

class EInvalidOp : public EMathError {
public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}
};

// Throws EOverflow for an infinity, EInvalidOp for not-a-number.
[[noreturn, gnu::cold]] void RaiseMathError(long double nonFinite);

// x when it is finite; otherwise the error of the operation that produced it. Costs one
// well-predicted comparison, so the engine's inner loops check every result that can fail.
template <std::floating_point T>
inline T CheckFinite(T x) {
  if (std::isfinite(x)) [[likely]]
    return x;
  RaiseMathError(x);
}

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);

[[noreturn]] void AssertFailed(const std::string& message, const char* file, int line);

}  // namespace qf

// Throws EAssertionFailed with the message unless the condition holds.
#define QF_ASSERT(cond, message)                                                         \
  do {                                                                                   \
    if (!(cond)) ::qf::AssertFailed((message), __FILE__, __LINE__);                      \
  } while (0)

// Unconditional assertion failure with the message.
#define QF_FAIL(message) ::qf::AssertFailed((message), __FILE__, __LINE__)
