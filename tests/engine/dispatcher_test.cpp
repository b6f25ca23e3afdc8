// TDispatcher against the scripted fake agent on 127.0.0.1: the port requests go out from, and
// hostile datagrams from another loopback address that must not take the agent's place.
#include "engine/dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine_rig.h"
#include "fake_agent.h"
#include "loopback_peer.h"
#include "shared/item_list.h"
#include "snmp/codec.h"
#include "snmp/snmpmgr.h"
#include "snmpd_process.h"
#include "tests/snmp/usm_agent_script.h"

namespace kestrava {
namespace {

using testing::FakeAgent;
using testing::WaitFor;

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(agent.ok());
    agent.FillInterfaceTable(2);
    ASSERT_EQ(dispatcher.Open(), "");
  }

  // A get of sysUpTime.0; true once its answer came.
  bool AskUptime() {
    const size_t before = answers.size();
    TRequest record;
    record.Host = "127.0.0.1";
    record.Community = "cobalt";
    record.Operation = kOperationGet;
    record.SnmpVersion = 2;
    record.RemotePort = agent.port();
    AppendItem(record.OidList, "1.3.6.1.2.1.1.3.0");
    if (dispatcher.Send(record, false).Failed()) return false;
    return WaitFor([&] { return answers.size() > before; });
  }

  FakeAgent agent;
  std::vector<TAnswer> answers;
  std::vector<std::string> problems;
  TDispatcher dispatcher{
      TDispatcherEvents{[this](const TAnswer& answer) { answers.push_back(answer); },
                        [this](const std::string& text, int) { problems.push_back(text); }}};
};

// Requests go out from a free port, not from 162 on every interface; a localport setting still
// gets its port, and giving it up returns to a free one.
TEST_F(DispatcherTest, RequestsGoOutFromAFreePortUnlessOneIsAskedFor) {
  const int asked = testing::FreeUdpPort();
  for (const int localPort : {0, asked, 0}) {
    dispatcher.SetLocalPort(localPort);
    agent.ClearLog();
    ASSERT_TRUE(AskUptime()) << localPort;
    const int source = agent.Log().at(0).SourcePort;
    if (localPort == 0) {
      EXPECT_NE(source, 162);
      EXPECT_NE(source, asked);
    } else {
      EXPECT_EQ(source, localPort);
    }
    EXPECT_EQ(dispatcher.Component()->LocalPort(), source);
  }
  EXPECT_TRUE(problems.empty());
}

// An inform from elsewhere, in any community, changes nothing: no answer goes to its sender,
// and the requests that follow, with the community in clear, still go to the agent.
TEST_F(DispatcherTest, ForgedInformDoesNotTakeTheAgentsPlace) {
  ASSERT_TRUE(AskUptime());
  testing::LoopbackPeer forger;
  ASSERT_TRUE(forger.ok());
  TSnmpMessage msg;
  msg.Version = kSnmpV2c;
  msg.Community.assign("public");
  msg.RequestId = 5;
  TObjectTable objects;
  TByteBuffer out;
  std::string text;
  ASSERT_EQ(BuildMessage(kActionInformRequest, msg, objects, out, text), 0);
  forger.SendTo(out.str(), dispatcher.Component()->LocalPort());
  ASSERT_TRUE(WaitFor([&] { return dispatcher.Component()->Config("DroppedPackets") == "1"; }));
  agent.ClearLog();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(AskUptime()) << i;
  EXPECT_EQ(agent.Log().size(), 3u);
  EXPECT_FALSE(forger.Take().has_value());
  EXPECT_EQ(dispatcher.Component()->RemoteHost(), "127.0.0.1");
}

// Signed answers the component refuses (a clock from before the agent's last boot, which a
// replay carries) used to end in a bare time-out; the time-out now says why.
TEST_F(DispatcherTest, ATimeOutNamesWhyAnswersWereRefused) {
  const std::string engineId("\x80\x00\x1F\x88\x04kestrava", 13);
  // The agent's thread may still answer a resend after the test body ends: what its responder
  // uses lives as long as the responder does.
  const auto script = std::make_shared<testing::TUsmAgentScript>(engineId);
  script->AddUser("kestrel",
                  {kAuthPriv, kAuthSha256, "auth-kestrel-pass", kPrivAes128, "priv-kestrel-pass"});
  const auto replaying = std::make_shared<std::atomic<bool>>(false);
  std::atomic<bool>& replay = *replaying;
  agent.SetResponder(
      [script, replaying](const FakeAgent::Request& r) -> std::optional<std::string> {
        TSnmpMessage in;
        TObjectTable objects;
        if (!*replaying ||
            ParseMessage(reinterpret_cast<const uint8_t*>(r.Packet.data()), r.Packet.size(), in,
                         objects) != 0 ||
            (in.MsgFlags & 2) == 0)
          return script->Answer(r);
        return script->ResponseAt("kestrel", script->Boots() - 1, script->Time(), in.MsgId, 1);
      });
  TSnmpV3Settings v3;
  v3.User = "kestrel";
  v3.SecurityLevel = "authPriv";
  v3.AuthProtocol = "SHA-256";
  v3.AuthPassword = "auth-kestrel-pass";
  v3.PrivProtocol = "AES";
  v3.PrivPassword = "priv-kestrel-pass";
  dispatcher.SetSecurity(v3);
  TRequest record;
  record.Host = "127.0.0.1";
  record.Operation = kOperationGet;
  record.SnmpVersion = 3;
  record.RemotePort = agent.port();
  AppendItem(record.OidList, "1.3.6.1.2.1.1.5.0");
  ASSERT_FALSE(dispatcher.Send(record, false).Failed());
  ASSERT_TRUE(WaitFor([&] { return answers.size() == 1; }));
  const std::string timedOut = "Timeout while collecting instances!";
  EXPECT_EQ(dispatcher.TimeoutText(timedOut), timedOut);
  replay = true;
  ASSERT_FALSE(dispatcher.Send(record, false).Failed());
  ASSERT_TRUE(WaitFor([&] { return !problems.empty(); }));
  EXPECT_EQ(dispatcher.TimeoutText(timedOut),
            timedOut + " (Invalid packet timing parameters. Packet ignored. ErrorCode=320)");
  EXPECT_EQ(answers.size(), 1u);
  // An answer taken clears it.
  replay = false;
  ASSERT_FALSE(dispatcher.Send(record, false).Failed());
  ASSERT_TRUE(WaitFor([&] { return answers.size() == 2; }));
  EXPECT_EQ(dispatcher.TimeoutText(timedOut), timedOut);
}

// Debian's /etc/hosts gives "localhost" as ::1 first, and an agent may listen on IPv4 only:
// the name's addresses are tried in turn until one answers, and that one is kept.
TEST_F(DispatcherTest, ANameOfSeveralAddressesKeepsTheOneThatAnswers) {
  std::vector<std::string> resolved;
  dispatcher.SetResolver([&](const std::string& host) {
    resolved.push_back(host);
    return std::vector<std::string>{"::1", "127.0.0.1"};
  });
  TRequest record;
  record.Host = "localhost";
  record.Community = "cobalt";
  record.Operation = kOperationGet;
  record.SnmpVersion = 2;
  record.RemotePort = agent.port();
  AppendItem(record.OidList, "1.3.6.1.2.1.1.3.0");
  auto answered = [&] {
    return WaitFor([&] {
      return !answers.empty() && answers.back().RequestId == static_cast<int>(record.RequestId);
    });
  };
  ASSERT_FALSE(dispatcher.Send(record, false).Failed());
  EXPECT_EQ(dispatcher.Component()->RemoteHost(), "::1");
  EXPECT_FALSE(WaitFor([&] { return !answers.empty(); }, 300)) << "nobody on ::1";
  // The session sends it again after its time-out: now to the next address.
  ASSERT_FALSE(dispatcher.Send(record, true).Failed());
  ASSERT_TRUE(answered());
  EXPECT_EQ(dispatcher.Component()->RemoteHost(), "127.0.0.1");
  // The address that answered stays, also when a later request goes unanswered once.
  agent.SetSilent(true);
  ASSERT_FALSE(dispatcher.Send(record, false).Failed());
  ASSERT_FALSE(dispatcher.Send(record, true).Failed());
  EXPECT_EQ(dispatcher.Component()->RemoteHost(), "127.0.0.1");
  agent.SetSilent(false);
  ASSERT_FALSE(dispatcher.Send(record, false).Failed());
  ASSERT_TRUE(answered());
  EXPECT_EQ(resolved, std::vector<std::string>{"localhost"}) << "resolved once";
}

}  // namespace
}  // namespace kestrava
