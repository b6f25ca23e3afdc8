#include "app/run_outputs.h"

namespace kestrava {

TRunOutputs::TRunOutputs(const TOutputOptions& options, const TChart& chart,
                         const THistoryStore& history, TRunOutputEvents events) {
  if (!options.Export.empty())
    m_csvExport = std::make_unique<TCsvExport>(options.Export, events.WriteFailed);
  if (!options.Snapshot.empty()) {
    m_pngSnapshot = std::make_unique<TPngSnapshot>(options.Snapshot, options.SnapshotScale, chart,
                                                   events.WriteFailed);
  }
  if (!options.Stream.empty()) {
    m_stream = std::make_unique<TStreamSink>(options.Stream, events.WriteFailed,
                                             std::move(events.StreamClosed));
    m_stream->SetHistory(&history);
  }
  if (!options.Metrics.empty())
    m_metrics = std::make_unique<TMetricsSink>(options.Metrics, std::move(events.ServeFailed));
}

void TRunOutputs::Attach(TSession& session) {
  if (m_pngSnapshot) session.AddSink(*m_pngSnapshot);
  if (m_csvExport) session.AddSink(*m_csvExport);
  if (m_stream) session.AddSink(*m_stream);
  if (m_metrics) session.AddSink(*m_metrics);
}

void TRunOutputs::KeepFiles(TSession& session) {
  if (m_csvExport) session.RemoveSink(*m_csvExport);
  if (m_pngSnapshot) session.RemoveSink(*m_pngSnapshot);
}

}  // namespace kestrava
