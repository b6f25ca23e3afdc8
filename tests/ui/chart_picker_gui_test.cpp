// Picking a slice: every place the chart draws one (its legend entry, its mark, its piece of
// the flat or 3D pie, drawn pixel by pixel or smooth) answers with that slice, and the
// chart's empty corners with none.
#include "ui/chart_picker.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <cmath>

#include "ui/chart.h"

namespace kestrava {
namespace {

std::vector<TSlice> Slices() {
  return {{"eth0", 600, 0, PaletteColour}, {"eth1", 300, 1, PaletteColour},
          {"Other", 100, 2, PaletteColour}};
}

TEST(ChartPicker, EverySliceIsFoundWhereItIsDrawn) {
  const struct {
    const char* name;
    bool legend;
    bool view3D;
    bool smooth;
  } cases[] = {
      {"legend, flat", true, false, false},   {"legend, 3D", true, true, false},
      {"marks, flat", false, false, false},   {"marks, 3D", false, true, false},
      {"legend, 3D smooth", true, true, true}, {"marks, flat smooth", false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TChart chart;
    chart.resize(500, 360);
    chart.SetSlices(Slices());
    chart.SetLegendVisible(c.legend);
    chart.SetView3D(c.view3D);
    chart.SetAntialiased(c.smooth);
    const TChartLayout layout = chart.Layout(chart.size());
    EXPECT_EQ(SliceAt(layout, 0, 0), -1);
    EXPECT_EQ(SliceAt(layout, 499, 0), -1);
    for (int slice = 0; slice < 3; ++slice) {
      // Half way out along the slice's middle, on the upper face of the pie.
      const TSliceAngles& angles = layout.angles.at(static_cast<size_t>(slice));
      const int x = layout.pie.cx + static_cast<int>(0.5 * layout.pie.rx * std::cos(angles.mid));
      const int y = layout.pie.cy - static_cast<int>(0.5 * layout.pie.ry * std::sin(angles.mid));
      const TPoint onPie = c.view3D ? layout.projection.Project(x, y, 0) : TPoint{x, y};
      EXPECT_EQ(SliceAt(layout, onPie.x, onPie.y), slice) << onPie.x << "," << onPie.y;
    }
    if (c.legend) {
      ASSERT_EQ(layout.legend.items.size(), 3u);
      for (const TLegendItem& item : layout.legend.items) {
        const TPixRect r = LegendEntryRect(layout.legend, item);
        EXPECT_EQ(SliceAt(layout, (r.left + r.right) / 2, (r.top + r.bottom) / 2), item.slice);
      }
    } else {
      ASSERT_FALSE(layout.marks.empty());
      for (const TMark& mark : layout.marks)
        EXPECT_EQ(SliceAt(layout, mark.x + mark.w / 2, mark.y + mark.v / 2), mark.slice);
    }
  }
}

}  // namespace
}  // namespace kestrava
