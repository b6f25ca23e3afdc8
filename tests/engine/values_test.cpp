// Pure pieces of the engine: samples, slot values raw and delta, the slice order and the pie,
// batches, request ids, OID order and instance-mask entries.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <memory>
#include <random>

#include "engine/discovery.h"
#include "engine/dispatcher.h"
#include "engine/pie.h"
#include "engine/poll_snapshot.h"
#include "engine/slot_store.h"
#include "shared/item_list.h"
#include "shared/number_text.h"
#include "snmp/snmp_value.h"

namespace kestrava {
namespace {

using History = std::vector<std::string>;

// A store of one slot whose five entries are the given texts, oldest first.
TSlotStore OneSlot(const History& entries) {
  TSlotStore store;
  store.Reset({"1.3.6.1.2.1.2.2.1.10"}, {});
  store.SetRows(1);
  std::vector<std::pair<int, TSample>> answers;
  for (const std::string& entry : entries) answers.emplace_back(0, TSample::FromText(entry));
  // One at a time: the wrap rule looks at the entry before.
  for (const auto& answer : answers) store.Evaluate({answer}, 1, 1);
  return store;
}

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
      {"short history aligned at the newest", {"Null", "Null", "Null", "7", "9"}, 4, "9", "2.0"},
      {"before the first entry", {"Null", "Null", "Null", "7", "9"}, 2, "Null", "Null"},
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
      {"a fall that is no 32-bit wrap",
       {"Null", "Null", "Null", "18446744073709551615", "3000000000"},
       4,
       "3000000000",
       "-18446744070709551615.0"},
      {"fractions", {"Null", "Null", "Null", "1.25", "3.5"}, 4, "3.5", "2.2"},
      {"negative integers", {"Null", "Null", "Null", "-5", "3"}, 4, "3", "8.0"},
      {"a text is Null", {"Null", "Null", "Null", "5", "error: noSuchInstance"}, 4, "Null", "Null"},
      {"a wrapped 32-bit counter is Null",
       {"Null", "Null", "Null", "4294967000", "500"},
       4,
       "Null",
       "Null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TSlotStore store = OneSlot(c.history);
    EXPECT_EQ(store.SlotValue(c.position, 0, true), c.raw);
    EXPECT_EQ(store.SlotValue(c.position, 0, false), c.delta);
  }
}

TEST(ValuesTest, SamplesKeepWhatAFormulaReads) {
  const struct {
    const char* text;
    std::string want;
  } cases[] = {{"123", "123"},
               {"-5", "-5"},
               {"1.5", "1.5"},
               {"1e+20", "1e+20"},
               {"+7", "7"},
               {"abc", "Null"},
               {"", "Null"},
               {" 5", "Null"},
               {"18446744073709551615", "18446744073709551615"},
               {"18446744073709551616", "18446744073709551616"}};
  for (const auto& c : cases) EXPECT_EQ(TSample::FromText(c.text).Text(), c.want) << c.text;
  EXPECT_TRUE(TSample::FromText("18446744073709551615").IsWhole());
  EXPECT_FALSE(TSample::FromText("18446744073709551616").IsWhole());
}

// A sample is 16 bytes and still gives back every text it was made from: whole numbers as
// digits, a formula's results (15 significant digits) and any other decimal text as they came.
TEST(ValuesTest, CompactSamplesGiveBackTheirText) {
  static_assert(sizeof(TSample) == 16);
  const std::string formulaResults[] = {FormatGeneral15(1.0L / 3),
                                        FormatGeneral15(-2.0L / 3),
                                        FormatGeneral15(2.5L),
                                        FormatGeneral15(1e20L),
                                        FormatGeneral15(1.5e-7L),
                                        FormatGeneral15(1e400L),
                                        FormatGeneral15(123456789012345.6L),
                                        FormatGeneral15(18446744073709551616.0L),
                                        FormatGeneral15(-1e-300L),
                                        FormatGeneral15(0.1L)};
  std::vector<std::string> texts(std::begin(formulaResults), std::end(formulaResults));
  for (const char* text :
       {"18446744073709551615", "-9223372036854775808", "-5", "0", "12.50", "1.0", ".5", "-0.0",
        "1E5", "1e5", "+1.5", "0.30000000000000004", "3.14159265358979323846264338327950288",
        "18446744073709551616", "00012.5"})
    texts.emplace_back(text);
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    long double number = 0;
    ASSERT_TRUE(ParseDecimal(text, number));
    auto sample = std::make_unique<TSample>(TSample::FromText(text));
    EXPECT_EQ(sample->Text(), text);
    EXPECT_EQ(sample->Number(), number) << "a formula reads what the text reads as";
    // Copies and moves keep it, also once the first is gone.
    TSample copy = *sample;
    sample.reset();
    EXPECT_EQ(copy.Text(), text);
    TSample moved = std::move(copy);
    EXPECT_EQ(moved.Text(), text);
    copy = moved;
    EXPECT_EQ(copy, moved);
    EXPECT_EQ(copy.Number(), number);
    moved = TSample::FromText("7.25");
    EXPECT_EQ(moved.Text(), "7.25");
    EXPECT_FALSE(copy == moved);
  }
  EXPECT_EQ(FormatGeneral15(1.0L / 3), "0.333333333333333");
  EXPECT_EQ(FormatGeneral15(1.5e-7L), "1.5e-07");
  EXPECT_EQ(TSample::FromText("1.0").Text(), "1.0") << "not the shorter text of the number";
  EXPECT_FALSE(TSample::FromText("1.5") == TSample::FromText("1.50"));
}

// Values of an answer become samples without text: a number as the codec decoded it, a text
// value read as a number where it is one; every sample keeps its BER tag.
TEST(ValuesTest, AnsweredValuesBecomeSamples) {
  struct Case {
    TSnmpValue value;
    std::string text;
    TNullReason reason;  // when Null
  };
  const TNullReason none = TNullReason::kNoValue;
  const std::vector<Case> cases = {
      {TSnmpValue::Number(0x46, 18446744073709551615u), "18446744073709551615", none},
      {TSnmpValue::Number(0x02, 2147483648u, true), "-2147483648", none},
      {TSnmpValue::Number(0x02, 0, true), "0", none},
      {TSnmpValue::Number(0x41, 4294967295u), "4294967295", none},
      {TSnmpValue::Number(0x43, 8640000), "8640000", none},
      {TSnmpValue::Octets(0x04, "12.5"), "12.5", none},
      {TSnmpValue::Octets(0x04, "12.50"), "12.50", none},
      {TSnmpValue::Octets(0x04, "42"), "42", none},
      {TSnmpValue::Octets(0x04, "eth0"), "Null", TNullReason::kNotANumber},
      {TSnmpValue::Octets(0x40, "10.0.0.1"), "Null", TNullReason::kNotANumber},
      {TSnmpValue::Octets(0x05, ""), "Null", TNullReason::kNotANumber},
      {TSnmpValue::Octets(0x81, "error: noSuchInstance"), "Null", TNullReason::kNotANumber},
      {TSnmpValue::Octets(0x80, "error: noSuchObject"), "Null", TNullReason::kNotANumber},
      {TSnmpValue::Octets(0x82, "error: endOfMibView"), "Null", TNullReason::kNotANumber},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.Text());
    const TSample sample = TSample::FromAnswer(c.value);
    EXPECT_EQ(sample.Text(), c.text);
    EXPECT_EQ(sample.Type(), c.value.Tag);
    EXPECT_EQ(sample.NullReason(), c.reason);
    // The same as the text of the value read back, as the engine did before.
    TSample fromText = TSample::FromText(c.value.Text());
    EXPECT_EQ(sample.Text(), fromText.Text());
    EXPECT_EQ(sample.IsWhole(), fromText.IsWhole());
  }
  EXPECT_TRUE(TSample::FromAnswer(TSnmpValue::Number(0x41, 5)).IsCounter32());
  EXPECT_FALSE(TSample::FromAnswer(TSnmpValue::Number(0x42, 5)).IsCounter32());
  EXPECT_EQ(TSample::FromAnswer(TSnmpValue::Number(0x46, 18446744073709551615u)).Magnitude(),
            18446744073709551615u);
}

// The candidates of the given values, slot i for the i-th value; the labels name the slots.
std::vector<TPieSlice> Pie(const std::vector<std::string>& values, int wanted) {
  TSlotStore store;
  store.Reset({"1.3.6.1.2.1.2.2.1.10"}, {});
  store.SetRows(static_cast<int>(values.size()));
  std::vector<std::pair<int, TSample>> answers;
  for (size_t i = 0; i < values.size(); ++i)
    answers.emplace_back(static_cast<int>(i), TSample::FromText(values[i]));
  store.Evaluate(answers, 1, 0);
  std::vector<TSliceCandidate> candidates;
  for (int s = 0; s < store.SlotCount(); ++s) {
    TSlotReading reading;
    reading.Value = store.Newest(s);
    const TCurrentValue value = ShownValue(reading, true);
    if (value.Present && !value.Negative) candidates.push_back({s, KeyOf(value)});
  }
  std::vector<std::string> names;
  for (int s = 0; s < store.SlotCount(); ++s) names.push_back("s" + std::to_string(s));
  std::vector<TPieSlice> pie = {{"left from before", 1, "1", 0, 0}};
  BuildPie(
      candidates, wanted, [&](int slot) -> const std::string& { return names[slot]; }, pie);
  return pie;
}

std::string Describe(const std::vector<TPieSlice>& pie) {
  std::string out;
  for (const TPieSlice& s : pie)
    out += s.Label + "=" + s.ValueText + "@" + std::to_string(s.Position) + " ";
  return out;
}

TEST(ValuesTest, ThePieTakesTheLargestAndSumsTheRest) {
  const struct {
    const char* name;
    std::vector<std::string> values;
    int wanted;
    std::string want;
  } cases[] = {
      {"three slices", {"50", "30", "20", "10"}, 3, "s0=50@0 s1=30@1 Other=30@2 "},
      {"any", {"50", "30", "20", "10"}, 0, "s0=50@0 s1=30@1 s2=20@2 s3=10@3 "},
      {"nothing left over", {"50", "30", "20", "10"}, 5, "s0=50@0 s1=30@1 s2=20@2 s3=10@3 "},
      {"a zero gets a slice of its own", {"0", "7"}, 0, "s1=7@0 s0=0@1 "},
      {"zeros add nothing to Other", {"9", "0", "0"}, 2, "s0=9@0 "},
      {"negatives and Null are left out", {"-3", "Null", "4"}, 0, "s2=4@0 "},
      {"equal values: the greater slot text first",
       {"5", "5", "5", "5", "5", "5", "5", "5", "5", "5", "5"},
       4,
       "s9=5@0 s8=5@1 s7=5@2 Other=40@3 "},
      {"every digit of a 64-bit counter",
       {"18446744073709551615", "18446744073709551614", "1"},
       2,
       "s0=18446744073709551615@0 Other=18446744073709551615@1 "},
      {"two decimals", {"0.125", "3.5"}, 0, "s1=3.5@0 s0=0.12@1 "},
      {"wide values sort above the rest (2^130)",
       {"1361129467683753853853498429727072845824", "18446744073709551615"},
       0,
       "s0=1361129467683753853853498429727072845824@0 s1=18446744073709551615@1 "},
      {"no candidates", {"Null"}, 3, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Describe(Pie(c.values, c.wanted)), c.want) << c.name;
}

TEST(ValuesTest, KeysOrderEveryValue) {
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
                                              "1e25",
                                              "1e40"};
  std::vector<TSliceKey> keys;
  for (const std::string& text : ascending) {
    TCurrentValue value;
    const TSample sample = TSample::FromText(text);
    value.Present = true;
    value.Whole = sample.IsWhole();
    value.Magnitude = sample.Magnitude();
    value.Number = sample.Number();
    keys.push_back(KeyOf(value));
  }
  for (size_t i = 1; i < keys.size(); ++i) {
    EXPECT_TRUE(KeyLess(keys[i - 1], keys[i])) << ascending[i - 1] << " < " << ascending[i];
    EXPECT_FALSE(KeyLess(keys[i], keys[i - 1])) << ascending[i] << " > " << ascending[i - 1];
  }
  // Two decimals decide: 0.004 and 0 are equal keys.
  TCurrentValue tiny;
  tiny.Present = true;
  tiny.Number = 0.004L;
  EXPECT_FALSE(KeyLess(KeyOf(tiny), keys[0]));
  EXPECT_FALSE(KeyLess(keys[0], KeyOf(tiny)));
}

// A key holds the value rounded to hundredths exactly as its fixed-point text with two
// decimals rounds it (ties to even on the exact binary value), wide from 37 digits on.
TEST(ValuesTest, KeysRoundAsTheTwoDecimalTextDoes) {
  std::vector<long double> numbers = {
      0.0L,    0.004L,       0.005L,       0.015L,       0.125L,
      0.375L,  0.625L,       2.675L,       1.005L,       99.995L,
      1e-30L,  0.5L,         12.345L,      1e15L + 0.5L, 0x1p63L + 2048,
      0x1p64L, 1e30L / 3,    9.999999e33L, 1e34L,        9.99999999999999999e33L,
      1e35L,   0x1p118L / 3, 0x1p117L,     1e36L,        1e300L};
  std::mt19937_64 random(7);
  for (int i = 0; i < 2000; ++i) {
    const long double mantissa = static_cast<long double>(random()) / 0x1p64L;
    const int exponent = static_cast<int>(random() % 140) - 20;
    numbers.push_back(std::ldexp(mantissa, exponent));
    // Exact ties: a whole number of eighths.
    numbers.push_back(static_cast<long double>(random() % 100000) / 8);
  }
  for (const long double number : numbers) {
    char buffer[512];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed, 2).ptr;
    std::string digits(buffer, end);
    digits.erase(digits.find('.'), 1);
    TCurrentValue value;
    value.Present = true;
    value.Number = number;
    const TSliceKey key = KeyOf(value);
    if (digits.size() > 36) {
      EXPECT_TRUE(key.Wide) << digits;
      EXPECT_EQ(key.WideValue, number);
      continue;
    }
    unsigned __int128 want = 0;
    for (const char c : digits) want = want * 10 + static_cast<unsigned>(c - '0');
    EXPECT_FALSE(key.Wide) << digits;
    EXPECT_TRUE(key.Hundredths == want) << digits;
  }
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
    std::string_view rest = list;
    for (std::string batch = TakeBatch(rest); !batch.empty(); batch = TakeBatch(rest)) {
      if (got.empty()) first = batch;
      got.push_back(CountItems(batch));
    }
    EXPECT_EQ(got, c.batches) << c.items;
    if (c.items > 0) {
      EXPECT_EQ(first.substr(0, 9), "1.3.6.1.0");
    }
  }
  std::string_view damaged =
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
