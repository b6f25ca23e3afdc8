// TSnmpMgr against its rules and against the scripted fake agent on 127.0.0.1: property and
// setting rules, the order of checks for received datagrams, blocking and asynchronous sends.

#include "snmp/snmpmgr.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QThread>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <thread>

#include "fake_agent.h"
#include "loopback_peer.h"
#include "snmp/codec.h"
#include "snmp/snmp_value.h"
#include "snmpd_process.h"
#include "snmpmgr_test_util.h"

namespace kestrava {
namespace {

using testing::ErrorOf;
using testing::FakeAgent;
using testing::WaitFor;
using Clock = std::chrono::steady_clock;

// Serves the event loop for ms milliseconds.
void Serve(int ms) {
  WaitFor([] { return false; }, ms);
}

struct TResponse {
  int RequestId;
  int Version;
  int ErrorStatus;
  int ErrorIndex;
  std::string Description;
  std::vector<std::pair<std::string, std::string>> Bindings;
  std::vector<int> Types;
  std::string Source;
  int Port;
};

// A manager wired to record its events, talking to a fake agent.
class SnmpMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(agent.ok());
    agent.FillInterfaceTable(3);
    mgr.SetLocalPort(0);
    mgr.SetRemoteHost("127.0.0.1");
    mgr.SetRemotePort(agent.port());
    mgr.SetTimeout(0);
    mgr.OnResponse = [this](TSnmpMgr& m, int requestId, int version, const std::string&,
                            const std::string&, int, const std::string& source, int port,
                            int errorIndex, int errorStatus, const std::string& description) {
      TResponse r{requestId, version, errorStatus, errorIndex, description, {}, {}, source, port};
      for (int i = 1; i <= m.ObjCount(); ++i) {
        r.Bindings.emplace_back(m.ObjId(i), m.ObjValue(i));
        r.Types.push_back(m.ObjType(i));
      }
      responses.push_back(r);
      responseThreads.push_back(QThread::currentThread());
    };
    mgr.OnError = [this](TSnmpMgr&, int code, const std::string& text) {
      errors.emplace_back(code, text);
    };
    mgr.OnBadPacket = [this](TSnmpMgr&, const std::string&, const std::string&, int, int code,
                             const std::string& text,
                             bool&) { badPackets.emplace_back(code, text); };
  }

  void Ask(const std::vector<std::string>& oids) {
    mgr.Reset();
    mgr.SetObjCount(static_cast<int>(oids.size()));
    for (size_t i = 0; i < oids.size(); ++i) mgr.SetObjId(static_cast<int>(i) + 1, oids[i]);
  }

  FakeAgent agent;
  TSnmpMgr mgr;
  std::vector<TResponse> responses;
  std::vector<QThread*> responseThreads;
  std::vector<std::pair<int, std::string>> errors;
  std::vector<std::pair<int, std::string>> badPackets;
};

// ---- Property rules

TEST(SnmpMgrProperties, DefaultsAreThoseOfANewComponent) {
  TSnmpMgr mgr;
  EXPECT_FALSE(mgr.Active());
  EXPECT_EQ(mgr.Community(), "cobalt");
  EXPECT_EQ(mgr.LocalPort(), 162);
  EXPECT_EQ(mgr.RemotePort(), 161);
  EXPECT_EQ(mgr.RemoteHost(), "");
  EXPECT_EQ(mgr.SNMPVersion(), 2);
  EXPECT_EQ(mgr.Timeout(), 60);
  EXPECT_GT(mgr.RequestId(), 0);
  EXPECT_EQ(mgr.ObjCount(), 0);
  EXPECT_EQ(mgr.ErrorStatus(), -1);
  EXPECT_EQ(mgr.ErrorIndex(), 0);
  EXPECT_EQ(mgr.ErrorDescription(), "<unknown error>");
  EXPECT_EQ(mgr.AuthProtocol(), 1);
  EXPECT_TRUE(mgr.ReceiveEnabled());
}

TEST(SnmpMgrProperties, ObjectTableIndexRules) {
  TSnmpMgr mgr;
  mgr.SetObjCount(2);
  EXPECT_EQ(ErrorOf([&] { mgr.ObjId(0); }), "280: Invalid array index value for ObjId");
  EXPECT_EQ(ErrorOf([&] { mgr.ObjValue(3); }), "280: Invalid array index value for ObjValue");
  EXPECT_EQ(ErrorOf([&] { mgr.SetObjId(3, "1.3"); }),
            "301: Invalid object index: must be in [1..ObjCount].");
  EXPECT_EQ(ErrorOf([&] { mgr.SetObjValue(0, "x"); }),
            "301: Invalid object index: must be in [1..ObjCount].");
  EXPECT_EQ(ErrorOf([&] { mgr.SetObjType(3, 2); }),
            "301: Invalid object index: must be in [1..ObjCount].");
  try {
    mgr.ObjId(0);
  } catch (const ESnmpMgr& e) {
    EXPECT_EQ(e.Code, 280);
  }

  for (int bad : {257, -1}) {
    EXPECT_EQ(ErrorOf([&] { mgr.SetObjCount(bad); }),
              "302: Value exceeds maximum number of objects allowed.");
    EXPECT_EQ(mgr.ObjCount(), 2) << "a failed write leaves the property unchanged";
  }
  mgr.SetObjCount(256);
  EXPECT_EQ(mgr.ObjCount(), 256);

  // Slots above the count go back to an empty OCTET STRING.
  mgr.SetObjCount(3);
  for (int i = 1; i <= 3; ++i) {
    mgr.SetObjId(i, "1.3.6." + std::to_string(i));
    mgr.SetObjType(i, 2);
    mgr.SetObjValue(i, std::string("a\0b", 3));
  }
  EXPECT_EQ(mgr.ObjValue(1), std::string("a\0b", 3)) << "values hold any bytes";
  mgr.SetObjCount(1);
  mgr.SetObjCount(3);
  EXPECT_EQ(mgr.ObjId(1), "1.3.6.1");
  for (int i = 2; i <= 3; ++i) {
    EXPECT_EQ(mgr.ObjId(i), "");
    EXPECT_EQ(mgr.ObjValue(i), "");
    EXPECT_EQ(mgr.ObjType(i), 4);
  }
}

TEST(SnmpMgrProperties, VersionAndTimeoutReadBack) {
  TSnmpMgr mgr;
  const std::pair<int, int> versions[] = {{1, 1}, {2, 2}, {3, 3}, {7, 1}, {0, 1}, {-2, 1}};
  for (auto [written, read] : versions) {
    mgr.SetSNMPVersion(written);
    EXPECT_EQ(mgr.SNMPVersion(), read) << written;
  }
  mgr.SetTimeout(5);
  EXPECT_EQ(mgr.Timeout(), 5);
  mgr.Config("TimeoutInMilliseconds=true");
  EXPECT_EQ(mgr.Timeout(), 5000);
  mgr.SetTimeout(1500);
  EXPECT_EQ(mgr.Timeout(), 1500);
  mgr.Config("TimeoutInMilliseconds=false");
  EXPECT_EQ(mgr.Timeout(), 1);
}

TEST(SnmpMgrProperties, ConfigSettings) {
  TSnmpMgr mgr;
  struct Step {
    const char* setting;
    const char* result;  // expected result text, or the expected exception message
  };
  const Step steps[] = {
      {"ForceLocalPort", "True"},
      {"ForceLocalPort=false", ""},
      {"forcelocalport", "False"},
      {"ForceLocalPort=YES", ""},
      {"FORCELOCALPORT", "True"},
      {"ForceLocalPort=0", ""},
      {"ForceLocalPort", "False"},
      {"ForceLocalPort=1", ""},
      {"ForceLocalPort[3]", "True"},
      {"ForceLocalPort(1)=no", ""},
      {"ForceLocalPort", "False"},
      {"TimeoutInMilliseconds", "0"},
      {"TimeoutInMilliseconds=True", ""},
      {"TimeoutInMilliseconds", "1"},
      {"TimeoutInMilliseconds=false", ""},
      {"IgnorePortMismatch", "False"},
      {"AbsoluteTimeout", "False"},
      {"ShareLocalPort", "False"},
      {"UseConnection", "False"},
      {"TimeWindow", "150"},
      {"TrapPort", "162"},
      {"MaxPacketSize", "8192"},
      {"MaxPacketSize=100000", ""},
      {"MaxPacketSize", "65536"},
      {"InBufferSize", "32768"},
      {"OutBufferSize", "32768"},
      {"QOSFlags", "0"},
      {"TTL", "0"},
      {"TimeToLive=0", ""},
      {"TimeToLive", "0"},
      {"SocketHandle", "-1"},
      {"TrapCommunity", "cobalt"},
      {"TrapCommunity=", ""},
      {"TrapCommunity", ""},
      {"TrapAgentAddress=10.1.2.3", ""},
      {"TrapAgentAddress", "10.1.2.3"},
      {"TrapAgentAddress=255.255.255.255", ""},
      {"TrapAgentAddress=router", "303: Value must be an IP address."},
      {"TrapAgentAddress", "255.255.255.255"},
      {"TrapEnterprise=1.3.6.1.4.1.9", ""},
      {"TrapEnterprise", "1.3.6.1.4.1.9"},
      {"CodePage=65001", ""},
      {"CodePage", "65001"},
      {"WinsockLoaded", "True"},
      {"WinsockMaxDatagramSize", "65507"},
      {"NoSuchSetting", "-1: Unknown config setting."},
      {"ForceLocalPort = false", "-1: Unknown config setting."},
      {"", "-1: Unknown config setting."},
  };
  for (const Step& step : steps) {
    std::string got;
    try {
      got = mgr.Config(step.setting);
    } catch (const ESnmpMgr& e) {
      got = e.what();
    }
    EXPECT_EQ(got, step.result) << step.setting;
  }
  mgr.Config("TrapCommunity=other");
  EXPECT_EQ(mgr.Community(), "other") << "TrapCommunity is another name for Community";
}

TEST(SnmpMgrProperties, RulesWhileActive) {
  TSnmpMgr mgr;
  mgr.SetLocalPort(0);
  EXPECT_EQ(mgr.LocalHost(), []() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return std::string(name);
  }()) << "without a configured address LocalHost reads the host name";
  mgr.SetLocalHost("127.0.0.1");
  EXPECT_EQ(mgr.LocalHost(), "127.0.0.1");
  mgr.SetActive(true);
  EXPECT_TRUE(mgr.Active());
  EXPECT_GT(mgr.LocalPort(), 0) << "reads the bound port";
  EXPECT_EQ(mgr.LocalHost(), "127.0.0.1");
  EXPECT_NE(mgr.Config("SocketHandle"), "-1");
  const std::pair<std::function<void()>, const char*> refused[] = {
      {[&] { mgr.SetActive(true); }, "104: UDPPort is already Active."},
      {[&] { mgr.SetLocalPort(5000); },
       "106: You cannot change the LocalPort while the control is Active."},
      {[&] { mgr.SetLocalHost(""); }, "107: Cannot change LocalHost while the control is Active."},
      {[&] { mgr.Config("MaxPacketSize=1000"); },
       "112: Cannot change MaxPacketSize while the control is Active."},
      {[&] { mgr.Config("UseConnection=true"); },
       "117: Cannot change UseConnection option while the control is Active."},
  };
  for (const auto& [call, message] : refused) EXPECT_EQ(ErrorOf(call), message);
  mgr.SetRemotePort(1234);  // allowed without UseConnection
  mgr.SetActive(false);
  EXPECT_FALSE(mgr.Active());
  EXPECT_EQ(mgr.Config("SocketHandle"), "-1");
  mgr.SetActive(false);  // closing a closed socket succeeds

  mgr.Config("UseConnection=true");
  mgr.SetRemoteHost("127.0.0.1");
  mgr.SetRemotePort(0);
  EXPECT_EQ(ErrorOf([&] { mgr.SetActive(true); }),
            "116: RemotePort can't be zero when UseConnection is set. Please specify a valid "
            "service port number.");
  mgr.SetRemotePort(9);
  mgr.SetActive(true);
  EXPECT_EQ(ErrorOf([&] { mgr.SetRemoteHost("127.0.0.2"); }),
            "114: Cannot change RemoteHost when UseConnection is set and the control is Active.");
  EXPECT_EQ(ErrorOf([&] { mgr.SetRemotePort(10); }),
            "115: Cannot change RemotePort when UseConnection is set and the control is Active.");
}

// The resolver's first answer for a name, either family, as text.
std::string FirstAddress(const std::string& name) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || !list) return "";
  char text[INET6_ADDRSTRLEN] = {};
  const void* bytes =
      list->ai_family == AF_INET6
          ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(list->ai_addr)->sin6_addr)
          : &reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
  inet_ntop(list->ai_family, bytes, text, sizeof text);
  freeaddrinfo(list);
  return text;
}

TEST(SnmpMgrProperties, HostNames) {
  TSnmpMgr mgr;
  // A name takes the resolver's first address, of whichever family (::1 where /etc/hosts
  // names it first for localhost).
  mgr.SetRemoteHost("localhost");
  EXPECT_EQ(mgr.RemoteHost(), FirstAddress("localhost"));
  mgr.SetRemoteHost("255.255.255.255");
  EXPECT_EQ(mgr.RemoteHost(), "255.255.255.255");
  mgr.SetRemoteHost("");
  EXPECT_EQ(mgr.RemoteHost(), "");
  mgr.SetRemoteHost("10.0.0.1");
  EXPECT_EQ(ErrorOf([&] { mgr.SetRemoteHost("no-such-host.invalid"); }),
            "11001: [11001] Host not found");
  EXPECT_EQ(mgr.RemoteHost(), "10.0.0.1") << "a failed write leaves the property unchanged";
}

// Holds a UDP port, as another program would.
TEST(SnmpMgrProperties, RemoteHostTakesBothFamilies) {
  struct Case {
    const char* written;
    const char* read;
  };
  const Case cases[] = {
      {"::1", "::1"},
      {"[::1]", "::1"},
      {"2001:db8::1", "2001:db8::1"},
      {"[2001:DB8:0:0:0:0:0:a]", "2001:db8::a"},
      {"::ffff:10.1.2.3", "::ffff:10.1.2.3"},
      {"fe80::1%lo", "fe80::1%lo"},
      {"10.20.30.40", "10.20.30.40"},
      {"255.255.255.255", "255.255.255.255"},
  };
  TSnmpMgr mgr;
  for (const Case& c : cases) {
    mgr.SetRemoteHost(c.written);
    EXPECT_EQ(mgr.RemoteHost(), c.read) << c.written;
  }
  // Not addresses, and names that do not resolve: the specified messages, nothing changed.
  for (const char* bad : {"[::1", "::1]", "1.2.3.4.5", "no-such-host.invalid", "[no-such]"}) {
    EXPECT_EQ(ErrorOf([&] { mgr.SetRemoteHost(bad); }), "11001: [11001] Host not found") << bad;
    EXPECT_EQ(mgr.RemoteHost(), "255.255.255.255") << bad;
  }
}

class PortHolder {
 public:
  explicit PortHolder(int port) {
    m_fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    m_bound = bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 || errno == EADDRINUSE;
  }
  ~PortHolder() { close(m_fd); }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  bool held() const { return m_bound; }

 private:
  int m_fd;
  bool m_bound;
};

TEST(SnmpMgrProperties, TakenLocalPortFailsUnlessForceLocalPortIsOff) {
  for (int port : {162, ::kestrava::testing::FreeUdpPort()}) {
    PortHolder holder(port);
    ASSERT_TRUE(holder.held());
    TSnmpMgr mgr;
    mgr.SetLocalPort(port);
    EXPECT_EQ(ErrorOf([&] { mgr.SetActive(true); }), "10048: [10048] Address already in use");
    EXPECT_FALSE(mgr.Active());
    mgr.Config("ForceLocalPort=false");
    mgr.SetActive(true);
    EXPECT_TRUE(mgr.Active());
    EXPECT_NE(mgr.LocalPort(), port);
  }
}

// ---- Asynchronous sends

// Request ids start where a blind sender cannot guess them, and still wrap as specified.
TEST(SnmpMgrProperties, RequestIdsStartAtRandom) {
  std::set<int> starts;
  for (int i = 0; i < 8; ++i) {
    TSnmpMgr mgr;
    const int id = mgr.RequestId();
    EXPECT_GT(id, 0);
    starts.insert(id);
  }
  EXPECT_EQ(starts.size(), 8u) << "eight components, eight different first ids";
}

TEST_F(SnmpMgrTest, RequestIdWrapsAt32Bits) {
  mgr.SetRequestId(-1);
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  EXPECT_EQ(mgr.RequestId(), 0);
  mgr.SetRequestId(2147483647);
  mgr.SendGetRequest();
  EXPECT_EQ(mgr.RequestId(), -2147483647 - 1);
}

TEST_F(SnmpMgrTest, RequestIdIsTakenAndAdvanced) {
  mgr.SetRequestId(100);
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  EXPECT_EQ(mgr.RequestId(), 101);
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 2; }));
  const auto log = agent.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].RequestId, 100);
  EXPECT_EQ(log[1].RequestId, 101);
  EXPECT_EQ(log[0].PduType, 0xA0);
  EXPECT_EQ(log[0].Community, "cobalt");
  EXPECT_EQ(responses[0].RequestId, 100);

  mgr.SetCommunity("blue");
  mgr.Reset();
  EXPECT_EQ(mgr.RequestId(), 102);
  EXPECT_EQ(mgr.Community(), "blue");
  EXPECT_EQ(mgr.RemoteHost(), "127.0.0.1");
  EXPECT_EQ(mgr.ObjCount(), 0);
}

TEST_F(SnmpMgrTest, GetAndGetNextInBothVersions) {
  struct Case {
    int version;
    bool next;
    std::string oid;
    int errorStatus;
    int errorIndex;
    std::string wantOid;
    int wantType;
    std::string wantValue;
  };
  const Case cases[] = {
      {1, false, "1.3.6.1.2.1.2.2.1.10.2", 0, 0, "1.3.6.1.2.1.2.2.1.10.2", 0x41, "1002"},
      {2, false, "1.3.6.1.2.1.2.2.1.2.3", 0, 0, "1.3.6.1.2.1.2.2.1.2.3", 4, "eth2"},
      {1, true, "1.3.6.1.2.1.2.2.1.2", 0, 0, "1.3.6.1.2.1.2.2.1.2.1", 4, "eth0"},
      {2, true, "1.3.6.1.2.1.2.2.1.10.3", 0, 0, "1.3.6.1.2.1.2.2.1.16.1", 0x41, "1002"},
      // Missing objects and the end of the table.
      {1, false, "1.3.6.1.2.1.2.2.1.10.9", 2, 1, "1.3.6.1.2.1.2.2.1.10.9", 5, ""},
      {2, false, "1.3.6.1.2.1.2.2.1.10.9", 0, 0, "1.3.6.1.2.1.2.2.1.10.9", 0x81,
       "error: noSuchInstance"},
      {1, true, "1.3.6.1.2.1.2.2.1.16.3", 2, 1, "1.3.6.1.2.1.2.2.1.16.3", 5, ""},
      {2, true, "1.3.6.1.2.1.2.2.1.16.3", 0, 0, "1.3.6.1.2.1.2.2.1.16.3", 0x82,
       "error: endOfMibView"},
  };
  for (const Case& c : cases) {
    responses.clear();
    mgr.SetSNMPVersion(c.version);
    Ask({c.oid});
    if (c.next)
      mgr.SendGetNextRequest();
    else
      mgr.SendGetRequest();
    ASSERT_TRUE(WaitFor([&] { return responses.size() == 1; })) << c.oid;
    const TResponse& r = responses[0];
    EXPECT_EQ(r.Version, c.version == 1 ? 0 : 1);
    EXPECT_EQ(r.ErrorStatus, c.errorStatus) << c.oid;
    EXPECT_EQ(r.ErrorIndex, c.errorIndex) << c.oid;
    EXPECT_EQ(r.Description, c.errorStatus == 2 ? "noSuchName" : "noError");
    EXPECT_EQ(mgr.ErrorStatus(), c.errorStatus);
    ASSERT_EQ(r.Bindings.size(), 1u);
    EXPECT_EQ(r.Bindings[0].first, c.wantOid);
    EXPECT_EQ(r.Types[0], c.wantType) << c.oid;
    EXPECT_EQ(r.Bindings[0].second, c.wantValue) << c.oid;
    EXPECT_EQ(r.Source, "127.0.0.1");
    EXPECT_EQ(r.Port, agent.port());
  }
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(badPackets.empty());
}

// Every request asks with NULL values, whatever type and value the table held for a binding
// (the engine's requests used to carry an empty OCTET STRING).
TEST_F(SnmpMgrTest, EveryRequestSendsNullValues) {
  struct Case {
    const char* name;
    std::function<void()> send;
  };
  const Case cases[] = {
      {"get", [&] { mgr.SendGetRequest(); }},
      {"get-next", [&] { mgr.SendGetNextRequest(); }},
      {"get-bulk", [&] { mgr.SendGetBulkRequest(0, 5); }},
  };
  for (const Case& c : cases) {
    agent.ClearLog();
    for (const int type : {4, 2, 0x41}) {
      Ask({"1.3.6.1.2.1.1.3.0", "1.3.6.1.2.1.1.5.0"});
      for (int i = 1; i <= 2; ++i) {
        mgr.SetObjType(i, type);
        mgr.SetObjValue(i, "x");
      }
      c.send();
      EXPECT_EQ(mgr.ObjType(1), 5) << c.name << ": the table says what went out";
    }
    ASSERT_TRUE(WaitFor([&] { return agent.RequestCount() == 3; })) << c.name;
    for (const auto& request : agent.Log()) {
      TSnmpMessage msg;
      TObjectTable objects;
      ASSERT_EQ(ParseMessage(reinterpret_cast<const uint8_t*>(request.Packet.data()),
                             request.Packet.size(), msg, objects),
                0);
      ASSERT_EQ(objects.Count(), 2) << c.name;
      for (int i = 1; i <= 2; ++i) {
        EXPECT_EQ(objects.At(i).Type, kTagNull) << c.name;
        EXPECT_TRUE(objects.At(i).Value.empty()) << c.name;
      }
    }
  }
}

TEST_F(SnmpMgrTest, AsynchronousModeTakesEveryResponse) {
  // Another request's id, another sender, two copies: no check ties them to the request.
  agent.SetWrongRequestId(true);
  agent.SetReplyFromOtherPort(true);
  agent.SetDuplicate(true);
  mgr.SetRequestId(7);
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 2; }));
  EXPECT_EQ(responses[0].RequestId, 1007);
  EXPECT_NE(responses[0].Port, agent.port());
  EXPECT_TRUE(badPackets.empty());
}

// The typed read of an answer gives each value as the codec decoded it, and ObjValue stays its
// text: one answer with every type the codec knows.
TEST_F(SnmpMgrTest, TypedReadOfAnAnswerMatchesObjValue) {
  struct Case {
    int32_t type;
    std::string sent;  // as the agent's codec writes it
    TSnmpValue want;
    std::string text;  // ObjValue
  };
  const std::vector<Case> cases = {
      {kTagInteger, "-2147483648", TSnmpValue::Number(kTagInteger, 2147483648u, true),
       "-2147483648"},
      {kTagInteger, "-1", TSnmpValue::Number(kTagInteger, 1, true), "-1"},
      {kTagInteger, "0", TSnmpValue::Number(kTagInteger, 0), "0"},
      {kTagInteger, "2147483647", TSnmpValue::Number(kTagInteger, 2147483647), "2147483647"},
      {kTagCounter32, "4294967295", TSnmpValue::Number(kTagCounter32, 4294967295u), "4294967295"},
      {kTagGauge32, "1000", TSnmpValue::Number(kTagGauge32, 1000), "1000"},
      {kTagTimeTicks, "360000", TSnmpValue::Number(kTagTimeTicks, 360000), "360000"},
      {kTagUInteger32, "7", TSnmpValue::Number(kTagUInteger32, 7), "7"},
      {kTagCounter64, "18446744073709551615",
       TSnmpValue::Number(kTagCounter64, 18446744073709551615u), "18446744073709551615"},
      {kTagCounter64, "0", TSnmpValue::Number(kTagCounter64, 0), "0"},
      {kTagOctetString, std::string("a\0b", 3),
       TSnmpValue::Octets(kTagOctetString, std::string("a\0b", 3)), std::string("a\0b", 3)},
      {kTagOctetString, "12.5", TSnmpValue::Octets(kTagOctetString, "12.5"), "12.5"},
      {kTagOpaque, "\x9f\x78", TSnmpValue::Octets(kTagOpaque, "\x9f\x78"), "\x9f\x78"},
      {kTagIpAddress, "10.0.0.1", TSnmpValue::Octets(kTagIpAddress, "10.0.0.1"), "10.0.0.1"},
      {kTagOid, "1.3.6.1.4", TSnmpValue::Octets(kTagOid, "1.3.6.1.4"), "1.3.6.1.4"},
      {kTagNull, "", TSnmpValue::Octets(kTagNull, ""), ""},
      {kTagNoSuchObject, "", TSnmpValue::Octets(kTagNoSuchObject, "error: noSuchObject"),
       "error: noSuchObject"},
      {kTagNoSuchInstance, "", TSnmpValue::Octets(kTagNoSuchInstance, "error: noSuchInstance"),
       "error: noSuchInstance"},
      {kTagEndOfMibView, "", TSnmpValue::Octets(kTagEndOfMibView, "error: endOfMibView"),
       "error: endOfMibView"},
  };
  TSnmpMessage msg;
  msg.Community.assign("cobalt");
  TObjectTable objects;
  objects.SetCount(static_cast<int>(cases.size()));
  for (size_t i = 0; i < cases.size(); ++i) {
    TSnmpObject& o = objects.At(static_cast<int>(i) + 1);
    o.Id.assign("1.3.6.1.4.1.99." + std::to_string(i));
    o.Type = cases[i].type;
    o.Value.assign(cases[i].sent);
  }
  TByteBuffer out;
  std::string error;
  ASSERT_EQ(BuildMessage(kActionResponse, msg, objects, out, error), 0) << error;
  std::vector<std::pair<std::string, TSnmpValue>> typed;
  mgr.OnResponse = [&](TSnmpMgr& m, int, int, const std::string&, const std::string&, int,
                       const std::string&, int, int, int, const std::string&) {
    std::string id = "left from before";
    TSnmpValue value = TSnmpValue::Octets(kTagOctetString, "left from before");
    for (int i = 1; i <= m.ObjCount(); ++i) {
      m.ReadObject(i, id, value);  // the storage is reused: nothing of the value before stays
      typed.emplace_back(id, value);
      responses.push_back({0, 0, 0, 0, "", {{m.ObjId(i), m.ObjValue(i)}}, {m.ObjType(i)}, "", 0});
    }
    EXPECT_EQ(ErrorOf([&] { m.ReadObject(m.ObjCount() + 1, id, value); }),
              "280: Invalid array index value for ObjValue");
  };
  mgr.SetActive(true);
  agent.SendTo(out.str(), "127.0.0.1", mgr.LocalPort());
  ASSERT_TRUE(WaitFor([&] { return typed.size() == cases.size(); }));
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(typed[i].first, "1.3.6.1.4.1.99." + std::to_string(i));
    EXPECT_EQ(typed[i].second, c.want) << c.text;
    EXPECT_EQ(responses[i].Bindings[0].second, c.text) << "ObjValue as it always was";
    EXPECT_EQ(responses[i].Types[0], c.type);
    EXPECT_EQ(typed[i].second.Text(), c.text);
  }
}

// An object written for a request reads typed as the number it goes out as.
TEST(SnmpMgrProperties, WrittenObjectsReadTypedAsTheyGoOut) {
  struct Case {
    int32_t type;
    std::string text;
    TSnmpValue want;
  };
  const std::vector<Case> cases = {
      {kTagInteger, "-5", TSnmpValue::Number(kTagInteger, 5, true)},
      {kTagInteger, "4294967295", TSnmpValue::Number(kTagInteger, 1, true)},  // 32 bits, signed
      {kTagCounter32, "4294967296", TSnmpValue::Number(kTagCounter32, 0)},    // wraps at 2^32
      {kTagGauge32, "12abc", TSnmpValue::Number(kTagGauge32, 12)},            // leading digits
      {kTagCounter64, "18446744073709551615",
       TSnmpValue::Number(kTagCounter64, 18446744073709551615u)},
      {kTagOctetString, "17", TSnmpValue::Octets(kTagOctetString, "17")},
  };
  TSnmpMgr mgr;
  mgr.SetObjCount(1);
  for (const Case& c : cases) {
    mgr.SetObjValue(1, c.text);
    mgr.SetObjType(1, c.type);
    std::string id;
    TSnmpValue value;
    mgr.ReadObject(1, id, value);
    EXPECT_EQ(value, c.want) << c.text;
    EXPECT_EQ(mgr.ObjValue(1), c.text);
  }
}

TEST_F(SnmpMgrTest, SilentAgentGivesNoEvent) {
  agent.SetSilent(true);
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  Serve(300);
  EXPECT_EQ(agent.RequestCount(), 1);
  EXPECT_TRUE(responses.empty());
  EXPECT_TRUE(errors.empty());
}

TEST_F(SnmpMgrTest, GarbageGivesParseErrorAndTheSocketStaysOpen) {
  agent.SetGarbage(true);
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
  EXPECT_EQ(errors[0].second, "SNMP: Error parsing received packet.");
  EXPECT_TRUE(errors[0].first == 446 || errors[0].first == 447) << errors[0].first;
  EXPECT_TRUE(mgr.Active());
  agent.SetGarbage(false);
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 1; }));
}

TEST_F(SnmpMgrTest, ErrorStatusAnswersCarryTheirBindings) {
  agent.SetErrorFor("1.3.6.1.2.1.2.2.1.10.2", 5, 2);
  Ask({"1.3.6.1.2.1.2.2.1.10.1", "1.3.6.1.2.1.2.2.1.10.2"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 1; }));
  EXPECT_EQ(responses[0].ErrorStatus, 5);
  EXPECT_EQ(responses[0].ErrorIndex, 2);
  EXPECT_EQ(responses[0].Description, "genError");
  EXPECT_EQ(mgr.ErrorDescription(), "genError");
  EXPECT_EQ(responses[0].Bindings.size(), 2u);
}

TEST_F(SnmpMgrTest, RequestArrivingAtTheManagerIsRefused) {
  mgr.SetActive(true);
  TSnmpMessage msg;
  msg.Version = kSnmpV2c;
  msg.Community.assign("cobalt");
  msg.RequestId = 44;
  TObjectTable objects;
  objects.SetCount(1);
  objects.At(1).Id.assign("1.3.6.1.2.1.1.3.0");
  TByteBuffer out;
  std::string text;
  ASSERT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, text), 0);
  agent.SendTo(out.str(), "127.0.0.1", mgr.LocalPort());
  ASSERT_TRUE(WaitFor([&] { return !badPackets.empty(); }));
  EXPECT_EQ(badPackets[0],
            std::make_pair(319, std::string("Operation not permitted in current role.")));
  Serve(100);
  EXPECT_EQ(agent.RequestCount(), 0) << "the manager does not answer a request";
  EXPECT_TRUE(responses.empty());
}

// Anyone can send an inform. It must not take the agent's place: the next requests, with the
// community in clear, went to its sender. The manager drops it; a listener answers its sender
// and keeps the agent.
TEST_F(SnmpMgrTest, ForgedInformNeverMovesTheRemoteSide) {
  for (const bool listener : {false, true}) {
    testing::LoopbackPeer forger;
    ASSERT_TRUE(forger.ok());
    mgr.SetActive(false);
    mgr.Config(std::string("AnswerInforms=") + (listener ? "true" : "false"));
    mgr.SetActive(true);
    TSnmpMessage msg;
    msg.Version = kSnmpV2c;
    msg.Community.assign("anything");
    msg.RequestId = 77;
    TObjectTable objects;
    objects.SetCount(2);
    objects.At(1).Id.assign("1.3.6.1.2.1.1.3.0");
    objects.At(1).Type = 0x43;
    objects.At(1).Value.assign("5");
    objects.At(2).Id.assign("1.3.6.1.6.3.1.1.4.1.0");
    objects.At(2).Type = 6;
    objects.At(2).Value.assign("1.3.6.1.6.3.1.1.5.1");
    TByteBuffer out;
    std::string text;
    ASSERT_EQ(BuildMessage(kActionInformRequest, msg, objects, out, text), 0);
    const std::string droppedBefore = mgr.Config("DroppedPackets");
    forger.SendTo(out.str(), mgr.LocalPort());
    if (listener) {
      std::optional<std::string> answer;
      ASSERT_TRUE(WaitFor([&] {
        if (!answer) answer = forger.Take();
        return answer.has_value();
      }));
      TSnmpMessage in;
      TObjectTable inObjects;
      const auto* bytes = reinterpret_cast<const uint8_t*>(answer->data());
      ASSERT_EQ(ParseMessage(bytes, answer->size(), in, inObjects), 0);
      EXPECT_EQ(in.PduType, kPduResponse);
      EXPECT_EQ(in.RequestId, 77);
    } else {
      ASSERT_TRUE(WaitFor([&] { return mgr.Config("DroppedPackets") != droppedBefore; }))
          << "the inform counts as dropped";
    }
    EXPECT_EQ(mgr.RemoteHost(), "127.0.0.1") << listener;
    EXPECT_EQ(mgr.RemotePort(), agent.port()) << listener;
    responses.clear();
    agent.ClearLog();
    Ask({"1.3.6.1.2.1.1.3.0"});
    mgr.SendGetRequest();
    ASSERT_TRUE(WaitFor([&] { return responses.size() == 1; })) << listener;
    EXPECT_EQ(agent.Log().size(), 1u) << listener;
    EXPECT_FALSE(forger.Take().has_value()) << "no request went to the forger";
  }
  EXPECT_TRUE(errors.empty());
}

// Datagrams are taken whole whatever MaxPacketSize says: an ifDescr of 8,200 characters, or
// any answer up to the largest UDP datagram, used to be cut and lost (10040).
TEST_F(SnmpMgrTest, DatagramsLargerThanMaxPacketSizeArriveWhole) {
  struct Case {
    const char* maxPacketSize;
    size_t answer;
  };
  for (const Case& c : {Case{"1000", 3000}, Case{"8192", 8300}, Case{"8192", 65000}}) {
    mgr.SetActive(false);
    mgr.Config(std::string("MaxPacketSize=") + c.maxPacketSize);
    agent.SetOversize(c.answer);
    responses.clear();
    Ask({"1.3.6.1.2.1.1.3.0"});
    mgr.SendGetRequest();
    ASSERT_TRUE(WaitFor([&] { return responses.size() == 1; })) << c.answer;
    ASSERT_EQ(responses[0].Bindings.size(), 2u);
    EXPECT_EQ(responses[0].Bindings[1].second.size(), c.answer) << c.answer;
  }
  EXPECT_TRUE(errors.empty());
}

// In blocking mode an answer must carry the community the request went out with.
TEST_F(SnmpMgrTest, BlockingAnswersWithAnotherCommunityAreDroppedAndCounted) {
  agent.SetResponder([](const FakeAgent::Request& r) -> std::optional<std::string> {
    TSnmpMessage msg;
    msg.Version = r.Version;
    msg.Community.assign(r.Community == "cobalt" ? "forged" : r.Community);
    msg.RequestId = r.RequestId;
    msg.ErrorStatus = 0;
    TObjectTable objects;
    objects.SetCount(1);
    objects.At(1).Id.assign(r.Oids.empty() ? "1.3" : r.Oids[0]);
    objects.At(1).Type = kTagCounter32;
    objects.At(1).Value.assign("3000000001");
    TByteBuffer out;
    std::string text;
    BuildMessage(kActionResponse, msg, objects, out, text);
    return out.str();
  });
  mgr.Config("TimeoutInMilliseconds=true");
  mgr.SetTimeout(300);
  EXPECT_EQ(mgr.Config("DroppedPackets"), "0");
  Ask({"1.3.6.1.2.1.2.2.1.10.1"});
  EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }), "301: Timeout.");
  ASSERT_EQ(badPackets.size(), 1u);
  EXPECT_EQ(badPackets[0], std::make_pair(318, std::string("SNMP Community mismatch.")));
  EXPECT_TRUE(responses.empty()) << "the forged value is not taken";
  EXPECT_EQ(mgr.Config("DroppedPackets"), "1");
  EXPECT_EQ(ErrorOf([&] { mgr.Config("DroppedPackets=0"); }), "") << "read-only: ignored";
  EXPECT_EQ(mgr.Config("DroppedPackets"), "1");
  // Every other mismatch is counted as well; the right community is taken.
  agent.SetResponder(nullptr);
  agent.SetWrongRequestId(true);
  Ask({"1.3.6.1.2.1.2.2.1.10.1"});
  EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }), "301: Timeout.");
  EXPECT_EQ(mgr.Config("DroppedPackets"), "2");
  agent.SetWrongRequestId(false);
  mgr.SetCommunity("blue");
  agent.SetResponder([](const FakeAgent::Request&) { return std::nullopt; });
  Ask({"1.3.6.1.2.1.2.2.1.10.1"});
  mgr.SendGetRequest();
  EXPECT_EQ(responses.size(), 1u);
}

// kestrava-snmp says, when asked, how many datagrams it dropped: here every second copy of an
// answer that an agent sends twice, each met while the walk waits for the next answer.
TEST_F(SnmpMgrTest, CommandSaysWhatItDroppedWhenVerbose) {
  agent.SetDuplicate(true);
  const std::string tool = std::string(KESTRAVA_BINARY_DIR) + "/bin/kestrava-snmp";
  const std::string walk = " walk -c cobalt 127.0.0.1:" + std::to_string(agent.port()) +
                           " 1.3.6.1.2.1.2.2.1.2 2>&1 >/dev/null";
  int status = -1;
  const std::string quiet = ::kestrava::testing::RunCommand(tool + walk, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(quiet, "");
  const std::string said = ::kestrava::testing::RunCommand(tool + " --verbose" + walk, &status);
  EXPECT_EQ(status, 0);
  // Three rows and the end of the column: four answers, the first three copies met.
  EXPECT_EQ(said, "kestrava-snmp: 3 datagrams dropped as not matching the request\n");
}

// The asynchronous answer says exactly where it came from and with which community, so that
// the program can hold it against the request.
TEST_F(SnmpMgrTest, AsynchronousAnswersCarryTheirSourceAndCommunity) {
  std::string community;
  mgr.OnResponse = [&](TSnmpMgr&, int, int, const std::string& c, const std::string&, int,
                       const std::string& source, int port, int, int, const std::string&) {
    community = c;
    responses.push_back({0, 0, 0, 0, "", {}, {}, source, port});
  };
  agent.SetReplyFromOtherPort(true);
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 1; }));
  EXPECT_EQ(responses[0].Source, "127.0.0.1");
  EXPECT_NE(responses[0].Port, agent.port());
  EXPECT_GT(responses[0].Port, 0);
  EXPECT_EQ(community, "cobalt");
}

TEST_F(SnmpMgrTest, ClosedPortGivesDestinationUnreachable) {
  mgr.SetRemotePort(::kestrava::testing::FreeUdpPort());
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
  EXPECT_EQ(errors[0],
            std::make_pair(10054, std::string("Destination unreachable (service unavailable?).")));
  // The error is consumed: the socket does not stay readable and later answers still arrive.
  mgr.SetRemotePort(agent.port());
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 1; }));
  EXPECT_EQ(errors.size(), 1u);
}

// An IPv6 agent gets a socket of its own family; an ICMPv6 port unreachable is the same
// 10054, and the IPv4 agent afterwards gets an IPv4 socket again.
TEST_F(SnmpMgrTest, TheSocketFollowsTheAgentsFamily) {
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 1; }));
  EXPECT_EQ(mgr.LocalHost(), "0.0.0.0");
  mgr.SetRemoteHost("::1");
  mgr.SetRemotePort(::kestrava::testing::FreeUdpPort());
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  EXPECT_EQ(mgr.LocalHost(), "::");
  ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
  EXPECT_EQ(errors[0],
            std::make_pair(10054, std::string("Destination unreachable (service unavailable?).")));
  mgr.SetRemoteHost("127.0.0.1");
  mgr.SetRemotePort(agent.port());
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 2; }));
  EXPECT_EQ(responses[1].Source, "127.0.0.1");
  EXPECT_EQ(errors.size(), 1u);
}

TEST_F(SnmpMgrTest, ClosingProcessesQueuedDatagramsFirst) {
  mgr.SetReceiveEnabled(false);
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return agent.RequestCount() == 1; }));
  Serve(100);
  EXPECT_TRUE(responses.empty()) << "datagrams wait while ReceiveEnabled is false";
  mgr.SetReceiveEnabled(true);
  mgr.SetActive(false);
  EXPECT_EQ(responses.size(), 1u) << "the queued answer fired before the socket closed";
  EXPECT_FALSE(mgr.Active());
}

TEST_F(SnmpMgrTest, ReceiveEnabledHoldsDatagramsUntilSwitchedOn) {
  mgr.SetReceiveEnabled(false);
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  Serve(200);
  EXPECT_TRUE(responses.empty());
  mgr.SetReceiveEnabled(true);
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 1; }));
}

TEST_F(SnmpMgrTest, SendFromAnotherThreadDeliversEventsInTheOwnerThread) {
  Ask({"1.3.6.1.2.1.1.3.0"});
  // The worker opens the socket implicitly; the notifier must still live in this thread.
  std::thread worker([&] { mgr.SendGetRequest(); });
  worker.join();
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 1; }));
  EXPECT_EQ(responseThreads[0], QThread::currentThread());
  mgr.SetActive(false);
  std::thread closer([&] {
    mgr.SetActive(true);
    mgr.SetActive(false);
    mgr.SendGetRequest();
  });
  closer.join();
  ASSERT_TRUE(WaitFor([&] { return responses.size() == 2; }));
}

// ---- Blocking sends

TEST_F(SnmpMgrTest, BlockingGetReturnsWithTheResponse) {
  mgr.SetTimeout(5);
  Ask({"1.3.6.1.2.1.2.2.1.2.1", "1.3.6.1.2.1.2.2.1.10.1"});
  mgr.SendGetRequest();
  ASSERT_EQ(responses.size(), 1u) << "OnResponse fired inside the send";
  EXPECT_EQ(mgr.ObjCount(), 2);
  EXPECT_EQ(mgr.ObjValue(1), "eth0");
  EXPECT_EQ(mgr.ValueForOid("1.3.6.1.2.1.2.2.1.10.1"), "1001");
  EXPECT_EQ(ErrorOf([&] { mgr.ValueForOid("1.3.6.1.9"); }), "322: OID does not exist.");
}

TEST_F(SnmpMgrTest, BlockingMismatchesAreRefused) {
  struct Case {
    const char* name;
    std::function<void()> script;
    const char* text;
  };
  const Case cases[] = {
      {"wrong id", [&] { agent.SetWrongRequestId(true); }, "SNMP RequestId mismatch."},
      {"other port", [&] { agent.SetReplyFromOtherPort(true); }, "Message origin unknown."},
      {"version",
       [&] {
         agent.SetResponder([](const FakeAgent::Request& r) -> std::optional<std::string> {
           TSnmpMessage msg;
           msg.Version = kSnmpV1;
           msg.Community.assign(r.Community);
           msg.RequestId = r.RequestId;
           msg.ErrorStatus = 0;
           TObjectTable objects;
           TByteBuffer out;
           std::string text;
           BuildMessage(kActionResponse, msg, objects, out, text);
           return out.str();
         });
       },
       "SNMP Version mismatch."},
  };
  mgr.Config("TimeoutInMilliseconds=true");
  mgr.SetTimeout(400);
  for (const Case& c : cases) {
    agent.SetWrongRequestId(false);
    agent.SetReplyFromOtherPort(false);
    agent.SetResponder(nullptr);
    c.script();
    badPackets.clear();
    responses.clear();
    Ask({"1.3.6.1.2.1.1.3.0"});
    EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }), "301: Timeout.") << c.name;
    ASSERT_EQ(badPackets.size(), 1u) << c.name;
    EXPECT_EQ(badPackets[0], std::make_pair(318, std::string(c.text)));
    EXPECT_TRUE(responses.empty()) << c.name;
  }
  agent.SetResponder(nullptr);
  agent.SetReplyFromOtherPort(true);
  mgr.Config("IgnorePortMismatch=true");
  Ask({"1.3.6.1.2.1.1.3.0"});
  mgr.SendGetRequest();
  EXPECT_EQ(responses.size(), 1u);
}

TEST_F(SnmpMgrTest, BlockingDeadlineMovesWithEveryDatagramUnlessAbsolute) {
  // Two wrong answers 700 ms after the request: they move a 1000 ms deadline to 1700 ms.
  agent.SetWrongRequestId(true);
  agent.SetDuplicate(true);
  agent.SetDelayMs(700);
  mgr.Config("TimeoutInMilliseconds=true");
  mgr.SetTimeout(1000);
  for (bool absolute : {false, true}) {
    mgr.Config(std::string("AbsoluteTimeout=") + (absolute ? "true" : "false"));
    Ask({"1.3.6.1.2.1.1.3.0"});
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }), "301: Timeout.");
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (absolute) {
      EXPECT_GE(ms, 1000);
      EXPECT_LT(ms, 1650);
    } else {
      EXPECT_GE(ms, 1700);
    }
    Serve(100);
  }
  EXPECT_EQ(responses.size(), 0u);
}

TEST_F(SnmpMgrTest, BlockingSilenceTimesOutAndBusyAndResetRules) {
  agent.SetSilent(true);
  mgr.Config("TimeoutInMilliseconds=true");
  mgr.SetTimeout(300);
  Ask({"1.3.6.1.2.1.1.3.0"});
  EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }), "301: Timeout.");

  // A send from an event served inside the wait finds the component busy.
  std::string nested;
  QTimer::singleShot(50, [&] { nested = ErrorOf([&] { mgr.SendGetNextRequest(); }); });
  EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }), "301: Timeout.");
  EXPECT_EQ(nested, "307: Busy performing current action.");

  // Reset stops the wait: the send returns without error.
  mgr.SetTimeout(5000);
  QTimer::singleShot(50, [&] { mgr.Reset(); });
  const auto start = Clock::now();
  EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }), "");
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(4000));
}

}  // namespace
}  // namespace kestrava
