// The command line: option look-up, values, the "/XML" rule, the "--" forms and the extra
// options.
#include "config/command_line.h"

#include <gtest/gtest.h>

#include "kestrava_version.h"

namespace kestrava {
namespace {

using Args = std::vector<std::string>;

// What the set-up holds before the command line is read.
struct Session {
  TConfigRec cfg;
  TRequest request;
  TCommandLine result;
  Session() {
    request.Interval = 5;
    request.Community = "cobalt";
    request.Host = "localhost";
    request.RemotePort = 161;
    request.SnmpVersion = 1;
  }
};

Session Read(const Args& args) {
  Session s;
  s.result = ReadCommandLine(args, s.cfg, s.request);
  return s;
}

// The values a command line can set, in one line for a table.
struct Want {
  std::string host = "localhost";
  std::string community = "cobalt";
  int interval = 5;
  std::string chartTitle = "Top receivers";
  bool showLegend = false;  // any argument at all hides the legend unless "/SHOWLEGEND"
  TLegendAlignment alignment = laBottom;
  std::string programTitle = "Kestrava";
  int width = 600;
  int height = 460;
  std::string preferred;
  int port = 161;
  int version = 1;
  std::string fileName;
  bool stop = false;
  bool xmlGiven = false;  // also with an empty file name
};

void ExpectSession(const Session& s, const Want& w, const std::string& name) {
  EXPECT_EQ(s.request.Host, w.host) << name;
  EXPECT_EQ(s.request.Community, w.community) << name;
  EXPECT_EQ(s.request.Interval, w.interval) << name;
  EXPECT_EQ(s.cfg.ChartTitle, w.chartTitle) << name;
  EXPECT_EQ(s.cfg.ShowLegend, w.showLegend) << name;
  EXPECT_EQ(s.cfg.LegendAlignment, w.alignment) << name;
  EXPECT_EQ(s.cfg.ProgramTitle, w.programTitle) << name;
  EXPECT_EQ(s.cfg.WindowWidth, w.width) << name;
  EXPECT_EQ(s.cfg.WindowHeight, w.height) << name;
  EXPECT_EQ(s.cfg.PreferredInstance, w.preferred) << name;
  EXPECT_EQ(s.request.RemotePort, w.port) << name;
  EXPECT_EQ(s.request.SnmpVersion, w.version) << name;
  EXPECT_EQ(s.result.FileName, w.fileName) << name;
  EXPECT_EQ(s.result.StopSetup, w.stop) << name;
  EXPECT_EQ(s.result.XmlGiven, !w.fileName.empty() || w.xmlGiven) << name;
}

TEST(CommandLine, NoArgumentsChangeNothing) {
  Want w;
  w.showLegend = true;
  ExpectSession(Read({}), w, "no arguments");
}

TEST(CommandLine, Options) {
  const auto with = [](auto change) {
    Want w;
    change(w);
    return w;
  };
  const struct {
    const char* name;
    Args args;
    Want want;
  } cases[] = {
      {"host hides the legend", {"/HOST", "192.168.1.1"}, with([](Want& w) {
         w.host = "192.168.1.1";
       })},
      {"legend on the right",
       {"/HOST", "192.168.1.1", "/SHOWLEGEND", "/LEGENDALIGNMENT", "right"},
       with([](Want& w) {
         w.host = "192.168.1.1";
         w.showLegend = true;
         w.alignment = laRight;
       })},
      {"xml in any letter case", {"/xml", "a.xml", "/HOST", "h"}, with([](Want& w) {
         w.fileName = "a.xml";
         w.showLegend = true;  // not looked at
       })},
      {"xml mixed case", {"/Xml", "cfg.xml"}, with([](Want& w) {
         w.fileName = "cfg.xml";
         w.showLegend = true;
       })},
      {"xml shuts out the other options",
       {"/HOST", "h", "/SHOWLEGEND", "/PORT", "1161", "/XML", "a.xml"},
       with([](Want& w) {
         w.fileName = "a.xml";
         w.showLegend = true;
       })},
      {"xml with an empty name", {"/XML", ""}, with([](Want& w) {
         w.xmlGiven = true;
         w.showLegend = true;
       })},
      {"xml with its value glued on is unknown", {"/XML=cfg.xml"}, Want()},
      {"xml without a value stops the set-up", {"/HOST", "h", "/XML"}, with([](Want& w) {
         w.stop = true;
         w.showLegend = true;
       })},
      {"interval zero", {"/POLLINGINTERVAL", "0"}, Want()},
      {"interval", {"/pollinginterval", "30"}, with([](Want& w) { w.interval = 30; })},
      {"a value is the next argument, whatever it is",
       {"/HOST", "/COMMUNITY", "x"},
       with([](Want& w) {
         w.host = "/COMMUNITY";
         w.community = "x";
       })},
      {"the first equal argument counts", {"/HOST", "a", "/host", "b"}, with([](Want& w) {
         w.host = "a";
       })},
      {"a missing value is ignored", {"/COMMUNITY", "c", "/HOST"}, with([](Want& w) {
         w.community = "c";
       })},
      {"empty chart title", {"/CHARTTITLE", ""}, with([](Want& w) { w.chartTitle = ""; })},
      {"titles, size and preferred instance",
       {"/PROGRAMTITLE", "Core", "/CHARTTITLE", "Busiest", "/WIDTH", "800", "/HEIGHT", "600",
        "/PREFERREDINSTANCE", "2"},
       with([](Want& w) {
         w.programTitle = "Core";
         w.chartTitle = "Busiest";
         w.width = 800;
         w.height = 600;
         w.preferred = "2";
       })},
      {"size out of range", {"/WIDTH", "299", "/HEIGHT", "1601"}, Want()},
      {"unknown alignment keeps it", {"/LEGENDALIGNMENT", "middle"}, Want()},
      {"alignment left", {"/LEGENDALIGNMENT", "LEFT"}, with([](Want& w) { w.alignment = laLeft; })},
      {"alignment top", {"/LEGENDALIGNMENT", "Top"}, with([](Want& w) { w.alignment = laTop; })},
      {"unknown arguments are ignored", {"-x", "/VERBOSE", "/HOST", "h"}, with([](Want& w) {
         w.host = "h";
       })},
      {"port and version", {"/PORT", "1161", "/SNMPVERSION", "2"}, with([](Want& w) {
         w.port = 1161;
         w.version = 2;
       })},
      {"port and version out of range", {"/PORT", "65536", "/SNMPVERSION", "3"}, Want()},
      {"port not a number", {"/PORT", "snmp"}, Want()},
  };
  for (const auto& c : cases) ExpectSession(Read(c.args), c.want, c.name);
}

TEST(CommandLine, DoubleDashForms) {
  Want w;
  w.host = "10.0.0.1";
  w.community = "private";
  w.interval = 10;
  w.chartTitle = "T";
  w.showLegend = true;
  w.alignment = laLeft;
  w.programTitle = "P";
  w.width = 1000;
  w.height = 700;
  w.preferred = "3";
  w.port = 10161;
  w.version = 2;
  ExpectSession(Read({"--host",
                      "10.0.0.1",
                      "--COMMUNITY",
                      "private",
                      "--PollingInterval",
                      "10",
                      "--charttitle",
                      "T",
                      "--showlegend",
                      "--legendalignment",
                      "left",
                      "--programtitle",
                      "P",
                      "--width",
                      "1000",
                      "--height",
                      "700",
                      "--preferredinstance",
                      "3",
                      "--port",
                      "10161",
                      "--snmpversion",
                      "2"}),
                w, "every option in the -- form");

  Want file;
  file.fileName = "b.xml";
  file.showLegend = true;
  ExpectSession(Read({"--HOST", "h", "--XML", "b.xml"}), file, "--xml");
  ExpectSession(Read({"--host=h"}), Want(), "a glued value is not the option");
  ExpectSession(Read({"-host", "h"}), Want(), "one dash is not the option");
}

// The output options are no session options: alone they leave the session of no arguments.
TEST(CommandLine, OutputOptionsAloneKeepTheDefaultSession) {
  Want w;
  w.showLegend = true;
  ExpectSession(Read({"/EXPORT", "out.csv", "--exitafter", "3"}), w, "output options only");
  Want withHost;
  withHost.host = "h";
  ExpectSession(Read({"/EXPORT", "out.csv", "/HOST", "h"}), withHost, "with a session option");
}

TEST(CommandLine, OutputOptions) {
  const struct {
    const char* name;
    Args args;
    TOutputOptions want;
  } cases[] = {
      {"none", {"/HOST", "h"}, {}},
      {"all, around /XML",
       {"/SNAPSHOT", "pie.png", "/XML", "a.xml", "/EXPORT", "out.csv", "/EXITAFTER", "3"},
       {"pie.png", "out.csv", 3}},
      {"-- forms in any case",
       {"--Snapshot", "p.png", "--EXPORT", "e.csv", "--exitafter", "1"},
       {"p.png", "e.csv", 1}},
      {"exit after zero", {"/EXITAFTER", "0"}, {}},
      {"exit after a word", {"/EXITAFTER", "three"}, {}},
      {"exit after negative", {"/EXITAFTER", "-2"}, {}},
      {"missing values", {"/HOST", "h", "/EXPORT"}, {}},
  };
  for (const auto& c : cases) {
    const TOutputOptions got = ReadOutputOptions(c.args);
    EXPECT_EQ(got.Snapshot, c.want.Snapshot) << c.name;
    EXPECT_EQ(got.Export, c.want.Export) << c.name;
    EXPECT_EQ(got.ExitAfter, c.want.ExitAfter) << c.name;
  }
}

TEST(CommandLine, HelpAndVersion) {
  for (const Args& args : {Args{"--help"}, Args{"/?"}, Args{"-h"}, Args{"/HOST", "h", "--HELP"}}) {
    EXPECT_TRUE(WantsHelp(args)) << args.back();
  }
  EXPECT_FALSE(WantsHelp({"/HOST", "h"}));
  EXPECT_FALSE(WantsHelp({"--helpme"}));
  EXPECT_TRUE(WantsVersion({"--version"}));
  EXPECT_TRUE(WantsVersion({"--VERSION"}));
  EXPECT_FALSE(WantsVersion({"-v"}));
  EXPECT_EQ(VersionText(), std::string("Kestrava ") + KESTRAVA_VERSION);

  const std::string usage = UsageText();
  for (const char* option :
       {"/XML", "/HOST", "/COMMUNITY", "/PORT", "/SNMPVERSION", "/POLLINGINTERVAL", "/CHARTTITLE",
        "/PROGRAMTITLE", "/SHOWLEGEND", "/LEGENDALIGNMENT", "/WIDTH", "/HEIGHT",
        "/PREFERREDINSTANCE", "/SNAPSHOT", "/EXPORT", "/EXITAFTER", "--help", "--version"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace kestrava
