// The start-up set-up: the order of its steps as the window sees them, the defaults of a start
// without arguments, the list insertions, and the early stops.
#include "engine/session_setup.h"

#include <gtest/gtest.h>

#include "recording_window.h"
#include "shared/oid_names.h"
#include "temp_files.h"

namespace kestrava {
namespace {

using testing_files::KestravaXml;
using testing_files::WriteTempFile;
using testing_window::RecordingWindow;

struct StartUp {
  bool ok = false;
  TConfigRec cfg;
  TRequest session;
  RecordingWindow window;
  int resets = 0;
  int walks = 0;
};

// Runs the set-up; the hooks write into the window's log so that their place shows.
void RunSetup(StartUp& r, const std::vector<std::string>& args) {
  TSetupHooks hooks;
  hooks.ResetSessionCounters = [&r] {
    ++r.resets;
    r.window.Note("ResetSessionCounters");
  };
  hooks.StartInstanceWalk = [&r] {
    ++r.walks;
    r.window.Note("StartInstanceWalk(Operation " + std::to_string(r.session.Operation) + ")");
  };
  r.ok = SetupSession(args, r.cfg, r.session, r.window, hooks);
}

TEST(SetupSession, NoArgumentsInOrder) {
  StartUp r;
  RunSetup(r, {});
  ASSERT_TRUE(r.ok);
  const std::vector<std::string> want = {
      "SetSliceChoices(Any|30|23|17|12|8|5|3; 0)",
      "SetIntervalChoices(1|2|5|10|15|30|60|300|600; -1)",
      "ShowIntervalChoice(false)",
      "ShowInstanceChoice(false)",
      "ShowSliceChoice(false)",
      "SetValueMode(false)",
      "SetView3D(true)",
      "SetAntialiased(false)",
      "SetLegend(true, 3)",
      "SetIntervalChoices(1|2|5|10|15|30|60|300|600; 2)",
      "SetCaption(Kestrava - Host: localhost)",
      "SetChartTitle(Top receivers)",
      "SetWindowSize(600, 460)",
      "SetRefreshInstances(false)",
      "ResetSessionCounters",
      "SetChartHint(Kestrava - Host: localhost)",
      "StartInstanceWalk(Operation 2)",
  };
  EXPECT_EQ(r.window.log, want);
  EXPECT_TRUE(r.window.messageBoxes.empty());

  // The built-in target and the session request.
  EXPECT_EQ(r.cfg.TargetOids, std::vector<std::string>{"1.3.6.1.2.1.2.2.1.10"});
  EXPECT_EQ(r.cfg.TargetVisibility, std::vector<std::string>{"0"});
  EXPECT_EQ(r.cfg.LabelOid, "1.3.6.1.2.1.2.2.1.2");
  EXPECT_TRUE(r.cfg.HasLabelOid);
  EXPECT_EQ(r.cfg.InstanceMode, kInstanceModeAllInstances);
  EXPECT_TRUE(r.cfg.Formulas.empty());
  EXPECT_EQ(r.cfg.SliceIndex, 0);
  EXPECT_EQ(r.cfg.SliceItems, DefaultSliceItems());
  EXPECT_EQ(r.cfg.IntervalItems, DefaultIntervalItems());
  EXPECT_EQ(r.session.Interval, 5);
  EXPECT_EQ(r.session.Community, "cobalt");
  EXPECT_EQ(r.session.Host, "localhost");
  EXPECT_EQ(r.session.RemotePort, 161);
  EXPECT_EQ(r.session.SnmpVersion, 1);
  EXPECT_EQ(r.session.TriesLeft, 1);
  EXPECT_EQ(r.session.Operation, 2);
  EXPECT_EQ(r.resets, 1);
  EXPECT_EQ(r.walks, 1);
}

// The set-up starts from its defaults whatever the records held before.
TEST(SetupSession, DefaultsReplaceEarlierValues) {
  StartUp r;
  r.cfg.RawValues = true;
  r.cfg.View3D = false;
  r.cfg.Slices = 12;
  r.cfg.SliceIndex = 4;
  r.cfg.ChartTitle = "old";
  r.session.Host = "old";
  r.session.RemotePort = 1;
  RunSetup(r, {});
  EXPECT_FALSE(r.cfg.RawValues);
  EXPECT_TRUE(r.cfg.View3D);
  EXPECT_EQ(r.cfg.Slices, -1);
  EXPECT_EQ(r.cfg.SliceIndex, 0);
  EXPECT_EQ(r.cfg.ChartTitle, "Top receivers");
  EXPECT_EQ(r.session.Host, "localhost");
  EXPECT_EQ(r.session.RemotePort, 161);
}

TEST(SetupSession, CommandLineReachesTheWindow) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> want;  // entries that must be in the log
  } cases[] = {
      {"host hides the legend",
       {"/HOST", "192.168.1.1"},
       {"SetCaption(Kestrava - Host: 192.168.1.1)", "SetLegend(false, 3)", "SetChartHint(Kestrava - Host: 192.168.1.1)"}},
      {"legend on the right",
       {"/HOST", "192.168.1.1", "/SHOWLEGEND", "/LEGENDALIGNMENT", "right"},
       {"SetLegend(true, 1)"}},
      {"titles and size",
       {"--programtitle", "Core", "--charttitle", "Busiest", "--width", "800", "--height", "300"},
       {"SetCaption(Core - Host: localhost)", "SetChartTitle(Busiest)", "SetWindowSize(800, 300)"}},
      {"interval 7 is inserted",
       {"/POLLINGINTERVAL", "7"},
       {"SetIntervalChoices(1|2|5|7|10|15|30|60|300|600; 3)"}},
      {"interval 0 falls back to 5",
       {"/POLLINGINTERVAL", "0"},
       {"SetIntervalChoices(1|2|5|10|15|30|60|300|600; 2)"}},
  };
  for (const auto& c : cases) {
    StartUp r;
    RunSetup(r, c.args);
    EXPECT_TRUE(r.ok) << c.name;
    for (const std::string& line : c.want) {
      EXPECT_NE(std::find(r.window.log.begin(), r.window.log.end(), line), r.window.log.end())
          << c.name << ": " << line;
    }
    EXPECT_EQ(r.walks, 1) << c.name;
  }
}

TEST(SetupSession, SliceInsertion) {
  const struct {
    int slices;
    std::string items;
    int index;
  } cases[] = {
      {10, "Any|30|23|17|12|10|8|5|3", 5}, {50, "Any|50|30|23|17|12|8|5|3", 1},
      {2, "Any|30|23|17|12|8|5|3|2", 8},   {12, "Any|30|23|17|12|8|5|3", 4},
      {30, "Any|30|23|17|12|8|5|3", 1},    {3, "Any|30|23|17|12|8|5|3", 7},
      {1, "Any|30|23|17|12|8|5|3", 0},     {0, "Any|30|23|17|12|8|5|3", 0},
      {-5, "Any|30|23|17|12|8|5|3", 0},
  };
  for (const auto& c : cases) {
    std::vector<std::string> items = DefaultSliceItems();
    EXPECT_EQ(InsertSliceItem(items, c.slices), c.index) << c.slices;
    EXPECT_EQ(testing_window::Join(items), c.items) << c.slices;
  }
}

TEST(SetupSession, IntervalInsertion) {
  const struct {
    int interval;
    std::string items;
    int index;
  } cases[] = {
      {7, "1|2|5|7|10|15|30|60|300|600", 3},     {1000, "1|2|5|10|15|30|60|300|600|1000", 9},
      {5, "1|2|5|10|15|30|60|300|600", 2},       {1, "1|2|5|10|15|30|60|300|600", 0},
      {3, "1|2|3|5|10|15|30|60|300|600", 2},     {600, "1|2|5|10|15|30|60|300|600", 8},
      {301, "1|2|5|10|15|30|60|300|301|600", 8},
  };
  for (const auto& c : cases) {
    std::vector<std::string> items = DefaultIntervalItems();
    EXPECT_EQ(InsertIntervalItem(items, c.interval), c.index) << c.interval;
    EXPECT_EQ(testing_window::Join(items), c.items) << c.interval;
  }
}

TEST(SetupSession, ConfiguredSlicesAndIntervalFromAFile) {
  StartUp r;
  RunSetup(r, {"/XML", WriteTempFile(KestravaXml(
                           "<slices>10</slices><pollinginterval>1000</pollinginterval>"
                           "<shooter><raw>true</raw><shootertargets><shootertarget>"
                           "<oid>1.3.6.1.2.1.2.2.1.10</oid><instance>ALL INSTANCES</instance>"
                           "<visible>true</visible></shootertarget></shootertargets></shooter>"))});
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.cfg.SliceIndex, 5);
  EXPECT_EQ(testing_window::Join(r.cfg.SliceItems), "Any|30|23|17|12|10|8|5|3");
  EXPECT_EQ(r.window.Last("SetSliceChoices"), "SetSliceChoices(Any|30|23|17|12|10|8|5|3; 5)");
  EXPECT_EQ(testing_window::Join(r.cfg.IntervalItems), "1|2|5|10|15|30|60|300|600|1000");
  EXPECT_EQ(r.window.Last("SetIntervalChoices"), "SetIntervalChoices(1|2|5|10|15|30|60|300|600|1000; 9)");
  EXPECT_EQ(r.window.Last("SetValueMode"), "SetValueMode(true)");
  EXPECT_EQ(r.walks, 1);
}

TEST(SetupSession, RefreshInstancesCheckMark) {
  const struct {
    const char* name;
    std::string children;
    bool checked;
  } cases[] = {
      {"refresh without a mask", "<refreshinstances>true</refreshinstances>", false},
      {"refresh with a mask",
       "<refreshinstances>true</refreshinstances><shooter><shootertargets><shootertarget>"
       "<oid>IM=RT</oid></shootertarget></shootertargets></shooter>",
       true},
      {"a mask without refresh",
       "<shooter><shootertargets><shootertarget><oid>IM=RT</oid></shootertarget>"
       "</shootertargets></shooter>",
       false},
  };
  for (const auto& c : cases) {
    StartUp r;
    RunSetup(r, {"/XML", WriteTempFile(KestravaXml(c.children))});
    EXPECT_TRUE(r.ok) << c.name;
    // The check mark only shows; the value itself is not changed.
    EXPECT_EQ(r.cfg.RefreshInstances, c.children.find("<refreshinstances>") != std::string::npos)
        << c.name;
    EXPECT_EQ(r.window.Last("SetRefreshInstances"),
              std::string("SetRefreshInstances(") + (c.checked ? "true" : "false") + ")")
        << c.name;
  }
}

// Neither AT RUNTIME nor ALL INSTANCES: the window is set up but nothing is started.
TEST(SetupSession, NoInstanceModeStartsNothing) {
  StartUp r;
  RunSetup(r, {"/XML", WriteTempFile(KestravaXml(
                           "<shooter><shootertargets><shootertarget><oid>1.3.6.1.2.1.1.3</oid>"
                           "<instance>.0</instance><visible>1</visible></shootertarget>"
                           "</shootertargets></shooter>"))});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.walks, 0);
  EXPECT_EQ(r.session.Operation, 0);
  EXPECT_EQ(r.window.log.back(), "SetChartHint(Kestrava - Host: localhost)");
}

// Every way the set-up stops early: the window sees nothing after the stop, the message box
// shows exactly once when a file failed to load, and nothing is started.
TEST(SetupSession, EarlyStops) {
  const std::string malformed = WriteTempFile("<kestrava><host>h</kestrava>");
  const std::string missing = ::testing::TempDir() + "/no-such-config.xml";
  const std::string noVisible = WriteTempFile(
      KestravaXml("<shooter><shootertargets><shootertarget><oid>1.1</oid></shootertarget>"
                  "</shootertargets></shooter>"));
  const std::string wrongRoot = WriteTempFile("<config/>");
  const struct {
    const char* name;
    std::vector<std::string> args;
    int messages;
  } cases[] = {
      {"malformed file", {"/XML", malformed}, 1},
      {"missing file", {"/XML", missing}, 1},
      {"target without visible", {"/XML", noVisible}, 1},
      {"wrong root", {"--xml", wrongRoot, "/HOST", "h"}, 1},
      {"/XML without a value", {"/HOST", "h", "/XML"}, 0},
      {"/XML with an empty name", {"/XML", ""}, 1},
  };
  const std::vector<std::string> lists = {
      "SetSliceChoices(Any|30|23|17|12|8|5|3; 0)", "SetIntervalChoices(1|2|5|10|15|30|60|300|600; -1)",
      "ShowIntervalChoice(false)",         "ShowInstanceChoice(false)",
      "ShowSliceChoice(false)",
  };
  for (const auto& c : cases) {
    StartUp r;
    RunSetup(r, c.args);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_EQ(static_cast<int>(r.window.messageBoxes.size()), c.messages) << c.name;
    std::vector<std::string> want = lists;
    if (c.messages > 0) want.push_back("ShowMessageBox");
    EXPECT_EQ(r.window.log, want) << c.name;
    EXPECT_EQ(r.resets, 0) << c.name;
    EXPECT_EQ(r.walks, 0) << c.name;
  }
}

TEST(SetupSession, ErrorsInsideAreSwallowed) {
  StartUp r;
  r.window.failCaption = true;
  RunSetup(r, {});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.window.log.back(), "SetIntervalChoices(1|2|5|10|15|30|60|300|600; 2)");
  EXPECT_EQ(r.walks, 0);

  StartUp walk;
  TSetupHooks hooks;
  hooks.StartInstanceWalk = [] { throw std::runtime_error("no socket"); };
  EXPECT_FALSE(SetupSession({}, walk.cfg, walk.session, walk.window, hooks));
  EXPECT_EQ(walk.window.log.back(), "SetChartHint(Kestrava - Host: localhost)");
}

}  // namespace
}  // namespace kestrava
