#pragma once
// TRunOutputs: the outputs the command line asks of a run, each a sink of the session: the CSV
// file ("/EXPORT"), the chart's image ("/SNAPSHOT"), the stream of polls for scripts
// ("/STREAM") and the Prometheus endpoint ("/METRICS"). Only those asked for exist. A new output
// is one sink here and one line in Attach.
// Thread: the window's (main) thread.

#include <functional>
#include <memory>
#include <string>

#include "app/metrics_sink.h"
#include "app/output_sinks.h"
#include "app/stream_sink.h"
#include "config/command_line.h"
#include "engine/history_store.h"
#include "engine/session.h"

namespace kestrava {

struct TRunOutputEvents {
  std::function<void(const std::string& reason)> WriteFailed;  // a file could not be written
  std::function<void()> StreamClosed;                          // the stream's reader went away
  std::function<void(const std::string& reason)> ServeFailed;  // the endpoint cannot listen
};

class TRunOutputs {
 public:
  // The stream tells the rank changes of history, which must take each snapshot before it.
  TRunOutputs(const TOutputOptions& options, const TChart& chart, const THistoryStore& history,
              TRunOutputEvents events);

  void Attach(TSession& session);
  // The files of the last counted update stay as they are: the CSV and the image take no more.
  void KeepFiles(TSession& session);

 private:
  std::unique_ptr<TCsvExport> m_csvExport;
  std::unique_ptr<TPngSnapshot> m_pngSnapshot;
  std::unique_ptr<TStreamSink> m_stream;
  std::unique_ptr<TMetricsSink> m_metrics;
};

}  // namespace kestrava
