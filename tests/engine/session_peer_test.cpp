// The engine against a real snmpd on 127.0.0.1: the built-in "Top receivers" target discovers
// this machine's interfaces, names the slices after ifDescr and shows non-negative deltas.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "engine/session.h"
#include "engine_rig.h"
#include "shared/instance_helpers.h"
#include "snmpd_process.h"

namespace kestrava {
namespace {

using testing::RecordingWindow;
using testing::WaitFor;

// ifDescr of every interface as net-snmp's own walk gives it, in table order.
std::vector<std::string> WalkDescriptions(const testing::SnmpdProcess& agent) {
  const std::string out = testing::RunCommand("snmpwalk -v2c -c cobalt -On -Oqv " + agent.peer() +
                                              " 1.3.6.1.2.1.2.2.1.2 2>/dev/null");
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
      line = line.substr(1, line.size() - 2);
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

TEST(SessionPeerTest, TopReceiversAgainstTheLocalAgent) {
  testing::SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  const std::vector<std::string> descriptions = WalkDescriptions(agent);
  ASSERT_FALSE(descriptions.empty());

  RecordingWindow window;
  TSession session(window);
  session.AddSink(window);
  session.Start(
      {"/HOST", "127.0.0.1", "/PORT", std::to_string(agent.port()), "/POLLINGINTERVAL", "1"});
  ASSERT_TRUE(WaitFor([&] { return window.intervalGroupVisible; }, 20000)) << window.status;
  EXPECT_EQ(testing::LabelsOf(session.Rows()), descriptions);
  EXPECT_EQ(session.Config().LastSlot, static_cast<int>(descriptions.size()) - 1);

  // Two polls give the first delta of every interface.
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }, 20000)) << window.status;
  EXPECT_EQ(window.slices.size(), descriptions.size());
  std::vector<std::string> labels;
  for (const std::string& d : descriptions) labels.push_back(ShortenLabel("ifInOctets_" + d));
  for (const testing::Slice& slice : window.slices) {
    EXPECT_GE(slice.Value, 0) << slice.Label;
    EXPECT_NE(std::find(labels.begin(), labels.end(), slice.Label), labels.end()) << slice.Label;
  }
  EXPECT_FALSE(window.initializingVisible);
  EXPECT_TRUE(window.stopped.empty());
  session.Stop();
  EXPECT_TRUE(session.RequestTableSnapshot().empty());
}

TEST(SessionPeerTest, APollOfTenThousandRowsLosesNoRequest) {
  // snmpd serves the rows through a pass program; 10,000 rows make 667 requests a poll.
  const std::string base = "1.3.6.1.4.1.99990.1";
  testing::SnmpdProcess agent("pass_persist ." + base + " /usr/bin/python3 " +
                              KESTRAVA_SOURCE_DIR + "/tests/engine/many_rows_pass.py 10000\n");
  ASSERT_TRUE(agent.ok()) << agent.error();
  const std::string xml =
      "<?xml version=\"1.0\"?><kestrava><host>127.0.0.1</host><community>cobalt</community>"
      "<pollinginterval>2</pollinginterval><shooter><raw>true</raw><remoteport>" +
      std::to_string(agent.port()) +
      "</remoteport><snmpversion>2</snmpversion><shootertargets><shootertarget><oid>" + base +
      ".2</oid><instance>ALL INSTANCES</instance><visible>true</visible></shootertarget>"
      "<shootertarget><oid>AL=" + base + ".1</oid></shootertarget></shootertargets></shooter>"
      "</kestrava>";
  RecordingWindow window;
  TSession session(window);
  session.AddSink(window);
  const testing::ConfigFile config("engine_ten_thousand.xml", xml);
  session.Start({"/XML", config.path()});
  ASSERT_TRUE(WaitFor([&] { return window.intervalGroupVisible; }, 120000)) << window.status;
  ASSERT_EQ(session.Rows().size(), 10000u);
  // With an interval of 2 s a request is sent once: one lost would leave its rows "Null".
  ASSERT_TRUE(WaitFor([&] { return window.feeds >= 3; }, 60000)) << window.status;
  int missing = 0;
  for (int slot = 0; slot < session.SlotCount(); ++slot)
    missing += session.History(slot).back() == "Null";
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(window.slices.size(), 10000u);  // "Any": every row its slice
  session.Stop();
}

TEST(SessionPeerTest, AnIpv6AgentIsPolledLikeAnyOther) {
  testing::SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  ASSERT_TRUE(agent.ListenOnIpv6()) << agent.error();
  const std::vector<std::string> descriptions = WalkDescriptions(agent);
  RecordingWindow window;
  TSession session(window);
  session.AddSink(window);
  session.Start({"/HOST", "::1", "/PORT", std::to_string(agent.port()), "/POLLINGINTERVAL", "1",
                 "/SNMPVERSION", "2"});
  ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }, 20000)) << window.status;
  EXPECT_EQ(testing::LabelsOf(session.Rows()), descriptions);
  session.Stop();
}

TEST(SessionPeerTest, SnmpV3WithPrivacyFeedsThePie) {
  testing::SnmpdProcess agent(
      "createUser kestrava SHA-256 kestrava-auth AES kestrava-priv\n"
      "createUser strong SHA-512 strong-auth-pw AES-256 strong-priv-pw\n"
      "rouser kestrava priv\nrouser strong priv\n");
  ASSERT_TRUE(agent.ok()) << agent.error();
  const std::vector<std::string> descriptions = WalkDescriptions(agent);
  const struct {
    const char* user;
    const char* auth;
    const char* authPassword;
    const char* priv;
    const char* privPassword;
  } users[] = {{"kestrava", "SHA-256", "kestrava-auth", "AES", "kestrava-priv"},
               {"strong", "SHA-512", "strong-auth-pw", "AES-256", "strong-priv-pw"}};
  for (const auto& u : users) {
    SCOPED_TRACE(u.user);
    RecordingWindow window;
    TSession session(window);
    session.AddSink(window);
    session.Start({"/HOST", "127.0.0.1", "/PORT", std::to_string(agent.port()),
                   "/POLLINGINTERVAL", "1", "/SNMPVERSION", "3", "/USER", u.user,
                   "/SECURITYLEVEL", "authPriv", "/AUTHPROTOCOL", u.auth, "/AUTHPASSWORD",
                   u.authPassword, "/PRIVPROTOCOL", u.priv, "/PRIVPASSWORD", u.privPassword});
    ASSERT_TRUE(WaitFor([&] { return window.feedsWithSlices >= 1; }, 20000)) << window.status;
    EXPECT_EQ(testing::LabelsOf(session.Rows()), descriptions);
    // Nothing the user is shown carries a password.
    for (const std::string& text : window.statuses) {
      EXPECT_EQ(text.find(u.authPassword), std::string::npos) << text;
      EXPECT_EQ(text.find(u.privPassword), std::string::npos) << text;
    }
    session.Stop();
  }
  // A wrong password: the agent's report, said plainly, and no pie.
  RecordingWindow window;
  TSession session(window);
  session.AddSink(window);
  session.Start({"/HOST", "127.0.0.1", "/PORT", std::to_string(agent.port()), "/SNMPVERSION",
                 "3", "/USER", "kestrava", "/SECURITYLEVEL", "authPriv", "/AUTHPROTOCOL",
                 "SHA-256", "/AUTHPASSWORD", "not-the-password", "/PRIVPROTOCOL", "AES",
                 "/PRIVPASSWORD", "kestrava-priv"});
  ASSERT_TRUE(WaitFor([&] { return !window.stopped.empty(); }, 30000)) << window.status;
  EXPECT_NE(window.stopped[0].find("wrong digest"), std::string::npos) << window.stopped[0];
  EXPECT_EQ(window.feedsWithSlices, 0);
  for (const std::string& text : window.statuses)
    EXPECT_EQ(text.find("not-the-password"), std::string::npos) << text;
  session.Stop();
}

}  // namespace
}  // namespace kestrava
