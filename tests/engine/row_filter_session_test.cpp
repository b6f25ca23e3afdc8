// The row filters end to end against the scripted fake agent: fifty interfaces of mixed types,
// some of them down. Refused rows are never polled, "Other" sums only rows that pass, the
// status line says how many were left out, a refresh follows an interface going down, and the
// window's filter hides slices without changing what is polled.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "engine/session.h"
#include "engine_rig.h"
#include "fake_agent.h"

namespace kestrava {
namespace {

using testing::FakeAgent;
using testing::FastClock;
using testing::RecordingWindow;
using testing::SuffixesOf;
using testing::WaitFor;

const std::string kIn = "1.3.6.1.2.1.2.2.1.10";
const std::string kType = "1.3.6.1.2.1.2.2.1.3";
const std::string kOper = "1.3.6.1.2.1.2.2.1.8";
constexpr int kRows = 50;

// Row i: every fifth a loopback, every fifth after it a VLAN, the rest Ethernet; every seventh
// down. Its counter rises by i each poll.
int TypeOf(int i) {
  return i % 5 == 0 ? 24 : i % 5 == 1 ? 135 : 6;
}
bool UpOf(int i) {
  return i % 7 != 0;
}

class RowFilterSession : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(agent.ok());
    agent.FillInterfaceTable(kRows);
    for (int i = 1; i <= kRows; ++i) {
      agent.SetValue(kType + "." + std::to_string(i), 2, std::to_string(TypeOf(i)));
      agent.SetValue(kOper + "." + std::to_string(i), 2, UpOf(i) ? "1" : "2");
    }
    window.onPoll = [this] {
      for (int i = 1; i <= kRows; ++i) agent.AdvanceCounter(kIn + "." + std::to_string(i), i);
    };
  }
  void TearDown() override {
    if (session) session->Stop();
    session.reset();
    fast.Stop();
  }
  void Start(const std::string& filterElements, const std::string& instance = "ALL INSTANCES",
             const std::string& moreTargets = "", int version = 2) {
    config = std::make_unique<testing::ConfigFile>(
        std::string("row_filter_") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".xml",
        "<?xml version=\"1.0\"?><kestrava><host>127.0.0.1</host><community>cobalt</community>"
        "<pollinginterval>1</pollinginterval><slices>5</slices>" +
            filterElements + "<shooter><remoteport>" + std::to_string(agent.port()) +
            "</remoteport><snmpversion>" + std::to_string(version) +
            "</snmpversion><shootertargets><shootertarget><oid>" + kIn + "</oid><instance>" +
            instance + "</instance><visible>true</visible></shootertarget>" + moreTargets +
            "<shootertarget><oid>AL=" +
            "1.3.6.1.2.1.2.2.1.2</oid></shootertarget></shootertargets></shooter></kestrava>");
    session = std::make_unique<TSession>(window, fast.Clock());
    session->AddSink(window);
    session->Start({"/XML", config->path()});
  }
  // The instances of the counter column that any poll asked for.
  std::set<std::string> Polled() {
    std::set<std::string> out;
    for (const FakeAgent::Request& r : agent.Log()) {
      for (const std::string& oid : r.Oids)
        if (r.PduType == 0xA0 && oid.rfind(kIn + ".", 0) == 0) out.insert(oid.substr(kIn.size()));
    }
    return out;
  }

  FakeAgent agent;
  RecordingWindow window;
  FastClock fast{10};
  std::unique_ptr<testing::ConfigFile> config;
  std::unique_ptr<TSession> session;
};

TEST_F(RowFilterSession, TypeAndStateFiltersLeaveRowsUnpolledAndOutOfOther) {
  Start("<iftype>ethernetCsmacd</iftype><uponly>true</uponly>");
  std::vector<std::string> want;
  int sumOfRest = 0;
  for (int i = kRows; i >= 1; --i) {
    if (TypeOf(i) != 6 || !UpOf(i)) continue;
    want.push_back("." + std::to_string(i));
    if (want.size() > 4) sumOfRest += i;  // the four largest get slices of their own
  }
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 2; }));
  std::vector<std::string> rows = SuffixesOf(session->Rows());
  std::sort(rows.begin(), rows.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(rows, want);
  EXPECT_EQ(Polled(), std::set<std::string>(want.begin(), want.end()));

  // Largest deltas first: rows 48, 47, 44, 43 (50 and 45 are loopbacks, 49 and 42 down, 46 a
  // VLAN).
  ASSERT_EQ(window.slices.size(), 5u);
  EXPECT_EQ(window.slices[0].Label, "ifInOctets_eth47");  // row 48
  EXPECT_EQ(window.slices[0].Value, 48);
  EXPECT_EQ(window.slices[4].Label, "Other");
  EXPECT_EQ(window.slices[4].Value, sumOfRest);
  const int left = kRows - static_cast<int>(want.size());
  EXPECT_EQ(TStatusSink::PollingText(*session->LastSnapshot()),
            "Polling " + std::to_string(want.size()) + " rows every 1 s, " + std::to_string(left) +
                " filtered out");
  EXPECT_TRUE(window.stopped.empty());
}

TEST_F(RowFilterSession, AnSnmpV1AgentWithoutOneRowsTypeLosesOnlyThatRow) {
  // SNMPv1 refuses a whole get for the one instance it lacks (noSuchName): the other rows of
  // that request must still be judged by their own type.
  agent.RemoveValue(kType + ".3");
  Start("<iftype>ethernetCsmacd</iftype>", "ALL INSTANCES", "", 1);
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }));
  std::set<std::string> want;
  for (int i = 1; i <= kRows; ++i) {
    if (TypeOf(i) == 6 && i != 3) want.insert("." + std::to_string(i));
  }
  const std::vector<std::string> rows = SuffixesOf(session->Rows());
  EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()), want);
  EXPECT_TRUE(window.stopped.empty());
}

TEST_F(RowFilterSession, LabelFiltersNeedNoQuestionsToTheAgent) {
  // eth10..eth19 and eth30..eth39, but not the ones ending in 5.
  Start("<include>^eth[13][0-9]$</include><exclude>5$</exclude>");
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }));
  EXPECT_EQ(session->Rows().size(), 18u);
  for (const FakeAgent::Request& r : agent.Log()) {
    for (const std::string& oid : r.Oids)
      EXPECT_TRUE(oid.rfind(kType, 0) != 0 && oid.rfind(kOper, 0) != 0) << oid;
  }
  EXPECT_EQ(Polled().size(), 18u);
}

TEST_F(RowFilterSession, ARefreshDropsAnInterfaceThatWentDownAndTakesOneThatCameUp) {
  Start("<uponly>true</uponly><refreshinstances>true</refreshinstances>");
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }));
  const auto has = [&](const std::string& suffix) {
    const std::vector<std::string> rows = SuffixesOf(session->Rows());
    return std::find(rows.begin(), rows.end(), suffix) != rows.end();
  };
  ASSERT_TRUE(has(".1"));
  ASSERT_FALSE(has(".7"));
  agent.SetValue(kOper + ".1", 2, "2");
  agent.SetValue(kOper + ".7", 2, "1");
  ASSERT_TRUE(WaitFor([&] { return !has(".1") && has(".7"); }, 30000));
  // A new interface that is down changes no polled row, only the count of those left out.
  const auto status = [&] { return TStatusSink::PollingText(*session->LastSnapshot()); };
  EXPECT_EQ(status(), "Polling 43 rows every 1 s, 7 filtered out");
  agent.SetString("1.3.6.1.2.1.2.2.1.2.51", "eth50");
  agent.SetCounter32(kIn + ".51", 5);
  agent.SetValue(kType + ".51", 2, "6");
  agent.SetValue(kOper + ".51", 2, "2");
  ASSERT_TRUE(
      WaitFor([&] { return status() == "Polling 43 rows every 1 s, 8 filtered out"; }, 30000))
      << status();
}

TEST_F(RowFilterSession, EveryRowFilteredOutStopsWithTheReason) {
  Start("<iftype>gpon</iftype>");
  ASSERT_TRUE(WaitFor([&] { return !window.stopped.empty(); }));
  EXPECT_EQ(window.stopped[0], "50 instances found, every one left out by the row filters");
  EXPECT_TRUE(Polled().empty());
}

TEST_F(RowFilterSession, AtRuntimeAnEntryWhoseRowsAreAllLeftOutSaysSo) {
  // Instance 7 is down; picking it polls nothing, picking 8 polls it.
  Start("<uponly>true</uponly><preferredinstance>7</preferredinstance>", "AT RUNTIME",
        "<shootertarget><oid>IM=RT</oid></shootertarget>");
  ASSERT_TRUE(WaitFor([&] { return window.instanceMaskSelected >= 0; }));
  ASSERT_TRUE(WaitFor([&] {
    return window.status == "This entry's 1 instance: every one left out by the row filters";
  })) << window.status;
  EXPECT_TRUE(session->Rows().empty());
  session->ChooseInstance(static_cast<int>(
      std::find(window.instanceMaskItems.begin(), window.instanceMaskItems.end(), "8") -
      window.instanceMaskItems.begin()));
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 2; }));
  EXPECT_EQ(SuffixesOf(session->Rows()), std::vector<std::string>{".8"});
  EXPECT_EQ(Polled(), std::set<std::string>{".8"});
}

TEST_F(RowFilterSession, TheWindowsFilterHidesSlicesButKeepsPolling) {
  Start("");
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 2; }));
  EXPECT_FALSE(session->SetShownFilter("eth("));
  ASSERT_TRUE(session->SetShownFilter("ETH1[0-9]$"));
  // At once, from the same values: eth10..eth19 are rows 11..20.
  ASSERT_EQ(window.slices.size(), 5u);
  EXPECT_EQ(window.slices[0].Label, "ifInOctets_eth19");
  EXPECT_EQ(window.slices[4].Label, "Other");
  EXPECT_EQ(window.slices[4].Value, 11 + 12 + 13 + 14 + 15 + 16);
  const size_t before = agent.Log().size();
  ASSERT_TRUE(WaitFor([&] { return agent.Log().size() > before + 4; }));
  EXPECT_EQ(Polled().size(), static_cast<size_t>(kRows));
  EXPECT_EQ(session->Rows().size(), static_cast<size_t>(kRows));
  ASSERT_TRUE(session->SetShownFilter(""));
  EXPECT_EQ(window.slices[0].Label, "ifInOctets_eth49");
}

}  // namespace
}  // namespace kestrava
