#include "engine/schedule.h"

#include <algorithm>

namespace kestrava {

int32_t PollTries(int32_t interval) {
  if (interval >= 30) return 5;
  if (interval >= 10) return 3;
  if (interval >= 5) return 2;
  return 1;
}

TSchedule::TSchedule(std::function<int32_t()> nowMs, uint32_t seed)
    : m_nowMs(std::move(nowMs)), m_random(seed) {}

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
      const int32_t span = std::max<int32_t>(1, request->Interval * 1000);
      std::uniform_int_distribution<int32_t> spread(0, span - 1);
      return AddPollLocked(kind, *request, m_nowMs() + 1000 + spread(m_random));
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

TJobPtr TSchedule::AddPollLocked(int32_t kind, const TRequest& request, int32_t dueMs) {
  for (const TJobPtr& old : m_jobs) {
    if (old->Kind != kind) continue;
    old->Kind = kJobDiscarded;
    break;
  }
  auto added = std::make_shared<TMyTimerRec>();
  added->Request = request;
  added->Request.Operation = kOperationGet;
  added->Request.Purpose = kPurposePoll;
  added->Request.TriesLeft = PollTries(added->Request.Interval);
  added->DueMs = dueMs;
  added->Kind = kind;
  m_jobs.push_back(added);
  return added;
}

TJobPtr TSchedule::AddPollDue(int32_t kind, const TRequest& request, int32_t dueMs) {
  std::lock_guard<std::mutex> lock(m_scheduleLock);
  return AddPollLocked(kind, request, dueMs);
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
  job->Request.OwnerJob = job->Kind;
  return job->Request;
}

bool TSchedule::Has(int32_t kind) {
  std::lock_guard<std::mutex> lock(m_scheduleLock);
  return std::any_of(m_jobs.begin(), m_jobs.end(),
                     [kind](const TJobPtr& job) { return job->Kind == kind; });
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

}  // namespace kestrava
