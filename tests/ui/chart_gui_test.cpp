// The chart rendered offscreen: pixels where the geometry puts them, the clipboard copy, and
// the coalesced repaints of the widget.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPalette>
#include <cmath>
#include <numbers>

#include "ui/chart.h"

namespace kestrava {
namespace {

uint32_t Pixel(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xFFFFFF;
}
uint32_t Pixel(const QImage& image, const TPoint& p) {
  return Pixel(image, p.x, p.y);
}
uint32_t Rgb(const QColor& c) {
  return c.rgb() & 0xFFFFFF;
}

// A point inside the pie at the given angle and fraction of the radii, unprojected.
TPoint Inside(const TPieRect& pie, double theta, double fraction) {
  return {pie.cx + RoundEven(fraction * pie.rx * std::cos(theta)),
          pie.cy - RoundEven(fraction * pie.ry * std::sin(theta))};
}

void Feed(TChart& chart, const std::vector<double>& values) {
  chart.ClearSlices();
  for (size_t i = 0; i < values.size(); ++i) {
    chart.AddSlice(QStringLiteral("if%1").arg(i), values[i], static_cast<double>(i + 1),
                   PaletteColour);
  }
}

TEST(ChartRender, StartsWithTheConfiguredDefaults) {
  TChart chart;
  EXPECT_EQ(chart.TitleText(), QStringLiteral("Top receivers"));
  EXPECT_EQ(chart.TitleFont().family(), QStringLiteral("Verdana"));
  EXPECT_EQ(chart.TitleFont().pointSize(), 12);
  EXPECT_TRUE(chart.TitleFont().bold());
  EXPECT_TRUE(chart.View3D());
  EXPECT_TRUE(chart.LegendVisible());
  EXPECT_FALSE(chart.MarksVisible());
  EXPECT_EQ(chart.LegendAlignment(), laBottom);
  EXPECT_EQ(chart.SliceCount(), 0);
}

TEST(ChartRender, EmptyChartShowsFrameAndTitleOnly) {
  TChart chart;
  const QSize size(300, 200);
  const QImage image = chart.RenderImage(size);
  ASSERT_EQ(image.size(), size);
  const uint32_t light = Rgb(chart.palette().color(QPalette::Light));
  const uint32_t dark = Rgb(chart.palette().color(QPalette::Dark));
  EXPECT_EQ(Pixel(image, 0, 0), light);
  EXPECT_EQ(Pixel(image, 150, 0), light);
  EXPECT_EQ(Pixel(image, 0, 100), light);
  EXPECT_EQ(Pixel(image, 299, 100), dark);
  EXPECT_EQ(Pixel(image, 150, 199), dark);
  EXPECT_EQ(Pixel(image, 299, 199), dark);
  // Below the title everything inside the frame is white: no legend, no pie.
  const TChartLayout layout = chart.Layout(size);
  EXPECT_FALSE(layout.legend.visible);
  for (int y = layout.chart.top; y < 199; ++y) {
    for (int x = 1; x < 299; ++x) ASSERT_EQ(Pixel(image, x, y), 0xFFFFFFu) << x << "," << y;
  }
}

TEST(ChartRender, FlatSlicesTakeTheirPaletteColoursAndBlackOutlines) {
  TChart chart;
  chart.SetView3D(false);
  Feed(chart, {6, 5, 4, 3, 2, 1});
  const QSize size(585, 374);
  const QImage image = chart.RenderImage(size);
  const TChartLayout layout = chart.Layout(size);
  ASSERT_EQ(layout.flat.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    const TSliceAngles& a = layout.angles[i];
    EXPECT_EQ(Pixel(image, Inside(layout.pie, a.mid, 0.6)), SlicePalette[i]);
    EXPECT_EQ(Pixel(image, EllipsePoint(layout.pie, a.end)), 0u);
    EXPECT_EQ(Pixel(image, EllipsePoint(layout.pie, a.mid)), 0u);
  }
  // The fifth slice is white: only its outline shows it on the background.
  EXPECT_EQ(SlicePalette[4], 0xFFFFFFu);
  EXPECT_EQ(Pixel(image, layout.pie.cx, layout.pie.cy), 0u);
}

TEST(ChartRender, AllZeroValuesFillThePieWithTheFirstSlice) {
  TChart chart;
  Feed(chart, {0, 0, 0});
  const QSize size(400, 300);
  chart.SetView3D(false);
  {
    const QImage image = chart.RenderImage(size);
    const TChartLayout layout = chart.Layout(size);
    for (double theta : {0.5, 2.0, 3.5, 5.0}) {
      EXPECT_EQ(Pixel(image, Inside(layout.pie, theta, 0.5)), 0xFF0000u) << theta;
    }
  }
  chart.SetView3D(true);
  {
    // In 3D the empty slices leave one black radius of the upper face at 3 o'clock.
    const QImage image = chart.RenderImage(size);
    const TChartLayout layout = chart.Layout(size);
    const TPoint apex = layout.solid[0].cover[0];
    const TPoint rim = layout.solid[1].cover[1];
    ASSERT_EQ(apex.y, rim.y);
    EXPECT_EQ(Pixel(image, (apex.x + rim.x) / 2, apex.y), 0u);
    EXPECT_EQ(Pixel(image, (apex.x + rim.x) / 2, apex.y - 3), 0xFF0000u);
    EXPECT_EQ(Pixel(image, (apex.x + rim.x) / 2, apex.y + 3), 0xFF0000u);
  }
}

TEST(ChartRender, SolidSliceHasARimDarkenedBy32) {
  TChart chart;
  Feed(chart, {1, 1});  // red upper half, green lower half
  const QSize size(585, 374);
  const QImage image = chart.RenderImage(size);
  const TChartLayout layout = chart.Layout(size);
  ASSERT_EQ(layout.solid.size(), 2u);
  EXPECT_TRUE(layout.solid[0].rims.empty());
  ASSERT_EQ(layout.solid[1].rims.size(), 1u);
  const std::vector<TPoint>& rim = layout.solid[1].rims[0];
  const size_t half = rim.size() / 2;
  const size_t k = half / 2;  // around 6 o'clock
  const TPoint upper = rim[k], lower = rim[rim.size() - 1 - k];
  ASSERT_GE(lower.y - upper.y, 4);
  EXPECT_EQ(Pixel(image, upper.x, (upper.y + lower.y) / 2), DarkenColour(0x008000));
  EXPECT_EQ(Pixel(image, upper.x, lower.y), 0u);
  EXPECT_EQ(Pixel(image, upper.x, upper.y - 4), 0x008000u);
  const TPoint apex = layout.solid[0].cover[0];
  EXPECT_EQ(Pixel(image, apex.x, apex.y - 10), 0xFF0000u);
}

TEST(ChartRender, LegendBoxSoftShadowAndSwatches) {
  TChart chart;
  Feed(chart, {3000.5, 2000, 1000});
  for (TLegendAlignment alignment : {laLeft, laRight, laTop, laBottom}) {
    SCOPED_TRACE(alignment);
    chart.SetLegendAlignment(alignment);
    const QSize size(585, 374);
    const QImage image = chart.RenderImage(size);
    const TChartLayout layout = chart.Layout(size);
    ASSERT_TRUE(layout.legend.visible);
    ASSERT_EQ(layout.legend.items.size(), 3u);
    const TPixRect& box = layout.legend.box;
    EXPECT_EQ(layout.legend.items[0].value, QStringLiteral("3,000.5"));
    // Frame on the box's outermost pixels, white inside.
    EXPECT_EQ(Pixel(image, box.left, box.top + 1), 0u);
    EXPECT_EQ(Pixel(image, box.right - 1, box.bottom - 2), 0u);
    EXPECT_EQ(Pixel(image, box.left + 1, box.top + 1), 0xFFFFFFu);
    // Three shadow lines and columns: black, 85, 170; the shadow starts 3 pixels in.
    for (int j = 0; j < 3; ++j) {
      const uint32_t grey = 0x555555u * static_cast<uint32_t>(j);
      EXPECT_EQ(Pixel(image, box.left + 10, box.bottom + j), grey) << j;
      EXPECT_EQ(Pixel(image, box.right + j, box.top + 10), grey) << j;
    }
    // The shadow's ends, pixel by pixel: x from the box's right edge, y from its bottom.
    const struct {
      int dx, dy;
      uint32_t want;
    } corner[] = {
        {-1, 0, 0x000000}, {0, 0, 0x555555},  {1, 0, 0x555555}, {2, 0, 0xAAAAAA}, {3, 0, 0xFFFFFF},
        {-1, 1, 0x555555}, {0, 1, 0x555555},  {1, 1, 0xAAAAAA}, {2, 1, 0xAAAAAA}, {3, 1, 0xFFFFFF},
        {-1, 2, 0xAAAAAA}, {0, 2, 0xAAAAAA},  {1, 2, 0xAAAAAA}, {2, 2, 0xFFFFFF}, {0, -1, 0x000000},
        {1, -1, 0x555555}, {2, -1, 0xAAAAAA}, {0, 3, 0xFFFFFF},
    };
    for (const auto& c : corner) {
      EXPECT_EQ(Pixel(image, box.right + c.dx, box.bottom + c.dy), c.want) << c.dx << "," << c.dy;
    }
    for (int j = 0; j < 3; ++j) {
      const uint32_t grey = 0x555555u * static_cast<uint32_t>(j);
      EXPECT_EQ(Pixel(image, box.left + 3, box.bottom + j), grey) << j;
      EXPECT_EQ(Pixel(image, box.left + 2, box.bottom + j), 0xFFFFFFu) << j;
      EXPECT_EQ(Pixel(image, box.right + j, box.top + 3), grey) << j;
      EXPECT_EQ(Pixel(image, box.right + j, box.top + 2), 0xFFFFFFu) << j;
    }
    for (const TLegendItem& item : layout.legend.items) {
      const TPixRect swatch = layout.legend.SwatchRect(item);
      EXPECT_EQ(Pixel(image, (swatch.left + swatch.right) / 2, (swatch.top + swatch.bottom) / 2),
                SlicePalette[item.slice]);
      EXPECT_EQ(Pixel(image, swatch.left, swatch.top), 0u);
      EXPECT_EQ(Pixel(image, swatch.right - 1, swatch.bottom - 1), 0u);
    }
  }
}

TEST(ChartRender, MarksReplaceTheLegendAndShrinkThePie) {
  TChart chart;
  Feed(chart, {5, 3, 2});
  const QSize size(585, 374);
  const TChartLayout withLegend = chart.Layout(size);
  EXPECT_TRUE(withLegend.marks.empty());
  chart.SetLegendVisible(false);
  chart.SetLegendAlignment(laRight);  // no effect while the legend is hidden
  EXPECT_TRUE(chart.MarksVisible());
  const QImage image = chart.RenderImage(size);
  const TChartLayout layout = chart.Layout(size);
  EXPECT_FALSE(layout.legend.visible);
  ASSERT_EQ(layout.marks.size(), 3u);
  EXPECT_LT(layout.pie.rx, withLegend.pie.rx);
  const QColor tooltip = chart.palette().color(QPalette::ToolTipBase);
  for (const TMark& m : layout.marks) {
    SCOPED_TRACE(m.slice);
    EXPECT_EQ(m.lines, QStringList{QStringLiteral("if%1").arg(m.slice)});
    EXPECT_EQ(Pixel(image, m.x, m.y), 0u);
    EXPECT_EQ(Pixel(image, m.x + m.w - 1, m.y + m.v - 1), 0u);
    EXPECT_EQ(Pixel(image, m.x + 1, m.y + 1), Rgb(tooltip));
    EXPECT_EQ(Pixel(image, m.x + m.w, m.y + m.v / 2), 0x808080u);
    EXPECT_EQ(Pixel(image, m.x + m.w / 2, m.y + m.v), 0x808080u);
    EXPECT_EQ(Pixel(image, m.x, m.y + m.v), 0xFFFFFFu);
  }
}

TEST(ChartRender, CopyIsTheChartAreaWithoutTheLabelLyingOnIt) {
  TChart chart;
  chart.resize(420, 310);
  Feed(chart, {7, 5, 3, 1});
  QLabel initializing(QStringLiteral("Initializing..."), &chart);
  initializing.setGeometry(8, 6, 107, 18);
  initializing.setAutoFillBackground(true);
  chart.show();
  QApplication::processEvents();

  QGuiApplication::clipboard()->clear();
  chart.CopyChartBitmap();
  const QImage copied = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
  const QImage fresh = chart.RenderImage(QSize(420, 310));
  ASSERT_EQ(copied.size(), QSize(420, 310));
  EXPECT_EQ(copied, fresh);
  // The screen shows the label over the chart; without it, screen and copy are the same.
  const QImage withLabel = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_NE(withLabel, copied);
  initializing.hide();
  const QImage screen = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(screen, copied);
}

// Counts the paints a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST(ChartRender, SettingsChangesShareOneRepaint) {
  TChart chart;
  chart.resize(300, 200);
  chart.show();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  PaintCounter counter;
  chart.installEventFilter(&counter);
  chart.SetTitleText(QStringLiteral("Top senders"));
  chart.SetView3D(false);
  chart.SetLegendVisible(false);
  chart.SetLegendAlignment(laTop);
  chart.ClearSlices();
  chart.AddSlice(QStringLiteral("eth0"), 1, 1, PaletteColour);
  chart.AddSlice(QStringLiteral("lo"), 2, 2, PaletteColour);
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  EXPECT_EQ(counter.paints, 1);
  EXPECT_EQ(chart.TitleText(), QStringLiteral("Top senders"));
  EXPECT_EQ(chart.SliceCount(), 2);
  // The clipboard copy is followed by one repaint of its own.
  chart.CopyChartBitmap();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  EXPECT_EQ(counter.paints, 2);
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  // Listing the tests at build time runs this too, without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
