#pragma once
// The worker and its schedule. TSchedule is the list of jobs (TMyTimerRec) guarded by
// ScheduleLock; every access goes through ScheduleOp or one of the small locked helpers for the
// fields both threads touch (a poll job's Kind and Results). TMyTimer is the worker thread: it
// takes the first job, waits until it is due (noticing a clock that jumped), and performs it
// through TWorkerJobs. Errors of a job go to TWorkerJobs::ReportError and the loop carries on;
// WorkerFinished is set however the loop ends.
// Lock order: ScheduleLock is taken after RequestLock and never holds another lock.
// Thread: the worker runs the loop and codes 1, 2, 4, 9, 11; the window's thread codes 3 and 6.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/clock.h"
#include "shared/session_types.h"

namespace kestrava {

struct TMyTimerRec {
  int32_t Kind = 0;
  int32_t DueMs = 0;  // ms since local midnight, on the worker's scale
  TRequest Request;   // poll jobs: the request of every run; housekeeping: Interval 1
  // Items in Request.Results and in Request.OidList, kept so that the completeness test of
  // every answer is not a count over the whole list.
  int32_t ResultItems = 0;
  int32_t OidItems = 0;
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

  // The taken job's next due time: returns the old one and moves it on by the interval.
  int32_t AdvanceDue(const TJobPtr& job);
  int32_t KindOf(const TJobPtr& job);
  // Starts a poll run: Results emptied, OwnerJob := Kind; returns the request to send.
  TRequest BeginPollRun(const TJobPtr& job);
  // Appends to the Results of the first job of this kind; false when there is none.
  bool AppendResults(int32_t kind, const std::string& items);
  // When Results holds a pair for every OID, moves them out (Results is then empty).
  bool TakeCompleteResults(int32_t kind, std::string& results, int32_t& interval);

  std::vector<TMyTimerRec> Snapshot();
  void Clear();

 private:
  TMyTimerRec* FindLocked(int32_t kind);

  std::function<int32_t()> m_nowMs;
  std::mutex m_scheduleLock;
  std::vector<TJobPtr> m_jobs;  // GUARDED_BY(m_scheduleLock)
  std::mt19937 m_random;        // GUARDED_BY(m_scheduleLock)
};

struct TWorkerJobs {
  std::function<void()> RetryScan;    // on the worker
  std::function<void()> TimeoutScan;  // hands TimeoutScanSync to the window's thread, waits
  std::function<void()> Purge;        // on the worker
  std::function<void(const TRequest&)> SendPoll;
  std::function<void()> ClearStatus;  // hands DoClearSB to the window's thread, waits
  std::function<void(const std::string&)> ReportError;
};

class TMyTimer {
 public:
  TMyTimer(TSchedule& schedule, TWorkerJobs jobs, TEngineClock clock);
  ~TMyTimer();
  TMyTimer(const TMyTimer&) = delete;
  TMyTimer& operator=(const TMyTimer&) = delete;

  // Starts the thread at time-critical priority (a refusal is ignored).
  void Start();
  void Terminate();
  bool Finished() const { return m_finished.load(); }  // WorkerFinished
  // Waits for the thread's end after Finished.
  void Join();

  // The body in pieces, so that tests can drive passes with an injected clock.
  void Begin();  // WorkerFinished := false; housekeeping jobs installed
  void Pass();   // one pass of the loop
  void Execute();

 private:
  void Perform(const TJobPtr& job);
  void SleepMs(int32_t ms);

  TSchedule& m_schedule;
  TWorkerJobs m_jobs;
  TEngineClock m_clock;
  std::atomic<bool> m_terminated{false};
  std::atomic<bool> m_finished{true};
  std::mutex m_sleepLock;
  std::condition_variable m_wake;
  std::thread m_thread;
};

}  // namespace kestrava
