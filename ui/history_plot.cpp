#include "ui/history_plot.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "ui/chart_geometry.h"

namespace kestrava {

double RoundScaleTop(double value) {
  if (!(value > 0) || !std::isfinite(value)) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(value)));
  for (const double step : {1.0, 2.0, 5.0, 10.0}) {
    if (step * power >= value) return step * power;
  }
  return 10 * power;
}

THistoryPlot::THistoryPlot(QWidget* parent) : QWidget(parent) {
  QFont font(QStringLiteral("Verdana"));
  font.setPointSize(7);
  setFont(font);
  setMinimumSize(200, 120);
  m_format = [this](double v) { return locale().toString(v, 'g', 6); };
}

void THistoryPlot::SetValueFormatter(std::function<QString(double)> format) {
  m_format = std::move(format);
  update();
}

void THistoryPlot::SetLines(std::vector<TPlotLine> lines, int64_t fromMs, int64_t toMs) {
  m_lines = std::move(lines);
  m_fromMs = fromMs;
  m_toMs = std::max(toMs, fromMs + 1);
  double largest = 0;
  for (const TPlotLine& line : m_lines) {
    for (const TPlotPoint& point : line.Points) largest = std::max(largest, point.Max);
  }
  m_scaleTop = RoundScaleTop(largest);
  update();
}

void THistoryPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const QFontMetrics metrics(font());
  const QString topText = m_format(m_scaleTop);
  const int left =
      std::max(metrics.horizontalAdvance(topText), metrics.horizontalAdvance(m_format(0))) + 6;
  const int top = metrics.height() / 2 + 2;
  const int right = width() - 8;
  // Room below for the times, clear of the lowest value's text.
  const int bottom = height() - metrics.height() - metrics.ascent() / 2 - 6;
  if (right - left < 10 || bottom - top < 10) return;
  const auto xOf = [&](int64_t t) {
    return left + static_cast<int>(static_cast<double>(t - m_fromMs) * (right - left) /
                                   static_cast<double>(m_toMs - m_fromMs));
  };
  const auto yOf = [&](double v) {
    return bottom - static_cast<int>(std::lround(v / m_scaleTop * (bottom - top)));
  };
  // The scale: 0, half and the top, with silver lines across.
  painter.setPen(QColor(192, 192, 192));
  for (int i = 1; i <= 2; ++i)
    painter.drawLine(left, yOf(m_scaleTop * i / 2), right, yOf(m_scaleTop * i / 2));
  painter.setPen(Qt::black);
  for (int i = 0; i <= 2; ++i) {
    const QString text = m_format(m_scaleTop * i / 2);
    painter.drawText(left - 4 - metrics.horizontalAdvance(text),
                     yOf(m_scaleTop * i / 2) + metrics.ascent() / 2, text);
  }
  // The time: the span's ends and its middle.
  for (int i = 0; i <= 2; ++i) {
    const int64_t t = m_fromMs + (m_toMs - m_fromMs) * i / 2;
    const QString text = QDateTime::fromMSecsSinceEpoch(t).toString(QStringLiteral("HH:mm:ss"));
    const int x = std::clamp(xOf(t) - metrics.horizontalAdvance(text) / 2, 0,
                             width() - metrics.horizontalAdvance(text));
    painter.drawText(x, height() - 3, text);
  }
  painter.setClipRect(left, top, right - left + 1, bottom - top + 1);
  for (size_t l = 0; l < m_lines.size(); ++l) {
    const TPlotLine& line = m_lines[l];
    const QColor colour = QColor::fromRgb(SliceColour(line.Colour, static_cast<int>(l)));
    // Minutes: their range as a bar in the lighter colour.
    painter.setPen(colour.lighter(160));
    for (const TPlotPoint& point : line.Points) {
      if (point.Max > point.Min)
        painter.drawLine(xOf(point.TimeMs), yOf(point.Min), xOf(point.TimeMs), yOf(point.Max));
    }
    painter.setPen(QPen(colour, 1));
    QPolygon polyline;
    for (const TPlotPoint& point : line.Points)
      polyline << QPoint(xOf(point.TimeMs), yOf(point.Mean));
    if (polyline.size() == 1) {
      painter.drawPoint(polyline.front());
    } else {
      painter.drawPolyline(polyline);
    }
  }
  painter.setClipping(false);
  painter.setPen(Qt::black);
  painter.drawRect(left, top, right - left, bottom - top);
}

}  // namespace kestrava
