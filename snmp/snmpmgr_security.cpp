// The SNMPv3 exchange of the manager: which security a request goes out with and its localised
// keys, the discovery of the agent's engine id and clock (before the first request of either
// mode, and again when the agent reports that it rebooted or changed), requests kept so that
// they can be sent once more, the checks of every received SNMPv3 message in RFC 3414's
// order, and the agent's USM reports turned into errors of their own.

#include <string_view>

#include "snmp/errors.h"
#include "snmp/snmpmgr_manager.h"

namespace kestrava {

namespace {

// A discovery without an answer is asked again by the next request after this long.
constexpr int64_t kProbeRepeatMs = 1000;

// usmStats counters 1.3.6.1.6.3.15.1.1.N.0: N of the report's first binding, 0 for another.
int UsmStatsCounter(const TObjectTable& objects) {
  if (objects.Count() < 1) return 0;
  constexpr std::string_view kPrefix = "1.3.6.1.6.3.15.1.1.";
  const std::string_view oid = objects.At(1).Id.view();
  if (oid.size() != kPrefix.size() + 3 || oid.substr(0, kPrefix.size()) != kPrefix ||
      oid.substr(kPrefix.size() + 1) != ".0")
    return 0;
  const char n = oid[kPrefix.size()];
  return n >= '1' && n <= '6' ? n - '0' : 0;
}

}  // namespace

int TSnmpManager::Security(TV3Security& security, const char** text) const {
  // The Password property is the older way to ask for authentication; while it is set it
  // decides, as it always did.
  if (!ownSecurity.password.empty()) {
    if (AuthParamsSize(ownSecurity.authProtocol) == 0) {
      *text = kTextUnknownAuthProtocol;
      return kErrUnknownV3Name;
    }
    security = TV3Security{kAuthNoPriv, ownSecurity.authProtocol, &ownSecurity.password, kPrivNone,
                           nullptr};
    return 0;
  }
  security = TV3Security{v3Config.securityLevel, v3Config.authType, &v3Config.authPassword,
                         v3Config.privType, &v3Config.privPassword};
  if (v3Config.securityLevel >= kAuthNoPriv && v3Config.authPassword.empty()) {
    *text = kTextAuthPasswordMissing;
    return kErrCredentialsMissing;
  }
  if (v3Config.securityLevel == kAuthPriv && v3Config.privPassword.empty()) {
    *text = kTextPrivPasswordMissing;
    return kErrCredentialsMissing;
  }
  return 0;
}

bool TSnmpManager::PrepareKeys(const TV3Security& security) {
  TKeyRecipe recipe;
  recipe.Level = security.Level;
  recipe.Auth = security.Auth;
  if (security.AuthPassword) recipe.AuthPassword = *security.AuthPassword;
  recipe.Priv = security.Priv;
  if (security.PrivPassword) recipe.PrivPassword = *security.PrivPassword;
  recipe.EngineId = peer.EngineId;
  return keyCache.Prepare(recipe);
}

bool TSnmpManager::NeedsDiscovery(const TV3Security& security) const {
  return peer.EngineId.empty() || (security.Level >= kAuthNoPriv && !peer.ClockKnown);
}

TV3Request TSnmpManager::Snapshot(int action) {
  // The texts go into the room of a request answered before: no allocation once polls run.
  TV3Request request = v3Requests.Reuse();
  request.Action = action;
  request.RequestId = out.RequestId;
  request.NonRepeaters = out.NonRepeaters;
  request.MaxRepetitions = out.MaxRepetitions;
  request.AtMs = now();
  request.Objects.resize(static_cast<size_t>(objects.Count()));
  for (int i = 1; i <= objects.Count(); ++i) {
    TSnmpObject& o = objects.At(i);
    if (action == kActionGetRequest) o.Type = kTagNull;  // as the message goes out
    TV3Request::TObject& kept = request.Objects[static_cast<size_t>(i - 1)];
    kept.Id.assign(o.Id.view());
    kept.Type = o.Type;
    kept.Value.assign(o.Value.view());
  }
  // The request takes its id now, as building it would; every send of it carries the same id.
  out.RequestId = static_cast<int32_t>(static_cast<uint32_t>(out.RequestId) + 1);
  return request;
}

int TSnmpManager::SendV3Request(int action) {
  TV3Security security;
  const char* text = nullptr;
  if (const int code = Security(security, &text)) return Fail(code, text);
  TV3Request request = Snapshot(action);
  if (NeedsDiscovery(security)) {
    if (timeoutMs == 0) {
      // Asynchronous: the request goes out when the agent's report has named its engine.
      v3Requests.Wait(std::move(request), now());
      return SendProbe(false);
    }
    if (const int code = DiscoverEngine()) {
      out.RequestId = request.RequestId;  // nothing was built for this request
      return code;
    }
  }
  for (;;) {
    resendAsk.code = 0;
    resendAsk.rediscover = false;
    if (const int code = BuildAndSendV3(request, security)) return code;
    if (timeoutMs == 0) {
      v3Requests.Sent(std::move(request), now());
      return 0;
    }
    const int code = WaitForResponse();
    if (code != 0 || resendAsk.code == 0) return code;
    // A signed report named the agent's clock, now learnt, or an unsigned one (anybody's) asked
    // for a discovery first: once each, then the report stands.
    bool& done = resendAsk.rediscover ? request.Rediscovered : request.Resent;
    if (done) return Fail(resendAsk.code, UsmReportText(resendAsk.code));
    done = true;
    if (resendAsk.rediscover) {
      if (const int code = DiscoverEngine()) return code;
    }
  }
}

int TSnmpManager::BuildAndSendV3(TV3Request& request, const TV3Security& security) {
  if (!PrepareKeys(security)) return Fail(kErrBadElement, kTextBuildPacket);
  v3Record.objects.SetCount(static_cast<int>(request.Objects.size()));
  for (size_t i = 0; i < request.Objects.size(); ++i) {
    TSnmpObject& o = v3Record.objects.At(static_cast<int>(i) + 1);
    o.Id.assign(request.Objects[i].Id);
    o.Type = request.Objects[i].Type;
    o.Value.assign(request.Objects[i].Value);
  }
  v3Record.message.Reset(settings.maxPacketSize);
  v3Record.message.Version = kSnmpV3;
  v3Record.message.RequestId = request.RequestId;
  v3Record.message.NonRepeaters = request.NonRepeaters;
  v3Record.message.MaxRepetitions = request.MaxRepetitions;
  v3Record.message.MsgId = out.MsgId;
  // The texts of the last request's credentials keep their room; what FillCredentials may
  // leave as it was starts over.
  TUsmCredentials& creds = v3Creds;
  creds.EngineBoots = 0;
  creds.EngineTime = 0;
  FillCredentials(ownSecurity.user, creds);
  creds.Keys = &keyCache.Keys();
  const int32_t msgId = v3Record.message.MsgId;
  int code = 0;
  try {
    code =
        BuildMessage(request.Action, v3Record.message, v3Record.objects, packet, errorText, &creds);
  } catch (const std::bad_alloc&) {
    code = Fail(kErrOutOfMemory, kTextOutOfMemory);
  }
  if (code != 0) {
    if (!request.Resent) out.RequestId = request.RequestId;  // nothing went out
    return code;
  }
  out.MsgId = v3Record.message.MsgId;
  out.PduType = v3Record.message.PduType;
  out.MsgFlags = v3Record.message.MsgFlags;
  request.MsgId = msgId;
  request.AtMs = now();
  awaited.RequestId = request.RequestId;
  awaited.MsgId = msgId;
  awaited.Version = kSnmpV3;
  awaited.User = ownSecurity.user;
  return SendPacket();
}

int TSnmpManager::SendProbe(bool blocking) {
  if (!blocking && engineProbe.running && now() - engineProbe.sentAtMs < kProbeRepeatMs) return 0;
  // RFC 3414 4: a reportable, unauthenticated request without engine id or user is answered
  // with a report that names the engine.
  const TUsmCredentials none;
  engineProbe.clockStep = false;
  engineProbe.clockTries = 0;
  return SendDiscoveryMessage(kActionDiscoverEngineId, none);
}

// RFC 3414 4: a user with a key learns the agent's clock from the report to a request signed
// with that key and a clock of zero; only such a signed report is followed.
int TSnmpManager::SendClockProbe() {
  TV3Security security;
  const char* text = nullptr;
  if (const int code = Security(security, &text)) return Fail(code, text);
  if (!PrepareKeys(security)) return Fail(kErrBadElement, kTextBuildPacket);
  TUsmCredentials creds;
  FillCredentials(ownSecurity.user, creds);
  creds.Keys = &keyCache.Keys();
  engineProbe.clockStep = true;
  ++engineProbe.clockTries;
  return SendDiscoveryMessage(kActionDiscoverClock, creds);
}

bool TSnmpManager::NeedsClock() const {
  TV3Security security;
  const char* text = nullptr;
  return !peer.ClockKnown && Security(security, &text) == 0 && security.Level >= kAuthNoPriv;
}

// A discovery message, remembered as the probe whose report is adopted.
int TSnmpManager::SendDiscoveryMessage(int action, const TUsmCredentials& creds) {
  v3Record.message.Reset(settings.maxPacketSize);
  v3Record.message.Version = kSnmpV3;
  v3Record.message.RequestId = static_cast<int32_t>(rng() & 0x7FFFFFFF);
  v3Record.message.MsgId = out.MsgId;
  v3Record.objects.SetCount(0);
  const int32_t msgId = v3Record.message.MsgId;
  if (const int code =
          BuildMessage(action, v3Record.message, v3Record.objects, packet, errorText, &creds))
    return code;
  out.MsgId = v3Record.message.MsgId;
  engineProbe.running = true;
  engineProbe.msgId = msgId;
  engineProbe.sentAtMs = now();
  awaited.RequestId = v3Record.message.RequestId;
  awaited.MsgId = msgId;
  awaited.Version = kSnmpV3;
  awaited.User = creds.User;
  return SendPacket();
}

int TSnmpManager::DiscoverEngine() {
  discovering = true;
  int code = SendProbe(true);
  if (code == 0) code = WaitForResponse();
  if (code == 0 && peer.EngineId.empty())
    code = Fail(kErrReportUnknownEngineId, UsmReportText(kErrReportUnknownEngineId));
  // A refusal of the clock probe may be anybody's: asked once more before it stands.
  while (code == 0 && NeedsClock() && engineProbe.clockTries < 2) {
    resendAsk.code = 0;
    code = SendClockProbe();
    if (code == 0) code = WaitForResponse();
    if (code == 0 && resendAsk.code != 0 && engineProbe.clockTries >= 2)
      code = Fail(resendAsk.code, UsmReportText(resendAsk.code));
  }
  discovering = false;
  engineProbe.running = false;
  engineProbe.clockStep = false;
  return code;
}

// The engine is known: a user with a key asks for the clock next, then what waited goes out.
void TSnmpManager::ProbeAnswered() {
  if (!engineProbe.clockStep && NeedsClock()) {
    errorText.clear();
    if (SendClockProbe() == 0) return;
  }
  engineProbe.running = false;
  engineProbe.clockStep = false;
  FlushPending();
}

// The agent refused the clock probe (an unknown user, a wrong key, a level the user does not
// have). Unsigned, the refusal may be anybody's: the probe goes out once more first.
void TSnmpManager::ProbeRefused(int code) {
  if (engineProbe.clockTries < 2) {
    errorText.clear();
    if (SendClockProbe() == 0) return;
  }
  engineProbe.running = false;
  engineProbe.clockStep = false;
  v3Requests.DropWaiting();
  FireError(code, UsmReportText(code));
}

// An unsigned report asked for the engine or clock again: the request waits for one discovery
// and goes out after it; a second such report for it stands.
void TSnmpManager::Rediscover(TV3Request& request, int reportCode) {
  const int32_t msgId = request.MsgId;
  if (request.Rediscovered) {
    FireError(reportCode, UsmReportText(reportCode));
    v3Requests.ForgetSent(msgId);
    return;
  }
  request.Rediscovered = true;
  v3Requests.Wait(std::move(request), now());
  v3Requests.ForgetSent(msgId);
  errorText.clear();
  if (const int code = SendProbe(false))
    FireError(code, errorText.empty() ? std::string(kTextBuildPacket) : errorText);
}

void TSnmpManager::FlushPending() {
  std::deque<TV3Request> ready = v3Requests.TakeWaiting();
  TV3Security security;
  const char* text = nullptr;
  const int settings = Security(security, &text);
  for (TV3Request& request : ready) {
    if (settings != 0) {
      FireError(settings, text);
      continue;
    }
    errorText.clear();
    if (const int code = BuildAndSendV3(request, security)) {
      FireError(code, errorText.empty() ? std::string(kTextBuildPacket) : errorText);
      continue;
    }
    v3Requests.Sent(std::move(request), now());
  }
}

void TSnmpManager::SendAgain(TV3Request& request, int reportCode) {
  if (request.Resent) {
    // The same report twice: the agent cannot be followed; say so and give the request up.
    FireError(reportCode, UsmReportText(reportCode));
    v3Requests.ForgetSent(request.MsgId);
    return;
  }
  request.Resent = true;
  TV3Security security;
  const char* text = nullptr;
  if (const int code = Security(security, &text)) {
    FireError(code, text);
    return;
  }
  errorText.clear();
  if (const int code = BuildAndSendV3(request, security))
    FireError(code, errorText.empty() ? std::string(kTextBuildPacket) : errorText);
}

void TSnmpManager::EndAwaited(int code, const std::string& text) {
  blockingCall.error = code;
  blockingCall.errorText = text;
  blockingCall.answered = true;
  blockingCall.waiting = false;
}

bool TSnmpManager::FollowClock(const TSnmpMessage& msg) {
  // RFC 3414 3.2 7b: an authentic message with a later clock moves the notion of the
  // agent's clock on; a rebooted agent shows up here with more boots.
  if (!peer.ClockKnown || msg.EngineBoots > peer.Boots ||
      (msg.EngineBoots == peer.Boots && msg.EngineTime > EstimatedEngineTime())) {
    LearnClock(msg);
    return true;
  }
  return false;
}

bool TSnmpManager::InTimeWindow(const TSnmpMessage& msg) const {
  // A message from before the window (a replay) or with the boots at their end is refused.
  return peer.ClockKnown && msg.EngineBoots != 0x7FFFFFFF && msg.EngineBoots == peer.Boots &&
         int64_t{msg.EngineTime} >= int64_t{EstimatedEngineTime()} - settings.timeWindow;
}

void TSnmpManager::FireDiscoveryResponse(const std::string& source, int port) {
  const std::string engineId = in.AuthEngineId.str();
  const std::string userName = in.UserName.str();
  intptr_t p[7] = {reinterpret_cast<intptr_t>(engineId.data()),
                   in.EngineBoots,
                   in.EngineTime,
                   reinterpret_cast<intptr_t>(userName.c_str()),
                   in.SecurityLevel,
                   reinterpret_cast<intptr_t>(source.c_str()),
                   port};
  int l[7] = {static_cast<int>(engineId.size())};
  Fire(kEventDiscoveryResponse, 7, p, l);
}

void TSnmpManager::ProcessV3(const uint8_t* data, size_t size, const TNetAddress& addr,
                             uint16_t port, const std::string& source, bool awaited) {
  const bool encrypted = (in.MsgFlags & 2) != 0;
  // RFC 3412 7.2 3: privacy without authentication is not a valid message.
  if (encrypted && (in.MsgFlags & 1) == 0) {
    RefuseV3(kErrEngineIdIgnored, kTextMalformed, awaited);
    return;
  }
  const bool sameEngine = !peer.EngineId.empty() && in.AuthEngineId.view() == peer.EngineId;
  if (!sameEngine) {
    // Only a report may name another engine: it answers a discovery, or says that the agent
    // no longer has the engine id a request carried.
    if (in.PduType == kPduReport) return HandleReport(source, port, awaited, false);
    RefuseV3(kErrEngineIdIgnored, kTextUnknownEngineId, awaited);
    return;
  }
  KeysForReceived();
  if (!Authentic(data, size, awaited)) return;
  if (encrypted && !DecryptReceived(data, size, source, port, awaited)) return;
  if (in.PduType == kPduReport) return HandleReport(source, port, awaited, true);
  if (in.PduType == kPduResponse && engineProbe.running && in.MsgId == engineProbe.msgId) {
    // The clock probe was in time after all: its signed clock was followed above.
    if (awaited)
      EndAwaited(0, "");
    else
      ProbeAnswered();
    return;
  }
  if (in.PduType == kPduResponse) v3Requests.ForgetSent(in.MsgId);
  Answered(awaited, [&] { Deliver(addr, port, source); });
}

// The keys of the last request, or those of the settings when they were made for another
// engine.
void TSnmpManager::KeysForReceived() {
  if (keyCache.ReadyFor(peer.EngineId)) return;
  TV3Security security;
  const char* text = nullptr;
  if (Security(security, &text) == 0) PrepareKeys(security);
}

// A signed message needs the keys, a signature, the right digest and, but for a report, a clock
// inside the time window. False when the message is refused.
bool TSnmpManager::Authentic(const uint8_t* data, size_t size, bool awaited) {
  // Before decryption an encrypted message's PDU type is none: it counts as no report.
  const bool isReport = in.PduType == kPduReport;
  TUsmKeys& keys = keyCache.Keys();
  const bool authenticating = keyCache.Ready() && keys.CanAuthenticate();
  if ((in.MsgFlags & 1) == 0) {
    // The agent's error reports come unauthenticated; anything else must be signed.
    if (!authenticating || isReport) return true;
    return FailAuthentication(kErrNotSigned, kTextNotSigned, awaited);
  }
  if (!authenticating) return FailAuthentication(kErrNoAuthPassword, kTextNoAuthPassword, awaited);
  if (in.AuthParams.empty())
    return FailAuthentication(kErrSignatureMissing, kTextSignatureMissing, awaited);
  if (!keys.Verify(data, size, in.AuthParamsOffset, in.AuthParams.size()))
    return FailAuthentication(kErrDigestWrong, kTextDigestWrong, awaited);
  FollowClock(in);
  if (!isReport && !InTimeWindow(in)) return RefuseV3(kErrEngineIdIgnored, kTextBadTiming, awaited);
  return true;
}

// Decrypts the scoped PDU into in and objects. False when the message goes no further: it
// cannot be read, or it is a request.
bool TSnmpManager::DecryptReceived(const uint8_t* data, size_t size, const std::string& source,
                                   int port, bool awaited) {
  const int code = keyCache.Ready() && keyCache.Keys().CanEncrypt()
                       ? DecryptScopedPdu(data, size, in, objects, keyCache.Keys(), plainPdu)
                       : kErrDecryption;
  if (code == kErrDecryption) return RefuseV3(code, kTextDecryption, awaited);
  if (code != 0) return RefuseV3(code, kTextParseError, awaited);
  if (!IsRequestPdu(in.PduType)) return true;
  if (awaited) EndAwaited(0, "");
  FireBadPacket(data, size, source, port, kErrRole, kTextRole);
  return false;
}

// A refused message: an error event, and the awaited send ends with it. Returns false.
bool TSnmpManager::RefuseV3(int code, const char* text, bool awaited) {
  FireError(code, text);
  if (awaited) EndAwaited(code, text);
  return false;
}

// An authentication failure ends the awaited send with its code instead of events. Returns
// false.
bool TSnmpManager::FailAuthentication(int code, const char* text, bool awaited) {
  if (awaited) {
    EndAwaited(code, text);
    return false;
  }
  FireError(code, text);
  FireError(kErrEngineIdIgnored, kTextMalformed);
  return false;
}

void TSnmpManager::HandleReport(const std::string& source, int port, bool awaited,
                                bool sameEngine) {
  const int counter = UsmStatsCounter(objects);
  TV3Request* sent = v3Requests.FindSent(in.MsgId);
  const bool probe = engineProbe.running && in.MsgId == engineProbe.msgId;
  const bool ours = awaited || sent != nullptr || probe;
  // Only a report signed with the user's key (checked by Authentic) speaks for the agent; an
  // unsigned one may come from anybody who saw the request.
  const bool authentic = sameEngine && (in.MsgFlags & 1) != 0;
  // Reports that name the engine or its clock: discovery answers, and the two that ask for
  // a request to be sent again (usmStatsNotInTimeWindows, usmStatsUnknownEngineIDs).
  if (!sameEngine || counter == 2 || counter == 4) {
    if (!ours && !discovering) {
      // Not an answer to anything of ours: shown, not adopted.
      FireDiscoveryResponse(source, port);
      return;
    }
    if (probe || discovering) {
      AdoptReport(source, port, sameEngine, authentic);
      if (awaited) {
        // A blocking discovery goes on by itself.
        engineProbe.running = false;
        engineProbe.clockStep = false;
        EndAwaited(0, "");
      } else if (probe) {
        ProbeAnswered();
      }
      return;
    }
    const int code =
        sameEngine && counter == 2 ? kErrReportNotInTimeWindow : kErrReportUnknownEngineId;
    const bool clockReport = authentic && counter == 2;
    if (clockReport) AdoptReport(source, port, true, true);
    if (awaited) {
      resendAsk.code = code;
      resendAsk.rediscover = !clockReport;
      EndAwaited(0, "");
    }
    if (sent && clockReport)
      SendAgain(*sent, code);
    else if (sent)
      Rediscover(*sent, code);
    return;
  }
  if (counter != 0) {
    const int code = kErrReportUnsupportedSecLevel + counter - 1;
    const char* text = UsmReportText(code);
    if (probe && !awaited) return ProbeRefused(code);
    if (!authentic && (awaited || sent)) {
      // Unsigned: the request goes out once more before the refusal stands.
      if (awaited) {
        resendAsk.code = code;
        resendAsk.rediscover = false;
        return EndAwaited(0, "");
      }
      return SendAgain(*sent, code);
    }
    if (sent) v3Requests.ForgetSent(in.MsgId);
    if (awaited) return EndAwaited(code, text);
    if (ours) return FireError(code, text);
  }
  Answered(awaited, [&] { FireResponseLike(kEventReport, source, port); });
}

// A discovery answer: the engine it names, and the clock only when the report is signed (RFC
// 3414 3.2 7): an unsigned clock, a huge boots count above all, would stall every request.
// A signed clock is taken as it stands, also when it is earlier than what was believed: that
// belief is what the agent refused.
void TSnmpManager::AdoptReport(const std::string& source, int port, bool sameEngine,
                               bool authentic) {
  if (!sameEngine) {
    peer.EngineId = in.AuthEngineId.str();
    peer.ClockKnown = false;
  }
  if (authentic && (in.EngineBoots != 0 || in.EngineTime != 0)) LearnClock(in);
  FireDiscoveryResponse(source, port);
}

}  // namespace kestrava
