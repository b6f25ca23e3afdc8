#include "engine/clock.h"

#include <QDateTime>
#include <QTime>
#include <cmath>
#include <mutex>

namespace kestrava {

namespace {
// The local-time conversion reads the C library's time-zone state, whose own lock the thread
// checker cannot see; both threads read the clock, so they take turns explicitly.
std::mutex g_localTimeLock;
}  // namespace

TEngineClock SystemClock() {
  TEngineClock clock;
  clock.NowMs = [] {
    std::lock_guard<std::mutex> lock(g_localTimeLock);
    return static_cast<int32_t>(QTime::currentTime().msecsSinceStartOfDay());
  };
  clock.NowDays = [] {
    std::lock_guard<std::mutex> lock(g_localTimeLock);
    // Days since 1899-12-30 with the time of day as the fraction, from the local clock.
    static const QDate epoch(1899, 12, 30);
    const QDateTime now = QDateTime::currentDateTime();
    return static_cast<double>(epoch.daysTo(now.date())) +
           now.time().msecsSinceStartOfDay() / kMsPerDay;
  };
  return clock;
}

int64_t ElapsedMs(double fromDays, double toDays) {
  // The small bias keeps a difference of exactly n ms from reading as n - 1 after rounding.
  return static_cast<int64_t>(std::floor(std::fabs(toDays - fromDays) * kMsPerDay + 1e-4));
}

}  // namespace kestrava
