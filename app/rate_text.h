#pragma once
// How the history's values read: a change per second as a plain number with "/s" after it, a
// raw value as a plain number, in the user's locale with at most two decimals. The one place
// that writes them, so that a unit of measure can take its place.
// Thread: any.

#include <QString>

namespace kestrava {

QString RateText(double value, bool raw);

}  // namespace kestrava
