#pragma once
// TChartTextCache: the chart's texts in one font, each measured and shaped once and kept across
// paints, so that a repaint of the same labels lays out no text again. Keyed by the text; a
// change of font empties it. Bounded: past a limit the entries not used since the last trim go.
// Thread: the window's thread only.

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QStaticText>
#include <QString>

namespace kestrava {

class TChartTextCache {
 public:
  explicit TChartTextCache(qsizetype limit = 4096);

  // The font the texts are measured and shaped in; another font empties the cache.
  void SetFont(const QFont& font);
  const QFont& Font() const { return m_font; }
  const QFontMetrics& Metrics() const { return m_metrics; }

  // The text's advance in the font, as QFontMetrics::horizontalAdvance gives it.
  int Width(const QString& text);
  // The text laid out as plain text on one line, ready to draw; null for a text with line or
  // paragraph breaks or tabs, which a laid-out text would break or space apart: that one is
  // drawn as it stands (QPainter::drawText).
  const QStaticText* Shaped(const QString& text);

  // Called between paints: when more than the limit are kept, the entries not used since the
  // last trim are dropped.
  void Trim();

  qsizetype Size() const { return m_current.size() + m_previous.size(); }
  // Texts measured and shaped since the cache was made: what a repaint costs in text layout.
  qint64 Measured() const { return m_measured; }
  qint64 Shaped() const { return m_shaped; }

 private:
  struct TEntry {
    int width = -1;  // not measured yet
    QStaticText shaped;
    bool isShaped = false;
    bool drawnAsIs = false;
  };
  TEntry& Entry(const QString& text);

  qsizetype m_limit;
  QFont m_font;
  QFontMetrics m_metrics;
  // Used since the last trim, and before it: a text used again moves back to the current ones.
  QHash<QString, TEntry> m_current;
  QHash<QString, TEntry> m_previous;
  qint64 m_measured = 0;
  qint64 m_shaped = 0;
};

}  // namespace kestrava
