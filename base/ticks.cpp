#include "base/ticks.h"

#include <chrono>

namespace qf {

namespace {
ManualClock* g_manual = nullptr;
}

uint32_t GetTickCount() {
  if (g_manual) return g_manual->Now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

uint64_t HighResolutionCounter() {
  if (g_manual) return g_manual->Now();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

ManualClock::ManualClock(uint32_t start) : now_(start), previous_(g_manual) { g_manual = this; }

ManualClock::~ManualClock() { g_manual = previous_; }

}  // namespace qf
