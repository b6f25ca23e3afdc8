#pragma once
// The pie chart's geometry: the chart rectangle, title, legend, 3D projection, pie rectangle,
// slice angles, flat sectors, 3D covers and rims, and the marks with their overlap moves.
// Plain functions over the chart area's size, the slices and measured text sizes, so that the
// layout can be checked with fixed metrics; the painting lives in "ui/chart.h". The slices'
// texts are measured as the layout asks for them (TSliceTexts), only for the slices whose
// texts can be shown, and kept while the slices stay, so that many paints share one measuring.
// Rounding is to the nearest integer with ties to even; div truncates towards zero.
// Rectangles cover x from left to right - 1 and y from top to bottom - 1.
// Thread: any; nothing here keeps state.

#include <QLocale>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "shared/session_types.h"
#include "shared/unit_text.h"

namespace kestrava {

// The 20 slice colours as 0xRRGGBB, indexed by slice index mod 20.
inline constexpr std::array<uint32_t, 20> SlicePalette = {
    0xFF0000, 0x008000, 0xFFFF00, 0x0000FF, 0xFFFFFF, 0x808080, 0xFF00FF,
    0x008080, 0x000080, 0x800000, 0x00FF00, 0x808000, 0x800080, 0xC0C0C0,
    0x00FFFF, 0x000000, 0xC0DCC0, 0xA6CAF0, 0xFFFBF0, 0xA0A0A4};

struct TSlice {
  TSlice() = default;
  TSlice(QString label, double value, double position, uint32_t colour, QString valueText = {})
      : label(std::move(label)),
        value(value),
        position(position),
        colour(colour),
        valueText(std::move(valueText)) {}
  QString label;
  double value = 0;     // only its absolute value sizes the slice
  double position = 0;  // the rank given by the feed; kept, never drawn
  uint32_t colour = 0;  // 0xRRGGBB, or PaletteColour
  QString valueText;    // the value with every digit, plain decimal with "."; "" to use value
  // The value with its unit, as the legend and the marks read it; not present (or TUnit::kNone)
  // shows the number alone, from valueText.
  TQuantity shown;
};

// The slice's colour as 0xRRGGBB: its palette entry for PaletteColour (of the given palette,
// the classic one without), else its own colour.
uint32_t SliceColour(uint32_t colour, int index, std::span<const uint32_t> palette = SlicePalette);
// Each of red, green and blue lowered by 32, and 0 when it is 32 or less (the 3D rims).
uint32_t DarkenColour(uint32_t rgb);

// Rounds to the nearest integer, ties to even.
int RoundEven(double v);

struct TPoint {
  int x = 0;
  int y = 0;
  bool operator==(const TPoint&) const = default;
};

// A point of the smooth (antialiased) drawing, not rounded to pixels.
struct TPointF {
  double x = 0;
  double y = 0;
};

struct TPixRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Overlaps(const TPixRect& o) const {
    return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
  }
  bool operator==(const TPixRect&) const = default;
};

// Measured text sizes: "W" heights, the width of " " and text widths through callbacks.
struct TTextMetrics {
  int titleHeight = 0;   // h_t
  int legendHeight = 0;  // h
  int legendSpace = 0;   // sp
  int marksHeight = 0;   // h_m
  int marksWidthW = 0;   // w_m
  std::function<int(const QString&)> titleWidth;
  std::function<int(const QString&)> legendWidth;
  std::function<int(const QString&)> marksWidth;
  // The text cut to at most the given width in the legend font, ending in an ellipsis.
  std::function<QString(const QString&, int)> legendElide;
};

struct TChartOptions {
  QString title;
  bool view3D = true;
  bool legendVisible = true;  // the marks are visible when the legend is not
  TLegendAlignment alignment = laBottom;
  QLocale locale;            // for the slice values, "#,##0.###"
  bool antialiased = false;  // the pie in unrounded points, for smooth drawing
};

// "#,##0.###": thousands separators, at most three decimals, no trailing zeros.
QString FormatSliceValue(double value, const QLocale& locale);
// The slice's value as the legend and the marks show it: from its text when it has one, so
// that a 64-bit counter keeps every digit, else from its value.
QString FormatSliceValue(const TSlice& slice, const QLocale& locale);

// The window's signs for numbers with units.
TNumberStyle NumberStyle(const QLocale& locale);
// Whether the slice's value has a unit to show ("812 kbit/s").
bool HasUnit(const TSlice& slice);
// The slice's value as the legend and the marks show it: with its unit where it has one, else
// the number alone (FormatSliceValue).
QString SliceValueText(const TSlice& slice, const QLocale& locale);

// The chart rectangle inside the margins of a W x H chart area.
TPixRect ChartRectFromMargins(int width, int height);

struct TTitleLayout {
  int x = 0;  // left edge of the text
  int y = 0;  // top of the text
};
// Centres the title on the chart rectangle and takes its line from the rectangle's top.
TTitleLayout PlaceTitle(TPixRect& chart, const QString& title, const TTextMetrics& metrics);

// A slice's legend texts, each measured once: column 0 the value, column 1 the label.
struct TLegendText {
  QString value;  // "#,##0.###"
  QString label;  // carriage returns as spaces
  int valueWidth = 0;
  int labelWidth = 0;
};
std::vector<TLegendText> MeasureLegendTexts(const std::vector<TSlice>& slices,
                                            const TTextMetrics& metrics, const QLocale& locale);

struct TLegendItem {
  int slice = 0;
  int swatchX = 0;  // x_s
  int rowTop = 0;   // y
  QString value;    // column 0, right-aligned in c0
  QString label;    // column 1, cut short when a side legend would take too much width
  int valueTextWidth = 0;
};

struct TLegendLayout {
  bool visible = false;
  TPixRect box;  // the framed box; the shadow lies below and right of it
  int swatchWidth = 0;
  int rowHeight = 0;
  int valueWidth = 0;  // c0
  int labelWidth = 0;  // c1
  int columns = 0;
  int rows = 0;
  std::vector<TLegendItem> items;
  // Values with units read after their labels ("eth0  812 kbit/s"), right-aligned in the
  // value column; space is the gap between the two columns then.
  bool labelFirst = false;
  int space = 0;
  TPixRect SwatchRect(const TLegendItem& item) const {
    return {item.swatchX, item.rowTop + 2, item.swatchX + swatchWidth, item.rowTop + rowHeight - 2};
  }
  int ValueX(const TLegendItem& item, int valueTextWidth) const {
    if (labelFirst)
      return item.swatchX + swatchWidth + 4 + labelWidth + space + valueWidth - valueTextWidth;
    return item.swatchX + swatchWidth + 4 + valueWidth - valueTextWidth;
  }
  int LabelX(const TLegendItem& item, int space) const {
    if (labelFirst) return item.swatchX + swatchWidth + 4;
    return item.swatchX + swatchWidth + 4 + valueWidth + space;
  }
};

// The legend at laLeft or laRight, before the title; height is the whole chart area's. Its
// labels are cut short only where the pie beside it would otherwise vanish, or where a legend
// that reaches up beside the title (titleWidth pixels wide) would run into it.
TLegendLayout PlaceSideLegend(TPixRect& chart, int height, TLegendAlignment alignment,
                              const std::vector<TLegendText>& texts, const TTextMetrics& metrics,
                              int titleWidth = 0);
// The legend at laTop or laBottom, after the title; width is the whole chart area's. It lists
// fewer rows only where the pie below or above it would otherwise vanish. Its columns are as
// wide as the widest texts of the slices it could list (ListableLegendItems).
TLegendLayout PlaceTopBottomLegend(TPixRect& chart, int width, TLegendAlignment alignment,
                                   const std::vector<TLegendText>& texts,
                                   const TTextMetrics& metrics);

// The 3D view (elevation 315, rotation 360, no perspective); depth 0 and no effect when flat.
struct TProjection {
  bool on = false;
  int depth = 0;  // D
  int xc = 0;
  int yc = 0;
  int zc = 0;
  TPoint Project(double x, double y, double z) const;
  TPointF ProjectF(double x, double y, double z) const;  // the same, unrounded
};
TProjection MakeProjection(const TPixRect& chart, bool view3D);

struct TPieRect {
  TPixRect rect;  // (cx - rx, cy - ry, cx + rx, cy + ry)
  int cx = 0;
  int cy = 0;
  int rx = 0;
  int ry = 0;
  bool drawSlices = false;  // false when the evened pie is narrower or lower than 5
};
// The pie rectangle, evened, with room for the marks when they are visible (widestMark = M).
TPieRect PlacePie(const TPixRect& chart, bool marksVisible, const TTextMetrics& metrics,
                  int widestMark);

// The point of the pie ellipse at angle theta (radians, counter-clockwise from 3 o'clock).
TPoint EllipsePoint(const TPieRect& pie, double theta);

struct TSliceAngles {
  double start = 0;
  double end = 0;
  double mid = 0;
};
// The last slice closes the circle; with a zero total the first slice is the whole disc.
std::vector<TSliceAngles> SliceAngles(const std::vector<TSlice>& slices);
// The same into the given list, which keeps its room.
void SliceAngles(const std::vector<TSlice>& slices, std::vector<TSliceAngles>& angles);

// One drawn flat sector: from the radius at angle `from` (the last drawn end) to `to`.
struct TFlatSector {
  int slice = 0;
  double from = 0;
  double to = 0;
  bool full = false;       // start and end points coincide: the whole ellipse
  bool hairlines = false;  // a run of slices under a pixel of arc each, drawn black
};
// The sectors of the flat pie; slivers whose ends round to one pixel are skipped.
std::vector<TFlatSector> FlatSectors(const TPieRect& pie, const std::vector<TSliceAngles>& angles);
// The outline of a flat sector: centre, the arc pixel by pixel, back to the centre.
std::vector<TPoint> FlatSectorPolygon(const TPieRect& pie, const TFlatSector& sector);
// The same into the given list, which keeps its room.
void FlatSectorPolygon(const TPieRect& pie, const TFlatSector& sector, std::vector<TPoint>& points);
// The same outline for smooth drawing: unrounded points, about two pixels of arc apart.
std::vector<TPointF> SmoothSectorPolygon(const TPieRect& pie, const TFlatSector& sector);

// One slice of the 3D pie: its upper cover and the rims that face the viewer.
struct TSolidSlice {
  int slice = 0;
  std::vector<TPoint> cover;              // apex, then the upper arc
  std::vector<std::vector<TPoint>> rims;  // upper run, then the lower run backwards
  bool hairlines = false;                 // a run of slices under a pixel of arc, drawn black
};
TSolidSlice SolidSlice(const TPieRect& pie, const TProjection& projection, int slice,
                       const TSliceAngles& angles);
// A slice for smooth drawing: the flat sector or the 3D cover and rims in unrounded points,
// about two pixels of arc apart.
struct TSmoothSlice {
  int slice = 0;
  std::vector<TPointF> cover;
  std::vector<std::vector<TPointF>> rims;
  bool hairlines = false;
};
TSmoothSlice SmoothSolidSlice(const TPieRect& pie, const TProjection& projection, int slice,
                              const TSliceAngles& angles);

struct TMark {
  int slice = 0;
  QStringList lines;
  std::vector<int> lineX;  // each line's left edge, centred in the box
  TPoint from;             // F, on the ellipse
  TPoint to;               // T, the callout's end, moved with the box
  int x = 0;               // the box covers x .. x + w - 1, y .. y + v - 1
  int y = 0;
  int w = 0;
  int v = 0;
};
// The mark text of a slice: its label, or its value when the label is empty; a value with a
// unit follows the label ("eth0  812 kbit/s").
QString MarkText(const TSlice& slice, const QLocale& locale);
// A slice's mark text in lines, each line measured once.
struct TMarkText {
  QStringList lines;  // split at carriage returns
  std::vector<int> lineWidths;
  int widest = 0;
};
// One slice's mark text; every slice's.
TMarkText MeasureMarkText(const TSlice& slice, const TTextMetrics& metrics, const QLocale& locale);
std::vector<TMarkText> MeasureMarkTexts(const std::vector<TSlice>& slices,
                                        const TTextMetrics& metrics, const QLocale& locale);
// M: the widest line of the mark texts measured.
int WidestMarkLine(const std::vector<TMarkText>& texts);
// The marks in list order. A mark that overlaps marks placed before it moves up or down until
// it overlaps none; where that finds no place inside the area (the whole chart area), off the
// pie and with a callout that crosses no earlier mark, it goes round the rim to the nearest
// such place (up to half a turn either way; a few thousand places in all for one chart). Only
// a mark that finds none is left out, and so is the mark of a slice whose arc is shorter than
// a pixel: what is drawn can be read. Overlaps are looked up in a grid, so the cost grows with
// the marks, not with their pairs. The marks keep off the rectangles of keepClear (the title)
// as they keep off each other.
std::vector<TMark> PlaceMarks(const std::vector<TMarkText>& texts,
                              const std::vector<TSliceAngles>& angles, const TPieRect& pie,
                              const TProjection& projection, const TTextMetrics& metrics,
                              const TPixRect& area, const std::vector<TPixRect>& keepClear = {});

// The measured texts of the slices, one entry per slice in each part, measured when a layout
// first asks for them and kept until Reset. A layout asks only for what can be shown: the legend
// texts of the first slices, as many as could be listed, and the mark texts of the slices whose
// arc is at least a pixel in the largest pie the chart could draw. An entry not asked for stays
// empty, so that a chart of thousands of slices measures a few hundred texts, not all of them.
class TSliceTexts {
 public:
  // Forgets what was measured; the entries are then those of `count` slices, all empty.
  void Reset(size_t count);
  // Measures the legend texts of the first `count` slices not measured yet.
  void MeasureLegend(const std::vector<TSlice>& slices, size_t count, const TTextMetrics& metrics,
                     const QLocale& locale);
  // Measures the mark text of slice i, unless it is measured.
  void MeasureMark(const std::vector<TSlice>& slices, size_t i, const TTextMetrics& metrics,
                   const QLocale& locale);

  std::vector<TLegendText> legend;
  std::vector<TMarkText> marks;

 private:
  size_t m_legendMeasured = 0;        // the first so many legend entries
  std::vector<char> m_markMeasured;   // one flag a slice
  std::vector<size_t> m_markEntries;  // the mark entries filled, to empty them again
};
// The texts of every slice in the part that options show.
TSliceTexts MeasureSliceTexts(const std::vector<TSlice>& slices, const TChartOptions& options,
                              const TTextMetrics& metrics);
// How many of `count` slices a top or bottom legend in a chart rectangle `chartWidth` wide could
// ever list: ten rows of the narrowest columns. Its columns are as wide as the widest texts of
// these slices, listed or not.
size_t ListableLegendItems(int chartWidth, size_t count, const TTextMetrics& metrics);

// A slice with less than a pixel of arc shows nothing but its black outline: two or more of
// them in a row are drawn as one black sector, or 3D slice, over their arcs (`hairlines`,
// `slice` the first of them). It looks the same and costs one polygon instead of thousands.
// The arc of a slice as drawn, in pixels; in 3D on the upper face, lower by the elevation.
double ArcPixels(const TPieRect& pie, const TProjection& projection, const TSliceAngles& angles);
// The flat sectors with such runs merged.
std::vector<TFlatSector> MergeHairlineSectors(const std::vector<TFlatSector>& sectors,
                                              const TPieRect& pie,
                                              const std::vector<TSliceAngles>& angles);
// The ranges of slices drawn as one: [first, last], each a single slice or a hairline run.
struct TSliceRun {
  int first = 0;
  int last = 0;
  bool Hairlines() const { return last > first; }
};
std::vector<TSliceRun> SliceRuns(const TPieRect& pie, const TProjection& projection,
                                 const std::vector<TSliceAngles>& angles);

// Everything one paint needs, in paint order.
struct TChartLayout {
  TPixRect chart;  // after title and legend
  TTitleLayout title;
  TLegendLayout legend;
  TProjection projection;
  TPieRect pie;
  std::vector<TSliceAngles> angles;
  std::vector<TFlatSector> flat;     // flat mode
  std::vector<TSolidSlice> solid;    // 3D mode
  std::vector<TSmoothSlice> smooth;  // either mode, antialiased: instead of flat and solid
  std::vector<TMark> marks;          // when the legend is hidden
};
// Measures in texts what the layout needs and has not been measured yet.
// REQUIRES: texts was Reset for these slices, or measured for them by MeasureSliceTexts.
TChartLayout LayoutChart(int width, int height, const std::vector<TSlice>& slices,
                         TSliceTexts& texts, const TChartOptions& options,
                         const TTextMetrics& metrics);
// The same into the given layout, whose lists keep their room: a chart laid out for every
// update allocates little once its lists have grown.
void LayoutChart(int width, int height, const std::vector<TSlice>& slices, TSliceTexts& texts,
                 const TChartOptions& options, const TTextMetrics& metrics, TChartLayout& layout);
// The same, measuring the texts first.
TChartLayout LayoutChart(int width, int height, const std::vector<TSlice>& slices,
                         const TChartOptions& options, const TTextMetrics& metrics);

}  // namespace kestrava
