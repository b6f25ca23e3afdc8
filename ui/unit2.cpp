#include "ui/unit2.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>
#include <algorithm>

#include "kestrava_version.h"

namespace kestrava {

namespace {

QFont VerdanaPoints(int points) {
  QFont font(QStringLiteral("Verdana"));
  font.setPointSize(points);
  return font;
}

// A label at a fixed place whose width grows to its text, as an auto-sized label does.
QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& rect, const QFont& font) {
  auto* label = new QLabel(text, parent);
  label->setFont(font);
  const int width = std::max(rect.width(), QFontMetrics(font).horizontalAdvance(text) + 1);
  label->setGeometry(rect.x(), rect.y(), width, rect.height());
  return label;
}

}  // namespace

QString FormatVersion(int major, int minor, int release, int build) {
  return QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build);
}

QImage DrawBanner() {
  QImage image(370, 136, QImage::Format_ARGB32_Premultiplied);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, 0, 136);
  sky.setColorAt(0, QColor(18, 52, 86));
  sky.setColorAt(1, QColor(44, 110, 150));
  p.fillRect(image.rect(), sky);

  // The emblem: a tilted pie of three slices under a kestrel's wing stroke.
  const QRectF pie(22, 30, 84, 70);
  const QRectF side = pie.translated(0, 10);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(120, 20, 20));
  p.drawEllipse(side);
  p.fillRect(QRectF(pie.left(), pie.center().y(), pie.width(), 10), QColor(120, 20, 20));
  const struct {
    int start, span;
    QColor colour;
  } slices[] = {{0, 150, QColor(220, 40, 40)},
                {150, 120, QColor(40, 90, 220)},
                {270, 90, QColor(250, 210, 40)}};
  p.setPen(QPen(QColor(10, 20, 30), 1));
  for (const auto& s : slices) {
    p.setBrush(s.colour);
    p.drawPie(pie, s.start * 16, s.span * 16);
  }
  QPainterPath wing;
  wing.moveTo(18, 26);
  wing.cubicTo(50, 2, 92, 4, 120, 22);
  wing.cubicTo(90, 14, 56, 16, 18, 26);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(236, 226, 200));
  p.drawPath(wing);

  p.setPen(QColor(200, 220, 235));
  QFont maker(QStringLiteral("Verdana"));
  maker.setPixelSize(13);
  maker.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  p.setFont(maker);
  p.drawText(QRectF(130, 22, 230, 18), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("QUILLBECK"));

  QFont name(QStringLiteral("Verdana"));
  name.setPixelSize(34);
  name.setBold(true);
  p.setFont(name);
  p.setPen(Qt::white);
  p.drawText(QRectF(128, 40, 236, 46), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Kestrava"));

  QFont tagline(QStringLiteral("Verdana"));
  tagline.setPixelSize(12);
  p.setFont(tagline);
  p.setPen(QColor(250, 210, 40));
  p.drawText(QRectF(130, 90, 236, 18), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Live SNMP top-N monitor"));
  return image;
}

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Quillbeck Kestrava"));
  // A fixed dialog border: no minimise, maximise or help box, and not resizable.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(386, 240);
  move(240, 263);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  QFont tahoma(QStringLiteral("Tahoma"));
  tahoma.setPointSize(8);
  setFont(tahoma);

  Image1 = new QLabel(this);
  Image1->setGeometry(8, 0, 370, 136);
  Image1->setPixmap(QPixmap::fromImage(DrawBanner()));

  const QFont verdana = VerdanaPoints(8);
  Label1 = MakeLabel(this, QStringLiteral("Version"), QRect(34, 157, 43, 13), verdana);
  Label2 = MakeLabel(this,
                     FormatVersion(KESTRAVA_VERSION_MAJOR, KESTRAVA_VERSION_MINOR,
                                   KESTRAVA_VERSION_PATCH, KESTRAVA_VERSION_TWEAK),
                     QRect(83, 157, 40, 13), verdana);
  Label3 = MakeLabel(this, QStringLiteral("Website"), QRect(32, 176, 45, 13), verdana);

  QFont link = verdana;
  link.setUnderline(true);
  Label4 = MakeLabel(this, QString::fromLatin1(kMakerWebAddress), QRect(83, 176, 134, 13), link);
  QPalette linkPalette = Label4->palette();
  linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 128));
  Label4->setPalette(linkPalette);
  Label4->setCursor(Qt::PointingHandCursor);
  Label4->installEventFilter(this);
}

void TForm2::Label4Click() {
  QDesktopServices::openUrl(QUrl(Label4->text()));
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label4 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Label4Click();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kestrava
