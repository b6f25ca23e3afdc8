#pragma once
// TChartFeed: the chart as a sink of the session: the pie of every snapshot, as the chart draws
// it (labels as the slices show them, values with every digit for the legend and the marks).
// Thread: the window's thread only.

#include "engine/poll_snapshot.h"

namespace kestrava {

class TChart;

class TChartFeed : public IPollSink {
 public:
  explicit TChartFeed(TChart& chart) : m_chart(chart) {}
  void TakeSnapshot(const TSnapshotPtr& snapshot) override;

 private:
  TChart& m_chart;
};

}  // namespace kestrava
