// One paint of the chart: 30 slices in 3D into a 1200 x 900 image, with the legend at the
// bottom and with the marks.

#include <benchmark/benchmark.h>

#include <QApplication>

#include "bench/ui/chart_samples.h"

namespace {

void PaintChart(benchmark::State& state, bool legend) {
  kestrava::TChart chart;
  kestrava::FeedSampleSlices(chart, 30);
  chart.SetView3D(true);
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
BENCHMARK(BM_Paint30Slices3DLegendBottom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint30Slices3DMarks)->Unit(benchmark::kMillisecond);

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
