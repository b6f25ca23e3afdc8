// The chart's geometry with fixed text metrics: every character of the legend and the marks
// is 6 pixels wide, of the title 10; "W" is 14 pixels high in the small font, 19 in the title
// font; " " is 3 and "W" 11 pixels wide in the small font.

#include "ui/chart_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine/window.h"

namespace kestrava {
namespace {

constexpr double kPi = std::numbers::pi;

TTextMetrics FixedMetrics() {
  TTextMetrics m;
  m.titleHeight = 19;
  m.legendHeight = 14;
  m.legendSpace = 3;
  m.marksHeight = 14;
  m.marksWidthW = 11;
  m.titleWidth = [](const QString& s) { return 10 * static_cast<int>(s.size()); };
  m.legendWidth = [](const QString& s) { return 6 * static_cast<int>(s.size()); };
  m.marksWidth = m.legendWidth;
  return m;
}

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

std::vector<TSlice> Slices(const std::vector<std::pair<const char*, double>>& items) {
  std::vector<TSlice> out;
  for (const auto& [label, value] : items) {
    out.push_back({QString::fromLatin1(label), value, 0, PaletteColour});
  }
  return out;
}

// Values "1,000", "20.5", "0.25" (c0 = 30) and labels up to "Other" (c1 = 30): tw = 65.
std::vector<TSlice> ThreeSlices() {
  return Slices({{"eth0", 1000}, {"lo", 20.5}, {"Other", 0.25}});
}

TChartOptions Options(bool legend, TLegendAlignment alignment, bool view3D = false) {
  TChartOptions o;
  o.title = QStringLiteral("Top receivers");  // 130 pixels wide
  o.view3D = view3D;
  o.legendVisible = legend;
  o.alignment = alignment;
  o.locale = kEnglish;
  return o;
}

TEST(ChartValueFormat, WritesLocaleGroupsAndAtMostThreeDecimals) {
  const QLocale german(QLocale::German, QLocale::Germany);
  const struct {
    double value;
    const QLocale& locale;
    const char* want;
  } cases[] = {
      {12, kEnglish, "12"},
      {1234.5, kEnglish, "1,234.5"},
      {1000000, kEnglish, "1,000,000"},
      {0.5, kEnglish, "0.5"},
      {0, kEnglish, "0"},
      {2.0004, kEnglish, "2"},
      {-1234.5678, kEnglish, "-1,234.568"},
      {-0.0001, kEnglish, "0"},
      {4294967295.0, kEnglish, "4,294,967,295"},
      {1234.5, german, "1.234,5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatSliceValue(c.value, c.locale), QString::fromUtf8(c.want)) << c.value;
  }
}

TEST(ChartColours, PaletteRepeatsAfterTwentyAndRimsDarkenBy32) {
  EXPECT_EQ(SliceColour(PaletteColour, 0), 0xFF0000u);
  EXPECT_EQ(SliceColour(PaletteColour, 4), 0xFFFFFFu);
  EXPECT_EQ(SliceColour(PaletteColour, 19), 0xA0A0A4u);
  EXPECT_EQ(SliceColour(PaletteColour, 20), 0xFF0000u);
  EXPECT_EQ(SliceColour(PaletteColour, 21), 0x008000u);
  EXPECT_EQ(SliceColour(0x123456, 3), 0x123456u);
  EXPECT_EQ(DarkenColour(0xFF0000), 0xDF0000u);
  EXPECT_EQ(DarkenColour(0x202020), 0x000000u);
  EXPECT_EQ(DarkenColour(0x218040), 0x016020u);
}

TEST(ChartRounding, TiesGoToEven) {
  EXPECT_EQ(RoundEven(0.5), 0);
  EXPECT_EQ(RoundEven(1.5), 2);
  EXPECT_EQ(RoundEven(2.5), 2);
  EXPECT_EQ(RoundEven(-2.5), -2);
  EXPECT_EQ(RoundEven(37.4), 37);
}

// Chart rectangle, title, legend box and pie rectangle of a 585 x 374 chart area.
TEST(ChartLayout, RectanglesForEachLegendSideAndForMarks) {
  const struct {
    const char* name;
    bool legend;
    TLegendAlignment alignment;
    int titleX;
    TPixRect legendBox;
    TPixRect chart;
    TPixRect pie;
  } cases[] = {
      {"bottom", true, laBottom, 227, {193, 339, 455, 357}, {18, 42, 567, 327}, {18, 42, 566, 326}},
      {"top", true, laTop, 227, {193, 44, 455, 62}, {18, 74, 567, 359}, {18, 74, 566, 358}},
      {"right", true, laRight, 172, {472, 37, 562, 83}, {18, 42, 456, 359}, {18, 42, 456, 358}},
      {"left", true, laLeft, 281, {20, 37, 110, 83}, {126, 42, 567, 359}, {126, 42, 566, 358}},
      // Marks: room of 24 above and below, 11 + 30 + 10 at the sides.
      {"marks", false, laBottom, 227, {}, {18, 42, 567, 359}, {69, 66, 515, 334}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TChartLayout layout =
        LayoutChart(585, 374, ThreeSlices(), Options(c.legend, c.alignment), FixedMetrics());
    EXPECT_EQ(layout.title.x, c.titleX);
    EXPECT_EQ(layout.title.y, 16);
    EXPECT_EQ(layout.legend.visible, c.legend);
    if (c.legend) {
      EXPECT_EQ(layout.legend.box, c.legendBox);
    }
    EXPECT_EQ(layout.chart, c.chart);
    EXPECT_EQ(layout.pie.rect, c.pie);
    EXPECT_TRUE(layout.pie.drawSlices);
    EXPECT_EQ(layout.marks.size(), c.legend ? 0u : 3u);
  }
}

TEST(ChartLayout, MarginsTitleAndPieCentre) {
  EXPECT_EQ(ChartRectFromMargins(585, 374), (TPixRect{18, 15, 567, 359}));
  EXPECT_EQ(ChartRectFromMargins(100, 50), (TPixRect{4, 3, 96, 47}));
  const TChartLayout layout =
      LayoutChart(585, 374, ThreeSlices(), Options(true, laBottom), FixedMetrics());
  EXPECT_EQ(layout.pie.cx, 292);
  EXPECT_EQ(layout.pie.cy, 184);
  EXPECT_EQ(layout.pie.rx, 274);
  EXPECT_EQ(layout.pie.ry, 142);
  // An empty title still takes its line.
  TChartOptions untitled = Options(true, laBottom);
  untitled.title.clear();
  EXPECT_EQ(LayoutChart(585, 374, {}, untitled, FixedMetrics()).chart.top, 42);
}

TEST(ChartLayout, LegendRowsAndColumns) {
  const TTextMetrics m = FixedMetrics();
  {
    SCOPED_TRACE("three items in one row at the bottom");
    TPixRect chart{18, 42, 567, 359};
    const TLegendLayout legend =
        PlaceTopBottomLegend(chart, 585, laBottom, ThreeSlices(), m, kEnglish);
    EXPECT_EQ(legend.columns, 3);
    EXPECT_EQ(legend.rows, 1);
    EXPECT_EQ(legend.swatchWidth, 13);
    ASSERT_EQ(legend.items.size(), 3u);
    EXPECT_EQ(legend.items[2].swatchX, 367);
    EXPECT_EQ(legend.items[2].rowTop, 341);
    EXPECT_EQ(legend.SwatchRect(legend.items[0]), (TPixRect{199, 343, 212, 353}));
    EXPECT_EQ(legend.ValueX(legend.items[0], 24), 199 + 13 + 4 + 6);
    EXPECT_EQ(legend.LabelX(legend.items[0], 3), 199 + 13 + 4 + 30 + 3);
    EXPECT_EQ(legend.items[0].value, QStringLiteral("1,000"));
  }
  {
    SCOPED_TRACE("fifty items: four columns of at most ten rows");
    std::vector<TSlice> many(50, TSlice{QStringLiteral("ab"), 5, 0, PaletteColour});
    TPixRect chart{7, 44, 193, 383};
    const TLegendLayout legend = PlaceTopBottomLegend(chart, 200, laBottom, many, m, kEnglish);
    EXPECT_EQ(legend.columns, 4);
    EXPECT_EQ(legend.rows, 10);
    ASSERT_EQ(legend.items.size(), 40u);
    EXPECT_EQ(legend.box, (TPixRect{32, 237, 178, 381}));
    EXPECT_EQ(legend.items[39].swatchX, 140);
    EXPECT_EQ(legend.items[39].rowTop, 365);
    EXPECT_EQ(chart.bottom, 224);
  }
  {
    SCOPED_TRACE("too narrow for one column");
    TPixRect chart{4, 30, 60, 90};
    EXPECT_FALSE(PlaceTopBottomLegend(chart, 64, laTop, ThreeSlices(), m, kEnglish).visible);
    EXPECT_EQ(chart, (TPixRect{4, 30, 60, 90}));
  }
  {
    SCOPED_TRACE("empty list");
    TPixRect chart{18, 42, 567, 359};
    EXPECT_FALSE(PlaceTopBottomLegend(chart, 585, laBottom, {}, m, kEnglish).visible);
    EXPECT_FALSE(PlaceSideLegend(chart, 374, laRight, {}, m, kEnglish).visible);
    EXPECT_EQ(chart, (TPixRect{18, 42, 567, 359}));
  }
}

TEST(ChartLayout, SideLegendListsOnlyTheRowsThatFit) {
  const struct {
    int height;
    int rows;
  } cases[] = {{374, 12}, {150, 9}, {30, 1}, {10, 0}};
  std::vector<TSlice> twelve(12, TSlice{QStringLiteral("if"), 7, 0, PaletteColour});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.height);
    TPixRect chart = ChartRectFromMargins(400, c.height);
    const TPixRect before = chart;
    const TLegendLayout legend =
        PlaceSideLegend(chart, c.height, laLeft, twelve, FixedMetrics(), kEnglish);
    EXPECT_EQ(legend.visible, c.rows > 0);
    EXPECT_EQ(legend.items.size(), static_cast<size_t>(c.rows));
    if (c.rows == 0) {
      EXPECT_EQ(chart, before);
      continue;
    }
    const int top = RoundEven(c.height / 10.0);
    EXPECT_EQ(legend.box.top, top);
    EXPECT_EQ(legend.box.bottom, top + 14 * c.rows + 4);
    EXPECT_EQ(legend.items.back().rowTop, top + 2 + 14 * (c.rows - 1));
  }
}

TEST(ChartLayout, LegendLabelsLoseCarriageReturnsAndEmptyLabelsShowTheValue) {
  const std::vector<TSlice> slices = Slices({{"a\rb", 1}, {"", 2500}});
  TPixRect chart{18, 42, 567, 359};
  const TLegendLayout legend =
      PlaceTopBottomLegend(chart, 585, laBottom, slices, FixedMetrics(), kEnglish);
  ASSERT_EQ(legend.items.size(), 2u);
  EXPECT_EQ(legend.items[0].label, QStringLiteral("a b"));
  EXPECT_EQ(legend.items[1].label, QString());
  EXPECT_EQ(legend.items[1].value, QStringLiteral("2,500"));
  EXPECT_EQ(MarkText(slices[1], kEnglish), QStringLiteral("2,500"));
  EXPECT_EQ(MarkText(slices[0], kEnglish), QStringLiteral("a\rb"));
}

TEST(ChartLayout, PieRectangleIsEvenedAndTooSmallPiesDrawNoSlices) {
  const TTextMetrics m = FixedMetrics();
  const struct {
    TPixRect chart;
    bool marks;
    TPixRect pie;
    bool draws;
  } cases[] = {
      {{10, 10, 111, 61}, false, {10, 10, 110, 60}, true},
      {{10, 10, 13, 40}, false, {10, 10, 14, 40}, false},
      {{10, 10, 100, 30}, true, {61, 34, 65, 38}, false},
      {{0, 0, 200, 100}, true, {51, 24, 149, 76}, true},
  };
  for (const auto& c : cases) {
    const TPieRect pie = PlacePie(c.chart, c.marks, m, 30);
    EXPECT_EQ(pie.rect, c.pie) << c.chart.left << "," << c.chart.right;
    EXPECT_EQ(pie.drawSlices, c.draws);
  }
}

TEST(ChartAngles, LastSliceClosesTheCircle) {
  const double turn = 2 * kPi;
  const struct {
    const char* name;
    std::vector<double> values;
    std::vector<double> ends;
  } cases[] = {
      {"all zero", {0, 0, 0}, {turn, turn, turn}},
      {"single", {5}, {turn}},
      {"quarters", {1, 1, 2}, {kPi / 2, kPi, turn}},
      {"negative sizes by magnitude", {-1, 3}, {kPi / 2, turn}},
      {"not a number sizes nothing", {1, NAN, 1}, {kPi, kPi, turn}},
      {"thirds", {1, 1, 1}, {turn / 3, 2 * turn / 3, turn}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TSlice> slices;
    for (double v : c.values) slices.push_back({QString(), v, 0, PaletteColour});
    const std::vector<TSliceAngles> angles = SliceAngles(slices);
    ASSERT_EQ(angles.size(), c.ends.size());
    double start = 0;
    for (size_t i = 0; i < angles.size(); ++i) {
      EXPECT_EQ(angles[i].start, start);
      EXPECT_DOUBLE_EQ(angles[i].end, c.ends[i]);
      EXPECT_DOUBLE_EQ(angles[i].mid, (angles[i].start + angles[i].end) / 2);
      start = angles[i].end;
    }
    EXPECT_EQ(angles.back().end, turn);  // exactly, not nearly
  }
}

TPieRect Pie(int cx, int cy, int rx, int ry) {
  return {{cx - rx, cy - ry, cx + rx, cy + ry}, cx, cy, rx, ry, true};
}

TEST(ChartFlat, SliversAreSkippedAndTheNextSliceCoversThem) {
  const TPieRect pie = Pie(200, 100, 100, 50);
  const double turn = 2 * kPi;
  {
    SCOPED_TRACE("sliver between two halves");
    const auto angles = SliceAngles(Slices({{"a", 1000}, {"b", 0.001}, {"c", 1000}}));
    const std::vector<TFlatSector> sectors = FlatSectors(pie, angles);
    ASSERT_EQ(sectors.size(), 2u);
    EXPECT_EQ(sectors[1].slice, 2);
    EXPECT_EQ(sectors[1].from, angles[0].end);
    EXPECT_EQ(sectors[1].to, turn);
    EXPECT_FALSE(sectors[1].full);
  }
  for (const auto& values : {std::vector<double>{0, 0, 0}, std::vector<double>{5}}) {
    SCOPED_TRACE(values.size());
    std::vector<TSlice> slices;
    for (double v : values) slices.push_back({QString(), v, 0, PaletteColour});
    const std::vector<TFlatSector> sectors = FlatSectors(pie, SliceAngles(slices));
    ASSERT_EQ(sectors.size(), 1u);
    EXPECT_EQ(sectors[0].slice, 0);
    EXPECT_TRUE(sectors[0].full);
  }
}

TEST(ChartFlat, SectorOutlineRunsFromTheCentreAlongEveryArcPixel) {
  const TPieRect pie = Pie(200, 100, 100, 50);
  const std::vector<TPoint> quarter = FlatSectorPolygon(pie, {0, 0, kPi / 2, false});
  EXPECT_EQ(quarter.front(), (TPoint{200, 100}));
  EXPECT_EQ(quarter[1], (TPoint{300, 100}));
  EXPECT_EQ(quarter.back(), (TPoint{200, 50}));
  for (size_t i = 2; i < quarter.size(); ++i) {
    EXPECT_LE(std::abs(quarter[i].x - quarter[i - 1].x), 1) << i;
    EXPECT_LE(std::abs(quarter[i].y - quarter[i - 1].y), 1) << i;
  }
  const std::vector<TPoint> whole = FlatSectorPolygon(pie, {0, 0, 2 * kPi, true});
  EXPECT_EQ(whole[1], (TPoint{300, 100}));
  EXPECT_EQ(whole.back(), (TPoint{300, 100}));
}

TEST(ChartSolid, ProjectionLiftsTheUpperFaceAndSquashesHeights) {
  const TProjection p = MakeProjection({100, 50, 300, 150}, true);
  EXPECT_EQ(p.depth, 6);
  EXPECT_EQ(p.zc, 3);
  EXPECT_EQ(p.xc, 200);
  EXPECT_EQ(p.yc, 100);
  EXPECT_EQ(p.Project(200, 100, 3), (TPoint{200, 100}));
  EXPECT_EQ(p.Project(250, 150, 3), (TPoint{250, 135}));  // 50 * 0.7071 = 35.36
  EXPECT_EQ(p.Project(250, 100, 6), (TPoint{250, 98}));   // 3 * 0.7071 = 2.12 higher
  EXPECT_EQ(p.Project(250, 100, 0), (TPoint{250, 102}));
  const TProjection flat = MakeProjection({100, 50, 300, 150}, false);
  EXPECT_EQ(flat.depth, 0);
  EXPECT_EQ(flat.Project(250.4, 150.6, 0), (TPoint{250, 151}));
}

TEST(ChartSolid, RimsFaceTheViewerOnlyInTheLowerHalf) {
  const TPieRect pie = Pie(200, 100, 100, 50);
  const TProjection p = MakeProjection({100, 50, 300, 150}, true);
  const struct {
    const char* name;
    double start, end;
    size_t rims;
    int firstRimX;
  } cases[] = {
      {"upper half", 0, kPi, 0, 0},
      {"lower half", kPi, 2 * kPi, 1, 100},
      {"crossing pi starts at the left-most point", kPi / 2, 3 * kPi / 2, 1, 100},
      {"upper right quarter", 0.1, 1.2, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TSolidSlice solid = SolidSlice(pie, p, 0, {c.start, c.end, (c.start + c.end) / 2});
    const int n = std::min(RoundEven((c.end - c.start) * 180 / kPi / 2), 94) + 2;
    ASSERT_EQ(solid.cover.size(), static_cast<size_t>(n) + 1);
    EXPECT_EQ(solid.cover.front(), p.Project(200, 100, 6));
    ASSERT_EQ(solid.rims.size(), c.rims);
    if (c.rims == 0) continue;
    const std::vector<TPoint>& rim = solid.rims[0];
    const size_t half = rim.size() / 2;
    EXPECT_EQ(rim.front().x, c.firstRimX);
    EXPECT_EQ(rim[half - 1], solid.cover.back());  // the run reaches the arc's end
    for (size_t k = 0; k < half; ++k) {
      // Lower ring straight below the upper ring, about 0.71 * D pixels down.
      EXPECT_EQ(rim[rim.size() - 1 - k].x, rim[k].x);
      EXPECT_NEAR(rim[rim.size() - 1 - k].y - rim[k].y, 4, 1);
    }
  }
  // A slice of no span is one radius: apex and two equal arc points, no rim.
  const TSolidSlice empty = SolidSlice(pie, p, 1, {2 * kPi, 2 * kPi, 2 * kPi});
  ASSERT_EQ(empty.cover.size(), 3u);
  EXPECT_EQ(empty.cover[1], empty.cover[2]);
  EXPECT_TRUE(empty.rims.empty());
}

TEST(ChartMarks, CloseSlicesMoveTheLaterMarkOffTheEarlierOnes) {
  const TPieRect pie = Pie(200, 150, 100, 80);
  const TProjection flat = MakeProjection({100, 70, 300, 230}, false);
  {
    SCOPED_TRACE("two close slices: the second moves up next to the first");
    const auto slices = Slices({{"a", 1}, {"b", 1}, {"c", 998}});
    const auto marks = PlaceMarks(slices, SliceAngles(slices), pie, flat, FixedMetrics(), kEnglish);
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[0].from, (TPoint{300, 150}));
    EXPECT_EQ(marks[0].to, (TPoint{308, 150}));
    EXPECT_EQ(marks[0].x, 308);
    EXPECT_EQ(marks[0].y, 134);
    EXPECT_EQ(marks[0].w, 19);
    EXPECT_EQ(marks[0].v, 16);
    EXPECT_EQ(marks[1].from, (TPoint{300, 149}));
    EXPECT_EQ(marks[1].y, 116);  // 133, up by 151 - 134
    EXPECT_EQ(marks[1].to, (TPoint{308, 132}));
    EXPECT_EQ(marks[2].x, marks[2].to.x - 19);  // left of the pie: box left of the callout
  }
  {
    SCOPED_TRACE("three close slices: the moves add up, tested from the first place");
    const auto slices = Slices({{"a", 1}, {"b", 1}, {"c", 1}, {"d", 997}});
    const auto marks = PlaceMarks(slices, SliceAngles(slices), pie, flat, FixedMetrics(), kEnglish);
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[2].y, 133 - 17 + 1);
  }
  {
    SCOPED_TRACE("a lower mark moves down");
    // Just above 9 o'clock the later slice lies lower: 133 first, then 134 moved to 151.
    const auto slices = Slices({{"a", 498}, {"b", 1}, {"c", 1}, {"d", 500}});
    const auto marks = PlaceMarks(slices, SliceAngles(slices), pie, flat, FixedMetrics(), kEnglish);
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[1].x, 73);
    EXPECT_EQ(marks[1].y, 133);
    EXPECT_EQ(marks[2].y, 151);
    EXPECT_EQ(marks[2].to, (TPoint{92, 167}));
  }
}

TEST(ChartMarks, MultiLineTextsAndTheProjectedCalloutIn3D) {
  const TPieRect pie = Pie(200, 150, 100, 80);
  const TProjection solid = MakeProjection({100, 70, 300, 230}, true);
  const auto slices = Slices({{"eth0\rup", 1}, {"wide label", 3}});
  const auto angles = SliceAngles(slices);
  const auto marks = PlaceMarks(slices, angles, pie, solid, FixedMetrics(), kEnglish);
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks[0].lines, (QStringList{"eth0", "up"}));
  EXPECT_EQ(marks[0].w, 24 + 11 + 2);
  EXPECT_EQ(marks[0].v, 2 * 14 + 2);
  // mid = pi / 4: T = (200 + round(108 cos), 150 - round(88 sin)) = (276, 88), then lifted.
  EXPECT_EQ(marks[0].from, solid.Project(271, 93, solid.depth));
  EXPECT_EQ(marks[0].to, solid.Project(276, 88, solid.depth));
  EXPECT_EQ(marks[0].x, marks[0].to.x);
  EXPECT_EQ(marks[0].y, marks[0].to.y - 30);
  EXPECT_EQ(WidestMarkLine(slices, FixedMetrics(), kEnglish), 60);
}

}  // namespace
}  // namespace kestrava
