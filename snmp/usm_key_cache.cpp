#include "snmp/usm_key_cache.h"

#include <openssl/evp.h>

#include <memory>

namespace kestrava {

TUsmKeyCache::TDigest TUsmKeyCache::DigestOf(const TKeyRecipe& recipe) {
  const int auth = recipe.Level >= kAuthNoPriv ? recipe.Auth : kAuthNone;
  const int priv = recipe.Level == kAuthPriv ? recipe.Priv : kPrivNone;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  EVP_MD_CTX_free);
  EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
  // Every field with its length in front, so that no two recipes run together alike.
  auto add = [&](std::string_view field) {
    const uint64_t size = field.size();
    EVP_DigestUpdate(context.get(), &size, sizeof size);
    EVP_DigestUpdate(context.get(), field.data(), field.size());
  };
  const int32_t numbers[3] = {recipe.Level, auth, priv};
  EVP_DigestUpdate(context.get(), numbers, sizeof numbers);
  add(auth != kAuthNone ? recipe.AuthPassword : std::string_view());
  add(priv != kPrivNone ? recipe.PrivPassword : std::string_view());
  add(recipe.EngineId);
  TDigest digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(context.get(), digest.data(), &length);
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
