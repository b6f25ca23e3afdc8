#pragma once
// Picking a slice of the chart: with the mouse on its piece of the pie, its mark or its legend
// entry, or from the keyboard (the arrow keys move among the legend entries, Enter picks the one
// that has the focus, drawn as a dotted frame). The chart itself is not changed: TChartPicker
// watches its events and draws the focus on a see-through child, which no image of the chart
// (the clipboard, "/SNAPSHOT") ever holds.
// Thread: the window's thread only.

#include <QObject>
#include <QPointer>

#include "ui/chart_geometry.h"

namespace kestrava {

class TChart;

// The slice drawn at (x, y) of a chart laid out as `layout`: its legend entry, its mark, or its
// piece of the pie; -1 where there is none. A run of hairline slices answers with its first.
int SliceAt(const TChartLayout& layout, int x, int y);
// The rectangle of a legend entry: its swatch, value and label.
TPixRect LegendEntryRect(const TLegendLayout& legend, const TLegendItem& item);

class TChartPicker : public QObject {
  Q_OBJECT

 public:
  // Watches chart, which must outlive nothing: the picker is its child.
  explicit TChartPicker(TChart& chart);

  // The slice of the legend entry with the keyboard focus; -1 none.
  int FocusedEntry() const { return m_focused; }
  void SetFocusedEntry(int slice);

 signals:
  void SlicePicked(int slice);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool KeyPressed(int key);
  TChart& m_chart;
  QPointer<QWidget> m_focusFrame;
  int m_focused = -1;
};

}  // namespace kestrava
