// The example configuration files shipped in examples/: each starts a session.
#include <gtest/gtest.h>

#include "engine/session_setup.h"
#include "recording_window.h"
#include "shared/oid_names.h"

namespace kestrava {
namespace {

struct Example {
  bool ok = false;
  TConfigRec cfg;
  TRequest session;
  testing_window::RecordingWindow window;
  int walks = 0;
};

void Start(Example& e, const std::string& name) {
  TSetupHooks hooks;
  hooks.ResetSessionCounters = [] {};
  hooks.StartInstanceWalk = [&e] { ++e.walks; };
  e.ok = SetupSession({"/XML", std::string(KESTRAVA_SOURCE_DIR) + "/examples/" + name}, e.cfg,
                      e.session, e.window, hooks);
  ASSERT_TRUE(e.ok) << name << (e.window.messageBoxes.empty() ? "" : e.window.messageBoxes.front());
  EXPECT_TRUE(e.window.messageBoxes.empty());
  EXPECT_EQ(e.walks, 1);
  EXPECT_EQ(e.session.Operation, 2);
}

const char* const kInOctets = "1.3.6.1.2.1.2.2.1.10";
const char* const kOutOctets = "1.3.6.1.2.1.2.2.1.16";
const char* const kDescr = "1.3.6.1.2.1.2.2.1.2";

TEST(Examples, TopReceivers) {
  Example e;
  Start(e, "top-receivers.xml");
  EXPECT_EQ(e.cfg.TargetOids, std::vector<std::string>{kInOctets});
  EXPECT_EQ(e.cfg.TargetVisibility, std::vector<std::string>{"0"});
  EXPECT_EQ(e.cfg.LabelOid, kDescr);
  EXPECT_TRUE(e.cfg.HasLabelOid);
  EXPECT_EQ(e.cfg.InstanceMode, kInstanceModeAllInstances);
  EXPECT_EQ(e.cfg.SliceIndex, 5);  // "8"
  EXPECT_EQ(e.window.Last("SetCaption"), "SetCaption(Kestrava - Host: localhost)");
  EXPECT_EQ(e.window.Last("SetChartTitle"), "SetChartTitle(Top receivers)");
  EXPECT_EQ(e.session.Community, "cobalt");
}

TEST(Examples, TopSenders) {
  Example e;
  Start(e, "top-senders.xml");
  EXPECT_EQ(e.cfg.TargetOids, std::vector<std::string>{kOutOctets});
  EXPECT_EQ(e.cfg.LabelOid, kDescr);
  EXPECT_EQ(e.cfg.InstanceMode, kInstanceModeAllInstances);
  EXPECT_EQ(e.cfg.LegendAlignment, laRight);
  EXPECT_EQ(e.session.SnmpVersion, 2);
  EXPECT_EQ(e.cfg.OidNames.Symbol(std::string(kOutOctets) + ".2"), "Sent.2");
  EXPECT_EQ(e.window.Last("SetChartTitle"), "SetChartTitle(Top senders)");
  EXPECT_EQ(e.window.Last("SetWindowSize"), "SetWindowSize(700, 460)");
}

TEST(Examples, BitsPerSecond) {
  Example e;
  Start(e, "bits-per-second.xml");
  EXPECT_EQ(e.cfg.TargetOids, (std::vector<std::string>{kInOctets, kOutOctets}));
  EXPECT_EQ(e.cfg.TargetVisibility, (std::vector<std::string>{"2", "2"}));
  EXPECT_EQ(e.cfg.Formulas,
            std::vector<std::string>{
                "In+Out,(A+B)*8/$PI,A=1.3.6.1.2.1.2.2.1.10,B=1.3.6.1.2.1.2.2.1.16,"});
  EXPECT_EQ(e.cfg.LastSlot, 2);
  EXPECT_EQ(e.cfg.InstanceMode, kInstanceModeAllInstances);
  EXPECT_EQ(e.session.Interval, 10);
}

TEST(Examples, OneInterfaceAtRuntime) {
  Example e;
  Start(e, "one-interface-at-runtime.xml");
  EXPECT_EQ(e.cfg.TargetOids, (std::vector<std::string>{kInOctets, kOutOctets}));
  EXPECT_EQ(e.cfg.InstanceMask, "RT");
  EXPECT_EQ(e.cfg.InstanceMode, kInstanceModeAtRuntime);
  EXPECT_EQ(e.cfg.PreferredInstance, "1");
  EXPECT_TRUE(e.cfg.RefreshInstances);
  EXPECT_EQ(e.window.Last("SetRefreshInstances"), "SetRefreshInstances(true)");
  EXPECT_EQ(e.session.Interval, 2);
  EXPECT_EQ(e.cfg.OidNames.Name(kInOctets), "Received");
}

}  // namespace
}  // namespace kestrava
