#pragma once
// SNMPv3 user-based security for the manager: password-to-key and key localisation, and
// HMAC-MD5-96 / HMAC-SHA-96 authentication of whole messages (the 12-octet authentication
// parameters). Privacy is not offered. Digests come from Qt Core.
// Signing: BuildMessage writes 12 zero octets as the authentication parameters and calls
// SignMessage on the finished message. Checking: ParseMessage records where the received
// parameters lie (TSnmpMessage::AuthParamsOffset); VerifyMessage recomputes the digest over the
// datagram with those octets taken as zeros and compares in constant time.
// Thread: pure functions, callable from any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava {

enum : int { kAuthMd5 = 1, kAuthSha1 = 2 };  // the AuthProtocol property's values
inline constexpr size_t kAuthParamsSize = 12;

// What BuildMessage needs to fill and sign an SNMPv3 request.
struct TUsmCredentials {
  std::string User;
  int AuthProtocol = kAuthMd5;
  std::string AuthKey;   // localised key (LocalizeKey); empty = no password, no authentication
  std::string EngineId;  // the remote (authoritative) engine id, also the context engine id
  bool ClockKnown = false;
  int32_t EngineBoots = 0;  // the remote engine's clock as it stands now
  int32_t EngineTime = 0;
};

// Digest length of the protocol (16 MD5, 20 SHA-1); 0 for an unknown protocol.
size_t DigestSize(int authProtocol);
// The user's key: the digest of the password repeated to 1,048,576 octets. Empty for an
// unknown protocol or an empty password.
std::string PasswordToKey(int authProtocol, std::string_view password);
// The key localised to one engine: digest(key + engineId + key). Empty as above.
std::string LocalizeKey(int authProtocol, std::string_view password, std::string_view engineId);
// Full-length HMAC of data under key (RFC 2104); empty for an unknown protocol.
std::string Hmac(int authProtocol, std::string_view key, std::string_view data);
// Compares two byte strings in time that depends only on their length.
bool ConstantTimeEqual(std::string_view a, std::string_view b);

// Writes the first 12 octets of the HMAC of message[0, size) into message[authOffset, +12),
// which must hold zeros when called. False for an unknown protocol, an empty key or an offset
// out of range.
bool SignMessage(int authProtocol, std::string_view localizedKey, uint8_t* message, size_t size,
                 size_t authOffset);
// True when the authLength octets at authOffset are the first 12 octets of the HMAC of the
// message with those octets taken as zeros. Parameters of any length other than 12 fail.
bool VerifyMessage(int authProtocol, std::string_view localizedKey, const uint8_t* message,
                   size_t size, size_t authOffset, size_t authLength);

}  // namespace kestrava
