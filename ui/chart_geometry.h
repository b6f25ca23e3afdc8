#pragma once
// The pie chart's geometry: the chart rectangle, title, legend, 3D projection, pie rectangle,
// slice angles, flat sectors, 3D covers and rims, and the marks with their overlap moves.
// Plain functions over the chart area's size, the slices and measured text sizes, so that the
// layout can be checked with fixed metrics; the painting lives in "ui/chart.h".
// Rounding is to the nearest integer with ties to even; div truncates towards zero.
// Rectangles cover x from left to right - 1 and y from top to bottom - 1.
// Thread: any; nothing here keeps state.

#include <QLocale>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "shared/session_types.h"

namespace kestrava {

// The 20 slice colours as 0xRRGGBB, indexed by slice index mod 20.
inline constexpr std::array<uint32_t, 20> SlicePalette = {
    0xFF0000, 0x008000, 0xFFFF00, 0x0000FF, 0xFFFFFF, 0x808080, 0xFF00FF,
    0x008080, 0x000080, 0x800000, 0x00FF00, 0x808000, 0x800080, 0xC0C0C0,
    0x00FFFF, 0x000000, 0xC0DCC0, 0xA6CAF0, 0xFFFBF0, 0xA0A0A4};

struct TSlice {
  QString label;
  double value = 0;     // only its absolute value sizes the slice
  double position = 0;  // the rank given by the feed; kept, never drawn
  uint32_t colour = 0;  // 0xRRGGBB, or PaletteColour
};

// The slice's colour as 0xRRGGBB: its palette entry for PaletteColour, else its own colour.
uint32_t SliceColour(uint32_t colour, int index);
// Each of red, green and blue lowered by 32, and 0 when it is 32 or less (the 3D rims).
uint32_t DarkenColour(uint32_t rgb);

// Rounds to the nearest integer, ties to even.
int RoundEven(double v);

struct TPoint {
  int x = 0;
  int y = 0;
  bool operator==(const TPoint&) const = default;
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
};

struct TChartOptions {
  QString title;
  bool view3D = true;
  bool legendVisible = true;  // the marks are visible when the legend is not
  TLegendAlignment alignment = laBottom;
  QLocale locale;  // for the slice values, "#,##0.###"
};

// "#,##0.###": thousands separators, at most three decimals, no trailing zeros.
QString FormatSliceValue(double value, const QLocale& locale);

// The chart rectangle inside the margins of a W x H chart area.
TPixRect ChartRectFromMargins(int width, int height);

struct TTitleLayout {
  int x = 0;  // left edge of the text
  int y = 0;  // top of the text
};
// Centres the title on the chart rectangle and takes its line from the rectangle's top.
TTitleLayout PlaceTitle(TPixRect& chart, const QString& title, const TTextMetrics& metrics);

struct TLegendItem {
  int slice = 0;
  int swatchX = 0;  // x_s
  int rowTop = 0;   // y
  QString value;    // column 0, right-aligned in c0
  QString label;    // column 1
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
  TPixRect SwatchRect(const TLegendItem& item) const {
    return {item.swatchX, item.rowTop + 2, item.swatchX + swatchWidth, item.rowTop + rowHeight - 2};
  }
  int ValueX(const TLegendItem& item, int valueTextWidth) const {
    return item.swatchX + swatchWidth + 4 + valueWidth - valueTextWidth;
  }
  int LabelX(const TLegendItem& item, int space) const {
    return item.swatchX + swatchWidth + 4 + valueWidth + space;
  }
};

// The legend at laLeft or laRight, before the title; height is the whole chart area's.
TLegendLayout PlaceSideLegend(TPixRect& chart, int height, TLegendAlignment alignment,
                              const std::vector<TSlice>& slices, const TTextMetrics& metrics,
                              const QLocale& locale);
// The legend at laTop or laBottom, after the title; width is the whole chart area's.
TLegendLayout PlaceTopBottomLegend(TPixRect& chart, int width, TLegendAlignment alignment,
                                   const std::vector<TSlice>& slices, const TTextMetrics& metrics,
                                   const QLocale& locale);

// The 3D view (elevation 315, rotation 360, no perspective); depth 0 and no effect when flat.
struct TProjection {
  bool on = false;
  int depth = 0;  // D
  int xc = 0;
  int yc = 0;
  int zc = 0;
  TPoint Project(double x, double y, double z) const;
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

// One drawn flat sector: from the radius at angle `from` (the last drawn end) to `to`.
struct TFlatSector {
  int slice = 0;
  double from = 0;
  double to = 0;
  bool full = false;  // start and end points coincide: the whole ellipse
};
// The sectors of the flat pie; slivers whose ends round to one pixel are skipped.
std::vector<TFlatSector> FlatSectors(const TPieRect& pie, const std::vector<TSliceAngles>& angles);
// The outline of a flat sector: centre, the arc pixel by pixel, back to the centre.
std::vector<TPoint> FlatSectorPolygon(const TPieRect& pie, const TFlatSector& sector);

// One slice of the 3D pie: its upper cover and the rims that face the viewer.
struct TSolidSlice {
  int slice = 0;
  std::vector<TPoint> cover;              // apex, then the upper arc
  std::vector<std::vector<TPoint>> rims;  // upper run, then the lower run backwards
};
TSolidSlice SolidSlice(const TPieRect& pie, const TProjection& projection, int slice,
                       const TSliceAngles& angles);

struct TMark {
  int slice = 0;
  QStringList lines;
  TPoint from;  // F, on the ellipse
  TPoint to;    // T, the callout's end, moved with the box
  int x = 0;    // the box covers x .. x + w - 1, y .. y + v - 1
  int y = 0;
  int w = 0;
  int v = 0;
};
// The mark text of a slice: its label, or its value when the label is empty.
QString MarkText(const TSlice& slice, const QLocale& locale);
// M: the widest line of all mark texts.
int WidestMarkLine(const std::vector<TSlice>& slices, const TTextMetrics& metrics,
                   const QLocale& locale);
// The marks in list order, each moved vertically off the marks placed before it.
std::vector<TMark> PlaceMarks(const std::vector<TSlice>& slices,
                              const std::vector<TSliceAngles>& angles, const TPieRect& pie,
                              const TProjection& projection, const TTextMetrics& metrics,
                              const QLocale& locale);

// Everything one paint needs, in paint order.
struct TChartLayout {
  TPixRect chart;  // after title and legend
  TTitleLayout title;
  TLegendLayout legend;
  TProjection projection;
  TPieRect pie;
  std::vector<TSliceAngles> angles;
  std::vector<TFlatSector> flat;   // flat mode
  std::vector<TSolidSlice> solid;  // 3D mode
  std::vector<TMark> marks;        // when the legend is hidden
};
TChartLayout LayoutChart(int width, int height, const std::vector<TSlice>& slices,
                         const TChartOptions& options, const TTextMetrics& metrics);

}  // namespace kestrava
