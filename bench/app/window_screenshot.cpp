// Takes the screenshot of the main window for the README: the program's window, started with
// the given arguments (an agent to poll), once the third pie has been shown, saved as a
// true-colour PNG. With a display (xvfb-run) the window has the desktop's style.
// Usage: window_screenshot OUT.png [kestrava arguments...]

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "app/unit1.h"
#include "ui/chart.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.png [kestrava arguments...]\n", argv[0]);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  const std::vector<std::string> args(argv + 2, argv + argc);
  kestrava::TForm1 form(args);
  form.show();
  int pies = 0;
  // The chart is repainted after each feed; the status line tells the window's state.
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (form.Chart1->SliceCount() > 0) ++pies;
    if (pies < 3) return;
    check.stop();
    const QImage shot = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const bool saved = shot.save(out, "PNG", 9);
    if (!saved) std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
    app.exit(saved ? 0 : 1);
  });
  check.start(1000);
  QTimer::singleShot(120000, [&] {
    std::fprintf(stderr, "no pie within two minutes: %s\n", qPrintable(form.StatusText()));
    app.exit(1);
  });
  return app.exec();
}
