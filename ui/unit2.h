#pragma once
// TForm2: the About box. Shows the maker's banner, the program's version in "a.b.c.d" form and
// the maker's web address as a link that the desktop opens in the user's browser. It has no
// buttons; the window's close box closes it. Fixed size, white, Tahoma 8 with Verdana labels.
// Thread: the window's thread only.

#include <QDialog>
#include <QImage>
#include <QString>

class QLabel;

namespace kestrava {

// The maker's web address shown and opened by the About box.
inline constexpr const char* kMakerWebAddress = "https://quillbeck.example";

// Four version numbers joined by ".", without leading zeros.
QString FormatVersion(int major, int minor, int release, int build);
// The maker's banner, drawn at 370 x 136.
QImage DrawBanner();

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);

  QLabel* Image1;  // banner
  QLabel* Label1;  // "Version"
  QLabel* Label2;  // the version
  QLabel* Label3;  // "Website"
  QLabel* Label4;  // the web address, a link

  // Asks the desktop to open the web address; a failure is ignored and the box stays open.
  void Label4Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace kestrava
