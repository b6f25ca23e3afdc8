// The program itself against a real agent on 127.0.0.1: a scripted run writes the pie of the
// agent's interface counters and ends with status 0; runs that cannot finish end with an
// error on standard error; "--help" and "--version" answer without a window.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

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

TEST(Program, ScriptedRunWritesThePieOfTheAgentsCounters) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  TempDir dir("kestrava-e2e");
  const fs::path config = dir.path / "raw.xml";
  std::ofstream(config) << "<kestrava><host>127.0.0.1</host><community>cobalt</community>"
                           "<pollinginterval>1</pollinginterval><shooter><raw>true</raw>"
                           "<remoteport>"
                        << agent.port()
                        << "</remoteport><snmpversion>2</snmpversion><shootertargets>"
                           "<shootertarget><oid>1.3.6.1.2.1.2.2.1.10</oid>"
                           "<instance>ALL INSTANCES</instance><visible>true</visible>"
                           "</shootertarget><shootertarget><oid>AL=1.3.6.1.2.1.2.2.1.2</oid>"
                           "</shootertarget></shootertargets></shooter></kestrava>";
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

}  // namespace
}  // namespace kestrava
