// Loading a configuration file: values and fallbacks, directives, formula entries, instance
// modes, the label OID, display names, and the one message of a failed load.
#include "config/load_xml_config.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "shared/oid_names.h"
#include "temp_files.h"

namespace kestrava {
namespace {

using testing_files::KestravaXml;
using testing_files::WriteTempFile;

// A target element from its children.
std::string Target(const std::string& children) {
  return "<shootertarget>" + children + "</shootertarget>";
}
std::string Shooter(const std::string& targets, const std::string& values = "") {
  return "<shooter>" + values + "<shootertargets>" + targets + "</shootertargets></shooter>";
}

struct Loaded {
  bool ok = false;
  TConfigRec cfg;
  TRequest session;
  std::vector<std::string> messages;
};

// Loads contents over the start-up defaults of the session request.
Loaded Load(const std::string& contents, const std::function<void(Loaded&)>& before = {}) {
  Loaded out;
  out.session.Interval = 5;
  out.session.Community = "cobalt";
  out.session.Host = "localhost";
  out.session.RemotePort = 161;
  out.session.SnmpVersion = 1;
  if (before) before(out);
  const std::string file = WriteTempFile(contents);
  out.ok = LoadXmlConfig(file, out.cfg, out.session,
                         [&out](const std::string& text) { out.messages.push_back(text); });
  return out;
}

TEST(LoadXmlConfig, RootOnlyKeepsEveryDefault) {
  const Loaded l = Load("<kestrava/>");
  ASSERT_TRUE(l.ok);
  EXPECT_TRUE(l.messages.empty());
  const TConfigRec defaults;
  EXPECT_EQ(l.cfg.ProgramTitle, defaults.ProgramTitle);
  EXPECT_EQ(l.cfg.ChartTitle, defaults.ChartTitle);
  EXPECT_EQ(l.cfg.View3D, defaults.View3D);
  EXPECT_EQ(l.cfg.ShowLegend, defaults.ShowLegend);
  EXPECT_EQ(l.cfg.LegendAlignment, laBottom);
  EXPECT_EQ(l.cfg.WindowWidth, 600);
  EXPECT_EQ(l.cfg.WindowHeight, 460);
  EXPECT_EQ(l.cfg.Slices, -1);
  EXPECT_FALSE(l.cfg.RawValues);
  EXPECT_FALSE(l.cfg.RefreshInstances);
  EXPECT_EQ(l.cfg.InstanceMode, kInstanceModeNone);
  EXPECT_TRUE(l.cfg.TargetOids.empty());
  EXPECT_TRUE(l.cfg.Formulas.empty());
  EXPECT_TRUE(l.cfg.LabelOid.empty());
  EXPECT_EQ(l.cfg.LastSlot, -1);
  EXPECT_EQ(l.session.Interval, 5);
  EXPECT_EQ(l.session.Host, "localhost");
  EXPECT_EQ(l.session.Community, "cobalt");
  EXPECT_EQ(l.session.RemotePort, 161);
  EXPECT_EQ(l.session.SnmpVersion, 1);
}

TEST(LoadXmlConfig, ValuesAndFallbacks) {
  using Get = std::function<int(const Loaded&)>;
  const Get interval = [](const Loaded& l) { return l.session.Interval; };
  const Get width = [](const Loaded& l) { return l.cfg.WindowWidth; };
  const Get height = [](const Loaded& l) { return l.cfg.WindowHeight; };
  const Get port = [](const Loaded& l) { return l.session.RemotePort; };
  const Get version = [](const Loaded& l) { return l.session.SnmpVersion; };
  const Get slices = [](const Loaded& l) { return l.cfg.Slices; };
  const Get view3D = [](const Loaded& l) { return int(l.cfg.View3D); };
  const Get legend = [](const Loaded& l) { return int(l.cfg.ShowLegend); };
  const Get raw = [](const Loaded& l) { return int(l.cfg.RawValues); };
  const Get refresh = [](const Loaded& l) { return int(l.cfg.RefreshInstances); };
  const struct {
    const char* xml;
    Get get;
    int want;
  } cases[] = {
      {"<pollinginterval>0</pollinginterval>", interval, 5},
      {"<pollinginterval>1001</pollinginterval>", interval, 5},
      {"<pollinginterval>abc</pollinginterval>", interval, 5},
      {"<pollinginterval>1000</pollinginterval>", interval, 1000},
      {"<pollinginterval>7</pollinginterval>", interval, 7},
      {"<width>299</width>", width, 600},
      {"<width>2000</width>", width, 2000},
      {"<height>1601</height>", height, 460},
      {"<height>200</height>", height, 200},
      {"<shooter><remoteport>65536</remoteport></shooter>", port, 161},
      {"<shooter><remoteport>1161</remoteport></shooter>", port, 1161},
      {"<shooter><snmpversion>3</snmpversion></shooter>", version, 1},
      {"<shooter><snmpversion>2</snmpversion></shooter>", version, 2},
      {"<slices>10</slices>", slices, 10},
      {"<slices>-5</slices>", slices, -5},  // unvalidated; the set-up ignores it
      {"<slices>many</slices>", slices, -1},
      {"<chart3D>false</chart3D>", view3D, 0},
      {"<chart3D>maybe</chart3D>", view3D, 1},
      {"<showlegend>0</showlegend>", legend, 0},
      {"<shooter><raw>TRUE</raw></shooter>", raw, 1},
      {"<shooter><raw></raw></shooter>", raw, 0},
      {"<refreshinstances>1</refreshinstances>", refresh, 1},
  };
  for (const auto& c : cases) {
    const Loaded l = Load(KestravaXml(c.xml));
    EXPECT_TRUE(l.ok) << c.xml;
    EXPECT_EQ(c.get(l), c.want) << c.xml;
  }
}

// A port or version that does not convert is 161 or 1, not what the session held before.
TEST(LoadXmlConfig, UnconvertiblePortAndVersionFallBack) {
  const Loaded l =
      Load(KestravaXml("<shooter><remoteport>x</remoteport></shooter>"), [](Loaded& l) {
        l.session.RemotePort = 1161;
        l.session.SnmpVersion = 2;
      });
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.session.RemotePort, 161);
  EXPECT_EQ(l.session.SnmpVersion, 1);
}

TEST(LoadXmlConfig, TextValues) {
  const Loaded l =
      Load(KestravaXml("<programtitle>Router</programtitle><charttitle>Busy</charttitle>"
                       "<host></host><community>public</community>"
                       "<preferredinstance></preferredinstance>"),
           [](Loaded& l) { l.cfg.PreferredInstance = "was set"; });
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.cfg.ProgramTitle, "Router");
  EXPECT_EQ(l.cfg.ChartTitle, "Busy");
  EXPECT_EQ(l.session.Host, "localhost");  // empty keeps it
  EXPECT_EQ(l.session.Community, "public");
  EXPECT_EQ(l.cfg.PreferredInstance, "");  // empty is taken
}

TEST(LoadXmlConfig, LegendAlignment) {
  const struct {
    const char* text;
    TLegendAlignment want;
  } cases[] = {{"left", laLeft},     {"RIGHT", laRight},   {"Top", laTop},
               {"bottom", laBottom}, {"middle", laBottom}, {"", laBottom}};
  for (const auto& c : cases) {
    const Loaded l =
        Load(KestravaXml(std::string("<legendalignment>") + c.text + "</legendalignment>"));
    EXPECT_EQ(l.cfg.LegendAlignment, c.want) << c.text;
  }
}

TEST(LoadXmlConfig, DirectiveRewriting) {
  const struct {
    const char* oid;
    const char* want;
  } cases[] = {
      {"formula", "&Formula"},    {"Formula", "&Formula"},
      {"&FORMULA", "&Formula"},   {"al=1.3.6.1.2.1.31.1.1.1.1", "&AL=1.3.6.1.2.1.31.1.1.1.1"},
      {"&Al=1.2", "&AL=1.2"},     {"im=rt", "&IM=RT"},
      {"&im=rt.*", "&IM=RT.*"},   {"1.3.6.1.2.1.2.2.1.10", "1.3.6.1.2.1.2.2.1.10"},
      {"&whatever", "&WHATEVER"},
  };
  for (const auto& c : cases) EXPECT_EQ(RewriteOidDirective(c.oid), c.want) << c.oid;
}

TEST(LoadXmlConfig, DirectiveTargets) {
  const Loaded l =
      Load(KestravaXml(Shooter(Target("<oid>formula</oid><formula>F1,A,A=1.1,</formula>") +
                               Target("<oid>Formula</oid><formula>F2,A,A=1.1,</formula>") +
                               Target("<oid>&amp;FORMULA</oid><formula>F3,A,A=1.1,</formula>") +
                               Target("<oid>al=1.3.6.1.2.1.31.1.1.1.1</oid>") +
                               Target("<oid>im=rt</oid>") + Target("<oid>&amp;nothing</oid>"))));
  ASSERT_TRUE(l.ok) << (l.messages.empty() ? "" : l.messages.front());
  EXPECT_EQ(l.cfg.Formulas,
            (std::vector<std::string>{"F1,A,A=1.1,", "F2,A,A=1.1,", "F3,A,A=1.1,"}));
  EXPECT_EQ(l.cfg.LabelOid, "1.3.6.1.2.1.31.1.1.1.1");
  EXPECT_TRUE(l.cfg.HasLabelOid);
  EXPECT_EQ(l.cfg.InstanceMask, "RT");
  EXPECT_EQ(l.cfg.InstanceMode, kInstanceModeAtRuntime);
  EXPECT_TRUE(l.cfg.TargetOids.empty());
  // Three formulas and the directive that does nothing count as slots; AL= and IM= do not.
  EXPECT_EQ(l.cfg.LastSlot, 3);
}

TEST(LoadXmlConfig, FormulaEntries) {
  const struct {
    const char* text;
    const char* want;
  } cases[] = {
      {"Sum!@#$%A+B!@#$%A=1.3.6.1.2.1.2.2.1.10!@#$%B=1.3.6.1.2.1.2.2.1.16",
       "Sum,A+B,A=1.3.6.1.2.1.2.2.1.10,B=1.3.6.1.2.1.2.2.1.16,"},
      {"Sum,A+B,A=1.3.6.1.2.1.2.2.1.10,", "Sum,A+B,A=1.3.6.1.2.1.2.2.1.10,"},
      {"In+Out,(A+B)*8/$PI,A=1.3.6.1.2.1.2.2.1.10,B=1.3.6.1.2.1.2.2.1.16,",
       "In+Out,(A+B)*8/$PI,A=1.3.6.1.2.1.2.2.1.10,B=1.3.6.1.2.1.2.2.1.16,"},
      {"Mixed!@#$%A,A=1.1!@#$%", "Mixed,A,A=1.1,"},
      {"", ","},
  };
  for (const auto& c : cases) EXPECT_EQ(MakeFormulaEntry(c.text), c.want) << c.text;
}

TEST(LoadXmlConfig, PlainTargets) {
  const Loaded l = Load(
      KestravaXml(Shooter(Target("<oid>1.3.6.1.2.1.2.2.1.10</oid><instance>all instances</instance>"
                                 "<visible>true</visible><formula>ignored</formula>") +
                          Target("<oid>1.3.6.1.2.1.2.2.1.16</oid><visible>false</visible>"))));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.cfg.TargetOids,
            (std::vector<std::string>{"1.3.6.1.2.1.2.2.1.10", "1.3.6.1.2.1.2.2.1.16"}));
  EXPECT_EQ(l.cfg.TargetVisibility, (std::vector<std::string>{"0", "2"}));
  EXPECT_TRUE(l.cfg.Formulas.empty());
  EXPECT_EQ(l.cfg.InstanceMode, kInstanceModeAllInstances);
  EXPECT_EQ(l.cfg.LastSlot, 1);
  // Without a label directive the first target's column names the instances by suffix.
  EXPECT_EQ(l.cfg.LabelOid, "1.3.6.1.2.1.2.2.1.10");
  EXPECT_FALSE(l.cfg.HasLabelOid);
}

TEST(LoadXmlConfig, InstanceModes) {
  const std::string all = "<instance>ALL INSTANCES</instance><visible>1</visible>";
  const std::string runtime = "<instance>At Runtime</instance><visible>1</visible>";
  const std::string other = "<instance>.3</instance><visible>1</visible>";
  const struct {
    const char* name;
    std::string targets;
    int want;
  } cases[] = {
      {"later target wins", Target("<oid>1.1</oid>" + all) + Target("<oid>1.2</oid>" + runtime),
       kInstanceModeAtRuntime},
      {"later target wins back",
       Target("<oid>1.1</oid>" + runtime) + Target("<oid>1.2</oid>" + all),
       kInstanceModeAllInstances},
      {"other text has no effect",
       Target("<oid>1.1</oid>" + all) + Target("<oid>1.2</oid>" + other),
       kInstanceModeAllInstances},
      {"no mode", Target("<oid>1.1</oid>" + other), kInstanceModeNone},
      {"RT mask forces AT RUNTIME", Target("<oid>1.1</oid>" + all) + Target("<oid>IM=1.RT</oid>"),
       kInstanceModeAtRuntime},
      {"RT mask before the targets", Target("<oid>IM=RT</oid>") + Target("<oid>1.1</oid>" + all),
       kInstanceModeAtRuntime},
      {"mask without RT", Target("<oid>1.1</oid>" + all) + Target("<oid>IM=*.3</oid>"),
       kInstanceModeAllInstances},
  };
  for (const auto& c : cases) {
    const Loaded l = Load(KestravaXml(Shooter(c.targets)));
    EXPECT_TRUE(l.ok) << c.name;
    EXPECT_EQ(l.cfg.InstanceMode, c.want) << c.name;
  }
}

TEST(LoadXmlConfig, DisplayNamesGoToTheOidNameTable) {
  FillOidNames();
  const int builtIn = OidNameCount();
  const Loaded l = Load(KestravaXml(Shooter(
      Target("<oid>1.3.6.1.2.1.2.2.1.10</oid><oiddescr>Bytes in</oiddescr>"
             "<visible>1</visible>") +
      Target("<oid>1.3.6.1.4.1.99999.1</oid><oiddescr>Load</oiddescr><visible>1</visible>") +
      Target("<oid>1.3.6.1.2.1.2.2.1.16</oid><oiddescr></oiddescr><visible>1</visible>"))));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(OidToName("1.3.6.1.2.1.2.2.1.10"), "Bytes in");
  EXPECT_EQ(OidToName("1.3.6.1.4.1.99999.1"), "Load");
  EXPECT_EQ(OidToName("1.3.6.1.2.1.2.2.1.16"), "ifOutOctets");
  EXPECT_EQ(OidNameCount(), builtIn + 1);
  FreeOidNames();
}

TEST(LoadXmlConfig, LoadStartsFromACleanSlate) {
  const Loaded l = Load(KestravaXml(""), [](Loaded& l) {
    l.cfg.LastSlot = 7;
    l.cfg.HasLabelOid = true;
    l.cfg.LabelOid = "1.1";
    l.cfg.InstanceMask = "RT";
    l.session.OidList = "1.1\x1f";
  });
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.cfg.LastSlot, -1);
  EXPECT_FALSE(l.cfg.HasLabelOid);
  EXPECT_EQ(l.cfg.LabelOid, "");
  EXPECT_EQ(l.cfg.InstanceMask, "");
  EXPECT_EQ(l.session.OidList, "");
}

// Every failed load shows exactly one message of the same form, and returns false.
TEST(LoadXmlConfig, FailuresShowTheMessageOnce) {
  std::string deep = "<kestrava>";
  for (int i = 0; i < 40; ++i) deep += "<a>";
  const struct {
    const char* name;
    std::string contents;
    std::string reason;
  } cases[] = {
      {"malformed", "<kestrava><host>h</kestrava>",
       "Opening and ending tag mismatch. (line 1, column 28)"},
      {"wrong root", "<config><host>h</host></config>",
       "The root element is 'config', not 'kestrava'."},
      {"plain target without visible",
       KestravaXml(Shooter(Target("<oid>1.3.6.1.2.1.2.2.1.10</oid>"))),
       "'' is not a valid boolean value"},
      {"plain target with a bad visible",
       KestravaXml(Shooter(Target("<oid>1.1</oid><visible>yes</visible>"))),
       "'yes' is not a valid boolean value"},
      {"nested too deep", deep, "Elements are nested deeper than 32 levels."},
      {"too large", KestravaXml(std::string(1024 * 1024, ' ')), "The file is larger than 1 MiB."},
  };
  for (const auto& c : cases) {
    Loaded l;
    const std::string file = WriteTempFile(c.contents);
    l.ok = LoadXmlConfig(file, l.cfg, l.session,
                         [&l](const std::string& text) { l.messages.push_back(text); });
    EXPECT_FALSE(l.ok) << c.name;
    ASSERT_EQ(l.messages.size(), 1u) << c.name;
    EXPECT_EQ(l.messages[0], "XML Parser error! The XML file: " + file +
                                 " could not be parsed. Error message: " + c.reason)
        << c.name;
  }
}

TEST(LoadXmlConfig, MissingFileShowsTheMessageOnce) {
  const std::string file = ::testing::TempDir() + "/missing-config.xml";
  TConfigRec cfg;
  TRequest session;
  std::vector<std::string> messages;
  EXPECT_FALSE(LoadXmlConfig(file, cfg, session,
                             [&](const std::string& text) { messages.push_back(text); }));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(
      messages[0].rfind(
          "XML Parser error! The XML file: " + file + " could not be parsed. Error message: ", 0),
      0u);
  EXPECT_NE(messages[0].find("No such file"), std::string::npos) << messages[0];
}

// A failing target keeps what was read before it, and the two target lists stay parallel.
TEST(LoadXmlConfig, FailureKeepsEarlierValuesAndParallelLists) {
  const Loaded l = Load(KestravaXml(
      "<charttitle>Kept</charttitle>" +
      Shooter(Target("<oid>1.1</oid><visible>1</visible>") + Target("<oid>1.2</oid>"))));
  EXPECT_FALSE(l.ok);
  EXPECT_EQ(l.cfg.ChartTitle, "Kept");
  EXPECT_EQ(l.cfg.TargetOids, (std::vector<std::string>{"1.1"}));
  EXPECT_EQ(l.cfg.TargetVisibility, (std::vector<std::string>{"0"}));
}

TEST(LoadXmlConfig, DirectiveTargetNeedsNoVisible) {
  const Loaded l = Load(KestravaXml(Shooter(Target("<oid>AL=1.3.6.1.2.1.2.2.1.2</oid>"))));
  EXPECT_TRUE(l.ok);
  EXPECT_TRUE(l.messages.empty());
}

}  // namespace
}  // namespace kestrava
