#pragma once
// The fixed localised keys the parse fuzzer verifies and decrypts SNMPv3 messages with, and the
// encrypted seeds of its corpus (fuzz/corpus/parse/v3_*) were made with, so that mutations of
// those seeds reach the digest check, the ciphers and the parse of decrypted scoped PDUs.
// Test material only: no agent has these keys.
// Thread: constants.

#include <string_view>

namespace kestrava::fuzzing {

// HMAC-SHA-256-192 with AES-128 (the common authPriv pair).
inline constexpr std::string_view kSha256Key =
    "\x5A\x91\x0C\x3E\x77\x12\xA8\x4F\x60\x0B\xD3\x2C\x9E\x45\x81\x1D"
    "\xE2\x38\x6B\xF0\x14\xC7\x59\x2A\x8D\x03\xB6\x71\x4E\x9F\x25\xCA";
inline constexpr std::string_view kAesKey =
    "\x13\x57\x9B\xDF\x24\x68\xAC\xE0\x35\x79\xBD\xF1\x46\x8A\xCE\x02";
// HMAC-SHA-96 with DES-CBC (old devices); DES takes 8 octets of key and 8 of pre-IV.
inline constexpr std::string_view kSha1Key =
    "\xC0\xFF\xEE\x12\x34\x56\x78\x9A\xBC\xDE\xF0\x0D\x15\xEA\x5E\xDB\xAD\xC0\xDE\x42";
inline constexpr std::string_view kDesKey =
    "\x0F\x1E\x2D\x3C\x4B\x5A\x69\x78\x87\x96\xA5\xB4\xC3\xD2\xE1\xF0";

}  // namespace kestrava::fuzzing
