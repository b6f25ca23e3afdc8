// The floor for first_window: a Qt Widgets program with one main window holding one label,
// ended once the window's first paint is done.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include "bench/app/first_paint.h"

int main(int argc, char** argv) {
  kestrava::UseOffscreenUnlessSet();
  QApplication app(argc, argv);
  QMainWindow window;
  window.setCentralWidget(new QLabel(QStringLiteral("Initializing..."), &window));
  window.resize(585, 427);
  kestrava::QuitAfterFirstPaint(window);
  window.show();
  return app.exec();
}
