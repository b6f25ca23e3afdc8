// The top of the plot's scale: the first of 1, 2 or 5 times a power of ten at or above the
// largest value, and 1 for a plot with nothing above 0.
#include "ui/history_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kestrava {
namespace {

TEST(HistoryPlot, ScaleTop) {
  const struct {
    double largest;
    double top;
  } cases[] = {
      {0, 1},
      {-5, 1},
      {std::nan(""), 1},
      {std::numeric_limits<double>::infinity(), 1},
      {0.3, 0.5},
      {1, 1},
      {1.01, 2},
      {2, 2},
      {4.99, 5},
      {5.5, 10},
      {999, 1000},
      {1001, 2000},
      {4'399'984, 5'000'000},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(RoundScaleTop(c.largest), c.top) << c.largest;
}

}  // namespace
}  // namespace kestrava
