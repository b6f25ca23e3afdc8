#pragma once
// THistoryPlot: the line chart of one or more rows over a span of time, in the chart's manner
// (white ground, 1-pixel black frame and pens, Verdana, the pie's palette): each row's mean as
// a line and, where a point stands for a whole minute, its minimum to maximum as a bar. The
// scale starts at 0 and ends above the largest value; the values are written by the formatter
// the window gives it, so that the plot knows no units.
// Thread: the window's thread only.

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

namespace kestrava {

struct TPlotPoint {
  int64_t TimeMs = 0;
  double Min = 0;
  double Mean = 0;
  double Max = 0;
};

struct TPlotLine {
  QString Name;
  uint32_t Colour = 0;             // 0xRRGGBB
  std::vector<TPlotPoint> Points;  // oldest first
};

class THistoryPlot : public QWidget {
  Q_OBJECT

 public:
  explicit THistoryPlot(QWidget* parent = nullptr);

  void SetLines(std::vector<TPlotLine> lines, int64_t fromMs, int64_t toMs);
  void SetValueFormatter(std::function<QString(double)> format);
  const std::vector<TPlotLine>& Lines() const { return m_lines; }

  QSize sizeHint() const override { return {320, 160}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<TPlotLine> m_lines;
  int64_t m_fromMs = 0;
  int64_t m_toMs = 0;
  double m_scaleTop = 1;
  std::function<QString(double)> m_format;
};

// 1, 2 or 5 times a power of ten, at or above value (1 for anything not above 0).
double RoundScaleTop(double value);

}  // namespace kestrava
