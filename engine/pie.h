#pragma once
// The slices of the pie, built from the current values of the shown slots: the candidates are
// ordered by value, the largest N - 1 get a slice each (largest first) and the rest are summed
// into a last slice "Other". This is the one place where the slices are ordered.
// The order is that of the sort key: the value rounded to two decimals (what a slice shows),
// equal keys by the slot number's text, the greater text first (slot 9 before slot 10).
// Thread: any; pure functions.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/slot_store.h"
#include "shared/session_types.h"
#include "shared/unit_text.h"

namespace kestrava {

// One slice as the window gets it.
struct TPieSlice {
  TPieSlice() = default;
  // The slice of the chart's own; what it shows with its unit and its slot are filled in after.
  TPieSlice(std::string label, double value, std::string valueText, int position, uint32_t colour)
      : Label(std::move(label)),
        Value(value),
        ValueText(std::move(valueText)),
        Position(position),
        Colour(colour) {}
  std::string Label;
  double Value = 0;       // what the slice's size and the legend show
  std::string ValueText;  // the same value in plain decimal with "." and every digit
  int Position = 0;       // rank: 0 the largest; "Other" comes last
  uint32_t Colour = 0;
  TQuantity Shown;  // the value with its unit, for the legend and the marks; kNone: ValueText's
  int Slot = -1;    // the slot it shows; -1 for "Other"
  bool operator==(const TPieSlice&) const = default;
};

// The value rounded to hundredths: exact for everything below 10^36, the rest ("wide") ordered
// by its long double value above all others.
struct TSliceKey {
  bool Wide = false;
  unsigned __int128 Hundredths = 0;
  long double WideValue = 0;
};
// The key of a present value that is not negative.
TSliceKey KeyOf(const TCurrentValue& value);
bool KeyLess(const TSliceKey& a, const TSliceKey& b);

struct TSliceCandidate {
  int Slot = 0;
  TSliceKey Key;
};

// Fills pie with the slices. wanted is N, the number of slices asked for, "Other" included; a
// wanted below 1 means "Any": every candidate its own slice. label names a slot's slice. The
// candidates are reordered: those of the slices of their own come first, in the slices'
// order, and the rest (what "Other" sums) after them; both vectors keep their room for the
// next feed.
void BuildPie(std::vector<TSliceCandidate>& candidates, int wanted,
              const std::function<const std::string&(int slot)>& label,
              std::vector<TPieSlice>& pie);

}  // namespace kestrava
