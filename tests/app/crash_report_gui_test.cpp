// An exception thrown out of an event handler reaches the application object, which reports
// it and then either goes on or ends the event loop with the crash status.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QEvent>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/crash_report.h"

namespace kestrava {
namespace {

namespace fs = std::filesystem;

// Throws from its event handler, as a window's command handler might.
class Faulty : public QObject {
 public:
  int handled = 0;
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) {
      ++handled;
      throw std::runtime_error("handler failed");
    }
    return QObject::event(e);
  }
};

class EscapedErrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrava-notify-XXXXXX").string();
    dir = mkdtemp(pattern.data());
    SetBugReportPath((dir / "bugreport.txt").string());
  }
  void TearDown() override {
    SetCrashDialogHook(nullptr);
    SetBugReportPath("bugreport.txt");
    fs::remove_all(dir);
  }
  std::string Report() {
    std::ifstream in(dir / "bugreport.txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  fs::path dir;
};

TEST_F(EscapedErrorTest, GoingOnKeepsTheEventLoopRunning) {
  std::vector<std::string> asked;
  SetCrashDialogHook([&](const std::string& error) {
    asked.push_back(error);
    return TCrashChoice::GoOn;
  });
  Faulty faulty;
  QCoreApplication::postEvent(&faulty, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&faulty, new QEvent(QEvent::User));
  QTimer::singleShot(50, [] { QCoreApplication::exit(0); });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_EQ(faulty.handled, 2);
  EXPECT_EQ(asked, std::vector<std::string>({"handler failed", "handler failed"}));
  const std::string report = Report();
  EXPECT_NE(report.find("Thread: window thread"), std::string::npos);
  EXPECT_NE(report.find("Error: handler failed\n"), report.rfind("Error: handler failed\n"));
}

TEST_F(EscapedErrorTest, ClosingEndsTheEventLoopWithTheCrashStatus) {
  SetCrashDialogHook([](const std::string&) { return TCrashChoice::Close; });
  Faulty faulty;
  QCoreApplication::postEvent(&faulty, new QEvent(QEvent::User));
  QTimer::singleShot(5000, [] { QCoreApplication::exit(0); });
  EXPECT_EQ(QCoreApplication::exec(), kCrashExitStatus);
  EXPECT_NE(Report().find("Error: handler failed\n"), std::string::npos);
}

TEST_F(EscapedErrorTest, OffscreenNoOneIsAskedAndTheMessageGoesToStandardError) {
  Faulty faulty;
  QCoreApplication::postEvent(&faulty, new QEvent(QEvent::User));
  QTimer::singleShot(5000, [] { QCoreApplication::exit(0); });
  testing::internal::CaptureStderr();
  const int status = QCoreApplication::exec();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, kCrashExitStatus);
  EXPECT_NE(said.find("An error occurred in the application. handler failed"), std::string::npos);
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  kestrava::TKestravaApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
