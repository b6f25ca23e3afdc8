// The engine end to end against the scripted fake agent on 127.0.0.1: discovery in both modes,
// polls in batches, raw and delta values, wraps, errors, expiry, late and duplicate answers,
// formulas, hidden targets, the slice list and "Other", refresh, and closing during a poll.
#include "engine/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "engine_rig.h"
#include "fake_agent.h"
#include "snmp/codec.h"

namespace kestrava {
namespace {

using testing::FakeAgent;
using testing::FastClock;
using testing::LabelsOf;
using testing::RecordingWindow;
using testing::Slice;
using testing::SuffixesOf;
using testing::WaitFor;

const std::string kDescr = "1.3.6.1.2.1.2.2.1.2";
const std::string kIn = "1.3.6.1.2.1.2.2.1.10";
const std::string kOut = "1.3.6.1.2.1.2.2.1.16";

std::string Target(const std::string& oid, const std::string& instance = "ALL INSTANCES",
                   bool visible = true) {
  return "<shootertarget><oid>" + oid + "</oid><instance>" + instance + "</instance><visible>" +
         (visible ? "true" : "false") + "</visible></shootertarget>";
}
std::string Formula(const std::string& formula) {
  return "<shootertarget><oid>FORMULA</oid><formula>" + formula + "</formula></shootertarget>";
}
std::string Label(const std::string& oid) {
  return "<shootertarget><oid>AL=" + oid + "</oid></shootertarget>";
}
std::string Mask(const std::string& mask) {
  return "<shootertarget><oid>IM=" + mask + "</oid></shootertarget>";
}

struct Options {
  int interval = 1;
  int version = 2;
  bool raw = false;
  std::string extra;  // more top-level elements
};

std::string Xml(int port, const std::string& targets, const Options& o) {
  return "<?xml version=\"1.0\"?><kestrava><host>127.0.0.1</host><community>cobalt</community>"
         "<pollinginterval>" +
         std::to_string(o.interval) + "</pollinginterval>" + o.extra + "<shooter><raw>" +
         (o.raw ? "true" : "false") + "</raw><remoteport>" + std::to_string(port) +
         "</remoteport><snmpversion>" + std::to_string(o.version) +
         "</snmpversion><shootertargets>" + targets + "</shootertargets></shooter></kestrava>";
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(agent.ok()); }
  void TearDown() override {
    if (session) session->Stop();
    session.reset();
    fast.Stop();
    files.clear();
  }
  // Writes a configuration file that lives until the test ends; returns its path.
  std::string Config(const std::string& name, const std::string& xml) {
    files.push_back(std::make_unique<testing::ConfigFile>(name, xml));
    return files.back()->path();
  }
  void Start(const std::vector<std::string>& args) {
    session = std::make_unique<TSession>(window, fast.Clock());
    session->AddSink(window);
    session->Start(args);
  }
  void StartXml(const std::string& targets, const Options& options = {}) {
    const std::string name = std::string("engine_") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                             ".xml";
    Start({"/XML", Config(name, Xml(agent.port(), targets, options))});
  }
  bool WaitFeeds(int more) {
    const int until = window.feeds + more;
    return WaitFor([&] { return window.feeds >= until; });
  }
  bool WaitInstances(size_t n) {
    return WaitFor(
        [&] { return SuffixesOf(session->Rows()).size() == n && window.intervalGroupVisible; });
  }
  int GetsWith(size_t oids) {
    int n = 0;
    for (const FakeAgent::Request& r : agent.Log()) n += r.PduType == 0xA0 && r.Oids.size() == oids;
    return n;
  }
  static std::vector<std::string> Suffixes(int n) {
    std::vector<std::string> out;
    for (int i = 1; i <= n; ++i) out.push_back("." + std::to_string(i));
    return out;
  }

  FakeAgent agent;
  RecordingWindow window;
  FastClock fast{10};
  std::vector<std::unique_ptr<testing::ConfigFile>> files;
  std::unique_ptr<TSession> session;
};

TEST_F(SessionTest, BuiltInTargetDiscoversPollsAndShowsDeltasNamedAfterTheLabels) {
  agent.FillInterfaceTable(3);
  Start({"/HOST", "127.0.0.1", "/PORT", std::to_string(agent.port()), "/POLLINGINTERVAL", "1"});
  ASSERT_TRUE(WaitInstances(3));
  EXPECT_EQ(SuffixesOf(session->Rows()), Suffixes(3));
  EXPECT_EQ(LabelsOf(session->Rows()), (std::vector<std::string>{"eth0", "eth1", "eth2"}));
  std::vector<std::string> detected;
  for (const std::string& s : window.statuses)
    if (s.rfind("Instance ", 0) == 0) detected.push_back(s);
  EXPECT_EQ(detected.back(), "Instance .3 detected");
  EXPECT_TRUE(window.toolbarEnabled);
  EXPECT_EQ(session->Config().LastSlot, 2);

  window.onFeed = [&] {
    for (int i = 1; i <= 3; ++i) agent.AdvanceCounter(kIn + "." + std::to_string(i), i * 100);
  };
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 2; }));
  const std::vector<Slice> want = {
      {"ifInOctets_eth2", 300, 0}, {"ifInOctets_eth1", 200, 1}, {"ifInOctets_eth0", 100, 2}};
  EXPECT_EQ(window.slices, want);
  EXPECT_FALSE(window.initializingVisible);
  // The poll asks for the target of every row.
  bool asked = false;
  for (const FakeAgent::Request& r : agent.Log())
    asked |=
        r.PduType == 0xA0 && r.Oids == std::vector<std::string>{kIn + ".1", kIn + ".2", kIn + ".3"};
  EXPECT_TRUE(asked);

  // RAW feeds again at once from the same histories.
  window.onFeed = nullptr;
  const int feeds = window.feeds;
  session->SetValueMode(true);
  EXPECT_EQ(window.feeds, feeds + 1);
  ASSERT_EQ(window.slices.size(), 3u);
  EXPECT_EQ(window.slices[0].Label, "ifInOctets_eth2");
  EXPECT_EQ(window.slices[0].Value, std::stod(session->History(2).back()));
  EXPECT_GT(window.slices[0].Value, 1000);
  EXPECT_TRUE(window.stopped.empty());
}

TEST_F(SessionTest, TwentyOidsGoOutAsFifteenAndFiveAndAreEvaluatedOnce) {
  agent.FillInterfaceTable(10);
  Options raw;
  raw.raw = true;
  StartXml(Target(kIn) + Target(kOut) + Label(kDescr), raw);
  ASSERT_TRUE(WaitInstances(10));
  EXPECT_EQ(session->Config().LastSlot, 19);
  ASSERT_TRUE(WaitFeeds(3));
  const int polls = GetsWith(15);
  EXPECT_EQ(GetsWith(5), polls);
  EXPECT_GE(polls, 3);
  // One evaluation per poll; at most the newest poll is still on its way.
  EXPECT_LE(polls - window.feeds, 1);
  EXPECT_GE(polls - window.feeds, 0);
  for (int slot = 0; slot < 20; ++slot) {
    const std::vector<std::string>& history = session->History(slot);
    ASSERT_EQ(history.size(), 5u);
    const int row = slot / 2 + 1;
    const uint32_t want = slot % 2 == 0 ? 1000 + row : 1000 + 2 * row;
    EXPECT_EQ(history.back(), std::to_string(want)) << slot;
  }
  EXPECT_EQ(window.slices.size(), 20u);
  EXPECT_EQ(window.slices[0].Label, "ifOutOctets_eth9");
  // The poll's OIDs are the plan's alone: the poll job holds no copy of them.
  for (const TMyTimerRec& job : session->ScheduleSnapshot())
    EXPECT_EQ(job.Request.OidList, "") << job.Kind;
}

TEST_F(SessionTest, SliceListChoosesHowManySlicesAndTheRestGoesToOther) {
  agent.FillInterfaceTable(4);
  const uint32_t values[] = {50, 30, 20, 10};
  for (int i = 0; i < 4; ++i) agent.SetCounter32(kIn + "." + std::to_string(i + 1), values[i]);
  Options raw;
  raw.raw = true;
  StartXml(Target(kIn) + Label(kDescr), raw);
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }));
  const std::vector<std::string>& items = session->Config().SliceItems;
  auto index = [&](const std::string& text) {
    return static_cast<int>(std::find(items.begin(), items.end(), text) - items.begin());
  };
  struct Case {
    std::string entry;
    std::vector<Slice> want;
  };
  const Case cases[] = {
      {"3", {{"ifInOctets_eth0", 50, 0}, {"ifInOctets_eth1", 30, 1}, {"Other", 30, 2}}},
      {"Any",
       {{"ifInOctets_eth0", 50, 0},
        {"ifInOctets_eth1", 30, 1},
        {"ifInOctets_eth2", 20, 2},
        {"ifInOctets_eth3", 10, 3}}},
      {"5",
       {{"ifInOctets_eth0", 50, 0},
        {"ifInOctets_eth1", 30, 1},
        {"ifInOctets_eth2", 20, 2},
        {"ifInOctets_eth3", 10, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    const int feeds = window.feeds;
    session->SetSliceChoice(index(c.entry));
    EXPECT_EQ(window.feeds, feeds + 1);  // fed again at once
    EXPECT_EQ(window.slices, c.want);
  }
}

TEST_F(SessionTest, WrapsFallsAndNonNumbersBecomeWhatTheHistoriesShow) {
  agent.FillInterfaceTable(4);
  agent.SetCounter32(kIn + ".1", 4294967000u);
  agent.SetCounter32(kIn + ".2", 1000);
  agent.SetString(kIn + ".3", "abc");
  agent.SetValue(kIn + ".4", 0x46, "18446744073709551000");  // Counter64
  struct Seen {
    std::vector<std::string> newest;
    std::string fallDelta;
    std::vector<Slice> slices;
  } seen;
  window.onFeed = [&] {
    if (window.feeds == 1) {
      agent.SetCounter32(kIn + ".1", 500);
      agent.SetCounter32(kIn + ".2", 500);
      agent.SetValue(kIn + ".4", 0x46, "18446744073709551615");
    } else if (window.feeds == 2) {
      for (int slot = 0; slot < 4; ++slot) seen.newest.push_back(session->History(slot).back());
      seen.fallDelta = session->SlotValue(4, 1);
      seen.slices = window.slices;
    }
  };
  StartXml(Target(kIn) + Label(kDescr));
  ASSERT_TRUE(WaitFor([&] { return window.feeds >= 2; }));
  window.onFeed = nullptr;
  // A wrapped 32-bit counter and a text become "Null"; a counter that went down is kept.
  EXPECT_EQ(seen.newest, (std::vector<std::string>{"Null", "500", "Null", "18446744073709551615"}));
  EXPECT_EQ(seen.fallDelta, "-500.0");
  // Only the 64-bit counter's delta is a candidate; the negative one is left out, not summed.
  const std::vector<Slice> want = {{"ifInOctets_eth3", 615, 0}};
  EXPECT_EQ(seen.slices, want);
}

TEST_F(SessionTest, AnErrorStatusAnswerShowsTheErrorAndRecordsNull) {
  agent.FillInterfaceTable(3);
  StartXml(Target(kIn) + Label(kDescr));
  ASSERT_TRUE(WaitInstances(3));
  agent.SetErrorFor(kIn + ".2", 5, 2);
  ASSERT_TRUE(WaitFeeds(2));
  for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(session->History(slot).back(), "Null");
  const bool shown = std::any_of(
      window.statuses.begin(), window.statuses.end(),
      [](const std::string& s) { return s.find(" Index=2 Status=5") != std::string::npos; });
  EXPECT_TRUE(shown);
  agent.ClearErrors();
  ASSERT_TRUE(WaitFor([&] { return session->History(0).back() != "Null"; }));
}

TEST_F(SessionTest, AnExpiredBatchCompletesThePollWithNull) {
  agent.FillInterfaceTable(10);
  // The batch of the last five OIDs is never answered.
  agent.SetResponder([](const FakeAgent::Request& r) -> std::optional<std::string> {
    if (r.PduType == 0xA0 && std::find(r.Oids.begin(), r.Oids.end(), kOut + ".10") != r.Oids.end())
      return std::string();
    return std::nullopt;
  });
  Options raw;
  raw.raw = true;
  StartXml(Target(kIn) + Target(kOut) + Label(kDescr), raw);
  ASSERT_TRUE(WaitInstances(10));
  ASSERT_TRUE(WaitFeeds(2));
  EXPECT_EQ(session->History(0).back(), "1001");   // answered
  EXPECT_EQ(session->History(19).back(), "Null");  // expired
  EXPECT_EQ(session->History(15).back(), "Null");  // first OID of the silent batch
  EXPECT_EQ(session->History(14).back(), "1008");  // last OID of the answered batch
  EXPECT_EQ(window.slices.size(), 15u);
}

TEST_F(SessionTest, AnswerBindingsAreMatchedToTheOidsAskedNotCounted) {
  using Fault = FakeAgent::BindingFault;
  const std::string kNote =
      "The agent's answers did not match the OIDs asked: bindings left out show \"Null\", "
      "others are ignored";
  const struct {
    const char* name;
    Fault fault;
    std::set<int> nullRows;  // rows shown "Null"; every other row its counter
    bool missing, ignored;   // counted
  } cases[] = {
      // 40 rows go out as batches of 15, 15 and 10: their last rows are 15, 30 and 40.
      {"the last binding left out", Fault::DropLast, {15, 30, 40}, true, false},
      {"a binding nobody asked for added", Fault::AddExtra, {}, false, true},
      {"the next OID in place of the last", Fault::NextRowInstead, {15, 30, 40}, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    agent.ClearValues();
    agent.FillInterfaceTable(40);
    agent.SetBindingFault(c.fault);
    window.statuses.clear();
    Options raw;
    raw.raw = true;
    StartXml(Target(kIn) + Label(kDescr), raw);
    ASSERT_TRUE(WaitInstances(40));
    ASSERT_TRUE(WaitFeeds(3));
    for (int row = 1; row <= 40; ++row) {
      const std::string want = c.nullRows.count(row) ? "Null" : std::to_string(1000 + row);
      EXPECT_EQ(session->SlotValue(4, row - 1), want) << row;
    }
    EXPECT_EQ(std::count(window.statuses.begin(), window.statuses.end(), kNote), 1);
    EXPECT_EQ(session->BindingFaults().Missing > 0, c.missing);
    EXPECT_EQ(session->BindingFaults().Ignored > 0, c.ignored);
    session->Stop();
    agent.SetBindingFault(Fault::None);
  }
}

TEST_F(SessionTest, DuplicateAnswersAreCountedOnce) {
  agent.FillInterfaceTable(10);
  agent.SetDuplicate(true);
  StartXml(Target(kIn) + Target(kOut) + Label(kDescr));
  ASSERT_TRUE(WaitInstances(10));
  window.onFeed = [&] {
    for (int i = 1; i <= 10; ++i) {
      agent.AdvanceCounter(kIn + "." + std::to_string(i), 10 * i);
      agent.AdvanceCounter(kOut + "." + std::to_string(i), 7);
    }
  };
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 3; }));
  // Every slot moved by its own step in every poll: no repeated entry, no missed batch.
  for (int slot = 0; slot < 20; ++slot) {
    const std::vector<std::string>& history = session->History(slot);
    const long step = slot % 2 == 0 ? 10 * (slot / 2 + 1) : 7;
    EXPECT_EQ(std::stol(history[4]) - std::stol(history[3]), step) << slot;
  }
  EXPECT_EQ(window.slices.size(), 20u);
  EXPECT_LE(window.feeds, GetsWith(15));
}

TEST_F(SessionTest, AnswersThatArriveAfterExpiryAreIgnored) {
  agent.FillInterfaceTable(3);
  // 2.75 s on the engine's clock: well past the 500 ms a 1 s poll waits, well within the five
  // seconds a discovery step has, so that a busy machine cannot move an answer across either.
  agent.SetDelayMs(275);
  Options raw;
  raw.raw = true;
  StartXml(Target(kIn) + Label(kDescr), raw);
  // Discovery steps are resent after a second and expire only after five sends: it completes.
  ASSERT_TRUE(WaitInstances(3));
  ASSERT_TRUE(WaitFeeds(3));
  for (int slot = 0; slot < 3; ++slot) {
    for (const std::string& entry : session->History(slot)) EXPECT_EQ(entry, "Null") << slot;
  }
  EXPECT_TRUE(window.slices.empty());
}

TEST_F(SessionTest, FormulasUseTheIntervalAndHiddenTargetsGiveNoSlices) {
  agent.FillInterfaceTable(3);
  Options o;
  o.raw = true;
  o.interval = 2;
  StartXml(Target(kIn, "ALL INSTANCES", false) + Target(kOut, "ALL INSTANCES", false) +
               Formula("Bits,(A+B)*8/$PI,A=" + kIn + ",B=" + kOut + ",") + Label(kDescr),
           o);
  ASSERT_TRUE(WaitInstances(3));
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }));
  // (in + out) * 8 / 2 with in = 1000 + i and out = 1000 + 2i.
  const std::vector<Slice> want = {{"Bits_eth2", 4 * (2000 + 9), 0},
                                   {"Bits_eth1", 4 * (2000 + 6), 1},
                                   {"Bits_eth0", 4 * (2000 + 3), 2}};
  EXPECT_EQ(window.slices, want);
  EXPECT_EQ(session->History(2).back(), "8012");  // slot of row 0, formula column
  // Formula bindings read the newest raw values even in delta mode.
  session->SetValueMode(false);
  EXPECT_TRUE(window.slices.empty() || window.slices[0].Label.rfind("Bits_", 0) == 0);
}

TEST_F(SessionTest, AtRuntimeThePreferredInstanceStartsPolling) {
  agent.FillInterfaceTable(3);
  Options o;
  o.extra = "<preferredinstance>2</preferredinstance>";
  StartXml(Target(kIn, "AT RUNTIME") + Mask("RT") + Label(kDescr), o);
  ASSERT_TRUE(WaitInstances(1));
  EXPECT_EQ(window.instanceMaskItems, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(window.instanceMaskSelected, 1);
  EXPECT_EQ(SuffixesOf(session->Rows()), std::vector<std::string>{".2"});
  EXPECT_EQ(session->Config().InstanceMask, "2");
  EXPECT_EQ(SuffixesOf(session->FoundInstances()), Suffixes(3));
  ASSERT_TRUE(WaitFeeds(1));
}

TEST_F(SessionTest, AtRuntimeAnUnknownPreferredInstanceWaitsForAPick) {
  agent.FillInterfaceTable(3);
  Options o;
  o.extra = "<preferredinstance>9</preferredinstance>";
  o.raw = true;
  StartXml(Target(kIn, "AT RUNTIME") + Mask("RT") + Label(kDescr), o);
  ASSERT_TRUE(WaitFor([&] { return window.instanceMaskItems.size() == 3; }));
  EXPECT_EQ(window.instanceMaskSelected, -1);
  EXPECT_TRUE(window.toolbarEnabled);
  // Nothing is polled while nothing is picked.
  const int64_t from = fast.Now();
  ASSERT_TRUE(WaitFor([&] { return fast.Now() > from + 4000; }));
  EXPECT_EQ(GetsWith(1), 0);
  EXPECT_TRUE(SuffixesOf(session->Rows()).empty());
  session->ChooseInstance(0);
  EXPECT_EQ(SuffixesOf(session->Rows()), std::vector<std::string>{".1"});
  EXPECT_EQ(session->Config().InstanceMask, "1");
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }));
  const std::vector<Slice> want = {{"ifInOctets_eth0", 1001, 0}};
  EXPECT_EQ(window.slices, want);
  // Another pick restarts polling with the new rows.
  session->ChooseInstance(2);
  EXPECT_TRUE(window.initializingVisible);
  ASSERT_TRUE(WaitFor([&] { return !window.slices.empty() && window.slices[0].Value == 1003; }));
}

TEST_F(SessionTest, AMaskWithoutRtFiltersTheRowsInAllInstancesMode) {
  agent.FillInterfaceTable(12);
  StartXml(Target(kIn) + Mask("1") + Label(kDescr));
  ASSERT_TRUE(WaitInstances(1));
  EXPECT_EQ(SuffixesOf(session->Rows()), std::vector<std::string>{".1"});
  EXPECT_EQ(SuffixesOf(session->FoundInstances()), std::vector<std::string>{".1"});
}

TEST_F(SessionTest, RefreshRemovesGoneRowsAndAddsNewOnes) {
  agent.FillInterfaceTable(3);
  Options o;
  o.raw = true;
  o.extra = "<refreshinstances>true</refreshinstances>";
  StartXml(Target(kIn) + Label(kDescr), o);
  ASSERT_TRUE(WaitInstances(3));
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }));
  agent.RemoveValue(kDescr + ".1");
  agent.SetString(kDescr + ".4", "eth3");
  agent.SetCounter32(kIn + ".4", 4444);
  ASSERT_TRUE(WaitFor([&] {
    return SuffixesOf(session->Rows()) == std::vector<std::string>{".2", ".3", ".4"};
  }));
  EXPECT_EQ(LabelsOf(session->Rows()), (std::vector<std::string>{"eth1", "eth2", "eth3"}));
  EXPECT_EQ(session->Config().LastSlot, 2);
  EXPECT_EQ(session->History(0).back(), "1002");  // row .2 moved down with its history
  ASSERT_TRUE(WaitFor([&] { return session->History(2).back() == "4444"; }));
  ASSERT_TRUE(WaitFor([&] { return window.slices.size() == 3 && window.slices[0].Value == 4444; }));
  EXPECT_EQ(window.slices[0].Label, "ifInOctets_eth3");
}

TEST_F(SessionTest, DiscoveryThatCannotCompleteStopsTheSession) {
  struct Case {
    const char* name;
    std::function<void(FakeAgent&)> script;
    int version;
    std::string want;
  };
  const Case cases[] = {
      {"silent agent", [](FakeAgent& a) { a.SetSilent(true); }, 2,
       "Timeout while collecting instances!"},
      {"nothing in the column", [](FakeAgent&) {}, 2, "No instances found!"},
      {"looping agent",
       [](FakeAgent& a) {
         a.FillInterfaceTable(2);
         a.SetLooping(true);
       },
       2, "No instances found!"},
      {"error status",
       [](FakeAgent& a) {
         a.FillInterfaceTable(2);
         a.SetErrorStatus(5, 1);
       },
       2, "genError Index=1 Status=5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeAgent local;
    c.script(local);
    RecordingWindow w;
    FastClock clock(10);
    TSession s(w, clock.Clock());
    s.AddSink(w);
    Options o;
    o.version = c.version;
    const testing::ConfigFile config("engine_stop.xml",
                                     Xml(local.port(), Target(kIn) + Label(kDescr), o));
    s.Start({"/XML", config.path()});
    ASSERT_TRUE(WaitFor([&] { return !w.stopped.empty(); }));
    EXPECT_EQ(w.stopped, std::vector<std::string>{c.want});
    EXPECT_EQ(w.status, c.want);
    EXPECT_FALSE(w.toolbarEnabled);
    s.Stop();
    EXPECT_TRUE(s.RequestTableSnapshot().empty());
    clock.Stop();
  }
}

TEST_F(SessionTest, AnswersToResendsAreFound) {
  agent.FillInterfaceTable(3);
  // Every poll request is ignored the first time it is sent and answered when sent again.
  // The agent's thread may answer after the test body ends: the responder owns what it uses.
  struct Seen {
    std::mutex lock;
    std::set<int32_t> ids;
  };
  agent.SetResponder(
      [seen = std::make_shared<Seen>()](const FakeAgent::Request& r) -> std::optional<std::string> {
        if (r.PduType != 0xA0) return std::nullopt;
        std::lock_guard<std::mutex> lock(seen->lock);
        if (seen->ids.insert(r.RequestId).second) return std::string();
        return std::nullopt;
      });
  Options o;
  o.interval = 5;  // two sends per poll request
  o.raw = true;
  StartXml(Target(kIn) + Label(kDescr), o);
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 2; }));
  EXPECT_EQ(session->History(0).back(), "1001");
  // The resend carried the id of the first send.
  std::map<int32_t, int> sends;
  for (const FakeAgent::Request& r : agent.Log())
    if (r.PduType == 0xA0) ++sends[r.RequestId];
  for (const auto& [id, count] : sends) EXPECT_LE(count, 2) << id;
  EXPECT_GE(std::count_if(sends.begin(), sends.end(), [](const auto& e) { return e.second == 2; }),
            2);
}

TEST_F(SessionTest, AHostThatCannotBeResolvedStopsDiscoveryWithTheComponentsMessage) {
  Start({"/HOST", "no-such-host.invalid", "/PORT", std::to_string(agent.port())});
  ASSERT_TRUE(WaitFor([&] { return !window.stopped.empty(); }, 30000));
  EXPECT_EQ(window.stopped[0].rfind("11001: ", 0), 0u) << window.stopped[0];
  EXPECT_EQ(window.status, window.stopped[0]);
  EXPECT_EQ(agent.RequestCount(), 0);
}

TEST_F(SessionTest, AnSnmpV1AgentEndsTheWalkWithNoSuchNameAtTheEndOfItsView) {
  // The label column is the last thing the agent has.
  for (int i = 1; i <= 3; ++i)
    agent.SetString(kDescr + "." + std::to_string(i), "if" + std::to_string(i));
  Options v1;
  v1.version = 1;
  StartXml(Target(kIn) + Label(kDescr), v1);
  ASSERT_TRUE(WaitInstances(3));
  EXPECT_TRUE(window.stopped.empty());
  EXPECT_TRUE(window.toolbarEnabled);
}

TEST_F(SessionTest, TheIntervalListRestartsPollingWithNullDeltas) {
  agent.FillInterfaceTable(2);
  StartXml(Target(kIn) + Label(kDescr));
  window.onFeed = [&] {
    agent.AdvanceCounter(kIn + ".1", 5);
    agent.AdvanceCounter(kIn + ".2", 9);
  };
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }));
  const std::vector<std::string>& items = session->Config().IntervalItems;
  const int two = static_cast<int>(std::find(items.begin(), items.end(), "2") - items.begin());
  window.onFeed = nullptr;
  session->SetIntervalChoice(two);
  EXPECT_EQ(session->SessionRequest().Interval, 2);
  EXPECT_TRUE(window.initializingVisible);
  for (int slot = 0; slot < 2; ++slot) EXPECT_EQ(session->SlotValue(4, slot), "Null");
  int polls = 0;
  for (const TMyTimerRec& job : session->ScheduleSnapshot()) polls += job.Kind == kPollJobKind;
  EXPECT_EQ(polls, 1);
  EXPECT_EQ(session->ScheduleSnapshot().back().Request.TriesLeft, 1);
}

TEST_F(SessionTest, ClosingDuringAPollEndsCleanlyWithNoRequestLeft) {
  agent.FillInterfaceTable(600);
  StartXml(Target(kIn) + Target(kOut) + Label(kDescr));
  ASSERT_TRUE(WaitFor([&] { return SuffixesOf(session->Rows()).size() == 600; }, 60000));
  agent.SetDelayMs(30);
  // Close while the requests of a poll are out.
  ASSERT_TRUE(
      WaitFor([&] { return GetsWith(15) > 0 && !session->RequestTableSnapshot().empty(); }));
  session->Stop();
  EXPECT_TRUE(session->WorkerFinished());
  EXPECT_TRUE(session->RequestTableSnapshot().empty());
  EXPECT_TRUE(session->ScheduleSnapshot().empty());
  session.reset();
}

TEST_F(SessionTest, APollKeepsAWindowOfRequestsInFlight) {
  // 600 rows, one target: 40 batches; the first 32 go out, the rest as answers come.
  agent.FillInterfaceTable(600);
  // The responder owns what it uses: the agent's thread may call it after the test body ends.
  const auto silencing = std::make_shared<std::atomic<bool>>(true);
  std::atomic<bool>& silent = *silencing;
  // Only the poll's requests (of the counter column) go unanswered.
  const auto polled = [](const FakeAgent::Request& r) {
    return r.PduType == 0xA0 && r.Oids[0].rfind(kIn + ".", 0) == 0;
  };
  agent.SetResponder(
      [polled, silencing](const FakeAgent::Request& r) -> std::optional<std::string> {
        if (polled(r) && *silencing) return std::string();  // no answer
        return std::nullopt;
      });
  Options options;
  options.interval = 30;
  StartXml(Target(kIn) + Label(kDescr), options);
  ASSERT_TRUE(WaitInstances(600));
  const auto askedIds = [&] {
    std::set<int32_t> ids;
    for (const FakeAgent::Request& r : agent.Log())
      if (polled(r)) ids.insert(r.RequestId);
    return ids.size();
  };
  ASSERT_TRUE(WaitFor([&] { return askedIds() >= 32; }));
  // Unanswered, they are resent, but no further batch leaves.
  ASSERT_TRUE(WaitFor([&] {
    int sends = 0;
    for (const FakeAgent::Request& r : agent.Log()) sends += polled(r);
    return sends >= 40;
  }));
  EXPECT_EQ(askedIds(), 32u);
  silent = false;
  ASSERT_TRUE(WaitFeeds(1));
  EXPECT_EQ(askedIds(), 40u);
  EXPECT_EQ(window.slices.size(), 0u);  // one poll gives no delta yet
  for (int slot = 0; slot < 600; slot += 97) EXPECT_NE(session->History(slot).back(), "Null");
}

TEST_F(SessionTest, ASessionThatCanNeverPollSaysSo) {
  agent.FillInterfaceTable(3);
  const struct {
    const char* name;
    std::string targets;
    const char* said;
  } cases[] = {
      {"no instance mode", Target(kIn, ""), "Nothing to poll: the configuration starts neither"},
      {"AT RUNTIME without RT", Target(kIn, "AT RUNTIME") + Label(kDescr),
       "Nothing to poll: AT RUNTIME needs an instance mask with \"RT\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    window.stopped.clear();
    StartXml(c.targets);
    ASSERT_EQ(window.stopped.size(), 1u);
    EXPECT_EQ(window.stopped[0].rfind(c.said, 0), 0u) << window.stopped[0];
    EXPECT_EQ(window.status, window.stopped[0]);
    session->Stop();
  }
}

TEST_F(SessionTest, DiscoveryShowsItsProgressAtMostEveryFiftyMilliseconds) {
  agent.FillInterfaceTable(600);
  agent.SetDelayMs(1);  // a second of steps, at least
  StartXml(Target(kIn) + Label(kDescr));
  ASSERT_TRUE(WaitFor([&] { return SuffixesOf(session->Rows()).size() == 600; }, 60000));
  int detected = 0;
  for (const std::string& text : window.statuses)
    detected += text.find(" detected") != std::string::npos;
  EXPECT_GT(detected, 0);
  EXPECT_LT(detected, 150);
}

TEST_F(SessionTest, RawCountersKeepEveryDigitUpToTheWindow) {
  agent.FillInterfaceTable(2);
  agent.SetValue(kIn + ".1", 0x46, "18446744073709551615");  // Counter64, 2^64 - 1
  agent.SetValue(kIn + ".2", 0x46, "9007199254740993");      // 2^53 + 1: no double holds it
  Options options;
  options.raw = true;
  StartXml(Target(kIn) + Label(kDescr), options);
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }));
  ASSERT_EQ(window.lastPie.size(), 2u);
  EXPECT_EQ(window.lastPie[0].ValueText, "18446744073709551615");
  EXPECT_EQ(window.lastPie[1].ValueText, "9007199254740993");
}

// The answer an agent would give, built here with another community.
std::string ForgedAnswer(const FakeAgent::Request& r, const std::string& community,
                         const std::string& oid, const std::string& value) {
  TSnmpMessage msg;
  msg.Version = r.Version;
  msg.Community.assign(community);
  msg.RequestId = r.RequestId;
  msg.ErrorStatus = 0;
  msg.ErrorIndex = 0;
  TObjectTable objects;
  objects.SetCount(1);
  objects.At(1).Id.assign(oid);
  objects.At(1).Type = kTagOctetString;
  objects.At(1).Value.assign(value);
  TByteBuffer out;
  std::string error;
  BuildMessage(kActionResponse, msg, objects, out, error);
  return std::string(reinterpret_cast<const char*>(out.data()), out.size());
}

TEST_F(SessionTest, AnswersFromElsewhereOrWithAnotherCommunityAreDropped) {
  agent.FillInterfaceTable(3);
  const struct {
    const char* name;
    std::function<void()> forge;
    const char* stopped;  // the time-out names why answers were refused
  } cases[] = {
      {"another port", [&] { agent.SetReplyFromOtherPort(true); },
       "Timeout while collecting instances! (Message origin unknown. ErrorCode=318)"},
      {"another community",
       [&] {
         agent.SetResponder([](const FakeAgent::Request& r) -> std::optional<std::string> {
           return ForgedAnswer(r, "forged", kDescr + ".1", "evil");
         });
       },
       "Timeout while collecting instances! (SNMP Community mismatch. ErrorCode=318)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.forge();
    window.stopped.clear();
    StartXml(Target(kIn) + Label(kDescr));
    // Every answer is dropped: discovery runs out of time and names no instance.
    ASSERT_TRUE(WaitFor([&] { return !window.stopped.empty(); }, 20000));
    EXPECT_EQ(window.stopped[0], c.stopped);
    EXPECT_TRUE(session->Rows().empty());
    session->Stop();
    agent.SetReplyFromOtherPort(false);
    agent.SetResponder(nullptr);
  }
}

TEST_F(SessionTest, RequestIdsStartWhereNobodyCanGuessThem) {
  agent.FillInterfaceTable(1);
  std::set<int32_t> firsts;
  for (int run = 0; run < 3; ++run) {
    agent.ClearLog();
    StartXml(Target(kIn) + Label(kDescr));
    ASSERT_TRUE(WaitFor([&] { return !agent.Log().empty(); }));
    firsts.insert(agent.Log().front().RequestId);
    session->Stop();
  }
  EXPECT_EQ(firsts.size(), 3u);
  EXPECT_EQ(firsts.count(1), 0u);
}

TEST_F(SessionTest, ARequestThatCannotBeBuiltStopsTheSession) {
  agent.FillInterfaceTable(2);
  // A community of 70,000 characters does not fit a message.
  Start({"/HOST", "127.0.0.1", "/PORT", std::to_string(agent.port()), "/COMMUNITY",
         std::string(70000, 'c')});
  ASSERT_TRUE(WaitFor([&] { return !window.stopped.empty(); }, 5000));
  EXPECT_NE(window.stopped[0].find("Error building SNMP"), std::string::npos) << window.stopped[0];
}

// Discovers the rows of `agent` in a session of its own; empty when discovery did not end.
std::vector<TInstance> DiscoverRows(FakeAgent& agent, int version, const std::string& targets,
                                    int waitMs = 60000) {
  RecordingWindow w;
  // Real time: thousands of steps on a loaded machine must not run out of it.
  FastClock clock(1);
  TSession s(w, clock.Clock());
  s.AddSink(w);
  Options o;
  o.version = version;
  const testing::ConfigFile config("engine_bulk.xml", Xml(agent.port(), targets, o));
  s.Start({"/XML", config.path()});
  const bool ended = WaitFor([&] { return w.intervalGroupVisible || !w.stopped.empty(); }, waitMs);
  std::vector<TInstance> rows = ended ? s.Rows() : std::vector<TInstance>();
  s.Stop();
  clock.Stop();
  return rows;
}

std::vector<int> BulkRepetitions(const FakeAgent& agent) {
  std::vector<int> out;
  for (const FakeAgent::Request& r : agent.Log())
    if (r.PduType == 0xA5) out.push_back(r.MaxRepetitions);
  return out;
}

TEST_F(SessionTest, BulkWalksFindTheRowsGetNextFinds) {
  for (int rows : {1, 49, 50, 51, 1000, 10000}) {
    SCOPED_TRACE(rows);
    agent.ClearValues();
    agent.FillInterfaceTable(rows);
    agent.ClearLog();
    // The next column follows the label column: GetBulk answers run past its end.
    const std::vector<TInstance> bulk = DiscoverRows(agent, 2, Target(kIn) + Label(kDescr));
    const std::vector<int> asked = BulkRepetitions(agent);
    ASSERT_EQ(bulk.size(), static_cast<size_t>(rows));
    EXPECT_EQ(asked.size(), static_cast<size_t>(rows / 50 + 1));
    EXPECT_EQ(asked.front(), 50);
    agent.ClearLog();
    EXPECT_EQ(DiscoverRows(agent, 1, Target(kIn) + Label(kDescr)), bulk);  // SNMPv1: get-next
    EXPECT_TRUE(BulkRepetitions(agent).empty());
  }
}

TEST_F(SessionTest, BulkWalksFollowAgentsThatAnswerLessOrEndTheView) {
  const std::string kLast = "1.3.6.1.2.1.2.2.1.16";  // nothing follows this column
  const struct {
    const char* name;
    std::function<void()> script;
    std::string label;
    std::vector<int> asked;  // the repetitions asked for, in order (empty: not looked at)
  } cases[] = {
      {"tooBig halves the repetitions",
       [&] { agent.SetBulkTooBigAbove(10); },
       kDescr,
       // 90 rows in steps of 6 and the step that finds the column's end.
       {50, 25, 12, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6}},
      {"fewer rows than asked", [&] { agent.SetBulkRowLimit(7); }, kDescr, {}},
      {"endOfMibView within an answer", [] {}, kLast, {50, 50}},
      {"an answer too big to arrive halves them",
       [&] {
         agent.SetResponder([](const FakeAgent::Request& r) -> std::optional<std::string> {
           if (r.PduType == 0xA5 && r.MaxRepetitions > 12 && r.Oids[0] != kDescr)
             return std::string();  // lost on the way
           return std::nullopt;
         });
       },
       kDescr,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    agent.ClearValues();
    agent.FillInterfaceTable(90);
    agent.ClearLog();
    c.script();
    const std::vector<TInstance> rows = DiscoverRows(agent, 2, Target(kIn) + Label(c.label));
    ASSERT_EQ(rows.size(), 90u);
    EXPECT_EQ(rows.back().Suffix, ".90");
    if (!c.asked.empty()) {
      EXPECT_EQ(BulkRepetitions(agent), c.asked);
    }
    agent.SetBulkTooBigAbove(0);
    agent.SetBulkRowLimit(0);
    agent.SetResponder(nullptr);
  }
}

TEST_F(SessionTest, CountersOnFastLinksKeepTheirRate) {
  const std::string kSpeed = "1.3.6.1.2.1.2.2.1.5";
  const std::string kHighSpeed = "1.3.6.1.2.1.31.1.1.1.15";
  const std::string kHCIn = "1.3.6.1.2.1.31.1.1.1.6";
  const std::string kUptime = "1.3.6.1.2.1.1.3.0";
  struct Poll {
    uint64_t in1, in2;  // the counters of rows 1 and 2
    uint32_t uptime;    // hundredths of a second
  };
  const struct {
    const char* name;
    std::function<void()> table;  // speeds and twins
    Poll first, second;
    std::string delta1, delta2;  // rows 1 and 2 at the second poll
  } cases[] = {
      {"a wrap at 1 Gbit/s within a second",
       [&] {
         agent.SetValue(kSpeed + ".1", 0x42, "1000000000");
         agent.SetValue(kSpeed + ".2", 0x42, "1000000000");
       },
       {4294967000u, 3000000000u, 10000},
       {500, 2999999000u, 10100},
       "796.0",
       "-1000.0"},
      {"more than one wrap can have passed at 10 Gbit/s in five seconds",
       [&] {
         agent.SetValue(kSpeed + ".1", 0x42, "4294967295");
         agent.SetValue(kHighSpeed + ".1", 0x42, "10000");
       },
       {4294967000u, 10, 10000},
       {500, 20, 10500},
       "Null",
       "10.0"},
      {"no speed known: the wrap rule as before",
       [] {},
       {4294967000u, 10, 10000},
       {500, 20, 10100},
       "Null",
       "10.0"},
      {"the agent restarted",
       [&] { agent.SetValue(kSpeed + ".1", 0x42, "1000000000"); },
       {4294967000u, 10, 10000},
       {500, 20, 50},
       "Null",
       "Null"},
      {"a 64-bit twin for one row, 10 Gbit/s, the other row 32-bit",
       [&] { agent.SetValue(kHCIn + ".1", 0x46, "0"); },
       {5000000000000ull, 10, 10000},
       {5001250000000ull, 20, 10100},
       "1250000000.0",
       "10.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    agent.ClearValues();
    agent.FillInterfaceTable(2);
    c.table();
    // Row 1 counts in its twin where it has one, else in ifInOctets.
    const bool twin = agent.GetValue(kHCIn + ".1").has_value();
    const auto set = [&](const Poll& p) {
      if (twin) {
        agent.SetValue(kHCIn + ".1", 0x46, std::to_string(p.in1));
      } else {
        agent.SetCounter32(kIn + ".1", static_cast<uint32_t>(p.in1));
      }
      agent.SetCounter32(kIn + ".2", static_cast<uint32_t>(p.in2));
      agent.SetValue(kUptime, 0x43, std::to_string(p.uptime));
    };
    set(c.first);
    std::vector<std::string> seen;
    window.feeds = 0;
    window.onFeed = [&] {
      if (window.feeds == 1) set(c.second);
      if (window.feeds == 2) seen = {session->SlotValue(4, 0), session->SlotValue(4, 1)};
    };
    StartXml(Target(kIn) + Label(kDescr));
    ASSERT_TRUE(WaitFor([&] { return !seen.empty(); }));
    window.onFeed = nullptr;
    EXPECT_EQ(seen, (std::vector<std::string>{c.delta1, c.delta2}));
    bool askedTwin = false;
    for (const FakeAgent::Request& r : agent.Log())
      for (const std::string& oid : r.Oids) askedTwin |= oid == kHCIn + ".1";
    EXPECT_EQ(askedTwin, true);  // every delta session asks
    const bool announced = std::find(window.statuses.begin(), window.statuses.end(),
                                     "64-bit counters in use") != window.statuses.end();
    EXPECT_EQ(announced, twin);
    session->Stop();
    window.statuses.clear();
  }
}

TEST_F(SessionTest, RawValuesPollTheConfiguredColumnAndDeltasTheTwin) {
  const std::string kHCIn = "1.3.6.1.2.1.31.1.1.1.6";
  agent.FillInterfaceTable(2);
  agent.SetValue(kHCIn + ".1", 0x46, "5000000000000");
  const auto asked = [&](const std::string& oid) {
    for (const FakeAgent::Request& r : agent.Log())
      if (std::find(r.Oids.begin(), r.Oids.end(), oid) != r.Oids.end()) return true;
    return false;
  };
  StartXml(Target(kIn) + Label(kDescr));
  ASSERT_TRUE(WaitFeeds(2));
  EXPECT_TRUE(asked(kHCIn + ".1"));
  EXPECT_FALSE(asked(kIn + ".1"));

  session->SetValueMode(true);
  agent.ClearLog();
  ASSERT_TRUE(WaitFeeds(2));
  EXPECT_TRUE(asked(kIn + ".1"));
  EXPECT_FALSE(asked(kHCIn + ".1"));
  EXPECT_EQ(session->SlotValue(4, 0), agent.GetValue(kIn + ".1")->Text);

  // Back to deltas: the first one would span the 32-bit counter and its twin. The counter moves
  // once a poll; the pie shown again at the switch must not move it, or the poll already out
  // would miss a step.
  std::vector<std::string> deltas;
  window.onPoll = [&] {
    agent.AdvanceCounter(kHCIn + ".1", 1000);
    deltas.push_back(session->SlotValue(4, 0));
  };
  session->SetValueMode(false);
  agent.ClearLog();
  ASSERT_TRUE(WaitFor([&] { return deltas.size() >= 2; }));
  window.onPoll = nullptr;
  EXPECT_TRUE(asked(kHCIn + ".1"));
  EXPECT_FALSE(asked(kIn + ".1"));
  EXPECT_EQ(deltas[0], "Null");
  EXPECT_EQ(deltas[1], "1000.0");
}

TEST_F(SessionTest, LabelsFromTheAgentAreMadeSafeToShow) {
  agent.FillInterfaceTable(2);
  // An escape sequence for a terminal, and a right-to-left override that turns "evil.exe" round.
  agent.SetString(kDescr + ".1", "\x1b[31mred");
  agent.SetString(kDescr + ".2",
                  "evil\xe2\x80\xae"
                  "exe.txt");
  StartXml(Target(kIn) + Label(kDescr));
  ASSERT_TRUE(WaitInstances(2));
  EXPECT_EQ(LabelsOf(session->Rows()), (std::vector<std::string>{"\xef\xbf\xbd[31mred",
                                                                 "evil\xef\xbf\xbd"
                                                                 "exe.txt"}));
}

TEST_F(SessionTest, WalksAskOneGetNextAtATimeWhenTheUserSaysSo) {
  agent.FillInterfaceTable(60);
  std::string xml = Xml(agent.port(), Target(kIn) + Label(kDescr), Options());
  xml.insert(xml.find("<raw>"), "<bulkwalk>false</bulkwalk>");
  Start({"/XML", Config("engine_nobulk.xml", xml)});
  ASSERT_TRUE(WaitInstances(60));
  EXPECT_TRUE(BulkRepetitions(agent).empty());
  session->Stop();
  agent.ClearLog();
  Start({"/HOST", "127.0.0.1", "/PORT", std::to_string(agent.port()), "/SNMPVERSION", "2",
         "/NOBULK"});
  ASSERT_TRUE(WaitInstances(60));
  EXPECT_TRUE(BulkRepetitions(agent).empty());
}

TEST_F(SessionTest, AColumnThatNeverEndsStopsDiscoveryAtTheRowLimit) {
  agent.FillInterfaceTable(2);
  agent.SetEndlessColumn(kDescr);
  agent.SetLogLimit(100);
  const std::string kNote =
      "Discovery stopped at 300 instances, the row limit (maxrows); the rows found are polled";
  const struct {
    const char* name;
    std::function<void()> start;
  } cases[] = {
      {"get-next, the limit on the command line",
       [&] {
         Start({"/HOST", "127.0.0.1", "/PORT", std::to_string(agent.port()), "/SNMPVERSION", "1",
                "/MAXROWS", "300"});
       }},
      {"GetBulk, the limit in the file",
       [&] {
         Options options;
         options.extra = "<maxrows>300</maxrows>";
         StartXml(Target(kIn) + Label(kDescr), options);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    window.statuses.clear();
    c.start();
    ASSERT_TRUE(WaitInstances(300));
    EXPECT_EQ(session->Rows().back().Suffix, ".300");
    EXPECT_EQ(session->FoundInstances().size(), 300u);
    EXPECT_NE(std::find(window.statuses.begin(), window.statuses.end(), kNote),
              window.statuses.end());
    session->Stop();
  }
}

TEST_F(SessionTest, ARefreshWalkThatOverrunsTheNextOneKeepsEveryRow) {
  // A stable table whose walk takes three polling intervals: a refresh is due at every poll.
  agent.FillInterfaceTable(3000);
  agent.SetDelayMs(30);
  Options options;
  options.interval = 6;
  options.extra = "<refreshinstances>true</refreshinstances>";
  StartXml(Target(kIn) + Label(kDescr), options);
  ASSERT_TRUE(WaitInstances(3000));
  size_t fewest = 3000;
  window.feeds = 0;
  window.onFeed = [&] { fewest = std::min(fewest, session->Rows().size()); };
  ASSERT_TRUE(WaitFor([&] { return window.feeds >= 10; }, 60000));
  window.onFeed = nullptr;
  EXPECT_EQ(fewest, 3000u);
  EXPECT_EQ(session->Rows().size(), 3000u);
  // One walk at a time: the steps go forward through the column, and only a new walk starts
  // from its top again.
  int walks = 0;
  int backwards = 0;
  long at = 0;  // the row the last step asked after
  for (const FakeAgent::Request& r : agent.Log()) {
    if (r.PduType != 0xA5) continue;
    if (r.Oids[0] == kDescr) {
      ++walks;
      at = 0;
      continue;
    }
    const long row = std::stol(r.Oids[0].substr(kDescr.size() + 1));
    backwards += row < at;
    at = row;
  }
  EXPECT_EQ(backwards, 0);
  EXPECT_GE(walks, 2);  // discovery and at least one refresh
}

TEST_F(SessionTest, LostGetBulkAnswersHalveTheRepetitionsThenGiveWayToGetNext) {
  const std::string kNote = "The agent leaves GetBulk unanswered: walking with get-next";
  const struct {
    const char* name;
    std::function<void()> script;
    std::vector<int> asked;  // the GetBulk requests' repetitions, in order; empty: not looked at
    bool getNext;            // the walks went on with get-next
  } cases[] = {
      {"answers over 600 octets lost", [&] { agent.SetMaxAnswerBytes(600); }, {}, false},
      {"GetBulk never answered",
       [&] {
         agent.SetResponder([](const FakeAgent::Request& r) -> std::optional<std::string> {
           if (r.PduType == 0xA5) return std::string();
           return std::nullopt;
         });
       },
       // Each size once, the smallest with its retries; the refresh walks then ask none.
       {50, 25, 12, 6, 3, 1, 1, 1, 1, 1},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    agent.ClearValues();
    agent.FillInterfaceTable(200);
    agent.ClearLog();
    window.statuses.clear();
    c.script();
    Options options;
    options.extra = "<refreshinstances>true</refreshinstances>";
    StartXml(Target(kIn) + Label(kDescr), options);
    ASSERT_TRUE(WaitInstances(200));
    EXPECT_EQ(session->Rows().back().Suffix, ".200");
    const std::vector<int> asked = BulkRepetitions(agent);
    ASSERT_GE(asked.size(), 2u);
    EXPECT_EQ(asked[0], 50);
    EXPECT_EQ(asked[1], 25);  // the lost answer halved them at once
    // A refresh walk, which starts at the column again (with 50 repetitions or a get-next).
    ASSERT_TRUE(WaitFor([&] {
      int starts = 0;
      for (const FakeAgent::Request& r : agent.Log())
        starts += (r.MaxRepetitions == 50 || r.PduType == 0xA1) && r.Oids[0] == kDescr;
      return starts >= (c.getNext ? 3 : 2);
    }));
    if (!c.asked.empty()) {
      EXPECT_EQ(BulkRepetitions(agent), c.asked);
    }
    EXPECT_EQ(std::count(window.statuses.begin(), window.statuses.end(), kNote), c.getNext ? 1 : 0);
    session->Stop();
    agent.SetMaxAnswerBytes(0);
    agent.SetResponder(nullptr);
  }
}

TEST_F(SessionTest, BackToDeltasWithTheSameColumnsShowsThePieAtOnce) {
  // No 64-bit twins: RAW and Delta poll the same columns, so no delta needs to start over.
  for (const bool startRaw : {false, true}) {
    SCOPED_TRACE(startRaw ? "started in RAW" : "started in Delta");
    agent.ClearValues();
    agent.FillInterfaceTable(3);
    window.onFeed = [&] {
      for (int i = 1; i <= 3; ++i) agent.AdvanceCounter(kIn + "." + std::to_string(i), 10 * i);
    };
    Options options;
    options.raw = startRaw;
    StartXml(Target(kIn) + Label(kDescr), options);
    ASSERT_TRUE(WaitInstances(3));
    ASSERT_TRUE(WaitFeeds(3));
    session->SetValueMode(!startRaw);
    ASSERT_TRUE(WaitFeeds(1));
    if (!startRaw) session->SetValueMode(false);  // RAW, then Delta
    // Delta: the pie is there at once, from the histories polled all along.
    std::vector<std::string> labels;
    for (const Slice& slice : window.slices) labels.push_back(slice.Label);
    EXPECT_EQ(labels,
              (std::vector<std::string>{"ifInOctets_eth2", "ifInOctets_eth1", "ifInOctets_eth0"}));
    window.onFeed = nullptr;
    session->Stop();
  }
}

TEST_F(SessionTest, ARowWhoseTwinGoesPollsItsThirtyTwoBitCounterUntilTheTwinIsBack) {
  const std::string kHCIn = "1.3.6.1.2.1.31.1.1.1.6";
  agent.FillInterfaceTable(2);
  agent.SetValue(kHCIn + ".1", 0x46, "5000000000000");
  // The 32-bit counter counts 100 a poll, the twin 1000: each delta tells which was polled.
  std::vector<std::string> deltas;
  window.onPoll = [&] {
    agent.AdvanceCounter(kIn + ".1", 100);
    agent.AdvanceCounter(kHCIn + ".1", 1000);
    deltas.push_back(session->SlotValue(4, 0));
  };
  const auto seen = [&](const std::string& delta, size_t from) {
    return std::find(deltas.begin() + static_cast<std::ptrdiff_t>(from), deltas.end(), delta) !=
           deltas.end();
  };
  StartXml(Target(kIn) + Label(kDescr));
  ASSERT_TRUE(WaitFor([&] { return seen("1000.0", 0); }));
  const size_t gone = deltas.size();
  agent.RemoveValue(kHCIn + ".1");  // noSuchInstance from now on
  ASSERT_TRUE(WaitFor([&] { return seen("100.0", gone); }));
  const size_t back = deltas.size();
  agent.SetValue(kHCIn + ".1", 0x46, "7000000000000");
  ASSERT_TRUE(WaitFor([&] { return seen("1000.0", back); }));
  window.onPoll = nullptr;
  // Never a delta across the two counters.
  for (const std::string& delta : deltas)
    EXPECT_TRUE(delta == "Null" || delta == "100.0" || delta == "1000.0") << delta;
  EXPECT_EQ(std::count(deltas.begin() + static_cast<std::ptrdiff_t>(back), deltas.end(), "Null"),
            2);  // the switch back, and the poll before its first delta
}

TEST_F(SessionTest, AnAgentThatWasAwayDuringARefreshKeepsItsGetBulk) {
  agent.FillInterfaceTable(20);
  Options options;
  options.extra = "<refreshinstances>true</refreshinstances>";
  StartXml(Target(kIn) + Label(kDescr), options);
  ASSERT_TRUE(WaitInstances(20));
  const auto asked = [&](int pdu) {
    int n = 0;
    for (const FakeAgent::Request& r : agent.Log())
      n += r.PduType == pdu && r.Oids[0] == kDescr && (pdu != 0xA5 || r.MaxRepetitions == 50);
    return n;
  };
  // Away long enough for a refresh walk to give GetBulk up and find no answer to get-next.
  agent.SetSilent(true);
  agent.ClearLog();
  ASSERT_TRUE(WaitFor([&] { return asked(0xA1) >= 1; }, 20000));
  ASSERT_TRUE(WaitFor(
      [&] {
        int tries = 0;
        for (const FakeAgent::Request& r : agent.Log()) tries += r.PduType == 0xA1;
        return tries >= 5;
      },
      20000));
  agent.SetSilent(false);
  agent.ClearLog();
  // Back: the next refresh walks with GetBulk again, and nothing was said of get-next.
  ASSERT_TRUE(WaitFor([&] { return asked(0xA5) >= 1; }, 20000));
  EXPECT_EQ(asked(0xA1), 0);
  EXPECT_EQ(std::count(window.statuses.begin(), window.statuses.end(),
                       "The agent leaves GetBulk unanswered: walking with get-next"),
            0);
}

}  // namespace
}  // namespace kestrava
