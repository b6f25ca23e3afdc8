// Passwords held by the program: no core dump once one is held, wiped where they are dropped,
// and gone from the environment once read.
#include "config/secrets.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/prctl.h>

#include "config/config_rec.h"
#include "config/session_checks.h"

namespace kestrava {
namespace {

// Runs in a process of its own: the test turns core dumps off for good.
TEST(Secrets, SnmpV3SettingsTakeThePasswordsOutOfTheEnvironmentAndTurnCoreDumpsOff) {
  ASSERT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 1);
  setenv(kAuthPasswordVariable, "env-auth-secret-1", 1);
  setenv(kPrivPasswordVariable, "env-priv-secret-1", 1);
  const char* auth = getenv(kAuthPasswordVariable);
  const std::string authText(auth);
  TSnmpV3Settings v3;
  v3.User = "ops";
  std::string error;
  ASSERT_TRUE(CompleteSnmpV3(v3, 3, TValueSource::CommandLine, error)) << error;
  EXPECT_EQ(v3.AuthPassword, "env-auth-secret-1");
  EXPECT_EQ(v3.PrivPassword, "env-priv-secret-1");
  EXPECT_EQ(getenv(kAuthPasswordVariable), nullptr);
  EXPECT_EQ(getenv(kPrivPasswordVariable), nullptr);
  // The variable's own text is wiped too (the C library keeps the storage of what setenv set).
  EXPECT_EQ(std::string(auth, authText.size()), std::string(authText.size(), '\0'));
  EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
}

// A password given on the command line or in the file leaves the variable unused: it goes all
// the same.
TEST(Secrets, AnUnusedVariableIsRemovedAsWell) {
  setenv(kPrivPasswordVariable, "env-priv-secret-2", 1);
  TSnmpV3Settings v3;
  v3.PrivPassword = "given-priv-1";
  std::string error;
  CompleteSnmpV3(v3, 1, TValueSource::File, error);
  EXPECT_EQ(v3.PrivPassword, "given-priv-1");
  EXPECT_EQ(getenv(kPrivPasswordVariable), nullptr);
}

TEST(Secrets, WipingClearsTheWholeStorage) {
  for (const std::string text : {"short-1", "a password longer than the inline buffer"}) {
    std::string held = text;
    const char* storage = held.data();
    const size_t capacity = held.capacity();
    WipeSecret(held);
    EXPECT_TRUE(held.empty());
    ASSERT_EQ(held.data(), storage) << "the same storage, now empty";
    EXPECT_EQ(std::string(storage, capacity), std::string(capacity, '\0')) << text;

    std::string old = "old-password-1 that is long enough to live on the heap";
    std::string given = text;
    const char* oldStorage = old.data();
    const size_t oldCapacity = old.capacity();
    const char* givenStorage = given.data();
    ReplaceSecret(old, given);
    EXPECT_EQ(old, text);
    EXPECT_TRUE(given.empty());
    EXPECT_EQ(std::string(givenStorage, text.size()), std::string(text.size(), '\0'));
    if (old.data() == oldStorage) {
      // Reused storage: nothing of the old text is left behind the new one.
      EXPECT_EQ(std::string(oldStorage + text.size() + 1, oldCapacity - text.size() - 1),
                std::string(oldCapacity - text.size() - 1, '\0'));
    }
  }
}

}  // namespace
}  // namespace kestrava
