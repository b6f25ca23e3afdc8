// One paint of the chart: 30 slices in 3D into a 1200 x 900 image, with the legend at the
// bottom and with the marks; the flat pie with the legend; and 5,000 slices with their marks,
// as a table with every row on the pie gives them. Then one update as the window sees it at
// 100, 5,000 and 20,000 slices: new values for the same labels, and the shown chart repainted.
// Run: QT_QPA_PLATFORM=offscreen bench_ui_chart --benchmark_repetitions=10

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <vector>

#include "bench/ui/chart_samples.h"

namespace {

void PaintChart(benchmark::State& state, bool legend, bool view3D = true, int slices = 30) {
  kestrava::TChart chart;
  if (slices <= 30)
    kestrava::FeedSampleSlices(chart, slices);
  else
    kestrava::FeedLongTailSlices(chart, slices);
  chart.SetView3D(view3D);
  chart.SetLegendVisible(legend);
  chart.SetLegendAlignment(kestrava::laBottom);
  for (auto _ : state) {
    QImage image = chart.RenderImage(QSize(1200, 900));
    benchmark::DoNotOptimize(image.constBits());
  }
}

void BM_Paint30Slices3DLegendBottom(benchmark::State& state) {
  PaintChart(state, true);
}
void BM_Paint30Slices3DMarks(benchmark::State& state) {
  PaintChart(state, false);
}
// The flat pie follows its outline pixel by pixel: the same paint without 3D, for comparison.
void BM_Paint30SlicesFlatLegendBottom(benchmark::State& state) {
  PaintChart(state, true, false);
}
void BM_Paint5000Slices3DMarks(benchmark::State& state) {
  PaintChart(state, false, true, 5000);
}
void BM_Paint5000SlicesFlatMarks(benchmark::State& state) {
  PaintChart(state, false, false, 5000);
}
// One update of the shown chart: the feed's new slices (the labels kept, the values moved), then
// the repaint that follows. Argument: the number of slices; legend or marks; 3D.
void ChartUpdate(benchmark::State& state, bool legend) {
  const int count = static_cast<int>(state.range(0));
  kestrava::TChart chart;
  chart.SetLegendVisible(legend);
  chart.resize(585, 374);
  chart.show();
  std::vector<kestrava::TSlice> base;
  base.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    base.push_back({QStringLiteral("port %1/%2").arg(i / 48 + 1).arg(i % 48 + 1),
                    std::round(9.5e8 / (i + 1)), static_cast<double>(i + 1),
                    kestrava::PaletteColour});
  }
  QCoreApplication::processEvents();
  int round = 0;
  for (auto _ : state) {
    std::vector<kestrava::TSlice> slices = base;
    ++round;
    for (size_t i = 0; i < slices.size(); ++i) slices[i].value += (round + i) % 7;
    chart.SetSlices(std::move(slices));
    chart.repaint();
  }
}
void BM_UpdateMarks(benchmark::State& state) {
  ChartUpdate(state, false);
}
void BM_UpdateLegend(benchmark::State& state) {
  ChartUpdate(state, true);
}
BENCHMARK(BM_UpdateMarks)->Arg(100)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateLegend)->Arg(100)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Paint30Slices3DLegendBottom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint30Slices3DMarks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint30SlicesFlatLegendBottom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint5000Slices3DMarks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint5000SlicesFlatMarks)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
