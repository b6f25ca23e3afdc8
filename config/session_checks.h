#pragma once
// Checks of the values without which a session cannot start: the agent's host and the SNMPv3
// security settings. The configuration file and the command line use the same rules; only the
// names in the messages differ ("/PORT" or "remoteport"). Messages never hold a password.
// Thread: any; CompleteSnmpV3 removes the password variables from the environment, which
// other threads must not read meanwhile (it runs as a session is set up).

#include <string>
#include <string_view>

#include "config/config_rec.h"

namespace kestrava {

enum class TValueSource { CommandLine, File };

// The host text as the session takes it: an IPv6 literal in brackets loses them
// ("[2001:db8::1]" -> "2001:db8::1"), one without stays as written ("::1"). A text with a single
// ":" ("router:1161") or "[address]:port" names a port, which has its own option: false, with a
// message that points there.
bool TakeHost(const std::string& text, TValueSource source, std::string& host, std::string& error);

// The canonical spelling of a name, matched without regard to letter case; "" when unknown.
std::string CanonicalSecurityLevel(std::string_view name);  // noAuthNoPriv, authNoPriv, authPriv
std::string CanonicalAuthProtocol(std::string_view name);   // MD5, SHA, SHA-224 ... SHA-512
std::string CanonicalPrivProtocol(std::string_view name);   // DES, AES, AES-192, AES-256

// Environment variables that give a password not given in the file or on the command line.
inline constexpr char kAuthPasswordVariable[] = "KESTRAVA_AUTHPASSWORD";
inline constexpr char kPrivPasswordVariable[] = "KESTRAVA_PRIVPASSWORD";

// Completes the SNMPv3 settings as the user gave them: a missing password comes from the
// environment (its password variables are wiped and removed once read, used or not), known
// names take their canonical spelling, and every password is remembered as a secret
// (config/secrets.h). For SNMP version 3 only, the settings are then checked: a user is
// needed; a missing security level follows the passwords (both: authPriv, the authentication
// password alone: authNoPriv, none: noAuthNoPriv); missing protocols are MD5 and DES, as
// net-snmp's; an unknown name, a password shorter than 8 octets, or a level without the
// passwords it needs is refused: false with the reason.
bool CompleteSnmpV3(TSnmpV3Settings& v3, int snmpVersion, TValueSource source, std::string& error);

}  // namespace kestrava
