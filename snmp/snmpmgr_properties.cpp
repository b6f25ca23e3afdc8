// Properties and settings of the manager: the numbered property reads and writes, and the
// "Name=value" settings of Config.

#include <sys/resource.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <algorithm>
#include <string_view>
#include <utility>

#include "snmp/errors.h"
#include "snmp/snmpmgr_manager.h"

namespace kestrava {

namespace {

constexpr int kMaxPacketLimit = 65536;

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return text;
}

bool ParseBool(const std::string& value) {
  const std::string lower = LowerAscii(value);
  return lower == "true" || lower == "yes" || lower == "1";
}

const char* BoolText(bool value) {
  return value ? "True" : "False";
}

// A numeric address (IPv4, or IPv6 with or without brackets) as it is; anything else is a host
// name, resolved to its first address of `family` (any family: AF_UNSPEC). 0 or the resolver's
// code; addr changes only on success.
int ReadHost(const std::string& host, TNetAddress& addr, int family) {
  if (ParseAddress(host, addr)) return 0;
  TNetAddress resolved;
  const int code = ResolveHostName(host, resolved, family);
  if (code == 0) addr = resolved;
  return code;
}

// The address of a LocalHost or RemoteHost write: empty text is no address.
int ReadHostProperty(const std::string& host, TNetAddress& addr, int family) {
  if (host.empty()) {
    addr = TNetAddress{};
    return 0;
  }
  return ReadHost(host, addr, family);
}

}  // namespace

std::string_view TPropertyValue::Bytes() const {
  const char* p = reinterpret_cast<const char*>(Raw);
  if (!p) return std::string_view();
  return Length >= 0 ? std::string_view(p, static_cast<size_t>(Length)) : std::string_view(p);
}

intptr_t TSnmpManager::Get(int property, int index, int* length) {
  switch (property) {
    case kPropReceiveEnabled:
      return receiveEnabled;
    case kPropActive:
      return socket.IsOpen();
    case kPropAuthProtocol:
      return ownSecurity.authProtocol;
    case kPropCommunity:
      return HandOut(out.Community.str(), length);
    case kPropErrorDescription:
      return HandOut(ErrorStatusName(in.ErrorStatus), length);
    case kPropErrorIndex:
      return in.ErrorIndex;
    case kPropErrorStatus:
      return in.ErrorStatus;
    case kPropLocalEngineId:
      return HandOut(localEngineId, length);
    case kPropLocalHost:
      return HandOut(LocalHostText(), length);
    case kPropLocalPort:
      return LocalPortNow();
    case kPropObjCount:
      return objects.Count();
    case kPropObjId:
    case kPropObjType:
    case kPropObjValue:
      return GetObject(property, index, length);
    case kPropPassword:
      return HandOut(ownSecurity.password, length);
    case kPropRemoteEngineBoots:
      return peer.Boots;
    case kPropRemoteEngineId:
      return HandOut(peer.EngineId, length);
    case kPropRemoteEngineTime:
      return peer.ClockKnown ? EstimatedEngineTime() : peer.Time;
    case kPropRemoteHost:
      return HandOut(AddressText(remote.addr), length);
    case kPropRemotePort:
      return remote.port;
    case kPropRequestId:
      return out.RequestId;
    case kPropSNMPVersion:
      return out.Version == kSnmpV1 ? 1 : out.Version == kSnmpV2c ? 2 : 3;
    case kPropTimeout:
      return settings.timeoutInMilliseconds ? timeoutMs.load() : timeoutMs / 1000;
    case kPropUser:
      return HandOut(ownSecurity.user, length);
    default:
      return 0;
  }
}

// The text stays in handedOut.get until the next text is handed out.
intptr_t TSnmpManager::HandOut(std::string text, int* length) {
  handedOut.get = std::move(text);
  if (length) *length = static_cast<int>(handedOut.get.size());
  return reinterpret_cast<intptr_t>(handedOut.get.c_str());
}

// While the socket is open, the address it is bound to; else the address asked for, or this
// computer's name.
std::string TSnmpManager::LocalHostText() const {
  if (socket.IsOpen()) {
    TNetAddress addr;
    uint16_t port = 0;
    socket.BoundAddress(addr, port);
    return AddressText(addr);
  }
  return local.addr.IsSet() ? AddressText(local.addr) : LocalHostName();
}

// While the socket is open, the port it is bound to (the system's choice for 0); else the port
// asked for.
int TSnmpManager::LocalPortNow() const {
  if (socket.IsOpen()) {
    TNetAddress addr;
    uint16_t port = 0;
    if (socket.BoundAddress(addr, port) == 0) return port;
  }
  return local.port;
}

// An object's id, type or value; an index out of range reads as empty text of type 4.
intptr_t TSnmpManager::GetObject(int property, int index, int* length) {
  if (index < 1 || index > objects.Count()) {
    if (property == kPropObjType) return kTagOctetString;
    return HandOut("", length);
  }
  const TSnmpObject& o = std::as_const(objects).At(index);
  if (property == kPropObjType) return o.Type;
  const TByteBuffer& bytes = property == kPropObjId ? o.Id : o.Value;
  if (length) *length = static_cast<int>(bytes.size());
  return reinterpret_cast<intptr_t>(bytes.data());
}

int TSnmpManager::Set(int property, int index, intptr_t value, int length) {
  errorText.clear();
  const TPropertyValue written{value, length};
  switch (property) {
    case kPropReceiveEnabled:
    case kPropActive:
    case kPropLocalHost:
    case kPropLocalPort:
      return SetLocal(property, written);
    case kPropRemoteHost:
    case kPropRemotePort:
      return SetRemote(property, written);
    case kPropObjCount:
    case kPropObjId:
    case kPropObjType:
    case kPropObjValue:
      return SetObject(property, index, written);
    case kPropCommunity:
    case kPropRequestId:
    case kPropSNMPVersion:
    case kPropTimeout:
      return SetRequest(property, written);
    case kPropAuthProtocol:
    case kPropLocalEngineId:
    case kPropPassword:
    case kPropRemoteEngineBoots:
    case kPropRemoteEngineId:
    case kPropRemoteEngineTime:
    case kPropUser:
      return SetV3(property, written);
    default:  // read-only (5, 6, 7) or unknown
      return -1;
  }
}

// This side: receiving, the socket, and the address and port it binds.
int TSnmpManager::SetLocal(int property, const TPropertyValue& value) {
  switch (property) {
    case kPropReceiveEnabled:
      receiveEnabled = value.Number() != 0;
      ApplyReceiveEnabled();
      return 0;
    case kPropActive:
      if (value.Number() != 0) return OpenWithRetry();
      Close();
      return 0;
    case kPropLocalHost: {
      if (socket.IsOpen()) return Fail(kErrLocalHostActive, kTextLocalHostActive);
      // A host name stands for its first IPv4 address, as the component always took it.
      TNetAddress addr;
      if (const int code = ReadHostProperty(value.Text(), addr, AF_INET); code != 0)
        return Fail(code, WinsockErrorText(code));
      local.addr = addr;
      return 0;
    }
    case kPropLocalPort:
      if (socket.IsOpen()) return Fail(kErrLocalPortActive, kTextLocalPortActive);
      local.port = value.Number();
      return 0;
    default:
      return -1;
  }
}

void TSnmpManager::ApplyReceiveEnabled() {
  if (receiveEnabled && socket.IsOpen()) {
    // Datagrams that waited in the socket are taken now, through the owner's loop.
    QMetaObject::invokeMethod(
        notify,
        [this] {
          SyncNotifier();
          OnReadable();
        },
        Qt::QueuedConnection);
  } else {
    RunInOwner([this] { SyncNotifier(); });
  }
}

// The agent's address and port. The same agent again keeps what was learnt of its engine:
// callers set the host before every request.
int TSnmpManager::SetRemote(int property, const TPropertyValue& value) {
  const bool connected = options.UseConnection && socket.IsOpen();
  if (property == kPropRemotePort) {
    if (connected) return Fail(kErrRemotePortConnected, kTextRemotePortConnected);
    if (value.Number() != remote.port) ForgetRemoteEngine();
    remote.port = value.Number();
    return 0;
  }
  if (connected) return Fail(kErrRemoteHostConnected, kTextRemoteHostConnected);
  // An agent's name resolves in both families; the resolver's first answer is taken, as
  // net-snmp takes it. The socket follows its family when the next request is sent.
  TNetAddress addr;
  if (const int code = ReadHostProperty(value.Text(), addr, AF_UNSPEC); code != 0)
    return Fail(code, WinsockErrorText(code));
  if (addr != remote.addr) ForgetRemoteEngine();
  remote.addr = addr;
  return 0;
}

// The object table: its count, and an object's id, type or value.
int TSnmpManager::SetObject(int property, int index, const TPropertyValue& value) {
  if (property == kPropObjCount) {
    const int32_t count = value.Number();
    if (count < 0 || count > kMaxObjects) return Fail(kErrTooManyObjects, kTextTooManyObjects);
    objects.SetCount(count);
    return 0;
  }
  if (index < 1 || index > objects.Count()) return Fail(kErrBadObjectIndex, kTextBadObjectIndex);
  TSnmpObject& o = objects.At(index);
  // Straight from the caller's bytes: a request sets 15 of these for every send.
  if (property == kPropObjId) {
    o.Id.assign(value.Bytes());
    return 0;
  }
  if (property == kPropObjType)
    o.Type = value.Number();
  else
    o.Value.assign(value.Bytes());
  NumberFromText(o);  // the typed read gives what goes out
  return 0;
}

// What every request carries, and how long a blocking one waits.
int TSnmpManager::SetRequest(int property, const TPropertyValue& value) {
  const int32_t number = value.Number();
  switch (property) {
    case kPropCommunity:
      out.Community.assign(value.Bytes());
      return 0;
    case kPropRequestId:
      out.RequestId = number;
      return 0;
    case kPropSNMPVersion:
      out.Version = number == 2 ? kSnmpV2c : number == 3 ? kSnmpV3 : kSnmpV1;
      return 0;
    case kPropTimeout:
      timeoutMs = settings.timeoutInMilliseconds ? number : number * 1000;
      blockingCall.deadline = 0;
      return 0;
    default:
      return -1;
  }
}

// The SNMPv3 user, the older Password and AuthProtocol, and the engines.
int TSnmpManager::SetV3(int property, const TPropertyValue& value) {
  switch (property) {
    case kPropAuthProtocol:
      ownSecurity.authProtocol = value.Number();
      return 0;
    case kPropLocalEngineId:
      localEngineId = value.Text();
      return 0;
    case kPropPassword:
      ownSecurity.password = value.Text();
      return 0;
    case kPropRemoteEngineBoots:
      peer.Boots = value.Number();
      return 0;
    case kPropRemoteEngineId:
      peer.EngineId = value.Text();
      return 0;
    case kPropRemoteEngineTime:
      peer.Time = value.Number();
      peer.TimeAtMs = now();
      peer.ClockKnown = true;
      return 0;
    case kPropUser:
      ownSecurity.user = value.Text();
      out.UserName.assign(ownSecurity.user);
      return 0;
    default:
      return -1;
  }
}

// ---------------------------------------------------------------------------------------------
// Config: the "Name=value" settings, found by name in a table, one small handler each.

namespace {

// One Config call as a setting's handler sees it: a write of Value, or a read into Result.
struct TSettingCall {
  bool Write;
  std::string Value;
  std::string& Result;

  int Bool(bool& field) const {
    if (Write)
      field = ParseBool(Value);
    else
      Result = BoolText(field);
    return 0;
  }
  int Int(int& field) const {
    if (Write)
      field = ParseInt(Value);
    else
      Result = std::to_string(field);
    return 0;
  }
  int Text(std::string& field) const {
    if (Write)
      field = Value;
    else
      Result = field;
    return 0;
  }
  // A write is accepted and changes nothing.
  int ReadOnly(const std::string& text) const {
    if (!Write) Result = text;
    return 0;
  }
};

using TSettingHandler = int (*)(TSnmpManager& mgr, const TSettingCall& call);

template <bool TMgrSettings::*Field>
int BoolSetting(TSnmpManager& mgr, const TSettingCall& call) {
  return call.Bool(mgr.settings.*Field);
}

template <int TMgrSettings::*Field>
int IntSetting(TSnmpManager& mgr, const TSettingCall& call) {
  return call.Int(mgr.settings.*Field);
}

template <std::string TMgrSettings::*Field>
int SettingText(TSnmpManager& mgr, const TSettingCall& call) {
  return call.Text(mgr.settings.*Field);
}

template <std::string TV3Config::*Field>
int TextSetting(TSnmpManager& mgr, const TSettingCall& call) {
  return call.Text(mgr.v3Config.*Field);
}

// A socket option takes effect at once on an open socket.
template <int TSocketOptions::*Field>
int SocketOption(TSnmpManager& mgr, const TSettingCall& call) {
  call.Int(mgr.options.*Field);
  if (call.Write && mgr.socket.IsOpen()) {
    const int code = mgr.socket.ApplyOptions(mgr.options);
    if (code != 0) return mgr.Fail(code, WinsockErrorText(code));
  }
  return 0;
}

int TimeToLive(TSnmpManager& mgr, const TSettingCall& call) {
  if (call.Write && ParseInt(call.Value) == 0) return 0;  // 0 keeps the system's default
  return SocketOption<&TSocketOptions::TimeToLive>(mgr, call);
}

int ShareLocalPort(TSnmpManager& mgr, const TSettingCall& call) {
  return call.Bool(mgr.options.ShareLocalPort);
}

int UseConnection(TSnmpManager& mgr, const TSettingCall& call) {
  if (call.Write && mgr.socket.IsOpen())
    return mgr.Fail(kErrUseConnectionActive, kTextUseConnectionActive);
  return call.Bool(mgr.options.UseConnection);
}

int MaxPacketSize(TSnmpManager& mgr, const TSettingCall& call) {
  if (call.Write && mgr.socket.IsOpen())
    return mgr.Fail(kErrMaxPacketSizeActive, kTextMaxPacketSizeActive);
  call.Int(mgr.settings.maxPacketSize);
  // The size an SNMPv3 request offers the agent (msgMaxSize); datagrams are received whole
  // whatever it says. At most 64 KiB, at least one octet.
  mgr.settings.maxPacketSize = std::clamp(mgr.settings.maxPacketSize, 1, kMaxPacketLimit);
  mgr.out.MsgMaxSize = mgr.settings.maxPacketSize;
  return 0;
}

// Unlike the other switches, it reads back as "1" or "0".
int TimeoutInMilliseconds(TSnmpManager& mgr, const TSettingCall& call) {
  if (call.Write)
    mgr.settings.timeoutInMilliseconds = ParseBool(call.Value);
  else
    call.Result = mgr.settings.timeoutInMilliseconds ? "1" : "0";
  return 0;
}

int TrapAgentAddress(TSnmpManager& mgr, const TSettingCall& call) {
  uint32_t addr = 0;
  if (call.Write && !call.Value.empty() && call.Value != "255.255.255.255" &&
      !ParseDottedAddress(call.Value, addr))
    return mgr.Fail(kErrNotIpAddress, kTextNotIpAddress);
  return call.Text(mgr.settings.trapAgentAddress);
}

// The community of traps is the one every message carries.
int TrapCommunity(TSnmpManager& mgr, const TSettingCall& call) {
  if (call.Write)
    mgr.out.Community.assign(call.Value);
  else
    call.Result = mgr.out.Community.str();
  return 0;
}

// An SNMPv3 level or protocol, written and read by its name; an unknown name changes nothing.
int NamedSetting(TSnmpManager& mgr, const TSettingCall& call, int& field,
                 int (*fromName)(std::string_view), const char* (*toName)(int),
                 const char* unknown) {
  if (!call.Write) {
    call.Result = toName(field);
    return 0;
  }
  const int parsed = fromName(call.Value);
  if (parsed < 0) return mgr.Fail(kErrUnknownV3Name, unknown);
  field = parsed;
  return 0;
}

int SecurityLevel(TSnmpManager& mgr, const TSettingCall& call) {
  return NamedSetting(mgr, call, mgr.v3Config.securityLevel, SecurityLevelFromName,
                      SecurityLevelName, kTextUnknownSecurityLevel);
}

int AuthType(TSnmpManager& mgr, const TSettingCall& call) {
  return NamedSetting(mgr, call, mgr.v3Config.authType, AuthProtocolFromName, AuthProtocolName,
                      kTextUnknownAuthProtocol);
}

int PrivType(TSnmpManager& mgr, const TSettingCall& call) {
  return NamedSetting(mgr, call, mgr.v3Config.privType, PrivProtocolFromName, PrivProtocolName,
                      kTextUnknownPrivProtocol);
}

// Passwords read back as empty text; the old one is overwritten before it is let go.
template <std::string TV3Config::*Field>
int PasswordSetting(TSnmpManager& mgr, const TSettingCall& call) {
  if (!call.Write) return 0;
  // RFC 3414 11.2: shorter passwords make keys that can be guessed; net-snmp refuses them too.
  if (!call.Value.empty() && call.Value.size() < 8)
    return mgr.Fail(kErrPasswordTooShort, kTextPasswordTooShort);
  Cleanse(mgr.v3Config.*Field);
  mgr.v3Config.*Field = call.Value;
  return 0;
}

int SocketHandle(TSnmpManager& mgr, const TSettingCall& call) {
  return call.ReadOnly(std::to_string(mgr.socket.Handle()));
}

int DroppedPackets(TSnmpManager& mgr, const TSettingCall& call) {
  return call.ReadOnly(std::to_string(mgr.droppedPackets));
}

int WinsockMaxSockets(TSnmpManager&, const TSettingCall& call) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  return call.ReadOnly(std::to_string(limit.rlim_cur));
}

// Sends a Response to host:port, which the manager role refuses; the address stays the agent's.
int SendGetResponse(TSnmpManager& mgr, const TSettingCall& call) {
  if (!call.Write) return 0;
  const size_t colon = call.Value.rfind(':');
  TNetAddress addr;
  if (const int code = ReadHost(call.Value.substr(0, colon), addr, AF_UNSPEC); code != 0)
    return mgr.Fail(code, WinsockErrorText(code));
  mgr.remote.addr = addr;
  if (colon != std::string::npos) mgr.remote.port = ParseInt(call.Value.substr(colon + 1));
  mgr.ForgetRemoteEngine();
  return mgr.Fail(kErrRole, kTextRole);
}

// Every setting by its name in lower case.
constexpr std::pair<std::string_view, TSettingHandler> kSettings[] = {
    {"forcelocalport", BoolSetting<&TMgrSettings::forceLocalPort>},
    {"ignoreportmismatch", BoolSetting<&TMgrSettings::ignorePortMismatch>},
    {"answerinforms", BoolSetting<&TMgrSettings::answerInforms>},
    {"timewindow", IntSetting<&TMgrSettings::timeWindow>},
    {"trapport", IntSetting<&TMgrSettings::trapPort>},
    {"trapagentaddress", TrapAgentAddress},
    {"trapcommunity", TrapCommunity},
    {"trapenterprise", SettingText<&TMgrSettings::trapEnterprise>},
    {"useconnection", UseConnection},
    {"sharelocalport", ShareLocalPort},
    {"maxpacketsize", MaxPacketSize},
    {"qosflags", SocketOption<&TSocketOptions::QOSFlags>},
    {"sockethandle", SocketHandle},
    {"inbuffersize", SocketOption<&TSocketOptions::InBufferSize>},
    {"outbuffersize", SocketOption<&TSocketOptions::OutBufferSize>},
    {"timetolive", TimeToLive},
    {"ttl", TimeToLive},
    {"absolutetimeout", BoolSetting<&TMgrSettings::absoluteTimeout>},
    {"timeoutinmilliseconds", TimeoutInMilliseconds},
    // The SNMPv3 settings (Reset keeps them).
    {"securitylevel", SecurityLevel},
    {"authtype", AuthType},
    {"privtype", PrivType},
    {"authpassword", PasswordSetting<&TV3Config::authPassword>},
    {"privpassword", PasswordSetting<&TV3Config::privPassword>},
    {"contextname", TextSetting<&TV3Config::contextName>},
    {"droppedpackets", DroppedPackets},
    {"winsockmaxsockets", WinsockMaxSockets},
    {"codepage", IntSetting<&TMgrSettings::codePage>},
    {"charsetmode", IntSetting<&TMgrSettings::charsetMode>},
    {"sendgetresponse", SendGetResponse},
};

// Read-only settings of fixed text.
constexpr std::pair<std::string_view, const char*> kFixedSettings[] = {
    {"winsockloaded", "True"},        {"winsockmaxdatagramsize", "65507"},
    {"winsockinfo", "POSIX sockets"}, {"winsockpath", "libc"},
    {"winsockstatus", "Running"},
};

// The setting's name in lower case. An index after it ("Name[2]", "Name(2)") is accepted and
// ignored.
std::string SettingKey(std::string name) {
  if (!name.empty() && (name.back() == ']' || name.back() == ')')) {
    const char open = name.back() == ']' ? '[' : '(';
    const size_t at = name.rfind(open);
    if (at != std::string::npos) name.erase(at);
  }
  return LowerAscii(std::move(name));
}

}  // namespace

int TSnmpManager::Config(const std::string& setting, std::string& result) {
  errorText.clear();
  result.clear();
  const size_t eq = setting.find('=');
  const bool write = eq != std::string::npos;
  const TSettingCall call{write, write ? setting.substr(eq + 1) : std::string(), result};
  const std::string key = SettingKey(setting.substr(0, eq));
  for (const auto& [name, handler] : kSettings)
    if (name == key) return handler(*this, call);
  for (const auto& [name, text] : kFixedSettings)
    if (name == key) return call.ReadOnly(text);
  return Fail(kErrUnknownConfig, kTextUnknownConfig);
}

}  // namespace kestrava
