// Where the discovered rows live: one table for the rows and what was found, shared with
// whoever took it (a snapshot layout) and never changed under them; the refresh walk's list let
// go once the rows are compared with it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/discovery.h"
#include "engine/row_table.h"

namespace kestrava {
namespace {

const std::string kDescr = "1.3.6.1.2.1.2.2.1.2";

// A walk of the label column over the given instance numbers, each labelled "ifN".
void Walk(TDiscovery& discovery, const std::vector<int>& instances, bool refresh) {
  if (refresh) {
    discovery.StartRefresh();
  } else {
    discovery.StartWalk();
  }
  for (const int i : instances) {
    const std::string oid = kDescr + "." + std::to_string(i);
    const std::string label = "if" + std::to_string(i);
    const TWalkStep step = refresh ? discovery.RefreshStep(oid, TWalkBinding::kRow, label)
                                   : discovery.Step(oid, TWalkBinding::kRow, label);
    ASSERT_EQ(step.Kind, TWalkStep::kNext);
  }
}

std::vector<std::string> Suffixes(const std::vector<TInstance>& rows) {
  std::vector<std::string> out;
  for (const TInstance& row : rows) out.push_back(row.Suffix);
  return out;
}

TEST(RowTable, ChangesCopyOnlyWhatAnotherHolds) {
  TRowTable rows{{".1", "lo"}, {".2", "eth0"}};
  const std::vector<TInstance>* before = &rows.Items();
  rows.push_back({".3", "eth1"});
  EXPECT_EQ(&rows.Items(), before);  // held by one: changed where it is

  const TRowTable taken = rows;
  EXPECT_TRUE(taken.Shares(rows));
  rows.Edit().erase(rows.Edit().begin());
  EXPECT_FALSE(taken.Shares(rows));
  EXPECT_EQ(Suffixes(taken.Items()), (std::vector<std::string>{".1", ".2", ".3"}));
  EXPECT_EQ(Suffixes(rows.Items()), (std::vector<std::string>{".2", ".3"}));

  rows.clear();
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(taken.size(), 3u);
}

TEST(DiscoveryRows, AWalkStoresItsInstancesOnce) {
  TDiscovery discovery;
  discovery.Reset(kDescr, "");
  Walk(discovery, {1, 2, 3}, false);
  discovery.FilterRows();
  EXPECT_EQ(Suffixes(discovery.Rows()), (std::vector<std::string>{".1", ".2", ".3"}));
  EXPECT_EQ(&discovery.Found(), &discovery.Rows());
}

TEST(DiscoveryRows, ARefreshLeavesATakenTableAsItWas) {
  // rows: the discovery's after the refresh; kept: shared with the table taken before it.
  struct Case {
    const char* name;
    std::vector<int> refresh;
    std::vector<std::string> rows;
    bool kept;
  };
  const Case cases[] = {
      {"nothing changes", {1, 2, 3}, {".1", ".2", ".3"}, true},
      {"one vanishes", {1, 3}, {".1", ".3"}, false},
      {"one comes", {1, 2, 3, 4}, {".1", ".2", ".3", ".4"}, false},
      {"one goes, one comes", {2, 3, 5}, {".2", ".3", ".5"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDiscovery discovery;
    discovery.Reset(kDescr, "");
    Walk(discovery, {1, 2, 3}, false);
    const TRowTable taken = discovery.RowTable();  // as a snapshot layout holds it
    Walk(discovery, c.refresh, true);
    discovery.EndRefresh();
    EXPECT_EQ(Suffixes(discovery.Rows()), c.rows);
    EXPECT_EQ(Suffixes(discovery.Found()), c.rows);
    EXPECT_EQ(Suffixes(taken.Items()), (std::vector<std::string>{".1", ".2", ".3"}));
    EXPECT_EQ(taken.Shares(discovery.RowTable()), c.kept);
    EXPECT_TRUE(discovery.RefreshFound().empty());
    EXPECT_EQ(discovery.RefreshFound().capacity(), 0u);
  }
}

TEST(DiscoveryRows, APickedEntryKeepsEveryFoundInstance) {
  TDiscovery discovery;
  discovery.Reset(kDescr, "RT");
  Walk(discovery, {1, 2, 3}, false);
  discovery.BuildMaskChoices();
  ASSERT_TRUE(discovery.Select(discovery.ChoiceIndex("2")));
  EXPECT_EQ(Suffixes(discovery.Rows()), std::vector<std::string>{".2"});
  EXPECT_EQ(Suffixes(discovery.Found()), (std::vector<std::string>{".1", ".2", ".3"}));

  // The picked entry is the mask now: a refresh finds its row again and changes nothing.
  Walk(discovery, {1, 2, 3}, true);
  EXPECT_FALSE(discovery.EndRefresh().Any());
  EXPECT_EQ(Suffixes(discovery.Rows()), std::vector<std::string>{".2"});
  EXPECT_EQ(Suffixes(discovery.Found()), (std::vector<std::string>{".1", ".2", ".3"}));
}

}  // namespace
}  // namespace kestrava
