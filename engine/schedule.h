#pragma once
// TSchedule: the worker's list of jobs (TMyTimerRec), guarded by ScheduleLock. Every access goes
// through ScheduleOp or one of the small locked helpers for the fields both threads touch (a
// job's Kind and due time). The list stays roughly in due order: the worker takes the first job,
// and one of the housekeeping jobs re-sorts the list once a second.
// Lock order: ScheduleLock is taken after RequestLock and never holds another lock.
// Thread: the worker runs codes 1, 2, 4, 9, 11; the window's thread codes 3 and 6.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include "shared/session_types.h"

namespace kestrava {

struct TMyTimerRec {
  int32_t Kind = 0;
  int32_t DueMs = 0;  // ms since local midnight, on the worker's scale
  TRequest Request;   // poll jobs: the request of every run; housekeeping: Interval 1
};
using TJobPtr = std::shared_ptr<TMyTimerRec>;

// Job kinds.
inline constexpr int32_t kJobSort = -1;
inline constexpr int32_t kJobRetryScan = -2;
inline constexpr int32_t kJobDiscarded = -3;
inline constexpr int32_t kJobTimeoutScan = -4;
inline constexpr int32_t kJobPurge = -5;
inline constexpr int32_t kJobTimeoutScan2 = -6;
inline constexpr int32_t kPollJobKind = 100;

// Codes of ScheduleOp.
inline constexpr int kScheduleSort = 1;
inline constexpr int kScheduleTakeNext = 2;
inline constexpr int kScheduleAddPoll = 3;
inline constexpr int kScheduleDiscard = 4;
inline constexpr int kScheduleFind = 6;
inline constexpr int kScheduleInstall = 9;
inline constexpr int kScheduleShift = 11;

// Sends allowed for one poll request of a job with this interval.
int32_t PollTries(int32_t interval);

class TSchedule {
 public:
  TSchedule(std::function<int32_t()> nowMs, uint32_t seed);
  TSchedule(const TSchedule&) = delete;
  TSchedule& operator=(const TSchedule&) = delete;

  // The entry routine; kind doubles as the shift in ms for code 11.
  TJobPtr ScheduleOp(int code, int32_t kind = 0, const TRequest* request = nullptr,
                     const TJobPtr& job = nullptr);

  // Adds a poll job as code 3 does, but first due at dueMs; returns it.
  TJobPtr AddPollDue(int32_t kind, const TRequest& request, int32_t dueMs);
  // The taken job's next due time: returns the old one and moves it on by the interval.
  int32_t AdvanceDue(const TJobPtr& job);
  int32_t KindOf(const TJobPtr& job);
  // Starts a poll run: OwnerJob := Kind; returns the request to send (its OIDs are the
  // session's poll plan's).
  TRequest BeginPollRun(const TJobPtr& job);
  // True when a job of this kind is in the list.
  bool Has(int32_t kind);

  std::vector<TMyTimerRec> Snapshot();
  void Clear();

 private:
  TJobPtr AddPollLocked(int32_t kind, const TRequest& request, int32_t dueMs);

  std::function<int32_t()> m_nowMs;
  std::mutex m_scheduleLock;
  std::vector<TJobPtr> m_jobs;  // GUARDED_BY(m_scheduleLock)
  std::mt19937 m_random;        // GUARDED_BY(m_scheduleLock)
};

}  // namespace kestrava
