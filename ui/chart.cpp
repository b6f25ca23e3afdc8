#include "ui/chart.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <QPolygonF>
#include <QStaticText>
#include <QtMath>

namespace kestrava {

namespace {

// The images say 96 dots per inch, the resolution the chart's point sizes are meant for.
constexpr int kDotsPerMeter96 = 3780;

// The chart is laid out in pixels: point sizes are taken at 96 dots per inch whatever the
// screen, so 12 points are 16 pixels and 8 points 11.
QFont PixelSized(QFont font) {
  if (font.pixelSize() <= 0 && font.pointSizeF() > 0) {
    font.setPixelSize(RoundEven(font.pointSizeF() * 96.0 / 72.0));
  }
  return font;
}

QFont SmallTextFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(8);
  return PixelSized(font);
}

QColor Rgb(uint32_t rgb) {
  return QColor::fromRgb(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF);
}

// The points into the kept outline, which keeps its room from one polygon to the next.
const QPolygon& ToPolygon(const std::vector<TPoint>& points, QPolygon& polygon) {
  polygon.resize(static_cast<qsizetype>(points.size()));
  for (size_t i = 0; i < points.size(); ++i) {
    polygon[static_cast<qsizetype>(i)] = QPoint(points[i].x, points[i].y);
  }
  return polygon;
}

const QPolygonF& ToPolygonF(const std::vector<TPointF>& points, QPolygonF& polygon) {
  polygon.resize(static_cast<qsizetype>(points.size()));
  for (size_t i = 0; i < points.size(); ++i) {
    polygon[static_cast<qsizetype>(i)] = QPointF(points[i].x, points[i].y);
  }
  return polygon;
}

// A 1-pixel pen of one colour. Its joins are mitred: at a ratio above 1 the pen is wider than
// a device pixel, and bevelled joins would cut the outer pixel off every box's corners.
void SetPen(QPainter& p, const QColor& colour) {
  QPen pen(colour);
  pen.setJoinStyle(Qt::MiterJoin);
  p.setPen(pen);
}

// Text is drawn transparently with its top at y, where the layout puts it: the half-pixel
// move of the lines (see Paint) is not for text. It is drawn as shaped once in the cache's font,
// which is the painter's.
void DrawTextAt(QPainter& p, TChartTextCache& texts, int x, int y, const QString& text) {
  const QTransform& t = p.worldTransform();
  if (const QStaticText* shaped = texts.Shaped(text)) {
    p.drawStaticText(QPointF(x - t.dx(), y - t.dy()), *shaped);
  } else {
    p.drawText(QPointF(x - t.dx(), y + texts.Metrics().ascent() - t.dy()), text);
  }
}

// The legend's soft shadow: three lines below and three columns right of the box, black, then a
// third and two thirds of the way to the ground (85 and 170 in each channel on white); each
// column ends in one pixel towards the box's corner.
void DrawLegendShadow(QPainter& p, const TPixRect& box, uint32_t ground) {
  for (int j = 1; j <= 3; ++j) {
    const auto step = [&](int shift) {
      return static_cast<int>((ground >> shift & 0xFF) * (j - 1) / 3);
    };
    SetPen(p, QColor(step(16), step(8), step(0)));
    p.drawLine(box.left + 3, box.bottom + j - 1, box.right + j - 2, box.bottom + j - 1);
    p.drawLine(box.right + j - 1, box.top + 3, box.right + j - 1, box.bottom + j - 2);
    p.drawPoint(box.right + j - 2, box.bottom + j - 2);
  }
}

// A rectangle covering left .. right - 1 and top .. bottom - 1, filled and framed.
void DrawBox(QPainter& p, const TPixRect& r, const QColor& fill, uint32_t frame) {
  SetPen(p, Rgb(frame));
  p.setBrush(fill);
  p.drawRect(r.left, r.top, r.Width() - 1, r.Height() - 1);
}

void PaintFrame(QPainter& p, int width, int height, const QColor& light, const QColor& dark) {
  // Raised: highlight on the top and left edges, shadow on the bottom and right ones.
  SetPen(p, light);
  p.drawLine(0, 0, width - 2, 0);
  p.drawLine(0, 0, 0, height - 2);
  SetPen(p, dark);
  p.drawLine(width - 1, 0, width - 1, height - 1);
  p.drawLine(0, height - 1, width - 1, height - 1);
}

void PaintLegend(QPainter& p, const TLegendLayout& legend, const std::vector<TSlice>& slices,
                 TChartTextCache& texts, const TChartColours& colours) {
  DrawLegendShadow(p, legend.box, colours.Ground);
  DrawBox(p, legend.box, Rgb(colours.LegendFill), colours.Frame);
  const int space = texts.Metrics().horizontalAdvance(QChar(' '));
  for (const TLegendItem& item : legend.items) {
    DrawBox(p, legend.SwatchRect(item),
            Rgb(SliceColour(slices[item.slice].colour, item.slice, colours.Palette)),
            colours.Frame);
    SetPen(p, Rgb(colours.Text));
    DrawTextAt(p, texts, legend.ValueX(item, item.valueTextWidth), item.rowTop, item.value);
    DrawTextAt(p, texts, legend.LabelX(item, space), item.rowTop, item.label);
  }
}

void PaintSlices(QPainter& p, const TChartLayout& layout, const std::vector<TSlice>& slices,
                 const TChartColours& colours, std::vector<TPoint>& points, QPolygon& polygon,
                 QPolygonF& polygonF) {
  SetPen(p, Rgb(colours.Edge));
  if (!layout.smooth.empty()) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    // The classic drawing fills the pixel right of and below each point; smooth shapes are
    // centred on those pixels, so that both pies cover the same place.
    p.setWorldTransform(QTransform::fromTranslate(0.5, 0.5));
    for (const TSmoothSlice& slice : layout.smooth) {
      const uint32_t colour =
          slice.hairlines ? colours.Edge
                          : SliceColour(slices[slice.slice].colour, slice.slice, colours.Palette);
      p.setBrush(Rgb(colour));
      p.drawPolygon(ToPolygonF(slice.cover, polygonF));
      p.setBrush(Rgb(DarkenColour(colour)));
      for (const std::vector<TPointF>& rim : slice.rims) p.drawPolygon(ToPolygonF(rim, polygonF));
    }
    p.restore();
  }
  for (const TFlatSector& sector : layout.flat) {
    p.setBrush(Rgb(sector.hairlines
                       ? colours.Edge
                       : SliceColour(slices[sector.slice].colour, sector.slice, colours.Palette)));
    FlatSectorPolygon(layout.pie, sector, points);
    p.drawPolygon(ToPolygon(points, polygon));
  }
  for (const TSolidSlice& solid : layout.solid) {
    const uint32_t colour =
        solid.hairlines ? colours.Edge
                        : SliceColour(slices[solid.slice].colour, solid.slice, colours.Palette);
    p.setBrush(Rgb(colour));
    p.drawPolygon(ToPolygon(solid.cover, polygon));
    p.setBrush(Rgb(DarkenColour(colour)));
    for (const std::vector<TPoint>& rim : solid.rims) p.drawPolygon(ToPolygon(rim, polygon));
  }
}

void PaintMarks(QPainter& p, const std::vector<TMark>& marks, TChartTextCache& texts,
                const QColor& fill, const TChartColours& colours) {
  const int lineHeight = texts.Metrics().height();
  p.setFont(texts.Font());
  // Each mark with its callout, in list order; the layout keeps a callout off the marks placed
  // before it. The white callouts show only where they cross a slice.
  for (const TMark& mark : marks) {
    SetPen(p, Rgb(colours.Callout));
    p.drawLine(mark.from.x, mark.from.y, mark.to.x, mark.to.y);
    SetPen(p, Rgb(colours.MarkShadow));
    p.drawLine(mark.x + 1, mark.y + mark.v, mark.x + mark.w - 1, mark.y + mark.v);
    p.drawLine(mark.x + mark.w, mark.y + 1, mark.x + mark.w, mark.y + mark.v);
    DrawBox(p, {mark.x, mark.y, mark.x + mark.w, mark.y + mark.v}, fill, colours.Frame);
    SetPen(p, Rgb(colours.Text));
    for (qsizetype j = 0; j < mark.lines.size(); ++j) {
      DrawTextAt(p, texts, mark.lineX[static_cast<size_t>(j)],
                 mark.y + 1 + static_cast<int>(j) * lineHeight, mark.lines[j]);
    }
  }
}

}  // namespace

TChart::TChart(QWidget* parent) : QWidget(parent) {
  m_titleFont = QFont(QStringLiteral("Verdana"));
  m_titleFont.setPointSize(12);
  m_titleFont.setBold(true);
  // Every paint covers the whole area from the off-screen image.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TChart::ClearSlices() {
  m_slices.clear();
  SlicesChanged();
}

void TChart::AddSlice(const QString& label, double value, double position, uint32_t colour) {
  m_slices.push_back({label, value, position, colour});
  SlicesChanged();
}

void TChart::SetSlices(std::vector<TSlice> slices) {
  m_slices = std::move(slices);
  SlicesChanged();
}

void TChart::SlicesChanged() {
  m_textsValid = false;
  update();
}

TSliceTexts& TChart::Texts(const TChartOptions& options) const {
  if (options.locale != m_textsLocale) {
    m_textsLocale = options.locale;
    m_textsValid = false;
  }
  if (!m_textsValid) {
    m_texts.Reset(m_slices.size());
    m_textsValid = true;
  }
  return m_texts;
}

TTextMetrics TChart::Metrics() const {
  m_titleTexts.SetFont(PixelSized(m_titleFont));
  m_smallTexts.SetFont(SmallTextFont());
  // Texts no longer shown would pile up over a long run of changing labels.
  m_titleTexts.Trim();
  m_smallTexts.Trim();
  const QFontMetrics& title = m_titleTexts.Metrics();
  const QFontMetrics& small = m_smallTexts.Metrics();
  TTextMetrics m;
  m.titleHeight = title.height();
  m.titleWidth = [this](const QString& s) { return m_titleTexts.Width(s); };
  m.legendHeight = m.marksHeight = small.height();
  m.legendSpace = small.horizontalAdvance(QChar(' '));
  m.marksWidthW = small.horizontalAdvance(QChar('W'));
  m.legendWidth = m.marksWidth = [this](const QString& s) { return m_smallTexts.Width(s); };
  m.legendElide = [this](const QString& s, int width) {
    return m_smallTexts.Metrics().elidedText(s, Qt::ElideRight, width);
  };
  return m;
}

void TChart::SetTitleText(const QString& text) {
  m_title = text;
  update();
}

void TChart::SetTitleFont(const QFont& font) {
  m_titleFont = font;
  update();
}

void TChart::SetView3D(bool on) {
  m_view3D = on;
  update();
}

void TChart::SetLegendVisible(bool visible) {
  m_legendVisible = visible;
  update();
}

void TChart::SetLegendAlignment(TLegendAlignment alignment) {
  m_alignment = alignment;
  update();
}

void TChart::SetAntialiased(bool on) {
  m_antialiased = on;
  update();
}

void TChart::SetDark(bool on) {
  m_dark = on;
  update();
}

TChartLayout TChart::Layout(const QSize& size) const {
  const TTextMetrics metrics = Metrics();
  const TChartOptions options = Options();
  return LayoutChart(size.width(), size.height(), m_slices, Texts(options), options, metrics);
}

TChartOptions TChart::Options() const {
  TChartOptions options;
  options.title = m_title;
  options.view3D = m_view3D;
  options.legendVisible = m_legendVisible;
  options.alignment = m_alignment;
  options.antialiased = m_antialiased;
  return options;
}

QImage TChart::RenderImage(const QSize& size, qreal scale) const {
  const QSize logical = size.expandedTo(QSize(1, 1));
  QImage image(qCeil(logical.width() * scale), qCeil(logical.height() * scale),
               QImage::Format_RGB32);
  image.setDevicePixelRatio(scale);
  image.setDotsPerMeterX(qRound(kDotsPerMeter96 * scale));
  image.setDotsPerMeterY(qRound(kDotsPerMeter96 * scale));
  Paint(image, logical);
  return image;
}

void TChart::Paint(QImage& image, const QSize& logical) const {
  const qreal scale = image.devicePixelRatio();
  const TTextMetrics metrics = Metrics();
  const TChartOptions options = Options();
  LayoutChart(logical.width(), logical.height(), m_slices, Texts(options), options, metrics,
              m_layout);
  const TChartLayout& layout = m_layout;

  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  const TChartColours& colours = m_dark ? DarkChartColours() : LightChartColours();
  p.fillRect(0, 0, logical.width(), logical.height(), Rgb(colours.Ground));
  // At a ratio above 1 a 1-pixel pen is wider than a device pixel and centred on its line;
  // half a pixel further it covers the pixel it covers at ratio 1, right of and below the
  // line. Fills move with it and stay under their outlines.
  if (scale != 1) p.translate(0.5, 0.5);
  if (colours.Dark) {
    PaintFrame(p, logical.width(), logical.height(), Rgb(colours.RaisedLight),
               Rgb(colours.RaisedShadow));
  } else {
    PaintFrame(p, logical.width(), logical.height(), palette().color(QPalette::Light),
               palette().color(QPalette::Dark));
  }
  p.setFont(m_titleTexts.Font());
  SetPen(p, Rgb(colours.Text));
  DrawTextAt(p, m_titleTexts, layout.title.x, layout.title.y, m_title);
  p.setFont(m_smallTexts.Font());
  if (layout.legend.visible) PaintLegend(p, layout.legend, m_slices, m_smallTexts, colours);
  PaintSlices(p, layout, m_slices, colours, m_points, m_polygon, m_polygonF);
  PaintMarks(p, layout.marks, m_smallTexts,
             colours.Dark ? Rgb(colours.MarkFill) : palette().color(QPalette::ToolTipBase),
             colours);
  p.end();
}

void TChart::CopyChartBitmap() {
  QGuiApplication::clipboard()->setImage(RenderImage(size()));
  update();
}

void TChart::paintEvent(QPaintEvent*) {
  // Drawn off screen first and shown in one step, so the chart never flickers; drawn at the
  // screen's pixel density, so that text and edges stay sharp on a HiDPI screen.
  // The image of the last paint is drawn over when its size and ratio still hold.
  const QSize logical = size().expandedTo(QSize(1, 1));
  const qreal scale = devicePixelRatioF();
  const QSize pixels(qCeil(logical.width() * scale), qCeil(logical.height() * scale));
  if (m_frame.size() != pixels || m_frame.devicePixelRatio() != scale) {
    m_frame = QImage(pixels, QImage::Format_RGB32);
    m_frame.setDevicePixelRatio(scale);
  }
  Paint(m_frame, logical);
  QPainter painter(this);
  painter.drawImage(0, 0, m_frame);
}

}  // namespace kestrava
