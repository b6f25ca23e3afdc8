#pragma once
// TChartFeed: the chart as a sink of the session: the pie of every snapshot, as the chart draws
// it (labels as the slices show them, values with every digit for the legend and the marks).
// A slot's label is turned into the chart's text once per set of rows and shared by every
// update after, so that a pie of thousands of slices makes no label texts per poll.
// Thread: the window's thread only.

#include <QString>
#include <memory>
#include <vector>

#include "engine/poll_snapshot.h"

namespace kestrava {

class TChart;

class TChartFeed : public IPollSink {
 public:
  explicit TChartFeed(TChart& chart) : m_chart(chart) {}
  void TakeSnapshot(const TSnapshotPtr& snapshot) override;

 private:
  const QString& Label(const TPieSlice& slice);

  TChart& m_chart;
  // The layout the labels were made for, and its slots' labels as made so far.
  std::shared_ptr<const TSnapshotLayout> m_layout;
  std::vector<QString> m_labels;
  QString m_other;
};

}  // namespace kestrava
