// TDispatcher against the scripted fake agent on 127.0.0.1: the port requests go out from, and
// hostile datagrams from another loopback address that must not take the agent's place.
#include "engine/dispatcher.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kestrava
