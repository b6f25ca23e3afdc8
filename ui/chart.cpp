#include "ui/chart.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>

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

QPolygon ToPolygon(const std::vector<TPoint>& points) {
  QPolygon polygon(static_cast<int>(points.size()));
  for (size_t i = 0; i < points.size(); ++i) {
    polygon.setPoint(static_cast<int>(i), points[i].x, points[i].y);
  }
  return polygon;
}

// Text is drawn transparently with its top at y.
void DrawTextAt(QPainter& p, const QFontMetrics& fm, int x, int y, const QString& text) {
  p.drawText(QPoint(x, y + fm.ascent()), text);
}

// The legend's soft shadow: three lines below and three columns right of the box, black, then
// 85 and 170 in each channel; each column ends in one pixel towards the box's corner.
void DrawLegendShadow(QPainter& p, const TPixRect& box) {
  for (int j = 1; j <= 3; ++j) {
    const int grey = 85 * (j - 1);
    p.setPen(QColor(grey, grey, grey));
    p.drawLine(box.left + 3, box.bottom + j - 1, box.right + j - 2, box.bottom + j - 1);
    p.drawLine(box.right + j - 1, box.top + 3, box.right + j - 1, box.bottom + j - 2);
    p.drawPoint(box.right + j - 2, box.bottom + j - 2);
  }
}

// A rectangle covering left .. right - 1 and top .. bottom - 1, filled and framed black.
void DrawBox(QPainter& p, const TPixRect& r, const QColor& fill) {
  p.setPen(Qt::black);
  p.setBrush(fill);
  p.drawRect(r.left, r.top, r.Width() - 1, r.Height() - 1);
}

// The title font and the small font of the legend and the marks, with their measures; the
// metrics it hands out measure through it, so it stays where it was made.
struct TChartFonts {
  explicit TChartFonts(const QFont& titleFont)
      : title(PixelSized(titleFont)), small(SmallTextFont()), titleFm(title), smallFm(small) {}
  TChartFonts(const TChartFonts&) = delete;
  TChartFonts& operator=(const TChartFonts&) = delete;
  TTextMetrics Metrics() const {
    TTextMetrics m;
    m.titleHeight = titleFm.height();
    m.titleWidth = [this](const QString& s) { return titleFm.horizontalAdvance(s); };
    m.legendHeight = m.marksHeight = smallFm.height();
    m.legendSpace = smallFm.horizontalAdvance(QChar(' '));
    m.marksWidthW = smallFm.horizontalAdvance(QChar('W'));
    m.legendWidth =
        m.marksWidth = [this](const QString& s) { return smallFm.horizontalAdvance(s); };
    return m;
  }
  QFont title;
  QFont small;
  QFontMetrics titleFm;
  QFontMetrics smallFm;
};

void PaintFrame(QPainter& p, int width, int height, const QPalette& palette) {
  p.fillRect(0, 0, width, height, Qt::white);
  // Raised: highlight on the top and left edges, shadow on the bottom and right ones.
  p.setPen(palette.color(QPalette::Light));
  p.drawLine(0, 0, width - 2, 0);
  p.drawLine(0, 0, 0, height - 2);
  p.setPen(palette.color(QPalette::Dark));
  p.drawLine(width - 1, 0, width - 1, height - 1);
  p.drawLine(0, height - 1, width - 1, height - 1);
}

void PaintLegend(QPainter& p, const TLegendLayout& legend, const std::vector<TSlice>& slices,
                 const TChartFonts& fonts) {
  DrawLegendShadow(p, legend.box);
  DrawBox(p, legend.box, Qt::white);
  const int space = fonts.smallFm.horizontalAdvance(QChar(' '));
  for (const TLegendItem& item : legend.items) {
    DrawBox(p, legend.SwatchRect(item), Rgb(SliceColour(slices[item.slice].colour, item.slice)));
    p.setPen(Qt::black);
    DrawTextAt(p, fonts.smallFm, legend.ValueX(item, fonts.smallFm.horizontalAdvance(item.value)),
               item.rowTop, item.value);
    DrawTextAt(p, fonts.smallFm, legend.LabelX(item, space), item.rowTop, item.label);
  }
}

void PaintSlices(QPainter& p, const TChartLayout& layout, const std::vector<TSlice>& slices) {
  p.setPen(Qt::black);
  for (const TFlatSector& sector : layout.flat) {
    p.setBrush(Rgb(SliceColour(slices[sector.slice].colour, sector.slice)));
    p.drawPolygon(ToPolygon(FlatSectorPolygon(layout.pie, sector)));
  }
  for (const TSolidSlice& solid : layout.solid) {
    const uint32_t colour = SliceColour(slices[solid.slice].colour, solid.slice);
    p.setBrush(Rgb(colour));
    p.drawPolygon(ToPolygon(solid.cover));
    p.setBrush(Rgb(DarkenColour(colour)));
    for (const std::vector<TPoint>& rim : solid.rims) p.drawPolygon(ToPolygon(rim));
  }
}

void PaintMarks(QPainter& p, const std::vector<TMark>& marks, const TChartFonts& fonts,
                const QColor& tooltip) {
  const QFontMetrics& fm = fonts.smallFm;
  for (const TMark& mark : marks) {
    // The white callout shows only where it crosses a slice or another mark.
    p.setPen(Qt::white);
    p.drawLine(mark.from.x, mark.from.y, mark.to.x, mark.to.y);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(mark.x + 1, mark.y + mark.v, mark.x + mark.w - 1, mark.y + mark.v);
    p.drawLine(mark.x + mark.w, mark.y + 1, mark.x + mark.w, mark.y + mark.v);
    DrawBox(p, {mark.x, mark.y, mark.x + mark.w, mark.y + mark.v}, tooltip);
    p.setPen(Qt::black);
    const int centre = mark.x + (mark.w + 2) / 2;
    for (qsizetype j = 0; j < mark.lines.size(); ++j) {
      const QString& line = mark.lines[j];
      DrawTextAt(p, fm, centre - fm.horizontalAdvance(line) / 2,
                 mark.y + 1 + static_cast<int>(j) * fm.height(), line);
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
  update();
}

void TChart::AddSlice(const QString& label, double value, double position, uint32_t colour) {
  m_slices.push_back({label, value, position, colour});
  update();
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

TChartLayout TChart::Layout(const QSize& size) const {
  const TChartFonts fonts(m_titleFont);
  return LayoutChart(size.width(), size.height(), m_slices, Options(), fonts.Metrics());
}

TChartOptions TChart::Options() const {
  TChartOptions options;
  options.title = m_title;
  options.view3D = m_view3D;
  options.legendVisible = m_legendVisible;
  options.alignment = m_alignment;
  return options;
}

QImage TChart::RenderImage(const QSize& size) const {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  image.setDotsPerMeterX(kDotsPerMeter96);
  image.setDotsPerMeterY(kDotsPerMeter96);
  const TChartFonts fonts(m_titleFont);
  const TChartLayout layout =
      LayoutChart(image.width(), image.height(), m_slices, Options(), fonts.Metrics());

  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  PaintFrame(p, image.width(), image.height(), palette());
  p.setFont(fonts.title);
  p.setPen(Qt::black);
  DrawTextAt(p, fonts.titleFm, layout.title.x, layout.title.y, m_title);
  p.setFont(fonts.small);
  if (layout.legend.visible) PaintLegend(p, layout.legend, m_slices, fonts);
  PaintSlices(p, layout, m_slices);
  PaintMarks(p, layout.marks, fonts, palette().color(QPalette::ToolTipBase));
  p.end();
  return image;
}

void TChart::CopyChartBitmap() {
  QGuiApplication::clipboard()->setImage(RenderImage(size()));
  update();
}

void TChart::paintEvent(QPaintEvent*) {
  // Drawn off screen first and shown in one step, so the chart never flickers.
  QPainter painter(this);
  painter.drawImage(0, 0, RenderImage(size()));
}

}  // namespace kestrava
