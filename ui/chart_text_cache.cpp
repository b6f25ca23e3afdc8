#include "ui/chart_text_cache.h"

#include <utility>

namespace kestrava {

TChartTextCache::TChartTextCache(qsizetype limit) : m_limit(limit), m_metrics(m_font) {}

void TChartTextCache::SetFont(const QFont& font) {
  // Compared with its resolved attributes: the same font set again keeps what was measured.
  if (font == m_font && font.resolveMask() == m_font.resolveMask()) return;
  m_font = font;
  m_metrics = QFontMetrics(m_font);
  m_current.clear();
  m_previous.clear();
}

TChartTextCache::TEntry& TChartTextCache::Entry(const QString& text) {
  const auto current = m_current.find(text);
  if (current != m_current.end()) return *current;
  const auto previous = m_previous.find(text);
  if (previous == m_previous.end()) return m_current[text];
  TEntry& moved = m_current[text] = std::move(*previous);
  m_previous.erase(previous);
  return moved;
}

int TChartTextCache::Width(const QString& text) {
  TEntry& entry = Entry(text);
  if (entry.width < 0) {
    entry.width = m_metrics.horizontalAdvance(text);
    ++m_measured;
  }
  return entry.width;
}

namespace {

bool BreaksOrSpacesApart(const QString& text) {
  for (const QChar c : text) {
    if (c == QLatin1Char('\n') || c == QLatin1Char('\t') || c == QLatin1Char('\r') ||
        c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
      return true;
  }
  return false;
}

}  // namespace

const QStaticText* TChartTextCache::Shaped(const QString& text) {
  TEntry& entry = Entry(text);
  if (!entry.isShaped) {
    entry.isShaped = true;
    entry.drawnAsIs = BreaksOrSpacesApart(text);
    if (entry.drawnAsIs) return nullptr;
    entry.shaped.setText(text);
    // A label is never markup, and never wraps.
    entry.shaped.setTextFormat(Qt::PlainText);
    entry.shaped.setPerformanceHint(QStaticText::AggressiveCaching);
    entry.shaped.prepare(QTransform(), m_font);
    ++m_shaped;
  }
  return entry.drawnAsIs ? nullptr : &entry.shaped;
}

void TChartTextCache::Trim() {
  if (m_current.size() <= m_limit) return;
  m_previous = std::move(m_current);
  m_current.clear();
}

}  // namespace kestrava
