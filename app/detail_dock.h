#pragma once
// TDetailDock: the pane beside the chart that tells about one row of the pie: its label, index
// and targets, a plot of its value over the last 5, 15 or 60 minutes, its current value,
// minimum, mean and maximum there, its rank and the time it has spent in the top. Rows pinned
// here keep every poll in the history and share the plot with the row shown. Everything is as
// of one moment: the newest poll, or the moment the chart was rewound to.
// Thread: the window's thread only.

#include <QDockWidget>
#include <cstdint>
#include <vector>

#include "engine/history_store.h"
#include "shared/oid_names.h"
#include "shared/unit_text.h"

class QLabel;
class QListWidget;
class QToolButton;

namespace kestrava {

class THistoryPlot;

class TDetailDock : public QDockWidget {
  Q_OBJECT

 public:
  explicit TDetailDock(const THistoryStore& store, QWidget* parent = nullptr);

  // The row shown; the dock opens. -1: none.
  void ShowSeries(int series);
  // Shows everything as of timeMs.
  void ShowMoment(int64_t timeMs);
  // The store's content was replaced: no row is shown or pinned.
  void Forget();

  void SetRangeMinutes(int minutes);
  // The units the values read in, as the legend's (none, the default: plain numbers).
  void SetUnits(TUnits units);
  const std::vector<int>& PinnedSeries() const { return m_pinned; }

  QLabel* RowTitle;
  QLabel* RowIndex;
  QLabel* RowTargets;
  std::vector<QToolButton*> RangeButtons;  // 5, 15 and 60 minutes
  QToolButton* PinButton;
  QListWidget* PinnedList;
  THistoryPlot* Plot;
  QLabel* CurrentValue;
  QLabel* MinValue;
  QLabel* MeanValue;
  QLabel* MaxValue;
  QLabel* RankValue;
  QLabel* TopTimeValue;

 signals:
  // The user pinned or unpinned a row (the history keeps every poll of pinned rows).
  void PinChanged(int series, bool pinned);

 private:
  void Refresh();
  void TogglePin();

  const THistoryStore& m_store;
  int m_series = -1;
  int64_t m_moment = 0;
  int m_rangeMinutes = 5;
  TUnits m_units = TUnits::kNone;
  TOidNames m_names;  // which columns count octets or packets
  std::vector<int> m_pinned;
};

// "45 s", "2 min 05 s", "1 h 02 min".
QString DurationText(double seconds);

}  // namespace kestrava
