// Discovery and kestrava-snmp's walk and bulkwalk walk with one step (snmp/walk.h): against the
// same fake agent they find the same rows, however the agent ends or cuts its answers.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/session.h"
#include "engine_rig.h"
#include "fake_agent.h"
#include "snmpd_process.h"

namespace kestrava {
namespace {

using testing::FakeAgent;
using testing::FastClock;
using testing::RecordingWindow;
using testing::WaitFor;

const std::string kDescr = "1.3.6.1.2.1.2.2.1.2";

// The rows discovery finds in the label column, as the session ends it.
std::vector<TInstance> DiscoverRows(const FakeAgent& agent, int version) {
  RecordingWindow window;
  FastClock clock(1);
  TSession session(window, clock.Clock());
  session.AddSink(window);
  const testing::ConfigFile config(
      "engine_walk_agreement.xml",
      "<?xml version=\"1.0\"?><kestrava><host>127.0.0.1</host><community>cobalt</community>"
      "<pollinginterval>1</pollinginterval><shooter><remoteport>" +
          std::to_string(agent.port()) + "</remoteport><snmpversion>" + std::to_string(version) +
          "</snmpversion><shootertargets><shootertarget><oid>1.3.6.1.2.1.2.2.1.10</oid>"
          "<instance>ALL INSTANCES</instance><visible>true</visible></shootertarget>"
          "<shootertarget><oid>AL=" +
          kDescr + "</oid></shootertarget></shootertargets></shooter></kestrava>");
  session.Start({"/XML", config.path()});
  const bool ended =
      WaitFor([&] { return window.intervalGroupVisible || !window.stopped.empty(); }, 60000);
  std::vector<TInstance> rows = ended ? session.Rows() : std::vector<TInstance>();
  session.Stop();
  clock.Stop();
  return rows;
}

// The rows a kestrava-snmp walk printed: lines ".<column>.<instance> = STRING: "<label>"".
std::vector<TInstance> ToolRows(const FakeAgent& agent, const std::string& command,
                                const std::string& version) {
  const std::string out = testing::RunCommand(
      std::string(KESTRAVA_BINARY_DIR) + "/bin/kestrava-snmp " + command + " -v " + version +
      " -c cobalt -t 0.5 -r 1 127.0.0.1:" + std::to_string(agent.port()) + " " + kDescr +
      " 2>/dev/null");
  std::vector<TInstance> rows;
  std::istringstream lines(out);
  const std::string prefix = "." + kDescr + ".";
  const std::string text = " = STRING: \"";
  for (std::string line; std::getline(lines, line);) {
    const size_t value = line.find(text);
    if (line.rfind(prefix, 0) != 0 || value == std::string::npos || line.back() != '"') continue;
    rows.push_back(
        TInstance{line.substr(prefix.size() - 1, value - prefix.size() + 1),
                  line.substr(value + text.size(), line.size() - value - text.size() - 1)});
  }
  return rows;
}

TEST(WalkAgreement, DiscoveryFindsTheRowsKestravaSnmpWalks) {
  const struct {
    const char* name;
    std::function<void(FakeAgent&)> script;
    size_t rows;
  } cases[] = {
      {"one row", [](FakeAgent& a) { a.FillInterfaceTable(1); }, 1},
      {"answers run past the column", [](FakeAgent& a) { a.FillInterfaceTable(120); }, 120},
      {"answers cut short",
       [](FakeAgent& a) {
         a.FillInterfaceTable(120);
         a.SetBulkRowLimit(7);
       },
       120},
      {"the column ends the agent's view",
       [](FakeAgent& a) {
         for (int i = 1; i <= 12; ++i) a.SetString(kDescr + "." + std::to_string(i), "if");
       },
       12},
      {"an empty column", [](FakeAgent& a) { a.FillInterfaceTable(0); }, 0},
      {"an agent that answers the OID asked",
       [](FakeAgent& a) {
         a.FillInterfaceTable(3);
         a.SetLooping(true);
       },
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeAgent agent;
    ASSERT_TRUE(agent.ok());
    c.script(agent);
    const std::vector<TInstance> getNext = DiscoverRows(agent, 1);
    EXPECT_EQ(getNext.size(), c.rows);
    EXPECT_EQ(getNext, ToolRows(agent, "walk", "1"));
    const std::vector<TInstance> bulk = DiscoverRows(agent, 2);
    EXPECT_EQ(bulk, getNext);
    EXPECT_EQ(bulk, ToolRows(agent, "bulkwalk", "2c"));
    EXPECT_EQ(bulk, ToolRows(agent, "walk", "2c"));
  }
}

}  // namespace
}  // namespace kestrava
