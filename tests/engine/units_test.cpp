// Values with their units and the utilisation mode: rates in bit/s over the agent's own time,
// bytes and bare numbers on request without a change to the exact values or their order, and
// interfaces ranked by how full their link is, against the fake agent.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/poll_snapshot.h"
#include "engine/session.h"
#include "engine/shown_quantity.h"
#include "engine/status_sink.h"
#include "engine_rig.h"
#include "fake_agent.h"
#include "snmp/snmp_value.h"

namespace kestrava {
namespace {

using testing::FakeAgent;
using testing::FastClock;
using testing::NullWindow;
using testing::WaitFor;

const std::string kDescr = "1.3.6.1.2.1.2.2.1.2";
const std::string kIn = "1.3.6.1.2.1.2.2.1.10";
const std::string kSpeed = "1.3.6.1.2.1.2.2.1.5";
const std::string kHighSpeed = "1.3.6.1.2.1.31.1.1.1.15";
const std::string kUptime = "1.3.6.1.2.1.1.3.0";
constexpr int kGauge32 = 0x42;
constexpr int kCounter32 = 0x41;

TEST(ShownQuantity, EachColumnReadsInTheUnitOfWhatItCounts) {
  TSlotReading octets;
  octets.Value = TSample::FromAnswer(TSnmpValue::Number(0x41, 1000));
  octets.Delta = Difference(TSample::FromAnswer(TSnmpValue::Number(0x41, 0)), octets.Value);
  octets.HasRate = true;
  octets.Rate = 200;
  octets.Speed = 1e6;
  TSlotReading unmeasured = octets;  // a change whose time is not known
  unmeasured.HasRate = false;
  TSlotReading ticks;
  ticks.Value = TSample::FromAnswer(TSnmpValue::Number(0x43, 8640000));  // a day in hundredths
  TSlotReading null;

  const TShownColumn kOctets{TColumnKind::kOctets, false};
  const TShownColumn kPackets{TColumnKind::kPackets, false};
  const TShownColumn kOther{TColumnKind::kOther, false};
  const TShownColumn kFormula{TColumnKind::kOther, true};
  const TShownColumn kBitsFormula{TColumnKind::kOther, true, "bit/s"};
  const struct {
    const char* name;
    const TSlotReading& reading;
    TShownColumn column;
    TValueMode mode;
    TUnits units;
    const char* text;
  } cases[] = {
      {"octets per second in bits", octets, kOctets, TValueMode::kDelta, TUnits::kBits,
       "1.6 kbit/s"},
      {"octets per second in bytes", octets, kOctets, TValueMode::kDelta, TUnits::kBytes,
       "200 B/s"},
      {"no units: the change alone", octets, kOctets, TValueMode::kDelta, TUnits::kNone, "1000"},
      {"packets", octets, kPackets, TValueMode::kDelta, TUnits::kBits, "200 pkt/s"},
      {"any other counter", octets, kOther, TValueMode::kDelta, TUnits::kBits, "200 /s"},
      {"a formula stays a number", octets, kFormula, TValueMode::kDelta, TUnits::kBits, "1000"},
      {"a formula with its unit", octets, kBitsFormula, TValueMode::kDelta, TUnits::kBits,
       "1 kbit/s"},
      {"a formula with its unit, no units", octets, kBitsFormula, TValueMode::kDelta, TUnits::kNone,
       "1000"},
      {"no time since the poll before", unmeasured, kOctets, TValueMode::kDelta, TUnits::kBits,
       "1000"},
      {"raw octets in bits", octets, kOctets, TValueMode::kRaw, TUnits::kBits, "8 kbit"},
      {"raw octets in bytes", octets, kOctets, TValueMode::kRaw, TUnits::kBytes, "1 kB"},
      {"raw time ticks", ticks, kOther, TValueMode::kRaw, TUnits::kBits, "1 d 00:00:00"},
      {"raw time ticks without units", ticks, kOther, TValueMode::kRaw, TUnits::kNone, "8640000"},
      {"share of the link", octets, kOctets, TValueMode::kUtilisation, TUnits::kBits,
       "0.2 % of 1 Mbit/s"},
      {"share of the link, no units", octets, kOctets, TValueMode::kUtilisation, TUnits::kNone,
       "0.16"},
      {"share without a speed", unmeasured, kOctets, TValueMode::kUtilisation, TUnits::kBits,
       "Null"},
      {"nothing polled yet", null, kOctets, TValueMode::kRaw, TUnits::kBits, "Null"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnitText(ShownQuantity(c.reading, c.column, c.mode, c.units)), c.text) << c.name;
  }
}

// Five interfaces of mixed speeds; each poll moves their counters by a fixed share of the link.
struct Links {
  struct Link {
    const char* speed;      // ifSpeed, bits per second; nullptr: the agent has none
    const char* highSpeed;  // ifHighSpeed, Mbit/s; nullptr: none
    uint64_t octets;        // per poll of 5 s
  };
  static constexpr Link kLinks[] = {
      {"10000000", "10", 5625000},          // eth0: 90 % of 10 Mbit/s
      {"4294967295", "10000", 312500000},   // eth1: 5 % of 10 Gbit/s
      {"100000000", "0", 12500000},         // eth2: ifHighSpeed 0, 20 % of ifSpeed's 100 Mbit/s
      {nullptr, nullptr, 1000000000},       // eth3: no speed, the most octets
      {"4294967295", "100000", 625000000},  // eth4: 1 % of 100 Gbit/s
  };

  explicit Links(FakeAgent& agent) : agent(agent) {
    agent.FillInterfaceTable(5, 1000);
    for (size_t i = 0; i < std::size(kLinks); ++i) {
      const std::string index = "." + std::to_string(i + 1);
      if (kLinks[i].speed) agent.SetValue(kSpeed + index, kGauge32, kLinks[i].speed);
      if (kLinks[i].highSpeed) agent.SetValue(kHighSpeed + index, kGauge32, kLinks[i].highSpeed);
    }
    // Without a speed no wrap of a 32-bit counter can be told from a reset: the busiest link
    // counts in 64 bits, so that it never wraps while a test runs.
    agent.SetValue(kIn + ".4", 0x46, "1004");
  }
  void Advance() {
    agent.AdvanceCounter(kUptime, 500);
    for (size_t i = 0; i < std::size(kLinks); ++i)
      agent.AdvanceCounter(kIn + "." + std::to_string(i + 1), kLinks[i].octets);
  }
  FakeAgent& agent;
};

std::string Config(int port, const std::string& extra, int version) {
  return "<?xml version=\"1.0\"?><kestrava><host>127.0.0.1</host><community>cobalt</community>"
         "<pollinginterval>1</pollinginterval>" +
         extra + "<shooter><remoteport>" + std::to_string(port) + "</remoteport><snmpversion>" +
         std::to_string(version) +
         "</snmpversion><shootertargets>"
         "<shootertarget><oid>" +
         kIn +
         "</oid><instance>ALL INSTANCES</instance><visible>true</visible></shootertarget>"
         "<shootertarget><oid>AL=" +
         kDescr + "</oid></shootertarget></shootertargets></shooter></kestrava>";
}

class KeepingSink : public IPollSink {
 public:
  std::vector<TSnapshotPtr> snapshots;
  std::function<void()> onFresh;
  void TakeSnapshot(const TSnapshotPtr& snapshot) override {
    snapshots.push_back(snapshot);
    if (snapshot->Fresh && onFresh) onFresh();
  }
  int Fresh() const {
    int n = 0;
    for (const TSnapshotPtr& s : snapshots) n += s->Fresh;
    return n;
  }
};

struct Rig {
  explicit Rig(const std::string& extra, int version = 2)
      : links(agent),
        config(std::string("units_") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".xml",
               Config(agent.port(), extra, version)) {
    sink.onFresh = [this] { links.Advance(); };
  }
  ~Rig() {
    if (session) session->Stop();
    session.reset();
    clock.Stop();
  }
  // Starts and waits for the second poll, the first with changes.
  bool Run() {
    session = std::make_unique<TSession>(window, clock.Clock());
    session->AddSink(sink);
    session->Start({"/XML", config.path()});
    return WaitFor([&] { return sink.Fresh() >= 2; }, 20000);
  }
  const TPollSnapshot& Last() const { return *sink.snapshots.back(); }

  FakeAgent agent;
  Links links;
  testing::ConfigFile config;
  NullWindow window;
  FastClock clock{10};
  KeepingSink sink;
  std::unique_ptr<TSession> session;
};

struct Shown {
  std::string label;
  std::string text;
  bool operator==(const Shown&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Shown& s) {
  return out << s.label << "  " << s.text;
}

std::vector<Shown> ShownPie(const TPollSnapshot& snapshot) {
  std::vector<Shown> out;
  for (const TPieSlice& slice : snapshot.Pie)
    out.push_back({slice.Label, slice.Shown.Unit == TUnit::kNone && slice.Shown.Present
                                    ? slice.ValueText
                                    : UnitText(slice.Shown)});
  return out;
}

// The utilisation pie of the five links, once the speeds are known.
const TPollSnapshot& UtilisationShares(Rig& rig) {
  // The speeds come after the first poll; the second one has its rates over the agent's 5 s.
  EXPECT_TRUE(WaitFor(
      [&] { return rig.sink.Fresh() >= 3 && rig.Last().Fresh && rig.Last().Pie.size() == 4; },
      20000));
  return rig.Last();
}

// A 10 Mbit/s link at 90 % before a 10 Gbit/s link at 5 %; ifHighSpeed 0 takes ifSpeed, and
// the link without a speed is left out however much it carries.
const std::vector<Shown> kShares = {{"ifInOctets_eth0", "90 % of 10 Mbit/s"},
                                    {"ifInOctets_eth2", "20 % of 100 Mbit/s"},
                                    {"ifInOctets_eth1", "5 % of 10 Gbit/s"},
                                    {"ifInOctets_eth4", "1 % of 100 Gbit/s"}};

TEST(Utilisation, RanksTheLinksByHowFullTheyAreAndCountsThoseWithoutASpeed) {
  Rig rig("<mode>utilisation</mode>");
  ASSERT_TRUE(rig.Run());
  const TPollSnapshot& shares = UtilisationShares(rig);
  EXPECT_EQ(shares.Mode, TValueMode::kUtilisation);
  EXPECT_DOUBLE_EQ(shares.Elapsed, 5.0);
  EXPECT_EQ(ShownPie(shares), kShares);
  EXPECT_EQ(shares.Pie[0].ValueText, "90");
  EXPECT_EQ(shares.WithoutSpeed, 1);
  EXPECT_EQ(TStatusSink::PollingText(shares),
            "Polling 5 rows every 1 s, 1 without a known speed left out");
  EXPECT_DOUBLE_EQ(shares.Slots[4].Speed, 100e9);

  // Back to the changes: the volume wins again, and the link without a speed comes back.
  rig.session->SetValueMode(false);
  const TPollSnapshot& deltas = rig.Last();
  EXPECT_FALSE(deltas.Fresh);
  EXPECT_EQ(deltas.Mode, TValueMode::kDelta);
  EXPECT_EQ(deltas.WithoutSpeed, 0);
  ASSERT_EQ(deltas.Pie.size(), 5u);
  EXPECT_EQ(deltas.Pie[0].Label, "ifInOctets_eth3");
  EXPECT_EQ(deltas.Pie.back().Label, "ifInOctets_eth0");
}

TEST(Utilisation, AnSnmpV1AgentWithoutSomeSpeedsStillGivesTheOthers) {
  // SNMPv1 refuses a whole get for each instance it lacks (noSuchName): the link without a
  // speed must not take the other links' speeds with it.
  Rig rig("<mode>utilisation</mode>", 1);
  rig.agent.SetValue(kIn + ".4", kCounter32, "1004");  // no Counter64 over SNMPv1
  ASSERT_TRUE(rig.Run());
  const TPollSnapshot& shares = UtilisationShares(rig);
  // SNMPv1 polls no uptime: the shares are of the local clock's interval, their order is not.
  std::vector<std::string> labels;
  for (const TPieSlice& slice : shares.Pie) labels.push_back(slice.Label);
  std::vector<std::string> want;
  for (const Shown& share : kShares) want.push_back(share.label);
  EXPECT_EQ(labels, want);
  const double speeds[] = {10e6, 10e9, 100e6, 0, 100e9};
  for (size_t i = 0; i < std::size(speeds); ++i) EXPECT_DOUBLE_EQ(shares.Slots[i].Speed, speeds[i]);
  EXPECT_EQ(shares.WithoutSpeed, 1);
}

TEST(Units, RatesReadInBitsBytesOrBareNumbersOverTheSameExactValues) {
  Rig rig("<slices>3</slices>");
  ASSERT_TRUE(rig.Run());
  const TPollSnapshot& bits = rig.Last();
  EXPECT_EQ(bits.Units, TUnits::kBits);
  // 1,000,000,000 octets in 5 s; "Other" sums the rest in the same unit.
  EXPECT_EQ(ShownPie(bits), (std::vector<Shown>{{"ifInOctets_eth3", "1.6 Gbit/s"},
                                                {"ifInOctets_eth4", "1 Gbit/s"},
                                                {"Other", "529 Mbit/s"}}));
  const std::vector<std::string> exact = {bits.Pie[0].ValueText, bits.Pie[1].ValueText,
                                          bits.Pie[2].ValueText};
  EXPECT_EQ(exact, (std::vector<std::string>{"1000000000", "625000000", "330625000"}));

  rig.session->SetUnits(TUnits::kBytes);
  EXPECT_EQ(ShownPie(rig.Last()), (std::vector<Shown>{{"ifInOctets_eth3", "200 MB/s"},
                                                      {"ifInOctets_eth4", "125 MB/s"},
                                                      {"Other", "66.1 MB/s"}}));
  rig.session->SetUnits(TUnits::kNone);
  EXPECT_EQ(ShownPie(rig.Last()), (std::vector<Shown>{{"ifInOctets_eth3", "1000000000"},
                                                      {"ifInOctets_eth4", "625000000"},
                                                      {"Other", "330625000"}}));
  // The order and the exact values never change with the units.
  for (size_t i = 0; i < exact.size(); ++i) EXPECT_EQ(rig.Last().Pie[i].ValueText, exact[i]);
}

}  // namespace
}  // namespace kestrava
