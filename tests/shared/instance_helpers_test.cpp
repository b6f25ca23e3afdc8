#include "shared/instance_helpers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "shared/oid_names.h"

namespace kestrava {
namespace {

using List = std::vector<std::string>;

const std::string kInOctets = "1.3.6.1.2.1.2.2.1.10";
const std::string kOutOctets = "1.3.6.1.2.1.2.2.1.16";
const std::string kIndex = "1.3.6.1.2.1.2.2.1.1";

TEST(InstanceHelpersTest, SlotsAreRowTimesWidthPlusColumn) {
  // Three targets and one formula over the instances .1, .2, .3: W = 4.
  const List targets = {kIndex, kInOctets, kOutOctets};
  const List formulas = {"Sum,A+B,A=" + kInOctets + ",B=" + kOutOctets + ","};
  const List instances = {".1", ".2", ".3"};
  EXPECT_EQ(SlotOfOid(kOutOctets + ".2", targets, 3, instances, formulas), 6);
  EXPECT_EQ(SlotOfOid(kIndex + ".3", targets, 3, instances, formulas), 8);
  EXPECT_EQ(SlotOfOid(kInOctets + ".1", targets, 2, instances, formulas), 1);
  // Slot 7 is the formula of .2; a formula column is always shown.
  EXPECT_TRUE(IsSlotShown(7, targets, {"2", "2", "2"}, formulas));
  EXPECT_EQ(SliceLabel(7, targets, 3, false, {}, instances, formulas, TOidNames()), "Sum.2");
}

TEST(InstanceHelpersTest, IsSlotShownHidesTargetsMarkedTwo) {
  const List targets = {kInOctets, kOutOctets};
  // Two targets, no formula: slots 0 and 2 shown, 1 and 3 hidden.
  const List visibility = {"0", "2"};
  const bool want[] = {true, false, true, false};
  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(IsSlotShown(slot, targets, visibility, {}), want[slot]) << slot;
  }
  // Two targets, one formula, three rows: slot 5 is row 1's formula.
  EXPECT_TRUE(IsSlotShown(5, targets, {"2", "2"}, {"F,1,"}));
  EXPECT_FALSE(IsSlotShown(4, targets, {"2", "2"}, {"F,1,"}));
  // Failures give true.
  EXPECT_TRUE(IsSlotShown(1, targets, {"2"}, {}));  // no visibility entry
  EXPECT_TRUE(IsSlotShown(0, {}, {}, {}));          // no columns
  EXPECT_TRUE(IsSlotShown(-1, targets, visibility, {}));
}

TEST(InstanceHelpersTest, SliceLabels) {
  const TOidNames names;
  const List targets = {kInOctets, kOutOctets};
  const List formulas = {"In+Out,A+B,A=" + kInOctets + ",B=" + kOutOctets + ","};
  const List instances = {".1", ".2", ".10.3"};
  const List descrs = {"lo", "eth0", "a very long interface description"};
  const struct {
    int slot;
    int mode;
    bool hasLabelOid;
    std::string label;
  } cases[] = {
      {0, 3, true, "ifInOctets_lo"},
      {4, 3, true, "ifOutOctets_eth0"},
      {5, 3, true, "In+Out_eth0"},
      {6, 3, true, "ifInOctets_a very long int..//"},
      {6, 2, false, "ifInOctets.10.3"},
      {7, 2, false, "ifOutOctets.10.3"},  // row 2, column 1
      {8, 3, false, "In+Out.10.3"},
      {1, 1, true, "ifOutOctets"},  // other modes have only row 0 and no suffix
      {2, 0, false, "In+Out"},
      {9, 3, true, ""},  // a row that does not exist
      {-1, 3, true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SliceLabel(c.slot, targets, c.mode, c.hasLabelOid, descrs, instances, formulas,
                         names),
              c.label)
        << c.slot;
  }
  EXPECT_EQ(SliceLabel(0, {}, 3, true, descrs, instances, {}, names), "");
  EXPECT_EQ(SliceLabel(0, {"1.3.6.1.4.1.99999.7"}, 1, false, {}, {}, {}, names),
            "enterprises.99999.7");
}

TEST(InstanceHelpersTest, FormulaAndShortLabels) {
  EXPECT_EQ(FormulaLabel("In+Out,A+B,A=1.1,"), "In+Out");
  EXPECT_EQ(FormulaLabel(",A,"), "");
  EXPECT_EQ(FormulaLabel("NoComma"), "NoComma");

  const std::string thirty(30, 'x');
  EXPECT_EQ(ShortenLabel(thirty), thirty);
  EXPECT_EQ(ShortenLabel(thirty + "y"), std::string(26, 'x') + "..//");
  EXPECT_EQ(ShortenLabel(thirty + "y").size(), 30u);
  EXPECT_EQ(ShortenLabel(""), "");
  // Characters, not bytes: 30 two-byte letters stay whole, 31 are cut between letters.
  std::string umlauts;
  for (int i = 0; i < 30; ++i) umlauts += "\xC3\xA4";
  EXPECT_EQ(ShortenLabel(umlauts), umlauts);
  EXPECT_EQ(ShortenLabel(umlauts + "x"), umlauts.substr(0, 52) + "..//");
}

TEST(InstanceHelpersTest, TargetIndexNeedsADotAfterTheTarget) {
  const List targets = {kIndex, kInOctets};
  const struct {
    std::string oid;
    int index;
  } cases[] = {
      {kInOctets + ".7", 1},  // kIndex is a text prefix but not followed by "."
      {kInOctets, 1},        {kIndex + ".7", 0},        {kIndex + "0", 1},  // "...1.10"
      {kIndex + "00.7", -1}, {"1.3.6.1.2.1.2.2.1", -1}, {"", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(TargetIndex(c.oid, targets), c.index) << c.oid;
  EXPECT_EQ(TargetIndex(kInOctets, {}), -1);

  std::string target = "untouched", suffix = "untouched";
  ASSERT_TRUE(SplitOid(kInOctets + ".10.3", targets, target, suffix));
  EXPECT_EQ(target, kInOctets);
  EXPECT_EQ(suffix, ".10.3");
  ASSERT_TRUE(SplitOid(kIndex, targets, target, suffix));
  EXPECT_EQ(suffix, "");
  target = suffix = "untouched";
  EXPECT_FALSE(SplitOid("1.3.6.1.2.1.1.3.0", targets, target, suffix));
  EXPECT_EQ(target + suffix, "untoucheduntouched");
}

TEST(InstanceHelpersTest, IndexOfExactAndSlotOfUnknownInstances) {
  const List list = {".1", ".2", ".1", ".A"};
  EXPECT_EQ(IndexOfExact(".1", list), 0);
  EXPECT_EQ(IndexOfExact(".a", list), -1);
  EXPECT_EQ(IndexOfExact("", list), -1);
  EXPECT_EQ(IndexOfExact(".A", list), 3);

  const List targets = {kInOctets};
  const List instances = {".1", ".2"};
  EXPECT_EQ(SlotOfOid(kInOctets + ".3", targets, 3, instances, {}), -1);
  EXPECT_EQ(SlotOfOid(kInOctets, targets, 3, instances, {}), -1);  // no instance
  EXPECT_EQ(SlotOfOid("1.3.6.1.2.1.1.3.0", targets, 3, instances, {}), -1);
  EXPECT_EQ(SlotOfOid(kInOctets + ".3", targets, 1, instances, {}), 0);  // target alone
}

TEST(InstanceHelpersTest, IsNumericAndWrapFilter) {
  for (const char* yes : {"0", "100", "-3", "2.5", "4294967295", "1e3"}) {
    EXPECT_TRUE(IsNumeric(yes)) << yes;
  }
  for (const char* no : {"", "Null", "2,5", "error: noSuchInstance", " 1", "1 ", "nan", "inf"}) {
    EXPECT_FALSE(IsNumeric(no)) << no;
  }
  const struct {
    std::string now, before, result;
  } cases[] = {
      {"100", "4294967000", "Null"},  // a 32-bit counter wrapped
      {"100", "1000", "100"},         // went down without wrapping
      {"100", "Null", "100"},
      {"3000000000", "2147483649", "3000000000"},
      {"2147483648", "4294967000", "2147483648"},  // lands on 2^31 exactly: no wrap
      {"100", "2147483648", "100"},                // starts at 2^31 exactly: no wrap
      {"Null", "4294967000", "Null"},
      {"abc", "4294967000", "abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WrapFilter(c.now, c.before), c.result) << c.now << " after " << c.before;
  }
}

TEST(InstanceHelpersTest, MatchInstance) {
  const struct {
    std::string instance, mask;
    bool match;
  } cases[] = {
      {".5", "RT", true},     {".5.3", "*.3", true},  {".15", "5", false},
      {".1.9", "1.2", true},  // only the first component that is no wildcard counts
      {".7.8.9", "-", true},  {"", "*", false},       {".5", "5", true},
      {".5.3", "*.4", false}, {".5", "*.*", true},    {".5", "*.3", false},
      {".5", "*.-", true},    {".2.5", "RT.5", true}, {".5", "rt", false},
      {".5", "", false},      {".", "", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchInstance(c.instance, c.mask), c.match) << c.instance << " / " << c.mask;
  }
}

// The index gives what the scan gives, for every kind of OID a response may hold.
void ExpectIndexMatchesScan(const List& targets, int mode, const List& instances,
                            const List& formulas, const List& oids) {
  TSlotIndex index;
  index.Rebuild(targets, mode, instances, static_cast<int>(formulas.size()));
  for (const std::string& oid : oids) {
    EXPECT_EQ(index.SlotOfOid(oid), SlotOfOid(oid, targets, mode, instances, formulas))
        << oid << " mode " << mode << " with " << targets.size() << " targets";
  }
}

TEST(InstanceHelpersTest, SlotIndexAgreesWithTheScan) {
  const List instances = {".1", ".2", ".10.3", ".2", ""};  // a duplicate and an empty suffix
  const List oids = {kInOctets + ".1",
                     kInOctets + ".2",
                     kOutOctets + ".10.3",
                     kInOctets,
                     kInOctets + ".3",
                     kIndex + ".2",
                     kIndex + "0.2",
                     "1.3.6",
                     "",
                     kInOctets + ".",
                     kOutOctets + ".10.3.1"};
  for (int mode : {0, 1, 2, 3}) {
    ExpectIndexMatchesScan({kInOctets, kOutOctets}, mode, instances, {"F,A,"}, oids);
    // A target that is a prefix of another one claims first when it comes first.
    ExpectIndexMatchesScan({"1.3.6.1.2.1.2.2.1", kInOctets}, mode, instances, {}, oids);
    ExpectIndexMatchesScan({kInOctets, "1.3.6.1.2.1.2.2.1", kInOctets}, mode, instances, {}, oids);
    ExpectIndexMatchesScan({}, mode, instances, {}, oids);
  }
}

TEST(InstanceHelpersTest, SlotIndexAgreesWithTheScanOverManyTargetsAndInstances) {
  // Enough targets to take the hashed path, with prefixes, duplicates and 1,000 instances.
  std::mt19937 random(7);
  auto component = [&random] { return std::to_string(random() % 4); };
  List targets;
  for (int i = 0; i < 40; ++i) {
    std::string oid = "1.3";
    for (int depth = random() % 4; depth >= 0; --depth) oid += "." + component();
    targets.push_back(oid);
  }
  List instances;
  for (int i = 0; i < 1000; ++i) instances.push_back("." + component() + "." + component());
  List oids;
  for (int i = 0; i < 3000; ++i) {
    std::string oid = targets[random() % targets.size()];
    for (int depth = random() % 4; depth > 0; --depth) oid += "." + component();
    oids.push_back(oid);
  }
  oids.push_back("1.3");
  oids.push_back("2.3.1");
  for (int mode : {1, 3}) ExpectIndexMatchesScan(targets, mode, instances, {"F,A,"}, oids);
}

TEST(InstanceHelpersTest, SlotIndexFollowsRebuild) {
  TSlotIndex index;
  EXPECT_EQ(index.SlotOfOid(kInOctets + ".1"), -1);  // nothing built yet
  index.Rebuild({kInOctets}, 3, {".1", ".2"}, 1);
  EXPECT_EQ(index.SlotOfOid(kInOctets + ".2"), 2);
  index.Rebuild({kInOctets}, 3, {".2"}, 0);
  EXPECT_EQ(index.SlotOfOid(kInOctets + ".1"), -1);
  EXPECT_EQ(index.SlotOfOid(kInOctets + ".2"), 0);
}

}  // namespace
}  // namespace kestrava
