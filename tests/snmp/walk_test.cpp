#include "snmp/walk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrava {
namespace {

using TReading = TWalk::TReading;
using TStep = TWalk::TStep;

const std::string kRoot = "1.3.6.1.2.1.2.2.1.2";
constexpr int kString = 4;
constexpr int kEndOfMibView = 0x82;

struct TBinding {
  std::string Oid;
  int Type = kString;
};

std::string Row(int instance) {
  return kRoot + "." + std::to_string(instance);
}

std::vector<TWalkBindingRef> Refs(const std::vector<TBinding>& bindings) {
  std::vector<TWalkBindingRef> refs;
  for (const TBinding& binding : bindings) refs.push_back({binding.Oid, binding.Type});
  return refs;
}

const char* Name(TWalkBinding binding) {
  switch (binding) {
    case TWalkBinding::kRow:
      return "row";
    case TWalkBinding::kOutside:
      return "outside";
    case TWalkBinding::kException:
      return "exception";
    case TWalkBinding::kNotIncreasing:
      return "not increasing";
  }
  return "?";
}

// Each binding told to the owner, as "index verdict".
using TSeen = std::vector<std::string>;
std::string Seen(size_t index, TWalkBinding binding) {
  return std::to_string(index) + " " + Name(binding);
}

TEST(WalkTest, OneAnswerIsReadAsEachReadingReadsIt) {
  const std::string kNextColumn = "1.3.6.1.2.1.2.2.1.3";
  const struct {
    const char* name;
    TReading reading;
    int repetitions;
    int version;
    std::vector<TBinding> before;  // an earlier answer of rows only, read first
    int errorStatus;
    std::vector<TBinding> bindings;
    int stopAt;  // the owner stops at this binding (-1: never)
    TStep want;
    TSeen seen;
    std::string next;  // the OID the following step asks after
    int nextRepetitions;
  } cases[] = {
      // clang-format off
      // name, reading, repetitions, version, earlier answer, error status, bindings, stop at,
      // step, bindings told, next OID, next repetitions
      {"rows, get-next", TReading::kRows, 0, 2, {}, 0, {{Row(1)}}, -1,
       TStep::kNext, {"0 row"}, Row(1), 0},
      {"rows, GetBulk, in numeric order", TReading::kRows, 3, 2, {}, 0,
       {{Row(8)}, {Row(9)}, {Row(10)}}, -1,
       TStep::kNext, {"0 row", "1 row", "2 row"}, Row(10), 3},
      {"net-snmp, rows", TReading::kLikeNetSnmp, 3, 2, {{Row(1)}}, 0, {{Row(2)}, {Row(3)}}, -1,
       TStep::kNext, {"0 row", "1 row"}, Row(3), 3},
      {"GetBulk runs past the subtree mid-answer", TReading::kRows, 4, 2, {}, 0,
       {{Row(1)}, {Row(2)}, {kNextColumn + ".1"}, {kNextColumn + ".2"}}, -1,
       TStep::kOver, {"0 row", "1 row", "2 outside"}, kRoot, 4},
      {"net-snmp reads past the subtree to the answer's end", TReading::kLikeNetSnmp, 4, 2, {}, 0,
       {{Row(1)}, {Row(2)}, {kNextColumn + ".1"}, {kNextColumn + ".2"}}, -1,
       TStep::kOver, {"0 row", "1 row", "2 outside", "3 outside"}, kRoot, 4},
      {"a column that shares the root's text is outside", TReading::kRows, 0, 2, {}, 0,
       {{kRoot + "0.1"}}, -1,
       TStep::kOver, {"0 outside"}, kRoot, 0},
      {"an empty table: the first binding is the next column's", TReading::kRows, 0, 1, {}, 0,
       {{kNextColumn + ".1"}}, -1,
       TStep::kOver, {"0 outside"}, kRoot, 0},
      {"endOfMibView", TReading::kRows, 5, 2, {}, 0,
       {{Row(1)}, {Row(1), kEndOfMibView}, {Row(1), kEndOfMibView}}, -1,
       TStep::kOver, {"0 row", "1 exception"}, kRoot, 5},
      {"net-snmp: endOfMibView, and the rest of the answer", TReading::kLikeNetSnmp, 5, 2, {}, 0,
       {{Row(1)}, {Row(1), kEndOfMibView}, {Row(1), kEndOfMibView}}, -1,
       TStep::kOver, {"0 row", "1 exception", "2 exception"}, kRoot, 5},
      {"the root itself ends a walk of rows", TReading::kRows, 0, 2, {}, 0, {{kRoot}}, -1,
       TStep::kOver, {"0 outside"}, kRoot, 0},
      {"net-snmp counts the root itself as inside", TReading::kLikeNetSnmp, 0, 2, {}, 0,
       {{kRoot}}, -1,
       TStep::kOver, {"0 not increasing"}, kRoot, 0},
      {"net-snmp: the root's exception", TReading::kLikeNetSnmp, 0, 2, {}, 0,
       {{kRoot, kEndOfMibView}}, -1,
       TStep::kOver, {"0 exception"}, kRoot, 0},
      {"an agent loop: the OID asked once more", TReading::kRows, 0, 2, {{Row(5)}}, 0,
       {{Row(5)}}, -1,
       TStep::kOver, {"0 not increasing"}, Row(5), 0},
      {"net-snmp: an agent loop", TReading::kLikeNetSnmp, 0, 2, {{Row(5)}}, 0, {{Row(5)}}, -1,
       TStep::kOver, {"0 not increasing"}, Row(5), 0},
      {"an agent going back", TReading::kRows, 0, 2, {{Row(5)}}, 0, {{Row(3)}}, -1,
       TStep::kOver, {"0 not increasing"}, Row(5), 0},
      {"GetBulk going back within the answer", TReading::kRows, 3, 2, {}, 0,
       {{Row(1)}, {Row(3)}, {Row(2)}}, -1,
       TStep::kOver, {"0 row", "1 row", "2 not increasing"}, kRoot, 3},
      {"net-snmp: each binding need only follow the step's OID", TReading::kLikeNetSnmp, 3, 2,
       {}, 0,
       
       {{Row(1)}, {Row(3)}, {Row(2)}}, -1,
       TStep::kNext, {"0 row", "1 row", "2 row"}, Row(2), 3},
      {"a get-next answer names its row in its last binding", TReading::kRows, 0, 2, {}, 0,
       {{kNextColumn + ".1"}, {Row(2)}}, -1,
       TStep::kNext, {"1 row"}, Row(2), 0},
      {"net-snmp reads every binding of a get-next answer", TReading::kLikeNetSnmp, 0, 2, {}, 0,
       {{Row(1)}, {Row(2)}}, -1,
       TStep::kNext, {"0 row", "1 row"}, Row(2), 0},
      {"the owner stops (a row limit)", TReading::kRows, 3, 2, {}, 0,
       {{Row(1)}, {Row(2)}, {Row(3)}}, 1,
       TStep::kOver, {"0 row", "1 row"}, kRoot, 3},
      {"an error status", TReading::kRows, 3, 2, {}, 5, {{Row(1)}}, -1,
       TStep::kError, {}, kRoot, 3},
      {"net-snmp: an error status", TReading::kLikeNetSnmp, 0, 2, {}, 5, {{Row(1)}}, -1,
       TStep::kError, {}, kRoot, 0},
      {"an answer without bindings", TReading::kRows, 3, 2, {}, 0, {}, -1,
       TStep::kEmpty, {}, kRoot, 3},
      {"noSuchName: the end of an SNMPv1 view", TReading::kRows, 0, 1, {{Row(1)}}, 2, {}, -1,
       TStep::kEndOfView, {}, Row(1), 0},
      {"net-snmp: noSuchName, SNMPv1", TReading::kLikeNetSnmp, 0, 1, {}, 2, {}, -1,
       TStep::kEndOfView, {}, kRoot, 0},
      {"noSuchName to SNMPv2c get-next is an error", TReading::kLikeNetSnmp, 0, 2, {}, 2, {}, -1,
       TStep::kError, {}, kRoot, 0},
      {"noSuchName to GetBulk is an error for rows", TReading::kRows, 3, 2, {}, 2, {}, -1,
       TStep::kError, {}, kRoot, 3},
      {"net-snmp: noSuchName to GetBulk ends the view", TReading::kLikeNetSnmp, 3, 2, {}, 2, {}, -1,
       TStep::kEndOfView, {}, kRoot, 3},
      {"tooBig halves the repetitions", TReading::kRows, 50, 2, {{Row(1)}}, 1, {}, -1,
       TStep::kAgain, {}, Row(1), 25},
      {"tooBig at one repetition is an error", TReading::kRows, 1, 2, {}, 1, {}, -1,
       TStep::kError, {}, kRoot, 1},
      {"net-snmp: tooBig is an error", TReading::kLikeNetSnmp, 50, 2, {}, 1, {}, -1,
       TStep::kError, {}, kRoot, 50},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TWalk walk(kRoot, c.repetitions, c.version, c.reading);
    ASSERT_EQ(walk.Next(), kRoot);
    ASSERT_EQ(walk.Repetitions(), c.repetitions);
    if (!c.before.empty()) {
      const auto all = [](size_t, TWalkBinding) { return true; };
      ASSERT_EQ(walk.Step(0, Refs(c.before), all), TStep::kNext);
    }
    TSeen seen;
    const TStep step = walk.Step(c.errorStatus, Refs(c.bindings), [&](size_t i, TWalkBinding b) {
      seen.push_back(Seen(i, b));
      return static_cast<int>(i) != c.stopAt;
    });
    EXPECT_EQ(step, c.want);
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(walk.Next(), c.next);
    EXPECT_EQ(walk.Repetitions(), c.nextRepetitions);
    EXPECT_EQ(walk.Root(), kRoot);
  }
}

TEST(WalkTest, LostStepsHalveTheRepetitionsThenGiveWayToGetNext) {
  for (const TReading reading : {TReading::kRows, TReading::kLikeNetSnmp}) {
    TWalk walk(kRoot, 50, 2, reading);
    std::vector<int> asked;
    while (walk.Lost()) {
      EXPECT_EQ(walk.Next(), kRoot);
      asked.push_back(walk.Repetitions());
    }
    EXPECT_EQ(asked, (std::vector<int>{25, 12, 6, 3, 1, 0}));
    EXPECT_EQ(walk.Repetitions(), 0);
  }
}

}  // namespace
}  // namespace kestrava
