#include "engine/worker.h"

#include <sys/resource.h>
#include <unistd.h>

#include <exception>

namespace kestrava {

TMyTimer::TMyTimer(TSchedule& schedule, TWorkerJobs jobs, TEngineClock clock)
    : m_schedule(schedule), m_jobs(std::move(jobs)), m_clock(std::move(clock)) {}

TMyTimer::~TMyTimer() {
  Terminate();
  Join();
}

void TMyTimer::Start() {
  m_terminated = false;
  m_finished = false;
  m_thread = std::thread([this] {
    // Time-critical priority is asked for (the highest of the normal class); without the
    // privilege the system keeps the default, and that is fine.
    [[maybe_unused]] const int refused =
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -20);
    Execute();
  });
}

void TMyTimer::Terminate() {
  {
    std::lock_guard<std::mutex> lock(m_sleepLock);
    m_terminated = true;
  }
  m_wake.notify_all();
}

void TMyTimer::Join() {
  if (m_thread.joinable()) m_thread.join();
}

void TMyTimer::Begin() {
  m_finished = false;
  m_schedule.ScheduleOp(kScheduleInstall);
}

void TMyTimer::SleepMs(int32_t ms) {
  if (m_clock.Sleep) {
    m_clock.Sleep(ms);
    return;
  }
  std::unique_lock<std::mutex> lock(m_sleepLock);
  m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_terminated.load(); });
}

void TMyTimer::Pass() {
  TJobPtr job = m_schedule.ScheduleOp(kScheduleTakeNext);
  if (!job) {
    SleepMs(100);
    return;
  }
  const int32_t due = m_schedule.AdvanceDue(job);
  if (m_schedule.KindOf(job) == kJobSort) m_schedule.ScheduleOp(kScheduleSort);
  const int32_t now = m_clock.NowMs();
  const int32_t wait = due - now;
  if (wait <= -2000 || wait >= 2000) {
    // The clock jumped (set by hand, or midnight passed): every job moves by the distance
    // between now and this job's due time, so the job runs now and the others keep their
    // cadence. (The time since the previous pass is no measure of the jump when midnight
    // passed during the last sleep: the schedule would stay a day ahead and run without pause.)
    m_schedule.ScheduleOp(kScheduleShift, now - due);
  } else if (wait > 0) {
    SleepMs(wait);
  }
  if (m_terminated) return;
  try {
    Perform(job);
  } catch (const std::exception& error) {
    if (m_jobs.ReportError) m_jobs.ReportError(error.what());
  } catch (...) {
    if (m_jobs.ReportError) m_jobs.ReportError("Unknown error in the worker");
  }
}

void TMyTimer::Perform(const TJobPtr& job) {
  const int32_t kind = m_schedule.KindOf(job);
  switch (kind) {
    case kJobSort:
      return;
    case kJobRetryScan:
      if (m_jobs.RetryScan) m_jobs.RetryScan();
      return;
    case kJobDiscarded:
      m_schedule.ScheduleOp(kScheduleDiscard, 0, nullptr, job);
      return;
    case kJobTimeoutScan:
    case kJobTimeoutScan2:
      if (m_jobs.TimeoutScan) m_jobs.TimeoutScan();
      return;
    case kJobPurge:
      if (m_jobs.Purge) m_jobs.Purge();
      return;
    default: {
      const TRequest request = m_schedule.BeginPollRun(job);
      if (m_jobs.SendPoll) m_jobs.SendPoll(request);
      return;
    }
  }
}

void TMyTimer::Execute() {
  // Whatever ends the loop, the finished flag is set, or shut-down would wait for ever.
  struct TFinish {
    std::atomic<bool>& Flag;
    ~TFinish() { Flag = true; }
  } finish{m_finished};
  try {
    Begin();
    m_finished = false;
    while (!m_terminated) Pass();
  } catch (const std::exception& error) {
    if (m_jobs.ReportError) m_jobs.ReportError(error.what());
  }
}

}  // namespace kestrava
