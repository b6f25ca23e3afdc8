#include "snmp/usm.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <cstring>

namespace kestrava {

namespace {

bool AlgorithmFor(int authProtocol, QCryptographicHash::Algorithm& algorithm) {
  switch (authProtocol) {
    case kAuthMd5:
      algorithm = QCryptographicHash::Md5;
      return true;
    case kAuthSha1:
      algorithm = QCryptographicHash::Sha1;
      return true;
    default:
      return false;
  }
}

QByteArrayView View(std::string_view bytes) {
  return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Wraps bytes without copying them; the view must outlive the array.
QByteArray Raw(std::string_view bytes) {
  return QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToString(const QByteArray& bytes) {
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace

size_t DigestSize(int authProtocol) {
  switch (authProtocol) {
    case kAuthMd5:
      return 16;
    case kAuthSha1:
      return 20;
    default:
      return 0;
  }
}

std::string PasswordToKey(int authProtocol, std::string_view password) {
  QCryptographicHash::Algorithm algorithm;
  if (!AlgorithmFor(authProtocol, algorithm) || password.empty()) return {};
  // The password repeated to fill one megabyte, hashed in 64-octet blocks.
  constexpr size_t kExpandedSize = 1048576;
  QCryptographicHash hash(algorithm);
  char block[64];
  size_t index = 0;
  for (size_t done = 0; done < kExpandedSize; done += sizeof block) {
    for (char& c : block) c = password[index++ % password.size()];
    hash.addData(QByteArrayView(block, sizeof block));
  }
  return ToString(hash.result());
}

std::string LocalizeKey(int authProtocol, std::string_view password, std::string_view engineId) {
  QCryptographicHash::Algorithm algorithm;
  if (!AlgorithmFor(authProtocol, algorithm)) return {};
  const std::string key = PasswordToKey(authProtocol, password);
  if (key.empty()) return {};
  QCryptographicHash hash(algorithm);
  hash.addData(View(key));
  hash.addData(View(engineId));
  hash.addData(View(key));
  return ToString(hash.result());
}

std::string Hmac(int authProtocol, std::string_view key, std::string_view data) {
  QCryptographicHash::Algorithm algorithm;
  if (!AlgorithmFor(authProtocol, algorithm)) return {};
  return ToString(QMessageAuthenticationCode::hash(Raw(data), Raw(key), algorithm));
}

bool ConstantTimeEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return difference == 0;
}

namespace {

// The HMAC of the message with the 12 authentication octets at authOffset taken as zeros.
bool MessageDigest(int authProtocol, std::string_view key, const uint8_t* message, size_t size,
                   size_t authOffset, QByteArray& digest) {
  QCryptographicHash::Algorithm algorithm;
  if (!AlgorithmFor(authProtocol, algorithm) || key.empty()) return false;
  if (authOffset > size || size - authOffset < kAuthParamsSize) return false;
  static constexpr char kZeros[kAuthParamsSize] = {};
  const char* bytes = reinterpret_cast<const char*>(message);
  QMessageAuthenticationCode mac(algorithm, Raw(key));
  mac.addData(bytes, static_cast<qsizetype>(authOffset));
  mac.addData(kZeros, kAuthParamsSize);
  const size_t tail = authOffset + kAuthParamsSize;
  mac.addData(bytes + tail, static_cast<qsizetype>(size - tail));
  digest = mac.result();
  return true;
}

}  // namespace

bool SignMessage(int authProtocol, std::string_view localizedKey, uint8_t* message, size_t size,
                 size_t authOffset) {
  QByteArray digest;
  if (!MessageDigest(authProtocol, localizedKey, message, size, authOffset, digest)) return false;
  std::memcpy(message + authOffset, digest.constData(), kAuthParamsSize);
  return true;
}

bool VerifyMessage(int authProtocol, std::string_view localizedKey, const uint8_t* message,
                   size_t size, size_t authOffset, size_t authLength) {
  // Only the 12-octet truncated digest is a valid signature; anything else is refused.
  if (authLength != kAuthParamsSize) return false;
  QByteArray digest;
  if (!MessageDigest(authProtocol, localizedKey, message, size, authOffset, digest)) return false;
  return ConstantTimeEqual(
      std::string_view(digest.constData(), kAuthParamsSize),
      std::string_view(reinterpret_cast<const char*>(message + authOffset), kAuthParamsSize));
}

}  // namespace kestrava
