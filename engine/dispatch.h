#pragma once
// Pieces of the request dispatch that need no session: the batch cut and the id sequence.
// Thread: any; pure functions.

#include <cstdint>
#include <string>

namespace kestrava {

// Most OIDs one request carries.
inline constexpr int kBatchSize = 15;
// Request ids run 1 .. 1000000, then 0, 1, ...
inline constexpr uint32_t kMaxRequestId = 1000000;

// Removes up to 15 items from the front of `list` and returns them as an item list.
std::string TakeBatch(std::string& list);

// The id after `counter`.
uint32_t FollowingRequestId(uint32_t counter);

}  // namespace kestrava
