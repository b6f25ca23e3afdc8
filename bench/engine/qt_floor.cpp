// The memory floor of a Qt Widgets program: a main window with a label, shown, and the event
// loop left running, so that its resident memory can be read beside the whole program's.
// usage: bench_qt_floor SECONDS

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <cstdlib>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  QMainWindow window;
  window.setCentralWidget(new QLabel(QStringLiteral("Qt Widgets"), &window));
  window.resize(640, 480);
  window.show();
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  return app.exec();
}
