// Recordings: what a store holds comes back whole from its file, and files that are no
// recording, of a newer version, or damaged are refused with the reason, the store unchanged.
#include "engine/recording.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "history_polls.h"
#include "temp_dir.h"

namespace kestrava {
namespace {

using testing::kStart;
using testing::PollEverySecond;
using testing::Polls;
using testing_files::TempDir;

bool SamePoints(const std::vector<THistoryPoint>& a, const std::vector<THistoryPoint>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].TimeMs != b[i].TimeMs || a[i].Min != b[i].Min || a[i].Max != b[i].Max ||
        a[i].Mean != b[i].Mean)
      return false;
  }
  return true;
}

// A store of two and a half minutes of five rows whose leaders change, one row pinned, some
// values missing.
void Fill(THistoryStore& store) {
  const Polls polls(5, 3);
  PollEverySecond(store, polls, 5, 100, [](int row, int t) {
    if (row == 4 && t % 7 == 0) return std::nan("");
    return 100.0 * ((row + t / 20) % 5) + row + 0.25;
  });
  store.Pin(store.SeriesOfSlot(4), true);
  PollEverySecond(
      store, polls, 5, 50, [](int row, int t) { return 10.0 * row + t; }, 100);
  // Three polls of the utilisation mode: eth0 goes above the threshold and falls back.
  store.SetThreshold(50);
  for (int t = 150; t < 153; ++t) {
    const double eth0 = t == 151 ? 700 : 100;  // octets a second of 8,000 bit/s: 70 %, 10 %
    store.TakeSnapshot(polls.Make(kStart + t * 1000LL, {eth0, 10, 10, 10, 10}, 1, false, 8000));
  }
}

TEST(Recording, GivesBackWhatTheStoreHeld) {
  TempDir dir("kestrava-recording");
  const std::string path = (dir.path / "hour.ndjson.gz").string();
  THistoryStore store(2);
  Fill(store);
  std::ofstream(path, std::ios::binary) << RecordingBytes(store);
  std::string error;

  THistoryStore back;
  ASSERT_TRUE(ReadRecording(path, back, error)) << error;
  EXPECT_EQ(back.WindowMinutes(), 2);
  ASSERT_EQ(back.SeriesCount(), store.SeriesCount());
  ASSERT_EQ(back.FrameCount(), store.FrameCount());
  ASSERT_GT(store.EventCount(), 0);
  ASSERT_EQ(back.EventCount(), store.EventCount());
  const int64_t end = kStart + 150'000;
  for (int s = 0; s < store.SeriesCount(); ++s) {
    SCOPED_TRACE(store.Info(s).Label);
    EXPECT_EQ(back.Info(s).SliceLabel, store.Info(s).SliceLabel);
    EXPECT_EQ(back.Info(s).PolledOid, store.Info(s).PolledOid);
    EXPECT_EQ(back.Info(s).Index, store.Info(s).Index);
    EXPECT_EQ(back.FullResolution(s), store.FullResolution(s));
    EXPECT_EQ(back.Pinned(s), store.Pinned(s));
    EXPECT_TRUE(SamePoints(back.Points(s, 0, end), store.Points(s, 0, end)));
    EXPECT_EQ(back.SecondsInTop(s, back.FrameCount() - 1),
              store.SecondsInTop(s, store.FrameCount() - 1));
  }
  for (int f = 0; f < store.FrameCount(); ++f) {
    EXPECT_EQ(back.Frame(f).TimeMs, store.Frame(f).TimeMs);
    ASSERT_EQ(back.Frame(f).Slices.size(), store.Frame(f).Slices.size());
    for (size_t i = 0; i < store.Frame(f).Slices.size(); ++i) {
      EXPECT_EQ(back.Frame(f).Slices[i].Series, store.Frame(f).Slices[i].Series);
      EXPECT_EQ(back.Frame(f).Slices[i].Value, store.Frame(f).Slices[i].Value);
    }
  }
  int crossings = 0;
  for (int e = 0; e < store.EventCount(); ++e) {
    EXPECT_EQ(back.Event(e), store.Event(e));
    crossings += store.Event(e).Change == TRankChange::kAbove ||
                 store.Event(e).Change == TRankChange::kBelow;
  }
  EXPECT_EQ(crossings, 2);
}

void WriteGzip(const std::string& path, const std::string& text) {
  gzFile file = gzopen(path.c_str(), "wb");
  gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
  gzclose(file);
}

TEST(Recording, RefusesWhatItCannotRead) {
  TempDir dir("kestrava-recording");
  const std::string good = (dir.path / "good.ndjson.gz").string();
  {
    THistoryStore store(2);
    Fill(store);
    std::ofstream(good, std::ios::binary) << RecordingBytes(store);
  }
  std::ifstream in(good, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string head =
      R"({"format":"kestrava-recording","version":1,"window":1,"firstPoll":0})";
  const struct {
    const char* name;
    std::function<void(const std::string& path)> write;
    const char* want;
  } cases[] = {
      {"missing", [](const std::string&) {}, "No such file"},
      {"empty", [](const std::string& p) { std::ofstream(p).flush(); }, "empty"},
      {"a text file", [](const std::string& p) { std::ofstream(p) << "time,label\n"; },
       "line 1: not a line of a recording"},
      {"another format", [](const std::string& p) { WriteGzip(p, R"({"format":"other"})"); },
       "line 1: not a Kestrava recording"},
      {"a newer version",
       [](const std::string& p) {
         WriteGzip(p, R"({"format":"kestrava-recording","version":2})"
                      "\n");
       },
       "format version 2; this Kestrava reads version 1"},
      {"a slice of no row",
       [&](const std::string& p) { WriteGzip(p, head + "\n" + R"({"poll":5,"pie":[[0,1]]})"); },
       "line 2: a slice of no row"},
      {"cut short",
       [&](const std::string& p) {
         std::ofstream(p, std::ios::binary) << bytes.substr(0, bytes.size() - 40);
       },
       "damaged"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = (dir.path / "bad.ndjson.gz").string();
    c.write(path);
    THistoryStore store;
    Fill(store);
    const int frames = store.FrameCount();
    std::string error;
    EXPECT_FALSE(ReadRecording(path, store, error));
    EXPECT_NE(error.find(c.want), std::string::npos) << error;
    EXPECT_EQ(store.FrameCount(), frames);
    std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace kestrava
