// The validators: whole-text conversion, ranges and fallbacks.
#include "config/validators.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

struct ValidatorCase {
  const char* name;
  int (*check)(const std::string&);
  const char* text;
  int want;
};

TEST(Validators, RangesAndFallbacks) {
  const ValidatorCase cases[] = {
      {"interval low edge", CheckInterval, "1", 1},
      {"interval high edge", CheckInterval, "1000", 1000},
      {"interval zero", CheckInterval, "0", 5},
      {"interval above", CheckInterval, "1001", 5},
      {"interval letters", CheckInterval, "abc", 5},
      {"interval empty", CheckInterval, "", 5},
      {"interval trailing text", CheckInterval, "7s", 5},
      {"interval leading space", CheckInterval, " 7", 5},
      {"interval plus sign", CheckInterval, "+7", 7},
      {"interval lone sign", CheckInterval, "+", 5},
      {"interval double sign", CheckInterval, "+-7", 5},
      {"interval negative", CheckInterval, "-7", 5},
      {"interval beyond int", CheckInterval, "99999999999999999999", 5},
      {"interval decimal", CheckInterval, "7.5", 5},
      {"rows low edge", CheckMaxRows, "1", 1},
      {"rows high edge", CheckMaxRows, "10000000", 10000000},
      {"rows above", CheckMaxRows, "10000001", 100000},
      {"rows zero", CheckMaxRows, "0", 100000},
      {"port edge", CheckPort, "65535", 65535},
      {"port above", CheckPort, "65536", 161},
      {"port zero", CheckPort, "0", 161},
      {"port one", CheckPort, "1", 1},
      {"version 1", CheckVersion, "1", 1},
      {"version 2", CheckVersion, "2", 2},
      {"version 3", CheckVersion, "3", 3},
      {"version 4", CheckVersion, "4", 1},
      {"version 0", CheckVersion, "0", 1},
      {"version 2c, net-snmp's spelling", CheckVersion, "2c", 2},
      {"version 2C", CheckVersion, "2C", 2},
      {"version 3x", CheckVersion, "3x", 1},
      {"version 1c", CheckVersion, "1c", 1},
      {"version v2c", CheckVersion, "v2c", 1},
      {"width below", CheckWidth, "299", 600},
      {"width low edge", CheckWidth, "300", 300},
      {"width high edge", CheckWidth, "2000", 2000},
      {"width above", CheckWidth, "2001", 600},
      {"height below", CheckHeight, "199", 460},
      {"height low edge", CheckHeight, "200", 200},
      {"height high edge", CheckHeight, "1600", 1600},
      {"height above", CheckHeight, "1601", 460},
  };
  for (const ValidatorCase& c : cases) {
    EXPECT_EQ(c.check(c.text), c.want) << c.name;
  }
}

TEST(Validators, ParseDecimalIntTakesTheWholeText) {
  EXPECT_EQ(ParseDecimalInt("-2147483648"), -2147483648LL);
  EXPECT_EQ(ParseDecimalInt("2147483647"), 2147483647);
  EXPECT_EQ(ParseDecimalInt("2147483648"), std::nullopt);
  EXPECT_EQ(ParseDecimalInt("0x10"), std::nullopt);
  EXPECT_EQ(ParseDecimalInt("12 "), std::nullopt);
  EXPECT_EQ(ParseDecimalInt("-"), std::nullopt);
  EXPECT_EQ(ParseDecimalInt(std::string("5\0", 2)), std::nullopt);
}

}  // namespace
}  // namespace kestrava
