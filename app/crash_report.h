#pragma once
// The program's last line of defence: an error that escapes to the top level (an exception
// out of an event handler, or std::terminate on any thread) is appended to "bugreport.txt"
// with the time, the thread and the error, and the user is told: a dialog with the choice to
// close the program or go on, or, when no one can answer (scripted or offscreen runs), the
// message on standard error and the program ends with kCrashExitStatus. Never a silent exit.
// Every password the configuration read is blanked out of what is written, printed or shown.
// Thread: reporting may happen on any thread; the dialog is shown only on the window's thread.

#include <QApplication>
#include <functional>
#include <string>

namespace kestrava {

inline constexpr int kCrashExitStatus = 3;

enum class TCrashChoice { Close, GoOn };

// Where the report is appended; "bugreport.txt" in the working folder by default.
void SetBugReportPath(const std::string& path);
const std::string& BugReportPath();
// False in scripted runs: nothing may wait for a person. Offscreen runs never ask either.
void SetCrashDialogAllowed(bool allowed);
// Replaces the dialog (tests); an empty hook restores it.
void SetCrashDialogHook(std::function<TCrashChoice(const std::string& error)> hook);

// One entry of the bug report.
std::string BugReportEntry(const std::string& time, const std::string& thread,
                           const std::string& error);
// Appends the entry for this moment and the calling thread; false when the file cannot be
// written (the error is then still printed on standard error).
bool AppendBugReport(const std::string& error);
// Writes the report and asks the user (or answers Close when no one can be asked).
TCrashChoice ReportCrash(const std::string& error);

// Reports an uncaught exception or any other call of std::terminate, then aborts.
void InstallTerminateHandler();

// The application object: catches what escapes from event handlers and reports it.
class TKestravaApplication : public QApplication {
  Q_OBJECT

 public:
  TKestravaApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kestrava
