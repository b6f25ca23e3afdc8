// The main window's start-up as the program goes through it: the application, the window set
// up from the arguments, shown; the process ends once the window's first paint is done. Timed
// from outside against minimal_window, a Qt Widgets program of one window and one label that
// ends the same way, it tells what the window costs above Qt's own start.
// Usage (offscreen): first_window [kestrava arguments...], e.g. /HOST 127.0.0.1 /PORT 9 to
// start against an address where nothing answers.

#include <QApplication>
#include <string>
#include <vector>

#include "app/unit1.h"
#include "bench/app/first_paint.h"

int main(int argc, char** argv) {
  kestrava::UseOffscreenUnlessSet();
  QApplication app(argc, argv);
  const std::vector<std::string> args(argv + 1, argv + argc);
  kestrava::TForm1 form(args);
  kestrava::QuitAfterFirstPaint(form);
  form.show();
  return app.exec();
}
