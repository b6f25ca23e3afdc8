#include "ui/chart_geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>
#include <optional>

#include "shared/session_types.h"

namespace kestrava {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kFullTurn = 2 * std::numbers::pi;
constexpr int kLegendTopPercent = 10;
constexpr int kLegendMaxRows = 10;
// A legend gives way only where the pie would be left narrower or lower than this: a smaller
// pie no longer shows its slices.
constexpr int kLegendLeavesPie = 24;
constexpr int kCalloutLength = 8;
// The callout plus twice the mark frame: the room marks need around the pie.
constexpr int kMarkRoom = 10;
constexpr int kMarkSweepTries = 8192;
constexpr double kElevationDegrees = 315;
constexpr double kRotationDegrees = 360;

TLegendItem LegendItem(int index, const TLegendText& text) {
  TLegendItem item;
  item.slice = index;
  item.value = text.value;
  item.label = text.label;
  item.valueTextWidth = text.valueWidth;
  return item;
}

// Fills c0 and c1 from the first `count` texts and returns the text block width tw.
int MeasureLegendColumns(TLegendLayout& legend, const std::vector<TLegendText>& texts, size_t count,
                         const TTextMetrics& metrics) {
  legend.valueWidth = 0;
  legend.labelWidth = 0;
  for (size_t i = 0; i < count && i < texts.size(); ++i) {
    legend.valueWidth = std::max(legend.valueWidth, texts[i].valueWidth);
    legend.labelWidth = std::max(legend.labelWidth, texts[i].labelWidth);
  }
  return 2 * metrics.legendSpace - 1 + legend.valueWidth + legend.labelWidth;
}

// The width of a side legend whose text block is tw wide: text, margins and swatch.
int SideLegendWidth(int tw) {
  return tw + 10 + RoundEven((tw + 10) / 5.0);
}

// Cuts the side legend's labels so that the legend is at most `widest` pixels wide; false when
// even the values alone do not fit.
bool CutSideLegendLabels(TLegendLayout& legend, int& tw, int widest,
                         const std::vector<TLegendText>& texts, const TTextMetrics& metrics) {
  int fit = tw;
  while (fit > 0 && SideLegendWidth(fit) > widest) --fit;
  const int room = legend.labelWidth - (tw - fit);
  if (room < 0 || SideLegendWidth(fit) > widest || !metrics.legendElide) return false;
  legend.labelWidth = 0;
  for (TLegendItem& item : legend.items) {
    int width = texts[item.slice].labelWidth;
    if (width > room) {
      item.label = metrics.legendElide(item.label, room);
      width = metrics.legendWidth(item.label);
    }
    legend.labelWidth = std::max(legend.labelWidth, width);
  }
  tw = 2 * metrics.legendSpace - 1 + legend.valueWidth + legend.labelWidth;
  return true;
}

// A slice's size: its absolute value; values that are not finite size nothing, so that one
// broken number cannot wreck the angles of every other slice.
double SliceSize(double value) {
  return std::isfinite(value) ? std::fabs(value) : 0.0;
}

// Steps of about two pixels along an arc of the given span, for the smooth drawing.
int SmoothSteps(const TPieRect& pie, double span) {
  return std::max(1, static_cast<int>(std::ceil(span * std::max(pie.rx, pie.ry) / 2)));
}

TPointF EllipsePointF(const TPieRect& pie, double theta) {
  return {pie.cx + pie.rx * std::cos(theta), pie.cy - pie.ry * std::sin(theta)};
}

void EvenUp(TPixRect& r) {
  if (r.Width() % 2 != 0) --r.right;
  if (r.Height() % 2 != 0) --r.bottom;
  if (r.Width() < 4) r.right = r.left + 4;
  if (r.Height() < 4) r.bottom = r.top + 4;
}

// Each run of the upper arc on which x increases faces the viewer and gets a rim: that run of
// the upper arc and, back along it, the same run of the lower arc.
template <typename Point>
std::vector<std::vector<Point>> FacingRims(const std::vector<Point>& upper,
                                           const std::vector<Point>& lower) {
  std::vector<std::vector<Point>> rims;
  const size_t n = upper.size();
  size_t k = 1;
  while (k < n) {
    if (upper[k - 1].x >= upper[k].x) {
      ++k;
      continue;
    }
    const size_t a = k - 1;
    size_t b = k;
    while (b + 1 < n && upper[b + 1].x >= upper[b].x) ++b;
    std::vector<Point> rim(upper.begin() + a, upper.begin() + b + 1);
    for (size_t j = b + 1; j-- > a;) rim.push_back(lower[j]);
    rims.push_back(std::move(rim));
    k = b + 1;
  }
  return rims;
}

}  // namespace

uint32_t SliceColour(uint32_t colour, int index, std::span<const uint32_t> palette) {
  if (colour == PaletteColour) return palette[static_cast<size_t>(index) % palette.size()];
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

QString FormatSliceValue(const TSlice& slice, const QLocale& locale) {
  const QString& text = slice.valueText;
  const qsizetype point = text.indexOf(QLatin1Char('.'));
  const QString whole = point < 0 ? text : text.left(point);
  QString fraction = point < 0 ? QString() : text.mid(point + 1).left(3);
  while (fraction.endsWith(QLatin1Char('0'))) fraction.chop(1);
  const bool digitsOnly = !whole.isEmpty() && std::all_of(whole.begin(), whole.end(), [](QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
  });
  // Other digit shapes, signs and exponents go the way of the number.
  if (!digitsOnly || locale.zeroDigit() != QLatin1String("0"))
    return FormatSliceValue(slice.value, locale);
  QString out;
  const bool grouped = !(locale.numberOptions() & QLocale::OmitGroupSeparator);
  for (qsizetype i = 0; i < whole.size(); ++i) {
    if (grouped && i > 0 && (whole.size() - i) % 3 == 0) out += locale.groupSeparator();
    out += whole[i];
  }
  if (!fraction.isEmpty()) out += locale.decimalPoint() + fraction;
  return out;
}

TNumberStyle NumberStyle(const QLocale& locale) {
  return TNumberStyle{locale.decimalPoint().toStdString(), locale.negativeSign().toStdString()};
}

bool HasUnit(const TSlice& slice) {
  return slice.shown.Present && slice.shown.Unit != TUnit::kNone;
}

QString SliceValueText(const TSlice& slice, const QLocale& locale) {
  if (!HasUnit(slice)) return FormatSliceValue(slice, locale);
  return QString::fromStdString(UnitText(slice.shown, NumberStyle(locale)));
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
                              const std::vector<TLegendText>& texts, const TTextMetrics& metrics,
                              int titleWidth) {
  TLegendLayout legend;
  const int h = std::max(1, metrics.legendHeight);
  legend.rowHeight = h;
  const int top = RoundEven(kLegendTopPercent * height / 100.0);
  int rows = 0;
  if (top < chart.bottom) {
    rows = std::min(static_cast<int>(texts.size()), (chart.bottom - 2 - top) / h);
  }
  if (rows <= 0) return legend;
  for (int k = 0; k < rows; ++k) legend.items.push_back(LegendItem(k, texts[k]));
  int tw = MeasureLegendColumns(legend, texts, static_cast<size_t>(rows), metrics);
  // Long labels in a narrow chart are cut short only where the pie beside them would vanish,
  // or where the legend reaches up beside the title, which is centred over the rest.
  const int chartWidth = chart.Width();
  const int gap = 3 * chartWidth / 100;
  const int edge = alignment == laRight ? 5 : 2;  // the legend's distance from the chart's side
  int widest = chartWidth - edge - gap - kLegendLeavesPie;
  if (top < chart.top + 1 + metrics.titleHeight) {
    // With its 3-pixel shadow on the left, and a pixel for rounding the title's place.
    widest = std::min(widest, chartWidth + gap - titleWidth - (alignment == laRight ? 6 : 9));
  }
  if (SideLegendWidth(tw) > widest && !CutSideLegendLabels(legend, tw, widest, texts, metrics)) {
    legend.items.clear();
    return legend;
  }
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
  if (alignment == laRight) {
    chart.right = legend.box.left - 3 * chartWidth / 100;
  } else {
    chart.left = legend.box.right + 3 * chartWidth / 100;
  }
  legend.visible = true;
  return legend;
}

TLegendLayout PlaceTopBottomLegend(TPixRect& chart, int width, TLegendAlignment alignment,
                                   const std::vector<TLegendText>& texts,
                                   const TTextMetrics& metrics) {
  TLegendLayout legend;
  const int h = std::max(1, metrics.legendHeight);
  legend.rowHeight = h;
  const int count = static_cast<int>(texts.size());
  if (count == 0) return legend;
  const int chartWidth = chart.Width();
  // The columns are as wide as the widest texts of the slices it could list, listed or not.
  const int tw = MeasureLegendColumns(
      legend, texts, ListableLegendItems(chartWidth, texts.size(), metrics), metrics);
  legend.swatchWidth = RoundEven(tw / 5.0);
  const int columns = std::min(count, (chartWidth - 10) / (legend.swatchWidth + tw + 8));
  const int pad = RoundEven(h / 10.0);
  // A low chart lists fewer rows where the pie below or above them would vanish.
  const int chartHeight = chart.Height();
  const int roomRows =
      (chartHeight - 4 * chartHeight / 100 - kLegendLeavesPie - 2 - (2 + 2 * pad)) / h;
  if (columns < 1 || roomRows < 1) return legend;
  const int rows = std::min({(count + columns - 1) / columns, kLegendMaxRows, roomRows});
  const int listed = std::min(count, columns * rows);
  legend.items.reserve(static_cast<size_t>(listed));
  for (int i = 0; i < listed; ++i) legend.items.push_back(LegendItem(i, texts[i]));
  const int step = tw + legend.swatchWidth + 6;
  const int half = std::min(columns * step + 10, chartWidth) / 2;
  const int middle = (chart.left + chart.right) / 2;
  legend.box.left = middle - half + RoundEven(10 * (width - 2 * half) / 100.0);
  legend.box.right = legend.box.left + 2 * half;
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
  if (alignment == laBottom) {
    chart.bottom = legend.box.top - 4 * chartHeight / 100;
  } else {
    chart.top = legend.box.bottom + 4 * chartHeight / 100;
  }
  legend.visible = true;
  return legend;
}

TPointF TProjection::ProjectF(double x, double y, double z) const {
  if (!on) return {x, y};
  const double a = -kElevationDegrees * kPi / 180;
  const double b = -kRotationDegrees * kPi / 180;
  const double s1 = std::sin(a), c1 = std::cos(a), s2 = std::sin(b), c2 = std::cos(b);
  const double xr = x - xc, yr = y - yc, zr = z - zc;
  const double f = zr * c2 - xr * s2;
  return {xr * c2 + zr * s2 + xc, yr * c1 - f * s1 + yc};
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
  std::vector<TSliceAngles> angles;
  SliceAngles(slices, angles);
  return angles;
}

void SliceAngles(const std::vector<TSlice>& slices, std::vector<TSliceAngles>& angles) {
  double total = 0;
  for (const TSlice& s : slices) total += SliceSize(s.value);
  angles.resize(slices.size());
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
  std::vector<TPoint> points;
  FlatSectorPolygon(pie, sector, points);
  return points;
}

void FlatSectorPolygon(const TPieRect& pie, const TFlatSector& sector,
                       std::vector<TPoint>& points) {
  const double span = sector.full ? kFullTurn : sector.to - sector.from;
  // About one pixel of arc per step, so that the outline passes every ellipse pixel.
  const int steps = std::max(1, static_cast<int>(std::ceil(span * std::max(pie.rx, pie.ry))));
  points.clear();
  points.reserve(static_cast<size_t>(steps) + 3);
  points.push_back({pie.cx, pie.cy});
  for (int k = 0; k <= steps; ++k) {
    const double theta = k == steps ? sector.from + span : sector.from + span * k / steps;
    const TPoint q =
        k == steps && !sector.full ? EllipsePoint(pie, sector.to) : EllipsePoint(pie, theta);
    if (q != points.back()) points.push_back(q);
  }
}

std::vector<TPointF> SmoothSectorPolygon(const TPieRect& pie, const TFlatSector& sector) {
  const double span = sector.full ? kFullTurn : sector.to - sector.from;
  const int steps = SmoothSteps(pie, span);
  std::vector<TPointF> points;
  points.reserve(static_cast<size_t>(steps) + 2);
  points.push_back({static_cast<double>(pie.cx), static_cast<double>(pie.cy)});
  for (int k = 0; k <= steps; ++k) {
    const double theta = k == steps ? sector.from + span : sector.from + span * k / steps;
    points.push_back(EllipsePointF(pie, theta));
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
  solid.rims = FacingRims(upper, lower);
  return solid;
}

TSmoothSlice SmoothSolidSlice(const TPieRect& pie, const TProjection& projection, int slice,
                              const TSliceAngles& angles) {
  TSmoothSlice solid;
  solid.slice = slice;
  const double span = angles.end - angles.start;
  const int n = SmoothSteps(pie, span) + 1;
  const double depth = projection.depth;
  std::vector<TPointF> upper(static_cast<size_t>(n)), lower(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    const double theta = k == n - 1 ? angles.end : angles.start + k * span / (n - 1);
    const TPointF p = EllipsePointF(pie, theta);
    upper[k] = projection.ProjectF(p.x, p.y, depth);
    lower[k] = projection.ProjectF(p.x, p.y, 0);
  }
  solid.cover.reserve(static_cast<size_t>(n) + 1);
  solid.cover.push_back(projection.ProjectF(pie.cx, pie.cy, depth));
  solid.cover.insert(solid.cover.end(), upper.begin(), upper.end());
  solid.rims = FacingRims(upper, lower);
  return solid;
}

QString MarkText(const TSlice& slice, const QLocale& locale) {
  if (slice.label.isEmpty()) return SliceValueText(slice, locale);
  if (!HasUnit(slice)) return slice.label;
  return slice.label + QStringLiteral("  ") + SliceValueText(slice, locale);
}

TMarkText MeasureMarkText(const TSlice& slice, const TTextMetrics& metrics, const QLocale& locale) {
  TMarkText t;
  const QString text = MarkText(slice, locale);
  if (text.isEmpty()) return t;
  t.lines = text.split(QChar(13));
  t.lineWidths.reserve(static_cast<size_t>(t.lines.size()));
  for (const QString& line : t.lines) {
    t.lineWidths.push_back(metrics.marksWidth(line));
    t.widest = std::max(t.widest, t.lineWidths.back());
  }
  return t;
}

std::vector<TMarkText> MeasureMarkTexts(const std::vector<TSlice>& slices,
                                        const TTextMetrics& metrics, const QLocale& locale) {
  std::vector<TMarkText> texts(slices.size());
  for (size_t i = 0; i < slices.size(); ++i) texts[i] = MeasureMarkText(slices[i], metrics, locale);
  return texts;
}

int WidestMarkLine(const std::vector<TMarkText>& texts) {
  int widest = 0;
  for (const TMarkText& t : texts) widest = std::max(widest, t.widest);
  return widest;
}

namespace {

// True when the line from a to b, up to the fraction `reach` of its length, passes over a
// pixel of r. Pixel (x, y) covers the square of side 1 around its centre; the line is clipped
// to the rectangle's squares (Liang-Barsky).
bool LineCrosses(const TPoint& a, const TPoint& b, double reach, const TPixRect& r) {
  const double from[2] = {double(a.x), double(a.y)};
  const double delta[2] = {double(b.x - a.x), double(b.y - a.y)};
  const double low[2] = {r.left - 0.5, r.top - 0.5};
  const double high[2] = {r.right - 0.5, r.bottom - 0.5};
  double t0 = 0, t1 = reach;
  for (int k = 0; k < 2; ++k) {
    if (delta[k] == 0) {
      if (from[k] < low[k] || from[k] >= high[k]) return false;
      continue;
    }
    double ta = (low[k] - from[k]) / delta[k];
    double tb = (high[k] - from[k]) / delta[k];
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 >= t1) return false;
  }
  return true;
}

// The boxes of the marks placed so far, filed by the cells of a coarse grid over the chart
// area, so that a box is tested only against the boxes near it. Boxes reaching outside the
// area are filed in its border cells; two boxes that share a pixel still share a cell.
class TMarkGrid {
 public:
  explicit TMarkGrid(const TPixRect& area)
      : m_area(area),
        m_columns(std::max(1, (area.Width() + kCellWidth - 1) / kCellWidth)),
        m_rows(std::max(1, (area.Height() + kCellHeight - 1) / kCellHeight)),
        m_cells(static_cast<size_t>(m_columns) * static_cast<size_t>(m_rows)) {}

  void Add(const TPixRect& box) {
    const int index = static_cast<int>(m_boxes.size());
    m_boxes.push_back(box);
    m_seen.push_back(0);
    ForEachCell(box, [&](std::vector<int>& cell) { cell.push_back(index); });
  }

  bool AnyOverlap(const TPixRect& r) {
    bool hit = false;
    ForEachOverlap(r, [&](const TPixRect&) { hit = true; });
    return hit;
  }

  // True when the 1-pixel line from a to b runs over a pixel of a filed box: a callout
  // drawn across another mark's text. Its last three pixels, at its own box, may touch the
  // corner of a mark beside that box.
  bool LineCrossesABox(const TPoint& a, const TPoint& b) {
    const TPixRect span{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1,
                        std::max(a.y, b.y) + 1};
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    const double reach = length > 3 ? 1 - 3 / length : 0;
    bool hit = false;
    ForEachOverlap(span, [&](const TPixRect& box) { hit = hit || LineCrosses(a, b, reach, box); });
    return hit;
  }

  // Calls f once for each filed box that shares a pixel with r.
  template <typename F>
  void ForEachOverlap(const TPixRect& r, F&& f) {
    ++m_query;
    ForEachCell(r, [&](const std::vector<int>& cell) {
      for (int index : cell) {
        if (m_seen[index] == m_query) continue;
        m_seen[index] = m_query;
        if (r.Overlaps(m_boxes[index])) f(m_boxes[index]);
      }
    });
  }

 private:
  static constexpr int kCellWidth = 64;
  static constexpr int kCellHeight = 32;

  template <typename F>
  void ForEachCell(const TPixRect& r, F&& f) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    const int c0 = Column(r.left), c1 = Column(r.right - 1);
    const int r0 = Row(r.top), r1 = Row(r.bottom - 1);
    for (int row = r0; row <= r1; ++row) {
      for (int column = c0; column <= c1; ++column) {
        f(m_cells[static_cast<size_t>(row) * static_cast<size_t>(m_columns) +
                  static_cast<size_t>(column)]);
      }
    }
  }
  int Column(int x) const { return std::clamp((x - m_area.left) / kCellWidth, 0, m_columns - 1); }
  int Row(int y) const { return std::clamp((y - m_area.top) / kCellHeight, 0, m_rows - 1); }

  TPixRect m_area;
  int m_columns;
  int m_rows;
  std::vector<std::vector<int>> m_cells;
  std::vector<TPixRect> m_boxes;
  std::vector<unsigned> m_seen;  // the query that last met each box
  unsigned m_query = 0;
};

// The ellipse the marks stand around: the pie's, in 3D its upper face as projected.
struct TMarkEllipse {
  double cx = 0;
  double cy = 0;
  double rx = 0;
  double ry = 0;
  // True when the box covers a point inside the ellipse.
  bool Covers(const TPixRect& box) const {
    if (rx <= 0 || ry <= 0) return false;
    // In units of the radii the ellipse is the unit circle; the box's point nearest the
    // centre decides.
    const double u = std::clamp(cx, double(box.left), double(box.right - 1)) - cx;
    const double v = std::clamp(cy, double(box.top), double(box.bottom - 1)) - cy;
    return (u / rx) * (u / rx) + (v / ry) * (v / ry) < 1;
  }
};

// Moves a box of the given height from top y in one direction (up when `up`), each time past
// every box it overlaps, until it overlaps none. Without such a place inside the area's height
// and outside the pie, where a moved mark would hide the slices: none.
std::optional<int> FreeTop(TMarkGrid& grid, TPixRect box, int y, bool up, const TPixRect& area,
                           const TMarkEllipse& pie) {
  const int height = box.Height();
  for (;;) {
    box.top = y;
    box.bottom = y + height;
    if (box.top < area.top || box.bottom > area.bottom || pie.Covers(box)) return std::nullopt;
    bool hit = false;
    int edge = up ? INT_MAX : INT_MIN;
    grid.ForEachOverlap(box, [&](const TPixRect& p) {
      hit = true;
      edge = up ? std::min(edge, p.top) : std::max(edge, p.bottom);
    });
    if (!hit) return y;
    y = up ? edge - height : edge;
  }
}

// Where a mark of w x v pixels stands when its callout points at angle theta: the callout's
// end T and the box's corner, the box touching T with its corner nearest the pie.
struct TMarkSpot {
  TPoint to;
  int x = 0;
  int y = 0;
};
TMarkSpot MarkSpot(const TPieRect& pie, const TProjection& projection, int w, int v, double theta) {
  const double c = std::cos(theta), s = std::sin(theta);
  TPoint to{pie.cx + RoundEven((pie.rx + kCalloutLength) * c),
            pie.cy - RoundEven((pie.ry + kCalloutLength) * s)};
  const int offsetX = to.x > pie.cx ? 0 : -w;
  const int offsetY = to.y > pie.cy ? 0 : -v;
  if (projection.on) to = projection.Project(to.x, to.y, projection.depth);
  return {to, to.x + offsetX, to.y + offsetY};
}

}  // namespace

double ArcPixels(const TPieRect& pie, const TProjection& projection, const TSliceAngles& angles) {
  const double ry = projection.on ? pie.ry * std::cos(kElevationDegrees * kPi / 180) : pie.ry;
  return (angles.end - angles.start) *
         std::hypot(pie.rx * std::sin(angles.mid), ry * std::cos(angles.mid));
}

std::vector<TSliceRun> SliceRuns(const TPieRect& pie, const TProjection& projection,
                                 const std::vector<TSliceAngles>& angles) {
  std::vector<TSliceRun> runs;
  const int count = static_cast<int>(angles.size());
  int i = 0;
  while (i < count) {
    int j = i;
    while (j < count && ArcPixels(pie, projection, angles[j]) < 1) ++j;
    if (j - i >= 2) {
      runs.push_back({i, j - 1});
      i = j;
    } else {
      runs.push_back({i, i});
      ++i;
    }
  }
  return runs;
}

std::vector<TFlatSector> MergeHairlineSectors(const std::vector<TFlatSector>& sectors,
                                              const TPieRect& pie,
                                              const std::vector<TSliceAngles>& angles) {
  const TProjection flat;
  std::vector<TFlatSector> merged;
  size_t i = 0;
  while (i < sectors.size()) {
    size_t j = i;
    while (j < sectors.size() && ArcPixels(pie, flat, angles[sectors[j].slice]) < 1) ++j;
    if (j - i < 2) {
      merged.push_back(sectors[i++]);
      continue;
    }
    TFlatSector run{sectors[i].slice, sectors[i].from, sectors[j - 1].to, false, true};
    // A run all the way round ends where it began: the whole ellipse.
    run.full = run.to - run.from > 1 && EllipsePoint(pie, run.from) == EllipsePoint(pie, run.to);
    merged.push_back(run);
    i = j;
  }
  return merged;
}

std::vector<TMark> PlaceMarks(const std::vector<TMarkText>& texts,
                              const std::vector<TSliceAngles>& angles, const TPieRect& pie,
                              const TProjection& projection, const TTextMetrics& metrics,
                              const TPixRect& area, const std::vector<TPixRect>& keepClear) {
  std::vector<TMark> marks;
  TMarkGrid grid(area);
  for (const TPixRect& clear : keepClear) grid.Add(clear);
  TMarkEllipse ellipse{double(pie.cx), double(pie.cy), double(pie.rx), double(pie.ry)};
  if (projection.on) {
    ellipse.cy = projection.ProjectF(pie.cx, pie.cy, projection.depth).y;
    ellipse.ry = pie.ry * std::cos(kElevationDegrees * kPi / 180);
  }
  // A moved mark keeps off the rim by a pixel or two: the callouts start there, rounded.
  ellipse.rx += 2;
  ellipse.ry += 2;
  int noRoomWidth = INT_MAX;  // the smallest box that found no free place all round the pie
  int noRoomHeight = INT_MAX;
  // The places tried round the pie, for all marks together: a chart of thousands of slices is
  // laid out in bounded time, however crowded.
  int tries = kMarkSweepTries;
  for (size_t i = 0; i < texts.size() && i < angles.size(); ++i) {
    const TMarkText& text = texts[i];
    if (text.lines.isEmpty()) continue;
    // A sliver's mark would only cover the marks of the slices that can be seen.
    if (ArcPixels(pie, projection, angles[i]) < 1) continue;
    TMark m;
    m.slice = static_cast<int>(i);
    m.lines = text.lines;
    m.w = text.widest + metrics.marksWidthW + 2;
    m.v = static_cast<int>(m.lines.size()) * metrics.marksHeight + 2;
    const double c = std::cos(angles[i].mid), s = std::sin(angles[i].mid);
    m.from = {pie.cx + RoundEven(pie.rx * c), pie.cy - RoundEven(pie.ry * s)};
    if (projection.on) m.from = projection.Project(m.from.x, m.from.y, projection.depth);
    const TMarkSpot home = MarkSpot(pie, projection, m.w, m.v, angles[i].mid);
    // The box with its frame and shadow, as the overlap rule sees it.
    const auto boxOf = [&m](const TMarkSpot& at) {
      return TPixRect{at.x, at.y, at.x + m.w + 2, at.y + m.v + 2};
    };
    // A place is taken when its box overlaps no mark placed before and its callout runs
    // across none of them (each callout is drawn with its own mark, after the earlier ones).
    std::optional<TMarkSpot> spot;
    // The first move: up or down off each earlier mark the first place overlaps, added up.
    const TPixRect first = boxOf(home);
    int move = 0;
    bool overlaps = false;
    grid.ForEachOverlap(first, [&](const TPixRect& p) {
      overlaps = true;
      move += p.top > first.top ? -(first.bottom - p.top) : p.bottom - first.top;
    });
    if (!overlaps) {
      if (!grid.LineCrossesABox(m.from, home.to)) spot = home;
    } else {
      // Where the first move still overlaps, keep going its way past the marks in the way;
      // then, from the first place, the other way. A mark above the pie's centre goes up
      // first when the moves cancel out. A way whose callout would cross a mark is given up:
      // going on only makes the callout longer.
      const bool up = move != 0 ? move < 0 : home.y < home.to.y;
      for (const auto& [from, way] : {std::pair{home.y + move, up}, std::pair{home.y, !up}}) {
        const std::optional<int> top = FreeTop(grid, first, from, way, area, ellipse);
        if (!top) continue;
        const TMarkSpot moved{{home.to.x, home.to.y + *top - home.y}, home.x, *top};
        if (grid.LineCrossesABox(m.from, moved.to)) continue;
        spot = moved;
        break;
      }
    }
    // A box no smaller than one that found no free place all round the pie finds none either.
    const bool noRoom = m.w >= noRoomWidth && m.v >= noRoomHeight;
    if (!spot && !noRoom && tries > 0) {
      // A crowd of small slices fills the place beside them: further round the pie, about
      // half a mark's height at a time either way and up to half a turn, the nearest free
      // place at the rim or, past the marks there, away from the pie.
      const double step = std::max(4, m.v / 2) / double(std::max(pie.rx, pie.ry) + kCalloutLength);
      const int steps = static_cast<int>(kPi / step);
      bool freeBox = false;
      for (int k = 1; k <= steps && !spot && tries > 0; ++k) {
        for (const int way : {1, -1}) {
          --tries;
          const TMarkSpot round =
              MarkSpot(pie, projection, m.w, m.v, angles[i].mid + way * k * step);
          const TPixRect box = boxOf(round);
          if (box.left < area.left || box.right > area.right) continue;
          const std::optional<int> top =
              FreeTop(grid, box, round.y, round.y < round.to.y, area, ellipse);
          if (!top) continue;
          freeBox = true;
          const TMarkSpot moved{{round.to.x, round.to.y + *top - round.y}, round.x, *top};
          if (grid.LineCrossesABox(m.from, moved.to)) continue;
          spot = moved;
          break;
        }
      }
      if (!freeBox) {
        noRoomWidth = std::min(noRoomWidth, m.w);
        noRoomHeight = std::min(noRoomHeight, m.v);
      }
    }
    if (!spot) continue;
    m.to = spot->to;
    m.x = spot->x;
    m.y = spot->y;
    m.lineX.reserve(text.lineWidths.size());
    for (int width : text.lineWidths) m.lineX.push_back(m.x + (m.w + 2) / 2 - width / 2);
    grid.Add({m.x, m.y, m.x + m.w + 2, m.y + m.v + 2});
    marks.push_back(std::move(m));
  }
  return marks;
}

namespace {

TLegendText MeasureLegendText(const TSlice& slice, const TTextMetrics& metrics,
                              const QLocale& locale) {
  TLegendText t;
  t.value = SliceValueText(slice, locale);
  t.label = slice.label;
  t.label.replace(QChar(13), QChar(' '));
  t.valueWidth = metrics.legendWidth(t.value);
  t.labelWidth = metrics.legendWidth(t.label);
  return t;
}

}  // namespace

std::vector<TLegendText> MeasureLegendTexts(const std::vector<TSlice>& slices,
                                            const TTextMetrics& metrics, const QLocale& locale) {
  std::vector<TLegendText> texts(slices.size());
  for (size_t i = 0; i < slices.size(); ++i)
    texts[i] = MeasureLegendText(slices[i], metrics, locale);
  return texts;
}

void TSliceTexts::Reset(size_t count) {
  for (size_t i = 0; i < m_legendMeasured && i < legend.size(); ++i) legend[i] = TLegendText();
  m_legendMeasured = 0;
  for (size_t i : m_markEntries) {
    if (i < marks.size()) marks[i] = TMarkText();
  }
  m_markEntries.clear();
  // Kept at their size while the number of slices stays, as it does from one update to the next.
  legend.resize(count);
  marks.resize(count);
  m_markMeasured.assign(count, 0);
}

void TSliceTexts::MeasureLegend(const std::vector<TSlice>& slices, size_t count,
                                const TTextMetrics& metrics, const QLocale& locale) {
  count = std::min({count, slices.size(), legend.size()});
  for (; m_legendMeasured < count; ++m_legendMeasured)
    legend[m_legendMeasured] = MeasureLegendText(slices[m_legendMeasured], metrics, locale);
}

void TSliceTexts::MeasureMark(const std::vector<TSlice>& slices, size_t i,
                              const TTextMetrics& metrics, const QLocale& locale) {
  if (i >= slices.size() || i >= marks.size() || m_markMeasured[i]) return;
  m_markMeasured[i] = 1;
  marks[i] = MeasureMarkText(slices[i], metrics, locale);
  m_markEntries.push_back(i);
}

TSliceTexts MeasureSliceTexts(const std::vector<TSlice>& slices, const TChartOptions& options,
                              const TTextMetrics& metrics) {
  TSliceTexts texts;
  texts.Reset(slices.size());
  if (options.legendVisible) {
    texts.MeasureLegend(slices, slices.size(), metrics, options.locale);
  } else {
    for (size_t i = 0; i < slices.size(); ++i)
      texts.MeasureMark(slices, i, metrics, options.locale);
  }
  return texts;
}

size_t ListableLegendItems(int chartWidth, size_t count, const TTextMetrics& metrics) {
  // The narrowest column: no value, no label, the text block 2 sp - 1 wide with its swatch.
  const int tw = std::max(0, 2 * metrics.legendSpace - 1);
  const int narrowest = RoundEven(tw / 5.0) + tw + 8;
  const int columns = std::max(0, chartWidth - 10) / narrowest;
  return std::min(count, static_cast<size_t>(columns) * kLegendMaxRows);
}

TChartLayout LayoutChart(int width, int height, const std::vector<TSlice>& slices,
                         TSliceTexts& texts, const TChartOptions& options,
                         const TTextMetrics& metrics) {
  TChartLayout layout;
  LayoutChart(width, height, slices, texts, options, metrics, layout);
  return layout;
}

void LayoutChart(int width, int height, const std::vector<TSlice>& slices, TSliceTexts& texts,
                 const TChartOptions& options, const TTextMetrics& metrics, TChartLayout& layout) {
  // Everything is laid out anew; the lists keep their room for the next layout.
  layout.title = {};
  layout.legend = {};
  layout.projection = {};
  layout.pie = {};
  layout.flat.clear();
  layout.solid.clear();
  layout.smooth.clear();
  layout.marks.clear();
  layout.chart = ChartRectFromMargins(width, height);
  const bool side = options.alignment == laLeft || options.alignment == laRight;
  if (options.legendVisible) {
    // A side legend lists no more rows than the area is high; a top or bottom one no more
    // items than ten rows of its narrowest columns.
    const size_t rows =
        static_cast<size_t>(std::max(0, height / std::max(1, metrics.legendHeight)));
    texts.MeasureLegend(slices, side ? rows : ListableLegendItems(width, slices.size(), metrics),
                        metrics, options.locale);
  }
  if (options.legendVisible && side) {
    layout.legend = PlaceSideLegend(layout.chart, height, options.alignment, texts.legend, metrics,
                                    metrics.titleWidth(options.title));
  }
  layout.title = PlaceTitle(layout.chart, options.title, metrics);
  if (options.legendVisible && !side) {
    layout.legend =
        PlaceTopBottomLegend(layout.chart, width, options.alignment, texts.legend, metrics);
  }
  layout.legend.labelFirst = std::any_of(slices.begin(), slices.end(), HasUnit);
  layout.legend.space = metrics.legendSpace;
  layout.projection = MakeProjection(layout.chart, options.view3D);
  const bool marks = !options.legendVisible;
  SliceAngles(slices, layout.angles);
  if (marks) {
    // The pie without room for the marks is the largest there can be: a slice under a pixel
    // of arc there is under a pixel in any pie with the room, and shows no mark.
    const TPieRect largest = PlacePie(layout.chart, false, metrics, 0);
    for (size_t i = 0; i < slices.size(); ++i) {
      if (ArcPixels(largest, layout.projection, layout.angles[i]) >= 1)
        texts.MeasureMark(slices, i, metrics, options.locale);
    }
  }
  const int widest = marks ? WidestMarkLine(texts.marks) : 0;
  layout.pie = PlacePie(layout.chart, marks, metrics, widest);
  if (layout.pie.drawSlices && options.view3D) {
    for (const TSliceRun& run : SliceRuns(layout.pie, layout.projection, layout.angles)) {
      TSliceAngles angles = layout.angles[run.first];
      angles.end = layout.angles[run.last].end;
      angles.mid = (angles.start + angles.end) / 2;
      if (options.antialiased) {
        layout.smooth.push_back(SmoothSolidSlice(layout.pie, layout.projection, run.first, angles));
        layout.smooth.back().hairlines = run.Hairlines();
      } else {
        layout.solid.push_back(SolidSlice(layout.pie, layout.projection, run.first, angles));
        layout.solid.back().hairlines = run.Hairlines();
      }
    }
  } else if (layout.pie.drawSlices) {
    layout.flat =
        MergeHairlineSectors(FlatSectors(layout.pie, layout.angles), layout.pie, layout.angles);
    if (options.antialiased) {
      for (const TFlatSector& sector : layout.flat) {
        layout.smooth.push_back(
            {sector.slice, SmoothSectorPolygon(layout.pie, sector), {}, sector.hairlines});
      }
      layout.flat.clear();
    }
  }
  if (marks) {
    const TPixRect title{layout.title.x, layout.title.y,
                         layout.title.x + metrics.titleWidth(options.title),
                         layout.title.y + metrics.titleHeight};
    layout.marks = PlaceMarks(texts.marks, layout.angles, layout.pie, layout.projection, metrics,
                              {0, 0, width, height}, {title});
  }
}

TChartLayout LayoutChart(int width, int height, const std::vector<TSlice>& slices,
                         const TChartOptions& options, const TTextMetrics& metrics) {
  TSliceTexts texts;
  texts.Reset(slices.size());
  return LayoutChart(width, height, slices, texts, options, metrics);
}

}  // namespace kestrava
