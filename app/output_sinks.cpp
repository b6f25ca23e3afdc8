#include "app/output_sinks.h"

#include "app/output_files.h"
#include "ui/chart.h"

namespace kestrava {

void TCsvExport::TakeSnapshot(const TSnapshotPtr& snapshot) {
  m_started = m_started || !snapshot->Pie.empty();
  if (!m_started) return;
  std::string error;
  if (!WriteFileAtomically(m_path, SlicesCsv(snapshot->Pie), error)) m_failed(error);
}

void TPngSnapshot::TakeSnapshot(const TSnapshotPtr& snapshot) {
  m_started = m_started || !snapshot->Pie.empty();
  if (!m_started) return;
  std::string error;
  if (!WritePngAtomically(m_path, m_chart.RenderImage(m_chart.size(), m_scale), error))
    m_failed(error);
}

}  // namespace kestrava
