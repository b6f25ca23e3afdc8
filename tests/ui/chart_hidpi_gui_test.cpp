// The chart on a screen of device-pixel ratio 2: painted at that ratio rather than enlarged,
// while the clipboard copy keeps the chart area's logical size.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>

#include "ui/chart.h"

namespace kestrava {
namespace {

QImage Comparable(QImage image) {
  image = image.convertToFormat(QImage::Format_RGB32);
  image.setDevicePixelRatio(1);
  return image;
}

void Feed(TChart& chart) {
  const char* const names[] = {"eth0", "wlan0", "lo", "docker0", "br-lan", "Other"};
  double value = 1843200;
  for (int i = 0; i < 6; ++i, value *= 0.7) {
    chart.AddSlice(QString::fromLatin1(names[i]), value, i + 1, PaletteColour);
  }
}

TEST(ChartHiDpi, PaintsAtTheScreensPixelRatio) {
  for (bool legend : {true, false}) {
    SCOPED_TRACE(legend ? "legend" : "marks");
    TChart chart;
    chart.resize(420, 310);
    Feed(chart);
    chart.SetLegendVisible(legend);
    chart.show();
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    ASSERT_EQ(chart.devicePixelRatioF(), 2);
    const QImage screen = Comparable(chart.grab().toImage());
    ASSERT_EQ(screen.size(), QSize(840, 620));
    EXPECT_EQ(screen, Comparable(chart.RenderImage(QSize(420, 310), 2)));
    // Not the logical picture enlarged, whose title and edges are blocky.
    const QImage enlarged =
        Comparable(chart.RenderImage(QSize(420, 310)))
            .scaled(QSize(840, 620), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    EXPECT_NE(screen, enlarged);
  }
}

TEST(ChartHiDpi, CopyKeepsTheLogicalSize) {
  TChart chart;
  chart.resize(420, 310);
  Feed(chart);
  chart.show();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  QGuiApplication::clipboard()->clear();
  chart.CopyChartBitmap();
  const QImage copied = Comparable(QGuiApplication::clipboard()->image());
  ASSERT_EQ(copied.size(), QSize(420, 310));
  EXPECT_EQ(copied, Comparable(chart.RenderImage(QSize(420, 310))));
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  // Listing the tests at build time runs this too, without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // A screen of twice the logical resolution, as Qt's own scaling makes it on any platform.
  qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
