#pragma once
// How the history's values read: a change per second, or a raw value, in the unit of what the
// row's column counts and of the user's units setting ("812 kbit/s", "150 pkt/s", "2.5/s"), as
// the legend reads them; with units "none" a plain number ("/s" after a change). In the user's
// locale. The one place that writes them.
// Thread: any.

#include <QString>

#include "shared/unit_text.h"

namespace kestrava {

QString RateText(double value, bool raw, TColumnKind kind = TColumnKind::kOther,
                 TUnits units = TUnits::kNone);

}  // namespace kestrava
