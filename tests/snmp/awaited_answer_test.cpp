// The one check of where an answer came from, and of the answer a blocking send waits for.
#include "snmp/awaited_answer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "snmp/codec.h"
#include "snmp/errors.h"

namespace kestrava {
namespace {

const TAnswerSource kAgent{"127.0.0.1", 161, "cobalt"};

TEST(AwaitedAnswer, SourcesAreCheckedAlike) {
  const struct {
    TAnswerSource got;
    int version;
    bool anyPort;
    const char* want;
  } cases[] = {
      {{"127.0.0.1", 161, "cobalt"}, kSnmpV2c, false, nullptr},
      {{"127.0.0.5", 161, "cobalt"}, kSnmpV2c, false, kTextOriginUnknown},
      {{"::1", 161, "cobalt"}, kSnmpV2c, false, kTextOriginUnknown},
      {{"127.0.0.1", 40000, "cobalt"}, kSnmpV1, false, kTextOriginUnknown},
      {{"127.0.0.1", 40000, "cobalt"}, kSnmpV1, true, nullptr},
      {{"127.0.0.1", 161, "public"}, kSnmpV2c, false, kTextCommunityMismatch},
      {{"127.0.0.1", 161, ""}, kSnmpV3, false, nullptr},  // SNMPv3 has no community
      {{"127.0.0.5", 161, ""}, kSnmpV3, false, kTextOriginUnknown},
  };
  for (const auto& c : cases) {
    const char* got = SourceMismatch(kAgent, c.got, c.version, c.anyPort);
    EXPECT_STREQ(got ? got : "", c.want ? c.want : "")
        << c.got.Address << ":" << c.got.Port << " " << c.got.Community;
  }
}

TEST(AwaitedAnswer, TheAwaitedRequestIsMatchedInOrder) {
  TAwaitedAnswer v2;
  v2.RequestId = 7;
  v2.Version = kSnmpV2c;
  v2.Community = "cobalt";
  TAwaitedAnswer v3;
  v3.MsgId = 11;
  v3.Version = kSnmpV3;
  v3.User = "kestrel";
  const std::string engine = "engine-a";
  const struct {
    const char* name;
    const TAwaitedAnswer* awaited;
    TAnswerSource got;
    std::function<void(TSnmpMessage&)> answer;
    const char* want;
  } cases[] = {
      {"v2c answer", &v2, kAgent, [](TSnmpMessage&) {}, nullptr},
      {"elsewhere first",
       &v2,
       {"127.0.0.5", 161, "public"},
       [](TSnmpMessage& m) { m.RequestId = 8; },
       kTextOriginUnknown},
      {"version", &v2, kAgent, [](TSnmpMessage& m) { m.Version = kSnmpV1; }, kTextVersionMismatch},
      {"request id before community",
       &v2,
       {"127.0.0.1", 161, "public"},
       [](TSnmpMessage& m) { m.RequestId = 8; },
       kTextRequestIdMismatch},
      {"community",
       &v2,
       {"127.0.0.1", 161, "public"},
       [](TSnmpMessage&) {},
       kTextCommunityMismatch},
      {"v3 answer", &v3, kAgent, [](TSnmpMessage&) {}, nullptr},
      {"msg id", &v3, kAgent, [](TSnmpMessage& m) { m.MsgId = 12; }, kTextV3MessageIdMismatch},
      {"user", &v3, kAgent, [](TSnmpMessage& m) { m.UserName.assign("other"); },
       kTextV3UserMismatch},
      {"engine", &v3, kAgent, [](TSnmpMessage& m) { m.AuthEngineId.assign("engine-b"); },
       kTextV3EngineIdMismatch},
      {"a report may name another engine", &v3, kAgent,
       [](TSnmpMessage& m) {
         m.AuthEngineId.assign("engine-b");
         m.PduType = kPduReport;
       },
       nullptr},
  };
  for (const auto& c : cases) {
    TSnmpMessage in;
    in.Version = c.awaited->Version;
    in.RequestId = c.awaited->RequestId;
    in.MsgId = c.awaited->MsgId;
    in.PduType = kPduResponse;
    if (in.Version == kSnmpV3) {
      in.UserName.assign("kestrel");
      in.AuthEngineId.assign(engine);
    }
    c.answer(in);
    const char* got = c.awaited->Mismatch(kAgent, c.got, in, engine, false);
    EXPECT_STREQ(got ? got : "", c.want ? c.want : "") << c.name;
  }
}

}  // namespace
}  // namespace kestrava
