#pragma once
// Every error code and text of the SNMP layer in one place: the codes of the codec, of the
// component's calls and of its receive path, the Windows Sockets numbers its users see for
// socket and resolver failures (errno and getaddrinfo results are mapped onto them), and the
// names of the SNMP error-status values.
// Thread: pure functions over constant tables; any thread.

#include <string>

namespace kestrava {

// Codes of the codec, of calls and of the receive path (0 is success).
enum TSnmpError : int {
  kErrNone = 0,
  kErrUnknownConfig = -1,
  kErrAlreadyActive = 104,
  kErrLocalPortActive = 106,
  kErrLocalHostActive = 107,
  kErrNotActive = 109,
  kErrMaxPacketSizeActive = 112,
  kErrRemoteHostConnected = 114,
  kErrRemotePortConnected = 115,
  kErrRemotePortZero = 116,
  kErrUseConnectionActive = 117,
  kErrOutOfMemory = 200,
  kErrBadArrayIndex = 280,
  kErrBadObjectIndex = 301,
  kErrTimeout = 301,
  kErrTooManyObjects = 302,
  kErrNotIpAddress = 303,
  kErrBadAction = 304,
  kErrBadVersion = 305,  // a version other than 0, 1 or 3
  kErrBadPduType = 306,  // a PDU tag outside 0xA0..0xA8
  kErrBusy = 307,
  kErrDigestWrong = 308,       // the signature does not verify
  kErrNoAuthPassword = 309,    // signed, but no authentication password here
  kErrSignatureMissing = 310,  // signed, but no signature
  kErrClockUnknown = 311,      // an authenticated request before the remote clock is known
  kErrBadSecurityModel = 316,  // an SNMPv3 security model other than 3
  kErrTimeoutNotPositive = 312,
  kErrDecryption = 313,          // an encrypted answer could not be decrypted here
  kErrUnknownV3Name = 314,       // a security level or protocol name that is not known
  kErrPasswordTooShort = 315,    // an SNMPv3 password under 8 characters
  kErrCredentialsMissing = 317,  // the security level needs a password that is not set
  kErrMismatch = 318,
  kErrRole = 319,
  kErrEngineIdIgnored = 320,
  kErrNotSigned = 321,  // an authenticated answer was expected
  kErrNoSuchOid = 322,
  // The agent's USM reports (RFC 3414), in the order of their usmStats counters .1 to .6.
  kErrReportUnsupportedSecLevel = 323,
  kErrReportNotInTimeWindow = 324,  // even after the clock was taken from the agent
  kErrReportUnknownUserName = 325,
  kErrReportUnknownEngineId = 326,  // even after the engine id was learnt again
  kErrReportWrongDigest = 327,
  kErrReportDecryptionError = 328,
  kErrBadElement = 446,      // an element that cannot be read or built
  kErrMissingElement = 447,  // a required element is missing
};

// Windows Sockets numbers used by the transport.
enum TWinsockError : int {
  kWsaEintr = 10004,
  kWsaEbadf = 10009,
  kWsaEacces = 10013,
  kWsaEfault = 10014,
  kWsaEinval = 10022,
  kWsaEmfile = 10024,
  kWsaEwouldblock = 10035,
  kWsaEmsgsize = 10040,
  kWsaEaddrinuse = 10048,
  kWsaEaddrnotavail = 10049,
  kWsaEnetunreach = 10051,
  kWsaEconnreset = 10054,
  kWsaEnobufs = 10055,
  kWsaEhostunreach = 10065,
  kWsaHostNotFound = 11001,
  kWsaTryAgain = 11002,
  kWsaNoRecovery = 11003,
  kWsaNoData = 11004,
};

// Texts of the component's own codes (the first text where a code has several).
extern const char kTextUnknownConfig[];
extern const char kTextAlreadyActive[];
extern const char kTextLocalPortActive[];
extern const char kTextLocalHostActive[];
extern const char kTextNotActive[];
extern const char kTextMaxPacketSizeActive[];
extern const char kTextRemoteHostConnected[];
extern const char kTextRemotePortConnected[];
extern const char kTextRemotePortZero[];
extern const char kTextUseConnectionActive[];
extern const char kTextOutOfMemory[];
extern const char kTextBadObjectIndex[];
extern const char kTextTimeout[];
extern const char kTextInterrupted[];
extern const char kTextTooManyObjects[];
extern const char kTextNotIpAddress[];
extern const char kTextBadAction[];
extern const char kTextBusy[];
extern const char kTextClockUnknown[];
extern const char kTextTimeoutNotPositive[];
extern const char kTextRole[];
extern const char kTextNoSuchOid[];
extern const char kTextBuildPacket[];
extern const char kTextBuildPdu[];
extern const char kTextDigestWrong[];
extern const char kTextNoAuthPassword[];
extern const char kTextSignatureMissing[];
extern const char kTextNotSigned[];
extern const char kTextDecryption[];
extern const char kTextUnknownSecurityLevel[];
extern const char kTextUnknownAuthProtocol[];
extern const char kTextUnknownPrivProtocol[];
extern const char kTextPasswordTooShort[];
extern const char kTextAuthPasswordMissing[];
extern const char kTextPrivPasswordMissing[];
// The text of a USM report's code (323..328); nullptr for any other code.
const char* UsmReportText(int code);
// Receive path.
extern const char kTextUnreachable[];
extern const char kTextRecvError[];
extern const char kTextParseError[];
extern const char kTextOriginUnknown[];
extern const char kTextVersionMismatch[];
extern const char kTextRequestIdMismatch[];
extern const char kTextCommunityMismatch[];
extern const char kTextV3MessageIdMismatch[];
extern const char kTextV3UserMismatch[];
extern const char kTextV3EngineIdMismatch[];
extern const char kTextUnknownEngineId[];
extern const char kTextBadTiming[];
extern const char kTextMalformed[];
extern const char kTextBuildResponse[];
extern const char kTextSendResponse[];

// "[code] description", or "[code] (no description available)" for a code not in the table.
std::string WinsockErrorText(int code);
// The Windows Sockets number for an errno value of a socket call.
int WinsockCodeFromErrno(int err);
// The Windows Sockets number for a getaddrinfo() result (EAI_NONAME -> 11001, ...).
int WinsockCodeFromResolver(int gaiResult);
// The name of an SNMP error-status ("noError", "tooBig", ...; "<unknown error>" otherwise).
const char* ErrorStatusName(int errorStatus);

}  // namespace kestrava
