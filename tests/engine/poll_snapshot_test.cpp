// The session's way out: one immutable snapshot per evaluated poll to every sink, with typed
// values, changes, rates and their reasons when missing, the pie as the chart shows it, and the
// same values published again when the user changes what is shown. Two sessions in one process
// keep their own names and configuration.
#include "engine/poll_snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/session.h"
#include "engine_rig.h"
#include "fake_agent.h"

namespace kestrava {
namespace {

using testing::FakeAgent;
using testing::FastClock;
using testing::NullWindow;
using testing::WaitFor;

const std::string kDescr = "1.3.6.1.2.1.2.2.1.2";
const std::string kIn = "1.3.6.1.2.1.2.2.1.10";
const std::string kUptime = "1.3.6.1.2.1.1.3.0";

// Keeps every snapshot; a hook runs on each (on the window's thread).
class KeepingSink : public IPollSink {
 public:
  std::vector<TSnapshotPtr> snapshots;
  std::vector<std::string> ended;
  std::function<void(const TPollSnapshot&)> onSnapshot;
  std::function<void()> onTaken;  // after the hook: may let snapshots go
  void TakeSnapshot(const TSnapshotPtr& snapshot) override {
    snapshots.push_back(snapshot);
    if (onSnapshot) onSnapshot(*snapshot);
    if (onTaken) onTaken();
  }
  void SessionEnded(const std::string& message) override { ended.push_back(message); }
  int Fresh() const {
    int n = 0;
    for (const TSnapshotPtr& s : snapshots) n += s->Fresh;
    return n;
  }
};

// The configuration of a session that polls the octets in of every row, labelled by description.
std::string PollingConfig(int port, const std::string& inName) {
  return "<?xml version=\"1.0\"?><kestrava><host>127.0.0.1</host><community>cobalt</community>"
         "<pollinginterval>1</pollinginterval><shooter><remoteport>" +
         std::to_string(port) +
         "</remoteport><snmpversion>2</snmpversion><shootertargets>"
         "<shootertarget><oid>" +
         kIn + "</oid><oiddescr>" + inName +
         "</oiddescr><instance>ALL INSTANCES</instance><visible>true</visible>"
         "</shootertarget><shootertarget><oid>AL=" +
         kDescr + "</oid></shootertarget></shootertargets></shooter></kestrava>";
}

struct Rig {
  explicit Rig(const std::string& inName = "In")
      : config(std::string("snapshot_") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + inName +
                   ".xml",
               PollingConfig(agent.port(), inName)) {}
  ~Rig() {
    if (session) session->Stop();
    session.reset();
    clock.Stop();
  }
  void Start() {
    session = std::make_unique<TSession>(window, clock.Clock());
    session->AddSink(sink);
    session->Start({"/XML", config.path()});
  }
  bool WaitFresh(int n) {
    return WaitFor([&] { return sink.Fresh() >= n; }, 20000);
  }

  FakeAgent agent;
  testing::ConfigFile config;
  NullWindow window;
  FastClock clock{10};
  KeepingSink sink;
  std::unique_ptr<TSession> session;
};

TEST(PollSnapshot, CarriesTypedValuesChangesAndRatesOverTheAgentsTime) {
  Rig rig;
  rig.agent.FillInterfaceTable(3, 1000);
  const std::string longLabel = "a very long interface description of forty-odd characters";
  rig.agent.SetString(kDescr + ".2", longLabel);
  rig.agent.SetCounter32(kIn + ".3", 3000000000u);
  // Between two polls the agent's clock moves 5 s and the first row's counter 1,000 octets;
  // the third row's counter falls below 2^31 once: a wrap, not traffic.
  rig.sink.onSnapshot = [&](const TPollSnapshot& s) {
    if (!s.Fresh) return;
    rig.agent.AdvanceCounter(kUptime, 500);
    rig.agent.AdvanceCounter(kIn + ".1", 1000);
    if (rig.sink.Fresh() == 2) rig.agent.SetCounter32(kIn + ".3", 10);
  };
  rig.Start();
  ASSERT_TRUE(rig.WaitFresh(3));

  const TPollSnapshot& first = *rig.sink.snapshots.front();
  ASSERT_TRUE(first.Fresh);
  ASSERT_EQ(first.Slots.size(), 3u);
  EXPECT_EQ(first.Uptime, 100);
  EXPECT_EQ(first.Slots[0].Value.Type(), 0x41);  // Counter32, as the agent sent it
  EXPECT_EQ(first.Slots[0].Value.Text(), "1001");
  EXPECT_FALSE(first.Slots[0].Delta.Present);
  EXPECT_EQ(first.Slots[0].DeltaReason, TNullReason::kNoPrevious);
  EXPECT_FALSE(first.Slots[0].HasRate);

  // The snapshots of the same rows share their layout: names, labels whole and as the slices
  // show them, and the OIDs asked for.
  const TPollSnapshot& second = *rig.sink.snapshots[1];
  const TPollSnapshot& third = *rig.sink.snapshots[2];
  EXPECT_EQ(first.Layout, third.Layout);
  const TSnapshotLayout& layout = *third.Layout;
  EXPECT_EQ(layout.Port, rig.agent.port());
  ASSERT_EQ(layout.Columns.size(), 1u);
  EXPECT_EQ(layout.Columns[0].Name, "In");
  ASSERT_EQ(layout.Rows.size(), 3u);
  EXPECT_EQ(layout.Rows[1].Suffix, ".2");
  EXPECT_EQ(layout.Rows[1].Label, longLabel);
  // The labels are the discovery's own table, not a copy of it.
  EXPECT_EQ(&layout.Rows.Items(), &rig.session->Rows());
  EXPECT_EQ(layout.SliceLabels[1], "In_a very long interface d..//");
  EXPECT_EQ(layout.PolledOids[2], kIn + ".3");

  EXPECT_EQ(second.Uptime, 600);
  EXPECT_DOUBLE_EQ(second.Elapsed, 5.0);
  ASSERT_TRUE(second.Slots[0].Delta.Present);
  EXPECT_EQ(DeltaText(second.Slots[0].Delta), "1000.0");
  ASSERT_TRUE(second.Slots[0].HasRate);
  EXPECT_DOUBLE_EQ(second.Slots[0].Rate, 200.0);
  EXPECT_TRUE(second.Slots[1].HasRate);
  EXPECT_DOUBLE_EQ(second.Slots[1].Rate, 0.0);

  EXPECT_TRUE(third.Slots[2].Value.IsNull());
  EXPECT_EQ(third.Slots[2].Value.NullReason(), TNullReason::kWrapped);
  EXPECT_EQ(third.Slots[2].DeltaReason, TNullReason::kWrapped);
  EXPECT_FALSE(third.Slots[2].HasRate);
  // The pie is the delta pie of the same values, largest first.
  ASSERT_FALSE(third.Pie.empty());
  EXPECT_EQ(third.Pie[0].Label, "In_eth0");
  EXPECT_EQ(third.Pie[0].ValueText, "1000");
}

TEST(PollSnapshot, AMissingValueSaysWhy) {
  Rig rig;
  rig.agent.FillInterfaceTable(2, 1000);
  rig.Start();
  ASSERT_TRUE(rig.WaitFresh(1));
  rig.agent.RemoveValue(kIn + ".2");  // SNMPv2c: noSuchInstance, which is no number
  const int seen = rig.sink.Fresh();
  ASSERT_TRUE(rig.WaitFresh(seen + 1));
  const TPollSnapshot& last = *rig.sink.snapshots.back();
  EXPECT_TRUE(last.Slots[1].Value.IsNull());
  EXPECT_EQ(last.Slots[1].Value.NullReason(), TNullReason::kNotANumber);
  EXPECT_EQ(last.Slots[1].DeltaReason, TNullReason::kNotANumber);
  EXPECT_FALSE(last.Slots[0].Value.IsNull());
}

TEST(PollSnapshot, ASnapshotKeptStaysAsItWasWhilePollsGoOn) {
  // The session reuses the room of snapshots nobody holds any more; one a sink still holds must
  // never change under it, and the reused ones must carry only their own poll's values.
  Rig rig;
  rig.agent.FillInterfaceTable(3, 1000);
  std::vector<std::string> firstTexts;
  rig.sink.onSnapshot = [&](const TPollSnapshot& s) {
    if (!s.Fresh) return;
    for (int i = 1; i <= 3; ++i) rig.agent.AdvanceCounter(kIn + "." + std::to_string(i), 10 * i);
    if (firstTexts.empty())
      for (const TSlotReading& reading : s.Slots) firstTexts.push_back(reading.Value.Text());
  };
  rig.Start();
  ASSERT_TRUE(rig.WaitFresh(1));
  const TSnapshotPtr kept = rig.sink.snapshots.front();
  rig.sink.snapshots.erase(rig.sink.snapshots.begin() + 1, rig.sink.snapshots.end());
  // From here the sink drops each snapshot as it comes, so that their room is reused.
  std::vector<std::string> lastDeltas;
  int fresh = 0;
  rig.sink.onSnapshot = [&](const TPollSnapshot& s) {
    if (!s.Fresh) return;
    ++fresh;
    for (int i = 1; i <= 3; ++i) rig.agent.AdvanceCounter(kIn + "." + std::to_string(i), 10 * i);
    lastDeltas.clear();
    for (const TSlotReading& reading : s.Slots)
      lastDeltas.push_back(reading.Delta.Present
                               ? std::to_string(static_cast<uint64_t>(reading.Delta.Magnitude))
                               : "-");
  };
  rig.sink.onTaken = [&] { rig.sink.snapshots.resize(1); };
  ASSERT_TRUE(WaitFor([&] { return fresh >= 4; }, 20000));
  ASSERT_EQ(kept->Slots.size(), firstTexts.size());
  for (size_t i = 0; i < firstTexts.size(); ++i)
    EXPECT_EQ(kept->Slots[i].Value.Text(), firstTexts[i]) << i;
  EXPECT_FALSE(kept->Slots[0].Delta.Present);
  EXPECT_EQ(lastDeltas, (std::vector<std::string>{"10", "20", "30"}));
}

TEST(PollSnapshot, AChangeOfWhatIsShownPublishesTheSameValuesAgain) {
  Rig rig;
  rig.agent.FillInterfaceTable(4, 1000);
  rig.Start();
  ASSERT_TRUE(rig.WaitFresh(2));
  // A sink that leaves on its first snapshot gets no more, and the others still get theirs.
  KeepingSink leaving;
  leaving.onSnapshot = [&](const TPollSnapshot&) { rig.session->RemoveSink(leaving); };
  rig.session->AddSink(leaving);

  const TSnapshotPtr before = rig.sink.snapshots.back();
  const size_t count = rig.sink.snapshots.size();
  rig.session->SetValueMode(true);
  ASSERT_EQ(rig.sink.snapshots.size(), count + 1);
  const TPollSnapshot& again = *rig.sink.snapshots.back();
  EXPECT_FALSE(again.Fresh);
  EXPECT_TRUE(again.RawValues);
  EXPECT_EQ(again.TimeMs, before->TimeMs);
  ASSERT_EQ(again.Slots.size(), before->Slots.size());
  for (size_t i = 0; i < again.Slots.size(); ++i)
    EXPECT_EQ(again.Slots[i].Value.Text(), before->Slots[i].Value.Text()) << i;
  // The raw pie ranks the counters themselves: eth3's is the largest.
  ASSERT_FALSE(again.Pie.empty());
  EXPECT_EQ(again.Pie[0].Label, "In_eth3");

  const std::vector<std::string>& choices = rig.session->Config().SliceItems;
  const auto three = std::find(choices.begin(), choices.end(), "3");
  ASSERT_NE(three, choices.end());
  rig.session->SetSliceChoice(static_cast<int>(three - choices.begin()));  // two and "Other"
  EXPECT_EQ(rig.sink.snapshots.back()->Pie.size(), 3u);
  EXPECT_EQ(rig.sink.snapshots.back()->Pie.back().Label, "Other");
  EXPECT_EQ(leaving.snapshots.size(), 1u);
  // The snapshot handed out stays as it was.
  EXPECT_FALSE(before->RawValues);
}

TEST(PollSnapshot, ASessionThatStopsTellsItsSinks) {
  Rig rig;
  rig.agent.SetSilent(true);
  rig.Start();
  ASSERT_TRUE(WaitFor([&] { return !rig.sink.ended.empty(); }, 30000));
  EXPECT_EQ(rig.sink.ended.front(), "Timeout while collecting instances!");
  EXPECT_TRUE(rig.sink.snapshots.empty());
}

// The status line as a window shows it: a text, cleared, or an idle text when it is empty.
class StatusLine : public NullWindow {
 public:
  std::string text;
  void ShowStatus(const std::string& t) override { text = t; }
  void ClearStatus() override { text.clear(); }
  void ShowIdleStatus(const std::string& t) override {
    if (text.empty()) text = t;
  }
};

TEST(PollSnapshot, TheStatusLineSaysWhatIsPolledUnlessAProblemStandsThere) {
  FakeAgent agent;
  agent.FillInterfaceTable(3, 1000);
  const testing::ConfigFile config("snapshot_status.xml", PollingConfig(agent.port(), "In"));
  StatusLine window;
  FastClock clock(10);
  KeepingSink sink;
  TSession session(window, clock.Clock());
  session.AddSink(sink);
  session.Start({"/XML", config.path()});
  ASSERT_TRUE(WaitFor([&] { return sink.Fresh() >= 1; }, 20000));
  EXPECT_EQ(window.text, "Polling 3 rows every 1 s");

  // An answer with an error status during a poll keeps its message on the line.
  agent.SetErrorFor(kIn + ".2", 5, 1);
  const int seen = sink.Fresh();
  ASSERT_TRUE(WaitFor([&] { return sink.Fresh() >= seen + 2; }, 20000));
  EXPECT_NE(window.text.find("genErr"), std::string::npos) << window.text;
  session.Stop();
  clock.Stop();
}

TEST(PollSnapshot, TwoSessionsPollTwoAgentsWithNamesOfTheirOwn) {
  Rig left("Left in");
  Rig right("Right in");
  left.agent.FillInterfaceTable(2, 1000);
  right.agent.FillInterfaceTable(3, 5000);
  left.Start();
  right.Start();
  ASSERT_TRUE(left.WaitFresh(2));
  ASSERT_TRUE(right.WaitFresh(2));
  EXPECT_EQ(left.sink.snapshots.back()->Layout->SliceLabels[0], "Left in_eth0");
  EXPECT_EQ(right.sink.snapshots.back()->Layout->SliceLabels[2], "Right in_eth2");
  EXPECT_EQ(left.sink.snapshots.back()->Slots.size(), 2u);
  EXPECT_EQ(right.sink.snapshots.back()->Slots[0].Value.Text(), "5001");

  // One session's end takes nothing from the other.
  left.session->Stop();
  const int seen = right.sink.Fresh();
  ASSERT_TRUE(right.WaitFresh(seen + 1));
  EXPECT_EQ(right.sink.snapshots.back()->Layout->Columns[0].Name, "Right in");
  EXPECT_EQ(right.session->Config().OidNames.Name(kIn), "Right in");
}

}  // namespace
}  // namespace kestrava
