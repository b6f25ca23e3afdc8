#include "shared/item_list.h"

#include <algorithm>

namespace kestrava {

void NextItem(std::string& list, std::string& item) {
  const size_t end = list.find(kItemSeparator);
  if (end == std::string::npos) {
    item.clear();
    return;
  }
  item.assign(list, 0, end);
  list.erase(0, end + 1);
}

bool NextItemView(std::string_view& list, std::string_view& item) {
  const size_t end = list.find(kItemSeparator);
  if (end == std::string_view::npos) return false;
  item = list.substr(0, end);
  list.remove_prefix(end + 1);
  return true;
}

int CountItems(const std::string& list) {
  return static_cast<int>(std::count(list.begin(), list.end(), kItemSeparator));
}

void AppendItem(std::string& list, std::string_view item) {
  list.append(item);
  list.push_back(kItemSeparator);
}

}  // namespace kestrava
