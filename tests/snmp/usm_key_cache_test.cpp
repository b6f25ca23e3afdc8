// TUsmKeyCache: keys made again exactly when what they are made from changes.
#include "snmp/usm_key_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace kestrava {
namespace {

TEST(UsmKeyCache, KeysAreMadeAgainExactlyWhenTheRecipeChanges) {
  const std::string authPassword = "auth-password", privPassword = "priv-password";
  const std::string otherPassword = "other-password";
  const std::string engine("\x80\x00\x1F\x88\x04kestrava", 13), otherEngine = "\x80\x01";
  const TKeyRecipe base{kAuthPriv, kAuthSha256, authPassword, kPrivAes128, privPassword, engine};
  const struct {
    const char* name;
    std::function<void(TKeyRecipe&)> change;
    bool remade;
  } cases[] = {
      {"nothing", [](TKeyRecipe&) {}, false},
      {"level", [](TKeyRecipe& r) { r.Level = kAuthNoPriv; }, true},
      {"auth protocol", [](TKeyRecipe& r) { r.Auth = kAuthSha1; }, true},
      {"auth password", [&](TKeyRecipe& r) { r.AuthPassword = otherPassword; }, true},
      {"priv protocol", [](TKeyRecipe& r) { r.Priv = kPrivAes256; }, true},
      {"priv password", [&](TKeyRecipe& r) { r.PrivPassword = otherPassword; }, true},
      {"engine", [&](TKeyRecipe& r) { r.EngineId = otherEngine; }, true},
  };
  for (const auto& c : cases) {
    TUsmKeyCache cache;
    ASSERT_TRUE(cache.Prepare(base));
    TKeyRecipe changed = base;
    c.change(changed);
    EXPECT_TRUE(cache.Prepare(changed)) << c.name;
    EXPECT_EQ(cache.Made(), c.remade ? 2 : 1) << c.name;
    EXPECT_TRUE(cache.ReadyFor(changed.EngineId)) << c.name;
  }
  // The password of a half that is off does not count.
  TUsmKeyCache cache;
  TKeyRecipe authOnly{kAuthNoPriv, kAuthSha1, authPassword, kPrivAes128, privPassword, engine};
  ASSERT_TRUE(cache.Prepare(authOnly));
  authOnly.PrivPassword = otherPassword;
  ASSERT_TRUE(cache.Prepare(authOnly));
  EXPECT_EQ(cache.Made(), 1);
  EXPECT_FALSE(cache.Keys().CanEncrypt());
  EXPECT_FALSE(cache.ReadyFor(otherEngine));
}

TEST(UsmKeyCache, TheKeysAreTheLocalisedOnes) {
  const std::string engine("\x80\x00\x1F\x88\x04kestrava", 13);
  TUsmKeyCache cache;
  ASSERT_TRUE(cache.Prepare(
      {kAuthPriv, kAuthSha256, "auth-password", kPrivAes128, "priv-password", engine}));
  TUsmKeys direct;
  ASSERT_TRUE(direct.Prepare(kAuthSha256, LocalizeKey(kAuthSha256, "auth-password", engine),
                             kPrivAes128,
                             LocalizePrivKey(kAuthSha256, kPrivAes128, "priv-password", engine)));
  std::vector<uint8_t> message(80, 0x5A);
  const size_t at = 20;
  std::fill(message.begin() + at, message.begin() + at + AuthParamsSize(kAuthSha256), 0);
  ASSERT_TRUE(direct.Sign(message.data(), message.size(), at));
  EXPECT_TRUE(cache.Keys().Verify(message.data(), message.size(), at, AuthParamsSize(kAuthSha256)));
  // Privacy without authentication cannot be made, and says so every time.
  TUsmKeyCache broken;
  EXPECT_FALSE(broken.Prepare({kAuthPriv, kAuthNone, "", kPrivAes128, "priv-password", engine}));
  EXPECT_FALSE(broken.Prepare({kAuthPriv, kAuthNone, "", kPrivAes128, "priv-password", engine}));
  EXPECT_FALSE(broken.Ready());
}

}  // namespace
}  // namespace kestrava
