// The codec against real peers on 127.0.0.1: the requests net-snmp's tools send, the responses
// a real snmpd returns (read from the tools' -d dumps), and pysnmp as a second codec in both
// directions.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "snmp/codec.h"
#include "snmp/usm.h"
#include "tests/snmp/codec_test_util.h"
#include "tests/support/snmpd_process.h"

namespace kestrava {
namespace {

using testing::Hex;
using testing::RunCommand;
using testing::ToHex;

struct DumpedPacket {
  bool sent = false;
  std::vector<uint8_t> bytes;
};

// The packets of a net-snmp tool's -d output: "Sending N bytes ..." or "Received N byte
// packet ..." followed by "0000: 30 37 02 01  ..." lines up to a blank line.
std::vector<DumpedPacket> ReadDump(const std::string& output) {
  std::vector<DumpedPacket> packets;
  std::istringstream in(output);
  std::string line;
  DumpedPacket* current = nullptr;
  while (std::getline(in, line)) {
    if (line.rfind("Sending ", 0) == 0 || line.rfind("Received ", 0) == 0) {
      packets.push_back({line[0] == 'S', {}});
      current = &packets.back();
    } else if (current && line.size() > 6 && line[4] == ':') {
      // Hex columns end where the printable column starts (after 16 bytes of "XX ").
      const std::string hex = line.substr(6, 52);
      for (const uint8_t b : Hex(hex)) current->bytes.push_back(b);
    } else if (line.empty()) {
      current = nullptr;
    }
  }
  return packets;
}

struct Binding {
  std::string oid;
  int32_t type;
  std::string value;
};

std::vector<Binding> Bindings(const TObjectTable& objects) {
  std::vector<Binding> list;
  for (int i = 1; i <= objects.Count(); ++i) {
    list.push_back({objects.At(i).Id.str(), objects.At(i).Type, objects.At(i).Value.str()});
  }
  return list;
}

class CodecPeer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/kestrava-codec-peer-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    s_dir = pattern;
    // A pass-through script lets the agent serve a string with zero octets in it.
    const std::string script = s_dir + "/zeros.sh";
    std::ofstream(script)
        << "#!/bin/sh\n"
           "if [ \"$1\" = \"-g\" ] && [ \"$2\" = \".1.3.6.1.4.1.8072.9999.1.0\" ]; "
           "then echo \"$2\"; echo octet; echo \"41 00 42 00 00 43\"; fi\n";
    chmod(script.c_str(), 0755);
    s_agent = new testing::SnmpdProcess("pass .1.3.6.1.4.1.8072.9999 /bin/sh " + script + "\n");
  }
  static void TearDownTestSuite() {
    delete s_agent;
    s_agent = nullptr;
    RunCommand("rm -rf '" + s_dir + "'");
  }
  void SetUp() override { ASSERT_TRUE(s_agent->ok()) << s_agent->error(); }

  // Runs a net-snmp tool with -d against the agent and returns its dump and printed output.
  static std::string Tool(const std::string& tool, const std::string& args) {
    return RunCommand("/usr/bin/" + tool + " -d -r 0 -t 3 " + args + " " + s_agent->peer() + " " +
                      s_oids + " 2>&1");
  }

  static testing::SnmpdProcess* s_agent;
  static std::string s_dir;
  static std::string s_oids;
};

testing::SnmpdProcess* CodecPeer::s_agent = nullptr;
std::string CodecPeer::s_dir;
std::string CodecPeer::s_oids;

struct RequestCase {
  std::string tool;
  std::string version;  // net-snmp's -v
  int32_t wireVersion;
  int action;
  int oidCount;
};

TEST_F(CodecPeer, RequestsMatchWhatNetSnmpSends) {
  const std::vector<RequestCase> cases = {
      {"snmpget", "1", kSnmpV1, kActionGetRequest, 1},
      {"snmpget", "2c", kSnmpV2c, kActionGetRequest, 1},
      {"snmpget", "2c", kSnmpV2c, kActionGetRequest, 2},
      {"snmpgetnext", "1", kSnmpV1, kActionGetNextRequest, 1},
      {"snmpgetnext", "2c", kSnmpV2c, kActionGetNextRequest, 3},
      {"snmpget", "2c", kSnmpV2c, kActionGetRequest, 15},
      {"snmpgetnext", "1", kSnmpV1, kActionGetNextRequest, 15},
      {"snmpbulkget", "2c", kSnmpV2c, kActionGetBulkRequest, 2},
  };
  for (const RequestCase& c : cases) {
    std::vector<std::string> oids;
    s_oids.clear();
    for (int i = 1; i <= c.oidCount; ++i) {
      oids.push_back(c.oidCount == 1 ? "1.3.6.1.2.1.1.3.0"
                                     : "1.3.6.1.2.1.2.2.1.10." + std::to_string(i));
      s_oids += oids.back() + " ";
    }
    const auto packets = ReadDump(Tool(c.tool, "-v " + c.version + " -c cobalt"));
    ASSERT_FALSE(packets.empty()) << c.tool;
    ASSERT_TRUE(packets[0].sent);
    const std::vector<uint8_t>& theirs = packets[0].bytes;

    // Their request-id is random: read it, then build the same request with it.
    TSnmpMessage parsed;
    TObjectTable parsedObjects;
    ASSERT_EQ(ParseMessage(theirs.data(), theirs.size(), parsed, parsedObjects), 0);
    TSnmpMessage msg;
    msg.Reset();
    msg.Version = c.wireVersion;
    msg.Community.assign("cobalt");
    msg.RequestId = parsed.RequestId;
    msg.NonRepeaters = parsed.NonRepeaters;  // GetBulk only: snmpbulkget's defaults
    msg.MaxRepetitions = parsed.MaxRepetitions;
    TObjectTable objects;
    objects.SetCount(c.oidCount);
    for (int i = 1; i <= c.oidCount; ++i) {
      objects.At(i).Id.assign(oids[i - 1]);
      // Whatever the table holds, the request asks with NULL values, as net-snmp's does.
      objects.At(i).Type = kTagOctetString;
      objects.At(i).Value.assign("left over");
    }
    TByteBuffer ours;
    std::string error;
    ASSERT_EQ(BuildMessage(c.action, msg, objects, ours, error), 0);

    const std::string label = c.tool + " -v" + c.version + " x" + std::to_string(c.oidCount);
    if (c.oidCount < 15) {
      EXPECT_EQ(ToHex(ours), ToHex(theirs)) << label;
    } else {
      // Here the binding list is 128..255 octets long: net-snmp writes its length as 81 F0,
      // while a SEQUENCE of ours always takes 82 00 F0. That octet makes the PDU 256 long, so
      // it takes 82 01 00 where net-snmp's takes 81 FF. The content must agree.
      EXPECT_NE(ToHex(theirs).find("30 81 F0"), std::string::npos) << label;
      EXPECT_NE(ToHex(ours).find("30 82 00 F0"), std::string::npos) << label;
      EXPECT_EQ(ours.size(), theirs.size() + 2) << label;
      TSnmpMessage again;
      TObjectTable againObjects;
      ASSERT_EQ(ParseMessage(ours.data(), ours.size(), again, againObjects), 0);
      EXPECT_EQ(again.Version, parsed.Version);
      EXPECT_EQ(again.Community.view(), parsed.Community.view());
      EXPECT_EQ(again.PduType, parsed.PduType);
      EXPECT_EQ(again.RequestId, parsed.RequestId);
      const auto a = Bindings(againObjects), b = Bindings(parsedObjects);
      ASSERT_EQ(a.size(), b.size());
      for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].oid, b[i].oid);
        EXPECT_EQ(a[i].type, b[i].type);
      }
    }
  }
}

// net-snmp's printed value (-On -OQ -Ot -Oe -Ox) in our rendering's terms.
std::string ExpectedRendering(int32_t type, const std::string& printed) {
  if (type == kTagOctetString || type == kTagOpaque) {
    const auto bytes = Hex(printed);
    return std::string(bytes.begin(), bytes.end());
  }
  if (type == kTagOid && !printed.empty() && printed[0] == '.') return printed.substr(1);
  if (printed.size() >= 2 && printed.front() == '"' && printed.back() == '"') {
    return printed.substr(1, printed.size() - 2);
  }
  return printed;
}

// "OID = value" lines; a line that does not start with "." continues the previous value.
std::vector<std::pair<std::string, std::string>> PrintedValues(const std::string& output) {
  std::vector<std::pair<std::string, std::string>> values;
  std::istringstream in(output);
  std::string line;
  bool inDump = false;
  while (std::getline(in, line)) {
    if (line.rfind("Sending ", 0) == 0 || line.rfind("Received ", 0) == 0) {
      inDump = true;
      continue;
    }
    if (inDump) {
      if (line.empty()) inDump = false;
      continue;
    }
    const size_t eq = line.find(" = ");
    if (!line.empty() && line[0] == '.' && eq != std::string::npos) {
      values.emplace_back(line.substr(1, eq - 1), line.substr(eq + 3));
    } else if (!values.empty() && !line.empty()) {
      values.back().second += " " + line;
    }
  }
  for (auto& [oid, value] : values) {
    while (!value.empty() && value.back() == ' ') value.pop_back();
  }
  return values;
}

TEST_F(CodecPeer, AgentResponsesParseToWhatNetSnmpPrints) {
  struct WalkCase {
    std::string tool;
    std::string oids;
    size_t minimumValues;
  };
  const std::vector<WalkCase> cases = {
      {"snmpwalk", "1.3.6.1.2.1.2.2", 10},  // the interface table, one get-next per value
      {"snmpget", "1.3.6.1.2.1.1.3.0 1.3.6.1.4.1.8072.9999.1.0 1.3.6.1.2.1.1.5.0", 3},
      {"snmpget", "1.3.6.1.2.1.1.99.0", 1},  // noSuchObject
  };
  for (const WalkCase& c : cases) {
    for (const std::string version : {"1", "2c"}) {
      if (version == "1" && c.oids == "1.3.6.1.2.1.1.99.0") continue;  // v1 answers noSuchName
      s_oids = c.oids;
      const std::string output = Tool(c.tool, "-v " + version + " -c cobalt -On -OQ -Ot -Oe -Ox");
      // Every binding of every response the agent sent, in order.
      std::map<std::string, Binding> received;
      for (const DumpedPacket& packet : ReadDump(output)) {
        if (packet.sent) continue;
        TSnmpMessage msg;
        TObjectTable objects;
        ASSERT_EQ(ParseMessage(packet.bytes.data(), packet.bytes.size(), msg, objects), 0);
        EXPECT_EQ(msg.PduType, kPduResponse);
        EXPECT_EQ(msg.Community.view(), "cobalt");
        for (const Binding& b : Bindings(objects)) received[b.oid] = b;
      }
      const auto printed = PrintedValues(output);
      ASSERT_GE(printed.size(), c.minimumValues) << c.tool << " " << c.oids << "\n" << output;
      for (const auto& [oid, value] : printed) {
        ASSERT_TRUE(received.count(oid)) << oid;
        const Binding& b = received[oid];
        if (b.type >= kTagNoSuchObject) {
          EXPECT_NE(value.find(b.type == kTagNoSuchObject ? "No Such Object" : "No Such"),
                    std::string::npos)
              << oid << ": " << value;
          EXPECT_EQ(b.value.rfind("error: ", 0), 0u);
          continue;
        }
        EXPECT_EQ(b.value, ExpectedRendering(b.type, value)) << oid << " type " << b.type;
      }
      if (c.oids.find("8072.9999") != std::string::npos) {
        const Binding& zeros = received["1.3.6.1.4.1.8072.9999.1.0"];
        EXPECT_EQ(zeros.value, std::string("A\0B\0\0C", 6));
      }
    }
  }
}

// pysnmp's view of a message, in the lines its helper prints.
std::vector<std::string> PysnmpDecode(const TByteBuffer& message) {
  std::string hex = ToHex(message);
  hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
  const std::string output = RunCommand("/usr/bin/python3 " KESTRAVA_SOURCE_DIR
                                        "/tests/snmp/codec_pysnmp_peer.py decode " +
                                        hex + " 2>&1");
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string HexText(const std::string& bytes) {
  std::string hex = ToHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
  for (char& ch : hex) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return hex;
}

TEST(CodecPysnmp, PysnmpDecodesOurMessages) {
  struct Value {
    int32_t type;
    std::string text;
    std::string pysnmpType;
    std::string pysnmpValue;
  };
  const std::vector<Value> values = {
      {kTagInteger, "-5", "Integer", "-5"},
      {kTagInteger, "2147483647", "Integer", "2147483647"},
      {kTagCounter32, "4000000000", "Counter32", "4000000000"},
      {kTagGauge32, "7", "Gauge32", "7"},
      {kTagTimeTicks, "360000", "TimeTicks", "360000"},
      {kTagCounter64, "18446744073709551615", "Counter64", "18446744073709551615"},
      {kTagOctetString, std::string("A\0B\0\0C", 6), "OctetString", "410042000043"},
      {kTagOctetString, std::string(300, 'x'), "OctetString", HexText(std::string(300, 'x'))},
      {kTagIpAddress, "10.20.30.40", "IpAddress", "10.20.30.40"},
      {kTagOid, "1.3.6.1.4.1.311", "ObjectIdentifier", "1.3.6.1.4.1.311"},
      {kTagNull, "", "Null", ""},
      {kTagNoSuchObject, "", "NoSuchObject", ""},
      {kTagEndOfMibView, "", "EndOfMibView", ""},
  };
  TSnmpMessage msg;
  msg.Version = kSnmpV2c;
  msg.Community.assign("cobalt");
  msg.RequestId = 1234567;
  msg.ErrorStatus = 0;
  msg.ErrorIndex = 0;
  TObjectTable objects;
  objects.SetCount(static_cast<int>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) {
    TSnmpObject& object = objects.At(static_cast<int>(i + 1));
    object.Id.assign("1.3.6.1.4.1.8072.9999." + std::to_string(i + 1));
    object.Type = values[i].type;
    object.Value.assign(values[i].text);
  }
  TByteBuffer out;
  std::string error;
  ASSERT_EQ(BuildMessage(kActionResponse, msg, objects, out, error), 0);
  // Integer32 shows as "Integer" in pysnmp's class names.
  const auto lines = PysnmpDecode(out);
  ASSERT_EQ(lines.size(), 6 + values.size()) << ToHex(out);
  EXPECT_EQ(lines[0], "1");
  EXPECT_EQ(lines[1], "cobalt");
  EXPECT_EQ(lines[2], "A2");
  EXPECT_EQ(lines[3], "1234567");
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string want = "1.3.6.1.4.1.8072.9999." + std::to_string(i + 1) + "|" +
                             values[i].pysnmpType + "|" + values[i].pysnmpValue;
    EXPECT_EQ(lines[6 + i].substr(0, want.size()), want);
    EXPECT_EQ(lines[6 + i].size(), want.size()) << lines[6 + i];
  }

  // And a get-next request as the engine prepares it (the table's values left empty as OCTET
  // STRING), in SNMPv1: it asks with NULL values.
  TSnmpMessage request;
  request.Reset();
  request.Version = kSnmpV1;
  request.Community.assign("cobalt");
  request.RequestId = 77;
  TObjectTable asked;
  asked.SetCount(2);
  asked.At(1).Id.assign("1.3.6.1.2.1.2.2.1.2");
  asked.At(2).Id.assign("1.3.6.1.2.1.2.2.1.10");
  ASSERT_EQ(BuildMessage(kActionGetNextRequest, request, asked, out, error), 0);
  const auto requestLines = PysnmpDecode(out);
  ASSERT_EQ(requestLines.size(), 8u);
  EXPECT_EQ(requestLines[0], "0");
  EXPECT_EQ(requestLines[2], "A1");
  EXPECT_EQ(requestLines[3], "77");
  EXPECT_EQ(requestLines[6], "1.3.6.1.2.1.2.2.1.2|Null|");
  EXPECT_EQ(requestLines[7], "1.3.6.1.2.1.2.2.1.10|Null|");
}

TEST(CodecPysnmp, WeDecodePysnmpMessages) {
  std::string hex =
      RunCommand("/usr/bin/python3 " KESTRAVA_SOURCE_DIR "/tests/snmp/codec_pysnmp_peer.py encode");
  const auto bytes = Hex(hex);
  ASSERT_GT(bytes.size(), 300u) << hex;
  TSnmpMessage msg;
  TObjectTable objects;
  ASSERT_EQ(ParseMessage(bytes.data(), bytes.size(), msg, objects), 0);
  EXPECT_EQ(msg.Version, kSnmpV2c);
  EXPECT_EQ(msg.Community.view(), "cobalt");
  EXPECT_EQ(msg.PduType, kPduResponse);
  EXPECT_EQ(msg.RequestId, 4321);
  const std::vector<std::pair<int32_t, std::string>> want = {
      {kTagInteger, "-5"},
      {kTagInteger, "2147483647"},
      {kTagCounter32, "4000000000"},
      {kTagGauge32, "7"},
      {kTagTimeTicks, "360000"},
      {kTagCounter64, "18446744073709551615"},
      {kTagOctetString, std::string("A\0B\0\0C", 6)},
      {kTagIpAddress, "10.20.30.40"},
      {kTagOid, "1.3.6.1.4.1.311"},
      {kTagOpaque, "\x9f\x78\x04"},
      {kTagNoSuchObject, "error: noSuchObject"},
      {kTagNoSuchInstance, "error: noSuchInstance"},
      {kTagEndOfMibView, "error: endOfMibView"},
      {kTagOctetString, std::string(300, 'x')},
  };
  ASSERT_EQ(objects.Count(), static_cast<int>(want.size()));
  for (size_t i = 0; i < want.size(); ++i) {
    const TSnmpObject& object = objects.At(static_cast<int>(i + 1));
    EXPECT_EQ(object.Id.view(), "1.3.6.1.4.1.8072.9999." + std::to_string(i + 1));
    EXPECT_EQ(object.Type, want[i].first) << i;
    EXPECT_EQ(object.Value.view(), want[i].second) << i;
  }
}

// ---- SNMPv3: pysnmp's own security modules as the second implementation

std::vector<std::string> RunPeer(const std::string& arguments) {
  const std::string output =
      RunCommand("/usr/bin/python3 " KESTRAVA_SOURCE_DIR "/tests/snmp/codec_pysnmp_peer.py " +
                 arguments + " 2>&1");
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct V3Pair {
  int auth;
  int priv;  // kPrivNone: authNoPriv
};
const V3Pair kV3Pairs[] = {
    {kAuthMd5, kPrivDes},       {kAuthSha1, kPrivAes128},   {kAuthSha224, kPrivAes192},
    {kAuthSha256, kPrivAes128}, {kAuthSha384, kPrivAes256}, {kAuthSha512, kPrivAes256},
    {kAuthMd5, kPrivAes256},    {kAuthSha1, kPrivAes192},   {kAuthSha256, kPrivNone},
    {kAuthSha512, kPrivDes},
};

std::string PeerName(int priv) {
  return priv == kPrivNone ? "-" : PrivProtocolName(priv);
}

TEST(CodecPysnmp, PysnmpChecksAndDecryptsOurMessages) {
  const std::string engine("\x80\x00\x1F\x88\x04kestrava", 13);
  for (const V3Pair& pair : kV3Pairs) {
    const std::string label = std::string(AuthProtocolName(pair.auth)) + "/" + PeerName(pair.priv);
    TUsmKeys keys;
    ASSERT_TRUE(keys.Prepare(pair.auth, LocalizeKey(pair.auth, "auth-password", engine), pair.priv,
                             LocalizePrivKey(pair.auth, pair.priv, "priv-password", engine)));
    TUsmCredentials user;
    user.User = "kestrel";
    user.EngineId = engine;
    user.ContextName = "bridge1";
    user.ClockKnown = true;
    user.EngineBoots = 12;
    user.EngineTime = 345678;
    user.Salt = 0x0102030405060708ull;
    user.Keys = &keys;
    TSnmpMessage msg;
    msg.Reset();
    msg.Version = kSnmpV3;
    msg.RequestId = 98765;
    msg.MsgId = 4321;
    TObjectTable objects;
    objects.SetCount(15);
    for (int i = 1; i <= 15; ++i)
      objects.At(i).Id.assign("1.3.6.1.2.1.2.2.1.10." + std::to_string(i));
    TByteBuffer out;
    std::string error;
    ASSERT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, error, &user), 0) << label;
    std::string hex = ToHex(out);
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    const auto lines = RunPeer("v3decode " + hex + " " + AuthProtocolName(pair.auth) +
                               " auth-password " + PeerName(pair.priv) + " priv-password");
    ASSERT_EQ(lines.size(), 9u + 15u) << label << "\n" << (lines.empty() ? "" : lines.back());
    EXPECT_EQ(lines[0], "4321");
    EXPECT_EQ(lines[1], pair.priv == kPrivNone ? "5" : "7") << label;
    EXPECT_EQ(lines[2], "kestrel");
    EXPECT_EQ(lines[3], HexText(engine));
    EXPECT_EQ(lines[4], "12");
    EXPECT_EQ(lines[5], "345678");
    EXPECT_EQ(lines[6], "bridge1");
    EXPECT_EQ(lines[7], "A0");
    EXPECT_EQ(lines[8], "98765");
    EXPECT_EQ(lines[9], "1.3.6.1.2.1.2.2.1.10.1|Null|") << label;
    EXPECT_EQ(lines[23], "1.3.6.1.2.1.2.2.1.10.15|Null|") << label;
  }
}

TEST(CodecPysnmp, WeCheckAndDecryptPysnmpMessages) {
  const std::string engine("\x80\x00\x1F\x88\x04kestrava", 13);
  for (const V3Pair& pair : kV3Pairs) {
    const std::string label = std::string(AuthProtocolName(pair.auth)) + "/" + PeerName(pair.priv);
    const auto lines =
        RunPeer("v3encode " + HexText(engine) + " 7 1234 kestrel " + AuthProtocolName(pair.auth) +
                " auth-password " + PeerName(pair.priv) + " priv-password 77 4242");
    ASSERT_EQ(lines.size(), 1u) << label << "\n" << (lines.empty() ? "" : lines.back());
    const auto bytes = Hex(lines[0]);
    TSnmpMessage msg;
    TObjectTable objects;
    ASSERT_EQ(ParseMessage(bytes.data(), bytes.size(), msg, objects), 0) << label;
    EXPECT_EQ(msg.MsgId, 77);
    EXPECT_EQ(msg.UserName.view(), "kestrel");
    EXPECT_EQ(msg.AuthEngineId.view(), engine);
    EXPECT_EQ(msg.EngineBoots, 7);
    EXPECT_EQ(msg.EngineTime, 1234);
    TUsmKeys keys;
    ASSERT_TRUE(keys.Prepare(pair.auth, LocalizeKey(pair.auth, "auth-password", engine), pair.priv,
                             LocalizePrivKey(pair.auth, pair.priv, "priv-password", engine)));
    EXPECT_TRUE(
        keys.Verify(bytes.data(), bytes.size(), msg.AuthParamsOffset, msg.AuthParams.size()))
        << label;
    if (pair.priv != kPrivNone) {
      TByteBuffer plain;
      // pysnmp pads its AES plaintext to whole blocks: the pad behind the PDU is not read.
      ASSERT_EQ(DecryptScopedPdu(bytes.data(), bytes.size(), msg, objects, keys, plain), 0)
          << label;
    }
    EXPECT_EQ(msg.PduType, kPduResponse) << label;
    EXPECT_EQ(msg.RequestId, 4242);
    ASSERT_EQ(objects.Count(), 3) << label;
    EXPECT_EQ(objects.At(1).Type, kTagCounter32);
    EXPECT_EQ(objects.At(1).Value.view(), "3000000001");
    EXPECT_EQ(objects.At(2).Value.view(), std::string("eth0 \0 pysnmp", 13));
    EXPECT_EQ(objects.At(3).Value.view(), "1.3.6.1.4.1.8072.3.2.10");
    // A changed octet of pysnmp's digest fails here as well.
    auto altered = bytes;
    altered[msg.AuthParamsOffset] ^= 0x80;
    EXPECT_FALSE(
        keys.Verify(altered.data(), altered.size(), msg.AuthParamsOffset, msg.AuthParams.size()));
  }
}

}  // namespace
}  // namespace kestrava
