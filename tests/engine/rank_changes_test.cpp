// Changes of the ranking as sequences of tops: who entered, left, rose or fell, and what the
// event list says of it.
#include "engine/rank_changes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrava {
namespace {

struct Case {
  const char* name;
  int places;
  std::vector<std::vector<int>> tops;  // one per poll, largest first
  std::vector<std::string> want;       // "poll: row text", in order
};

TEST(RankTracker, SequencesOfTops) {
  const Case cases[] = {
      {"the first poll sets the places", 3, {{1, 2, 3}}, {}},
      {"the same top is quiet", 3, {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}}, {}},
      {"an entry takes a place and pushes one out",
       3,
       {{1, 2, 3}, {4, 1, 2}},
       {"1: 4 entered the top 3 at rank 1", "1: 3 left the top 3 (rank 3)"}},
      {"moves of up to the set places are quiet", 3, {{1, 2, 3, 4, 5}, {4, 2, 3, 1, 5}}, {}},
      {"a move by more than the set places is told",
       2,
       {{1, 2, 3, 4, 5}, {4, 2, 3, 5, 1}},
       {"1: 4 rose from rank 4 to rank 1", "1: 1 fell from rank 1 to rank 5"}},
      {"no places: every move counts",
       0,
       {{1, 2}, {2, 1}},
       {"1: 2 rose from rank 2 to rank 1", "1: 1 fell from rank 1 to rank 2"}},
      {"a top that grows and empties",
       3,
       {{}, {7}, {7, 8}, {}},
       {"1: 7 entered the top 1 at rank 1", "2: 8 entered the top 2 at rank 2",
        "3: 7 left the top 0 (rank 1)", "3: 8 left the top 0 (rank 2)"}},
      {"one who leaves and comes back enters again",
       3,
       {{1, 2}, {1, 3}, {1, 2}},
       {"1: 3 entered the top 2 at rank 2", "1: 2 left the top 2 (rank 2)",
        "2: 2 entered the top 2 at rank 2", "2: 3 left the top 2 (rank 2)"}},
  };
  for (const Case& c : cases) {
    TRankTracker tracker(c.places);
    std::vector<std::string> got;
    for (size_t poll = 0; poll < c.tops.size(); ++poll) {
      for (const TRankEvent& event :
           tracker.Step(static_cast<int64_t>(poll) * 1000, c.tops[poll])) {
        EXPECT_EQ(event.TimeMs, static_cast<int64_t>(poll) * 1000) << c.name;
        got.push_back(std::to_string(poll) + ": " + std::to_string(event.Row) + " " +
                      RankChangeText(event));
      }
    }
    EXPECT_EQ(got, c.want) << c.name;
  }
}

TEST(ThresholdWatch, SequencesOfShares) {
  using Shares = std::vector<std::pair<int, double>>;
  const struct {
    const char* name;
    int threshold;
    std::vector<Shares> polls;
    std::vector<std::string> want;  // "poll: row text", in order
  } cases[] = {
      {"no threshold watches nothing", 0, {{{1, 99.0}}, {{1, 0.0}}}, {}},
      {"a row first seen above tells so at once",
       80,
       {{{1, 91.46}, {2, 10.0}}},
       {"0: 1 went above 80 % (91.5 %)"}},
      {"exactly the threshold is above", 80, {{{1, 80.0}}}, {"0: 1 went above 80 % (80.0 %)"}},
      {"hovering at the threshold tells once",
       80,
       {{{1, 79.0}}, {{1, 81.0}}, {{1, 75.0}}, {{1, 82.0}}, {{1, 72.5}}},
       {"1: 1 went above 80 % (81.0 %)"}},
      {"back below nine tenths of it is told, then above again",
       80,
       {{{1, 95.0}}, {{1, 71.9}}, {{1, 50.0}}, {{1, 85.0}}},
       {"0: 1 went above 80 % (95.0 %)", "1: 1 fell back below 80 % (71.9 %)",
        "3: 1 went above 80 % (85.0 %)"}},
      {"a row missing at a poll keeps where it stood",
       50,
       {{{1, 60.0}, {2, 60.0}}, {{2, 60.0}}, {{1, 60.0}, {2, 10.0}}},
       {"0: 1 went above 50 % (60.0 %)", "0: 2 went above 50 % (60.0 %)",
        "2: 2 fell back below 50 % (10.0 %)"}},
  };
  for (const auto& c : cases) {
    TThresholdWatch watch;
    watch.SetThreshold(c.threshold);
    std::vector<std::string> got;
    for (size_t poll = 0; poll < c.polls.size(); ++poll) {
      for (const TRankEvent& event : watch.Step(static_cast<int64_t>(poll), c.polls[poll])) {
        EXPECT_EQ(event.Threshold, c.threshold) << c.name;
        got.push_back(std::to_string(poll) + ": " + std::to_string(event.Row) + " " +
                      RankChangeText(event));
      }
    }
    EXPECT_EQ(got, c.want) << c.name;
  }
  // Another threshold starts over: who stood above tells again against the new one.
  TThresholdWatch watch;
  watch.SetThreshold(50);
  EXPECT_EQ(watch.Step(0, {{1, 60.0}}).size(), 1u);
  EXPECT_TRUE(watch.Step(1, {{1, 60.0}}).empty());
  watch.SetThreshold(55);
  EXPECT_EQ(watch.Step(2, {{1, 60.0}}).size(), 1u);
}

}  // namespace
}  // namespace kestrava
