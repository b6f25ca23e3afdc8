// Loading a configuration file: values and fallbacks, directives, formula entries, instance
// modes, the label OID, display names, and the one message of a failed load.
#include "config/load_xml_config.h"

#include <gtest/gtest.h>

#include <stdlib.h>

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
  const Get localPort = [](const Loaded& l) { return l.cfg.LocalPort; };
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
      {"<shooter></shooter>", localPort, 0},
      {"<shooter><localport>162</localport></shooter>", localPort, 162},
      {"<shooter><localport>65536</localport></shooter>", localPort, 0},
      {"<shooter><snmpversion>4</snmpversion></shooter>", version, 1},
      {"<shooter><snmpversion>3</snmpversion><user>u</user></shooter>", version, 3},
      {"<shooter><snmpversion>2</snmpversion></shooter>", version, 2},
      {"<shooter><snmpversion>2c</snmpversion></shooter>", version, 2},
      {"<shooter><snmpversion>3x</snmpversion></shooter>", version, 1},
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

// The values the load replaces are named, with what is used instead.
TEST(LoadXmlConfig, WarningsNameTheValuesReplaced) {
  const std::string file = WriteTempFile(KestravaXml(
      "<pollinginterval>0</pollinginterval><width>wide</width><height>460</height>"
      "<shooter><remoteport>355360</remoteport><snmpversion>3x</snmpversion></shooter>"));
  const std::vector<std::string> want = {
      "pollinginterval \"0\" in " + file + " is not a number in 1..1000; 5 is used instead.",
      "width \"wide\" in " + file + " is not a number in 300..2000; 600 is used instead.",
      "remoteport \"355360\" in " + file + " is not a number in 1..65535; 161 is used instead.",
      "snmpversion \"3x\" in " + file + " is not 1, 2, 2c or 3; SNMPv1 is used instead."};
  EXPECT_EQ(XmlFileWarnings(file, false), want);
  // "/PORT" replaces the file's port anyway.
  EXPECT_EQ(XmlFileWarnings(file, true), (std::vector<std::string>{want[0], want[1], want[3]}));
  const std::string good = WriteTempFile(KestravaXml(
      "<pollinginterval>5</pollinginterval><shooter><snmpversion>2c</snmpversion></shooter>"));
  EXPECT_TRUE(XmlFileWarnings(good, false).empty());
  EXPECT_TRUE(XmlFileWarnings(good + ".missing", false).empty()) << "the load says it";
  const std::string threshold = WriteTempFile(KestravaXml("<threshold>120</threshold>"));
  EXPECT_EQ(XmlFileWarnings(threshold, false),
            (std::vector<std::string>{"threshold \"120\" in " + threshold +
                                      " is not a number in 1..100; no threshold is watched."}));
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
  const int builtIn = TOidNames().Count();
  const Loaded l = Load(KestravaXml(Shooter(
      Target("<oid>1.3.6.1.2.1.2.2.1.10</oid><oiddescr>Bytes in</oiddescr>"
             "<visible>1</visible>") +
      Target("<oid>1.3.6.1.4.1.99999.1</oid><oiddescr>Load</oiddescr><visible>1</visible>") +
      Target("<oid>1.3.6.1.2.1.2.2.1.16</oid><oiddescr></oiddescr><visible>1</visible>"))));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.cfg.OidNames.Name("1.3.6.1.2.1.2.2.1.10"), "Bytes in");
  EXPECT_EQ(l.cfg.OidNames.Name("1.3.6.1.4.1.99999.1"), "Load");
  EXPECT_EQ(l.cfg.OidNames.Name("1.3.6.1.2.1.2.2.1.16"), "ifOutOctets");
  EXPECT_EQ(l.cfg.OidNames.Count(), builtIn + 1);
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

// Blanks around a value (space, tab, CR, LF) are layout: the value is read as if they were not
// there, in every element.
TEST(LoadXmlConfig, BlanksAroundValuesAreIgnored) {
  const std::string target =
      "<shootertarget><oid> 1.3.6.1.2.1.2.2.1.10\n</oid><instance>\tALL INSTANCES </instance>"
      "<visible> false </visible><oiddescr> Bytes in </oiddescr></shootertarget>"
      "<shootertarget><oid>\r\n AL=1.3.6.1.2.1.2.2.1.2 </oid></shootertarget>"
      "<shootertarget><oid> formula </oid>"
      "<formula>\n  Bits,A*8/$PI,A=1.3.6.1.2.1.2.2.1.10,\n</formula></shootertarget>";
  const Loaded l = Load(KestravaXml(
      "<programtitle> Core </programtitle><charttitle>\tBusiest\t</charttitle>"
      "<chart3D> false </chart3D><showlegend>\n0\n</showlegend>"
      "<legendalignment> left </legendalignment><slices> 10 </slices>"
      "<refreshinstances> TRUE </refreshinstances><width> 800 </width>"
      "<height>\r\n600\r\n</height><host> 192.0.2.7 </host><community> public </community>"
      "<pollinginterval>\t7\t</pollinginterval><antialias> true </antialias>"
      "<preferredinstance> 2 </preferredinstance>"
      "<shooter><raw> true </raw><remoteport> 16161 </remoteport>"
      "<snmpversion> 2 </snmpversion><bulkwalk> false </bulkwalk>"
      "<shootertargets>" +
      target + "</shootertargets></shooter>"));
  ASSERT_TRUE(l.ok) << (l.messages.empty() ? "" : l.messages.front());
  EXPECT_EQ(l.cfg.ProgramTitle, "Core");
  EXPECT_EQ(l.cfg.ChartTitle, "Busiest");
  EXPECT_FALSE(l.cfg.View3D);
  EXPECT_FALSE(l.cfg.ShowLegend);
  EXPECT_EQ(l.cfg.LegendAlignment, laLeft);
  EXPECT_EQ(l.cfg.Slices, 10);
  EXPECT_TRUE(l.cfg.RefreshInstances);
  EXPECT_EQ(l.cfg.WindowWidth, 800);
  EXPECT_EQ(l.cfg.WindowHeight, 600);
  EXPECT_EQ(l.session.Host, "192.0.2.7");
  EXPECT_EQ(l.session.Community, "public");
  EXPECT_EQ(l.session.Interval, 7);
  EXPECT_TRUE(l.cfg.Antialias);
  EXPECT_EQ(l.cfg.PreferredInstance, "2");
  EXPECT_TRUE(l.cfg.RawValues);
  EXPECT_EQ(l.session.RemotePort, 16161);
  EXPECT_EQ(l.session.SnmpVersion, 2);
  EXPECT_FALSE(l.cfg.BulkWalk);
  EXPECT_EQ(l.cfg.TargetOids, (std::vector<std::string>{"1.3.6.1.2.1.2.2.1.10"}));
  EXPECT_EQ(l.cfg.TargetVisibility, (std::vector<std::string>{"2"}));
  EXPECT_EQ(l.cfg.InstanceMode, kInstanceModeAllInstances);
  EXPECT_EQ(l.cfg.LabelOid, "1.3.6.1.2.1.2.2.1.2");
  EXPECT_EQ(l.cfg.Formulas, (std::vector<std::string>{"Bits,A*8/$PI,A=1.3.6.1.2.1.2.2.1.10,"}));
  EXPECT_EQ(l.cfg.OidNames.Name("1.3.6.1.2.1.2.2.1.10"), "Bytes in");
}

TEST(LoadXmlConfig, BulkWalkAndAntialias) {
  const struct {
    const char* xml;
    bool bulk;
    bool antialias;
  } cases[] = {
      {"", true, false},
      {"<shooter><bulkwalk>false</bulkwalk></shooter>", false, false},
      {"<shooter><bulkwalk>0</bulkwalk></shooter><antialias>1</antialias>", false, true},
      {"<shooter><bulkwalk>perhaps</bulkwalk></shooter><antialias>x</antialias>", true, false},
      {"<antialias>TRUE</antialias>", true, true},
      {"<bulkwalk>false</bulkwalk>", true, false},  // "bulkwalk" belongs in "shooter"
  };
  for (const auto& c : cases) {
    const Loaded l = Load(KestravaXml(c.xml));
    EXPECT_TRUE(l.ok) << c.xml;
    EXPECT_EQ(l.cfg.BulkWalk, c.bulk) << c.xml;
    EXPECT_EQ(l.cfg.Antialias, c.antialias) << c.xml;
  }
}

TEST(LoadXmlConfig, ModeAndUnits) {
  const struct {
    const char* xml;
    bool raw;
    bool utilisation;
    TUnits units;
  } cases[] = {
      {"", false, false, TUnits::kBits},
      {"<units>Bytes</units>", false, false, TUnits::kBytes},
      {"<units>none</units><mode>utilisation</mode>", false, true, TUnits::kNone},
      {"<mode>UTILIZATION</mode><shooter><raw>true</raw></shooter>", false, true, TUnits::kBits},
      {"<mode>delta</mode><shooter><raw>true</raw></shooter>", false, false, TUnits::kBits},
      {"<mode>raw</mode>", true, false, TUnits::kBits},
      {"<mode>fast</mode><shooter><raw>true</raw></shooter><units>octets</units>", true, false,
       TUnits::kBits},  // unknown words change nothing
  };
  for (const auto& c : cases) {
    const Loaded l = Load(KestravaXml(c.xml));
    EXPECT_TRUE(l.ok) << c.xml;
    EXPECT_EQ(l.cfg.RawValues, c.raw) << c.xml;
    EXPECT_EQ(l.cfg.Utilisation, c.utilisation) << c.xml;
    EXPECT_EQ(l.cfg.Units, c.units) << c.xml;
  }
}

TEST(LoadXmlConfig, AFormulaMayNameItsUnit) {
  const Loaded l = Load(KestravaXml(
      "<shooter><shootertargets>"
      "<shootertarget><oid>1.3.6.1.2.1.2.2.1.10</oid><visible>false</visible></shootertarget>"
      "<shootertarget><oid>FORMULA</oid><formula>Plain,A,A=1.3.6.1.2.1.2.2.1.10,</formula>"
      "</shootertarget>"
      "<shootertarget><oid>FORMULA</oid><formula>Bits,A*8/$PI,A=1.3.6.1.2.1.2.2.1.10,</formula>"
      "<unit> bit/s </unit></shootertarget>"
      "</shootertargets></shooter>"));
  ASSERT_TRUE(l.ok);
  ASSERT_EQ(l.cfg.Formulas.size(), 2u);
  EXPECT_EQ(l.cfg.FormulaUnits, (std::vector<std::string>{"", "bit/s"}));
}

TEST(LoadXmlConfig, MaxRows) {
  const struct {
    const char* xml;
    int rows;
  } cases[] = {
      {"", 100000},
      {"<maxrows>2500</maxrows>", 2500},
      {"<maxrows>0</maxrows>", 100000},
      {"<shooter><maxrows>2500</maxrows></shooter>", 100000},  // "maxrows" is the file's own
  };
  for (const auto& c : cases) {
    const Loaded l = Load(KestravaXml(c.xml));
    EXPECT_TRUE(l.ok) << c.xml;
    EXPECT_EQ(l.cfg.MaxRows, c.rows) << c.xml;
  }
}

TEST(LoadXmlConfig, HistoryMinutes) {
  const struct {
    const char* xml;
    int minutes;
  } cases[] = {
      {"", 60},
      {"<history>15</history>", 15},
      {"<history>0</history>", 60},
      {"<history>1441</history>", 60},
      {"<history>soon</history>", 60},
  };
  for (const auto& c : cases) {
    const Loaded l = Load(KestravaXml(c.xml));
    EXPECT_TRUE(l.ok) << c.xml;
    EXPECT_EQ(l.cfg.HistoryMinutes, c.minutes) << c.xml;
  }
}

TEST(LoadXmlConfig, UtilisationThreshold) {
  const struct {
    const char* xml;
    int percent;
  } cases[] = {
      {"", 0},
      {"<threshold>80</threshold>", 80},
      {"<threshold>0</threshold>", 0},
      {"<threshold>101</threshold>", 0},
      {"<threshold>high</threshold>", 0},
  };
  for (const auto& c : cases) {
    const Loaded l = Load(KestravaXml(c.xml));
    EXPECT_TRUE(l.ok) << c.xml;
    EXPECT_EQ(l.cfg.UtilisationThreshold, c.percent) << c.xml;
  }
}

// A formula entry that could only ever give "Null" is refused when the file loads, named by
// its place among the formulas and its label.
TEST(LoadXmlConfig, FormulasThatCanNeverGiveAValueAreRefused) {
  const std::string in = "1.3.6.1.2.1.2.2.1.10";
  const std::string out = "1.3.6.1.2.1.2.2.1.16";
  const std::string plain = Target("<oid>" + in + "</oid><visible>1</visible>") +
                            Target("<oid>" + out + "</oid><visible>1</visible>");
  const auto formula = [](const std::string& text) {
    return Target("<oid>FORMULA</oid><formula>" + text + "</formula>");
  };
  const std::string good = formula("Sum,A+B,A=" + in + ",B=" + out + ",");
  const struct {
    const char* name;
    std::string targets;
    std::string reason;  // "" loads
  } cases[] = {
      {"bits per second", plain + formula("Bits,(A+B)*8/$PI,A=" + in + ",B=" + out + ","), ""},
      {"a sign in front", plain + formula("Neg,-A+B,A=" + in + ",B=" + out + ","), ""},
      {"lower case and blanks", plain + formula("Low,( a + b ) / 2,a=" + in + ",b=" + out), ""},
      {"an unused binding", plain + formula("One,A*8,A=" + in + ",B=" + out + ","), ""},
      {"two operators", plain + formula("Bad,A++*B,A=" + in + ",B=" + out + ","),
       "Formula 1 (\"Bad\"): the expression \"A++*B\" does not parse."},
      {"parentheses the wrong way", plain + formula("Odd,)A(,A=" + in + ","),
       "Formula 1 (\"Odd\"): the expression \")A(\" does not parse."},
      {"trailing operator", plain + good + formula("Tail,A*,A=" + in + ","),
       "Formula 2 (\"Tail\"): the expression \"A*\" does not parse."},
      {"two operands side by side", plain + formula("Pair,A B,A=" + in + ",B=" + out + ","),
       "Formula 1 (\"Pair\"): the expression \"A B\" does not parse."},
      {"a sign after the first operand", plain + formula("Late,A*-B,A=" + in + ",B=" + out),
       "Formula 1 (\"Late\"): the expression \"A*-B\" does not parse."},
      {"no expression", plain + formula("Empty"),
       "Formula 1 (\"Empty\"): the expression \"\" does not parse."},
      {"an unbound variable", plain + formula("Three,A+B+C,A=" + in + ",B=" + out + ","),
       "Formula 1 (\"Three\"): the variable C is not bound."},
      {"no bindings at all", plain + good + good + formula("Bare,A*8"),
       "Formula 3 (\"Bare\"): the variable A is not bound."},
      {"a binding without its letter", plain + formula("Miss,A*8,=" + in + ","),
       "Formula 1 (\"Miss\"): the binding \"=" + in + "\" is not written as LETTER=OID."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Loaded l = Load(KestravaXml(Shooter(c.targets)));
    if (c.reason.empty()) {
      EXPECT_TRUE(l.ok) << (l.messages.empty() ? "" : l.messages.front());
      EXPECT_TRUE(l.messages.empty());
      continue;
    }
    EXPECT_FALSE(l.ok);
    ASSERT_EQ(l.messages.size(), 1u);
    EXPECT_NE(l.messages[0].find(" could not be parsed. Error message: " + c.reason),
              std::string::npos)
        << l.messages[0];
  }
}

TEST(LoadXmlConfig, HostsAsTheFileGivesThem) {
  const struct {
    const char* host;
    std::string want;
    std::string reason;
  } cases[] = {
      {"::1", "::1", ""},
      {"[2001:db8::1]", "2001:db8::1", ""},
      {" 2001:db8::7 ", "2001:db8::7", ""},
      {"router.example", "router.example", ""},
      {"router:1161", "",
       "The host \"router:1161\" names a port; give the host alone and the port with "
       "\"remoteport\" (1161)."},
      {"[::1]:161", "",
       "The host \"[::1]:161\" names a port; give the host alone and the port with "
       "\"remoteport\" (161)."},
  };
  for (const auto& c : cases) {
    const Loaded l = Load(KestravaXml(std::string("<host>") + c.host + "</host>"));
    if (c.reason.empty()) {
      EXPECT_TRUE(l.ok) << c.host;
      EXPECT_EQ(l.session.Host, c.want) << c.host;
      continue;
    }
    EXPECT_FALSE(l.ok) << c.host;
    ASSERT_EQ(l.messages.size(), 1u) << c.host;
    EXPECT_NE(l.messages[0].find("Error message: " + c.reason), std::string::npos) << l.messages[0];
  }
}

TEST(LoadXmlConfig, SnmpV3Settings) {
  const auto shooter = [](const std::string& children) {
    return KestravaXml("<shooter><snmpversion>3</snmpversion>" + children + "</shooter>");
  };
  const struct {
    const char* name;
    std::string xml;
    const char* envAuth;  // nullptr: not set
    TSnmpV3Settings want;
    std::string reason;
  } cases[] = {
      {"every element",
       shooter("<user>ops</user><securitylevel>AuthPriv</securitylevel>"
               "<authprotocol>sha-384</authprotocol><authpassword>auth-pass-1</authpassword>"
               "<privprotocol>aes-192</privprotocol><privpassword>priv-pass-1</privpassword>"
               "<contextname>vlan-7</contextname>"),
       nullptr,
       {"ops", "authPriv", "SHA-384", "auth-pass-1", "AES-192", "priv-pass-1", "vlan-7"},
       ""},
      {"the file wins over the environment",
       shooter("<user>ops</user><authpassword>auth-pass-1</authpassword>"),
       "env-auth-1",
       {"ops", "authNoPriv", "MD5", "auth-pass-1", "DES", "", ""},
       ""},
      {"a password from the environment",
       shooter("<user>ops</user>"),
       "env-auth-1",
       {"ops", "authNoPriv", "MD5", "env-auth-1", "DES", "", ""},
       ""},
      {"files without the elements load as before",
       KestravaXml("<shooter><snmpversion>2</snmpversion></shooter>"),
       nullptr,
       {},
       ""},
      {"no user", shooter(""), nullptr, {}, "SNMPv3 needs a user name; give it with \"user\"."},
      {"unknown level",
       shooter("<user>u</user><securitylevel>top</securitylevel>"),
       nullptr,
       {},
       "Unknown security level \"top\" in \"securitylevel\"; use noAuthNoPriv, authNoPriv or "
       "authPriv."},
      {"unknown protocol",
       shooter("<user>u</user><authprotocol>SHA-1</authprotocol>"
               "<authpassword>auth-pass-1</authpassword>"),
       nullptr,
       {},
       "Unknown authentication protocol \"SHA-1\" in \"authprotocol\"; use MD5, SHA, SHA-224, "
       "SHA-256, SHA-384 or SHA-512."},
      {"authPriv without the privacy password",
       shooter("<user>u</user><securitylevel>authPriv</securitylevel>"
               "<authpassword>auth-pass-1</authpassword>"),
       nullptr,
       {},
       "The security level authPriv needs a privacy password; give it with \"privpassword\" or "
       "in KESTRAVA_PRIVPASSWORD."},
      {"short password",
       shooter("<user>u</user><authpassword>abc1234</authpassword>"),
       nullptr,
       {},
       "The authentication password (\"authpassword\") is shorter than 8 characters."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.envAuth) {
      setenv("KESTRAVA_AUTHPASSWORD", c.envAuth, 1);
    } else {
      unsetenv("KESTRAVA_AUTHPASSWORD");
    }
    unsetenv("KESTRAVA_PRIVPASSWORD");
    const Loaded l = Load(c.xml);
    unsetenv("KESTRAVA_AUTHPASSWORD");
    if (!c.reason.empty()) {
      EXPECT_FALSE(l.ok);
      ASSERT_EQ(l.messages.size(), 1u);
      EXPECT_NE(l.messages[0].find("Error message: " + c.reason), std::string::npos)
          << l.messages[0];
      EXPECT_EQ(l.messages[0].find("abc1234"), std::string::npos);
      EXPECT_EQ(l.messages[0].find("auth-pass-1"), std::string::npos);
      continue;
    }
    ASSERT_TRUE(l.ok) << (l.messages.empty() ? "" : l.messages.front());
    EXPECT_EQ(l.cfg.V3.User, c.want.User);
    EXPECT_EQ(l.cfg.V3.SecurityLevel, c.want.SecurityLevel);
    EXPECT_EQ(l.cfg.V3.AuthProtocol, c.want.AuthProtocol);
    EXPECT_EQ(l.cfg.V3.AuthPassword, c.want.AuthPassword);
    EXPECT_EQ(l.cfg.V3.PrivProtocol, c.want.PrivProtocol);
    EXPECT_EQ(l.cfg.V3.PrivPassword, c.want.PrivPassword);
    EXPECT_EQ(l.cfg.V3.ContextName, c.want.ContextName);
  }
}

}  // namespace
}  // namespace kestrava
