// The chart's geometry with fixed text metrics: every character of the legend and the marks
// is 6 pixels wide, of the title 10; "W" is 14 pixels high in the small font, 19 in the title
// font; " " is 3 and "W" 11 pixels wide in the small font; a cut label keeps the characters
// that fit and ends in "~".

#include "ui/chart_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  m.legendElide = [](const QString& s, int width) {
    return 6 * s.size() <= width ? s : s.left(std::max(0, width / 6 - 1)) + QChar('~');
  };
  return m;
}

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

std::vector<TLegendText> LegendTexts(const std::vector<TSlice>& slices) {
  return MeasureLegendTexts(slices, FixedMetrics(), kEnglish);
}

std::vector<TMarkText> MarkTexts(const std::vector<TSlice>& slices) {
  return MeasureMarkTexts(slices, FixedMetrics(), kEnglish);
}

// A chart area around the pies of the marks' tests.
const TPixRect kMarksArea{0, 0, 400, 300};

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

TEST(ChartValueFormat, ASliceWithItsTextKeepsEveryDigit) {
  const QLocale german(QLocale::German, QLocale::Germany);
  const struct {
    const char* text;
    double value;
    const QLocale& locale;
    const char* want;
  } cases[] = {
      {"18446744073709551615", 18446744073709551615.0, kEnglish, "18,446,744,073,709,551,615"},
      {"18446744073709551615", 18446744073709551615.0, german, "18.446.744.073.709.551.615"},
      {"1234.5", 1234.5, kEnglish, "1,234.5"},
      {"150.50", 150.5, kEnglish, "150.5"},
      {"999", 999, kEnglish, "999"},
      {"", 1234.5, kEnglish, "1,234.5"},                         // no text: from the value
      {"1e+20", 1e20, kEnglish, "100,000,000,000,000,000,000"},  // not plain: from the value
  };
  for (const auto& c : cases) {
    TSlice slice;
    slice.value = c.value;
    slice.valueText = QString::fromLatin1(c.text);
    EXPECT_EQ(FormatSliceValue(slice, c.locale), QString::fromUtf8(c.want)) << c.text;
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
      // Marks: room of 24 above and below, 11 + 24 + 10 at the sides: "Other" (30 wide) is a
      // sliver that shows no mark and takes no room.
      {"marks", false, laBottom, 227, {}, {18, 42, 567, 359}, {63, 66, 521, 334}},
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
    // The third slice, 0.25 of 1,020.75, has less than a pixel of arc and no mark.
    EXPECT_EQ(layout.marks.size(), c.legend ? 0u : 2u);
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
        PlaceTopBottomLegend(chart, 585, laBottom, LegendTexts(ThreeSlices()), m);
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
    const TLegendLayout legend = PlaceTopBottomLegend(chart, 200, laBottom, LegendTexts(many), m);
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
    EXPECT_FALSE(PlaceTopBottomLegend(chart, 64, laTop, LegendTexts(ThreeSlices()), m).visible);
    EXPECT_EQ(chart, (TPixRect{4, 30, 60, 90}));
  }
  {
    SCOPED_TRACE("empty list");
    TPixRect chart{18, 42, 567, 359};
    EXPECT_FALSE(PlaceTopBottomLegend(chart, 585, laBottom, {}, m).visible);
    EXPECT_FALSE(PlaceSideLegend(chart, 374, laRight, {}, m).visible);
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
        PlaceSideLegend(chart, c.height, laLeft, LegendTexts(twelve), FixedMetrics());
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

// Twelve rows with long labels ("GigabitEthernet0/10" is 114 pixels) and values of 36.
std::vector<TSlice> TwelveLongLabels() {
  std::vector<TSlice> slices;
  for (int i = 0; i < 12; ++i) {
    slices.push_back(
        {QStringLiteral("GigabitEthernet0/%1").arg(i + 10), 12000.0 - i, 0, PaletteColour});
  }
  return slices;
}

TEST(ChartLayout, LegendInASmallChartLeavesTheTitleAndAPie) {
  const struct {
    TLegendAlignment alignment;
    int width, height;
    int items;
  } cases[] = {
      // 300 x 120 is about the chart area of the smallest window. At the bottom and the top
      // the legend leaves the pie 24 of the 83 pixels below the title: 3 rows of one column.
      {laBottom, 300, 120, 3},
      {laTop, 300, 120, 3},
      // At the side all 7 rows that fit are listed, the labels cut beside the title.
      {laLeft, 300, 120, 7},
      {laRight, 300, 120, 7},
      {laBottom, 400, 160, 6},
      {laRight, 400, 160, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.alignment << " " << c.width << "x" << c.height);
    const TChartOptions options = Options(true, c.alignment);
    const TChartLayout layout =
        LayoutChart(c.width, c.height, TwelveLongLabels(), options, FixedMetrics());
    ASSERT_TRUE(layout.legend.visible);
    EXPECT_EQ(layout.legend.items.size(), static_cast<size_t>(c.items));
    const TPixRect title{layout.title.x, layout.title.y, layout.title.x + 130, layout.title.y + 19};
    // The box with its 3-pixel shadow.
    const TPixRect& box = layout.legend.box;
    const TPixRect legend{box.left, box.top, box.right + 3, box.bottom + 3};
    EXPECT_FALSE(legend.Overlaps(title));
    EXPECT_TRUE(layout.pie.drawSlices);
    EXPECT_FALSE(legend.Overlaps(layout.pie.rect));
    EXPECT_GE(layout.pie.rect.Height(), 24);
    EXPECT_GE(layout.pie.rect.Width(), 24);
  }
  {
    SCOPED_TRACE("cut labels");
    const TChartLayout layout =
        LayoutChart(300, 120, TwelveLongLabels(), Options(true, laLeft), FixedMetrics());
    // The legend reaches up beside the title (130 wide), which is centred over the 280 - 8
    // pixels the legend leaves: at most 149 wide, a text block of 114 leaves 73 of the labels'
    // 114, that is 11 characters and the cut mark.
    EXPECT_EQ(layout.legend.box.Width(), 148);
    EXPECT_EQ(layout.legend.labelWidth, 72);
    EXPECT_EQ(layout.legend.items[0].label, QStringLiteral("GigabitEthe~"));
  }
}

TEST(ChartLayout, LegendGivesWayOnlyWhereThePieWouldVanish) {
  std::vector<TSlice> longer;
  for (int i = 0; i < 5; ++i) {
    longer.push_back({QStringLiteral("GigabitEthernet0/%1 uplink to the core switch").arg(i + 10),
                      12000.0 - i, 0, PaletteColour});
  }
  std::vector<TSlice> many;
  for (int i = 0; i < 23; ++i) {
    many.push_back(
        {QStringLiteral("GigabitEthernet0/%1").arg(i + 10), 12000.0 - i, 0, PaletteColour});
  }
  std::vector<TSlice> five = TwelveLongLabels();
  five.resize(5);
  const struct {
    const char* name;
    int width, height;
    TLegendAlignment alignment;
    std::vector<TSlice> slices;
    int columns, rows;
    bool cut;
  } cases[] = {
      // Tall and narrow: the legend takes 198 of 285 pixels, the pie keeps 77.
      {"tall and narrow, left", 305, 757, laLeft, five, 1, 5, false},
      {"tall and narrow, right", 305, 757, laRight, five, 1, 5, false},
      // Labels of 276 pixels would leave no pie: cut to leave it 24.
      {"labels wider than the chart", 305, 757, laLeft, longer, 1, 5, true},
      // Wide and low: 10 rows of 2 columns, the pie keeps 24 of the 181 pixels below the title.
      {"wide and low, top", 494, 228, laTop, many, 2, 10, false},
      {"wide and low, bottom", 494, 228, laBottom, many, 2, 10, false},
      {"lower still", 494, 180, laTop, many, 2, 7, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TChartLayout layout =
        LayoutChart(c.width, c.height, c.slices, Options(true, c.alignment), FixedMetrics());
    ASSERT_TRUE(layout.legend.visible);
    EXPECT_EQ(layout.legend.columns, c.columns);
    EXPECT_EQ(layout.legend.rows, c.rows);
    bool cut = false;
    for (const TLegendItem& item : layout.legend.items)
      cut = cut || item.label != c.slices[item.slice].label;
    EXPECT_EQ(cut, c.cut);
    EXPECT_TRUE(layout.pie.drawSlices);
    EXPECT_GE(std::min(layout.pie.rect.Width(), layout.pie.rect.Height()), 24);
    const TPixRect& box = layout.legend.box;
    EXPECT_FALSE(
        (TPixRect{box.left, box.top, box.right + 3, box.bottom + 3}.Overlaps(layout.pie.rect)));
  }
  // The left legend of five long labels ends where its text does.
  TPixRect chart = ChartRectFromMargins(305, 757);
  EXPECT_EQ(PlaceSideLegend(chart, 757, laLeft, LegendTexts(five), FixedMetrics(), 130).box,
            (TPixRect{12, 76, 210, 150}));
}

TEST(ChartLayout, LegendLabelsLoseCarriageReturnsAndEmptyLabelsShowTheValue) {
  const std::vector<TSlice> slices = Slices({{"a\rb", 1}, {"", 2500}});
  TPixRect chart{18, 42, 567, 359};
  const TLegendLayout legend =
      PlaceTopBottomLegend(chart, 585, laBottom, LegendTexts(slices), FixedMetrics());
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

TEST(ChartRuns, SlicesUnderAPixelOfArcInARowAreDrawnAsOne) {
  const TPieRect pie = Pie(200, 150, 100, 80);
  const TProjection flat = MakeProjection({100, 70, 300, 230}, false);
  const TProjection solid = MakeProjection({100, 70, 300, 230}, true);
  // 0.01 of about 3,000 is a thousandth of a pixel of arc; 1,000 a third of the pie.
  const auto slices = Slices({{"a", 1000},
                              {"b", 1000},
                              {"c", 0.01},
                              {"d", 0.01},
                              {"e", 0.01},
                              {"f", 500},
                              {"g", 0.01},
                              {"h", 500}});
  const auto angles = SliceAngles(slices);
  for (const TProjection& projection : {flat, solid}) {
    SCOPED_TRACE(projection.on ? "3D" : "flat");
    std::vector<std::pair<int, int>> runs;
    for (const TSliceRun& run : SliceRuns(pie, projection, angles)) {
      runs.push_back({run.first, run.last});
    }
    // A lone sliver keeps its own drawing, as it always had.
    EXPECT_EQ(runs,
              (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 4}, {5, 5}, {6, 6}, {7, 7}}));
  }
  // Flat: the slivers' ends round to one pixel and are skipped before any run could form.
  EXPECT_EQ(MergeHairlineSectors(FlatSectors(pie, angles), pie, angles).size(), 4u);
  // 400 slices of a quarter pixel of arc each after one large one: one black sector.
  std::vector<TSlice> tail = Slices({{"big", 1000}});
  for (int i = 0; i < 400; ++i) tail.push_back({QStringLiteral("t"), 0.4, 0, PaletteColour});
  const auto tailAngles = SliceAngles(tail);
  const auto sectors = FlatSectors(pie, tailAngles);
  ASSERT_GT(sectors.size(), 20u);
  const auto merged = MergeHairlineSectors(sectors, pie, tailAngles);
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_FALSE(merged[0].hairlines);
  EXPECT_TRUE(merged[1].hairlines);
  EXPECT_EQ(merged[1].from, sectors[1].from);
  EXPECT_EQ(merged[1].to, sectors.back().to);
  EXPECT_FALSE(merged[1].full);
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
    const auto slices = Slices({{"a", 2}, {"b", 2}, {"c", 996}});
    const auto marks =
        PlaceMarks(MarkTexts(slices), SliceAngles(slices), pie, flat, FixedMetrics(), kMarksArea);
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[0].from, (TPoint{300, 149}));
    EXPECT_EQ(marks[0].to, (TPoint{308, 149}));
    EXPECT_EQ(marks[0].x, 308);
    EXPECT_EQ(marks[0].y, 133);
    EXPECT_EQ(marks[0].w, 19);
    EXPECT_EQ(marks[0].v, 16);
    EXPECT_EQ(marks[1].from, (TPoint{300, 148}));
    EXPECT_EQ(marks[1].y, 115);  // 132, up by 150 - 133
    EXPECT_EQ(marks[1].to, (TPoint{308, 131}));
    EXPECT_EQ(marks[2].x, marks[2].to.x - 19);  // left of the pie: box left of the callout
  }
  {
    SCOPED_TRACE("three close slices: moved on until the third sits above the second");
    // From 131 the moves add up to 117 (up 16 off the first, down 2 off the second), where it
    // would still cover both; it goes on up to the second's top, 115, less its 18 pixels.
    const auto slices = Slices({{"a", 2}, {"b", 2}, {"c", 2}, {"d", 994}});
    const auto marks =
        PlaceMarks(MarkTexts(slices), SliceAngles(slices), pie, flat, FixedMetrics(), kMarksArea);
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[2].y, 115 - 18);
    EXPECT_EQ(marks[2].to, (TPoint{308, 147 - 34}));
  }
  {
    SCOPED_TRACE("a lower mark moves down");
    // Just above 9 o'clock the later slice lies lower: 132 first, then 133 moved to 150.
    const auto slices = Slices({{"a", 496}, {"b", 2}, {"c", 2}, {"d", 500}});
    const auto marks =
        PlaceMarks(MarkTexts(slices), SliceAngles(slices), pie, flat, FixedMetrics(), kMarksArea);
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[1].x, 73);
    EXPECT_EQ(marks[1].y, 132);
    EXPECT_EQ(marks[2].y, 150);
    EXPECT_EQ(marks[2].to, (TPoint{92, 166}));
  }
}

// A mark's box with its frame and shadow, as the overlap rule sees it.
TPixRect MarkBox(const TMark& m) {
  return {m.x, m.y, m.x + m.w + 2, m.y + m.v + 2};
}

// Thirty slices, each 14 % smaller than the one before, as a busy table gives them: the small
// ones crowd together just below 3 o'clock.
std::vector<TSlice> ShrinkingSlices(int count) {
  std::vector<TSlice> slices;
  double value = 1843200;
  for (int i = 0; i < count; ++i, value *= 0.86) {
    slices.push_back({QStringLiteral("if%1").arg(i), value, 0, PaletteColour});
  }
  return slices;
}

// True when the box covers a pixel of the pie: its ellipse, in 3D the upper face's.
bool CoversPie(const TChartLayout& layout, const TPixRect& box) {
  const TPieRect& pie = layout.pie;
  const double cy = layout.projection.on
                        ? layout.projection.ProjectF(pie.cx, pie.cy, layout.projection.depth).y
                        : pie.cy;
  const double ry = layout.projection.on ? pie.ry * std::sqrt(0.5) : pie.ry;
  const double u = std::clamp<double>(pie.cx, box.left, box.right - 1) - pie.cx;
  const double v = std::clamp<double>(cy, box.top, box.bottom - 1) - cy;
  return u * u / (pie.rx * pie.rx) + v * v / (ry * ry) < 1;
}

TEST(ChartMarks, CrowdedMarksEndWithNoTwoBoxesOnOneAnother) {
  const struct {
    const char* name;
    int width, height;
    bool view3D;
    size_t atLeast;  // marks that find room
  } cases[] = {
      {"flat", 585, 374, false, 30},
      {"3D", 585, 374, true, 30},
      {"large", 1200, 900, true, 30},
      {"low: marks without room are left out", 585, 200, false, 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TChartLayout layout = LayoutChart(c.width, c.height, ShrinkingSlices(30),
                                            Options(false, laBottom, c.view3D), FixedMetrics());
    EXPECT_GE(layout.marks.size(), c.atLeast);
    for (size_t i = 0; i < layout.marks.size(); ++i) {
      const TMark& m = layout.marks[i];
      for (size_t j = 0; j < i; ++j) {
        ASSERT_FALSE(MarkBox(m).Overlaps(MarkBox(layout.marks[j])))
            << "mark of slice " << m.slice << " on mark of slice " << layout.marks[j].slice;
      }
      // The callout still ends at the box's corner nearest the pie, and no mark hides it.
      EXPECT_TRUE(m.to.y == m.y || m.to.y == m.y + m.v) << m.slice;
      EXPECT_FALSE(CoversPie(layout, MarkBox(m))) << m.slice;
    }
    if (c.atLeast < 30) {
      EXPECT_LT(layout.marks.size(), 30u);
      for (const TMark& m : layout.marks) {
        EXPECT_GE(m.y, 0) << m.slice;
        EXPECT_LE(m.y + m.v + 2, c.height) << m.slice;
      }
    }
  }
}

// True when the callout of `m` runs over the inside of the box of `other` (its frame may be
// touched where the callout reaches its own box).
bool CalloutCrossesText(const TMark& m, const TMark& other) {
  const int steps = 4 * std::max(std::abs(m.to.x - m.from.x), std::abs(m.to.y - m.from.y)) + 1;
  for (int k = 0; k <= steps; ++k) {
    const int x = RoundEven(m.from.x + double(m.to.x - m.from.x) * k / steps);
    const int y = RoundEven(m.from.y + double(m.to.y - m.from.y) * k / steps);
    if (x > other.x && x < other.x + other.w - 1 && y > other.y && y < other.y + other.v - 1)
      return true;
  }
  return false;
}

TEST(ChartMarks, EverySliceOfACrowdGetsItsMarkAtTheWindowsSize) {
  // The chart area of the window at its first size, 600 x 460 with its toolbar and menu.
  const int width = 600, height = 386;
  const auto values = [](std::initializer_list<std::pair<int, double>> runs) {
    std::vector<double> out;
    for (const auto& [count, value] : runs) out.insert(out.end(), count, value);
    return out;
  };
  std::vector<double> longTail;
  for (int i = 0; i < 30; ++i) longTail.push_back(9.5e8 / (i + 1));
  const struct {
    const char* name;
    std::vector<double> values;
  } cases[] = {
      {"17 rows: one large, sixteen small", values({{1, 1000}, {16, 4}})},
      {"17 rows: two large, fifteen small", values({{1, 1000}, {1, 800}, {15, 3}})},
      {"30 rows: two large, twenty-eight small", values({{1, 1000}, {1, 800}, {28, 5}})},
      {"30 rows: one large, twenty-nine small", values({{1, 1000}, {29, 3}})},
      {"30 rows: a long tail", longTail},
      {"30 rows alike", values({{30, 7}})},
  };
  for (const auto& c : cases) {
    for (const bool view3D : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (view3D ? ", 3D" : ", flat"));
      std::vector<TSlice> slices;
      for (size_t i = 0; i < c.values.size(); ++i)
        slices.push_back({QStringLiteral("eth%1").arg(i), c.values[i], 0, PaletteColour});
      const TChartLayout layout =
          LayoutChart(width, height, slices, Options(false, laBottom, view3D), FixedMetrics());
      std::vector<int> marked;
      for (const TMark& m : layout.marks) marked.push_back(m.slice);
      for (size_t i = 0; i < slices.size(); ++i) {
        const bool seen = ArcPixels(layout.pie, layout.projection, layout.angles[i]) >= 1;
        EXPECT_EQ(std::count(marked.begin(), marked.end(), int(i)), seen ? 1 : 0) << i;
      }
      for (size_t i = 0; i < layout.marks.size(); ++i) {
        const TMark& m = layout.marks[i];
        EXPECT_GE(m.x, 0) << m.slice;
        EXPECT_GE(m.y, 0) << m.slice;
        EXPECT_LE(m.x + m.w + 2, width) << m.slice;
        EXPECT_LE(m.y + m.v + 2, height) << m.slice;
        EXPECT_FALSE(CoversPie(layout, MarkBox(m))) << m.slice;
        const TPixRect title{layout.title.x, layout.title.y, layout.title.x + 130,
                             layout.title.y + 19};
        EXPECT_FALSE(MarkBox(m).Overlaps(title)) << m.slice;
        for (size_t j = 0; j < i; ++j) {
          const TMark& earlier = layout.marks[j];
          EXPECT_FALSE(MarkBox(m).Overlaps(MarkBox(earlier))) << m.slice << " on " << earlier.slice;
          // Each callout is drawn with its own mark, after the marks before it.
          EXPECT_FALSE(CalloutCrossesText(m, earlier)) << m.slice << " over " << earlier.slice;
        }
      }
    }
  }
}

TEST(ChartMarks, SlicesWithLessThanAPixelOfArcHaveNoMark) {
  const TPieRect pie = Pie(200, 150, 100, 80);
  const TProjection flat = MakeProjection({100, 70, 300, 230}, false);
  const TProjection solid = MakeProjection({100, 70, 300, 230}, true);
  const struct {
    const char* name;
    std::vector<double> values;
    const TProjection& projection;
    std::vector<int> marked;
  } cases[] = {
      // Near 3 o'clock the arc runs along the vertical radius: 2 pi / 401 * 80 = 1.25 pixels.
      {"just over a pixel", {1, 400}, flat, {0, 1}},
      {"just under a pixel", {1, 600}, flat, {1}},
      // The upper face of the 3D pie is lower by its elevation: 1.25 * 0.71 = 0.89 pixels.
      {"the 3D face is lower", {1, 400}, solid, {1}},
      {"a sliver between two halves", {1000, 0.001, 1000}, flat, {0, 2}},
      {"all zero: the first slice is the whole disc", {0, 0, 0}, flat, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TSlice> slices;
    for (double v : c.values) slices.push_back({QStringLiteral("x"), v, 0, PaletteColour});
    const auto marks = PlaceMarks(MarkTexts(slices), SliceAngles(slices), pie, c.projection,
                                  FixedMetrics(), kMarksArea);
    std::vector<int> marked;
    for (const TMark& m : marks) marked.push_back(m.slice);
    EXPECT_EQ(marked, c.marked);
  }
}

TEST(ChartMarks, MultiLineTextsAndTheProjectedCalloutIn3D) {
  const TPieRect pie = Pie(200, 150, 100, 80);
  const TProjection solid = MakeProjection({100, 70, 300, 230}, true);
  const auto slices = Slices({{"eth0\rup", 1}, {"wide label", 3}});
  const auto angles = SliceAngles(slices);
  const auto marks = PlaceMarks(MarkTexts(slices), angles, pie, solid, FixedMetrics(), kMarksArea);
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks[0].lines, (QStringList{"eth0", "up"}));
  EXPECT_EQ(marks[0].w, 24 + 11 + 2);
  EXPECT_EQ(marks[0].v, 2 * 14 + 2);
  // mid = pi / 4: T = (200 + round(108 cos), 150 - round(88 sin)) = (276, 88), then lifted.
  EXPECT_EQ(marks[0].from, solid.Project(271, 93, solid.depth));
  EXPECT_EQ(marks[0].to, solid.Project(276, 88, solid.depth));
  EXPECT_EQ(marks[0].x, marks[0].to.x);
  EXPECT_EQ(marks[0].y, marks[0].to.y - 30);
  EXPECT_EQ(WidestMarkLine(MarkTexts(slices)), 60);
}

}  // namespace
}  // namespace kestrava

namespace kestrava {
namespace {

// A long tail of 20,000 slices, each label its own text.
std::vector<TSlice> LongTail(int count) {
  std::vector<TSlice> slices;
  for (int i = 0; i < count; ++i) {
    slices.push_back(
        {QStringLiteral("port %1").arg(i), 9.5e8 / (i + 1), double(i + 1), PaletteColour});
  }
  return slices;
}

TEST(ChartLayout, OnlyTheTextsThatCanBeShownAreMeasured) {
  const std::vector<TSlice> slices = LongTail(20000);
  for (const bool view3D : {false, true}) {
    SCOPED_TRACE(view3D);
    int measured = 0;
    TTextMetrics m = FixedMetrics();
    m.marksWidth = m.legendWidth = [&measured](const QString& s) {
      ++measured;
      return 6 * static_cast<int>(s.size());
    };
    const TChartLayout marks = LayoutChart(585, 374, slices, Options(false, laBottom, view3D), m);
    ASSERT_FALSE(marks.marks.empty());
    // A mark needs a pixel of arc: no more slices can have one than the largest pie's rim has
    // pixels (about 1,500 here).
    EXPECT_GE(measured, static_cast<int>(marks.marks.size()));
    EXPECT_LT(measured, 2000);
    // The legend at the bottom: its value and label of the slices it could list.
    measured = 0;
    const TChartLayout legend = LayoutChart(585, 374, slices, Options(true, laBottom, view3D), m);
    ASSERT_FALSE(legend.legend.items.empty());
    EXPECT_EQ(measured, 2 * static_cast<int>(ListableLegendItems(585, slices.size(), m)));
    EXPECT_LT(measured, 2000);
    // At the side: the rows that fit in its height.
    measured = 0;
    LayoutChart(585, 374, slices, Options(true, laRight, view3D), m);
    EXPECT_EQ(measured, 2 * (374 / 14));
  }
}

TEST(ChartLayout, TextsMeasuredOnceUntilReset) {
  const std::vector<TSlice> slices = LongTail(50);
  int measured = 0;
  TTextMetrics m = FixedMetrics();
  m.marksWidth = m.legendWidth = [&measured](const QString& s) {
    ++measured;
    return 6 * static_cast<int>(s.size());
  };
  TSliceTexts texts;
  texts.Reset(slices.size());
  const TChartOptions options = Options(false, laBottom);
  const TChartLayout first = LayoutChart(585, 374, slices, texts, options, m);
  const int once = measured;
  EXPECT_GT(once, 0);
  LayoutChart(585, 374, slices, texts, options, m);
  EXPECT_EQ(measured, once);
  // Other slices of the same number: nothing of the old texts is kept.
  std::vector<TSlice> renamed = slices;
  renamed[0].label = QStringLiteral("a much longer first label");
  texts.Reset(renamed.size());
  const TChartLayout second = LayoutChart(585, 374, renamed, texts, options, m);
  EXPECT_EQ(second.marks[0].lines, QStringList{renamed[0].label});
  EXPECT_GT(second.marks[0].w, first.marks[0].w);
  EXPECT_EQ(second.pie.rect, LayoutChart(585, 374, renamed, options, m).pie.rect);
}

TEST(ChartLayout, ValuesWithUnitsReadAfterTheirLabelsInTheLegendAndTheMarks) {
  std::vector<TSlice> slices = {{"eth0", 101500, 0, PaletteColour, "101500"},
                                {"", 2500, 1, PaletteColour, "2500"}};
  slices[0].shown = TQuantity{true, TUnit::kBitRate, 812000};
  slices[1].shown = TQuantity{true, TUnit::kPercent, 73.24, 1e9};
  const QLocale german(QLocale::German, QLocale::Germany);
  EXPECT_EQ(SliceValueText(slices[0], german), QStringLiteral("812 kbit/s"));
  EXPECT_EQ(SliceValueText(slices[1], german), QStringLiteral("73,2 % of 1 Gbit/s"));
  EXPECT_EQ(MarkText(slices[0], kEnglish), QStringLiteral("eth0  812 kbit/s"));
  EXPECT_EQ(MarkText(slices[1], kEnglish), QStringLiteral("73.2 % of 1 Gbit/s"));

  TChartOptions options;
  options.legendVisible = true;
  options.locale = kEnglish;
  const TTextMetrics m = FixedMetrics();
  TSliceTexts texts = MeasureSliceTexts(slices, options, m);
  const TChartLayout layout = LayoutChart(585, 374, slices, texts, options, m);
  ASSERT_EQ(layout.legend.items.size(), 2u);
  const TLegendLayout& legend = layout.legend;
  const TLegendItem& item = legend.items[0];
  EXPECT_TRUE(legend.labelFirst);
  EXPECT_EQ(item.value, QStringLiteral("812 kbit/s"));
  // The label starts the row; the value ends where the value column ends, after the labels.
  const int start = item.swatchX + legend.swatchWidth + 4;
  EXPECT_EQ(legend.LabelX(item, 3), start);
  EXPECT_EQ(legend.ValueX(item, item.valueTextWidth) + item.valueTextWidth,
            start + legend.labelWidth + 3 + legend.valueWidth);

  // Without units the value comes first, as ever.
  for (TSlice& slice : slices) slice.shown = TQuantity();
  TSliceTexts bareTexts = MeasureSliceTexts(slices, options, m);
  const TChartLayout bare = LayoutChart(585, 374, slices, bareTexts, options, m);
  EXPECT_FALSE(bare.legend.labelFirst);
  EXPECT_EQ(bare.legend.items[0].value, QStringLiteral("101,500"));
  EXPECT_EQ(MarkText(slices[0], kEnglish), QStringLiteral("eth0"));
}

}  // namespace
}  // namespace kestrava
