#include "engine/worker.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

#include "shared/item_list.h"

namespace kestrava {

int32_t PollTries(int32_t interval) {
  if (interval >= 30) return 5;
  if (interval >= 10) return 3;
  if (interval >= 5) return 2;
  return 1;
}

TSchedule::TSchedule(std::function<int32_t()> nowMs, uint32_t seed)
    : m_nowMs(std::move(nowMs)), m_random(seed) {}

TMyTimerRec* TSchedule::FindLocked(int32_t kind) {
  for (const TJobPtr& job : m_jobs) {
    if (job->Kind == kind) return job.get();
  }
  return nullptr;
}

TJobPtr TSchedule::ScheduleOp(int code, int32_t kind, const TRequest* request, const TJobPtr& job) {
  std::lock_guard<std::mutex> lock(m_scheduleLock);
  switch (code) {
    case kScheduleSort:
      std::stable_sort(m_jobs.begin(), m_jobs.end(),
                       [](const TJobPtr& a, const TJobPtr& b) { return a->DueMs < b->DueMs; });
      return nullptr;
    case kScheduleTakeNext: {
      if (m_jobs.empty()) return nullptr;
      TJobPtr first = m_jobs.front();
      m_jobs.erase(m_jobs.begin());
      m_jobs.push_back(first);
      return first;
    }
    case kScheduleAddPoll: {
      if (!request) return nullptr;
      if (TMyTimerRec* old = FindLocked(kind)) old->Kind = kJobDiscarded;
      auto added = std::make_shared<TMyTimerRec>();
      added->Request = *request;
      added->Request.Operation = 1;
      added->Request.Purpose = kPurposePoll;
      added->Request.TriesLeft = PollTries(added->Request.Interval);
      const int32_t span = std::max<int32_t>(1, added->Request.Interval * 1000);
      std::uniform_int_distribution<int32_t> spread(0, span - 1);
      added->DueMs = m_nowMs() + 1000 + spread(m_random);
      added->Kind = kind;
      added->OidItems = CountItems(added->Request.OidList);
      added->ResultItems = CountItems(added->Request.Results);
      m_jobs.push_back(added);
      return nullptr;
    }
    case kScheduleDiscard:
      m_jobs.erase(std::remove(m_jobs.begin(), m_jobs.end(), job), m_jobs.end());
      return nullptr;
    case kScheduleFind:
      for (const TJobPtr& candidate : m_jobs) {
        if (candidate->Kind == kind) return candidate;
      }
      return nullptr;
    case kScheduleInstall: {
      const int32_t now = m_nowMs();
      const std::pair<int32_t, int32_t> housekeeping[] = {{kJobSort, 500},
                                                          {kJobRetryScan, 1000},
                                                          {kJobTimeoutScan, 250},
                                                          {kJobPurge, 125},
                                                          {kJobTimeoutScan2, 750}};
      for (const auto& [jobKind, offset] : housekeeping) {
        auto added = std::make_shared<TMyTimerRec>();
        added->Kind = jobKind;
        added->DueMs = now + offset;
        added->Request.Interval = 1;
        m_jobs.push_back(added);
      }
      return nullptr;
    }
    case kScheduleShift:
      for (const TJobPtr& each : m_jobs) each->DueMs += kind;
      return nullptr;
    default:
      return nullptr;
  }
}

int32_t TSchedule::AdvanceDue(const TJobPtr& job) {
  std::lock_guard<std::mutex> lock(m_scheduleLock);
  const int32_t due = job->DueMs;
  job->DueMs = due + job->Request.Interval * 1000;
  return due;
}

int32_t TSchedule::KindOf(const TJobPtr& job) {
  std::lock_guard<std::mutex> lock(m_scheduleLock);
  return job->Kind;
}

TRequest TSchedule::BeginPollRun(const TJobPtr& job) {
  std::lock_guard<std::mutex> lock(m_scheduleLock);
  job->Request.Results.clear();
  job->ResultItems = 0;
  job->Request.OwnerJob = job->Kind;
  return job->Request;
}

bool TSchedule::AppendResults(int32_t kind, const std::string& items) {
  std::lock_guard<std::mutex> lock(m_scheduleLock);
  TMyTimerRec* job = FindLocked(kind);
  if (!job) return false;
  job->Request.Results += items;
  job->ResultItems += CountItems(items);
  return true;
}

bool TSchedule::TakeCompleteResults(int32_t kind, std::string& results, int32_t& interval) {
  std::lock_guard<std::mutex> lock(m_scheduleLock);
  TMyTimerRec* job = FindLocked(kind);
  if (!job) return false;
  if (job->ResultItems < 2 * job->OidItems) return false;
  results.swap(job->Request.Results);
  job->Request.Results.clear();
  job->ResultItems = 0;
  interval = job->Request.Interval;
  return true;
}

std::vector<TMyTimerRec> TSchedule::Snapshot() {
  std::lock_guard<std::mutex> lock(m_scheduleLock);
  std::vector<TMyTimerRec> out;
  for (const TJobPtr& job : m_jobs) out.push_back(*job);
  return out;
}

void TSchedule::Clear() {
  std::lock_guard<std::mutex> lock(m_scheduleLock);
  while (!m_jobs.empty()) m_jobs.erase(m_jobs.begin());
}

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
      if (m_jobs.ClearStatus) m_jobs.ClearStatus();
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

#include "engine/session.h"

namespace kestrava {

void TSession::TimeoutScanSync() {
  m_expiredPollJobs.clear();
  m_discoveryTimedOut = false;
  m_requestTable.RequestTableOp(kRequestTimeoutScan);
  // With RequestLock released: a poll completed by expiry is evaluated now, which may start a
  // refresh walk that adds to the request table.
  if (m_discoveryTimedOut) StopDiscovery("Timeout while collecting instances!");
  std::vector<int32_t> jobs;
  jobs.swap(m_expiredPollJobs);
  for (int32_t kind : jobs) EvaluatePoll(kind);
}

}  // namespace kestrava
