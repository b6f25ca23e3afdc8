// The program itself against a real agent on 127.0.0.1: a scripted run writes the pie of the
// agent's interface counters and ends with status 0; runs that cannot finish end with an
// error on standard error; "--help" and "--version" answer without a window. The run command
// (scripts/run) starts its own agent for every example file and for IPv6.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "engine/recording.h"
#include "kestrava_version.h"
#include "snmpd_process.h"
#include "temp_dir.h"

namespace kestrava {
namespace {

namespace fs = std::filesystem;
using testing::RunCommand;
using testing::SnmpdProcess;
using testing_files::ReadAll;
using testing_files::TempDir;

const std::string kProgram = KESTRAVA_BINARY_DIR "/bin/kestrava";

// One column of the interface table by index, read with net-snmp's snmpwalk.
std::map<std::string, std::string> Column(const SnmpdProcess& agent, const std::string& oid) {
  const std::string out =
      RunCommand("snmpwalk -v2c -c cobalt -Oqn " + agent.peer() + " " + oid + " 2>/dev/null");
  std::map<std::string, std::string> column;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const size_t space = line.find(' ');
    const std::string prefix = "." + oid + ".";
    if (space == std::string::npos || line.rfind(prefix, 0) != 0) continue;
    std::string value = line.substr(space + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    column[line.substr(prefix.size(), space - prefix.size())] = value;
  }
  return column;
}

struct Row {
  std::string position, label, value;
};

std::vector<Row> ParseCsv(const std::string& text, std::string* header) {
  std::vector<Row> rows;
  std::istringstream lines(text);
  std::getline(lines, *header);
  for (std::string line; std::getline(lines, line);) {
    Row row;
    std::istringstream fields(line);
    std::getline(fields, row.position, ',');
    std::getline(fields, row.label, ',');
    std::getline(fields, row.value);
    rows.push_back(row);
  }
  return rows;
}

std::string RunProgram(const std::string& args, int* status) {
  return RunCommand("QT_QPA_PLATFORM=offscreen timeout 120 " + kProgram + " " + args + " 2>&1",
                    status);
}

// A file that polls the raw ifInOctets of every interface of the agent each second, named by
// ifDescr.
void WriteRawConfig(const fs::path& config, int port) {
  std::ofstream(config) << "<kestrava><host>127.0.0.1</host><community>cobalt</community>"
                           "<pollinginterval>1</pollinginterval><shooter><raw>true</raw>"
                           "<remoteport>"
                        << port
                        << "</remoteport><snmpversion>2</snmpversion><shootertargets>"
                           "<shootertarget><oid>1.3.6.1.2.1.2.2.1.10</oid>"
                           "<instance>ALL INSTANCES</instance><visible>true</visible>"
                           "</shootertarget><shootertarget><oid>AL=1.3.6.1.2.1.2.2.1.2</oid>"
                           "</shootertarget></shootertargets></shooter></kestrava>";
}

TEST(Program, ScriptedRunWritesThePieOfTheAgentsCounters) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  TempDir dir("kestrava-e2e");
  const fs::path config = dir.path / "raw.xml";
  WriteRawConfig(config, agent.port());
  const auto descr = Column(agent, "1.3.6.1.2.1.2.2.1.2");
  const auto before = Column(agent, "1.3.6.1.2.1.2.2.1.10");
  ASSERT_FALSE(descr.empty());

  const fs::path csv = dir.path / "pie.csv";
  const fs::path png = dir.path / "pie.png";
  int status = -1;
  const std::string said = RunProgram("/XML " + config.string() + " /EXPORT " + csv.string() +
                                          " /SNAPSHOT " + png.string() + " /EXITAFTER 2",
                                      &status);
  const auto after = Column(agent, "1.3.6.1.2.1.2.2.1.10");
  ASSERT_EQ(status, 0) << said;

  std::string header;
  const std::vector<Row> rows = ParseCsv(ReadAll(csv), &header);
  EXPECT_EQ(header, "position,label,value");
  // "Any": every interface is a slice of its own, largest first, no "Other".
  ASSERT_EQ(rows.size(), descr.size());
  double previous = 1e300;
  std::set<std::string> seen;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].label);
    EXPECT_EQ(rows[i].position, std::to_string(i));
    std::string index;
    for (const auto& [idx, name] : descr) {
      const std::string& label = rows[i].label;
      if (label.size() >= name.size() &&
          label.compare(label.size() - name.size(), name.size(), name) == 0) {
        if (index.empty() || name.size() > descr.at(index).size()) index = idx;
      }
    }
    ASSERT_FALSE(index.empty()) << "the label names an interface";
    EXPECT_TRUE(seen.insert(index).second);
    // A raw counter read between the two walks around the run.
    const double value = std::stod(rows[i].value);
    EXPECT_GE(value, std::stod(before.at(index)));
    EXPECT_LE(value, std::stod(after.at(index)));
    EXPECT_LE(value, previous);
    previous = value;
    EXPECT_EQ(rows[i].value.find_first_of("eE "), std::string::npos) << "plain decimal";
  }
  const QImage snapshot(QString::fromStdString(png.string()));
  EXPECT_FALSE(snapshot.isNull());
  EXPECT_GT(snapshot.width(), 300);
  // Nothing but the two files is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 3);
}

TEST(Program, DeltaRunFromTheCommandLineEndsWithStatusZero) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  TempDir dir("kestrava-e2e");
  const fs::path csv = dir.path / "out.csv";
  int status = -1;
  const std::string said =
      RunProgram("/HOST 127.0.0.1 /PORT " + std::to_string(agent.port()) +
                     " /POLLINGINTERVAL 1 /EXPORT " + csv.string() + " /EXITAFTER 2",
                 &status);
  ASSERT_EQ(status, 0) << said;
  std::string header;
  const auto rows = ParseCsv(ReadAll(csv), &header);
  EXPECT_EQ(header, "position,label,value");
  EXPECT_EQ(rows.size(), Column(agent, "1.3.6.1.2.1.2.2.1.2").size());
  for (const Row& row : rows) EXPECT_GE(std::stod(row.value), 0) << row.label;
}

TEST(Program, TypeAndStateFiltersLeaveOutTheLoopbackAndDownInterfaces) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  const auto descr = Column(agent, "1.3.6.1.2.1.2.2.1.2");
  const auto type = Column(agent, "1.3.6.1.2.1.2.2.1.3");
  const auto oper = Column(agent, "1.3.6.1.2.1.2.2.1.8");
  std::set<std::string> wanted;  // the labels of the Ethernet interfaces that are up
  bool loopback = false;
  for (const auto& [index, name] : descr) {
    loopback |= type.count(index) && type.at(index) == "24";
    if (type.count(index) && type.at(index) == "6" && oper.count(index) && oper.at(index) == "1")
      wanted.insert(name);
  }
  ASSERT_TRUE(loopback) << "the agent serves this machine's loopback";
  if (wanted.empty()) GTEST_SKIP() << "this machine has no Ethernet interface that is up";
  TempDir dir("kestrava-e2e");
  const fs::path csv = dir.path / "out.csv";
  int status = -1;
  const std::string said =
      RunProgram("/HOST 127.0.0.1 /PORT " + std::to_string(agent.port()) +
                     " /SNMPVERSION 2 /IFTYPE ethernetCsmacd /UPONLY /POLLINGINTERVAL 1 /EXPORT " +
                     csv.string() + " /EXITAFTER 2",
                 &status);
  ASSERT_EQ(status, 0) << said;
  std::string header;
  std::set<std::string> shown;
  for (const Row& row : ParseCsv(ReadAll(csv), &header)) {
    const size_t cut = row.label.find('_');
    shown.insert(cut == std::string::npos ? row.label : row.label.substr(cut + 1));
  }
  EXPECT_EQ(shown, wanted);
}

TEST(Program, RunsThatCannotFinishSayWhyAndFail) {
  TempDir dir("kestrava-e2e");
  int silentStatus = -1;
  // Nothing listens on this port: discovery gives up.
  const std::string silent = RunProgram(
      "/HOST 127.0.0.1 /PORT " + std::to_string(testing::FreeUdpPort()) + " /EXITAFTER 1",
      &silentStatus);
  EXPECT_NE(silentStatus, 0);
  EXPECT_NE(silentStatus, 124) << "ended by itself, not by the time limit";
  EXPECT_NE(silent.find("kestrava: "), std::string::npos) << silent;

  int configStatus = -1;
  const std::string config =
      RunProgram("/EXITAFTER 1 /XML " + (dir.path / "missing.xml").string(), &configStatus);
  EXPECT_EQ(configStatus, 2);
  EXPECT_NE(config.find("XML Parser error! The XML file: " + (dir.path / "missing.xml").string() +
                        " could not be parsed."),
            std::string::npos)
      << config;
}

TEST(Program, AScriptedRunThatNeverShowsASliceEnds) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  TempDir dir("kestrava-e2e");
  // A formula that is always "Null": a division by zero.
  const fs::path xml = dir.path / "never.xml";
  std::ofstream(xml) << "<?xml version=\"1.0\"?><kestrava><host>127.0.0.1</host>"
                        "<community>cobalt</community><pollinginterval>1</pollinginterval>"
                        "<shooter><remoteport>"
                     << agent.port()
                     << "</remoteport><snmpversion>2</snmpversion><shootertargets>"
                        "<shootertarget><oid>1.3.6.1.2.1.2.2.1.10</oid><instance>ALL "
                        "INSTANCES</instance><visible>false</visible></shootertarget>"
                        "<shootertarget><oid>AL=1.3.6.1.2.1.2.2.1.2</oid></shootertarget>"
                        "<shootertarget><oid>FORMULA</oid><formula>zero,A/0,A=1.3.6.1.2.1.2.2.1.10,"
                        "</formula></shootertarget></shootertargets></shooter></kestrava>";
  const struct {
    const char* name;
    std::string more;
    const char* said;
  } cases[] = {
      {"the bound of the user's", " /EXITTIMEOUT 3", "No update has shown a slice for 3 seconds"},
      {"three intervals and the time-out table", "", "No update has shown a slice for 11 seconds"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int status = -1;
    const std::string said = RunProgram("/XML " + xml.string() + " /EXITAFTER 2" + c.more, &status);
    EXPECT_EQ(status, 1) << said;
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
  }
}

TEST(Program, QuitSignalClosesTheWindowTheOrdinaryWay) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  TempDir dir("kestrava-e2e");
  const fs::path csv = dir.path / "pie.csv";
  const std::string start = "QT_QPA_PLATFORM=offscreen " + kProgram + " /HOST 127.0.0.1 /PORT " +
                            std::to_string(agent.port()) + " /POLLINGINTERVAL 1 /EXPORT " +
                            csv.string();
  // Wait for the first written pie, then ask the program to end.
  const std::string stop =
      " & pid=$!; for i in $(seq 100); do [ -s " + csv.string() +
      " ] && break; sleep 0.1; done; kill -TERM $pid; wait $pid; echo status=$?";
  struct Case {
    const char* name;
    std::string extra;
    const char* status;
  } cases[] = {
      {"interactive", "", "status=0"},
      {"scripted, before its last feed", " /EXITAFTER 1000", "status=143"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(csv);
    const std::string said = RunCommand("(" + start + c.extra + stop + ") 2>&1");
    EXPECT_NE(said.find(c.status), std::string::npos) << said;
    EXPECT_TRUE(fs::exists(csv));
  }
}

TEST(Program, HelpAndVersionAnswerWithoutAWindow) {
  int status = -1;
  const std::string version = RunCommand(kProgram + " --version", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(version, "Kestrava " KESTRAVA_VERSION "\n");
  const std::string help =
      RunCommand("env -u DISPLAY -u QT_QPA_PLATFORM " + kProgram + " --help", &status);
  EXPECT_EQ(status, 0);
  for (const char* option : {"/HOST", "/XML", "/SNAPSHOT", "/EXPORT", "/EXITAFTER"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

// Everything the program says, run from `dir` without Qt's runtime folder variable, with a
// short time limit: these runs end before they poll, or within a few seconds.
std::string RunQuick(const fs::path& dir, const std::string& args, int* status,
                     const std::string& env = "") {
  return RunCommand("cd " + dir.string() + " && env -u XDG_RUNTIME_DIR -u KESTRAVA_AUTHPASSWORD " +
                        "-u KESTRAVA_PRIVPASSWORD QT_QPA_PLATFORM=offscreen " + env +
                        " timeout 30 " + kProgram + " " + args + " 2>&1",
                    status);
}

// An output path that is no regular file ends the run before the first poll, scripted or not,
// and the device, FIFO or folder stays as it was.
TEST(Program, OutputPathsThatAreNoRegularFileEndTheRunAtOnce) {
  TempDir dir("kestrava-e2e");
  ASSERT_EQ(mkfifo((dir.path / "fifo.csv").c_str(), 0600), 0);
  fs::create_directory(dir.path / "folder.png");
  fs::create_symlink("/dev/null", dir.path / "null.csv");
  // Nothing listens there: a run that polled would wait for its time-out first.
  const std::string agent = "/HOST 127.0.0.1 /PORT " + std::to_string(testing::FreeUdpPort());
  const struct {
    const char* name;
    std::string options;
    std::string said;
  } cases[] = {
      {"device", "/EXPORT /dev/null /EXITAFTER 1",
       "kestrava: cannot write /dev/null: Is a character device, not a regular file\n"},
      {"device, interactive", "/EXPORT /dev/null",
       "kestrava: cannot write /dev/null: Is a character device, not a regular file\n"},
      {"FIFO", "/EXITAFTER 1 /EXPORT fifo.csv",
       "kestrava: cannot write fifo.csv: Is a FIFO, not a regular file\n"},
      {"folder", "/SNAPSHOT folder.png /EXITAFTER 1",
       "kestrava: cannot write folder.png: Is a directory\n"},
      {"a recording into a folder", "/RECORD folder.png",
       "kestrava: cannot write folder.png: Is a directory\n"},
      {"link to a device", "/EXPORT null.csv /EXITAFTER 1",
       "kestrava: cannot write null.csv: Is a character device, not a regular file (the link "
       "leads to /dev/null)\n"},
      {"missing folder", "/EXPORT none/x.csv /EXITAFTER 1",
       "kestrava: cannot write none/x.csv: No such file or directory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int status = -1;
    const std::string said = RunQuick(dir.path, agent + " " + c.options, &status);
    EXPECT_EQ(status, 4);
    EXPECT_EQ(said, c.said);
  }
  struct stat st {};
  ASSERT_EQ(lstat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_TRUE(fs::is_fifo(dir.path / "fifo.csv"));
  EXPECT_TRUE(fs::is_directory(dir.path / "folder.png"));
  EXPECT_TRUE(fs::is_symlink(dir.path / "null.csv"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 3);
}

// A link planted by another user in a world-writable sticky folder ends the run before the
// first poll; the file it leads to stays as it was.
TEST(Program, AnotherUsersLinkInAStickyFolderEndsTheRunAtOnce) {
  TempDir dir("kestrava-e2e");
  std::ofstream(dir.path / "secret.conf") << "secret\n";
  fs::create_directory(dir.path / "sticky");
  ASSERT_EQ(chmod((dir.path / "sticky").c_str(), 01777), 0);
  fs::create_symlink(dir.path / "secret.conf", dir.path / "sticky" / "out.csv");
  if (lchown((dir.path / "sticky" / "out.csv").c_str(), 65534, 65534) != 0)
    GTEST_SKIP() << "giving a link to another user needs root";
  int status = -1;
  const std::string said =
      RunQuick(dir.path,
               "/HOST 127.0.0.1 /PORT " + std::to_string(testing::FreeUdpPort()) +
                   " /EXPORT sticky/out.csv /EXITAFTER 1",
               &status);
  EXPECT_EQ(status, 4);
  EXPECT_EQ(said,
            "kestrava: cannot write sticky/out.csv: Permission denied: the link sticky/out.csv "
            "belongs to another user in a world-writable sticky folder and is not followed\n");
  EXPECT_EQ(ReadAll(dir.path / "secret.conf"), "secret\n");
}

// "/SNAPSHOT /EXPORT x.csv": the snapshot's file name is missing; nothing is written to a file
// named "/EXPORT".
TEST(Program, AnOutputOptionWithoutItsValueIsRefused) {
  TempDir dir("kestrava-e2e");
  for (const char* scripted : {" /EXITAFTER 1", ""}) {
    SCOPED_TRACE(scripted);
    int status = -1;
    const std::string said =
        RunQuick(dir.path, std::string("/SNAPSHOT /EXPORT x.csv") + scripted, &status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(said,
              "kestrava: The value of /SNAPSHOT is missing: the next argument, \"/EXPORT\", is "
              "an option.\n");
  }
  EXPECT_TRUE(fs::is_empty(dir.path));
}

// A link is written through: the file it leads to gets the pie and keeps its mode.
TEST(Program, OutputFilesBehindLinksKeepTheLinksAndTheirMode) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  TempDir dir("kestrava-e2e");
  fs::create_directory(dir.path / "real");
  std::ofstream(dir.path / "real" / "pie.csv") << "old\n";
  ASSERT_EQ(chmod((dir.path / "real" / "pie.csv").c_str(), 0600), 0);
  fs::create_symlink("real/pie.csv", dir.path / "pie.csv");
  fs::create_symlink(dir.path / "real" / "pie.png", dir.path / "pie.png");
  int status = -1;
  const std::string said =
      RunQuick(dir.path,
               "/HOST 127.0.0.1 /PORT " + std::to_string(agent.port()) +
                   " /POLLINGINTERVAL 1 /EXPORT pie.csv /SNAPSHOT pie.png /EXITAFTER 1",
               &status);
  ASSERT_EQ(status, 0) << said;
  EXPECT_EQ(said, "");
  EXPECT_TRUE(fs::is_symlink(dir.path / "pie.csv"));
  EXPECT_TRUE(fs::is_symlink(dir.path / "pie.png"));
  EXPECT_EQ(ReadAll(dir.path / "real" / "pie.csv").rfind("position,label,value\n", 0), 0u);
  struct stat st {};
  ASSERT_EQ(stat((dir.path / "real" / "pie.csv").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_FALSE(QImage(QString::fromStdString((dir.path / "real" / "pie.png").string())).isNull());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path / "real"), fs::directory_iterator()), 2);
}

// "--help" and its kind count only where an option may stand, not as an option's value.
TEST(Program, HelpWordsAsValuesAreValues) {
  TempDir dir("kestrava-e2e");
  int status = -1;
  const std::string asValue =
      RunQuick(dir.path, "/COMMUNITY /? /XML missing.xml /EXITAFTER 1", &status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(asValue,
            "kestrava: /COMMUNITY is ignored beside /XML: the file sets the session.\n"
            "kestrava: XML Parser error! The XML file: missing.xml could not be parsed. Error "
            "message: No such file or directory\n");
  const std::string asOption = RunQuick(dir.path, "/COMMUNITY x /?", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(asOption.rfind("Kestrava " KESTRAVA_VERSION " - a live SNMP top-N pie chart\n", 0), 0u)
      << asOption;
  const std::string version = RunQuick(dir.path, "/USER --version --VERSION", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(version, "Kestrava " KESTRAVA_VERSION "\n");
}

// Sessions that cannot start say why once, with the configuration's exit status, before any
// request leaves; no password is ever repeated.
TEST(Program, SessionsThatCannotStartSayWhy) {
  TempDir dir("kestrava-e2e");
  std::ofstream(dir.path / "formula.xml")
      << "<kestrava><shooter><shootertargets><shootertarget><oid>1.3.6.1.2.1.2.2.1.10</oid>"
         "<instance>ALL INSTANCES</instance><visible>false</visible></shootertarget>"
         "<shootertarget><oid>FORMULA</oid><formula>Sum,A+B,A=1.3.6.1.2.1.2.2.1.10,</formula>"
         "</shootertarget></shootertargets></shooter></kestrava>";
  std::ofstream(dir.path / "v3.xml")
      << "<kestrava><shooter><snmpversion>3</snmpversion><user>ops</user>"
         "<securitylevel>authPriv</securitylevel><authpassword>secret-auth-1</authpassword>"
         "<privpassword>tiny</privpassword></shooter></kestrava>";
  const struct {
    const char* name;
    std::string run;
    std::string said;
    std::string env = "";
  } cases[] = {
      {"a host with a port", "/HOST router.example:1161 /EXITAFTER 1",
       "kestrava: The host \"router.example:1161\" names a port; give the host alone and the port "
       "with /PORT (1161).\n"},
      {"SNMPv3 without a user", "/SNMPVERSION 3 /EXITAFTER 1",
       "kestrava: SNMPv3 needs a user name; give it with /USER.\n"},
      {"a short password", "/SNMPVERSION 3 /USER ops /AUTHPASSWORD short-7 /EXITAFTER 1",
       "kestrava: The authentication password (/AUTHPASSWORD) is shorter than 8 characters.\n"},
      {"a short password from the environment",
       "/SNMPVERSION 3 /USER ops /SECURITYLEVEL authPriv /AUTHPASSWORD secret-auth-1 "
       "/EXITAFTER 1",
       "kestrava: The privacy password (KESTRAVA_PRIVPASSWORD) is shorter than 8 characters.\n",
       "KESTRAVA_PRIVPASSWORD=tiny-p"},
      {"an unknown protocol", "/SNMPVERSION 3 /USER ops /PRIVPROTOCOL 3DES /EXITAFTER 1",
       "kestrava: Unknown privacy protocol \"3DES\" in /PRIVPROTOCOL; use DES, AES, AES-192 or "
       "AES-256.\n"},
      {"a formula with an unbound variable", "/XML formula.xml /EXITAFTER 1",
       "kestrava: XML Parser error! The XML file: formula.xml could not be parsed. Error message: "
       "Formula 1 (\"Sum\"): the variable B is not bound.\n"},
      {"SNMPv3 in the file", "/XML v3.xml /EXITAFTER 1",
       "kestrava: XML Parser error! The XML file: v3.xml could not be parsed. Error message: The "
       "privacy password (\"privpassword\") is shorter than 8 characters.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int status = -1;
    const std::string said = RunQuick(dir.path, c.run, &status, c.env);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(said, c.said);
    for (const char* password : {"secret-auth-1", "short-7", "tiny"}) {
      EXPECT_EQ(said.find(password), std::string::npos) << password;
    }
  }
}

// scripts/run with the program already built, without a display, from `dir`; its output
// files go to dir/out unless the arguments name them.
std::string RunCommandScript(const fs::path& dir, const std::string& args, int* status) {
  return RunCommand(
      "cd " + dir.string() +
          " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM KESTRAVA_PROGRAM=" + kProgram +
          " KESTRAVA_OUT=" + (dir / "out").string() + " timeout 120 " +
          KESTRAVA_SOURCE_DIR "/scripts/run " + args + " 2>&1",
      status);
}

struct RunCase {
  const char* name;
  std::string args;
};

void PrintTo(const RunCase& c, std::ostream* os) {
  *os << c.name;
}

class RunCommandAgainstTheLocalAgent : public ::testing::TestWithParam<RunCase> {};

// Every example as shipped, IPv6, and no options at all: the run command starts its agent and
// points the program at it; the headless run writes its slices to the run's own CSV.
TEST_P(RunCommandAgainstTheLocalAgent, WritesThePie) {
  TempDir dir("kestrava-run");
  int status = -1;
  const std::string said = RunCommandScript(dir.path, GetParam().args + " /EXITAFTER 1", &status);
  ASSERT_EQ(status, 0) << said;
  EXPECT_NE(said.find("run: started a local snmpd"), std::string::npos) << said;
  EXPECT_EQ(said.find("kestrava: "), std::string::npos) << said;
  std::string header;
  const std::vector<Row> rows = ParseCsv(ReadAll(dir.path / "out" / "kestrava.csv"), &header);
  EXPECT_EQ(header, "position,label,value");
  ASSERT_FALSE(rows.empty()) << said;
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].position, std::to_string(i));
    EXPECT_FALSE(rows[i].label.empty());
    EXPECT_GE(std::stod(rows[i].value), 0) << rows[i].label;
  }
  EXPECT_FALSE(
      QImage(QString::fromStdString((dir.path / "out" / "kestrava.png").string())).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Examples, RunCommandAgainstTheLocalAgent,
    ::testing::Values(
        RunCase{"top_receivers", "/XML " KESTRAVA_SOURCE_DIR "/examples/top-receivers.xml"},
        RunCase{"top_senders", "/XML " KESTRAVA_SOURCE_DIR "/examples/top-senders.xml"},
        RunCase{"bits_per_second", "/XML " KESTRAVA_SOURCE_DIR "/examples/bits-per-second.xml"},
        RunCase{"one_interface_at_runtime",
                "/XML " KESTRAVA_SOURCE_DIR "/examples/one-interface-at-runtime.xml"},
        RunCase{"snmpv3_authpriv", "/XML " KESTRAVA_SOURCE_DIR "/examples/snmpv3-authpriv.xml"},
        RunCase{"ipv6", "/HOST ::1 /POLLINGINTERVAL 1"}, RunCase{"no_options", ""}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

// The project's fake agent answers on [::1] as well as on 127.0.0.1: the program polls it over
// IPv6. The agent ends when its standard input closes.
TEST(Program, PollsTheFakeAgentOverIpv6) {
  TempDir dir("kestrava-e2e");
  const std::string script =
      "cd " + dir.path.string() +
      " && mkfifo in && (" KESTRAVA_BINARY_DIR
      "/bin/kestrava-fake-agent --instances 3 <in >port & agent=$!; exec 3>in; "
      "for i in $(seq 100); do [ -s port ] && break; sleep 0.1; done; "
      "QT_QPA_PLATFORM=offscreen timeout 60 " +
      kProgram +
      " /HOST ::1 /PORT $(head -n 1 port) /POLLINGINTERVAL 1 /EXPORT pie.csv /EXITAFTER 1; "
      "status=$?; exec 3>&-; wait $agent; echo status=$status) 2>&1";
  const std::string said = RunCommand(script);
  EXPECT_NE(said.find("status=0"), std::string::npos) << said;
  std::string header;
  const std::vector<Row> rows = ParseCsv(ReadAll(dir.path / "pie.csv"), &header);
  EXPECT_EQ(header, "position,label,value");
  EXPECT_EQ(rows.size(), 3u) << said;
}

// A headless run that cannot reach its agent says why on standard error and ends; the files an
// earlier run left are gone, so they are not taken for this run's.
TEST(RunCommand, AFailedHeadlessRunSaysWhyAndLeavesNoOldOutput) {
  TempDir dir("kestrava-run");
  fs::create_directory(dir.path / "out");
  std::ofstream(dir.path / "out" / "kestrava.csv") << "position,label,value\n0,old,1\n";
  std::ofstream(dir.path / "out" / "kestrava.png") << "old";
  int status = -1;
  const std::string said = RunCommandScript(
      dir.path, "/HOST 127.0.0.1 /PORT " + std::to_string(testing::FreeUdpPort()), &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(status, 124) << "ended by itself, not by the time limit";
  EXPECT_NE(said.find("kestrava: Timeout while collecting instances!"), std::string::npos) << said;
  EXPECT_EQ(said.find("run: started a local snmpd"), std::string::npos) << said;
  EXPECT_FALSE(fs::exists(dir.path / "out" / "kestrava.csv"));
  EXPECT_FALSE(fs::exists(dir.path / "out" / "kestrava.png"));
}

// Mistyped options and values are named before anything else happens.
TEST(Program, MistypedOptionsAndValuesAreNamed) {
  TempDir dir("kestrava-e2e");
  int status = -1;
  const std::string said = RunQuick(
      dir.path, "/PROT 35536 /PORT 355360 /SNMPVERSION 3x /HOST router.example:1161 /EXITAFTER 1",
      &status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(said,
            "kestrava: Unknown option \"/PROT\" is ignored, with \"35536\" after it.\n"
            "kestrava: /PORT \"355360\" is not a number in 1..65535; 161 is used instead.\n"
            "kestrava: /SNMPVERSION \"3x\" is not 1, 2, 2c or 3; SNMPv1 is used instead.\n"
            "kestrava: The host \"router.example:1161\" names a port; give the host alone and the "
            "port with /PORT (1161).\n");
  // The file's values too; the file here cannot start a session (SNMPv3 without a user).
  std::ofstream(dir.path / "bad.xml") << "<kestrava><pollinginterval>0</pollinginterval><shooter>"
                                         "<snmpversion>3</snmpversion></shooter></kestrava>";
  const std::string file = RunQuick(dir.path, "/XML bad.xml /EXITAFTER 1", &status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(file.rfind("kestrava: pollinginterval \"0\" in bad.xml is not a number in 1..1000; 5 "
                       "is used instead.\nkestrava: XML Parser error! The XML file: bad.xml",
                       0),
            0u)
      << file;
  const std::string version =
      RunQuick(dir.path, "/SNMPVERSION 3x /XML missing.xml /EXITAFTER 1", &status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(version,
            "kestrava: /SNMPVERSION is ignored beside /XML: the file sets the session.\n"
            "kestrava: XML Parser error! The XML file: missing.xml could not be parsed. Error "
            "message: No such file or directory\n");
}

}  // namespace
}  // namespace kestrava

namespace kestrava {
namespace {

// The stream of a raw run read back by another JSON parser (Python's), next to the CSV the
// same run wrote from the same poll.
TEST(Program, TheStreamHoldsEveryRowOfTheSamePollAsTheCsv) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  TempDir dir("kestrava-e2e");
  const fs::path config = dir.path / "raw.xml";
  WriteRawConfig(config, agent.port());
  const fs::path csv = dir.path / "pie.csv";
  const fs::path stream = dir.path / "polls.ndjson";
  int status = -1;
  const std::string said = RunProgram("/XML " + config.string() + " /EXPORT " + csv.string() +
                                          " /STREAM " + stream.string() + " /EXITAFTER 2",
                                      &status);
  ASSERT_EQ(status, 0) << said;
  // The second poll's line as "rank,label,value" lines in rank order, as the CSV has them.
  const fs::path script = dir.path / "ranks.py";
  std::ofstream(script)
      << "import json, sys\n"
         "lines = [json.loads(l) for l in open(sys.argv[1]).read().splitlines()]\n"
         "poll = [l for l in lines if 'event' not in l][1]  # rank changes are lines of their own\n"
         "assert poll['mode'] == 'raw' and poll['interval'] == 1, poll\n"
         "assert poll['agent'].endswith(':' + sys.argv[2]), poll['agent']\n"
         "rows = sorted((r for r in poll['rows'] if r['rank']), key=lambda r: r['rank'])\n"
         "for r in rows:\n"
         "    assert r['type'] == 'Counter32' and r['column'] == 'ifInOctets', r\n"
         "    label = 'ifInOctets_' + r['label']\n"
         "    if len(label) > 30: label = label[:26] + '..//'\n"
         "    print('%d,%s,%d' % (r['rank'] - 1, label, r['value']))\n";
  const std::string ranks = RunCommand("/usr/bin/python3 " + script.string() + " " +
                                           stream.string() + " " + std::to_string(agent.port()),
                                       &status);
  ASSERT_EQ(status, 0) << ranks;
  std::string header;
  std::string fromCsv;
  for (const Row& row : ParseCsv(ReadAll(csv), &header))
    fromCsv += row.position + "," + row.label + "," + row.value + "\n";
  EXPECT_EQ(header, "position,label,value");
  EXPECT_FALSE(ranks.empty());
  EXPECT_EQ(ranks, fromCsv);
}

TEST(Program, AStreamWhoseReaderGoesAwayEndsTheRunWithItsOwnStatus) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  TempDir dir("kestrava-e2e");
  const std::string err = (dir.path / "err.txt").string();
  int status = -1;
  const std::string said = RunCommand(
      "bash -c 'QT_QPA_PLATFORM=offscreen timeout 60 " + kProgram + " /HOST 127.0.0.1 /PORT " +
          std::to_string(agent.port()) + " /SNMPVERSION 2 /POLLINGINTERVAL 1 /STREAM - 2>" + err +
          " | head -n 1 >/dev/null; echo status ${PIPESTATUS[0]}; cat " + err + "'",
      &status);
  EXPECT_NE(said.find("status 5"), std::string::npos) << said;
  EXPECT_NE(said.find("the reader of the stream went away"), std::string::npos) << said;
}

// A headless run's recording opens again with the pie of every poll at its moment, as the
// stream of the same run gives them.
TEST(Program, AHeadlessRunsRecordingHoldsThePiesOfItsPolls) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  TempDir dir("kestrava-e2e");
  const fs::path config = dir.path / "raw.xml";
  WriteRawConfig(config, agent.port());
  const fs::path stream = dir.path / "polls.ndjson";
  const fs::path recording = dir.path / "run.ndjson.gz";
  int status = -1;
  const std::string said = RunProgram("/XML " + config.string() + " /STREAM " + stream.string() +
                                          " /RECORD " + recording.string() + " /EXITAFTER 3",
                                      &status);
  ASSERT_EQ(status, 0) << said;
  // Every poll of the stream as "time position label value" lines, the pie's order.
  const fs::path script = dir.path / "pies.py";
  std::ofstream(script)
      << "import json, sys, datetime\n"
         "for text in open(sys.argv[1]).read().splitlines():\n"
         "    poll = json.loads(text)\n"
         "    if 'event' in poll: continue\n"
         "    t = datetime.datetime.fromisoformat(poll['time'].replace('Z', '+00:00'))\n"
         "    ms = round(t.timestamp() * 1000)\n"
         "    rows = sorted((r for r in poll['rows'] if r['rank']), key=lambda r: r['rank'])\n"
         "    for r in rows:\n"
         "        label = 'ifInOctets_' + r['label']\n"
         "        if len(label) > 30: label = label[:26] + '..//'\n"
         "        print('%d %d %s %d' % (ms, r['rank'] - 1, label, r['value']))\n";
  const std::string fromStream =
      RunCommand("/usr/bin/python3 " + script.string() + " " + stream.string(), &status);
  ASSERT_EQ(status, 0) << fromStream;

  THistoryStore store;
  std::string error;
  ASSERT_TRUE(ReadRecording(recording.string(), store, error)) << error;
  EXPECT_GE(store.FrameCount(), 3);
  std::string fromRecording;
  for (int f = 0; f < store.FrameCount(); ++f) {
    const THistoryFrame& frame = store.Frame(f);
    EXPECT_TRUE(frame.RawValues);
    for (size_t i = 0; i < frame.Slices.size(); ++i) {
      ASSERT_GE(frame.Slices[i].Series, 0);
      char value[32];
      std::snprintf(value, sizeof value, "%.0f", frame.Slices[i].Value);
      fromRecording += std::to_string(frame.TimeMs) + " " + std::to_string(i) + " " +
                       store.Info(frame.Slices[i].Series).SliceLabel + " " + value + "\n";
    }
  }
  EXPECT_FALSE(fromStream.empty());
  EXPECT_EQ(fromRecording, fromStream);
}

}  // namespace
}  // namespace kestrava
