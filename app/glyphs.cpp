#include "app/glyphs.h"

#include <QPainter>
#include <QPolygon>

namespace kestrava {

namespace {

// Glyphs are drawn pixel-exact: antialiasing off, 1-pixel pens.
QImage Blank() {
  QImage image(16, 16, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

const QColor kOutline(0, 0, 0);

void DrawSheet(QPainter& p, const QRect& r) {
  p.setPen(kOutline);
  p.setBrush(Qt::white);
  p.drawRect(r);
}

}  // namespace

QImage GlyphRawValues() {
  QImage image = Blank();
  QPainter p(&image);
  p.setPen(QColor(0, 96, 0));
  p.setBrush(QColor(0, 176, 0));
  p.drawPolygon(QPolygon({{1, 5}, {8, 5}, {8, 1}, {14, 7}, {14, 8}, {8, 14}, {8, 10}, {1, 10}}));
  return image;
}

QImage GlyphDeltaValues() {
  QImage image = Blank();
  QPainter p(&image);
  p.setPen(QColor(128, 96, 0));
  p.setBrush(QColor(255, 224, 0));
  p.drawPolygon(QPolygon({{7, 1}, {8, 1}, {15, 14}, {0, 14}}));
  return image;
}

QImage GlyphUtilisation() {
  QImage image = Blank();
  QPainter p(&image);
  p.setPen(QColor(64, 64, 64));
  p.setBrush(Qt::white);
  p.drawRect(QRect(0, 4, 15, 7));
  p.fillRect(QRect(1, 5, 10, 6), QColor(0, 160, 0));
  return image;
}

QImage GlyphLegend() {
  QImage image = Blank();
  QPainter p(&image);
  DrawSheet(p, QRect(1, 0, 13, 15));
  for (int row = 0; row < 3; ++row) {
    const int y = 2 + row * 4;
    p.fillRect(QRect(3, y, 3, 3), QColor(255, 0, 0));
    p.fillRect(QRect(7, y + 1, 5, 1), QColor(0, 0, 255));
  }
  return image;
}

QImage GlyphInstanceMask() {
  QImage image = Blank();
  QPainter p(&image);
  p.setPen(QColor(0, 0, 128));
  p.setBrush(QColor(40, 100, 230));
  p.drawPolygon(QPolygon({{0, 1}, {10, 1}, {6, 6}, {6, 13}, {4, 13}, {4, 6}}));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 0, 0));
  p.drawRect(QRect(12, 4, 2, 6));
  p.drawPolygon(QPolygon({{10, 10}, {15, 10}, {13, 14}, {12, 14}}));
  return image;
}

QImage GlyphSlices() {
  QImage image = Blank();
  QPainter p(&image);
  // The pie's rim first, then its top face of three slices.
  const QRect top(0, 2, 15, 9);
  p.setPen(kOutline);
  p.setBrush(QColor(0, 0, 140));
  p.drawEllipse(top.translated(0, 3));
  p.setPen(Qt::NoPen);
  p.drawRect(QRect(1, 7, 14, 3));
  p.setPen(kOutline);
  const struct {
    int start, span;
    QColor colour;
  } slices[] = {
      {0, 160, QColor(0, 0, 255)}, {160, 120, QColor(255, 0, 0)}, {280, 80, QColor(255, 255, 0)}};
  for (const auto& s : slices) {
    p.setBrush(s.colour);
    p.drawPie(top, s.start * 16, s.span * 16);
  }
  return image;
}

QImage GlyphExit() {
  QImage image = Blank();
  QPainter p(&image);
  p.setPen(QColor(128, 0, 0));
  p.setBrush(QColor(224, 0, 0));
  p.drawRect(QRect(1, 1, 13, 13));
  p.setPen(QPen(Qt::white, 2));
  p.drawLine(4, 4, 11, 11);
  p.drawLine(11, 4, 4, 11);
  return image;
}

QImage GlyphCopy() {
  QImage image = Blank();
  QPainter p(&image);
  for (const QPoint& at : {QPoint(0, 0), QPoint(5, 5)}) {
    const QRect sheet(at.x(), at.y(), 9, 10);
    DrawSheet(p, sheet);
    p.setPen(QColor(0, 0, 128));
    for (int y = sheet.top() + 3; y < sheet.bottom() - 1; y += 2) {
      p.drawLine(sheet.left() + 2, y, sheet.right() - 2, y);
    }
  }
  return image;
}

QImage GlyphAbout() {
  QImage image = Blank();
  QPainter p(&image);
  p.setPen(QColor(0, 0, 128));
  p.setBrush(QColor(0, 64, 224));
  p.drawEllipse(QRect(0, 0, 15, 15));
  p.fillRect(QRect(7, 3, 2, 2), Qt::white);
  p.fillRect(QRect(7, 6, 2, 6), Qt::white);
  p.fillRect(QRect(6, 11, 4, 1), Qt::white);
  return image;
}

}  // namespace kestrava
