#pragma once
// What the legend and the marks show of a slot: its value, change per second or share of its
// interface's speed, in the unit of what its column counts and of the user's units setting.
// Octets become bits (or stay bytes), packets are packets, other counters count per second;
// formulas stay numbers alone unless the file gives their unit. With units "none" every slot is its
// number alone, as the pie's own text has it. The legend shows these; the ranking and the CSV keep
// the exact values. Thread: any; pure functions.

#include <string>

#include "engine/poll_snapshot.h"

namespace kestrava {

struct TShownColumn {
  TColumnKind Kind = TColumnKind::kOther;
  bool Formula = false;
  std::string Unit{};  // a formula's unit from the file; "" none
};

TQuantity ShownQuantity(const TSlotReading& reading, const TShownColumn& column, TValueMode mode,
                        TUnits units);

// The quantity of a slice that sums others ("Other"): their sum in their unit when they share
// one (a share without what it is of), else the number alone.
class TQuantitySum {
 public:
  void Add(const TQuantity& part);
  TQuantity Sum() const;

 private:
  bool m_any = false;
  bool m_mixed = false;
  TQuantity m_sum;
};

}  // namespace kestrava
