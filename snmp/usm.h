#pragma once
// SNMPv3 user-based security for the manager (RFC 3414, RFC 3826, RFC 7860): password-to-key
// and key localisation, HMAC authentication of whole messages (MD5, SHA-1 and the SHA-2
// family, with the truncation each protocol prescribes), and privacy of the scoped PDU
// (DES-CBC, AES-128/192/256 in CFB mode, the longer AES keys extended as net-snmp does).
// Every digest and cipher comes from OpenSSL's libcrypto; nothing here is written by hand.
// Signing: BuildMessage writes zero octets as the authentication parameters and signs the
// finished message. Checking: ParseMessage records where the received parameters lie
// (TSnmpMessage::AuthParamsOffset); verification recomputes the digest over the datagram with
// those octets taken as zeros and compares in constant time.
// Thread: the free functions are pure and callable from any thread. A TUsmKeys is prepared
// once; afterwards one thread may sign and encrypt while another verifies and decrypts.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "snmp/byte_buffer.h"

namespace kestrava {

// The AuthProtocol property's values (1 and 2 as the component always had them).
enum : int {
  kAuthNone = 0,
  kAuthMd5 = 1,
  kAuthSha1 = 2,
  kAuthSha224 = 3,
  kAuthSha256 = 4,
  kAuthSha384 = 5,
  kAuthSha512 = 6,
};
enum : int { kPrivNone = 0, kPrivDes = 1, kPrivAes128 = 2, kPrivAes192 = 3, kPrivAes256 = 4 };
// Security levels, as net-snmp numbers them; the message flags are 0, 1 and 3.
enum : int { kNoAuthNoPriv = 1, kAuthNoPriv = 2, kAuthPriv = 3 };

// The authentication parameters of MD5 and SHA-1 messages (HMAC-*-96).
inline constexpr size_t kAuthParamsSize = 12;
inline constexpr size_t kPrivParamsSize = 8;

// Digest length of the protocol (16 MD5, 20 SHA-1, 28..64 SHA-2); 0 for an unknown protocol.
size_t DigestSize(int authProtocol);
// The authentication parameters' length: 12 for MD5 and SHA-1, 16/24/32/48 for SHA-224..512.
size_t AuthParamsSize(int authProtocol);
// Key length the cipher needs from the localised privacy key (DES: key and pre-IV, 16).
size_t PrivKeySize(int privProtocol);

// Protocol names as net-snmp spells them ("MD5", "SHA", "SHA-256", "DES", "AES", "AES-256",
// "noAuthNoPriv", ...), compared without regard to ASCII case; -1 when unknown.
int AuthProtocolFromName(std::string_view name);
int PrivProtocolFromName(std::string_view name);
int SecurityLevelFromName(std::string_view name);
const char* AuthProtocolName(int authProtocol);  // "" for an unknown protocol
const char* PrivProtocolName(int privProtocol);
const char* SecurityLevelName(int level);

// The user's key: the digest of the password repeated to 1,048,576 octets. Empty for an
// unknown protocol or an empty password.
std::string PasswordToKey(int authProtocol, std::string_view password);
// The key localised to one engine: digest(key + engineId + key). Empty as above.
std::string LocalizeKey(int authProtocol, std::string_view password, std::string_view engineId);
// The localised privacy key, extended to PrivKeySize: for AES-192 and AES-256 behind a short
// digest the key grows by the digest of what it holds so far (the key extension net-snmp
// applies to these ciphers). Empty for an unknown protocol or an empty password.
std::string LocalizePrivKey(int authProtocol, int privProtocol, std::string_view password,
                            std::string_view engineId);
// Full-length HMAC of data under key (RFC 2104); empty for an unknown protocol.
std::string Hmac(int authProtocol, std::string_view key, std::string_view data);
// Compares two byte strings in time that depends only on their length.
bool ConstantTimeEqual(std::string_view a, std::string_view b);
// Overwrites a key or password before its storage is given back (not optimised away).
void Cleanse(std::string& secret);

// The localised keys of one user at one engine, with OpenSSL's digest and cipher state set up
// once, so that each message only runs the algorithms. Not copyable (it owns that state).
class TUsmKeys {
 public:
  TUsmKeys();
  ~TUsmKeys();
  TUsmKeys(const TUsmKeys&) = delete;
  TUsmKeys& operator=(const TUsmKeys&) = delete;

  // Prepares for the protocols with localised keys (LocalizeKey, LocalizePrivKey). kAuthNone
  // or kPrivNone switch that half off. False (and nothing usable) when a protocol is unknown,
  // a key is shorter than its protocol needs, or privacy is asked without authentication.
  bool Prepare(int authProtocol, std::string_view authKey, int privProtocol,
               std::string_view privKey);
  int AuthProtocol() const { return m_auth; }
  int PrivProtocol() const { return m_priv; }
  bool CanAuthenticate() const { return m_auth != kAuthNone; }
  bool CanEncrypt() const { return m_priv != kPrivNone; }

  // Writes the truncated HMAC of message[0, size) over message[authOffset, +AuthParamsSize),
  // which must hold zeros when called. False without an authentication key or out of range.
  bool Sign(uint8_t* message, size_t size, size_t authOffset);
  // True when the authLength octets at authOffset are the truncated HMAC of the message with
  // those octets taken as zeros. A length other than the protocol's is refused.
  bool Verify(const uint8_t* message, size_t size, size_t authOffset, size_t authLength);

  // Encrypts data[0, size) in place. DES needs size to be a multiple of 8 (the caller pads).
  // The salt: AES takes all 64 bits, DES boots and the low 32 bits. privParams receives the
  // 8 octets that travel as the privacy parameters.
  bool Encrypt(uint8_t* data, size_t size, int32_t boots, int32_t time, uint64_t salt,
               uint8_t privParams[kPrivParamsSize]);
  // Decrypts cipher into plain (replaced). False for privacy parameters that are not 8 octets,
  // a DES ciphertext that is not a multiple of 8, or a cipher failure.
  bool Decrypt(const uint8_t* cipher, size_t size, int32_t boots, int32_t time,
               const uint8_t* privParams, size_t privLength, TByteBuffer& plain);

 private:
  struct TState;
  bool Digest(bool forSign, const uint8_t* message, size_t size, size_t authOffset,
              uint8_t* digest);

  int m_auth = kAuthNone;
  int m_priv = kPrivNone;
  std::unique_ptr<TState> m_state;
};

// What BuildMessage needs to fill, encrypt and sign an SNMPv3 request.
struct TUsmCredentials {
  std::string User;
  int AuthProtocol = kAuthMd5;
  std::string AuthKey;  // localised key (LocalizeKey); empty = no password, no authentication
  int PrivProtocol = kPrivNone;
  std::string PrivKey;   // localised privacy key (LocalizePrivKey); empty = no privacy
  std::string EngineId;  // the remote (authoritative) engine id, also the context engine id
  std::string ContextName;
  bool ClockKnown = false;
  int32_t EngineBoots = 0;  // the remote engine's clock as it stands now
  int32_t EngineTime = 0;
  uint64_t Salt = 0;  // privacy: this message's salt (the caller never gives the same twice)
  // The same keys prepared (faster); null: BuildMessage prepares them for the one call.
  TUsmKeys* Keys = nullptr;
};

// Writes the protocol's truncated HMAC of message[0, size) into message[authOffset, ...), which
// must hold zeros when called. False for an unknown protocol, an empty key or an offset out of
// range.
bool SignMessage(int authProtocol, std::string_view localizedKey, uint8_t* message, size_t size,
                 size_t authOffset);
// True when the authLength octets at authOffset are the protocol's truncated HMAC of the
// message with those octets taken as zeros. Parameters of any other length fail.
bool VerifyMessage(int authProtocol, std::string_view localizedKey, const uint8_t* message,
                   size_t size, size_t authOffset, size_t authLength);

}  // namespace kestrava
