// Renders the chart with 3, 12 and 30 slices, flat and 3D, with the legend at each side and
// with marks, as PNG files into the folder given as the only argument.
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
        const QImage image = chart.RenderImage(QSize(585, 374));
        if (!image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)
                 .save(folder.filePath(name), "PNG", 9)) {
          std::fprintf(stderr, "cannot write %s\n", qPrintable(folder.filePath(name)));
          return 1;
        }
      }
    }
  }
  return 0;
}
