// The chart rendered offscreen: pixels where the geometry puts them, the clipboard copy, the
// coalesced repaints of the widget, rendering at a scale, smooth drawing, and many slices.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QSet>
#include <cmath>
#include <numbers>
#include <string>

#include "ui/chart.h"
#include "ui/chart_text_cache.h"

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

// Twelve slices as an interface table gives them, each 14 % below the one before.
void FeedTwelve(TChart& chart) {
  std::vector<double> values;
  double value = 1843200;
  for (int i = 0; i < 12; ++i, value *= 0.86) values.push_back(std::round(value));
  Feed(chart, values);
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

// A point inside the pie as drawn: on the upper face in 3D.
TPoint InsideDrawn(const TChartLayout& layout, double theta, double fraction) {
  const TPoint p = Inside(layout.pie, theta, fraction);
  return layout.projection.Project(p.x, p.y, layout.projection.depth);
}

TEST(ChartRender, ScaledImageIsTheSameChartDrawnFiner) {
  TChart chart;
  FeedTwelve(chart);
  const QSize size(585, 374);
  const QImage one = chart.RenderImage(size);
  const QImage two = chart.RenderImage(size, 2);
  ASSERT_EQ(two.size(), size * 2);
  EXPECT_EQ(two.devicePixelRatio(), 2);
  EXPECT_EQ(two.dotsPerMeterX(), 2 * one.dotsPerMeterX());
  EXPECT_EQ(one.devicePixelRatio(), 1);
  const TChartLayout layout = chart.Layout(size);
  const TPixRect& box = layout.legend.box;
  // Lines, boxes, shadows and fills cover the same logical pixels: 2 x 2 device pixels each.
  std::vector<TPoint> points = {{150, 0},
                                {0, 100},
                                {584, 100},
                                {150, 373},
                                {584, 373},
                                {box.left, box.top + 1},
                                {box.right - 1, box.bottom - 2},
                                {box.left + 1, box.top + 1}};
  for (int j = 0; j < 3; ++j) {
    points.push_back({box.left + 10, box.bottom + j});
    points.push_back({box.right + j, box.top + 10});
  }
  for (const TLegendItem& item : layout.legend.items) {
    const TPixRect swatch = layout.legend.SwatchRect(item);
    points.push_back({swatch.left, swatch.top});
    points.push_back({(swatch.left + swatch.right) / 2, (swatch.top + swatch.bottom) / 2});
  }
  for (const TSliceAngles& a : layout.angles) points.push_back(InsideDrawn(layout, a.mid, 0.6));
  for (const TPoint& p : points) {
    for (int d = 0; d < 4; ++d) {
      EXPECT_EQ(Pixel(two, 2 * p.x + d % 2, 2 * p.y + d / 2), Pixel(one, p))
          << p.x << "," << p.y << " +" << d;
    }
  }
  // Text is drawn at the finer scale, not enlarged: many 2 x 2 blocks of the title mix colours.
  int mixed = 0;
  for (int y = layout.title.y; y < layout.title.y + 19; ++y) {
    for (int x = layout.title.x; x < layout.title.x + 120; ++x) {
      const uint32_t c = Pixel(two, 2 * x, 2 * y);
      if (Pixel(two, 2 * x + 1, 2 * y) != c || Pixel(two, 2 * x, 2 * y + 1) != c ||
          Pixel(two, 2 * x + 1, 2 * y + 1) != c) {
        ++mixed;
      }
    }
  }
  EXPECT_GT(mixed, 100);
}

// The rows the pie covers as drawn: in 3D from the upper face's top to the lower face's bottom.
std::pair<int, int> PieRows(const TChartLayout& layout) {
  const TProjection& projection = layout.projection;
  const TPieRect& pie = layout.pie;
  return {projection.Project(pie.cx, pie.rect.top, projection.depth).y,
          projection.Project(pie.cx, pie.rect.bottom, 0).y + 1};
}

// The colours the classic pie is made of: the palette, its rims, the outlines, the background.
QSet<uint32_t> ClassicPieColours() {
  QSet<uint32_t> colours{0x000000, 0xFFFFFF};
  for (uint32_t c : SlicePalette) colours << c << DarkenColour(c);
  return colours;
}

TEST(ChartRender, SmoothDrawingBlendsThePieEdgesAndNothingElse) {
  const QSize size(585, 374);
  for (bool view3D : {false, true}) {
    SCOPED_TRACE(view3D ? "3D" : "flat");
    TChart chart;
    FeedTwelve(chart);
    chart.SetView3D(view3D);
    EXPECT_FALSE(chart.Antialiased());
    const QImage classic = chart.RenderImage(size);
    chart.SetAntialiased(true);
    EXPECT_TRUE(chart.Antialiased());
    const QImage smooth = chart.RenderImage(size);
    const TChartLayout layout = chart.Layout(size);
    // Blended colours appear along the slices' edges only in the smooth pie.
    const QSet<uint32_t> classicColours = ClassicPieColours();
    int classicBlends = 0, smoothBlends = 0;
    const int depth = layout.projection.depth;
    const auto [top, bottom] = PieRows(layout);
    for (int y = top; y < bottom; ++y) {
      for (int x = layout.pie.rect.left; x < layout.pie.rect.right; ++x) {
        classicBlends += !classicColours.contains(Pixel(classic, x, y));
        smoothBlends += !classicColours.contains(Pixel(smooth, x, y));
      }
    }
    EXPECT_EQ(classicBlends, 0);
    EXPECT_GT(smoothBlends, 1000);
    // Each slice keeps its colour inside, and the rims their darker colour.
    for (size_t i = 0; i < layout.angles.size(); ++i) {
      EXPECT_EQ(Pixel(smooth, InsideDrawn(layout, layout.angles[i].mid, 0.6)), SlicePalette[i])
          << i;
    }
    if (view3D) {
      const TPoint bottom = Inside(layout.pie, 3 * std::numbers::pi / 2, 1);
      const TPoint rim = layout.projection.Project(bottom.x, bottom.y, depth / 2.0);
      EXPECT_EQ(Pixel(smooth, rim), Pixel(classic, rim));
      EXPECT_EQ(Pixel(smooth, rim) & 0xFFFFFF,
                DarkenColour(Pixel(classic, InsideDrawn(layout, 3 * std::numbers::pi / 2, 0.9))));
    }
    // Title, legend and frame are the classic ones, pixel for pixel.
    const auto rows = [&](const QImage& image, int from, int to) {
      return image.copy(0, from, image.width(), to - from);
    };
    const TPixRect& box = layout.legend.box;
    EXPECT_EQ(rows(smooth, 0, layout.title.y + 19), rows(classic, 0, layout.title.y + 19));
    EXPECT_EQ(rows(smooth, box.top, size.height()), rows(classic, box.top, size.height()));
  }
}

TEST(ChartRender, RunsOfSlicesUnderAPixelOfArcLookAsTheirOutlinesDid) {
  // 20 slices that show, then 2,000 of less than a pixel of arc each.
  std::vector<TSlice> slices;
  for (int i = 0; i < 2020; ++i) {
    slices.push_back({QStringLiteral("if%1").arg(i), i < 20 ? 1000.0 : 1.5, 0, PaletteColour});
  }
  const QSize size(585, 374);
  for (bool view3D : {false, true}) {
    SCOPED_TRACE(view3D ? "3D" : "flat");
    TChart chart;
    chart.SetSlices(slices);
    chart.SetView3D(view3D);
    const TChartLayout layout = chart.Layout(size);
    // The 20 slices and one black run.
    const size_t drawn = view3D ? layout.solid.size() : layout.flat.size();
    EXPECT_EQ(drawn, 21u);
    const QImage merged = chart.RenderImage(size);
    // The same pie drawn as before: slice by slice, each filled and outlined.
    QImage each = merged.copy();
    {
      QPainter p(&each);
      p.setPen(Qt::black);
      const auto polygon = [](const std::vector<TPoint>& points) {
        QPolygon out;
        for (const TPoint& q : points) out << QPoint(q.x, q.y);
        return out;
      };
      if (view3D) {
        for (size_t i = 0; i < slices.size(); ++i) {
          const TSolidSlice solid =
              SolidSlice(layout.pie, layout.projection, static_cast<int>(i), layout.angles[i]);
          const uint32_t colour = SliceColour(PaletteColour, static_cast<int>(i));
          p.setBrush(QColor::fromRgb(colour));
          p.drawPolygon(polygon(solid.cover));
          p.setBrush(QColor::fromRgb(DarkenColour(colour)));
          for (const auto& rim : solid.rims) p.drawPolygon(polygon(rim));
        }
      } else {
        for (const TFlatSector& sector : FlatSectors(layout.pie, layout.angles)) {
          p.setBrush(QColor::fromRgb(SliceColour(PaletteColour, sector.slice)));
          p.drawPolygon(polygon(FlatSectorPolygon(layout.pie, sector)));
        }
      }
    }
    int differ = 0, black = 0;
    const auto [top, bottom] = PieRows(layout);
    for (int y = top; y < bottom; ++y) {
      for (int x = layout.pie.rect.left; x < layout.pie.rect.right; ++x) {
        differ += Pixel(merged, x, y) != Pixel(each, x, y);
        black += Pixel(each, x, y) == 0;
      }
    }
    // The run is a black fan either way; a few pixels along its edges may differ.
    EXPECT_GT(black, 10000);
    EXPECT_LT(differ, black / 100);
  }
}

TEST(ChartRender, ACrowdOfMarksShowsEveryLabelAndNoCalloutOverAnother) {
  // The chart area of the window at its first size; two large slices and 28 small ones that
  // crowd together just below 3 o'clock.
  const QSize size(600, 386);
  std::vector<TSlice> slices;
  for (int i = 0; i < 30; ++i) {
    const double large[] = {1000, 800};
    slices.push_back({QStringLiteral("eth%1").arg(i), i < 2 ? large[i] : 5.0, 0, PaletteColour});
  }
  for (bool view3D : {false, true}) {
    SCOPED_TRACE(view3D ? "3D" : "flat");
    TChart chart;
    chart.SetSlices(slices);
    chart.SetView3D(view3D);
    chart.SetLegendVisible(false);
    const TChartLayout layout = chart.Layout(size);
    EXPECT_EQ(layout.marks.size(), slices.size());
    const QImage image = chart.RenderImage(size);
    ASSERT_NE(Rgb(chart.palette().color(QPalette::ToolTipBase)), 0xFFFFFFu);
    for (const TMark& m : layout.marks) {
      // Inside its frame a mark shows its background and its black text, no white callout.
      int white = 0;
      for (int y = m.y + 1; y < m.y + m.v - 1; ++y) {
        for (int x = m.x + 1; x < m.x + m.w - 1; ++x) white += Pixel(image, x, y) == 0xFFFFFFu;
      }
      EXPECT_EQ(white, 0) << m.slice;
    }
  }
}

TEST(ChartRender, MarksKeepOffTheTitle) {
  // Thirty interfaces of a busy host: the marks of the small ones go round the pie's top.
  const char* const names[] = {"eth0",   "wlan0", "lo",     "docker0",
                               "br-lan", "tun0",  "enp3s0", "veth7a1f"};
  std::vector<TSlice> slices;
  double value = 1843200.5;
  for (int i = 0; i < 29; ++i, value *= 0.86) {
    const QString name = QString::fromLatin1(names[i % 8]) +
                         (i < 8 ? QString() : QStringLiteral(".%1").arg(i / 8 + 100));
    slices.push_back({name, std::round(value), 0, PaletteColour});
  }
  slices.push_back({QStringLiteral("Other"), 52345.25, 0, PaletteColour});
  QFont titleFont = TChart().TitleFont();
  titleFont.setPixelSize(16);
  const QFontMetrics titleMetrics(titleFont);
  for (bool view3D : {false, true}) {
    SCOPED_TRACE(view3D ? "3D" : "flat");
    TChart chart;
    chart.SetSlices(slices);
    chart.SetView3D(view3D);
    chart.SetLegendVisible(false);
    const TChartLayout layout = chart.Layout(QSize(585, 374));
    EXPECT_EQ(layout.marks.size(), slices.size());
    const TPixRect title{layout.title.x, layout.title.y,
                         layout.title.x + titleMetrics.horizontalAdvance(chart.TitleText()),
                         layout.title.y + titleMetrics.height()};
    for (const TMark& m : layout.marks)
      EXPECT_FALSE((TPixRect{m.x, m.y, m.x + m.w + 2, m.y + m.v + 2}.Overlaps(title))) << m.slice;
  }
}

TEST(ChartRender, LegendInTheSmallestWindowLeavesTheTitleAndAPie) {
  TChart chart;
  FeedTwelve(chart);
  QFont titleFont = chart.TitleFont();
  titleFont.setPixelSize(16);
  const QFontMetrics title(titleFont);
  // About the chart area of a 300 x 200 window, and a little more.
  for (const QSize size : {QSize(300, 120), QSize(300, 150)}) {
    for (TLegendAlignment alignment : {laLeft, laRight, laTop, laBottom}) {
      SCOPED_TRACE(testing::Message() << alignment << " " << size.height());
      chart.SetLegendAlignment(alignment);
      const TChartLayout layout = chart.Layout(size);
      ASSERT_TRUE(layout.legend.visible);
      const TPixRect titleRect{layout.title.x, layout.title.y,
                               layout.title.x + title.horizontalAdvance(chart.TitleText()),
                               layout.title.y + title.height()};
      const TPixRect& box = layout.legend.box;
      const TPixRect legend{box.left, box.top, box.right + 3, box.bottom + 3};
      EXPECT_FALSE(legend.Overlaps(titleRect));
      EXPECT_FALSE(legend.Overlaps(layout.pie.rect));
      ASSERT_TRUE(layout.pie.drawSlices);
      const QImage image = chart.RenderImage(size);
      EXPECT_EQ(Pixel(image, InsideDrawn(layout, layout.angles[0].mid, 0.5)), 0xFF0000u);
    }
  }
}

TEST(ChartRender, SlicesSetAtOnceDrawAsSlicesAddedOneByOne) {
  TChart added;
  FeedTwelve(added);
  TChart set;
  set.SetSlices(added.Slices());
  EXPECT_EQ(set.SliceCount(), 12);
  for (bool legend : {true, false}) {
    added.SetLegendVisible(legend);
    set.SetLegendVisible(legend);
    EXPECT_EQ(set.RenderImage(QSize(585, 374)), added.RenderImage(QSize(585, 374))) << legend;
  }
  // Setting them all asks for one repaint, as ClearSlices and AddSlice do together.
  set.resize(300, 200);
  set.show();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  PaintCounter counter;
  set.installEventFilter(&counter);
  set.SetSlices({{QStringLiteral("eth0"), 1, 1, PaletteColour}});
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  EXPECT_EQ(counter.paints, 1);
  EXPECT_EQ(set.SliceCount(), 1);
}

TEST(ChartRender, TextsAreMeasuredAgainWhenTheyChange) {
  const QSize size(585, 374);
  TChart chart;
  chart.SetLegendVisible(false);
  chart.SetSlices({{QStringLiteral("a"), 1, 1, PaletteColour}, {"b", 1, 2, PaletteColour}});
  const int narrow = chart.Layout(size).marks[0].w;
  chart.ClearSlices();
  chart.AddSlice(QStringLiteral("a much longer label"), 1, 1, PaletteColour);
  chart.AddSlice(QStringLiteral("b"), 1, 2, PaletteColour);
  EXPECT_GT(chart.Layout(size).marks[0].w, narrow + 50);
  chart.SetSlices({{QStringLiteral("a"), 1, 1, PaletteColour}, {"b", 1, 2, PaletteColour}});
  EXPECT_EQ(chart.Layout(size).marks[0].w, narrow);
  // The legend's texts follow the slices changed while the marks were shown.
  chart.SetSlices({{QString(), 2500, 1, PaletteColour}});
  chart.SetLegendVisible(true);
  TLegendLayout legend = chart.Layout(size).legend;
  ASSERT_EQ(legend.items.size(), 1u);
  EXPECT_EQ(legend.items[0].value, QStringLiteral("2,500"));
  // And the locale of the values.
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  legend = chart.Layout(size).legend;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(legend.items[0].value, QStringLiteral("2.500"));
  // Nothing stale: the same picture as a chart that never showed anything else.
  TChart fresh;
  fresh.SetSlices({{QString(), 2500, 1, PaletteColour}});
  EXPECT_EQ(chart.RenderImage(size), fresh.RenderImage(size));
}

TEST(ChartRender, AnUpdateOfThousandsOfSlicesMeasuresAndShapesOnlyWhatItShows) {
  TChart chart;
  chart.SetLegendVisible(false);
  chart.resize(585, 374);
  chart.show();
  std::vector<TSlice> slices;
  for (int i = 0; i < 20000; ++i) {
    slices.push_back(
        {QStringLiteral("port %1").arg(i), 9.5e8 / (i + 1), double(i + 1), PaletteColour});
  }
  chart.SetSlices(slices);
  chart.repaint();
  const TChartLayout layout = chart.Layout(chart.size());
  const qint64 measured = chart.SmallTexts().Measured();
  const qint64 shaped = chart.SmallTexts().Shaped();
  EXPECT_LE(shaped, static_cast<qint64>(layout.marks.size()));
  EXPECT_LT(measured, 2000);
  // The next update: new values for the same labels measures and shapes nothing again.
  for (TSlice& slice : slices) slice.value += 1;
  chart.SetSlices(slices);
  chart.repaint();
  EXPECT_EQ(chart.SmallTexts().Measured(), measured);
  EXPECT_EQ(chart.SmallTexts().Shaped(), shaped);
}

TEST(ChartRender, TheKeptPictureFollowsEveryUpdateAndSize) {
  TChart chart;
  chart.resize(300, 200);
  chart.show();
  const auto screen = [&chart] {
    return chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  };
  // Each step changes what is drawn or where; the screen is the chart drawn afresh each time.
  const struct {
    const char* what;
    QSize size;
    std::vector<double> values;
    bool legend;
  } steps[] = {
      {"first", {300, 200}, {5, 3, 1}, true},  {"values", {300, 200}, {1, 3, 5}, true},
      {"marks", {300, 200}, {1, 3, 5}, false}, {"smaller", {240, 150}, {1, 3, 5}, false},
      {"larger", {420, 310}, {2, 2}, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    chart.resize(step.size);
    Feed(chart, step.values);
    chart.SetLegendVisible(step.legend);
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    EXPECT_EQ(screen(), chart.RenderImage(step.size));
  }
}

TEST(ChartRender, AChangedTextOrFontIsShapedAgain) {
  const QSize size(400, 300);
  const auto fresh = [&size](const QString& title, const QFont& font, const QString& label) {
    TChart chart;
    chart.SetTitleText(title);
    chart.SetTitleFont(font);
    chart.AddSlice(label, 1, 1, PaletteColour);
    return chart.RenderImage(size);
  };
  QFont verdana(QStringLiteral("Verdana"));
  verdana.setPointSize(12);
  verdana.setBold(true);
  QFont larger = verdana;
  larger.setPointSize(18);
  TChart chart;
  chart.AddSlice(QStringLiteral("eth0"), 1, 1, PaletteColour);
  const QImage before = chart.RenderImage(size);
  const struct {
    const char* what;
    QString title;
    QFont font;
    QString label;
  } steps[] = {
      {"title", QStringLiteral("Top senders"), verdana, QStringLiteral("eth0")},
      {"font", QStringLiteral("Top senders"), larger, QStringLiteral("eth0")},
      {"label", QStringLiteral("Top senders"), larger, QStringLiteral("wlan0")},
      {"back", QStringLiteral("Top receivers"), verdana, QStringLiteral("eth0")},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    chart.SetTitleText(step.title);
    chart.SetTitleFont(step.font);
    chart.SetSlices({{step.label, 1, 1, PaletteColour}});
    const QImage drawn = chart.RenderImage(size);
    EXPECT_EQ(drawn, fresh(step.title, step.font, step.label));
    if (std::string(step.what) != "back") {
      EXPECT_NE(drawn, before);
    } else {
      EXPECT_EQ(drawn, before);
    }
  }
}

TEST(ChartTextCache, KeepsWhatItMeasuredUntilTheFontChangesAndStaysBounded) {
  QFont small(QStringLiteral("Arial"));
  small.setPixelSize(11);
  QFont large = small;
  large.setPixelSize(22);
  TChartTextCache cache(4);
  cache.SetFont(small);
  const int width = cache.Width(QStringLiteral("eth0"));
  EXPECT_EQ(width, QFontMetrics(small).horizontalAdvance(QStringLiteral("eth0")));
  ASSERT_NE(cache.Shaped(QStringLiteral("eth0")), nullptr);
  EXPECT_EQ(cache.Shaped(QStringLiteral("eth0"))->text(), QStringLiteral("eth0"));
  EXPECT_EQ(cache.Width(QStringLiteral("eth0")), width);
  EXPECT_EQ(cache.Measured(), 1);
  EXPECT_EQ(cache.Shaped(), 1);
  // The same font set again keeps it; another measures again.
  cache.SetFont(small);
  EXPECT_EQ(cache.Width(QStringLiteral("eth0")), width);
  EXPECT_EQ(cache.Measured(), 1);
  cache.SetFont(large);
  EXPECT_EQ(cache.Size(), 0);
  EXPECT_EQ(cache.Width(QStringLiteral("eth0")),
            QFontMetrics(large).horizontalAdvance(QStringLiteral("eth0")));
  EXPECT_EQ(cache.Measured(), 2);
  // A text with a line break or a tab is drawn as it stands, never laid out.
  EXPECT_EQ(cache.Shaped(QStringLiteral("a\nb")), nullptr);
  EXPECT_EQ(cache.Shaped(QStringLiteral("a\tb")), nullptr);
  // Past its limit it keeps the texts used since the last trim and those used before it.
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 10; ++i) cache.Width(QStringLiteral("t%1-%2").arg(round).arg(i));
    cache.Trim();
    EXPECT_LE(cache.Size(), 2 * 10 + 4);
  }
  const qint64 measured = cache.Measured();
  cache.Width(QStringLiteral("t2-3"));  // used in the last round: kept
  EXPECT_EQ(cache.Measured(), measured);
  cache.Width(QStringLiteral("t0-3"));  // two trims ago: gone
  EXPECT_EQ(cache.Measured(), measured + 1);
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
