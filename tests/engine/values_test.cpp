// Pure pieces of the engine: slot values raw and delta, sort keys, batches, request ids, OID
// order and instance-mask entries.
#include <gtest/gtest.h>

#include "engine/chart_feed.h"
#include "engine/discovery.h"
#include "engine/dispatch.h"
#include "engine/responses.h"
#include "shared/item_list.h"

namespace kestrava {
namespace {

using History = std::vector<std::string>;

TEST(ValuesTest, SlotValueRawAndDelta) {
  struct Case {
    const char* name;
    History history;
    int position;
    std::string raw, delta;
  };
  const Case cases[] = {
      {"newest 100 then 250", {"Null", "Null", "Null", "100", "250"}, 4, "250", "150.0"},
      {"previous Null", {"Null", "Null", "Null", "Null", "250"}, 4, "250", "Null"},
      {"counter went down", {"Null", "Null", "Null", "1000", "500"}, 4, "500", "-500.0"},
      {"older position", {"1", "2", "4", "8", "16"}, 2, "4", "2.0"},
      {"oldest has no delta", {"1", "2", "4", "8", "16"}, 0, "1", "Null"},
      {"short history aligned at the newest", {"7", "9"}, 4, "9", "2.0"},
      {"before the first entry", {"7", "9"}, 2, "Null", "Null"},
      {"empty history", {}, 4, "Null", "Null"},
      {"64-bit counter keeps every digit",
       {"Null", "Null", "Null", "18446744073709551000", "18446744073709551615"},
       4,
       "18446744073709551615",
       "615.0"},
      {"whole 64-bit range",
       {"Null", "Null", "Null", "0", "18446744073709551615"},
       4,
       "18446744073709551615",
       "18446744073709551615.0"},
      {"fractions", {"Null", "Null", "Null", "1.25", "3.5"}, 4, "3.5", "2.2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SlotValue(c.history, c.position, true), c.raw);
    EXPECT_EQ(SlotValue(c.history, c.position, false), c.delta);
  }
  EXPECT_TRUE(BothPresent("1", "2"));
  EXPECT_FALSE(BothPresent("Null", "2"));
  EXPECT_FALSE(BothPresent("1", "Null"));
}

TEST(ValuesTest, SortKeyOrdersEveryCounterByValue) {
  EXPECT_EQ(SortKey("5"), std::string(19, '0') + "5.00");
  EXPECT_EQ(SortKey("5").size(), 23u);
  EXPECT_EQ(SortKey("150.0"), std::string(17, '0') + "150.00");
  EXPECT_EQ(SortKey("18446744073709551615"), "18446744073709551615.00");
  EXPECT_EQ(SortKey("Null"), "");
  const std::vector<std::string> ascending = {"0",
                                              "0.5",
                                              "5",
                                              "10",
                                              "99.99",
                                              "4294967295",
                                              "9999999999999999999",
                                              "10000000000000000000",
                                              "18446744073709551615",
                                              "100000000000000000000",
                                              "1e25"};
  for (size_t i = 1; i < ascending.size(); ++i) {
    EXPECT_LT(SortKey(ascending[i - 1]), SortKey(ascending[i]))
        << ascending[i - 1] << " < " << ascending[i];
  }
  EXPECT_EQ(KeyValue(SortKey("150.0")), 150.0L);
  EXPECT_EQ(KeyValue(SortKey("18446744073709551615")), 18446744073709551615.0L);
  EXPECT_EQ(KeyValue(SortKey("1e25")), 1e25L);
}

TEST(ValuesTest, TakeBatchCutsFifteenAtATime) {
  struct Case {
    int items;
    std::vector<int> batches;
  };
  const Case cases[] = {{31, {15, 15, 1}}, {15, {15}}, {16, {15, 1}}, {0, {}}, {20, {15, 5}}};
  for (const Case& c : cases) {
    std::string list;
    for (int i = 0; i < c.items; ++i) AppendItem(list, "1.3.6.1." + std::to_string(i));
    std::vector<int> got;
    std::string first;
    while (!list.empty()) {
      const std::string batch = TakeBatch(list);
      if (got.empty()) first = batch;
      got.push_back(CountItems(batch));
    }
    EXPECT_EQ(got, c.batches) << c.items;
    if (c.items > 0) {
      EXPECT_EQ(first.substr(0, 9), "1.3.6.1.0");
    }
  }
  std::string damaged =
      "a\x1F"
      "b";
  EXPECT_EQ(TakeBatch(damaged), "a\x1F");
  EXPECT_EQ(TakeBatch(damaged), "");
}

TEST(ValuesTest, RequestIdsWrapFromTheMillionToZero) {
  EXPECT_EQ(FollowingRequestId(0), 1u);
  EXPECT_EQ(FollowingRequestId(999999), 1000000u);
  EXPECT_EQ(FollowingRequestId(1000000), 0u);
}

TEST(ValuesTest, OidOrderIsNumeric) {
  EXPECT_TRUE(OidGreater("1.3.6.1.2.1.2.2.1.2.1", "1.3.6.1.2.1.2.2.1.2"));
  EXPECT_TRUE(OidGreater("1.3.6.1.2.1.2.2.1.2.10", "1.3.6.1.2.1.2.2.1.2.9"));
  EXPECT_FALSE(OidGreater("1.3.6.1.2.1.2.2.1.2.9", "1.3.6.1.2.1.2.2.1.2.10"));
  EXPECT_FALSE(OidGreater("1.3.6.1.2.1.2.2.1.2.3", "1.3.6.1.2.1.2.2.1.2.3"));
  EXPECT_FALSE(OidGreater("1.3.6.1.2.1.2.2.1.2", "1.3.6.1.2.1.2.2.1.2.3"));
  EXPECT_TRUE(OidGreater("1.3.6.1.2.1.2.2.1.3", "1.3.6.1.2.1.2.2.1.2.300"));
}

TEST(ValuesTest, MaskEntriesReplaceEveryRtByTheInstancesComponent) {
  EXPECT_EQ(MaskEntries("RT", ".2"), std::vector<std::string>{"2"});
  EXPECT_EQ(MaskEntries("RT.*", ".10.3"), std::vector<std::string>{"10.*"});
  EXPECT_EQ(MaskEntries("1.RT", ".1.7"), std::vector<std::string>{"1.7"});
  EXPECT_EQ(MaskEntries("RT.RT", ".1.2"), (std::vector<std::string>{"1.1", "2.2"}));
  EXPECT_EQ(MaskEntries("1.RT", ".4"), std::vector<std::string>{"1."});  // a missing component
  EXPECT_TRUE(MaskEntries("5", ".5").empty());
}

TEST(ValuesTest, ErrorTexts) {
  EXPECT_EQ(ResponseErrorText("noSuchName", 2, 2), "noSuchName Index=2 Status=2");
  EXPECT_EQ(ErrorCodeText("Destination unreachable (service unavailable?).", 10054),
            "Destination unreachable (service unavailable?). ErrorCode=10054");
}

}  // namespace
}  // namespace kestrava
