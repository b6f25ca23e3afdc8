// The history behind the pie: what is kept for how long, at which resolution, what a frame of a
// past moment holds, and how much room it all takes. Time is the snapshots' own: each test makes
// its polls at the moments it wants.
#include "engine/history_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history_polls.h"

namespace kestrava {
namespace {

using testing::kMinute;
using testing::kStart;
using testing::PollEverySecond;
using testing::Polls;

TEST(HistoryStore, KeepsOnlyTheWindow) {
  THistoryStore store(2);
  const Polls polls(3, 2);  // one slice of its own and "Other"
  PollEverySecond(store, polls, 3, 300,
                  [](int row, int) { return row == 0 ? 1000.0 : 10.0 * row; });
  const int64_t newest = kStart + 299'000;
  ASSERT_GT(store.FrameCount(), 0);
  EXPECT_EQ(store.Frame(store.FrameCount() - 1).TimeMs, newest);
  EXPECT_EQ(store.Frame(0).TimeMs, newest - 2 * kMinute);
  EXPECT_EQ(store.FrameCount(), 121);
  EXPECT_EQ(store.FirstPoll(), 179u);
  for (int s = 0; s < store.SeriesCount(); ++s) {
    const std::vector<THistoryPoint> points = store.Points(s, 0, newest);
    ASSERT_FALSE(points.empty()) << s;
    // Minutes begin at the minute the window's start falls in; polls at the window's start.
    EXPECT_GE(points.front().TimeMs, newest - 3 * kMinute) << s;
    EXPECT_LE(store.Data(s).MinuteCount(), 3u) << s;
    EXPECT_LE(store.Data(s).Values.Size(), 121u) << s;
  }
  // A shorter window drops the rest with the next poll.
  store.SetWindowMinutes(1);
  PollEverySecond(
      store, polls, 3, 1, [](int, int) { return 5.0; }, 300);
  EXPECT_EQ(store.FrameCount(), 61);
}

TEST(HistoryStore, RowsOutsideThePieKeepMinutesTheTopKeepsEveryPoll) {
  THistoryStore store(60);
  const Polls polls(3, 2);
  // eth0 leads; eth1 goes 10, 20, ... within each minute; eth2 has no value in odd seconds.
  PollEverySecond(store, polls, 3, 180, [](int row, int t) {
    if (row == 0) return 1000.0 + t;
    if (row == 1) return 10.0 * (t % 60 + 1);
    return t % 2 ? NAN : 4.0;
  });
  const int top = store.SeriesOfSlot(0);
  const int other = store.SeriesOfSlot(1);
  const int sparse = store.SeriesOfSlot(2);
  EXPECT_EQ(store.Info(top).Label, "eth0");
  EXPECT_EQ(store.Info(other).Index, "2");
  EXPECT_EQ(store.Info(other).PolledOid, "1.3.6.1.2.1.2.2.1.10.2");
  EXPECT_TRUE(store.FullResolution(top));
  EXPECT_FALSE(store.FullResolution(other));
  EXPECT_FALSE(store.FullResolution(sparse));

  const std::vector<THistoryPoint> every = store.Points(top, 0, kStart + 180'000);
  ASSERT_EQ(every.size(), 180u);
  EXPECT_EQ(every[7].TimeMs, kStart + 7000);
  EXPECT_EQ(every[7].Mean, 1007.0f);
  EXPECT_EQ(every[7].Min, every[7].Max);

  const std::vector<THistoryPoint> minutes = store.Points(other, 0, kStart + 180'000);
  ASSERT_EQ(minutes.size(), 3u);
  for (int m = 0; m < 3; ++m) {
    EXPECT_EQ(minutes[static_cast<size_t>(m)].TimeMs, kStart + m * kMinute);
    EXPECT_EQ(minutes[static_cast<size_t>(m)].Min, 10.0f);
    EXPECT_EQ(minutes[static_cast<size_t>(m)].Max, 600.0f);
    EXPECT_FLOAT_EQ(minutes[static_cast<size_t>(m)].Mean, 305.0f);
  }
  // Missing values are no zeros.
  const THistoryStats sparseStats = store.Stats(sparse, 0, kStart + 180'000);
  EXPECT_EQ(sparseStats.Min, 4.0);
  EXPECT_EQ(sparseStats.Max, 4.0);
  EXPECT_EQ(store.Data(sparse).MinuteAt(0).Count, 30u);

  const THistoryStats stats = store.Stats(top, kStart + 10'000, kStart + 19'000);
  EXPECT_TRUE(stats.Any);
  EXPECT_EQ(stats.Current, 1019.0);
  EXPECT_EQ(stats.Min, 1010.0);
  EXPECT_EQ(stats.Max, 1019.0);
  EXPECT_DOUBLE_EQ(stats.Mean, 1014.5);
  EXPECT_FALSE(store.Stats(top, kStart - 5000, kStart - 1).Any);
}

TEST(HistoryStore, ARowBackToMinutesOnceOutOfThePieForTheWholeWindow) {
  THistoryStore store(1);
  const Polls polls(2, 2);
  // eth1 leads for ten seconds, then eth0 for good.
  PollEverySecond(store, polls, 2, 200,
                  [](int row, int t) { return (row == 1) == (t < 10) ? 100.0 : 1.0; });
  const int early = store.SeriesOfSlot(1);
  EXPECT_FALSE(store.FullResolution(early));
  EXPECT_TRUE(store.Data(early).Values.Empty());
  EXPECT_TRUE(store.FullResolution(store.SeriesOfSlot(0)));
}

TEST(HistoryStore, APinnedRowKeepsEveryPollFromThen) {
  THistoryStore store(60);
  const Polls polls(2, 2);
  PollEverySecond(store, polls, 2, 120, [](int row, int t) { return row == 0 ? 1000.0 : t; });
  const int pinned = store.SeriesOfSlot(1);
  store.Pin(pinned, true);
  PollEverySecond(
      store, polls, 2, 30, [](int row, int t) { return row == 0 ? 1000.0 : t; }, 120);
  ASSERT_TRUE(store.FullResolution(pinned));
  const std::vector<THistoryPoint> points = store.Points(pinned, 0, kStart + 150'000);
  // Two minutes as minutes, then each of the 30 polls since pinning.
  ASSERT_EQ(points.size(), 32u);
  EXPECT_EQ(points[1].TimeMs, kStart + kMinute);
  EXPECT_EQ(points[2].TimeMs, kStart + 120'000);
  EXPECT_EQ(points.back().Mean, 149.0f);
  // Pinned, it stays at full resolution after the pie's window has passed it by.
  THistoryStore shortStore(1);
  const int series = [&] {
    PollEverySecond(shortStore, polls, 2, 1, [](int row, int) { return row == 0 ? 9.0 : 1.0; });
    return shortStore.SeriesOfSlot(1);
  }();
  shortStore.Pin(series, true);
  PollEverySecond(
      shortStore, polls, 2, 300, [](int row, int) { return row == 0 ? 9.0 : 1.0; }, 1);
  EXPECT_TRUE(shortStore.FullResolution(series));
  EXPECT_EQ(shortStore.Data(series).Values.Size(), 61u);
}

TEST(HistoryStore, FramesKeepThePieOfEachMomentAndTheRanks) {
  THistoryStore store(60);
  const Polls polls(4, 3);  // two slices of their own and "Other"
  // eth0 > eth1 > eth2 > eth3 for a minute, then eth3 > eth2 > eth1 > eth0.
  PollEverySecond(store, polls, 4, 120,
                  [](int row, int t) { return t < 60 ? 100.0 - row : 100.0 + row; });
  const int eth0 = store.SeriesOfSlot(0);
  const int eth3 = store.SeriesOfSlot(3);
  const int at = store.FrameAt(kStart + 30'500);
  ASSERT_EQ(at, 30);
  const THistoryFrame& frame = store.Frame(at);
  ASSERT_EQ(frame.Slices.size(), 3u);
  EXPECT_EQ(frame.Slices[0].Series, eth0);
  EXPECT_EQ(frame.Slices[0].Value, 100.0);
  EXPECT_EQ(frame.Slices[2].Series, -1);
  EXPECT_EQ(frame.Slices[2].Value, 97.0 + 98.0);
  EXPECT_EQ(store.RankIn(eth0, at), 1);
  EXPECT_EQ(store.RankIn(eth3, at), 0);
  EXPECT_EQ(store.RankIn(eth3, store.FrameCount() - 1), 1);
  EXPECT_EQ(store.FrameAt(kStart - 1), -1);
  EXPECT_EQ(store.FrameAt(kStart + 10'000'000), 119);
  // One second a poll, in the top for the first minute.
  EXPECT_EQ(store.SecondsInTop(eth0, 119), 60.0);
  EXPECT_EQ(store.SecondsInTop(eth0, 9), 10.0);
  // The change of the ranking: eth3 and eth2 came in, eth0 and eth1 went.
  std::vector<std::string> seen;
  for (int e = 0; e < store.EventCount(); ++e) {
    seen.push_back(store.Info(store.Event(e).Row).Label + " " + RankChangeText(store.Event(e)));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "eth3 entered the top 2 at rank 1", "eth2 entered the top 2 at rank 2",
                      "eth0 left the top 2 (rank 1)", "eth1 left the top 2 (rank 2)"}));
}

TEST(HistoryStore, InTheUtilisationModeRowsCrossingTheThresholdAreEvents) {
  THistoryStore store(60);
  store.SetThreshold(80);
  const Polls polls(3, 4);
  const double speed = 8000;  // bits per second: a rate of 10 octets per second is 1 %
  // eth0 climbs to 90 % and falls back to 50 %; eth1 stays at 79 %; eth2 has no value.
  const double nan = std::nan("");
  store.TakeSnapshot(polls.Make(kStart, {700, 790, nan}, 1, false, speed));
  store.TakeSnapshot(polls.Make(kStart + 1000, {900, 790, nan}, 1, false, speed));
  EXPECT_EQ(store.LastEvents().size(), 1u);
  store.TakeSnapshot(polls.Make(kStart + 2000, {500, 790, nan}, 1, false, speed));
  // The same rates as changes: no utilisation, nothing crosses; back in utilisation, eth0 is
  // below and quiet, and tells again once above.
  store.TakeSnapshot(polls.Make(kStart + 3000, {900, 790, nan}));
  store.TakeSnapshot(polls.Make(kStart + 4000, {500, 790, nan}, 1, false, speed));
  store.TakeSnapshot(polls.Make(kStart + 5000, {950, 790, nan}, 1, false, speed));
  std::vector<std::string> seen;
  for (int e = 0; e < store.EventCount(); ++e) {
    const TRankEvent& event = store.Event(e);
    if (event.Change != TRankChange::kAbove && event.Change != TRankChange::kBelow) continue;
    seen.push_back(std::to_string((event.TimeMs - kStart) / 1000) + " " +
                   store.Info(event.Row).Label + " " + RankChangeText(event));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1 eth0 went above 80 % (90.0 %)",
                                            "2 eth0 fell back below 80 % (50.0 %)",
                                            "5 eth0 went above 80 % (95.0 %)"}));
}

TEST(HistoryStore, RowsThatGoAndComeBackStayInStepWithThePolls) {
  THistoryStore store(60);
  const Polls three(3, 0);
  const Polls two(2, 0);  // the same first two rows; the third is gone for a while
  PollEverySecond(store, three, 3, 10, [](int row, int t) { return row == 2 ? 500.0 + t : 1.0; });
  const int third = store.SeriesOfSlot(2);
  PollEverySecond(
      store, two, 2, 10, [](int, int) { return 1.0; }, 10);
  EXPECT_EQ(store.SeriesOfSlot(2), -1);
  PollEverySecond(
      store, three, 3, 10, [](int row, int t) { return row == 2 ? 500.0 + t : 1.0; }, 20);
  EXPECT_EQ(store.SeriesOfSlot(2), third);
  const std::vector<THistoryPoint> points = store.Points(third, 0, kStart + 60'000);
  ASSERT_EQ(points.size(), 20u);
  EXPECT_EQ(points[9].TimeMs, kStart + 9000);
  EXPECT_EQ(points[10].TimeMs, kStart + 20'000);
  EXPECT_EQ(points[10].Mean, 520.0f);
}

TEST(HistoryStore, RawModeKeepsTheRawValuesAndRepeatsAreNoPolls) {
  THistoryStore store(60);
  const Polls polls(1, 0);
  store.TakeSnapshot(polls.Make(kStart, {7}, 1, true));
  auto again = std::make_shared<TPollSnapshot>(*polls.Make(kStart + 500, {9}, 1, true));
  again->Fresh = false;
  store.TakeSnapshot(again);
  EXPECT_EQ(store.FrameCount(), 1);
  EXPECT_TRUE(store.Frame(0).RawValues);
  // The test's raw value is ten times the change.
  EXPECT_EQ(store.Stats(store.SeriesOfSlot(0), 0, kStart).Current, 70.0);
}

// The memory figure: within a bound worked out from what is kept, and steady once the window is
// full (a second hour costs nothing more than the first).
TEST(HistoryStore, MemoryStaysWithinItsBound) {
  constexpr int kRows = 1000;
  constexpr int kSlices = 9;
  THistoryStore store(5);
  const Polls polls(kRows, kSlices);
  // The leaders change every minute, so that many rows pass through the pie.
  const auto rate = [](int row, int t) {
    return static_cast<double>((row * 7919 + t / 60 * 104729) % 100003);
  };
  PollEverySecond(store, polls, kRows, 300, rate);
  const size_t first = store.MemoryBytes();
  PollEverySecond(store, polls, kRows, 600, rate, 300);
  const size_t second = store.MemoryBytes();
  EXPECT_LE(second, first + first / 10);
  // Per row: its record and texts and at most 8 minute places (the window's 6 and room); per
  // frame its slices; every poll of each row that had a slice within the window.
  size_t fullRows = 0;
  for (int s = 0; s < store.SeriesCount(); ++s) fullRows += store.FullResolution(s);
  EXPECT_LE(fullRows, static_cast<size_t>(6 * (kSlices - 1)));
  const size_t bound =
      kRows * (sizeof(THistoryStore::TSeriesData) + sizeof(TSeriesInfo) + 8 * 16 + 200) +
      512 * (sizeof(THistoryFrame) + kSlices * sizeof(TFrameSlice)) +
      fullRows * 512 * sizeof(float);
  EXPECT_LE(second, bound);
  EXPECT_GE(second, kRows * (sizeof(THistoryStore::TSeriesData) + 6 * 16));
}

}  // namespace
}  // namespace kestrava
