#pragma once
// Sample slices for the chart's benchmark and screenshots: interface names with input-octet
// figures, largest first and "Other" last, as the chart feed passes them.
// Thread: any.

#include "ui/chart.h"

namespace kestrava {

// Feeds count slices (at least 1) into the chart, the last one "Other".
void FeedSampleSlices(TChart& chart, int count);
// Feeds count slices with a long tail, the n-th about 1/n of the first, as a table of
// thousands of rows gives them when every row has a slice.
void FeedLongTailSlices(TChart& chart, int count);

}  // namespace kestrava
