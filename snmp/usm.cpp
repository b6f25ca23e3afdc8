#include "snmp/usm.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <initializer_list>

namespace kestrava {

namespace {

// The algorithms are fetched once per process: an explicit fetch spares OpenSSL the look-up
// that every use of a built-in method handle would repeat.
struct TAlgorithms {
  EVP_MD* Digest[kAuthSha512 + 1] = {};
  EVP_CIPHER* Cipher[kPrivAes256 + 1] = {};
};

const TAlgorithms& Algorithms() {
  static const TAlgorithms algorithms = [] {
    TAlgorithms a;
    const char* const digests[] = {nullptr,    "MD5",      "SHA1",    "SHA2-224",
                                   "SHA2-256", "SHA2-384", "SHA2-512"};
    for (int i = kAuthMd5; i <= kAuthSha512; ++i)
      a.Digest[i] = EVP_MD_fetch(nullptr, digests[i], nullptr);
    a.Cipher[kPrivAes128] = EVP_CIPHER_fetch(nullptr, "AES-128-CFB", nullptr);
    a.Cipher[kPrivAes192] = EVP_CIPHER_fetch(nullptr, "AES-192-CFB", nullptr);
    a.Cipher[kPrivAes256] = EVP_CIPHER_fetch(nullptr, "AES-256-CFB", nullptr);
    // Single DES lives in OpenSSL's legacy provider. A library context of its own keeps that
    // provider away from every other user of libcrypto in the process.
    if (OSSL_LIB_CTX* legacy = OSSL_LIB_CTX_new()) {
      if (OSSL_PROVIDER_load(legacy, "legacy") != nullptr)
        a.Cipher[kPrivDes] = EVP_CIPHER_fetch(legacy, "DES-CBC", nullptr);
    }
    return a;
  }();
  return algorithms;
}

const EVP_MD* DigestOf(int authProtocol) {
  if (authProtocol < kAuthMd5 || authProtocol > kAuthSha512) return nullptr;
  return Algorithms().Digest[authProtocol];
}

const EVP_CIPHER* CipherOf(int privProtocol) {
  if (privProtocol < kPrivDes || privProtocol > kPrivAes256) return nullptr;
  return Algorithms().Cipher[privProtocol];
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

struct TName {
  int Value;
  const char* Name;
};
constexpr TName kAuthNames[] = {{kAuthMd5, "MD5"},        {kAuthSha1, "SHA"},
                                {kAuthSha224, "SHA-224"}, {kAuthSha256, "SHA-256"},
                                {kAuthSha384, "SHA-384"}, {kAuthSha512, "SHA-512"}};
constexpr TName kPrivNames[] = {{kPrivDes, "DES"},
                                {kPrivAes128, "AES"},
                                {kPrivAes192, "AES-192"},
                                {kPrivAes256, "AES-256"},
                                {kPrivAes128, "AES-128"}};
constexpr TName kLevelNames[] = {
    {kNoAuthNoPriv, "noAuthNoPriv"}, {kAuthNoPriv, "authNoPriv"}, {kAuthPriv, "authPriv"}};

template <size_t N>
int FromName(const TName (&table)[N], std::string_view name) {
  for (const TName& row : table)
    if (EqualNoCase(row.Name, name)) return row.Value;
  return -1;
}
template <size_t N>
const char* ToName(const TName (&table)[N], int value) {
  for (const TName& row : table)
    if (row.Value == value) return row.Name;
  return "";
}

void PutBigEndian32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value >> 24);
  p[1] = static_cast<uint8_t>(value >> 16);
  p[2] = static_cast<uint8_t>(value >> 8);
  p[3] = static_cast<uint8_t>(value);
}

// One digest over the given pieces; empty when the protocol is unknown.
std::string DigestOfPieces(int authProtocol, std::initializer_list<std::string_view> pieces) {
  const EVP_MD* md = DigestOf(authProtocol);
  if (!md) return {};
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  bool ok = ctx && EVP_DigestInit_ex(ctx, md, nullptr);
  for (const std::string_view piece : pieces)
    ok = ok && EVP_DigestUpdate(ctx, piece.data(), piece.size());
  ok = ok && EVP_DigestFinal_ex(ctx, digest, &length);
  EVP_MD_CTX_free(ctx);
  return ok ? std::string(reinterpret_cast<const char*>(digest), length) : std::string();
}

}  // namespace

size_t DigestSize(int authProtocol) {
  const EVP_MD* md = DigestOf(authProtocol);
  return md ? static_cast<size_t>(EVP_MD_get_size(md)) : 0;
}

size_t AuthParamsSize(int authProtocol) {
  // HMAC-MD5-96 and HMAC-SHA-96 (RFC 3414); the SHA-2 lengths of RFC 7860.
  switch (authProtocol) {
    case kAuthMd5:
    case kAuthSha1:
      return 12;
    case kAuthSha224:
      return 16;
    case kAuthSha256:
      return 24;
    case kAuthSha384:
      return 32;
    case kAuthSha512:
      return 48;
    default:
      return 0;
  }
}

size_t PrivKeySize(int privProtocol) {
  switch (privProtocol) {
    case kPrivDes:  // 8 octets of key, 8 of pre-IV
    case kPrivAes128:
      return 16;
    case kPrivAes192:
      return 24;
    case kPrivAes256:
      return 32;
    default:
      return 0;
  }
}

int AuthProtocolFromName(std::string_view name) {
  return FromName(kAuthNames, name);
}
int PrivProtocolFromName(std::string_view name) {
  return FromName(kPrivNames, name);
}
int SecurityLevelFromName(std::string_view name) {
  return FromName(kLevelNames, name);
}
const char* AuthProtocolName(int authProtocol) {
  return ToName(kAuthNames, authProtocol);
}
const char* PrivProtocolName(int privProtocol) {
  return ToName(kPrivNames, privProtocol);
}
const char* SecurityLevelName(int level) {
  return ToName(kLevelNames, level);
}

std::string PasswordToKey(int authProtocol, std::string_view password) {
  const EVP_MD* md = DigestOf(authProtocol);
  if (!md || password.empty()) return {};
  // The password repeated to fill one megabyte. A piece of 64 passwords is a whole number of
  // passwords and of 64-octet blocks, so the same piece is hashed again and again.
  constexpr size_t kExpandedSize = 1048576;
  std::string piece;
  piece.reserve(password.size() * 64);
  for (int i = 0; i < 64; ++i) piece.append(password);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  bool ok = ctx && EVP_DigestInit_ex(ctx, md, nullptr);
  for (size_t done = 0; ok && done < kExpandedSize; done += piece.size())
    ok = EVP_DigestUpdate(ctx, piece.data(), std::min(piece.size(), kExpandedSize - done));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  ok = ok && EVP_DigestFinal_ex(ctx, digest, &length);
  EVP_MD_CTX_free(ctx);
  return ok ? std::string(reinterpret_cast<const char*>(digest), length) : std::string();
}

std::string LocalizeKey(int authProtocol, std::string_view password, std::string_view engineId) {
  const std::string key = PasswordToKey(authProtocol, password);
  if (key.empty()) return {};
  return DigestOfPieces(authProtocol, {key, engineId, key});
}

std::string LocalizePrivKey(int authProtocol, int privProtocol, std::string_view password,
                            std::string_view engineId) {
  const size_t needed = PrivKeySize(privProtocol);
  if (needed == 0) return {};
  std::string key = LocalizeKey(authProtocol, password, engineId);
  if (key.empty()) return {};
  // net-snmp extends a key that is too short for AES-192/256 by the digest of the key so far
  // (tried against snmpd: the other extension in use elsewhere, which localises again, fails).
  while (key.size() < needed) key += DigestOfPieces(authProtocol, {key});
  key.resize(needed);
  return key;
}

std::string Hmac(int authProtocol, std::string_view key, std::string_view data) {
  const EVP_MD* md = DigestOf(authProtocol);
  if (!md) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!HMAC(md, key.data(), static_cast<int>(key.size()),
            reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest, &length))
    return {};
  return std::string(reinterpret_cast<const char*>(digest), length);
}

bool ConstantTimeEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

void Cleanse(std::string& secret) {
  OPENSSL_cleanse(secret.data(), secret.size());
  secret.clear();
}

// ---- TUsmKeys

struct TUsmKeys::TState {
  // HMAC as two digests: the inner one starts from the key XOR ipad, the outer from the key
  // XOR opad. Both starts are absorbed once here; each message copies them.
  EVP_MD_CTX* Inner = nullptr;
  EVP_MD_CTX* Outer = nullptr;
  EVP_MD_CTX* SignWork = nullptr;    // used by Sign only
  EVP_MD_CTX* VerifyWork = nullptr;  // used by Verify only
  EVP_CIPHER_CTX* Encrypt = nullptr;
  EVP_CIPHER_CTX* Decrypt = nullptr;
  uint8_t PreIv[8] = {};  // DES: the second half of the privacy key

  ~TState() {
    EVP_MD_CTX_free(Inner);
    EVP_MD_CTX_free(Outer);
    EVP_MD_CTX_free(SignWork);
    EVP_MD_CTX_free(VerifyWork);
    EVP_CIPHER_CTX_free(Encrypt);
    EVP_CIPHER_CTX_free(Decrypt);
  }
};

TUsmKeys::TUsmKeys() = default;
TUsmKeys::~TUsmKeys() = default;

bool TUsmKeys::Prepare(int authProtocol, std::string_view authKey, int privProtocol,
                       std::string_view privKey) {
  m_auth = kAuthNone;
  m_priv = kPrivNone;
  m_state.reset();
  if (authProtocol == kAuthNone) return privProtocol == kPrivNone;
  const EVP_MD* md = DigestOf(authProtocol);
  if (!md || authKey.size() < DigestSize(authProtocol)) return false;
  auto state = std::make_unique<TState>();
  TState& s = *state;
  s.Inner = EVP_MD_CTX_new();
  s.Outer = EVP_MD_CTX_new();
  s.SignWork = EVP_MD_CTX_new();
  s.VerifyWork = EVP_MD_CTX_new();
  if (!s.Inner || !s.Outer || !s.SignWork || !s.VerifyWork) return false;
  // RFC 2104: a key longer than the block is hashed first; SNMP's localised keys never are.
  const size_t block = static_cast<size_t>(EVP_MD_get_block_size(md));
  std::string key(authKey);
  if (key.size() > block) key = DigestOfPieces(authProtocol, {key});
  uint8_t ipad[128] = {};
  uint8_t opad[128] = {};
  if (block > sizeof ipad) return false;
  for (size_t i = 0; i < block; ++i) {
    const uint8_t k = i < key.size() ? static_cast<uint8_t>(key[i]) : 0;
    ipad[i] = k ^ 0x36;
    opad[i] = k ^ 0x5C;
  }
  if (!EVP_DigestInit_ex(s.Inner, md, nullptr) || !EVP_DigestUpdate(s.Inner, ipad, block) ||
      !EVP_DigestInit_ex(s.Outer, md, nullptr) || !EVP_DigestUpdate(s.Outer, opad, block))
    return false;
  OPENSSL_cleanse(ipad, sizeof ipad);
  OPENSSL_cleanse(opad, sizeof opad);
  OPENSSL_cleanse(key.data(), key.size());

  if (privProtocol != kPrivNone) {
    const EVP_CIPHER* cipher = CipherOf(privProtocol);
    const size_t keySize = PrivKeySize(privProtocol);
    if (!cipher || privKey.size() < keySize) return false;
    const auto* k = reinterpret_cast<const unsigned char*>(privKey.data());
    s.Encrypt = EVP_CIPHER_CTX_new();
    s.Decrypt = EVP_CIPHER_CTX_new();
    if (!s.Encrypt || !s.Decrypt) return false;
    // The key schedule is made here; each message sets its IV only.
    if (!EVP_EncryptInit_ex2(s.Encrypt, cipher, k, nullptr, nullptr) ||
        !EVP_DecryptInit_ex2(s.Decrypt, cipher, k, nullptr, nullptr))
      return false;
    if (privProtocol == kPrivDes) {
      std::memcpy(s.PreIv, k + 8, 8);
      // The scoped PDU is padded by the builder; the cipher adds nothing and strips nothing.
      EVP_CIPHER_CTX_set_padding(s.Encrypt, 0);
      EVP_CIPHER_CTX_set_padding(s.Decrypt, 0);
    }
  }
  m_state = std::move(state);
  m_auth = authProtocol;
  m_priv = privProtocol;
  return true;
}

bool TUsmKeys::Digest(bool forSign, const uint8_t* message, size_t size, size_t authOffset,
                      uint8_t* digest) {
  const size_t n = AuthParamsSize(m_auth);
  if (!m_state || authOffset > size || size - authOffset < n) return false;
  static constexpr uint8_t kZeros[64] = {};
  EVP_MD_CTX* work = forSign ? m_state->SignWork : m_state->VerifyWork;
  unsigned char inner[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  const size_t tail = authOffset + n;
  return EVP_MD_CTX_copy_ex(work, m_state->Inner) && EVP_DigestUpdate(work, message, authOffset) &&
         EVP_DigestUpdate(work, kZeros, n) && EVP_DigestUpdate(work, message + tail, size - tail) &&
         EVP_DigestFinal_ex(work, inner, &length) && EVP_MD_CTX_copy_ex(work, m_state->Outer) &&
         EVP_DigestUpdate(work, inner, length) && EVP_DigestFinal_ex(work, digest, &length);
}

bool TUsmKeys::Sign(uint8_t* message, size_t size, size_t authOffset) {
  uint8_t digest[EVP_MAX_MD_SIZE];
  if (!Digest(true, message, size, authOffset, digest)) return false;
  std::memcpy(message + authOffset, digest, AuthParamsSize(m_auth));
  return true;
}

bool TUsmKeys::Verify(const uint8_t* message, size_t size, size_t authOffset, size_t authLength) {
  // Only the protocol's own truncation is a valid signature; anything else is refused.
  const size_t n = AuthParamsSize(m_auth);
  if (n == 0 || authLength != n) return false;
  uint8_t digest[EVP_MAX_MD_SIZE];
  if (!Digest(false, message, size, authOffset, digest)) return false;
  return CRYPTO_memcmp(digest, message + authOffset, n) == 0;
}

bool TUsmKeys::Encrypt(uint8_t* data, size_t size, int32_t boots, int32_t time, uint64_t salt,
                       uint8_t privParams[kPrivParamsSize]) {
  if (m_priv == kPrivNone || !m_state || size > INT_MAX) return false;
  uint8_t iv[16];
  if (m_priv == kPrivDes) {
    // RFC 3414 8.1.1.1: the salt is the engine's boots and a local integer; the IV is the
    // pre-IV XOR the salt.
    if (size % 8 != 0) return false;
    PutBigEndian32(privParams, static_cast<uint32_t>(boots));
    PutBigEndian32(privParams + 4, static_cast<uint32_t>(salt));
    for (int i = 0; i < 8; ++i) iv[i] = m_state->PreIv[i] ^ privParams[i];
  } else {
    // RFC 3826 3.1.2.1: the IV is boots, time and the 64-bit salt.
    PutBigEndian32(privParams, static_cast<uint32_t>(salt >> 32));
    PutBigEndian32(privParams + 4, static_cast<uint32_t>(salt));
    PutBigEndian32(iv, static_cast<uint32_t>(boots));
    PutBigEndian32(iv + 4, static_cast<uint32_t>(time));
    std::memcpy(iv + 8, privParams, 8);
  }
  int length = 0;
  int tail = 0;
  return EVP_EncryptInit_ex2(m_state->Encrypt, nullptr, nullptr, iv, nullptr) &&
         EVP_EncryptUpdate(m_state->Encrypt, data, &length, data, static_cast<int>(size)) &&
         EVP_EncryptFinal_ex(m_state->Encrypt, data + length, &tail) &&
         static_cast<size_t>(length + tail) == size;
}

bool TUsmKeys::Decrypt(const uint8_t* cipher, size_t size, int32_t boots, int32_t time,
                       const uint8_t* privParams, size_t privLength, TByteBuffer& plain) {
  plain.clear();
  if (m_priv == kPrivNone || !m_state || privLength != kPrivParamsSize || size > INT_MAX)
    return false;
  uint8_t iv[16];
  if (m_priv == kPrivDes) {
    // RFC 3414 8.3.2: a ciphertext that is not a whole number of blocks is a decryption error.
    if (size % 8 != 0) return false;
    for (int i = 0; i < 8; ++i) iv[i] = m_state->PreIv[i] ^ privParams[i];
  } else {
    PutBigEndian32(iv, static_cast<uint32_t>(boots));
    PutBigEndian32(iv + 4, static_cast<uint32_t>(time));
    std::memcpy(iv + 8, privParams, 8);
  }
  plain.resize(size);
  int length = 0;
  int tail = 0;
  const bool ok =
      EVP_DecryptInit_ex2(m_state->Decrypt, nullptr, nullptr, iv, nullptr) &&
      EVP_DecryptUpdate(m_state->Decrypt, plain.data(), &length, cipher, static_cast<int>(size)) &&
      EVP_DecryptFinal_ex(m_state->Decrypt, plain.data() + length, &tail) &&
      static_cast<size_t>(length + tail) == size;
  if (!ok) plain.clear();
  return ok;
}

// ---- one-shot signing, for callers without prepared keys

bool SignMessage(int authProtocol, std::string_view localizedKey, uint8_t* message, size_t size,
                 size_t authOffset) {
  TUsmKeys keys;
  return !localizedKey.empty() && keys.Prepare(authProtocol, localizedKey, kPrivNone, {}) &&
         keys.Sign(message, size, authOffset);
}

bool VerifyMessage(int authProtocol, std::string_view localizedKey, const uint8_t* message,
                   size_t size, size_t authOffset, size_t authLength) {
  TUsmKeys keys;
  return !localizedKey.empty() && keys.Prepare(authProtocol, localizedKey, kPrivNone, {}) &&
         keys.Verify(message, size, authOffset, authLength);
}

}  // namespace kestrava
