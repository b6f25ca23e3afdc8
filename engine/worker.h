#pragma once
// TMyTimer: the worker thread. It takes the first job of the schedule, waits until it is due
// (noticing a clock that jumped), and performs it through TWorkerJobs. Errors of a job go to
// TWorkerJobs::ReportError and the loop carries on; WorkerFinished is set however the loop ends.
// Thread: the worker runs the loop; Start, Terminate and Join come from the window's thread.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine/clock.h"
#include "engine/schedule.h"

namespace kestrava {

// What the worker does for each kind of job. The session decides where each runs: the jobs that
// touch the SNMP component or the window are handed to the window's thread, and the worker waits.
struct TWorkerJobs {
  std::function<void()> RetryScan;
  std::function<void()> TimeoutScan;
  std::function<void()> Purge;
  std::function<void(const TRequest&)> SendPoll;  // a poll run, then the status line cleared
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
