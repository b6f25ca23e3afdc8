// The leading-number readers the SNMP component writes values and settings with.
#include "shared/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kestrava {
namespace {

TEST(NumberText, LeadingNumbersReadUpToTheFirstOtherCharacter) {
  const struct {
    const char* text;
    uint32_t decimal32;
    uint64_t digits64;
  } cases[] = {
      {"", 0, 0},
      {"abc", 0, 0},
      {"-", 0, 0},
      {"42", 42, 42},
      {"42x7", 42, 42},
      {"-5", 0xFFFFFFFBu, 0},
      {"+5", 0, 0},  // no plus sign
      {" 5", 0, 0},  // no blanks
      {"4294967295", 4294967295u, 4294967295u},
      {"4294967296", 0, 4294967296u},  // 32 bits wrap
      {"-2147483648", 0x80000000u, 0},
      {"18446744073709551615", 0xFFFFFFFFu, UINT64_MAX},
      {"18446744073709551616", 0, 0},  // 64 bits wrap too
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LeadingDecimal32(c.text), c.decimal32) << c.text;
    EXPECT_EQ(LeadingDigits64(c.text), c.digits64) << c.text;
  }
}

}  // namespace
}  // namespace kestrava
