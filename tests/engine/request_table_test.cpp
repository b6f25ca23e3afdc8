// The request table: retries and time-outs by interval and purpose, find, purge, claims.
#include "engine/request_table.h"

#include <gtest/gtest.h>

#include "engine/clock.h"
#include "engine/worker.h"

namespace kestrava {
namespace {

struct TableRig {
  int64_t nowMs = 0;
  std::vector<std::pair<uint32_t, int64_t>> resends;  // id, time
  std::vector<std::pair<uint32_t, int64_t>> expiries;
  TRequestTable table{
      TRequestTableHooks{[this] { return nowMs / kMsPerDay; },
                         [this](const TRequest& r) { resends.emplace_back(r.RequestId, nowMs); },
                         [this](const TRequest& r) { expiries.emplace_back(r.RequestId, nowMs); }}};

  // A first send as the dispatch records it: one send used, sent now.
  void Send(uint32_t id, int32_t interval, int32_t purpose, int32_t tries) {
    TRequest r;
    r.RequestId = id;
    r.Interval = interval;
    r.Purpose = purpose;
    r.TriesLeft = tries - 1;
    r.SentAt = nowMs / kMsPerDay;
    table.RequestTableOp(kRequestAdd, -1, &r);
  }
};

TEST(RequestTableTest, RetriesAndTimeoutsFollowIntervalAndPurpose) {
  struct Case {
    const char* name;
    int32_t interval, purpose, tries;
    int wantResends;
    int64_t wantThreshold;  // expiry comes at the first scan more than this after the last send
  };
  const Case cases[] = {
      {"poll interval 1", 1, kPurposePoll, PollTries(1), 0, 500},
      {"poll interval 2", 2, kPurposePoll, PollTries(2), 0, 500},
      {"poll interval 3", 3, kPurposePoll, PollTries(3), 0, 1000},
      {"poll interval 5", 5, kPurposePoll, PollTries(5), 1, 1000},
      {"poll interval 10", 10, kPurposePoll, PollTries(10), 2, 1000},
      {"poll interval 29", 29, kPurposePoll, PollTries(29), 2, 1000},
      {"poll interval 30", 30, kPurposePoll, PollTries(30), 4, 1000},
      {"discovery step", 1, kPurposeDiscovery, 5, 4, 1000},
      {"refresh step, interval 5", 5, kPurposeRefresh, 5, 4, 1000},
      {"refresh step, interval 2", 2, kPurposeRefresh, 5, 4, 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TableRig rig;
    rig.Send(7, c.interval, c.purpose, c.tries);
    // Both scans every 50 ms, the retry scan first.
    for (rig.nowMs = 50; rig.nowMs <= 20000 && rig.expiries.empty(); rig.nowMs += 50) {
      rig.table.RequestTableOp(kRequestRetryScan);
      rig.table.RequestTableOp(kRequestTimeoutScan);
    }
    ASSERT_EQ(rig.resends.size(), static_cast<size_t>(c.wantResends));
    int64_t lastSend = 0;
    for (const auto& [id, at] : rig.resends) {
      EXPECT_EQ(id, 7u);               // a resend keeps its id
      EXPECT_EQ(at - lastSend, 1050);  // more than 1000 ms after the previous send
      lastSend = at;
    }
    ASSERT_EQ(rig.expiries.size(), 1u);
    EXPECT_EQ(rig.expiries[0].second - lastSend, c.wantThreshold + 50);
    EXPECT_EQ(rig.table.Snapshot().at(0).TriesLeft, -1);
  }
}

TEST(RequestTableTest, ExactlyAtTheThresholdNothingHappens) {
  TableRig rig;
  rig.Send(1, 2, kPurposePoll, 1);
  rig.Send(2, 5, kPurposePoll, 2);
  rig.nowMs = 500;
  rig.table.RequestTableOp(kRequestTimeoutScan);
  EXPECT_TRUE(rig.expiries.empty());
  rig.nowMs = 501;
  rig.table.RequestTableOp(kRequestTimeoutScan);
  EXPECT_EQ(rig.expiries.size(), 1u);
  rig.nowMs = 1000;
  rig.table.RequestTableOp(kRequestRetryScan);
  EXPECT_TRUE(rig.resends.empty());
  rig.nowMs = 1001;
  rig.table.RequestTableOp(kRequestRetryScan);
  EXPECT_EQ(rig.resends.size(), 1u);
}

TEST(RequestTableTest, AClockSetBackCountsAsTimePassed) {
  TableRig rig;
  rig.nowMs = 5000;
  rig.Send(1, 2, kPurposePoll, 1);
  rig.nowMs = 4000;
  rig.table.RequestTableOp(kRequestTimeoutScan);
  EXPECT_EQ(rig.expiries.size(), 1u);
}

TEST(RequestTableTest, FindTakesTheFirstOfEqualIdsAndNeverANegativeId) {
  TableRig rig;
  TRequest a;
  a.RequestId = 0;
  a.OidList = "first";
  TRequest b = a;
  b.OidList = "second";
  rig.table.RequestTableOp(kRequestAdd, -1, &a);
  rig.table.RequestTableOp(kRequestAdd, -1, &b);
  EXPECT_EQ(rig.table.RequestTableOp(kRequestFind, 0)->OidList, "first");
  EXPECT_FALSE(rig.table.RequestTableOp(kRequestFind, -1).has_value());
  EXPECT_FALSE(rig.table.RequestTableOp(kRequestFind, 9).has_value());
  EXPECT_FALSE(rig.table.RequestTableOp(2, 0).has_value());  // no such code
}

TEST(RequestTableTest, PurgeRemovesFinishedRecordsOnly) {
  TableRig rig;
  for (uint32_t id : {1u, 2u, 3u}) {
    TRequest r;
    r.RequestId = id;
    r.TriesLeft = id == 2 ? 0 : -1;
    rig.table.RequestTableOp(kRequestAdd, -1, &r);
  }
  rig.table.RequestTableOp(kRequestPurge);
  const std::vector<TRequest> left = rig.table.Snapshot();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].RequestId, 2u);
}

TEST(RequestTableTest, AClaimedRecordIsLeftAloneByTheScansUntilReleased) {
  TableRig rig;
  rig.Send(4, 5, kPurposePoll, 2);
  auto claim = rig.table.Claim(4);
  ASSERT_TRUE(claim.has_value());
  EXPECT_FALSE(claim->WasFinished);
  rig.nowMs = 5000;
  rig.table.RequestTableOp(kRequestRetryScan);
  rig.table.RequestTableOp(kRequestTimeoutScan);
  rig.table.RequestTableOp(kRequestPurge);
  EXPECT_TRUE(rig.resends.empty());
  EXPECT_TRUE(rig.expiries.empty());
  ASSERT_EQ(rig.table.Snapshot().size(), 1u);
  rig.table.Release(*claim);
  // Finished, still found until the purge, then gone.
  auto again = rig.table.Claim(4);
  ASSERT_TRUE(again.has_value());
  EXPECT_TRUE(again->WasFinished);
  rig.table.Release(*again);
  rig.table.RequestTableOp(kRequestPurge);
  EXPECT_TRUE(rig.table.Snapshot().empty());
}

TEST(RequestTableTest, EveryOperationWorksOnAnEmptyTable) {
  TableRig rig;
  for (int code : {kRequestFind, kRequestRetryScan, kRequestTimeoutScan, kRequestPurge})
    EXPECT_FALSE(rig.table.RequestTableOp(code, 1).has_value());
  EXPECT_FALSE(rig.table.Claim(1).has_value());
}

}  // namespace
}  // namespace kestrava
