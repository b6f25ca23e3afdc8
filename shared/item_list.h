#pragma once
// Item lists: lists of OIDs, or of OID/value pairs, kept in one string in which every item, the
// last one included, is followed by kItemSeparator. The empty string is the empty list.
// Thread: any; the functions are pure and work only on the caller's strings.

#include <string>
#include <string_view>

namespace kestrava {

inline constexpr char kItemSeparator = '\x1F';

// Takes the first item off `list`: `item` gets the text before the first separator and the list
// loses everything up to and including it. Without a separator `item` is empty and `list` is
// left as it was, so a loop that stops on an empty list never spins on a damaged tail.
void NextItem(std::string& list, std::string& item);

// The number of separators in `list`, that is the number of items a producer put into it.
int CountItems(const std::string& list);

// NextItem over a view, which only moves its start (a long list is walked in linear time):
// false at the end of the list or at a tail without separator, which holds no item.
bool NextItemView(std::string_view& list, std::string_view& item);

// Appends `item` and its separator to `list`.
void AppendItem(std::string& list, std::string_view item);

}  // namespace kestrava
