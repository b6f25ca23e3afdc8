// Values with their units as the legend shows them, and which columns count octets or packets.
#include "shared/unit_text.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kestrava {
namespace {

TEST(UnitText, RatesCountsAndSharesReadAsTheLegendShowsThem) {
  constexpr double kMax64 = 18446744073709551615.0;  // 2^64 - 1
  const struct {
    TQuantity quantity;
    const char* text;
  } cases[] = {
      {{true, TUnit::kBitRate, 0}, "0 bit/s"},
      {{true, TUnit::kBitRate, 999}, "999 bit/s"},
      {{true, TUnit::kBitRate, 999.4}, "999 bit/s"},
      {{true, TUnit::kBitRate, 999.5}, "1 kbit/s"},  // rounds up into the next prefix
      {{true, TUnit::kBitRate, 1000}, "1 kbit/s"},
      {{true, TUnit::kBitRate, 812000}, "812 kbit/s"},
      {{true, TUnit::kBitRate, 812499}, "812 kbit/s"},
      {{true, TUnit::kBitRate, 1e9}, "1 Gbit/s"},
      {{true, TUnit::kBitRate, 1.25e9}, "1.25 Gbit/s"},
      {{true, TUnit::kBitRate, 12.5e9}, "12.5 Gbit/s"},
      {{true, TUnit::kBitRate, kMax64 * 8}, "148 Ebit/s"},
      {{true, TUnit::kBitRate, -812000}, "-812 kbit/s"},
      {{true, TUnit::kBitRate, -0.001}, "0 bit/s"},  // no minus before a zero
      {{true, TUnit::kBitRate, 0.5}, "0.5 bit/s"},
      {{true, TUnit::kByteRate, 101500}, "102 kB/s"},
      {{true, TUnit::kPacketRate, 42}, "42 pkt/s"},
      {{true, TUnit::kPerSecond, 1234}, "1.23 k/s"},
      {{true, TUnit::kBytes, kMax64}, "18.4 EB"},
      {{true, TUnit::kBits, 1e24 * 2000}, "2000 Ybit"},  // no prefix above Y
      {{true, TUnit::kPackets, 7}, "7 pkt"},
      {{true, TUnit::kSeconds, 59.4}, "00:00:59"},
      {{true, TUnit::kSeconds, 3 * 86400 + 4 * 3600 + 5 * 60 + 6}, "3 d 04:05:06"},
      {{true, TUnit::kPercent, 73.24, 1e9}, "73.2 % of 1 Gbit/s"},
      {{true, TUnit::kPercent, 90, 10e6}, "90 % of 10 Mbit/s"},
      {{true, TUnit::kPercent, 5, 100000e6}, "5 % of 100 Gbit/s"},
      {{true, TUnit::kPercent, 12.5}, "12.5 %"},
      {{true, TUnit::kNamed, 1.25e9, 0, "bit/s"}, "1.25 Gbit/s"},
      {{true, TUnit::kNamed, 42, 0, "requests/s"}, "42 requests/s"},
      {{true, TUnit::kNone, 1234.5678}, "1234.568"},
      {{true, TUnit::kNone, kMax64}, "18.4 E"},
      {{false, TUnit::kBitRate, 5}, "Null"},
  };
  for (const auto& c : cases) EXPECT_EQ(UnitText(c.quantity), c.text) << c.text;
}

TEST(UnitText, TheWindowsSignsAreUsed) {
  const TNumberStyle german{",", "\xE2\x88\x92"};
  EXPECT_EQ(UnitText({true, TUnit::kBitRate, -1.25e9}, german),
            "\xE2\x88\x92"
            "1,25 Gbit/s");
  EXPECT_EQ(UnitText({true, TUnit::kPercent, 73.25, 2.5e9}, german), "73,3 % of 2,5 Gbit/s");
}

TEST(UnitText, ColumnsCountOctetsOrPacketsByTheirOidOrTheirName) {
  TOidNames names;
  names.Register("1.3.6.1.4.1.9999.1.1", "vendorRxOctets");
  names.Register("1.3.6.1.4.1.9999.1.2", "vendorRxPkts");
  names.Register("1.3.6.1.4.1.9999.1.3", "vendorOctetsSeen");
  // A display name given to a known column changes nothing of what it counts.
  names.Register("1.3.6.1.2.1.2.2.1.16", "Out");
  const struct {
    const char* oid;
    TColumnKind kind;
  } cases[] = {
      {"1.3.6.1.2.1.2.2.1.10", TColumnKind::kOctets},
      {"1.3.6.1.2.1.2.2.1.10.3", TColumnKind::kOctets},  // with its instance
      {"1.3.6.1.2.1.2.2.1.16", TColumnKind::kOctets},
      {"1.3.6.1.2.1.31.1.1.1.6", TColumnKind::kOctets},
      {"1.3.6.1.2.1.31.1.1.1.10.2", TColumnKind::kOctets},
      {"1.3.6.1.2.1.31.1.1.1.1", TColumnKind::kOther},  // ifName, a prefix of ifHCOutOctets
      {"1.3.6.1.2.1.2.2.1.1", TColumnKind::kOther},     // ifIndex, a prefix of ifInOctets
      {"1.3.6.1.2.1.2.2.1.11", TColumnKind::kPackets},
      {"1.3.6.1.2.1.31.1.1.1.7.5", TColumnKind::kPackets},
      {"1.3.6.1.2.1.2.2.1.14", TColumnKind::kOther},  // ifInErrors
      {"1.3.6.1.4.1.9999.1.1.7", TColumnKind::kOctets},
      {"1.3.6.1.4.1.9999.1.2", TColumnKind::kPackets},
      {"1.3.6.1.4.1.9999.1.3", TColumnKind::kOther},
      {"1.3.6.1.2.1.4.3", TColumnKind::kOther},  // ipInReceives
  };
  for (const auto& c : cases) EXPECT_EQ(ColumnKindOf(c.oid, names), c.kind) << c.oid;
}

TEST(UnitText, TheSettingIsReadInAnyCase) {
  TUnits units = TUnits::kNone;
  EXPECT_TRUE(ParseUnits("BITS", units));
  EXPECT_EQ(units, TUnits::kBits);
  EXPECT_TRUE(ParseUnits("Bytes", units));
  EXPECT_EQ(units, TUnits::kBytes);
  EXPECT_FALSE(ParseUnits("octets", units));
  EXPECT_EQ(units, TUnits::kBytes);
  EXPECT_TRUE(ParseUnits("none", units));
  EXPECT_STREQ(UnitsName(units), "none");
}

}  // namespace
}  // namespace kestrava
