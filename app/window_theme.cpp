#include "app/window_theme.h"

#include <QApplication>
#include <optional>

namespace kestrava {

QPalette DarkWindowPalette() {
  QPalette palette;
  const QColor window(0x2B, 0x2D, 0x31);
  const QColor base(0x1E, 0x1F, 0x22);
  const QColor text(0xE8, 0xE8, 0xE8);
  const QColor disabled(0x80, 0x80, 0x80);
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, window);
  palette.setColor(QPalette::ToolTipBase, QColor(0x3A, 0x3C, 0x42));
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::PlaceholderText, disabled);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, window);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::BrightText, QColor(0xFF, 0x80, 0x80));
  palette.setColor(QPalette::Light, QColor(0x4A, 0x4D, 0x52));
  palette.setColor(QPalette::Midlight, QColor(0x3A, 0x3C, 0x42));
  palette.setColor(QPalette::Mid, QColor(0x25, 0x26, 0x2A));
  palette.setColor(QPalette::Dark, QColor(0x0A, 0x0A, 0x0A));
  palette.setColor(QPalette::Shadow, Qt::black);
  palette.setColor(QPalette::Highlight, QColor(0x3D, 0x7E, 0xC8));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Link, QColor(0x99, 0xDD, 0xFF));
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, disabled);
  return palette;
}

void UseDarkWindowPalette(bool dark) {
  // The palette the application had before it was ever made dark, to go back to.
  static std::optional<QPalette> started;
  if (dark) {
    if (!started) started = QApplication::palette();
    QApplication::setPalette(DarkWindowPalette());
  } else if (started) {
    QApplication::setPalette(*started);
  }
}

}  // namespace kestrava
