// Renders the chart with 3, 12 and 30 slices, flat and 3D, with the legend at each side and
// with marks, as true-colour PNG files into the folder given as the only argument; and the
// 12 slices in 3D with the legend at the bottom at scale 2 (-hidpi) and drawn smooth
// (-antialias), and in the dark look with the legend and with the marks (-dark).
// Usage: QT_QPA_PLATFORM=offscreen chart_screenshots <folder>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <cstdio>

#include "bench/ui/chart_samples.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  // Every colour as the chart has it: the palette's greens, silvers, creams and the shadows'
  // greys would not survive a reduced colour table.
  const auto save = [&](const QImage& image, const QString& name) {
    if (image.save(folder.filePath(name), "PNG", 9)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(folder.filePath(name)));
    return false;
  };
  struct Mode {
    const char* name;
    bool legend;
    kestrava::TLegendAlignment alignment;
  };
  const Mode modes[] = {{"bottom", true, kestrava::laBottom},
                        {"top", true, kestrava::laTop},
                        {"left", true, kestrava::laLeft},
                        {"right", true, kestrava::laRight},
                        {"marks", false, kestrava::laBottom}};
  kestrava::TChart chart;
  for (int count : {3, 12, 30}) {
    kestrava::FeedSampleSlices(chart, count);
    for (bool view3D : {false, true}) {
      for (const Mode& mode : modes) {
        chart.SetView3D(view3D);
        chart.SetLegendVisible(mode.legend);
        chart.SetLegendAlignment(mode.alignment);
        const QString name = QStringLiteral("chart-%1-%2-%3.png")
                                 .arg(count)
                                 .arg(view3D ? QStringLiteral("3d") : QStringLiteral("2d"))
                                 .arg(QString::fromLatin1(mode.name));
        if (!save(chart.RenderImage(QSize(585, 374)), name)) return 1;
      }
    }
  }
  kestrava::FeedSampleSlices(chart, 12);
  chart.SetView3D(true);
  chart.SetLegendVisible(true);
  chart.SetLegendAlignment(kestrava::laBottom);
  if (!save(chart.RenderImage(QSize(585, 374), 2), QStringLiteral("chart-12-3d-bottom-hidpi.png")))
    return 1;
  chart.SetAntialiased(true);
  if (!save(chart.RenderImage(QSize(585, 374)), QStringLiteral("chart-12-3d-bottom-antialias.png")))
    return 1;
  // The dark look beside the classic one, with the legend and with the marks.
  chart.SetAntialiased(false);
  chart.SetDark(true);
  if (!save(chart.RenderImage(QSize(585, 374)), QStringLiteral("chart-12-3d-bottom-dark.png")))
    return 1;
  chart.SetView3D(false);
  chart.SetLegendVisible(false);
  if (!save(chart.RenderImage(QSize(585, 374)), QStringLiteral("chart-12-2d-marks-dark.png")))
    return 1;
  return 0;
}
