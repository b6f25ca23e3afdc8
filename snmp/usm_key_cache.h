#pragma once
// TUsmKeyCache: the localised keys of the user's security at one engine, made again only when
// what they are made from changes (each localisation hashes a megabyte per key). What they were
// made from is kept as one value, a digest of the protocols, the passwords and the engine id,
// so that no second copy of a password is held for the comparison. Every request asks, so the
// digest's state is set up once and only run per request.
// Thread: one thread at a time; the keys it hands out follow TUsmKeys' rules.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "snmp/usm.h"

namespace kestrava {

// What the keys are made from. The passwords of a half that is off are not looked at.
struct TKeyRecipe {
  int Level = kNoAuthNoPriv;
  int Auth = kAuthNone;
  std::string_view AuthPassword;
  int Priv = kPrivNone;
  std::string_view PrivPassword;
  std::string_view EngineId;
};

class TUsmKeyCache {
 public:
  TUsmKeyCache();
  ~TUsmKeyCache();
  TUsmKeyCache(const TUsmKeyCache&) = delete;
  TUsmKeyCache& operator=(const TUsmKeyCache&) = delete;

  // The keys for the recipe, made only when it differs from the last one. False when they
  // cannot be made (an unknown protocol, privacy without authentication).
  bool Prepare(const TKeyRecipe& recipe);
  bool Ready() const { return m_ready; }
  // Ready, and made for this engine.
  bool ReadyFor(std::string_view engineId) const { return m_ready && m_engineId == engineId; }
  TUsmKeys& Keys() { return m_keys; }
  const TUsmKeys& Keys() const { return m_keys; }
  // How many times keys were made; for tests.
  int Made() const { return m_made; }

 private:
  using TDigest = std::array<uint8_t, 32>;
  struct TRecipeDigest;
  TDigest DigestOf(const TKeyRecipe& recipe);

  std::unique_ptr<TRecipeDigest> m_digest;

  TUsmKeys m_keys;
  bool m_ready = false;
  TDigest m_recipe{};
  std::string m_engineId;
  int m_made = 0;
};

}  // namespace kestrava
