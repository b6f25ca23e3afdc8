#include "ui/chart_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "shared/session_types.h"

namespace kestrava {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kFullTurn = 2 * std::numbers::pi;
constexpr int kLegendTopPercent = 10;
constexpr int kLegendMaxRows = 10;
constexpr int kCalloutLength = 8;
// The callout plus twice the mark frame: the room marks need around the pie.
constexpr int kMarkRoom = 10;
constexpr double kElevationDegrees = 315;
constexpr double kRotationDegrees = 360;

// Legend texts: column 0 the value, column 1 the label with carriage returns as spaces.
TLegendItem LegendItem(int index, const TSlice& slice, const QLocale& locale) {
  TLegendItem item;
  item.slice = index;
  item.value = FormatSliceValue(slice.value, locale);
  item.label = slice.label;
  item.label.replace(QChar(13), QChar(' '));
  return item;
}

// Fills c0 and c1 from the items and returns the text block width tw.
int MeasureLegendColumns(TLegendLayout& legend, const TTextMetrics& metrics) {
  legend.valueWidth = 0;
  legend.labelWidth = 0;
  for (const TLegendItem& item : legend.items) {
    legend.valueWidth = std::max(legend.valueWidth, metrics.legendWidth(item.value));
    legend.labelWidth = std::max(legend.labelWidth, metrics.legendWidth(item.label));
  }
  return 2 * metrics.legendSpace - 1 + legend.valueWidth + legend.labelWidth;
}

// A slice's size: its absolute value; values that are not finite size nothing, so that one
// broken number cannot wreck the angles of every other slice.
double SliceSize(double value) {
  return std::isfinite(value) ? std::fabs(value) : 0.0;
}

void EvenUp(TPixRect& r) {
  if (r.Width() % 2 != 0) --r.right;
  if (r.Height() % 2 != 0) --r.bottom;
  if (r.Width() < 4) r.right = r.left + 4;
  if (r.Height() < 4) r.bottom = r.top + 4;
}

}  // namespace

uint32_t SliceColour(uint32_t colour, int index) {
  if (colour == PaletteColour)
    return SlicePalette[static_cast<size_t>(index) % SlicePalette.size()];
  return colour & 0xFFFFFF;
}

uint32_t DarkenColour(uint32_t rgb) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t c = (rgb >> shift) & 0xFF;
    out |= (c > 32 ? c - 32 : 0) << shift;
  }
  return out;
}

int RoundEven(double v) {
  return static_cast<int>(std::nearbyint(v));
}

QString FormatSliceValue(double value, const QLocale& locale) {
  QString text = locale.toString(value, 'f', 3);
  const QString point = locale.decimalPoint();
  const qsizetype at = text.lastIndexOf(point);
  if (at >= 0) {
    qsizetype end = text.size();
    while (end > at + point.size() && text[end - 1] == locale.zeroDigit()[0]) --end;
    if (end == at + point.size()) end = at;
    text.truncate(end);
  }
  // A small negative value that rounds to nothing is shown as plain zero.
  if (text == locale.negativeSign() + locale.zeroDigit()) text = locale.zeroDigit();
  return text;
}

TPixRect ChartRectFromMargins(int width, int height) {
  return {1 + 3 * width / 100, 1 + 4 * height / 100, width - 1 - 3 * width / 100,
          height - 1 - 4 * height / 100};
}

TTitleLayout PlaceTitle(TPixRect& chart, const QString& title, const TTextMetrics& metrics) {
  TTitleLayout layout;
  layout.x = (chart.left + chart.right) / 2 - metrics.titleWidth(title) / 2;
  layout.y = chart.top + 1;
  // The title always holds its line, even when it is empty.
  chart.top += metrics.titleHeight + 8;
  return layout;
}

TLegendLayout PlaceSideLegend(TPixRect& chart, int height, TLegendAlignment alignment,
                              const std::vector<TSlice>& slices, const TTextMetrics& metrics,
                              const QLocale& locale) {
  TLegendLayout legend;
  const int h = std::max(1, metrics.legendHeight);
  legend.rowHeight = h;
  const int top = RoundEven(kLegendTopPercent * height / 100.0);
  int rows = 0;
  if (top < chart.bottom) {
    rows = std::min(static_cast<int>(slices.size()), (chart.bottom - 2 - top) / h);
  }
  if (rows <= 0) return legend;
  for (int k = 0; k < rows; ++k) legend.items.push_back(LegendItem(k, slices[k], locale));
  const int tw = MeasureLegendColumns(legend, metrics);
  legend.swatchWidth = RoundEven((tw + 10) / 5.0);
  const int width = tw + 10 + legend.swatchWidth;
  if (alignment == laRight) {
    legend.box.right = chart.right - 5;
    legend.box.left = legend.box.right - width;
  } else {
    legend.box.left = chart.left + 2;
    legend.box.right = legend.box.left + width;
  }
  const int pad = RoundEven(h / 10.0);
  legend.box.top = top;
  legend.box.bottom = top + h * rows + 2 + 2 * pad;
  legend.columns = 1;
  legend.rows = rows;
  for (int k = 0; k < rows; ++k) {
    legend.items[k].swatchX = legend.box.left + 6;
    legend.items[k].rowTop = top + pad + 1 + k * h;
  }
  const int chartWidth = chart.Width();
  if (alignment == laRight) {
    chart.right = legend.box.left - 3 * chartWidth / 100;
  } else {
    chart.left = legend.box.right + 3 * chartWidth / 100;
  }
  legend.visible = true;
  return legend;
}

TLegendLayout PlaceTopBottomLegend(TPixRect& chart, int width, TLegendAlignment alignment,
                                   const std::vector<TSlice>& slices, const TTextMetrics& metrics,
                                   const QLocale& locale) {
  TLegendLayout legend;
  const int h = std::max(1, metrics.legendHeight);
  legend.rowHeight = h;
  const int count = static_cast<int>(slices.size());
  if (count == 0) return legend;
  // The columns are as wide as the widest texts of all slices, listed or not.
  for (int i = 0; i < count; ++i) legend.items.push_back(LegendItem(i, slices[i], locale));
  const int tw = MeasureLegendColumns(legend, metrics);
  legend.swatchWidth = RoundEven(tw / 5.0);
  const int chartWidth = chart.Width();
  const int columns = std::min(count, (chartWidth - 10) / (legend.swatchWidth + tw + 8));
  if (columns < 1) {
    legend.items.clear();
    return legend;
  }
  const int rows = std::min((count + columns - 1) / columns, kLegendMaxRows);
  legend.items.resize(std::min(count, columns * rows));
  const int step = tw + legend.swatchWidth + 6;
  const int half = std::min(columns * step + 10, chartWidth) / 2;
  const int middle = (chart.left + chart.right) / 2;
  legend.box.left = middle - half + RoundEven(10 * (width - 2 * half) / 100.0);
  legend.box.right = legend.box.left + 2 * half;
  const int pad = RoundEven(h / 10.0);
  const int boxHeight = h * rows + 2 + 2 * pad;
  if (alignment == laBottom) {
    legend.box.bottom = chart.bottom - 2;
    legend.box.top = legend.box.bottom - boxHeight;
  } else {
    legend.box.top = chart.top + 2;
    legend.box.bottom = legend.box.top + boxHeight;
  }
  legend.columns = columns;
  legend.rows = rows;
  for (size_t i = 0; i < legend.items.size(); ++i) {
    const int k = static_cast<int>(i);
    legend.items[i].swatchX = legend.box.left + 6 + (k % columns) * step;
    legend.items[i].rowTop = legend.box.top + pad + 1 + (k / columns) * h;
  }
  const int chartHeight = chart.Height();
  if (alignment == laBottom) {
    chart.bottom = legend.box.top - 4 * chartHeight / 100;
  } else {
    chart.top = legend.box.bottom + 4 * chartHeight / 100;
  }
  legend.visible = true;
  return legend;
}

TPoint TProjection::Project(double x, double y, double z) const {
  if (!on) return {RoundEven(x), RoundEven(y)};
  const double a = -kElevationDegrees * kPi / 180;
  const double b = -kRotationDegrees * kPi / 180;
  const double s1 = std::sin(a), c1 = std::cos(a), s2 = std::sin(b), c2 = std::cos(b);
  const double xr = x - xc, yr = y - yc, zr = z - zc;
  const double f = zr * c2 - xr * s2;
  return {RoundEven(xr * c2 + zr * s2) + xc, RoundEven(yr * c1 - f * s1) + yc};
}

TProjection MakeProjection(const TPixRect& chart, bool view3D) {
  TProjection p;
  p.on = view3D;
  p.xc = (chart.left + chart.right) / 2;
  p.yc = (chart.top + chart.bottom) / 2;
  if (view3D) {
    // DepthPercent 15, doubled for a view that is not orthogonal.
    p.depth = RoundEven(chart.Width() * 15 * 0.002);
    p.zc = RoundEven(p.depth / 2.0);
  }
  return p;
}

TPieRect PlacePie(const TPixRect& chart, bool marksVisible, const TTextMetrics& metrics,
                  int widestMark) {
  TPixRect r = chart;
  EvenUp(r);
  if (marksVisible) {
    const int across = metrics.marksWidthW + widestMark + kMarkRoom;
    const int down = kMarkRoom + metrics.marksHeight;
    r.top += down;
    r.bottom -= down;
    r.left += across;
    r.right -= across;
    EvenUp(r);
  }
  TPieRect pie;
  pie.drawSlices = r.Width() >= 5 && r.Height() >= 5;
  pie.rx = r.Width() / 2;
  pie.ry = r.Height() / 2;
  pie.cx = (r.left + r.right) / 2;
  pie.cy = (r.top + r.bottom) / 2;
  pie.rect = {pie.cx - pie.rx, pie.cy - pie.ry, pie.cx + pie.rx, pie.cy + pie.ry};
  return pie;
}

TPoint EllipsePoint(const TPieRect& pie, double theta) {
  return {pie.cx + RoundEven(pie.rx * std::cos(theta)),
          pie.cy - RoundEven(pie.ry * std::sin(theta))};
}

std::vector<TSliceAngles> SliceAngles(const std::vector<TSlice>& slices) {
  double total = 0;
  for (const TSlice& s : slices) total += SliceSize(s.value);
  std::vector<TSliceAngles> angles(slices.size());
  double sum = 0;
  double start = 0;
  for (size_t i = 0; i < slices.size(); ++i) {
    sum += SliceSize(slices[i].value);
    TSliceAngles& a = angles[i];
    a.start = start;
    a.end = (total == 0 || sum == total) ? kFullTurn : sum * kFullTurn / total;
    a.mid = (a.start + a.end) / 2;
    start = a.end;
  }
  return angles;
}

std::vector<TFlatSector> FlatSectors(const TPieRect& pie, const std::vector<TSliceAngles>& angles) {
  std::vector<TFlatSector> sectors;
  double from = 0;
  TPoint p = EllipsePoint(pie, 0);
  for (size_t i = 0; i < angles.size(); ++i) {
    const TPoint e = EllipsePoint(pie, angles[i].end);
    if (p == e && angles.size() != 1 && angles[i].end - angles[i].start <= 1) continue;
    sectors.push_back({static_cast<int>(i), from, angles[i].end, p == e});
    from = angles[i].end;
    p = e;
  }
  return sectors;
}

std::vector<TPoint> FlatSectorPolygon(const TPieRect& pie, const TFlatSector& sector) {
  const double span = sector.full ? kFullTurn : sector.to - sector.from;
  // About one pixel of arc per step, so that the outline passes every ellipse pixel.
  const int steps = std::max(1, static_cast<int>(std::ceil(span * std::max(pie.rx, pie.ry))));
  std::vector<TPoint> points;
  points.reserve(static_cast<size_t>(steps) + 3);
  points.push_back({pie.cx, pie.cy});
  for (int k = 0; k <= steps; ++k) {
    const double theta = k == steps ? sector.from + span : sector.from + span * k / steps;
    const TPoint q =
        k == steps && !sector.full ? EllipsePoint(pie, sector.to) : EllipsePoint(pie, theta);
    if (q != points.back()) points.push_back(q);
  }
  return points;
}

TSolidSlice SolidSlice(const TPieRect& pie, const TProjection& projection, int slice,
                       const TSliceAngles& angles) {
  TSolidSlice solid;
  solid.slice = slice;
  const double span = angles.end - angles.start;
  const int n = std::min(RoundEven(span * 180 / kPi / 2), 94) + 2;
  const double depth = projection.depth;
  std::vector<TPoint> upper(static_cast<size_t>(n)), lower(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    const double theta = angles.start + k * span / (n - 1);
    const double x = pie.cx + pie.rx * std::cos(theta);
    const double y = pie.cy - pie.ry * std::sin(theta);
    upper[k] = projection.Project(x, y, depth);
    lower[k] = projection.Project(x, y, 0);
  }
  solid.cover.reserve(static_cast<size_t>(n) + 1);
  solid.cover.push_back(projection.Project(pie.cx, pie.cy, depth));
  solid.cover.insert(solid.cover.end(), upper.begin(), upper.end());
  // Each run of the upper arc on which x increases faces the viewer and gets a rim.
  int k = 1;
  while (k < n) {
    if (upper[k - 1].x >= upper[k].x) {
      ++k;
      continue;
    }
    const int a = k - 1;
    int b = k;
    while (b + 1 < n && upper[b + 1].x >= upper[b].x) ++b;
    std::vector<TPoint> rim(upper.begin() + a, upper.begin() + b + 1);
    for (int j = b; j >= a; --j) rim.push_back(lower[j]);
    solid.rims.push_back(std::move(rim));
    k = b + 1;
  }
  return solid;
}

QString MarkText(const TSlice& slice, const QLocale& locale) {
  return slice.label.isEmpty() ? FormatSliceValue(slice.value, locale) : slice.label;
}

int WidestMarkLine(const std::vector<TSlice>& slices, const TTextMetrics& metrics,
                   const QLocale& locale) {
  int widest = 0;
  for (const TSlice& s : slices) {
    for (const QString& line : MarkText(s, locale).split(QChar(13))) {
      widest = std::max(widest, metrics.marksWidth(line));
    }
  }
  return widest;
}

std::vector<TMark> PlaceMarks(const std::vector<TSlice>& slices,
                              const std::vector<TSliceAngles>& angles, const TPieRect& pie,
                              const TProjection& projection, const TTextMetrics& metrics,
                              const QLocale& locale) {
  std::vector<TMark> marks;
  std::vector<TPixRect> placed;
  for (size_t i = 0; i < slices.size() && i < angles.size(); ++i) {
    const QString text = MarkText(slices[i], locale);
    if (text.isEmpty()) continue;
    TMark m;
    m.slice = static_cast<int>(i);
    m.lines = text.split(QChar(13));
    int widest = 0;
    for (const QString& line : m.lines) widest = std::max(widest, metrics.marksWidth(line));
    m.w = widest + metrics.marksWidthW + 2;
    m.v = static_cast<int>(m.lines.size()) * metrics.marksHeight + 2;
    const double c = std::cos(angles[i].mid), s = std::sin(angles[i].mid);
    m.from = {pie.cx + RoundEven(pie.rx * c), pie.cy - RoundEven(pie.ry * s)};
    m.to = {pie.cx + RoundEven((pie.rx + kCalloutLength) * c),
            pie.cy - RoundEven((pie.ry + kCalloutLength) * s)};
    // The box touches the callout's end with its corner nearest the pie.
    const int offsetX = m.to.x > pie.cx ? 0 : -m.w;
    const int offsetY = m.to.y > pie.cy ? 0 : -m.v;
    if (projection.on) {
      m.from = projection.Project(m.from.x, m.from.y, projection.depth);
      m.to = projection.Project(m.to.x, m.to.y, projection.depth);
    }
    m.x = m.to.x + offsetX;
    m.y = m.to.y + offsetY;
    // Each overlap with an earlier mark moves this one up or down; the tests keep using the
    // first place, and the moves add up.
    const TPixRect first{m.x, m.y, m.x + m.w + 2, m.y + m.v + 2};
    int move = 0;
    for (const TPixRect& p : placed) {
      if (!first.Overlaps(p)) continue;
      move += p.top > first.top ? -(first.bottom - p.top) : p.bottom - first.top;
    }
    m.y += move;
    m.to.y += move;
    placed.push_back({m.x, m.y, m.x + m.w + 2, m.y + m.v + 2});
    marks.push_back(std::move(m));
  }
  return marks;
}

TChartLayout LayoutChart(int width, int height, const std::vector<TSlice>& slices,
                         const TChartOptions& options, const TTextMetrics& metrics) {
  TChartLayout layout;
  layout.chart = ChartRectFromMargins(width, height);
  const bool side = options.alignment == laLeft || options.alignment == laRight;
  if (options.legendVisible && side) {
    layout.legend =
        PlaceSideLegend(layout.chart, height, options.alignment, slices, metrics, options.locale);
  }
  layout.title = PlaceTitle(layout.chart, options.title, metrics);
  if (options.legendVisible && !side) {
    layout.legend = PlaceTopBottomLegend(layout.chart, width, options.alignment, slices, metrics,
                                         options.locale);
  }
  layout.projection = MakeProjection(layout.chart, options.view3D);
  const bool marks = !options.legendVisible;
  const int widest = marks ? WidestMarkLine(slices, metrics, options.locale) : 0;
  layout.pie = PlacePie(layout.chart, marks, metrics, widest);
  layout.angles = SliceAngles(slices);
  if (layout.pie.drawSlices) {
    if (options.view3D) {
      for (size_t i = 0; i < slices.size(); ++i) {
        layout.solid.push_back(
            SolidSlice(layout.pie, layout.projection, static_cast<int>(i), layout.angles[i]));
      }
    } else {
      layout.flat = FlatSectors(layout.pie, layout.angles);
    }
  }
  if (marks) {
    layout.marks =
        PlaceMarks(slices, layout.angles, layout.pie, layout.projection, metrics, options.locale);
  }
  return layout;
}

}  // namespace kestrava
