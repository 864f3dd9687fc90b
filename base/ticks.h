#pragma once
// The millisecond tick counter: unsigned 32 bits, wrapping, like the platform counter the
// game was designed for. Every elapsed time is an unsigned difference modulo 2^32.
// Tests and tools replace the source with a clock they move by hand.

#include <cstdint>

namespace qf {

// Milliseconds from an arbitrary start, wrapping at 2^32.
uint32_t GetTickCount();

// A high-resolution counter (nanoseconds) used only to seed the random source.
uint64_t HighResolutionCounter();

// A clock that tests move by hand. While installed, GetTickCount and HighResolutionCounter
// read it instead of the system clock.
class ManualClock {
public:
  explicit ManualClock(uint32_t start = 0);
  ~ManualClock();  // restores the clock that was installed before
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;

  uint32_t Now() const { return now_; }
  void Set(uint32_t now) { now_ = now; }
  void Advance(uint32_t ms) { now_ += ms; }

private:
  uint32_t now_;
  ManualClock* previous_;
};

}  // namespace qf
