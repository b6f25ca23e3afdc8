// The command line: option look-up, values, the "/XML" rule, the "--" forms and the extra
// options.
#include "config/command_line.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>

#include "config/secrets.h"
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
      {"port and version out of range", {"/PORT", "65536", "/SNMPVERSION", "4"}, Want()},
      {"net-snmp's spelling of version 2", {"/SNMPVERSION", "2c"}, with([](Want& w) {
         w.version = 2;
       })},
      {"version 3x falls back to 1", {"/SNMPVERSION", "3x"}, Want()},
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

// "/PORT" is the one session option that counts beside "/XML": it replaces the file's port once
// the file is read.
TEST(CommandLine, PortBesideXmlIsKeptForTheFile) {
  const struct {
    const char* name;
    Args args;
    std::optional<int> port;
  } cases[] = {
      {"after the file", {"/XML", "a.xml", "/PORT", "1161"}, 1161},
      {"before the file, -- form", {"--port", "20161", "--xml", "a.xml"}, 20161},
      {"out of range: the validator's value", {"/XML", "a.xml", "/PORT", "355360"}, 161},
      {"no /PORT", {"/XML", "a.xml", "/HOST", "h"}, std::nullopt},
      {"no file", {"/PORT", "1161"}, std::nullopt},
  };
  for (const auto& c : cases) {
    const Session s = Read(c.args);
    EXPECT_EQ(s.result.XmlPort, c.port) << c.name;
  }
}

TEST(CommandLine, WarningsNameWhatIsNotUsed) {
  const struct {
    const char* name;
    Args args;
    std::vector<std::string> want;
  } cases[] = {
      {"nothing to say",
       {"/HOST", "h", "/PORT", "1161", "/SNMPVERSION", "2c", "/SHOWLEGEND", "/EXPORT", "x.csv"},
       {}},
      {"a value that is an option is that option too", {"/HOST", "/COMMUNITY", "x"}, {}},
      {"a misspelt option and its value",
       {"/PROT", "35536", "/HOST", "h"},
       {"Unknown option \"/PROT\" is ignored, with \"35536\" after it."}},
      {"unknown options before options and at the end",
       {"-x", "/HOST", "h", "--verbose"},
       {"Unknown option \"-x\" is ignored.", "Unknown option \"--verbose\" is ignored."}},
      {"a stray argument",
       {"/SHOWLEGEND", "yes"},
       {"The argument \"yes\" is no option; it is ignored."}},
      {"values the validators replace",
       {"/PORT", "355360", "/POLLINGINTERVAL", "0", "/WIDTH", "wide", "/HEIGHT", "1601",
        "/SNMPVERSION", "3x", "/LEGENDALIGNMENT", "middle", "/UNITS", "octets"},
       {"/PORT \"355360\" is not a number in 1..65535; 161 is used instead.",
        "/POLLINGINTERVAL \"0\" is not a number in 1..1000; 5 is used instead.",
        "/WIDTH \"wide\" is not a number in 300..2000; 600 is used instead.",
        "/HEIGHT \"1601\" is not a number in 200..1600; 460 is used instead.",
        "/SNMPVERSION \"3x\" is not 1, 2, 2c or 3; SNMPv1 is used instead.",
        "/LEGENDALIGNMENT \"middle\" is not LEFT, RIGHT, TOP or BOTTOM; the legend stays at the "
        "bottom.",
        "/UNITS \"octets\" is not bits, bytes or none; bits are used instead."}},
      {"output values",
       {"/EXITAFTER", "0", "/EXITTIMEOUT", "86401", "/SNAPSHOTSCALE", "5"},
       {"/EXITAFTER \"0\" is not a number from 1 up; the run does not end by itself.",
        "/EXITTIMEOUT \"86401\" is not a number in 1..86400; the run's own bound (three polling "
        "intervals) applies.",
        "/SNAPSHOTSCALE \"5\" is not a number in 1..4; 1 is used instead."}},
      {"session options beside /XML, but /PORT",
       {"/HOST", "h", "/XML", "a.xml", "/PORT", "1161", "--nobulk", "/EXPORT", "x.csv"},
       {"/HOST is ignored beside /XML: the file sets the session.",
        "/NOBULK is ignored beside /XML: the file sets the session."}},
      {"/PORT beside /XML is checked",
       {"/XML", "a.xml", "/PORT", "0"},
       {"/PORT \"0\" is not a number in 1..65535; 161 is used instead."}},
      {"/XML without a file", {"/XML"}, {"/XML has no file name; nothing is polled."}},
      {"twice, and a missing value",
       {"/HOST", "a", "--host", "b", "/COMMUNITY"},
       {"/HOST is given more than once; the first counts.",
        "/COMMUNITY has no value; it is ignored."}},
      {"only the first value is checked",
       {"/PORT", "1161", "/PORT", "0"},
       {"/PORT is given more than once; the first counts."}},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandLineWarnings(c.args), c.want) << c.name;
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

TEST(CommandLine, StreamIsAnOutputOption) {
  EXPECT_EQ(ReadOutputOptions({"/STREAM", "-"}).Stream, "-");
  EXPECT_EQ(ReadOutputOptions({"--stream", "polls.ndjson", "/HOST", "h"}).Stream, "polls.ndjson");
  // Beside output options alone the session is the built-in one, legend shown.
  EXPECT_FALSE(ReadOutputOptions({"/STREAM", "/EXPORT", "x.csv"}).Error.empty());
}

TEST(CommandLine, MetricsFromTheCommandLineOrTheFile) {
  const std::string file =
      std::string(KESTRAVA_BINARY_DIR) + "/metrics_option_" + std::to_string(getpid()) + ".xml";
  std::ofstream(file) << "<?xml version=\"1.0\"?><kestrava><metrics>127.0.0.1:9101</metrics>"
                         "</kestrava>";
  EXPECT_EQ(ReadOutputOptions({"/METRICS", "[::1]:9100"}).Metrics, "[::1]:9100");
  EXPECT_EQ(ReadOutputOptions({"/XML", file}).Metrics, "127.0.0.1:9101");
  // The command line's wins over the file's; a value that is an option is refused.
  EXPECT_EQ(ReadOutputOptions({"/XML", file, "--metrics", ":9102"}).Metrics, ":9102");
  EXPECT_FALSE(ReadOutputOptions({"/METRICS", "/EXPORT", "x.csv"}).Error.empty());
  // Beside /XML it is an output option, not a session option that the file overrides.
  for (const std::string& warning : CommandLineWarnings({"/XML", file, "/METRICS", ":9102"}))
    EXPECT_EQ(warning.find("/METRICS"), std::string::npos) << warning;
  std::remove(file.c_str());
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

// The history's window and its recording work beside "/XML" as beside any session; a window
// out of range falls back to an hour, with a warning.
TEST(CommandLine, HistoryAndRecordAreOutputOptions) {
  const struct {
    Args args;
    int minutes;
    const char* record;
    bool warned;
  } cases[] = {
      {{}, 0, "", false},
      {{"/XML", "a.xml", "/HISTORY", "15", "/RECORD", "hour.ndjson.gz"},
       15,
       "hour.ndjson.gz",
       false},
      {{"--history", "1440"}, 1440, "", false},
      {{"/HISTORY", "0"}, 60, "", true},
      {{"/HISTORY", "1441", "/HOST", "h"}, 60, "", true},
      {{"/HISTORY", "ten"}, 60, "", true},
  };
  for (const auto& c : cases) {
    const TOutputOptions got = ReadOutputOptions(c.args);
    EXPECT_EQ(got.HistoryMinutes, c.minutes) << testing::PrintToString(c.args);
    EXPECT_EQ(got.Record, c.record) << testing::PrintToString(c.args);
    EXPECT_TRUE(got.Error.empty());
    bool warned = false;
    for (const std::string& warning : CommandLineWarnings(c.args))
      warned |= warning.find("/HISTORY") != std::string::npos;
    EXPECT_EQ(warned, c.warned) << testing::PrintToString(c.args);
  }
  EXPECT_FALSE(ReadOutputOptions({"/RECORD", "/HISTORY", "5"}).Error.empty());
}

// The utilisation threshold: 1..100 percent; anything else is left out with a warning, and the
// file's threshold applies.
TEST(CommandLine, ThresholdIsAnOutputOption) {
  const struct {
    Args args;
    int percent;
    bool warned;
  } cases[] = {
      {{}, 0, false},
      {{"/XML", "a.xml", "/THRESHOLD", "80"}, 80, false},
      {{"--threshold", "100"}, 100, false},
      {{"/THRESHOLD", "0"}, 0, true},
      {{"/THRESHOLD", "101", "/HOST", "h"}, 0, true},
      {{"/THRESHOLD", "most"}, 0, true},
  };
  for (const auto& c : cases) {
    const TOutputOptions got = ReadOutputOptions(c.args);
    EXPECT_EQ(got.ThresholdPercent, c.percent) << testing::PrintToString(c.args);
    bool warned = false;
    for (const std::string& warning : CommandLineWarnings(c.args))
      warned |= warning.find("/THRESHOLD") != std::string::npos;
    EXPECT_EQ(warned, c.warned) << testing::PrintToString(c.args);
  }
  // A value that is another option is refused.
  EXPECT_FALSE(ReadOutputOptions({"/THRESHOLD", "/HOST"}).Error.empty());
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
  for (const char* option : {"/XML",
                             "/HOST",
                             "/COMMUNITY",
                             "/PORT",
                             "/SNMPVERSION",
                             "/POLLINGINTERVAL",
                             "/CHARTTITLE",
                             "/PROGRAMTITLE",
                             "/SHOWLEGEND",
                             "/LEGENDALIGNMENT",
                             "/WIDTH",
                             "/HEIGHT",
                             "/PREFERREDINSTANCE",
                             "/SNAPSHOT",
                             "/EXPORT",
                             "/EXITAFTER",
                             "/EXITTIMEOUT",
                             "/SNAPSHOTSCALE",
                             "/USER",
                             "/SECURITYLEVEL",
                             "/AUTHPROTOCOL",
                             "/AUTHPASSWORD",
                             "/PRIVPROTOCOL",
                             "/PRIVPASSWORD",
                             "/CONTEXT",
                             "/NOBULK",
                             "/ANTIALIAS",
                             "/UNITS",
                             "/UTILISATION",
                             "KESTRAVA_AUTHPASSWORD",
                             "KESTRAVA_PRIVPASSWORD",
                             "--help",
                             "--version"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

// Only a whole argument in option position asks for help or the version: the value of an
// option that takes one is passed over, whatever it is.
TEST(CommandLine, HelpAndVersionCountOnlyInOptionPosition) {
  const struct {
    Args args;
    bool help;
    bool version;
  } cases[] = {
      {{"/COMMUNITY", "/?"}, false, false},
      {{"/COMMUNITY", "-h"}, false, false},
      {{"--host", "--help"}, false, false},
      {{"/PRIVPASSWORD", "/HELP"}, false, false},
      {{"/XML", "--version"}, false, false},
      {{"/SNAPSHOT", "/VERSION"}, false, false},
      {{"/COMMUNITY", "x", "/?"}, true, false},
      {{"/SHOWLEGEND", "--help"}, true, false},  // a flag takes no value
      {{"/NOBULK", "/ANTIALIAS", "-h"}, true, false},
      {{"unknown", "-h"}, true, false},  // an unknown argument takes none either
      {{"/EXPORT", "a.csv", "--version"}, false, true},
      {{"/USER", "--version", "/VERSION"}, false, true},
      {{"/XML", "a.xml", "/?", "--version"}, true, true},
  };
  for (const auto& c : cases) {
    std::string name;
    for (const std::string& arg : c.args) name += arg + " ";
    EXPECT_EQ(WantsHelp(c.args), c.help) << name;
    EXPECT_EQ(WantsVersion(c.args), c.version) << name;
  }
}

// An output option whose value is missing must not take the next option's name as a file.
TEST(CommandLine, OutputValuesThatAreOptionsAreRefused) {
  const struct {
    const char* name;
    Args args;
    std::string error;
    std::string snapshot, exportFile;
    int exitAfter;
  } cases[] = {
      {"snapshot before export",
       {"/SNAPSHOT", "/EXPORT", "x.csv"},
       "The value of /SNAPSHOT is missing: the next argument, \"/EXPORT\", is an option.",
       "",
       "x.csv",
       0},
      {"export before exit after",
       {"/EXPORT", "--exitafter", "3"},
       "The value of /EXPORT is missing: the next argument, \"--exitafter\", is an option.",
       "",
       "",
       3},
      {"help word",
       {"/EXPORT", "/?"},
       "The value of /EXPORT is missing: the next argument, \"/?\", is an option.",
       "",
       "",
       0},
      {"session option",
       {"/SNAPSHOT", "--Host", "h"},
       "The value of /SNAPSHOT is missing: the next argument, \"--Host\", is an option.",
       "",
       "",
       0},
      {"exit after an option",
       {"/EXITAFTER", "/SNAPSHOT", "p.png"},
       "The value of /EXITAFTER is missing: the next argument, \"/SNAPSHOT\", is an option.",
       "p.png",
       "",
       0},
      {"exit time-out an option",
       {"/EXITTIMEOUT", "/EXITAFTER", "2"},
       "The value of /EXITTIMEOUT is missing: the next argument, \"/EXITAFTER\", is an option.",
       "",
       "",
       2},
      {"a dash word is a name", {"/EXPORT", "-out.csv"}, "", "", "-out.csv", 0},
      {"an absolute path is a name", {"/SNAPSHOT", "/tmp/pie.png"}, "", "/tmp/pie.png", "", 0},
      {"an option glued to text is a name", {"/EXPORT", "/EXPORT.csv"}, "", "", "/EXPORT.csv", 0},
  };
  for (const auto& c : cases) {
    const TOutputOptions got = ReadOutputOptions(c.args);
    EXPECT_EQ(got.Error, c.error) << c.name;
    EXPECT_EQ(got.Snapshot, c.snapshot) << c.name;
    EXPECT_EQ(got.Export, c.exportFile) << c.name;
    EXPECT_EQ(got.ExitAfter, c.exitAfter) << c.name;
  }
}

TEST(CommandLine, ExitTimeoutAndSnapshotScale) {
  const struct {
    Args args;
    int timeout;
    int scale;
  } cases[] = {
      {{}, 0, 1},
      {{"/EXITTIMEOUT", "30"}, 30, 1},
      {{"--exittimeout", "86400"}, 86400, 1},
      {{"/EXITTIMEOUT", "86401"}, 0, 1},
      {{"/EXITTIMEOUT", "0"}, 0, 1},
      {{"/EXITTIMEOUT", "-5"}, 0, 1},
      {{"/EXITTIMEOUT", "soon"}, 0, 1},
      {{"/SNAPSHOTSCALE", "2"}, 0, 2},
      {{"--snapshotscale", "4"}, 0, 4},
      {{"/SNAPSHOTSCALE", "5"}, 0, 1},
      {{"/SNAPSHOTSCALE", "0"}, 0, 1},
      {{"/SNAPSHOTSCALE", "1.5"}, 0, 1},
      {{"/XML", "a.xml", "/SNAPSHOTSCALE", "3", "/EXITTIMEOUT", "60"}, 60, 3},
  };
  for (const auto& c : cases) {
    std::string name;
    for (const std::string& arg : c.args) name += arg + " ";
    const TOutputOptions got = ReadOutputOptions(c.args);
    EXPECT_EQ(got.ExitTimeout, c.timeout) << name;
    EXPECT_EQ(got.SnapshotScale, c.scale) << name;
    EXPECT_EQ(got.Error, "") << name;
  }
  // Output options alone keep the default session, the new ones too.
  Want w;
  w.showLegend = true;
  ExpectSession(Read({"/EXITTIMEOUT", "9", "/SNAPSHOTSCALE", "2"}), w, "new output options");
}

TEST(CommandLine, HostValues) {
  const struct {
    const char* text;
    std::string host;  // what the session polls; unchanged on an error
    std::string error;
  } cases[] = {
      {"192.0.2.1", "192.0.2.1", ""},
      {"router.example", "router.example", ""},
      {"::1", "::1", ""},
      {"[2001:db8::1]", "2001:db8::1", ""},
      {"[::1]", "::1", ""},
      {"fe80::1%eth0", "fe80::1%eth0", ""},
      {"router:1161", "localhost",
       "The host \"router:1161\" names a port; give the host alone and the port with /PORT "
       "(1161)."},
      {"192.0.2.1:161", "localhost",
       "The host \"192.0.2.1:161\" names a port; give the host alone and the port with /PORT "
       "(161)."},
      {"[2001:db8::1]:1161", "localhost",
       "The host \"[2001:db8::1]:1161\" names a port; give the host alone and the port with "
       "/PORT (1161)."},
      {"udp:router", "localhost",
       "The host \"udp:router\" names a port; give the host alone and the port with /PORT."},
  };
  for (const auto& c : cases) {
    const Session s = Read({"/HOST", c.text, "/COMMUNITY", "public"});
    EXPECT_EQ(s.request.Host, c.host) << c.text;
    EXPECT_EQ(s.result.Error, c.error) << c.text;
  }
}

TEST(CommandLine, BulkWalkAndAntialias) {
  const struct {
    Args args;
    bool bulk;
    bool antialias;
  } cases[] = {
      {{}, true, false},
      {{"/HOST", "h"}, true, false},
      {{"/NOBULK"}, false, false},
      {{"--nobulk", "--ANTIALIAS"}, false, true},
      {{"/antialias"}, true, true},
      {{"/XML", "a.xml", "/NOBULK", "/ANTIALIAS"}, true, false},  // the file decides
  };
  for (const auto& c : cases) {
    const Session s = Read(c.args);
    std::string name;
    for (const std::string& arg : c.args) name += arg + " ";
    EXPECT_EQ(s.cfg.BulkWalk, c.bulk) << name;
    EXPECT_EQ(s.cfg.Antialias, c.antialias) << name;
    EXPECT_EQ(s.result.Error, "") << name;
  }
}

TEST(CommandLine, UnitsAndUtilisation) {
  const struct {
    Args args;
    TUnits units;
    bool utilisation;
  } cases[] = {
      {{}, TUnits::kBits, false},
      {{"/UNITS", "bytes"}, TUnits::kBytes, false},
      {{"--units", "NONE", "--utilisation"}, TUnits::kNone, true},
      {{"/UNITS", "octets"}, TUnits::kBits, false},
      {{"/XML", "a.xml", "/UNITS", "bytes", "/UTILISATION"}, TUnits::kBits, false},  // the file
  };
  for (const auto& c : cases) {
    const Session s = Read(c.args);
    std::string name;
    for (const std::string& arg : c.args) name += arg + " ";
    EXPECT_EQ(s.cfg.Units, c.units) << name;
    EXPECT_EQ(s.cfg.Utilisation, c.utilisation) << name;
  }
}

TEST(CommandLine, MaxRows) {
  const struct {
    Args args;
    int rows;
  } cases[] = {
      {{}, 100000},
      {{"/MAXROWS", "500"}, 500},
      {{"--maxrows", "0"}, 100000},                    // out of range: the default
      {{"/XML", "a.xml", "/MAXROWS", "500"}, 100000},  // the file decides
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.args).cfg.MaxRows, c.rows) << c.args.size();
}

// Sets or removes an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
    if (const char* old = getenv(name)) m_old = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (m_old) {
      setenv(m_name, m_old->c_str(), 1);
    } else {
      unsetenv(m_name);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

TEST(CommandLine, SnmpV3Settings) {
  const Args v3 = {"/SNMPVERSION", "3", "/USER", "ops"};
  const auto with = [&v3](Args more) {
    Args args = v3;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  using Env = std::optional<std::string>;
  const struct {
    const char* name;
    Args args;
    Env envAuth, envPriv;
    TSnmpV3Settings want;  // with an error: unchecked
    std::string error;
  } cases[] = {
      {"every setting, names in any case",
       with({"/SECURITYLEVEL", "AUTHPRIV", "/AUTHPROTOCOL", "sha-256", "/AUTHPASSWORD",
             "auth-pass-1", "/PRIVPROTOCOL", "aes", "/PRIVPASSWORD", "priv-pass-1", "/CONTEXT",
             "bridge1"}),
       {},
       {},
       {"ops", "authPriv", "SHA-256", "auth-pass-1", "AES", "priv-pass-1", "bridge1"},
       ""},
      {"the -- forms",
       {"--snmpversion", "3", "--user", "ops", "--securitylevel", "authnopriv", "--authprotocol",
        "Sha-512", "--authpassword", "auth-pass-1", "--privprotocol", "aes-256", "--context", "c"},
       {},
       {},
       {"ops", "authNoPriv", "SHA-512", "auth-pass-1", "AES-256", "", "c"},
       ""},
      {"no level, no passwords", v3, {}, {}, {"ops", "noAuthNoPriv", "MD5", "", "DES", "", ""}, ""},
      {"no level, the authentication password",
       with({"/AUTHPASSWORD", "auth-pass-1"}),
       {},
       {},
       {"ops", "authNoPriv", "MD5", "auth-pass-1", "DES", "", ""},
       ""},
      {"no level, both passwords from the environment",
       v3,
       "env-auth-1",
       "env-priv-1",
       {"ops", "authPriv", "MD5", "env-auth-1", "DES", "env-priv-1", ""},
       ""},
      {"the command line wins over the environment",
       with({"/AUTHPASSWORD", "auth-pass-1", "/SECURITYLEVEL", "authPriv"}),
       "env-auth-1",
       "env-priv-1",
       {"ops", "authPriv", "MD5", "auth-pass-1", "DES", "env-priv-1", ""},
       ""},
      {"an empty variable is no password",
       with({"/SECURITYLEVEL", "authNoPriv"}),
       "",
       {},
       {},
       "The security level authNoPriv needs an authentication password; give it with "
       "/AUTHPASSWORD or in KESTRAVA_AUTHPASSWORD."},
      {"no user",
       {"/SNMPVERSION", "3"},
       {},
       {},
       {},
       "SNMPv3 needs a user name; give it with /USER."},
      {"unknown level",
       with({"/SECURITYLEVEL", "high"}),
       {},
       {},
       {},
       "Unknown security level \"high\" in /SECURITYLEVEL; use noAuthNoPriv, authNoPriv or "
       "authPriv."},
      {"unknown authentication protocol",
       with({"/AUTHPROTOCOL", "SHA1", "/AUTHPASSWORD", "auth-pass-1"}),
       {},
       {},
       {},
       "Unknown authentication protocol \"SHA1\" in /AUTHPROTOCOL; use MD5, SHA, SHA-224, "
       "SHA-256, SHA-384 or SHA-512."},
      {"unknown privacy protocol",
       with({"/PRIVPROTOCOL", "AES128"}),
       {},
       {},
       {},
       "Unknown privacy protocol \"AES128\" in /PRIVPROTOCOL; use DES, AES, AES-192 or AES-256."},
      {"authPriv without a privacy password",
       with({"/SECURITYLEVEL", "authPriv", "/AUTHPASSWORD", "auth-pass-1"}),
       {},
       {},
       {},
       "The security level authPriv needs a privacy password; give it with /PRIVPASSWORD or in "
       "KESTRAVA_PRIVPASSWORD."},
      {"authNoPriv without an authentication password",
       with({"/SECURITYLEVEL", "authNoPriv"}),
       {},
       {},
       {},
       "The security level authNoPriv needs an authentication password; give it with "
       "/AUTHPASSWORD or in KESTRAVA_AUTHPASSWORD."},
      {"short authentication password",
       with({"/AUTHPASSWORD", "abc1234"}),
       {},
       {},
       {},
       "The authentication password (/AUTHPASSWORD) is shorter than 8 characters."},
      {"short privacy password from the environment",
       with({"/AUTHPASSWORD", "auth-pass-1"}),
       {},
       "xyz9876",
       {},
       "The privacy password (KESTRAVA_PRIVPASSWORD) is shorter than 8 characters."},
      {"version 2 checks nothing",
       {"/SNMPVERSION", "2", "/SECURITYLEVEL", "high", "/AUTHPROTOCOL", "sha-224", "/AUTHPASSWORD",
        "abc"},
       {},
       {},
       {"", "high", "SHA-224", "abc", "", "", ""},
       ""},
      {"with /XML the file decides", {"/XML", "a.xml", "/SNMPVERSION", "3"}, {}, {}, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv auth("KESTRAVA_AUTHPASSWORD", c.envAuth);
    ScopedEnv priv("KESTRAVA_PRIVPASSWORD", c.envPriv);
    const Session s = Read(c.args);
    EXPECT_EQ(s.result.Error, c.error);
    for (const char* password : {"abc1234", "xyz9876", "auth-pass-1", "priv-pass-1"}) {
      EXPECT_EQ(s.result.Error.find(password), std::string::npos) << password;
    }
    if (!c.error.empty()) continue;
    const TSnmpV3Settings& got = s.cfg.V3;
    EXPECT_EQ(got.User, c.want.User);
    EXPECT_EQ(got.SecurityLevel, c.want.SecurityLevel);
    EXPECT_EQ(got.AuthProtocol, c.want.AuthProtocol);
    EXPECT_EQ(got.AuthPassword, c.want.AuthPassword);
    EXPECT_EQ(got.PrivProtocol, c.want.PrivProtocol);
    EXPECT_EQ(got.PrivPassword, c.want.PrivPassword);
    EXPECT_EQ(got.ContextName, c.want.ContextName);
  }
  const Session s = Read(with({"/SECURITYLEVEL", "authPriv"}));
  EXPECT_EQ(s.request.SnmpVersion, 3);
}

// Passwords read from the command line or the environment are hidden in reports.
TEST(CommandLine, PasswordsBecomeSecrets) {
  ScopedEnv priv("KESTRAVA_PRIVPASSWORD", "from-the-env-1");
  Read({"/SNMPVERSION", "3", "/USER", "u", "/AUTHPASSWORD", "on-the-line-1"});
  EXPECT_EQ(HideSecrets("a on-the-line-1 b from-the-env-1 c on-the-line-1"),
            "a ******** b ******** c ********");
  EXPECT_EQ(HideSecrets("nothing secret"), "nothing secret");
}

}  // namespace
}  // namespace kestrava
