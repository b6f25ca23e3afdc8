#include "config/session_checks.h"

#include <cstdlib>

#include "config/secrets.h"

namespace kestrava {

namespace {

// RFC 3414 11.2: shorter passwords give keys that can be guessed; net-snmp refuses them too.
constexpr size_t kMinPasswordLength = 8;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

template <size_t N>
std::string Canonical(std::string_view name, const char* const (&names)[N]) {
  for (const char* known : names) {
    if (EqualsIgnoringCase(name, known)) return known;
  }
  return std::string();
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// How a setting is named where the user gave it.
struct TSettingNames {
  const char* Port;
  const char* User;
  const char* SecurityLevel;
  const char* AuthProtocol;
  const char* AuthPassword;
  const char* PrivProtocol;
  const char* PrivPassword;
};

const TSettingNames& NamesOf(TValueSource source) {
  static const TSettingNames commandLine = {"/PORT",         "/USER",         "/SECURITYLEVEL",
                                            "/AUTHPROTOCOL", "/AUTHPASSWORD", "/PRIVPROTOCOL",
                                            "/PRIVPASSWORD"};
  static const TSettingNames file = {"\"remoteport\"",   "\"user\"",         "\"securitylevel\"",
                                     "\"authprotocol\"", "\"authpassword\"", "\"privprotocol\"",
                                     "\"privpassword\""};
  return source == TValueSource::File ? file : commandLine;
}

// The password as given, or else from the environment; `from` names where it came from.
void TakePassword(std::string& password, const char* variable, const char* given,
                  std::string& from) {
  from = given;
  // Read and removed also when not needed: no password stays in the environment.
  std::string value = TakeSecretFromEnvironment(variable);
  if (password.empty() && !value.empty()) {
    ReplaceSecret(password, value);
    from = variable;
  }
  WipeSecret(value);
}

const char* const kLevels[] = {"noAuthNoPriv", "authNoPriv", "authPriv"};
const char* const kAuthProtocols[] = {"MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512"};
const char* const kPrivProtocols[] = {"DES", "AES", "AES-192", "AES-256"};

}  // namespace

bool TakeHost(const std::string& text, TValueSource source, std::string& host, std::string& error) {
  const char* portName = NamesOf(source).Port;
  const auto refuse = [&](std::string_view port) {
    error = "The host \"" + text + "\" names a port; give the host alone and the port with " +
            portName + (AllDigits(port) ? " (" + std::string(port) + ")" : std::string()) + ".";
    return false;
  };
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close != std::string::npos && close + 1 < text.size() && text[close + 1] == ':') {
      return refuse(std::string_view(text).substr(close + 2));
    }
    if (close == text.size() - 1) {
      host = text.substr(1, close - 1);
      return true;
    }
  }
  const size_t colon = text.find(':');
  // Two colons or more make an IPv6 address; one separates a name from a port.
  if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
    return refuse(std::string_view(text).substr(colon + 1));
  }
  host = text;
  return true;
}

std::string CanonicalSecurityLevel(std::string_view name) {
  return Canonical(name, kLevels);
}

std::string CanonicalAuthProtocol(std::string_view name) {
  return Canonical(name, kAuthProtocols);
}

std::string CanonicalPrivProtocol(std::string_view name) {
  return Canonical(name, kPrivProtocols);
}

namespace {

// Empty when every level and protocol name given is a known one, else the message.
std::string UnknownName(const TSnmpV3Settings& v3, bool levelKnown, bool authKnown, bool privKnown,
                        const TSettingNames& names) {
  if (!v3.SecurityLevel.empty() && !levelKnown)
    return "Unknown security level \"" + v3.SecurityLevel + "\" in " + names.SecurityLevel +
           "; use noAuthNoPriv, authNoPriv or authPriv.";
  if (!v3.AuthProtocol.empty() && !authKnown)
    return "Unknown authentication protocol \"" + v3.AuthProtocol + "\" in " + names.AuthProtocol +
           "; use MD5, SHA, SHA-224, SHA-256, SHA-384 or SHA-512.";
  if (!v3.PrivProtocol.empty() && !privKnown)
    return "Unknown privacy protocol \"" + v3.PrivProtocol + "\" in " + names.PrivProtocol +
           "; use DES, AES, AES-192 or AES-256.";
  return std::string();
}

// Empty when the level has the passwords it needs and each is long enough, else the message;
// `authFrom` and `privFrom` name where each password came from.
std::string PasswordProblem(const TSnmpV3Settings& v3, const TSettingNames& names,
                            const std::string& authFrom, const std::string& privFrom) {
  const bool needsAuth = v3.SecurityLevel != "noAuthNoPriv";
  const bool needsPriv = v3.SecurityLevel == "authPriv";
  if (needsAuth && v3.AuthPassword.empty())
    return "The security level " + v3.SecurityLevel + " needs an authentication password; give" +
           " it with " + names.AuthPassword + " or in " + kAuthPasswordVariable + ".";
  if (needsPriv && v3.PrivPassword.empty())
    return "The security level authPriv needs a privacy password; give it with " +
           std::string(names.PrivPassword) + " or in " + kPrivPasswordVariable + ".";
  if (!v3.AuthPassword.empty() && v3.AuthPassword.size() < kMinPasswordLength)
    return "The authentication password (" + authFrom + ") is shorter than 8 characters.";
  if (!v3.PrivPassword.empty() && v3.PrivPassword.size() < kMinPasswordLength)
    return "The privacy password (" + privFrom + ") is shorter than 8 characters.";
  return std::string();
}

}  // namespace

bool CompleteSnmpV3(TSnmpV3Settings& v3, int snmpVersion, TValueSource source, std::string& error) {
  const TSettingNames& names = NamesOf(source);
  std::string authFrom, privFrom;
  TakePassword(v3.AuthPassword, kAuthPasswordVariable, names.AuthPassword, authFrom);
  TakePassword(v3.PrivPassword, kPrivPasswordVariable, names.PrivPassword, privFrom);
  RememberSecret(v3.AuthPassword);
  RememberSecret(v3.PrivPassword);

  const std::string level = CanonicalSecurityLevel(v3.SecurityLevel);
  const std::string auth = CanonicalAuthProtocol(v3.AuthProtocol);
  const std::string priv = CanonicalPrivProtocol(v3.PrivProtocol);
  if (!level.empty()) v3.SecurityLevel = level;
  if (!auth.empty()) v3.AuthProtocol = auth;
  if (!priv.empty()) v3.PrivProtocol = priv;
  if (snmpVersion != 3) return true;

  error = UnknownName(v3, !level.empty(), !auth.empty(), !priv.empty(), names);
  if (error.empty() && v3.User.empty())
    error = std::string("SNMPv3 needs a user name; give it with ") + names.User + ".";
  if (!error.empty()) return false;
  // The defaults: the level that the passwords given allow, MD5 and DES.
  if (v3.SecurityLevel.empty()) {
    v3.SecurityLevel = v3.AuthPassword.empty()   ? "noAuthNoPriv"
                       : v3.PrivPassword.empty() ? "authNoPriv"
                                                 : "authPriv";
  }
  if (v3.AuthProtocol.empty()) v3.AuthProtocol = "MD5";
  if (v3.PrivProtocol.empty()) v3.PrivProtocol = "DES";
  error = PasswordProblem(v3, names, authFrom, privFrom);
  return error.empty();
}

}  // namespace kestrava
