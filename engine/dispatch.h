#pragma once
// Pieces of the request dispatch that need no session: the batch cut and the id sequence.
// Thread: any; pure functions.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava {

// Most OIDs one request carries.
inline constexpr int kBatchSize = 15;
// Request ids run 1 .. 1000000, then 0, 1, ...
inline constexpr uint32_t kMaxRequestId = 1000000;

// Removes up to 15 items from the front of `list` and returns them as an item list.
std::string TakeBatch(std::string& list);
// The same over a view, which only moves its start (a long poll list is cut in linear time).
std::string TakeBatch(std::string_view& list);

// Takes the next item off the front of a view of an item list; false at its end (or at a tail
// without separator, which holds no item).
bool NextItemView(std::string_view& list, std::string_view& item);

// The id after `counter`.
uint32_t FollowingRequestId(uint32_t counter);

}  // namespace kestrava
