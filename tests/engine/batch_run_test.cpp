// A run of batched requests: the cut into batches of 15, the window of requests in flight, and
// what finishing a request tells.
#include "engine/batch_run.h"

#include <gtest/gtest.h>

#include "shared/item_list.h"

namespace kestrava {
namespace {

std::string Oids(int n) {
  std::string list;
  for (int i = 1; i <= n; ++i) AppendItem(list, "1.3.6.1.2.1.2.2.1.10." + std::to_string(i));
  return list;
}

TEST(BatchRunTest, BatchesOfFifteenWithinAWindow) {
  const struct {
    int oids;
    size_t batchesAtOnce;  // what goes out before any answer
    int lastBatchOids;
  } cases[] = {{0, 0, 0}, {1, 1, 1}, {15, 1, 15}, {16, 2, 1}, {480, 32, 15}, {1000, 32, 15}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.oids);
    TRequest request;
    request.Community = "cobalt";
    request.OidList = "ignored\x1F";
    TBatchRun run;
    run.StartOwning(request, Oids(c.oids));
    TRequest batch;
    int first = 0;
    std::vector<int> firsts;
    uint32_t id = 100;
    while (run.NextBatch(batch, first)) {
      EXPECT_EQ(batch.Community, "cobalt");
      EXPECT_EQ(batch.OidList.rfind("1.3.6", 0), 0u);
      run.InFlight(++id, first);
      firsts.push_back(first);
    }
    ASSERT_EQ(firsts.size(), c.batchesAtOnce);
    if (!firsts.empty()) {
      EXPECT_EQ(CountItems(batch.OidList), c.lastBatchOids);
    }
    for (size_t i = 0; i < firsts.size(); ++i) EXPECT_EQ(firsts[i], static_cast<int>(i) * 15);
    // An answer makes room for exactly one more.
    if (run.HasMore()) {
      EXPECT_EQ(run.Finish(101), 0);
      EXPECT_TRUE(run.NextBatch(batch, first));
      EXPECT_EQ(first, 32 * 15);
      run.InFlight(++id, first);
      EXPECT_FALSE(run.NextBatch(batch, first));
    }
  }
}

TEST(BatchRunTest, FinishingTellsWhereTheRequestStood) {
  TBatchRun run;
  run.StartOwning(TRequest(), Oids(40));
  TRequest batch;
  int first = 0;
  ASSERT_TRUE(run.NextBatch(batch, first));
  run.InFlight(7, first);
  run.InFlight(8, -1);  // a request of the run outside its list
  EXPECT_EQ(run.Finish(7), 0);
  EXPECT_EQ(run.Finish(7), std::nullopt);  // once only
  EXPECT_EQ(run.Finish(8), -1);
  EXPECT_EQ(run.Finish(9), std::nullopt);  // not the run's
  // A new start keeps counting what is still in flight.
  run.InFlight(10, 15);
  run.Start(TRequest(), "a\x1F");
  EXPECT_EQ(run.Finish(10), 15);
  run.Stop();
  EXPECT_FALSE(run.HasMore());
}

TEST(BatchRunTest, WhatIsAskedAgainLeavesBeforeTheRestOfTheList) {
  TBatchRun run;
  run.StartOwning(TRequest(), Oids(16));
  TRequest batch;
  int first = 0;
  ASSERT_TRUE(run.NextBatch(batch, first));  // OIDs 1..15
  run.InFlight(1, first);
  run.AskAgain("x\x1Fy\x1F");
  run.AskAgain("");  // nothing left to ask: no request
  ASSERT_TRUE(run.NextBatch(batch, first));
  EXPECT_EQ(batch.OidList, "x\x1Fy\x1F");
  EXPECT_EQ(first, -1);
  run.InFlight(2, first);
  ASSERT_TRUE(run.NextBatch(batch, first));
  EXPECT_EQ(first, 15);
  EXPECT_FALSE(run.HasMore());

  // A stopped run asks nothing again either.
  run.AskAgain("z\x1F");
  EXPECT_TRUE(run.HasMore());
  run.Stop();
  EXPECT_FALSE(run.HasMore());
}

}  // namespace
}  // namespace kestrava
