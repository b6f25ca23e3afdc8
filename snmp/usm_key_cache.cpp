#include "snmp/usm_key_cache.h"

#include <openssl/evp.h>

#include <memory>

namespace kestrava {

// SHA-256 fetched once (an explicit fetch spares OpenSSL a look-up per use) and one context.
struct TUsmKeyCache::TRecipeDigest {
  EVP_MD* Sha256 = EVP_MD_fetch(nullptr, "SHA2-256", nullptr);
  EVP_MD_CTX* Context = EVP_MD_CTX_new();
  ~TRecipeDigest() {
    EVP_MD_CTX_free(Context);
    EVP_MD_free(Sha256);
  }
};

TUsmKeyCache::TUsmKeyCache() : m_digest(std::make_unique<TRecipeDigest>()) {}
TUsmKeyCache::~TUsmKeyCache() = default;

TUsmKeyCache::TDigest TUsmKeyCache::DigestOf(const TKeyRecipe& recipe) {
  const int auth = recipe.Level >= kAuthNoPriv ? recipe.Auth : kAuthNone;
  const int priv = recipe.Level == kAuthPriv ? recipe.Priv : kPrivNone;
  EVP_MD_CTX* context = m_digest->Context;
  EVP_DigestInit_ex(context, m_digest->Sha256, nullptr);
  // Every field with its length in front, so that no two recipes run together alike.
  auto add = [&](std::string_view field) {
    const uint64_t size = field.size();
    EVP_DigestUpdate(context, &size, sizeof size);
    EVP_DigestUpdate(context, field.data(), field.size());
  };
  const int32_t numbers[3] = {recipe.Level, auth, priv};
  EVP_DigestUpdate(context, numbers, sizeof numbers);
  add(auth != kAuthNone ? recipe.AuthPassword : std::string_view());
  add(priv != kPrivNone ? recipe.PrivPassword : std::string_view());
  add(recipe.EngineId);
  TDigest digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(context, digest.data(), &length);
  return digest;
}

bool TUsmKeyCache::Prepare(const TKeyRecipe& recipe) {
  const TDigest digest = DigestOf(recipe);
  if (m_made > 0 && digest == m_recipe) return m_ready;
  const int auth = recipe.Level >= kAuthNoPriv ? recipe.Auth : kAuthNone;
  const int priv = recipe.Level == kAuthPriv ? recipe.Priv : kPrivNone;
  std::string authKey;
  std::string privKey;
  if (auth != kAuthNone) authKey = LocalizeKey(auth, recipe.AuthPassword, recipe.EngineId);
  if (priv != kPrivNone)
    privKey = LocalizePrivKey(auth, priv, recipe.PrivPassword, recipe.EngineId);
  m_ready = m_keys.Prepare(auth, authKey, priv, privKey);
  Cleanse(authKey);
  Cleanse(privKey);
  m_recipe = digest;
  m_engineId = recipe.EngineId;
  ++m_made;
  return m_ready;
}

}  // namespace kestrava
