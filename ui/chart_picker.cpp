#include "ui/chart_picker.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QPolygonF>
#include <algorithm>

#include "ui/chart.h"

namespace kestrava {

namespace {

bool Inside(const std::vector<TPoint>& points, int x, int y) {
  QPolygon polygon;
  for (const TPoint& p : points) polygon << QPoint(p.x, p.y);
  return polygon.containsPoint(QPoint(x, y), Qt::OddEvenFill);
}

bool Inside(const std::vector<TPointF>& points, int x, int y) {
  QPolygonF polygon;
  for (const TPointF& p : points) polygon << QPointF(p.x, p.y);
  return polygon.containsPoint(QPointF(x + 0.5, y + 0.5), Qt::OddEvenFill);
}

// The dotted frame round the legend entry with the focus; it lies over the chart and lets the
// mouse through.
class TFocusFrame : public QWidget {
 public:
  TFocusFrame(TChart& chart, const int& focused)
      : QWidget(&chart), m_chart(chart), m_focused(focused) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (m_focused < 0 || !m_chart.hasFocus()) return;
    const TChartLayout layout = m_chart.Layout(m_chart.size());
    for (const TLegendItem& item : layout.legend.items) {
      if (item.slice != m_focused) continue;
      const TPixRect r = LegendEntryRect(layout.legend, item);
      QPainter painter(this);
      painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
      painter.drawRect(r.left - 1, r.top, r.Width() + 1, r.Height() - 1);
    }
  }

 private:
  TChart& m_chart;
  const int& m_focused;
};

}  // namespace

TPixRect LegendEntryRect(const TLegendLayout& legend, const TLegendItem& item) {
  const int right = legend.LabelX(item, 0) + legend.labelWidth + 4;
  return {item.swatchX, item.rowTop, std::min(right, legend.box.right),
          item.rowTop + legend.rowHeight};
}

int SliceAt(const TChartLayout& layout, int x, int y) {
  const auto in = [x, y](const TPixRect& r) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
  };
  if (layout.legend.visible) {
    for (const TLegendItem& item : layout.legend.items) {
      if (in(LegendEntryRect(layout.legend, item))) return item.slice;
    }
  }
  for (const TMark& mark : layout.marks) {
    if (in(TPixRect{mark.x, mark.y, mark.x + mark.w, mark.y + mark.v})) return mark.slice;
  }
  // The pieces of the pie; in 3D the covers first, as they lie over the rims.
  for (const TSmoothSlice& slice : layout.smooth) {
    if (Inside(slice.cover, x, y)) return slice.slice;
  }
  for (const TSmoothSlice& slice : layout.smooth) {
    for (const std::vector<TPointF>& rim : slice.rims) {
      if (Inside(rim, x, y)) return slice.slice;
    }
  }
  for (const TSolidSlice& slice : layout.solid) {
    if (Inside(slice.cover, x, y)) return slice.slice;
  }
  for (const TSolidSlice& slice : layout.solid) {
    for (const std::vector<TPoint>& rim : slice.rims) {
      if (Inside(rim, x, y)) return slice.slice;
    }
  }
  for (const TFlatSector& sector : layout.flat) {
    if (sector.full) {
      const double dx = (x - layout.pie.cx) / static_cast<double>(std::max(1, layout.pie.rx));
      const double dy = (y - layout.pie.cy) / static_cast<double>(std::max(1, layout.pie.ry));
      if (dx * dx + dy * dy <= 1) return sector.slice;
    } else if (Inside(FlatSectorPolygon(layout.pie, sector), x, y)) {
      return sector.slice;
    }
  }
  return -1;
}

TChartPicker::TChartPicker(TChart& chart) : QObject(&chart), m_chart(chart) {
  m_chart.setFocusPolicy(Qt::StrongFocus);
  m_focusFrame = new TFocusFrame(chart, m_focused);
  m_focusFrame->resize(chart.size());
  m_chart.installEventFilter(this);
}

void TChartPicker::SetFocusedEntry(int slice) {
  m_focused = slice;
  if (m_focusFrame) m_focusFrame->update();
}

bool TChartPicker::KeyPressed(int key) {
  const int count = m_chart.SliceCount();
  if (!m_chart.LegendVisible() || count == 0) return false;
  switch (key) {
    case Qt::Key_Down:
    case Qt::Key_Right:
      SetFocusedEntry(m_focused < 0 ? 0 : std::min(m_focused + 1, count - 1));
      return true;
    case Qt::Key_Up:
    case Qt::Key_Left:
      SetFocusedEntry(m_focused < 0 ? 0 : std::max(m_focused - 1, 0));
      return true;
    case Qt::Key_Home:
      SetFocusedEntry(0);
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (m_focused < 0 || m_focused >= count) return false;
      emit SlicePicked(m_focused);
      return true;
    default:
      return false;
  }
}

bool TChartPicker::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &m_chart) return false;
  switch (event->type()) {
    case QEvent::Resize:
      if (m_focusFrame) m_focusFrame->resize(m_chart.size());
      break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      if (m_focusFrame) m_focusFrame->update();
      break;
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) break;
      const QPoint at = mouse->position().toPoint();
      const int slice = SliceAt(m_chart.Layout(m_chart.size()), at.x(), at.y());
      if (slice < 0) break;
      if (m_chart.LegendVisible()) SetFocusedEntry(slice);
      emit SlicePicked(slice);
      return true;
    }
    case QEvent::KeyPress:
      return KeyPressed(static_cast<QKeyEvent*>(event)->key());
    default:
      break;
  }
  return false;
}

}  // namespace kestrava
