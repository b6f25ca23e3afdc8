#include "shared/item_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrava {
namespace {

const std::string S(1, kItemSeparator);

TEST(ItemListTest, NextItemTakesEveryItemOnceAndStopsOnAnUnterminatedTail) {
  struct Case {
    std::string list;
    std::vector<std::string> items;  // taken while the list still holds a separator
    std::string left;
  };
  const Case cases[] = {
      {"", {}, ""},
      {"a" + S + "b" + S, {"a", "b"}, ""},
      {"a" + S + "b", {"a"}, "b"},  // no final separator: "b" stays where it is
      {S + S, {"", ""}, ""},        // empty items are items
      {"1.3.6.1" + S + "42" + S + "x", {"1.3.6.1", "42"}, "x"},
  };
  for (const Case& c : cases) {
    std::string list = c.list;
    std::vector<std::string> items;
    while (CountItems(list) > 0) {
      std::string item;
      NextItem(list, item);
      items.push_back(item);
    }
    EXPECT_EQ(items, c.items) << c.list;
    EXPECT_EQ(list, c.left) << c.list;
    std::string item = "stale";
    NextItem(list, item);
    EXPECT_EQ(item, "");
    EXPECT_EQ(list, c.left) << "a list without a separator is left as it was";
  }
}

TEST(ItemListTest, CountItemsCountsSeparators) {
  EXPECT_EQ(CountItems(""), 0);
  EXPECT_EQ(CountItems("x" + S + "y" + S), 2);
  EXPECT_EQ(CountItems("no separator"), 0);
  EXPECT_EQ(CountItems(S + S + S), 3);
}

TEST(ItemListTest, AppendItemBuildsWhatNextItemTakesApart) {
  std::string list;
  for (const char* item : {"1.3.6.1.2.1.2.2.1.10.1", "", "4294967295"}) AppendItem(list, item);
  EXPECT_EQ(list, "1.3.6.1.2.1.2.2.1.10.1" + S + S + "4294967295" + S);
  EXPECT_EQ(CountItems(list), 3);
  std::string item;
  NextItem(list, item);
  EXPECT_EQ(item, "1.3.6.1.2.1.2.2.1.10.1");
  NextItem(list, item);
  EXPECT_EQ(item, "");
  NextItem(list, item);
  EXPECT_EQ(item, "4294967295");
  EXPECT_EQ(list, "");
}

}  // namespace
}  // namespace kestrava
