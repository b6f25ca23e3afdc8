// TSnmpMgr's SNMPv3 exchange against a scripted agent on 127.0.0.1: discovery before the first
// request in both modes, the clock and engine id followed after a report (a rebooted or
// replaced agent), the agent's USM reports as errors of their own, answers refused when
// replayed or altered, the settings, and passwords and keys kept out of every text and event.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "fake_agent.h"
#include "loopback_peer.h"
#include "snmp/snmpmgr.h"
#include "snmp/usm.h"
#include "snmpmgr_test_util.h"
#include "tests/snmp/usm_agent_script.h"

namespace kestrava {
namespace {

using testing::ErrorOf;
using testing::FakeAgent;
using testing::TUsmAgentScript;
using testing::WaitFor;

const std::string kEngineId("\x80\x00\x1F\x88\x04kestrava", 13);

void Serve(int ms) {
  WaitFor([] { return false; }, ms);
}

struct TUserCase {
  const char* Level;
  const char* Auth;
  const char* Priv;
  int WireLevel;  // the SecurityLevel of OnResponse
};

struct TAnswer {
  int RequestId;
  int SecurityLevel;
  std::string User;
  std::vector<std::pair<std::string, std::string>> Bindings;
};

class SnmpMgrUsmTest : public ::testing::Test {
 protected:
  SnmpMgrUsmTest() : script(kEngineId) {}

  void SetUp() override {
    ASSERT_TRUE(agent.ok());
    agent.SetResponder([this](const FakeAgent::Request& r) { return script.Answer(r); });
    Wire(mgr);
    Use(mgr, "kestrel", {"authPriv", "SHA-256", "AES", 3});
  }

  // Records every event of m; aimed at the agent, asynchronous.
  void Wire(TSnmpMgr& m) {
    m.SetLocalPort(0);
    m.SetRemoteHost("127.0.0.1");
    m.SetRemotePort(agent.port());
    m.SetSNMPVersion(3);
    m.SetTimeout(0);
    m.OnResponse = [this](TSnmpMgr& s, int requestId, int, const std::string&,
                          const std::string& user, int level, const std::string&, int, int, int,
                          const std::string&) {
      TAnswer a{requestId, level, user, {}};
      for (int i = 1; i <= s.ObjCount(); ++i) a.Bindings.emplace_back(s.ObjId(i), s.ObjValue(i));
      answers.push_back(a);
    };
    m.OnError = [this](TSnmpMgr&, int code, const std::string& text) {
      errors.emplace_back(code, text);
      texts.push_back(text);
    };
    m.OnBadPacket = [this](TSnmpMgr&, const std::string& packet, const std::string&, int, int,
                           const std::string& text, bool&) {
      texts.push_back(text);
      packets.push_back(packet);
    };
    m.OnPacketTrace = [this](TSnmpMgr&, const std::string& packet, int, const std::string&, int) {
      packets.push_back(packet);
    };
    m.OnDiscoveryResponse = [this](TSnmpMgr&, const std::string& engineId, int, int,
                                   const std::string& user, int, const std::string&, int) {
      ++discoveries;
      texts.push_back(engineId + user);
    };
  }

  // The user on both sides: the agent knows it with these protocols, the manager uses them.
  void Use(TSnmpMgr& m, const std::string& user, const TUserCase& c) {
    TUsmAgentScript::TUser u;
    u.Level = SecurityLevelFromName(c.Level);
    u.Auth = AuthProtocolFromName(c.Auth);
    u.AuthPassword = "auth-" + user + "-pass";
    u.Priv = PrivProtocolFromName(c.Priv);
    u.PrivPassword = "priv-" + user + "-pass";
    script.AddUser(user, u);
    m.SetUser(user);
    m.Config(std::string("SecurityLevel=") + c.Level);
    m.Config(std::string("AuthType=") + c.Auth);
    m.Config("AuthPassword=" + u.AuthPassword);
    m.Config(std::string("PrivType=") + c.Priv);
    m.Config("PrivPassword=" + u.PrivPassword);
  }

  static void Ask(TSnmpMgr& m, const std::vector<std::string>& oids, int requestId) {
    m.Reset();
    m.SetRequestId(requestId);
    m.SetObjCount(static_cast<int>(oids.size()));
    for (size_t i = 0; i < oids.size(); ++i) m.SetObjId(static_cast<int>(i) + 1, oids[i]);
  }

  // One asynchronous get, answered.
  bool GetOnce(TSnmpMgr& m, int requestId) {
    const size_t before = answers.size();
    Ask(m, {"1.3.6.1.2.1.1.5.0"}, requestId);
    m.SendGetRequest();
    return WaitFor([&] { return answers.size() == before + 1; });
  }

  FakeAgent agent;
  TUsmAgentScript script;
  TSnmpMgr mgr;
  std::vector<TAnswer> answers;
  std::vector<std::pair<int, std::string>> errors;
  std::vector<std::string> texts;    // every text the events carried
  std::vector<std::string> packets;  // every datagram traced or refused
  int discoveries = 0;
};

TEST_F(SnmpMgrUsmTest, AsynchronousRequestsWaitForDiscoveryThenGoOutOnce) {
  const std::vector<TUserCase> cases = {
      {"noAuthNoPriv", "MD5", "DES", 0},   {"authNoPriv", "MD5", "DES", 1},
      {"authNoPriv", "SHA-512", "DES", 1}, {"authPriv", "SHA", "DES", 3},
      {"authPriv", "SHA-256", "AES", 3},   {"authPriv", "SHA-384", "AES-192", 3},
      {"authPriv", "MD5", "AES-256", 3},   {"authPriv", "SHA-224", "AES-256", 3},
  };
  int user = 0;
  for (const TUserCase& c : cases) {
    const std::string label = std::string(c.Level) + " " + c.Auth + " " + c.Priv;
    answers.clear();
    const int probes = script.Probes();
    const int requests = script.Requests();
    TSnmpMgr m;
    Wire(m);
    const std::string name = "user" + std::to_string(++user);
    Use(m, name, c);
    // Three requests before anything is known of the agent: none needs more of the caller.
    for (int i = 0; i < 3; ++i) {
      Ask(m, {"1.3.6.1.2.1.2.2.1.2." + std::to_string(i + 1)}, 101 + i);
      m.SendGetRequest();
    }
    ASSERT_TRUE(WaitFor([&] { return answers.size() == 3; })) << label;
    std::set<int> ids;
    for (const TAnswer& a : answers) {
      ids.insert(a.RequestId);
      EXPECT_EQ(a.SecurityLevel, c.WireLevel) << label;
      EXPECT_EQ(a.User, name);
      ASSERT_EQ(a.Bindings.size(), 1u);
      EXPECT_EQ(a.Bindings[0].second, TUsmAgentScript::ValueOf(a.Bindings[0].first)) << label;
    }
    EXPECT_EQ(ids, (std::set<int>{101, 102, 103})) << label;
    EXPECT_EQ(script.Probes() - probes, 1) << label;
    EXPECT_EQ(script.Requests() - requests, 3) << label << ": each went out once";
    EXPECT_EQ(m.RemoteEngineId(), kEngineId);
    EXPECT_TRUE(errors.empty()) << label << ": " << (errors.empty() ? "" : errors[0].second);
  }
}

TEST_F(SnmpMgrUsmTest, BlockingRequestDiscoversFirst) {
  mgr.SetTimeout(5);
  mgr.Config("ContextName=bridge1");
  Ask(mgr, {"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.6.0"}, 7);
  mgr.SendGetRequest();
  ASSERT_EQ(mgr.ObjCount(), 2);
  EXPECT_EQ(mgr.ObjValue(2), TUsmAgentScript::ValueOf("1.3.6.1.2.1.1.6.0"));
  EXPECT_EQ(script.LastContext(), "bridge1");
  Ask(mgr, {"1.3.6.1.2.1.1.5.0"}, 8);
  mgr.SendGetNextRequest();
  EXPECT_EQ(script.Probes(), 1) << "the engine is discovered once";
  EXPECT_EQ(script.Requests(), 2);
  EXPECT_EQ(answers.size(), 2u);
  EXPECT_TRUE(errors.empty());
}

TEST_F(SnmpMgrUsmTest, ClockReportsAreFollowedWithOneMoreSend) {
  // A discovery that names a wrong clock, then a reboot, then a new engine id: each time the
  // agent's report is learnt from and the request goes out once more, in both modes.
  for (const int timeout : {0, 5}) {
    TSnmpMgr m;
    Wire(m);
    Use(m, "kestrel", {"authPriv", "SHA-256", "AES", 3});
    m.SetTimeout(timeout);
    const std::string mode = timeout == 0 ? "asynchronous" : "blocking";
    auto get = [&](int id) {
      const size_t before = answers.size();
      Ask(m, {"1.3.6.1.2.1.1.5.0"}, id);
      m.SendGetRequest();
      return WaitFor([&] { return answers.size() == before + 1; }) &&
             answers.back().RequestId == id;
    };
    // The unsigned clock of the engine discovery is not taken: the signed clock probe gives
    // the agent's real one, and the request goes out once.
    script.SetDiscoveryClockOffset(5000);
    int requests = script.Requests();
    const int clockProbes = script.ClockProbes();
    ASSERT_TRUE(get(1)) << mode;
    EXPECT_EQ(script.Requests() - requests, 1) << mode;
    EXPECT_EQ(script.ClockProbes() - clockProbes, 1) << mode;
    EXPECT_EQ(m.RemoteEngineTime() / 1000, script.Time() / 1000) << mode;
    script.SetDiscoveryClockOffset(0);

    script.Reboot();
    requests = script.Requests();
    ASSERT_TRUE(get(2)) << mode;
    EXPECT_EQ(script.Requests() - requests, 2) << mode;
    EXPECT_EQ(m.RemoteEngineBoots(), script.Boots()) << mode;

    const std::string other("\x80\x00\x1F\x88\x04replaced", 13);
    script.SetEngineId(other);
    requests = script.Requests();
    ASSERT_TRUE(get(3)) << mode;
    EXPECT_EQ(m.RemoteEngineId(), other) << mode;
    EXPECT_EQ(script.Requests() - requests, 1) << mode << ": the first went to the old engine";
    EXPECT_TRUE(errors.empty()) << mode << ": " << (errors.empty() ? "" : errors[0].second);
    script.SetEngineId(kEngineId);
  }
}

// Unsigned reports for a request in flight, as someone who saw it could send them: an unknown
// user (it ended the session), a clock at the end of boots (it stalled every request and made
// authentic answers look replayed), another engine (it sent the requests to nobody). From
// another address they are dropped; from the agent's they may cost one more send or one
// discovery, but the request is answered and the engine and clock stay the agent's.
TEST_F(SnmpMgrUsmTest, UnsignedReportsForARequestNeitherEndItNorMoveTheClock) {
  testing::LoopbackPeer elsewhere;
  ASSERT_TRUE(elsewhere.ok());
  ASSERT_TRUE(GetOnce(mgr, 1));
  const std::string forgedEngine("\x80\x00\x1F\x88\x04forged!!", 13);
  struct Case {
    const char* name;
    int counter;
    const std::string* engineId;
    int32_t boots;
  };
  const Case cases[] = {{"unknown user", 3, &kEngineId, 0},
                        {"boots at their end", 2, &kEngineId, 0x7FFFFFFF},
                        {"another engine", 4, &forgedEngine, 1}};
  int requestId = 10;
  for (const bool fromAgent : {false, true}) {
    for (const Case& c : cases) {
      const std::string label = std::string(c.name) + (fromAgent ? " from the agent" : "");
      errors.clear();
      const std::string dropped = mgr.Config("DroppedPackets");
      const size_t logged = agent.Log().size();
      agent.SetDelayMs(300);  // the request stays in flight while the report comes
      Ask(mgr, {"1.3.6.1.2.1.1.5.0"}, ++requestId);
      mgr.SendGetRequest();
      ASSERT_TRUE(WaitFor([&] { return agent.Log().size() > logged; })) << label;
      const std::string asked = agent.Log().back().Packet;
      TSnmpMessage request;
      TObjectTable objects;
      ASSERT_EQ(ParseMessage(reinterpret_cast<const uint8_t*>(asked.data()), asked.size(), request,
                             objects),
                0);
      const std::string report = TUsmAgentScript::UnsignedReport(
          *c.engineId, "kestrel", request.MsgId, c.counter, c.boots, 1000);
      if (fromAgent)
        agent.SendTo(report, "127.0.0.1", mgr.LocalPort());
      else
        elsewhere.SendTo(report, mgr.LocalPort());
      agent.SetDelayMs(0);
      ASSERT_TRUE(WaitFor([&] {
        return std::any_of(answers.begin(), answers.end(),
                           [&](const TAnswer& a) { return a.RequestId == requestId; });
      })) << label;
      EXPECT_TRUE(errors.empty()) << label << ": " << (errors.empty() ? "" : errors[0].second);
      EXPECT_EQ(mgr.RemoteEngineId(), kEngineId) << label;
      EXPECT_EQ(mgr.RemoteEngineBoots(), script.Boots()) << label;
      if (!fromAgent) {
        EXPECT_NE(mgr.Config("DroppedPackets"), dropped) << label;
      }
      // Authentic answers still pass.
      ASSERT_TRUE(GetOnce(mgr, ++requestId)) << label;
    }
  }
}

// The component reads the clock it is given: the agent's time a request carries moves with it.
TEST_F(SnmpMgrUsmTest, TheAgentsClockRunsOnTheInjectedClock) {
  int64_t nowMs = 5'000'000;
  mgr.SetClock([&] { return nowMs; });
  ASSERT_TRUE(GetOnce(mgr, 1));
  auto lastTime = [&] {
    const std::string packet = agent.Log().back().Packet;
    TSnmpMessage msg;
    TObjectTable objects;
    EXPECT_EQ(
        ParseMessage(reinterpret_cast<const uint8_t*>(packet.data()), packet.size(), msg, objects),
        0);
    return msg.EngineTime;
  };
  const int32_t first = lastTime();
  EXPECT_EQ(mgr.RemoteEngineTime(), first);
  nowMs += 100'000;  // 100 s pass on the given clock, none on the agent's
  ASSERT_TRUE(GetOnce(mgr, 2));
  EXPECT_EQ(lastTime(), first + 100);
}

TEST_F(SnmpMgrUsmTest, AClockThatCannotBeFollowedIsAnError) {
  ASSERT_TRUE(GetOnce(mgr, 1));
  script.SetNeverInTime(true);
  const int requests = script.Requests();
  Ask(mgr, {"1.3.6.1.2.1.1.5.0"}, 2);
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
  Serve(100);
  const std::string text =
      "SNMP V3 report: not in time window, the agent's clock could not be followed "
      "(usmStatsNotInTimeWindows).";
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], std::make_pair(324, text));
  EXPECT_EQ(script.Requests() - requests, 2) << "sent once more, and no more";

  mgr.SetTimeout(5);
  Ask(mgr, {"1.3.6.1.2.1.1.5.0"}, 3);
  EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }), "324: " + text);
}

TEST_F(SnmpMgrUsmTest, UsmReportsAreErrorsOfTheirOwn) {
  struct Case {
    const char* name;
    std::function<void(TSnmpMgr&)> setup;
    int code;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"unknown user", [](TSnmpMgr& m) { m.SetUser("stranger"); }, 325,
       "SNMP V3 report: unknown user name (usmStatsUnknownUserNames)."},
      {"wrong authentication password",
       [](TSnmpMgr& m) { m.Config("AuthPassword=not-the-password"); }, 327,
       "SNMP V3 report: wrong digest, check the authentication protocol and password "
       "(usmStatsWrongDigests)."},
      {"wrong authentication protocol", [](TSnmpMgr& m) { m.Config("AuthType=SHA-512"); }, 327,
       "SNMP V3 report: wrong digest, check the authentication protocol and password "
       "(usmStatsWrongDigests)."},
      {"wrong privacy password", [](TSnmpMgr& m) { m.Config("PrivPassword=not-the-password"); },
       328,
       "SNMP V3 report: decryption error, check the privacy protocol and password "
       "(usmStatsDecryptionErrors)."},
      {"level the user does not have",
       [this](TSnmpMgr& m) {
         script.AddUser("plain", {kAuthNoPriv, kAuthSha1, "auth-plain-pass", kPrivNone, ""});
         m.SetUser("plain");
         m.Config("AuthType=SHA");
         m.Config("AuthPassword=auth-plain-pass");
       },
       323,
       "SNMP V3 report: unsupported security level for this user "
       "(usmStatsUnsupportedSecLevels)."},
  };
  for (const Case& c : cases) {
    for (const int timeout : {0, 5}) {
      TSnmpMgr m;
      Wire(m);
      Use(m, "kestrel", {"authPriv", "SHA-256", "AES", 3});
      c.setup(m);
      m.SetTimeout(timeout);
      errors.clear();
      answers.clear();
      Ask(m, {"1.3.6.1.2.1.1.5.0"}, 9);
      if (timeout == 0) {
        m.SendGetRequest();
        ASSERT_TRUE(WaitFor([&] { return !errors.empty(); })) << c.name;
        Serve(100);
        ASSERT_EQ(errors.size(), 1u) << c.name;
        EXPECT_EQ(errors[0], std::make_pair(c.code, c.text)) << c.name;
      } else {
        EXPECT_EQ(ErrorOf([&] { m.SendGetRequest(); }), std::to_string(c.code) + ": " + c.text)
            << c.name;
      }
      EXPECT_TRUE(answers.empty()) << c.name;
    }
  }
}

TEST_F(SnmpMgrUsmTest, ReplayedAnswersOutsideTheWindowAreRefused) {
  ASSERT_TRUE(GetOnce(mgr, 1));
  const int port = mgr.LocalPort();
  const int32_t boots = script.Boots();
  const int32_t now = script.Time();
  struct Case {
    const char* name;
    int32_t boots;
    int32_t time;
    bool accepted;
  };
  for (const Case& c : {Case{"now", boots, now, true}, Case{"200 s ago", boots, now - 200, false},
                        Case{"a boot ago", boots - 1, now, false}}) {
    errors.clear();
    answers.clear();
    agent.SendTo(script.ResponseAt("kestrel", c.boots, c.time, 4242, 77), "127.0.0.1", port);
    Serve(200);
    EXPECT_EQ(answers.size(), c.accepted ? 1u : 0u) << c.name;
    if (!c.accepted) {
      ASSERT_EQ(errors.size(), 1u) << c.name;
      EXPECT_EQ(errors[0], std::make_pair(320, std::string("Invalid packet timing parameters. "
                                                           "Packet ignored.")));
    }
  }
}

TEST_F(SnmpMgrUsmTest, AlteredAnswersAreRefused) {
  ASSERT_TRUE(GetOnce(mgr, 1));
  // Where to flip one bit of an answer: in its digest, its encrypted PDU, its message id.
  struct Case {
    const char* name;
    std::function<size_t(const TSnmpMessage&)> where;
  };
  const std::vector<Case> cases = {
      {"digest", [](const TSnmpMessage& m) { return m.AuthParamsOffset + 3; }},
      {"ciphertext", [](const TSnmpMessage& m) { return m.EncryptedOffset + m.EncryptedSize / 2; }},
      // 30 82 hh ll, 02 01 03, then the header 30 ll 02 ll and the message id's first octet.
      {"message id", [](const TSnmpMessage&) { return size_t{11}; }},
  };
  for (const Case& c : cases) {
    script.SetTamper([&](std::string& bytes) {
      TSnmpMessage parsed;
      TObjectTable objects;
      if (ParseMessage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), parsed,
                       objects) != 0 ||
          parsed.PduType == kPduReport)
        return;
      bytes[c.where(parsed)] ^= 0x10;
    });
    errors.clear();
    answers.clear();
    Ask(mgr, {"1.3.6.1.2.1.1.5.0"}, 2);
    mgr.SendGetRequest();
    ASSERT_TRUE(WaitFor([&] { return errors.size() >= 2; })) << c.name;
    Serve(100);
    EXPECT_TRUE(answers.empty()) << c.name;
    EXPECT_EQ(errors[0].first, 308) << c.name;
    EXPECT_EQ(errors[1], std::make_pair(320, std::string("Malformed packet. Ignored.")));
  }
  // A blocking send fails with the code (another message id would not be its answer at all).
  script.SetTamper([](std::string& bytes) {
    TSnmpMessage parsed;
    TObjectTable objects;
    if (ParseMessage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), parsed,
                     objects) == 0)
      bytes[parsed.AuthParamsOffset] ^= 0x01;
  });
  mgr.SetTimeout(5);
  Ask(mgr, {"1.3.6.1.2.1.1.5.0"}, 3);
  EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }),
            "308: User authentication failed (signature of incoming packet could not be verified "
            "with the local user credentials).");
  script.SetTamper(nullptr);
}

TEST_F(SnmpMgrUsmTest, TheSameRemoteKeepsWhatWasLearntOfItsEngine) {
  ASSERT_TRUE(GetOnce(mgr, 1));
  EXPECT_EQ(script.Probes(), 1);
  // The engine sets host and port before every request.
  mgr.SetRemoteHost("127.0.0.1");
  mgr.SetRemotePort(agent.port());
  EXPECT_EQ(mgr.RemoteEngineId(), kEngineId);
  ASSERT_TRUE(GetOnce(mgr, 2));
  EXPECT_EQ(script.Probes(), 1);
  // Another agent forgets it, and the way back discovers it again.
  mgr.SetRemotePort(agent.port() + 1);
  EXPECT_EQ(mgr.RemoteEngineId(), "");
  mgr.SetRemotePort(agent.port());
  ASSERT_TRUE(GetOnce(mgr, 3));
  EXPECT_EQ(script.Probes(), 2);
  EXPECT_TRUE(errors.empty());
}

TEST(SnmpMgrUsmSettings, NamesPasswordsAndWhatResetKeeps) {
  TSnmpMgr mgr;
  EXPECT_EQ(mgr.Config("SecurityLevel"), "noAuthNoPriv");
  EXPECT_EQ(mgr.Config("AuthType"), "MD5");
  EXPECT_EQ(mgr.Config("PrivType"), "DES");
  mgr.Config("securitylevel=AUTHPRIV");
  mgr.Config("AuthType=sha-384");
  mgr.Config("PrivType=AES-192");
  mgr.Config("ContextName=bridge1");
  mgr.Config("AuthPassword=secret-one");
  EXPECT_EQ(mgr.Config("SecurityLevel"), "authPriv");
  EXPECT_EQ(mgr.Config("AuthType"), "SHA-384");
  EXPECT_EQ(mgr.Config("PrivType"), "AES-192");
  EXPECT_EQ(mgr.Config("AuthPassword"), "") << "passwords are not read back";
  struct Case {
    std::string setting;
    std::string error;
  };
  const std::vector<Case> refused = {
      {"SecurityLevel=secret",
       "314: Unknown security level (noAuthNoPriv, authNoPriv or authPriv)."},
      {"AuthType=SHA-1024",
       "314: Unknown authentication protocol (MD5, SHA, SHA-224, SHA-256, SHA-384 or SHA-512)."},
      {"PrivType=3DES", "314: Unknown privacy protocol (DES, AES, AES-192 or AES-256)."},
      {"AuthPassword=short", "315: Password must be at least 8 characters."},
      {"PrivPassword=1234567", "315: Password must be at least 8 characters."},
  };
  for (const Case& c : refused) EXPECT_EQ(ErrorOf([&] { mgr.Config(c.setting); }), c.error);
  EXPECT_EQ(mgr.Config("SecurityLevel"), "authPriv") << "a refused value changes nothing";
  mgr.Reset();
  EXPECT_EQ(mgr.Config("SecurityLevel"), "authPriv");
  EXPECT_EQ(mgr.Config("AuthType"), "SHA-384");
  EXPECT_EQ(mgr.Config("ContextName"), "bridge1");

  // A level without the passwords it needs fails before anything is sent.
  mgr.SetSNMPVersion(3);
  mgr.SetLocalPort(0);
  mgr.SetRemoteHost("127.0.0.1");
  mgr.SetTimeout(0);
  mgr.SetObjCount(1);
  mgr.SetObjId(1, "1.3.6.1.2.1.1.5.0");
  EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }),
            "317: The security level needs a privacy password.");
  mgr.Config("AuthPassword=");
  mgr.Config("SecurityLevel=authNoPriv");
  EXPECT_EQ(ErrorOf([&] { mgr.SendGetRequest(); }),
            "317: The security level needs an authentication password.");
}

TEST_F(SnmpMgrUsmTest, PasswordsAndKeysShowNowhere) {
  // A session with right and wrong passwords, blocking and asynchronous, reports and errors.
  ASSERT_TRUE(GetOnce(mgr, 1));
  mgr.Config("PrivPassword=wrong-priv-pass");
  Ask(mgr, {"1.3.6.1.2.1.1.5.0"}, 2);
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
  mgr.Config("AuthPassword=wrong-auth-pass");
  mgr.SetTimeout(2);
  std::vector<std::string> thrown;
  Ask(mgr, {"1.3.6.1.2.1.1.5.0"}, 3);
  thrown.push_back(ErrorOf([&] { mgr.SendGetRequest(); }));
  thrown.push_back(ErrorOf([&] { mgr.Config("AuthPassword=1234"); }));
  ASSERT_FALSE(texts.empty());
  ASSERT_FALSE(packets.empty());
  std::vector<std::string> secrets = {"auth-kestrel-pass", "priv-kestrel-pass", "wrong-priv-pass",
                                      "wrong-auth-pass"};
  secrets.push_back(LocalizeKey(kAuthSha256, "auth-kestrel-pass", kEngineId));
  secrets.push_back(LocalizePrivKey(kAuthSha256, kPrivAes128, "priv-kestrel-pass", kEngineId));
  for (const std::string& secret : secrets) {
    for (const std::vector<std::string>* list : {&texts, &packets, &thrown}) {
      for (const std::string& text : *list)
        EXPECT_EQ(text.find(secret), std::string::npos) << "a secret in: " << text;
    }
    EXPECT_NE(mgr.Config("AuthPassword"), secret);
  }
}

}  // namespace
}  // namespace kestrava
