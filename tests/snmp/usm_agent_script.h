#pragma once
// A scripted SNMPv3 agent for the component's tests, run behind FakeAgent's responder hook:
// it answers engine discovery, checks users, levels, signatures and clocks as RFC 3414 has an
// agent do, decrypts requests, and answers them (or reports) with the project's codec as the
// authoritative side. It can reboot, change its engine id, lie about its clock in discovery,
// report on demand, and alter its answers, which a real agent does not do when asked.
// Thread: every method may be called while the fake agent runs; Answer runs on its thread.

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "fake_agent.h"
#include "snmp/codec.h"
#include "snmp/usm.h"

namespace kestrava::testing {

class TUsmAgentScript {
 public:
  struct TUser {
    int Level = kAuthPriv;
    int Auth = kAuthSha256;
    std::string AuthPassword;
    int Priv = kPrivAes128;
    std::string PrivPassword;
  };

  explicit TUsmAgentScript(std::string engineId, int32_t boots = 3)
      : m_engineId(std::move(engineId)), m_boots(boots), m_origin(Clock::now()) {}

  void AddUser(const std::string& name, const TUser& user) {
    std::lock_guard lock(m_mutex);
    m_users[name].User = user;
    m_users[name].KeysFor.clear();
  }
  // A restart: one boot more, the clock from zero.
  void Reboot() {
    std::lock_guard lock(m_mutex);
    ++m_boots;
    m_origin = Clock::now();
    m_timeBase = 0;
  }
  void SetEngineId(const std::string& engineId) {
    std::lock_guard lock(m_mutex);
    m_engineId = engineId;
  }
  // The discovery report names a clock this many seconds off the agent's real one.
  void SetDiscoveryClockOffset(int32_t seconds) {
    std::lock_guard lock(m_mutex);
    m_discoveryOffset = seconds;
  }
  // Every authenticated request is out of the time window.
  void SetNeverInTime(bool on) {
    std::lock_guard lock(m_mutex);
    m_neverInTime = on;
  }
  // Every request that reaches the user check is answered with usmStats counter n (0: off).
  void SetReport(int counter) {
    std::lock_guard lock(m_mutex);
    m_report = counter;
  }
  // Sees (and may change) every answer's bytes before they go out.
  void SetTamper(std::function<void(std::string&)> tamper) {
    std::lock_guard lock(m_mutex);
    m_tamper = std::move(tamper);
  }

  int Probes() const { return m_probes; }
  int Requests() const { return m_requests; }  // requests of a known engine and user
  int ClockProbes() const { return m_clockProbes; }
  int32_t Boots() const {
    std::lock_guard lock(m_mutex);
    return m_boots;
  }
  int32_t Time() const {
    std::lock_guard lock(m_mutex);
    return TimeLocked();
  }
  std::string EngineId() const {
    std::lock_guard lock(m_mutex);
    return m_engineId;
  }
  // The context name of the last request answered.
  std::string LastContext() const {
    std::lock_guard lock(m_mutex);
    return m_lastContext;
  }

  // Writes boots and time into an unauthenticated message built with zeros there.
  static std::string PatchClock(std::string bytes, int32_t boots, int32_t time) {
    // Boots and time follow the engine id as two four-octet INTEGERs: 02 04 00 00 00 00.
    const std::string zeros("\x02\x04\x00\x00\x00\x00\x02\x04\x00\x00\x00\x00", 12);
    const size_t at = bytes.find(zeros);
    if (at == std::string::npos) return bytes;
    for (int i = 0; i < 4; ++i) {
      bytes[at + 2 + i] = static_cast<char>(static_cast<uint32_t>(boots) >> (24 - 8 * i));
      bytes[at + 8 + i] = static_cast<char>(static_cast<uint32_t>(time) >> (24 - 8 * i));
    }
    return bytes;
  }

  // An unsigned report as anybody who saw a request can send it: usmStats counter n for the
  // message msgId, naming an engine and a clock.
  static std::string UnsignedReport(const std::string& engineId, const std::string& userName,
                                    int32_t msgId, int counter, int32_t boots, int32_t time) {
    TSnmpMessage msg;
    msg.Version = kSnmpV3;
    msg.MsgId = msgId;
    msg.MsgMaxSize = 65507;
    TObjectTable objects;
    objects.SetCount(1);
    objects.At(1).Id.assign("1.3.6.1.6.3.15.1.1." + std::to_string(counter) + ".0");
    objects.At(1).Type = kTagCounter32;
    objects.At(1).Value.assign("1");
    TUsmKeys none;
    none.Prepare(kAuthNone, {}, kPrivNone, {});
    TUsmCredentials creds;
    creds.User = userName;
    creds.EngineId = engineId;
    creds.Keys = &none;
    TByteBuffer out;
    std::string error;
    if (BuildMessage(kActionReport, msg, objects, out, error, &creds) != 0) return std::string();
    return PatchClock(out.str(), boots, time);
  }

  // The value this agent serves for an OID: an OCTET STRING naming it.
  static std::string ValueOf(const std::string& oid) { return "value of " + oid; }

  // The answer to one datagram; an empty string sends nothing.
  std::optional<std::string> Answer(const FakeAgent::Request& request) {
    std::lock_guard lock(m_mutex);
    const auto* data = reinterpret_cast<const uint8_t*>(request.Packet.data());
    TSnmpMessage in;
    TObjectTable objects;
    if (ParseMessage(data, request.Packet.size(), in, objects) != 0 || in.Version != kSnmpV3)
      return std::string();
    std::string out = Respond(in, objects, data, request.Packet.size());
    if (m_tamper && !out.empty()) m_tamper(out);
    return out;
  }

  // A Response of this agent for the user, with the given clock: what a replay would carry.
  std::string ResponseAt(const std::string& userName, int32_t boots, int32_t time, int32_t msgId,
                         int32_t requestId) {
    std::lock_guard lock(m_mutex);
    TSnmpMessage msg;
    msg.MsgId = msgId;
    msg.RequestId = requestId;
    TObjectTable objects;
    objects.SetCount(1);
    objects.At(1).Id.assign("1.3.6.1.2.1.1.5.0");
    objects.At(1).Value.assign(ValueOf("1.3.6.1.2.1.1.5.0"));
    return Build(kActionResponse, msg, objects, userName, Keys(m_users[userName]).first, boots,
                 time);
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct TEntry {
    TUser User;
    // Keys per engine id: the full set, and authentication only (for reports).
    std::map<std::string, std::pair<std::shared_ptr<TUsmKeys>, std::shared_ptr<TUsmKeys>>> KeysFor;
  };

  // The agent's clock: an agent that has run for a day when the test starts, from zero after
  // a reboot.
  int32_t TimeLocked() const {
    return m_timeBase +
           static_cast<int32_t>(
               std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - m_origin).count());
  }

  std::pair<TUsmKeys*, TUsmKeys*> Keys(TEntry& entry) {
    auto& slot = entry.KeysFor[m_engineId];
    if (!slot.first) {
      const TUser& u = entry.User;
      const int auth = u.Level >= kAuthNoPriv ? u.Auth : kAuthNone;
      const int priv = u.Level == kAuthPriv ? u.Priv : kPrivNone;
      const std::string authKey =
          auth != kAuthNone ? LocalizeKey(auth, u.AuthPassword, m_engineId) : std::string();
      slot.first = std::make_shared<TUsmKeys>();
      slot.second = std::make_shared<TUsmKeys>();
      slot.first->Prepare(auth, authKey, priv,
                          priv != kPrivNone
                              ? LocalizePrivKey(auth, priv, u.PrivPassword, m_engineId)
                              : std::string());
      slot.second->Prepare(auth, authKey, kPrivNone, {});
    }
    return {slot.first.get(), slot.second.get()};
  }

  // One message of this agent; keys null: unauthenticated.
  std::string Build(int action, TSnmpMessage& msg, TObjectTable& objects,
                    const std::string& userName, TUsmKeys* keys, int32_t boots, int32_t time) {
    msg.Version = kSnmpV3;
    msg.MsgMaxSize = 65507;
    msg.ErrorStatus = 0;
    msg.ErrorIndex = 0;
    TUsmKeys none;
    none.Prepare(kAuthNone, {}, kPrivNone, {});
    TUsmCredentials creds;
    creds.User = userName;
    creds.EngineId = m_engineId;
    creds.ContextName = msg.ContextName.str();
    creds.ClockKnown = true;
    creds.EngineBoots = boots;
    creds.EngineTime = time;
    creds.Salt = ++m_salt;
    creds.Keys = keys ? keys : &none;
    TByteBuffer out;
    std::string error;
    if (BuildMessage(action, msg, objects, out, error, &creds) != 0) return std::string();
    // The codec writes boots and time only into authenticated messages; an agent's
    // unauthenticated reports carry them as well, so that discovery learns them.
    return keys ? out.str() : PatchClock(out.str(), boots, time);
  }

  // A report with usmStats counter n; signed (not encrypted) when `signedReport`.
  std::string Report(const TSnmpMessage& in, int counter, const std::string& userName,
                     bool signedReport, int32_t clockOffset = 0) {
    TSnmpMessage msg;
    msg.MsgId = in.MsgId;
    msg.RequestId = in.RequestId;
    msg.ContextName.assign(in.ContextName.view());
    TObjectTable objects;
    objects.SetCount(1);
    objects.At(1).Id.assign("1.3.6.1.6.3.15.1.1." + std::to_string(counter) + ".0");
    objects.At(1).Type = kTagCounter32;
    objects.At(1).Value.assign("1");
    TUsmKeys* keys = signedReport ? Keys(m_users[userName]).second : nullptr;
    return Build(kActionReport, msg, objects, userName, keys, m_boots, TimeLocked() + clockOffset);
  }

  std::string Respond(TSnmpMessage& in, TObjectTable& objects, const uint8_t* data, size_t size) {
    const std::string userName = in.UserName.str();
    if (in.AuthEngineId.view() != m_engineId) {
      if (userName.empty()) ++m_probes;
      return Report(in, 4, userName, false, m_discoveryOffset);
    }
    auto found = m_users.find(userName);
    if (found == m_users.end()) return Report(in, 3, userName, false);
    TEntry& entry = found->second;
    const int level = (in.MsgFlags & 2)   ? kAuthPriv
                      : (in.MsgFlags & 1) ? kAuthNoPriv
                                          : kNoAuthNoPriv;
    if (level > entry.User.Level) return Report(in, 1, userName, false);
    // A signed request that asks for nothing is a manager's clock probe, not a request.
    const bool clockProbe = level == kAuthNoPriv && objects.Count() == 0;
    if (clockProbe) ++m_clockProbes;
    if (!clockProbe) ++m_requests;
    if (m_report != 0) return Report(in, m_report, userName, m_report == 2);
    const auto keys = Keys(entry);
    if (level >= kAuthNoPriv) {
      if (!keys.first->Verify(data, size, in.AuthParamsOffset, in.AuthParams.size()))
        return Report(in, 5, userName, false);
      const int32_t now = TimeLocked();
      if (m_neverInTime || in.EngineBoots != m_boots || in.EngineTime > now + 150 ||
          in.EngineTime < now - 150)
        return Report(in, 2, userName, true);
    }
    if (level == kAuthPriv) {
      TByteBuffer plain;
      if (DecryptScopedPdu(data, size, in, objects, *keys.first, plain) != 0)
        return Report(in, 6, userName, false);
    }
    TSnmpMessage msg;
    msg.MsgId = in.MsgId;
    msg.RequestId = in.RequestId;
    msg.ContextName.assign(in.ContextName.view());
    m_lastContext = in.ContextName.str();
    TObjectTable answer;
    answer.SetCount(objects.Count());
    for (int i = 1; i <= objects.Count(); ++i) {
      answer.At(i).Id.assign(objects.At(i).Id.view());
      answer.At(i).Type = kTagOctetString;
      answer.At(i).Value.assign(ValueOf(objects.At(i).Id.str()));
    }
    // The answer goes back at the request's level.
    TUsmKeys* answerKeys = level == kAuthPriv     ? keys.first
                           : level == kAuthNoPriv ? keys.second
                                                  : nullptr;
    return Build(kActionResponse, msg, answer, userName, answerKeys, m_boots, TimeLocked());
  }

  mutable std::mutex m_mutex;
  std::string m_engineId;
  int32_t m_boots;
  Clock::time_point m_origin;
  int32_t m_timeBase = 86400;
  int32_t m_discoveryOffset = 0;
  bool m_neverInTime = false;
  int m_report = 0;
  std::function<void(std::string&)> m_tamper;
  std::map<std::string, TEntry> m_users;
  std::string m_lastContext;
  uint64_t m_salt = 0x5A17;
  std::atomic<int> m_probes{0};
  std::atomic<int> m_requests{0};
  std::atomic<int> m_clockProbes{0};
};

}  // namespace kestrava::testing
