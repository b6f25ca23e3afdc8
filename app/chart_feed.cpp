#include "app/chart_feed.h"

#include "ui/chart.h"

namespace kestrava {

const QString& TChartFeed::Label(const TPieSlice& slice) {
  // "Other" has no slot of its own.
  if (slice.Slot < 0 || static_cast<size_t>(slice.Slot) >= m_labels.size()) {
    m_other = QString::fromStdString(slice.Label);
    return m_other;
  }
  QString& label = m_labels[static_cast<size_t>(slice.Slot)];
  if (label.isNull()) label = QString::fromStdString(slice.Label);
  return label;
}

void TChartFeed::TakeSnapshot(const TSnapshotPtr& snapshot) {
  if (snapshot->Layout != m_layout) {
    m_layout = snapshot->Layout;
    m_labels.assign(m_layout ? m_layout->SliceLabels.size() : 0, QString());
  }
  std::vector<TSlice> shown;
  shown.reserve(snapshot->Pie.size());
  for (const TPieSlice& slice : snapshot->Pie) {
    shown.push_back(TSlice{Label(slice), slice.Value, static_cast<double>(slice.Position),
                           slice.Colour, QString::fromStdString(slice.ValueText)});
    shown.back().shown = slice.Shown;
  }
  m_chart.SetSlices(std::move(shown));
}

}  // namespace kestrava
