#pragma once
// TEngineClock: the engine's view of time, injected so that tests drive the schedule and the
// request table without sleeping. NowMs is milliseconds since local midnight (the worker's
// scale), NowDays the local date and time counted in days (the request table's scale), Sleep
// waits a number of milliseconds (the worker's only wait; empty means a real, interruptible
// sleep), WallMs the wall clock in milliseconds since 1970 UTC (the time a poll is published
// with; empty means the machine's). Thread: the functions are called from the worker and the
// window's thread.

#include <cstdint>
#include <functional>

namespace kestrava {

struct TEngineClock {
  std::function<int32_t()> NowMs;
  std::function<double()> NowDays;
  std::function<void(int32_t ms)> Sleep;
  std::function<int64_t()> WallMs;
};

// The clock's wall time: WallMs when it is set, else the machine's.
int64_t WallTimeMs(const TEngineClock& clock);

// The local clock of the machine; Sleep left empty.
TEngineClock SystemClock();

// Whole milliseconds between two date-times in days, truncated, as an absolute value (a clock
// set back counts as time passed).
int64_t ElapsedMs(double fromDays, double toDays);

inline constexpr double kMsPerDay = 86400000.0;

}  // namespace kestrava
