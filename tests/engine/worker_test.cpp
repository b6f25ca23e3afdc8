// The worker's schedule driven by an injected clock: job order, poll cadence, restarts, the
// clock-jump rule, and errors of a job.
#include "engine/worker.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace kestrava {
namespace {

constexpr int32_t kDay = 86400000;

struct WorkerRig {
  int32_t nowMs = 0;
  std::vector<int32_t> sleeps;
  std::vector<std::pair<int32_t, int32_t>> performed;  // kind, time
  std::vector<std::string> errors;
  std::function<void()> onRetry;
  TSchedule schedule{[this] { return nowMs; }, 42};
  TMyTimer worker{schedule, Jobs(), Clock()};

  TEngineClock Clock() {
    TEngineClock clock;
    clock.NowMs = [this] { return nowMs; };
    clock.NowDays = [this] { return nowMs / 86400000.0; };
    clock.Sleep = [this](int32_t ms) {
      sleeps.push_back(ms);
      nowMs = (nowMs + ms) % kDay;  // the local clock starts again at midnight
    };
    return clock;
  }
  TWorkerJobs Jobs() {
    TWorkerJobs jobs;
    jobs.RetryScan = [this] {
      performed.emplace_back(kJobRetryScan, nowMs);
      if (onRetry) onRetry();
    };
    jobs.TimeoutScan = [this] { performed.emplace_back(kJobTimeoutScan, nowMs); };
    jobs.Purge = [this] { performed.emplace_back(kJobPurge, nowMs); };
    jobs.SendPoll = [this](const TRequest& r) { performed.emplace_back(r.OwnerJob, nowMs); };
    jobs.ReportError = [this](const std::string& text) { errors.push_back(text); };
    return jobs;
  }
  std::vector<int32_t> PollTimes() const {
    std::vector<int32_t> out;
    for (const auto& [kind, at] : performed)
      if (kind == kPollJobKind) out.push_back(at);
    return out;
  }
  int CountKind(int32_t kind) {
    int n = 0;
    for (const TMyTimerRec& job : schedule.Snapshot()) n += job.Kind == kind;
    return n;
  }
  void RunUntil(int32_t until) {
    while (nowMs < until) worker.Pass();
  }
};

TRequest PollRequest(int32_t interval) {
  TRequest r;
  r.Interval = interval;
  r.OidList = "1.3.6.1.2.1.2.2.1.10.1\x1F";
  return r;
}

TEST(WorkerTest, HousekeepingJobsRunInTheirOrderFromTheStart) {
  WorkerRig rig;
  rig.nowMs = 10000;
  rig.worker.Begin();
  const std::vector<TMyTimerRec> installed = rig.schedule.Snapshot();
  ASSERT_EQ(installed.size(), 5u);
  const std::pair<int32_t, int32_t> want[] = {{kJobSort, 10500},
                                              {kJobRetryScan, 11000},
                                              {kJobTimeoutScan, 10250},
                                              {kJobPurge, 10125},
                                              {kJobTimeoutScan2, 10750}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(installed[i].Kind, want[i].first);
    EXPECT_EQ(installed[i].DueMs, want[i].second);
    EXPECT_EQ(installed[i].Request.Interval, 1);
  }
  // The re-sort comes first and waits for its due time; the purge and the first time-out scan,
  // due earlier, follow at once.
  for (int i = 0; i < 7; ++i) rig.worker.Pass();
  const std::vector<std::pair<int32_t, int32_t>> order = {{kJobPurge, 10500},
                                                          {kJobTimeoutScan, 10500},
                                                          {kJobTimeoutScan, 10750},
                                                          {kJobRetryScan, 11000},
                                                          {kJobPurge, 11500}};
  EXPECT_EQ(rig.performed, order);
  EXPECT_EQ(rig.sleeps.front(), 500);
}

TEST(WorkerTest, APollJobRunsFirstWithinItsFirstIntervalThenOnItsCadence) {
  for (uint32_t attempt = 0; attempt < 5; ++attempt) {
    WorkerRig rig;
    rig.worker.Begin();
    rig.RunUntil(3000 + attempt * 777);
    const int32_t added = rig.nowMs;
    const TRequest request = PollRequest(5);
    rig.schedule.ScheduleOp(kScheduleAddPoll, kPollJobKind, &request);
    const TMyTimerRec job = rig.schedule.Snapshot().back();
    EXPECT_EQ(job.Request.TriesLeft, 2);
    EXPECT_EQ(job.Request.Operation, 1);
    EXPECT_GE(job.DueMs, added + 1000);
    EXPECT_LT(job.DueMs, added + 6000);
    rig.RunUntil(added + 30000);
    const std::vector<int32_t> polls = rig.PollTimes();
    ASSERT_GE(polls.size(), 5u);
    EXPECT_EQ(polls[0], job.DueMs);
    for (size_t i = 1; i < polls.size(); ++i) EXPECT_EQ(polls[i] - polls[i - 1], 5000);
  }
}

TEST(WorkerTest, ARestartLeavesExactlyOnePollJob) {
  WorkerRig rig;
  rig.worker.Begin();
  const TRequest request = PollRequest(2);
  rig.schedule.ScheduleOp(kScheduleAddPoll, kPollJobKind, &request);
  rig.RunUntil(8000);
  const size_t before = rig.PollTimes().size();
  EXPECT_GE(before, 2u);
  const TRequest restarted = PollRequest(10);
  rig.schedule.ScheduleOp(kScheduleAddPoll, kPollJobKind, &restarted);
  EXPECT_EQ(rig.CountKind(kPollJobKind), 1);
  EXPECT_EQ(rig.CountKind(kJobDiscarded), 1);
  const int32_t restartAt = rig.nowMs;
  rig.RunUntil(restartAt + 40000);
  EXPECT_EQ(rig.CountKind(kPollJobKind), 1);
  EXPECT_EQ(rig.CountKind(kJobDiscarded), 0);  // released when it came due, without running
  const std::vector<int32_t> polls = rig.PollTimes();
  ASSERT_GT(polls.size(), before + 2);
  EXPECT_GE(polls[before], restartAt + 1000);
  for (size_t i = before + 1; i < polls.size(); ++i) EXPECT_EQ(polls[i] - polls[i - 1], 10000);
}

TEST(WorkerTest, PollTriesFollowTheInterval) {
  const std::pair<int32_t, int32_t> cases[] = {{1, 1},  {2, 1},  {4, 1},  {5, 2},   {9, 2},
                                               {10, 3}, {29, 3}, {30, 5}, {1000, 5}};
  for (const auto& [interval, tries] : cases) EXPECT_EQ(PollTries(interval), tries) << interval;
}

TEST(WorkerTest, TheWaitJustBelowTwoSecondsIsSleptAndTwoSecondsShiftsInstead) {
  {
    WorkerRig rig;
    rig.worker.Begin();
    rig.schedule.ScheduleOp(kScheduleShift, 1499);  // the re-sort now due at +1999
    rig.worker.Pass();
    ASSERT_EQ(rig.sleeps.size(), 1u);
    EXPECT_EQ(rig.sleeps[0], 1999);
  }
  {
    WorkerRig rig;
    rig.worker.Begin();
    rig.schedule.ScheduleOp(kScheduleShift, 1500);  // due at +2000: taken as a clock jump
    rig.worker.Pass();
    EXPECT_TRUE(rig.sleeps.empty());
    EXPECT_EQ(rig.nowMs, 0);
  }
}

TEST(WorkerTest, AClockSetForwardAnHourRebasesTheSchedule) {
  WorkerRig rig;
  rig.worker.Begin();
  const TRequest request = PollRequest(5);
  rig.schedule.ScheduleOp(kScheduleAddPoll, kPollJobKind, &request);
  rig.RunUntil(20000);
  rig.nowMs += 3600000;
  const size_t before = rig.performed.size();
  const int32_t jumpedAt = rig.nowMs;
  rig.RunUntil(jumpedAt + 20000);
  // The cadence goes on: about five housekeeping jobs and a fifth of a poll per second, no
  // burst of an hour of missed jobs.
  const size_t ran = rig.performed.size() - before;
  EXPECT_GE(ran, 80u);
  EXPECT_LE(ran, 110u);
  const std::vector<int32_t> polls = rig.PollTimes();
  for (size_t i = 1; i < polls.size(); ++i) {
    if (polls[i - 1] < jumpedAt - 3600000 && polls[i] >= jumpedAt) continue;  // across the jump
    EXPECT_EQ(polls[i] - polls[i - 1], 5000);
  }
  EXPECT_GE(polls.back(), jumpedAt + 14000);
}

TEST(WorkerTest, MidnightBringsTheScheduleBackToTheNewDay) {
  WorkerRig rig;
  rig.nowMs = kDay - 10000;
  rig.worker.Begin();
  const TRequest request = PollRequest(2);
  rig.schedule.ScheduleOp(kScheduleAddPoll, kPollJobKind, &request);
  size_t passes = 0;
  while (passes++ < 400) {
    rig.worker.Pass();
    if (rig.nowMs > 20000 && rig.nowMs < kDay / 2) break;
  }
  EXPECT_LT(passes, 400u);
  for (const TMyTimerRec& job : rig.schedule.Snapshot()) EXPECT_LT(job.DueMs, 30000) << job.Kind;
  const std::vector<int32_t> polls = rig.PollTimes();
  EXPECT_GE(polls.size(), 12u);
}

TEST(WorkerTest, AFailingJobIsReportedAndTheLoopCarriesOn) {
  WorkerRig rig;
  int failures = 0;
  rig.onRetry = [&] {
    ++failures;
    throw std::runtime_error("11001: [11001] Host not found");
  };
  rig.worker.Begin();
  rig.RunUntil(5500);
  EXPECT_GE(failures, 4);
  ASSERT_EQ(rig.errors.size(), static_cast<size_t>(failures));
  EXPECT_EQ(rig.errors[0], "11001: [11001] Host not found");
  int purges = 0;
  for (const auto& [kind, at] : rig.performed) purges += kind == kJobPurge;
  EXPECT_GE(purges, 5);
}

TEST(WorkerTest, TheThreadSetsFinishedWhenAskedToEnd) {
  TSchedule schedule{[] { return 0; }, 1};
  std::atomic<int> scans{0};
  TWorkerJobs jobs;
  jobs.Purge = [&] {
    ++scans;
    throw std::runtime_error("purge failed");
  };
  jobs.ReportError = [](const std::string&) {};
  TEngineClock clock;
  std::atomic<int32_t> now{0};
  clock.NowMs = [&] { return now.load(); };
  clock.NowDays = [] { return 0.0; };
  clock.Sleep = [&](int32_t ms) {
    now += ms;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  TMyTimer worker(schedule, jobs, clock);
  worker.Start();
  while (scans < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(worker.Finished());
  worker.Terminate();
  while (!worker.Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  worker.Join();
  EXPECT_TRUE(worker.Finished());
}

}  // namespace
}  // namespace kestrava
