#pragma once
// TChart: the chart area Chart1 with its one pie series Series1, its title, and either the
// legend or the slice marks. Every paint lays the chart out with the plain geometry of
// "ui/chart_geometry.h", draws it into an off-screen image at the screen's device-pixel ratio
// (sizes stay in logical pixels) and shows that image in one step. The image is kept between
// paints of the same size. Only the texts that can be shown are measured, once per change of the
// slices; each text is measured and shaped once and kept across paints (ui/chart_text_cache.h).
// Thread: the window's thread only.

#include <QFont>
#include <QHash>
#include <QImage>
#include <QLocale>
#include <QPolygon>
#include <QPolygonF>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "shared/session_types.h"
#include "ui/chart_geometry.h"
#include "ui/chart_text_cache.h"
#include "ui/chart_theme.h"

namespace kestrava {

class TChart : public QWidget {
  Q_OBJECT

 public:
  explicit TChart(QWidget* parent = nullptr);
  TChart(const TChart&) = delete;
  TChart& operator=(const TChart&) = delete;

  // Series1. colour PaletteColour takes the palette entry of the slice's index.
  void ClearSlices();
  void AddSlice(const QString& label, double value, double position, uint32_t colour);
  // Replaces every slice in one step, as ClearSlices and one AddSlice per slice would.
  void SetSlices(std::vector<TSlice> slices);
  int SliceCount() const { return static_cast<int>(m_slices.size()); }
  const std::vector<TSlice>& Slices() const { return m_slices; }

  // Settings; each change schedules one repaint, and changes between two paints share it.
  void SetTitleText(const QString& text);
  QString TitleText() const { return m_title; }
  void SetTitleFont(const QFont& font);  // Verdana 12 bold black at start-up
  QFont TitleFont() const { return m_titleFont; }
  void SetView3D(bool on);
  bool View3D() const { return m_view3D; }
  void SetLegendVisible(bool visible);  // the marks are visible when the legend is not
  bool LegendVisible() const { return m_legendVisible; }
  bool MarksVisible() const { return !m_legendVisible; }
  void SetLegendAlignment(TLegendAlignment alignment);
  TLegendAlignment LegendAlignment() const { return m_alignment; }
  // Smooth drawing: the pie, its rims and its outlines antialiased. Off (the default), the
  // pie is drawn pixel for pixel as its geometry places it.
  void SetAntialiased(bool on);
  bool Antialiased() const { return m_antialiased; }
  // The dark look (ui/chart_theme.h); off, the classic light one.
  void SetDark(bool on);
  bool Dark() const { return m_dark; }

  // The geometry of one paint at the given size (in logical pixels), as RenderImage uses it.
  TChartLayout Layout(const QSize& size) const;
  // The whole chart drawn into a new image of the given logical size, exactly as on screen
  // (child widgets lying on the chart, such as the "Initializing..." label, are not part of
  // it). At a scale above 1 the image has size * scale pixels and that device-pixel ratio:
  // the same chart drawn finer, not enlarged. REQUIRES: scale > 0.
  QImage RenderImage(const QSize& size, qreal scale = 1) const;
  // Puts an image of the chart area's current size on the clipboard, then repaints.
  void CopyChartBitmap();

  // The texts in the small font of the legend and the marks, and in the title font, as the
  // paints measured and shaped them.
  const TChartTextCache& SmallTexts() const { return m_smallTexts; }
  const TChartTextCache& TitleTexts() const { return m_titleTexts; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TChartOptions Options() const;
  void SlicesChanged();
  // The fonts set in the text caches and the metrics that measure through them.
  TTextMetrics Metrics() const;
  // The slices' texts, emptied when the slices or the locale changed since they were measured.
  TSliceTexts& Texts(const TChartOptions& options) const;
  // Draws the chart into the image, which has the size and ratio the chart is drawn at.
  void Paint(QImage& image, const QSize& logical) const;

  std::vector<TSlice> m_slices;
  // Measured texts of the slices, and each text measured and shaped by font across changes
  // of the slices, so that a feed of the same labels measures nothing again.
  mutable TSliceTexts m_texts;
  mutable bool m_textsValid = false;
  mutable QLocale m_textsLocale;
  mutable TChartTextCache m_smallTexts;
  mutable TChartTextCache m_titleTexts;
  // The picture shown, kept for the next paint of the same size and ratio, and the layout of
  // the last paint, whose lists keep their room for the next.
  QImage m_frame;
  mutable TChartLayout m_layout;
  // The outline of the polygon drawn, kept so that a paint allocates none.
  mutable std::vector<TPoint> m_points;
  mutable QPolygon m_polygon;
  mutable QPolygonF m_polygonF;
  QString m_title = QStringLiteral("Top receivers");
  QFont m_titleFont;
  bool m_view3D = true;
  bool m_legendVisible = true;
  TLegendAlignment m_alignment = laBottom;
  bool m_antialiased = false;
  bool m_dark = false;
};

}  // namespace kestrava
