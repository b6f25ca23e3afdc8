// The About box: its caption, frame, controls and texts, the banner, and the link that the
// desktop opens.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>
#include <set>

#include "kestrava_version.h"
#include "ui/unit2.h"

namespace kestrava {
namespace {

// Stands in for the desktop's web browser: records every address it is asked to open.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QStringList opened;

 public slots:
  void open(const QUrl& url) { opened << url.toString(); }
};

void ClickLeft(QWidget* widget) {
  const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
  QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QApplication::sendEvent(widget, &release);
}

TEST(AboutBox, FrameCaptionAndBackground) {
  TForm2 form;
  EXPECT_EQ(form.windowTitle(), "About Quillbeck Kestrava");
  EXPECT_EQ(form.size(), QSize(386, 240));
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the dialog is not resizable";
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form.pos(), QPoint(240, 263));
  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(form.font().family(), "Tahoma");
  EXPECT_EQ(form.font().pointSize(), 8);
}

TEST(AboutBox, ControlsStandWhereTheLayoutPutsThem) {
  TForm2 form;
  struct Case {
    const char* name;
    QLabel* label;
    QRect rect;
    const char* text;  // nullptr: checked elsewhere
  } cases[] = {
      {"Image1", form.Image1, {8, 0, 370, 136}, ""},
      {"Label1", form.Label1, {34, 157, 43, 13}, "Version"},
      {"Label2", form.Label2, {83, 157, 40, 13}, KESTRAVA_VERSION},
      {"Label3", form.Label3, {32, 176, 45, 13}, "Website"},
      {"Label4", form.Label4, {83, 176, 134, 13}, kMakerWebAddress},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QRect g = c.label->geometry();
    EXPECT_EQ(g.topLeft(), c.rect.topLeft());
    EXPECT_EQ(g.height(), c.rect.height());
    // Labels size themselves to their text, never below the laid-out width.
    EXPECT_GE(g.width(), c.rect.width());
    EXPECT_EQ(c.label->text(), QString::fromLatin1(c.text));
    if (c.label != form.Image1) {
      EXPECT_EQ(c.label->font().family(), "Verdana");
      EXPECT_EQ(c.label->font().pointSize(), 8);
    }
  }
}

TEST(AboutBox, VersionIsFourNumbersWithoutLeadingZeros) {
  struct Case {
    int a, b, c, d;
    const char* want;
  } cases[] = {
      {0, 5, 0, 45, "0.5.0.45"},
      {1, 2, 0, 7, "1.2.0.7"},
      {10, 0, 123, 65535, "10.0.123.65535"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatVersion(c.a, c.b, c.c, c.d), c.want);
  TForm2 form;
  EXPECT_EQ(form.Label2->text(), FormatVersion(KESTRAVA_VERSION_MAJOR, KESTRAVA_VERSION_MINOR,
                                               KESTRAVA_VERSION_PATCH, KESTRAVA_VERSION_TWEAK));
}

TEST(AboutBox, LinkLooksLikeALink) {
  TForm2 form;
  EXPECT_TRUE(form.Label4->font().underline());
  EXPECT_EQ(form.Label4->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_EQ(form.Label4->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(QUrl(form.Label4->text()).isValid());
  EXPECT_EQ(QUrl(form.Label4->text()).scheme(), "https");
}

TEST(AboutBox, EachClickOnTheLinkOpensTheAddressAndTheBoxStaysOpen) {
  UrlRecorder browser;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
  TForm2 form;
  form.show();
  ClickLeft(form.Label4);
  EXPECT_TRUE(form.isVisible());
  ClickLeft(form.Label4);
  EXPECT_TRUE(form.isVisible());
  ClickLeft(form.Label3);  // not a link
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  EXPECT_EQ(browser.opened, QStringList({kMakerWebAddress, kMakerWebAddress}));
}

TEST(AboutBox, BannerIsOursAtItsSize) {
  const QImage banner = DrawBanner();
  EXPECT_EQ(banner.size(), QSize(370, 136));
  std::set<QRgb> colours;
  for (int y = 0; y < banner.height(); y += 4) {
    for (int x = 0; x < banner.width(); x += 4) colours.insert(banner.pixel(x, y));
  }
  EXPECT_GT(colours.size(), 20u) << "a picture, not a flat fill";
  TForm2 form;
  EXPECT_EQ(form.Image1->pixmap().size(), QSize(370, 136));
}

}  // namespace
}  // namespace kestrava

#include "unit2_gui_test.moc"
