// Properties and settings of the engine: the numbered property reads and writes, and the
// "Name=value" settings of Config.

#include <sys/resource.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <cstring>
#include <utility>

#include "snmp/errors.h"
#include "snmp/snmpmgr_engine.h"

namespace kestrava {

namespace {

constexpr int kMaxPacketLimit = 65536;

bool ParseBool(const std::string& value) {
  std::string lower;
  for (char c : value) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return lower == "true" || lower == "yes" || lower == "1";
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return text;
}

const char* BoolText(bool value) {
  return value ? "True" : "False";
}

}  // namespace

int32_t ParseInt(const std::string& text) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && text[pos] == '-') {
    negative = true;
    ++pos;
  }
  uint32_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
    value = value * 10 + static_cast<uint32_t>(text[pos++] - '0');
  return static_cast<int32_t>(negative ? 0u - value : value);
}

intptr_t TSnmpMgrEngine::Get(int property, int index, int* length) {
  auto text = [&](std::string value) {
    scratch = std::move(value);
    if (length) *length = static_cast<int>(scratch.size());
    return reinterpret_cast<intptr_t>(scratch.c_str());
  };
  auto bytes = [&](const TByteBuffer& value) {
    if (length) *length = static_cast<int>(value.size());
    return reinterpret_cast<intptr_t>(value.data());
  };
  switch (property) {
    case kPropReceiveEnabled:
      return receiveEnabled;
    case kPropActive:
      return socket.IsOpen();
    case kPropAuthProtocol:
      return authProtocol;
    case kPropCommunity:
      return text(out.Community.str());
    case kPropErrorDescription:
      return text(ErrorStatusName(in.ErrorStatus));
    case kPropErrorIndex:
      return in.ErrorIndex;
    case kPropErrorStatus:
      return in.ErrorStatus;
    case kPropLocalEngineId:
      return text(localEngineId);
    case kPropLocalHost: {
      if (socket.IsOpen()) {
        TNetAddress addr;
        uint16_t port = 0;
        socket.BoundAddress(addr, port);
        return text(AddressText(addr));
      }
      return text(localAddr.IsSet() ? AddressText(localAddr) : LocalHostName());
    }
    case kPropLocalPort: {
      if (socket.IsOpen()) {
        TNetAddress addr;
        uint16_t port = 0;
        if (socket.BoundAddress(addr, port) == 0) return port;
      }
      return localPort;
    }
    case kPropObjCount:
      return objects.Count();
    case kPropObjId:
    case kPropObjType:
    case kPropObjValue: {
      if (index < 1 || index > objects.Count()) {
        if (property == kPropObjType) return kTagOctetString;
        return text("");
      }
      const TSnmpObject& o = std::as_const(objects).At(index);
      if (property == kPropObjType) return o.Type;
      if (property == kPropObjId) return bytes(o.Id);
      return bytes(o.Value);
    }
    case kPropPassword:
      return text(password);
    case kPropRemoteEngineBoots:
      return remoteBoots;
    case kPropRemoteEngineId:
      return text(remoteEngineId);
    case kPropRemoteEngineTime:
      return clockKnown ? EstimatedEngineTime() : remoteTime;
    case kPropRemoteHost:
      return text(AddressText(remoteAddr));
    case kPropRemotePort:
      return remotePort;
    case kPropRequestId:
      return out.RequestId;
    case kPropSNMPVersion:
      return out.Version == kSnmpV1 ? 1 : out.Version == kSnmpV2c ? 2 : 3;
    case kPropTimeout:
      return timeoutInMilliseconds ? timeoutMs.load() : timeoutMs / 1000;
    case kPropUser:
      return text(user);
    default:
      return 0;
  }
}

int TSnmpMgrEngine::Set(int property, int index, intptr_t value, int length) {
  errorText.clear();
  const int32_t number = static_cast<int32_t>(value);
  auto text = [&] {
    const char* p = reinterpret_cast<const char*>(value);
    if (!p) return std::string();
    return length >= 0 ? std::string(p, static_cast<size_t>(length)) : std::string(p);
  };
  // Empty text is no address; an IPv4 or IPv6 literal (brackets or not) is taken as it is;
  // anything else is a host name, resolved to its first address of `family` (any family: 0).
  auto resolve = [&](const std::string& host, TNetAddress& addr, int family) {
    if (host.empty()) {
      addr = TNetAddress{};
      return 0;
    }
    if (ParseAddress(host, addr)) return 0;
    TNetAddress resolved;
    const int code = ResolveHostName(host, resolved, family);
    if (code != 0) return Fail(code, WinsockErrorText(code));
    addr = resolved;
    return 0;
  };
  switch (property) {
    case kPropReceiveEnabled:
      receiveEnabled = number != 0;
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
      return 0;
    case kPropActive:
      if (number != 0) return OpenWithRetry();
      Close();
      return 0;
    case kPropAuthProtocol:
      authProtocol = number;
      return 0;
    case kPropCommunity:
      out.Community.assign(text());
      return 0;
    case kPropLocalEngineId:
      localEngineId = text();
      return 0;
    case kPropLocalHost: {
      if (socket.IsOpen()) return Fail(kErrLocalHostActive, kTextLocalHostActive);
      // A host name stands for its first IPv4 address, as the component always took it.
      TNetAddress addr;
      if (const int code = resolve(text(), addr, AF_INET); code != 0) return code;
      localAddr = addr;
      return 0;
    }
    case kPropLocalPort:
      if (socket.IsOpen()) return Fail(kErrLocalPortActive, kTextLocalPortActive);
      localPort = number;
      return 0;
    case kPropObjCount:
      if (number < 0 || number > kMaxObjects) return Fail(kErrTooManyObjects, kTextTooManyObjects);
      objects.SetCount(number);
      return 0;
    case kPropObjId:
    case kPropObjType:
    case kPropObjValue: {
      if (index < 1 || index > objects.Count())
        return Fail(kErrBadObjectIndex, kTextBadObjectIndex);
      TSnmpObject& o = objects.At(index);
      // Straight from the caller's bytes: a request sets 15 of these for every send.
      const char* p = reinterpret_cast<const char*>(value);
      const size_t n = !p ? 0 : length >= 0 ? static_cast<size_t>(length) : std::strlen(p);
      if (property == kPropObjType)
        o.Type = number;
      else if (property == kPropObjId)
        o.Id.assign(p, n);
      else
        o.Value.assign(p, n);
      return 0;
    }
    case kPropPassword:
      password = text();
      return 0;
    case kPropRemoteEngineBoots:
      remoteBoots = number;
      return 0;
    case kPropRemoteEngineId:
      remoteEngineId = text();
      return 0;
    case kPropRemoteEngineTime:
      remoteTime = number;
      remoteTimeAtMs = NowMs();
      clockKnown = true;
      return 0;
    case kPropRemoteHost: {
      if (options.UseConnection && socket.IsOpen())
        return Fail(kErrRemoteHostConnected, kTextRemoteHostConnected);
      // An agent's name resolves in both families; the resolver's first answer is taken, as
      // net-snmp takes it. The socket follows its family when the next request is sent.
      TNetAddress addr;
      if (const int code = resolve(text(), addr, AF_UNSPEC); code != 0) return code;
      // The same agent again keeps what was learnt of its engine; callers set the host before
      // every request.
      if (addr != remoteAddr) ForgetRemoteEngine();
      remoteAddr = addr;
      return 0;
    }
    case kPropRemotePort:
      if (options.UseConnection && socket.IsOpen())
        return Fail(kErrRemotePortConnected, kTextRemotePortConnected);
      if (number != remotePort) ForgetRemoteEngine();
      remotePort = number;
      return 0;
    case kPropRequestId:
      out.RequestId = number;
      return 0;
    case kPropSNMPVersion:
      out.Version = number == 2 ? kSnmpV2c : number == 3 ? kSnmpV3 : kSnmpV1;
      return 0;
    case kPropTimeout:
      timeoutMs = timeoutInMilliseconds ? number : number * 1000;
      deadline = 0;
      return 0;
    case kPropUser:
      user = text();
      out.UserName.assign(user);
      return 0;
    default:  // read-only (5, 6, 7) or unknown
      return -1;
  }
}

// ---------------------------------------------------------------------------------------------
// Config

int TSnmpMgrEngine::Config(const std::string& setting, std::string& result) {
  errorText.clear();
  result.clear();
  const size_t eq = setting.find('=');
  std::string name = setting.substr(0, eq);
  const bool write = eq != std::string::npos;
  const std::string value = write ? setting.substr(eq + 1) : std::string();
  // An index after the name ("Name[2]", "Name(2)") is accepted and ignored.
  if (!name.empty() && (name.back() == ']' || name.back() == ')')) {
    const char open = name.back() == ']' ? '[' : '(';
    const size_t at = name.rfind(open);
    if (at != std::string::npos) name.erase(at);
  }
  const std::string key = LowerAscii(name);
  auto boolSetting = [&](bool& field) {
    if (write)
      field = ParseBool(value);
    else
      result = BoolText(field);
    return 0;
  };
  auto intSetting = [&](int& field) {
    if (write)
      field = ParseInt(value);
    else
      result = std::to_string(field);
    return 0;
  };
  auto textSetting = [&](std::string& field) {
    if (write)
      field = value;
    else
      result = field;
    return 0;
  };
  auto readOnly = [&](const std::string& text) {
    if (!write) result = text;
    return 0;
  };
  auto socketOption = [&](int& field) {
    intSetting(field);
    if (write && socket.IsOpen()) {
      const int code = socket.ApplyOptions(options);
      if (code != 0) return Fail(code, WinsockErrorText(code));
    }
    return 0;
  };

  if (key == "forcelocalport") return boolSetting(forceLocalPort);
  if (key == "ignoreportmismatch") return boolSetting(ignorePortMismatch);
  if (key == "timewindow") return intSetting(timeWindow);
  if (key == "trapport") return intSetting(trapPort);
  if (key == "trapagentaddress") {
    uint32_t addr = 0;
    if (write && !value.empty() && value != "255.255.255.255" && !ParseDottedAddress(value, addr))
      return Fail(kErrNotIpAddress, kTextNotIpAddress);
    return textSetting(trapAgentAddress);
  }
  if (key == "trapcommunity") {
    if (write)
      out.Community.assign(value);
    else
      result = out.Community.str();
    return 0;
  }
  if (key == "trapenterprise") return textSetting(trapEnterprise);
  if (key == "useconnection") {
    if (write && socket.IsOpen()) return Fail(kErrUseConnectionActive, kTextUseConnectionActive);
    return boolSetting(options.UseConnection);
  }
  if (key == "sharelocalport") return boolSetting(options.ShareLocalPort);
  if (key == "maxpacketsize") {
    if (write && socket.IsOpen()) return Fail(kErrMaxPacketSizeActive, kTextMaxPacketSizeActive);
    intSetting(maxPacketSize);
    // The size an SNMPv3 request offers the agent (msgMaxSize); datagrams are received whole
    // whatever it says. At most 64 KiB, at least one octet.
    if (maxPacketSize > kMaxPacketLimit) maxPacketSize = kMaxPacketLimit;
    if (maxPacketSize < 1) maxPacketSize = 1;
    out.MsgMaxSize = maxPacketSize;
    return 0;
  }
  if (key == "qosflags") return socketOption(options.QOSFlags);
  if (key == "sockethandle") return readOnly(std::to_string(socket.Handle()));
  if (key == "inbuffersize") return socketOption(options.InBufferSize);
  if (key == "outbuffersize") return socketOption(options.OutBufferSize);
  if (key == "timetolive" || key == "ttl") {
    if (write && ParseInt(value) == 0) return 0;  // 0 keeps the system's default
    return socketOption(options.TimeToLive);
  }
  if (key == "absolutetimeout") return boolSetting(absoluteTimeout);
  if (key == "timeoutinmilliseconds") {
    if (write)
      timeoutInMilliseconds = ParseBool(value);
    else
      result = timeoutInMilliseconds ? "1" : "0";
    return 0;
  }
  // The SNMPv3 settings (Reset keeps them). Passwords read back as empty text.
  auto nameSetting = [&](int& field, int (*fromName)(std::string_view), const char* (*toName)(int),
                         const char* unknown) {
    if (!write) {
      result = toName(field);
      return 0;
    }
    const int parsed = fromName(value);
    if (parsed < 0) return Fail(kErrUnknownV3Name, unknown);
    field = parsed;
    return 0;
  };
  auto passwordSetting = [&](std::string& field) {
    if (!write) return 0;
    // RFC 3414 11.2: shorter passwords make keys that can be guessed; net-snmp refuses them too.
    if (!value.empty() && value.size() < 8)
      return Fail(kErrPasswordTooShort, kTextPasswordTooShort);
    Cleanse(field);
    field = value;
    return 0;
  };
  if (key == "securitylevel")
    return nameSetting(securityLevel, SecurityLevelFromName, SecurityLevelName,
                       kTextUnknownSecurityLevel);
  if (key == "authtype")
    return nameSetting(authType, AuthProtocolFromName, AuthProtocolName, kTextUnknownAuthProtocol);
  if (key == "privtype")
    return nameSetting(privType, PrivProtocolFromName, PrivProtocolName, kTextUnknownPrivProtocol);
  if (key == "authpassword") return passwordSetting(authPassword);
  if (key == "privpassword") return passwordSetting(privPassword);
  if (key == "contextname") return textSetting(contextName);
  if (key == "droppedpackets") return readOnly(std::to_string(droppedPackets));
  if (key == "winsockloaded") return readOnly("True");
  if (key == "winsockmaxdatagramsize") return readOnly("65507");
  if (key == "winsockinfo") return readOnly("POSIX sockets");
  if (key == "winsockmaxsockets") {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    return readOnly(std::to_string(limit.rlim_cur));
  }
  if (key == "winsockpath") return readOnly("libc");
  if (key == "winsockstatus") return readOnly("Running");
  if (key == "codepage") return intSetting(codePage);
  if (key == "charsetmode") return intSetting(charsetMode);
  if (key == "sendgetresponse") {
    // Sends a Response to host:port, which the manager role refuses.
    if (write) {
      const size_t colon = value.rfind(':');
      const std::string host = value.substr(0, colon);
      TNetAddress addr;
      if (!ParseAddress(host, addr)) {
        const int code = ResolveHostName(host, addr);
        if (code != 0) return Fail(code, WinsockErrorText(code));
      }
      remoteAddr = addr;
      if (colon != std::string::npos) remotePort = ParseInt(value.substr(colon + 1));
      ForgetRemoteEngine();
      return Fail(kErrRole, kTextRole);
    }
    return 0;
  }
  return Fail(kErrUnknownConfig, kTextUnknownConfig);
}

}  // namespace kestrava
