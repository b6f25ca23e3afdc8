#pragma once
// The files a run writes after every chart update, each a sink of the session: the slices as
// CSV (/EXPORT) and the chart as a PNG (/SNAPSHOT). Nothing is written before the first update
// that shows a slice, so that a file is never an empty pie from before the first values came;
// from then on every update is written. A file that cannot be written is reported through
// `failed` with its reason; the previous file stays as it was.
// Thread: the window's thread only.

#include <functional>
#include <string>

#include "engine/poll_snapshot.h"

namespace kestrava {

class TChart;

using TOutputFailed = std::function<void(const std::string& reason)>;

class TCsvExport : public IPollSink {
 public:
  TCsvExport(std::string path, TOutputFailed failed)
      : m_path(std::move(path)), m_failed(std::move(failed)) {}
  void TakeSnapshot(const TSnapshotPtr& snapshot) override;

 private:
  std::string m_path;
  TOutputFailed m_failed;
  bool m_started = false;
};

// The chart is rendered as it stands: the chart's own feed must come before this sink.
class TPngSnapshot : public IPollSink {
 public:
  TPngSnapshot(std::string path, double scale, const TChart& chart, TOutputFailed failed)
      : m_path(std::move(path)), m_scale(scale), m_chart(chart), m_failed(std::move(failed)) {}
  void TakeSnapshot(const TSnapshotPtr& snapshot) override;

 private:
  std::string m_path;
  double m_scale;
  const TChart& m_chart;
  TOutputFailed m_failed;
  bool m_started = false;
};

}  // namespace kestrava
