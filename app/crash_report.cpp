#include "app/crash_report.h"

#include <QDateTime>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "config/secrets.h"
#include "kestrava_version.h"

namespace kestrava {

namespace {

std::mutex g_reportLock;  // one report at a time, whichever thread fails
std::string g_reportPath = "bugreport.txt";
bool g_dialogAllowed = true;
std::function<TCrashChoice(const std::string&)> g_dialogHook;

const char kHeadline[] = "An error occurred in the application.";

std::string ThreadName() {
  std::ostringstream name;
  const bool windowThread = QCoreApplication::instance() != nullptr &&
                            QThread::currentThread() == QCoreApplication::instance()->thread();
  name << (windowThread ? "window thread" : "other thread") << " (id " << std::this_thread::get_id()
       << ")";
  return name.str();
}

bool OnWindowThread() {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

bool CanAskUser() {
  if (!g_dialogAllowed || !OnWindowThread() || qobject_cast<QApplication*>(qApp) == nullptr) {
    return false;
  }
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

TCrashChoice AskUser(const std::string& error, bool canGoOn) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Kestrava"),
                  QString::fromLatin1(kHeadline));
  box.setInformativeText(QString::fromStdString(error));
  box.setDetailedText(QStringLiteral("The report was appended to %1.")
                          .arg(QString::fromStdString(BugReportPath())));
  QPushButton* close = box.addButton(QStringLiteral("Close the program"), QMessageBox::RejectRole);
  if (canGoOn) box.addButton(QStringLiteral("Go on"), QMessageBox::AcceptRole);
  box.setDefaultButton(close);
  box.exec();
  return box.clickedButton() == close ? TCrashChoice::Close : TCrashChoice::GoOn;
}

std::string CurrentExceptionText() {
  const std::exception_ptr current = std::current_exception();
  if (!current) return "std::terminate called without an active exception";
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& e) {
    return std::string("uncaught exception: ") + e.what();
  } catch (...) {
    return "uncaught exception of an unknown type";
  }
}

void TerminateHandler() {
  const std::string error = HideSecrets(CurrentExceptionText());
  AppendBugReport(error);
  std::fprintf(stderr, "kestrava: %s %s (reported in %s)\n", kHeadline, error.c_str(),
               BugReportPath().c_str());
  if (CanAskUser() && !g_dialogHook) AskUser(error, false);
  std::abort();
}

}  // namespace

void SetBugReportPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_reportLock);
  g_reportPath = path;
}

const std::string& BugReportPath() {
  return g_reportPath;
}

void SetCrashDialogAllowed(bool allowed) {
  g_dialogAllowed = allowed;
}

void SetCrashDialogHook(std::function<TCrashChoice(const std::string&)> hook) {
  g_dialogHook = std::move(hook);
}

std::string BugReportEntry(const std::string& time, const std::string& thread,
                           const std::string& error) {
  return "---- Kestrava " KESTRAVA_VERSION " bug report\nTime: " + time + "\nThread: " + thread +
         "\nError: " + error + "\n\n";
}

bool AppendBugReport(const std::string& error) {
  const std::string entry =
      BugReportEntry(QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toStdString(),
                     ThreadName(), HideSecrets(error));
  std::lock_guard<std::mutex> lock(g_reportLock);
  std::ofstream file(g_reportPath, std::ios::app | std::ios::binary);
  file << entry;
  file.flush();
  return static_cast<bool>(file);
}

TCrashChoice ReportCrash(const std::string& reported) {
  // Whatever made the text, no password the configuration read leaves the program in it.
  const std::string error = HideSecrets(reported);
  const bool written = AppendBugReport(error);
  if (g_dialogHook) return g_dialogHook(error);
  if (CanAskUser()) return AskUser(error, true);
  std::fprintf(stderr, "kestrava: %s %s (%s %s)\n", kHeadline, error.c_str(),
               written ? "reported in" : "could not write", BugReportPath().c_str());
  return TCrashChoice::Close;
}

void InstallTerminateHandler() {
  std::set_terminate(TerminateHandler);
}

TKestravaApplication::TKestravaApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TKestravaApplication::notify(QObject* receiver, QEvent* event) {
  std::string error;
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "an exception of an unknown type";
  }
  if (ReportCrash(error) == TCrashChoice::Close) exit(kCrashExitStatus);
  return false;
}

}  // namespace kestrava
