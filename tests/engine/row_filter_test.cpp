// The row filter: which rows pass, what it asks the agent, what it learns from the answers,
// and how discovery and a refresh keep refused instances found but not polled.
#include "engine/row_filter.h"

#include <gtest/gtest.h>

#include "shared/item_list.h"

namespace kestrava {
namespace {

const std::string kDescr = "1.3.6.1.2.1.2.2.1.2";

TConfigRec Filters(std::string include, std::string exclude, std::vector<int> types, bool up) {
  TConfigRec config;
  config.IncludeLabels = std::move(include);
  config.ExcludeLabels = std::move(exclude);
  config.IfTypes = std::move(types);
  config.UpOnly = up;
  return config;
}

TEST(RowFilter, WhichRowsPass) {
  const TRowFacts ethUp{6, 1};
  const TRowFacts ethDown{6, 2};
  const TRowFacts loopUp{24, 1};
  const TRowFacts unknown{};
  struct Case {
    const char* name;
    TConfigRec config;
    const char* label;
    TRowFacts facts;
    bool passes;
  };
  const Case cases[] = {
      {"no filter", {}, "lo", unknown, true},
      {"include matches anywhere", Filters("eth", "", {}, false), "veth3", unknown, true},
      {"include anchored", Filters("^eth", "", {}, false), "veth3", unknown, false},
      {"include is case-sensitive", Filters("^eth", "", {}, false), "ETH0", unknown, false},
      {"include with its own flag", Filters("(?i)^eth", "", {}, false), "ETH0", unknown, true},
      {"exclude", Filters("", "\\.[0-9]+$", {}, false), "eth0.100", unknown, false},
      {"exclude misses", Filters("", "\\.[0-9]+$", {}, false), "eth0", unknown, true},
      {"include and exclude", Filters("^eth", "\\.", {}, false), "eth0.5", unknown, false},
      {"type listed", Filters("", "", {6, 161}, false), "x", ethDown, true},
      {"type not listed", Filters("", "", {6, 161}, false), "lo", loopUp, false},
      {"type unknown", Filters("", "", {6}, false), "x", unknown, false},
      {"up", Filters("", "", {}, true), "x", ethUp, true},
      {"down", Filters("", "", {}, true), "x", ethDown, false},
      {"state unknown", Filters("", "", {}, true), "x", unknown, false},
      {"type and up", Filters("", "", {6}, true), "x", ethUp, true},
      {"type but down", Filters("", "", {6}, true), "x", ethDown, false},
      {"up but wrong type", Filters("", "", {6}, true), "lo", loopUp, false},
      {"label refuses first", Filters("^eth", "", {6}, true), "lo", ethUp, false},
  };
  for (const Case& c : cases) {
    const TRowFilter filter(c.config);
    EXPECT_EQ(filter.Passes(TInstance{".1", c.label}, c.facts), c.passes) << c.name;
  }
  EXPECT_FALSE(TRowFilter().Any());
  EXPECT_TRUE(TRowFilter(Filters("", "x", {}, false)).Any());
  EXPECT_FALSE(TRowFilter(Filters("x", "", {}, false)).NeedsFacts());
  EXPECT_TRUE(TRowFilter(Filters("", "", {}, true)).NeedsFacts());
}

TEST(RowFilter, AsksOnlyTheColumnsItNeeds) {
  const std::vector<TInstance> rows = {{".1", "a"}, {".7", "b"}};
  const auto items = [](const std::string& list) {
    std::vector<std::string> out;
    std::string_view rest = list;
    std::string_view item;
    while (NextItemView(rest, item)) out.emplace_back(item);
    return out;
  };
  EXPECT_EQ(TRowFilter(Filters("a", "b", {}, false)).FactOids(rows), "");
  EXPECT_EQ(items(TRowFilter(Filters("", "", {6}, false)).FactOids(rows)),
            (std::vector<std::string>{"1.3.6.1.2.1.2.2.1.3.1", "1.3.6.1.2.1.2.2.1.3.7"}));
  EXPECT_EQ(items(TRowFilter(Filters("", "", {}, true)).FactOids(rows)),
            (std::vector<std::string>{"1.3.6.1.2.1.2.2.1.8.1", "1.3.6.1.2.1.2.2.1.8.7"}));
  EXPECT_EQ(items(TRowFilter(Filters("", "", {6}, true)).FactOids(rows)).size(), 4u);
}

TEST(RowFilter, LearnsIntegersOfItsTwoColumnsOnly) {
  TRowFactsTable facts;
  const auto integer = [](uint64_t magnitude, bool negative = false) {
    return TSnmpValue::Number(kTagInteger, magnitude, negative);
  };
  facts.Learn("1.3.6.1.2.1.2.2.1.3.1", integer(6));
  facts.Learn("1.3.6.1.2.1.2.2.1.8.1", integer(2));
  facts.Learn("1.3.6.1.2.1.2.2.1.3.2", TSnmpValue::Octets(kTagNoSuchInstance, ""));
  facts.Learn("1.3.6.1.2.1.2.2.1.8.2", TSnmpValue::Octets(kTagOctetString, "1"));  // no INTEGER
  facts.Learn("1.3.6.1.2.1.2.2.1.3.3", integer(2147483648u));  // wider than 32 bits
  facts.Learn("1.3.6.1.2.1.2.2.1.8.3", integer(2147483649u, true));
  facts.Learn("1.3.6.1.2.1.2.2.1.30.4", integer(6));     // ifType's prefix, another column
  facts.Learn("1.3.6.1.2.1.31.1.1.1.3.5", integer(6));   // another table
  facts.Learn("1.3.6.1.2.1.2.2.1.3.6.1", integer(161));  // an instance of two parts
  facts.Learn("1.3.6.1.2.1.2.2.1.8.7", integer(2147483648u, true));  // the lowest there is
  EXPECT_EQ(facts.Of(".1").IfType, 6);
  EXPECT_EQ(facts.Of(".1").OperStatus, 2);
  for (const char* suffix : {".2", ".3", ".4", ".5", ".9"}) {
    EXPECT_EQ(facts.Of(suffix).IfType, 0) << suffix;
    EXPECT_EQ(facts.Of(suffix).OperStatus, 0) << suffix;
  }
  EXPECT_EQ(facts.Of(".6.1").IfType, 161);
  EXPECT_EQ(facts.Of(".7").OperStatus, -2147483647 - 1);
  facts.Clear();
  EXPECT_EQ(facts.Of(".1").IfType, 0);
}

// A walk of the label column over instances 1..n with the given labels.
void Walk(TDiscovery& discovery, const std::vector<std::string>& labels, bool refresh) {
  for (size_t i = 0; i < labels.size(); ++i) {
    const std::string oid = kDescr + "." + std::to_string(i + 1);
    const TWalkStep step = refresh ? discovery.RefreshStep(oid, TWalkBinding::kRow, labels[i])
                                   : discovery.Step(oid, TWalkBinding::kRow, labels[i]);
    ASSERT_EQ(step.Kind, TWalkStep::kNext);
  }
}

std::vector<std::string> SuffixesOf(const std::vector<TInstance>& instances) {
  std::vector<std::string> out;
  for (const TInstance& instance : instances) out.push_back(instance.Suffix);
  return out;
}

TEST(RowFilter, DiscoveryAndRefreshPollOnlyAdmittedRows) {
  // Admitted: labels that do not end in "-down"; what a refresh sees decides.
  TDiscovery discovery;
  discovery.Reset(kDescr, "");
  discovery.SetAdmission([](const TInstance& row) {
    return row.Label.size() < 5 || row.Label.compare(row.Label.size() - 5, 5, "-down") != 0;
  });
  discovery.StartWalk();
  Walk(discovery, {"a", "b-down", "c", "d-down"}, false);
  discovery.FilterRows();
  EXPECT_EQ(SuffixesOf(discovery.Rows()), (std::vector<std::string>{".1", ".3"}));
  EXPECT_EQ(discovery.FilteredOut(), 2);
  EXPECT_EQ(discovery.Found().size(), 4u);

  // ".1" goes down, ".2" comes up, ".4" vanishes, ".5" is new and down.
  discovery.StartRefresh();
  Walk(discovery, {"a-down", "b", "c", "d-down", "e-down"}, true);
  const TRowChanges changes = discovery.EndRefresh();
  EXPECT_EQ(changes.Removed, std::vector<int>{0});
  EXPECT_EQ(changes.Appended, 1);
  EXPECT_EQ(SuffixesOf(discovery.Rows()), (std::vector<std::string>{".3", ".2"}));
  EXPECT_EQ(discovery.FilteredOut(), 3);
  // A refused instance stays found (for the mask choices); ".5" is found from now on.
  EXPECT_EQ(discovery.Found().size(), 5u);

  // Without an admission every instance is a row.
  discovery.SetAdmission(nullptr);
  discovery.FilterRows();
  EXPECT_EQ(discovery.FilteredOut(), 0);
  EXPECT_EQ(discovery.Rows().size(), 2u);
}

}  // namespace
}  // namespace kestrava
