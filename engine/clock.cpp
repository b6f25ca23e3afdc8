#include "engine/clock.h"

#include <time.h>

#include <chrono>
#include <cmath>
#include <mutex>

namespace kestrava {

namespace {

// The local-time conversion reads the C library's time-zone state, whose own lock the thread
// checker cannot see; both threads read the clock, so they take turns explicitly.
std::mutex g_localTimeLock;

// Days from 1899-12-30, the day count's origin, to 1970-01-01.
constexpr int64_t kEpochDays = 25569;

// Milliseconds of local time since 1970-01-01 (local midnight to local midnight is a day). The
// offset from UTC is looked up once a second per thread: a clock read is then a few
// nanoseconds, and a change of daylight saving time is seen within the second.
int64_t LocalMs() {
  const int64_t utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
  thread_local int64_t offsetSecond = INT64_MIN;
  thread_local int64_t offsetMs = 0;
  const int64_t second = utcMs / 1000;
  if (second != offsetSecond) {
    const time_t now = static_cast<time_t>(second);
    tm local{};
    {
      std::lock_guard<std::mutex> lock(g_localTimeLock);
      localtime_r(&now, &local);
    }
    offsetMs = static_cast<int64_t>(local.tm_gmtoff) * 1000;
    offsetSecond = second;
  }
  return utcMs + offsetMs;
}

}  // namespace

TEngineClock SystemClock() {
  TEngineClock clock;
  clock.NowMs = [] { return static_cast<int32_t>(LocalMs() % 86400000); };
  clock.NowDays = [] {
    // Days since 1899-12-30 with the time of day as the fraction, from the local clock.
    return static_cast<double>(kEpochDays) + static_cast<double>(LocalMs()) / kMsPerDay;
  };
  return clock;
}

int64_t WallTimeMs(const TEngineClock& clock) {
  if (clock.WallMs) return clock.WallMs();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int64_t ElapsedMs(double fromDays, double toDays) {
  // The small bias keeps a difference of exactly n ms from reading as n - 1 after rounding.
  return static_cast<int64_t>(std::floor(std::fabs(toDays - fromDays) * kMsPerDay + 1e-4));
}

}  // namespace kestrava
