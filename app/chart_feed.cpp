#include "app/chart_feed.h"

#include <QString>
#include <vector>

#include "ui/chart.h"

namespace kestrava {

void TChartFeed::TakeSnapshot(const TSnapshotPtr& snapshot) {
  std::vector<TSlice> shown;
  shown.reserve(snapshot->Pie.size());
  for (const TPieSlice& slice : snapshot->Pie) {
    shown.push_back(TSlice{QString::fromStdString(slice.Label), slice.Value,
                           static_cast<double>(slice.Position), slice.Colour,
                           QString::fromStdString(slice.ValueText)});
    shown.back().shown = slice.Shown;
  }
  m_chart.SetSlices(std::move(shown));
}

}  // namespace kestrava
