#pragma once
// Pieces of instance discovery that need no session.
// Thread: any; pure functions.

#include <string>
#include <vector>

namespace kestrava {

// True when the dotted OID `a` comes after `b` in the agent's (numeric) order.
bool OidGreater(const std::string& a, const std::string& b);

// The entries of the instance-mask list that one found instance adds: for every "RT" component
// of the mask, the mask with every "RT" replaced by the instance's component at that position.
std::vector<std::string> MaskEntries(const std::string& mask, const std::string& instance);

}  // namespace kestrava
