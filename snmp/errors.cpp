#include "snmp/errors.h"

#include <netdb.h>

#include <cerrno>
#include <iterator>

namespace kestrava {

const char kTextUnknownConfig[] = "Unknown config setting.";
const char kTextAlreadyActive[] = "UDPPort is already Active.";
const char kTextLocalPortActive[] = "You cannot change the LocalPort while the control is Active.";
const char kTextLocalHostActive[] = "Cannot change LocalHost while the control is Active.";
const char kTextNotActive[] = "The control must be Active for this operation.";
const char kTextMaxPacketSizeActive[] = "Cannot change MaxPacketSize while the control is Active.";
const char kTextRemoteHostConnected[] =
    "Cannot change RemoteHost when UseConnection is set and the control is Active.";
const char kTextRemotePortConnected[] =
    "Cannot change RemotePort when UseConnection is set and the control is Active.";
const char kTextRemotePortZero[] =
    "RemotePort can't be zero when UseConnection is set. Please specify a valid service port "
    "number.";
const char kTextUseConnectionActive[] =
    "Cannot change UseConnection option while the control is Active.";
const char kTextOutOfMemory[] = "Out of memory.";
const char kTextBadObjectIndex[] = "Invalid object index: must be in [1..ObjCount].";
const char kTextTimeout[] = "Timeout.";
const char kTextInterrupted[] = "Interrupted.";
const char kTextTooManyObjects[] = "Value exceeds maximum number of objects allowed.";
const char kTextNotIpAddress[] = "Value must be an IP address.";
const char kTextBadAction[] = "Invalid Action code";
const char kTextBusy[] = "Busy performing current action.";
const char kTextClockUnknown[] =
    "RemoteEngineTime must be known in order to complete the requested operation. Perform a "
    "discover first.";
const char kTextTimeoutNotPositive[] = "Timeout must be positive for the requested operation.";
const char kTextRole[] = "Operation not permitted in current role.";
const char kTextNoSuchOid[] = "OID does not exist.";
const char kTextBuildPacket[] = "Error building SNMP packet.";
const char kTextBuildPdu[] = "Error building SNMP PDU.";
const char kTextDigestWrong[] =
    "User authentication failed (signature of incoming packet could not be verified with the "
    "local user credentials).";
const char kTextNoAuthPassword[] =
    "User authentication failed (incoming packet claims to be signed but local user credentials "
    "do not provide an authentication password).";
const char kTextSignatureMissing[] =
    "User authentication failed (incoming packet claims to be signed but it is missing the "
    "signature).";
const char kTextNotSigned[] =
    "An authenticated message was expected, but the received message is not signed.";
const char kTextDecryption[] =
    "Decryption of incoming packet failed (check the privacy protocol and password).";
const char kTextUnknownSecurityLevel[] =
    "Unknown security level (noAuthNoPriv, authNoPriv or authPriv).";
const char kTextUnknownAuthProtocol[] =
    "Unknown authentication protocol (MD5, SHA, SHA-224, SHA-256, SHA-384 or SHA-512).";
const char kTextUnknownPrivProtocol[] = "Unknown privacy protocol (DES, AES, AES-192 or AES-256).";
const char kTextPasswordTooShort[] = "Password must be at least 8 characters.";
const char kTextAuthPasswordMissing[] = "The security level needs an authentication password.";
const char kTextPrivPasswordMissing[] = "The security level needs a privacy password.";
const char kTextUnreachable[] = "Destination unreachable (service unavailable?).";
const char kTextRecvError[] = "Winsock error in recv()";
const char kTextParseError[] = "SNMP: Error parsing received packet.";
const char kTextOriginUnknown[] = "Message origin unknown.";
const char kTextVersionMismatch[] = "SNMP Version mismatch.";
const char kTextRequestIdMismatch[] = "SNMP RequestId mismatch.";
const char kTextCommunityMismatch[] = "SNMP Community mismatch.";
const char kTextV3MessageIdMismatch[] = "SNMP V3 MessageId mismatch.";
const char kTextV3UserMismatch[] = "SNMP V3 User mismatch.";
const char kTextV3EngineIdMismatch[] = "SNMP V3 EngineId mismatch.";
const char kTextUnknownEngineId[] = "Invalid or unknown EngineId in packet. Packet ignored.";
const char kTextBadTiming[] = "Invalid packet timing parameters. Packet ignored.";
const char kTextMalformed[] = "Malformed packet. Ignored.";
const char kTextBuildResponse[] = "Error building response packet.";
const char kTextSendResponse[] = "Error sending response packet.";

namespace {

struct TCodeText {
  int code;
  const char* text;
};

constexpr TCodeText kWinsockTexts[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Access denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Net dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empt"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc Quota Exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "WINSOCK DLL Version out of range"},
    {10093, "Winsock not loaded yet (WSANOTINITIALISED)"},
    {11001, "Host not found"},
    {11002, "Non-authoritative 'Host not found' (try again or check DNS setup)"},
    {11003, "Non-recoverable errors: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record (check DNS setup)"},
};

// errno values of socket calls and their Windows Sockets numbers (10000 + the BSD number;
// ECONNREFUSED is what Linux reports for an ICMP port unreachable, the Windows 10054).
struct TErrnoCode {
  int err;
  int code;
};
constexpr TErrnoCode kErrnoCodes[] = {
    {EINTR, 10004},           {EBADF, 10009},        {EACCES, 10013},
    {EFAULT, 10014},          {EINVAL, 10022},       {EMFILE, 10024},
    {EWOULDBLOCK, 10035},     {EINPROGRESS, 10036},  {EALREADY, 10037},
    {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},        {ENETUNREACH, 10051},  {ENETRESET, 10052},
    {ECONNABORTED, 10053},    {ECONNRESET, 10054},   {ENOBUFS, 10055},
    {EISCONN, 10056},         {ENOTCONN, 10057},     {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},    {ECONNREFUSED, 10054},
    {ELOOP, 10062},           {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},    {EUSERS, 10068},
    {EDQUOT, 10069},          {ESTALE, 10070},       {EREMOTE, 10071},
};

constexpr const char* kErrorStatusNames[] = {
    "noError",
    "tooBig",
    "noSuchName",
    "badValue",
    "readOnly",
    "genError",
    "noAccess",
    "wrongType",
    "wrongLength",
    "wrongEncoding",
    "wrongValue",
    "noCreation",
    "inconsistentValue",
    "resourceUnavailable",
    "commitFailed",
    "undoFailed",
    "authorizationError",
    "notWritable",
    "inconsistentName",
};

}  // namespace

const char* UsmReportText(int code) {
  static constexpr const char* kTexts[] = {
      "SNMP V3 report: unsupported security level for this user (usmStatsUnsupportedSecLevels).",
      "SNMP V3 report: not in time window, the agent's clock could not be followed "
      "(usmStatsNotInTimeWindows).",
      "SNMP V3 report: unknown user name (usmStatsUnknownUserNames).",
      "SNMP V3 report: unknown engine id, the agent's engine id could not be followed "
      "(usmStatsUnknownEngineIDs).",
      "SNMP V3 report: wrong digest, check the authentication protocol and password "
      "(usmStatsWrongDigests).",
      "SNMP V3 report: decryption error, check the privacy protocol and password "
      "(usmStatsDecryptionErrors).",
  };
  if (code < kErrReportUnsupportedSecLevel || code > kErrReportDecryptionError) return nullptr;
  return kTexts[code - kErrReportUnsupportedSecLevel];
}

std::string WinsockErrorText(int code) {
  for (const TCodeText& row : kWinsockTexts) {
    if (row.code == code)
      return std::string("[").append(std::to_string(code)).append("] ") + row.text;
  }
  return std::string("[").append(std::to_string(code)).append("] (no description available)");
}

int WinsockCodeFromErrno(int err) {
  // EAGAIN and EWOULDBLOCK are the same value on Linux; ENOMEM behaves as a lack of buffers.
  if (err == EAGAIN) return kWsaEwouldblock;
  if (err == ENOMEM) return kWsaEnobufs;
  for (const TErrnoCode& row : kErrnoCodes) {
    if (row.err == err) return row.code;
  }
  return 10000 + err;
}

int WinsockCodeFromResolver(int gaiResult) {
  switch (gaiResult) {
    case 0:
      return 0;
    case EAI_AGAIN:
      return kWsaTryAgain;
    case EAI_FAIL:
      return kWsaNoRecovery;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return kWsaNoData;
    case EAI_MEMORY:
      return kWsaEnobufs;
    case EAI_SYSTEM:
      return WinsockCodeFromErrno(errno);
    default:  // EAI_NONAME, EAI_SERVICE, ...
      return kWsaHostNotFound;
  }
}

const char* ErrorStatusName(int errorStatus) {
  if (errorStatus < 0 || errorStatus >= static_cast<int>(std::size(kErrorStatusNames)))
    return "<unknown error>";
  return kErrorStatusNames[errorStatus];
}

}  // namespace kestrava
