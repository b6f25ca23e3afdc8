// The program: the application object, the main window (whose creation sets up the session
// from the arguments), then the event loop until the main window closes. "--help" and
// "--version" answer without opening a window; output options that cannot work (a value that
// is another option, a path that is no regular file) end the program before the window exists
// and before the first poll.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/crash_report.h"
#include "app/output_files.h"
#include "app/quit_signals.h"
#include "app/unit1.h"
#include "config/command_line.h"

namespace {

QtMessageHandler g_qtMessages = nullptr;

// The offscreen platform says on every start that it cannot pass size hints to a window
// manager it does not have; a scripted run's standard error keeps to what matters.
void FilterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text == QLatin1String("This plugin does not support propagateSizeHints()")) return;
  // Without XDG_RUNTIME_DIR (a session without a login manager, cron, ssh) Qt says on every
  // start that it takes a private folder of its own instead, which works as well.
  if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  g_qtMessages(type, context, text);
}

// The output files are checked before anything is polled: a run that could never write them
// ends now rather than after its last poll.
int CheckOutputOptions(const kestrava::TOutputOptions& output) {
  using namespace kestrava;
  if (!output.Error.empty()) {
    std::fprintf(stderr, "kestrava: %s\n", output.Error.c_str());
    return kExitConfigError;
  }
  for (const std::string& path :
       {output.Snapshot, output.Export, output.Stream == "-" ? std::string() : output.Stream,
        output.Record}) {
    std::string error;
    if (!path.empty() && !CheckOutputPath(path, error)) {
      std::fprintf(stderr, "kestrava: cannot write %s\n", error.c_str());
      return kExitOutputFailed;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrava;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (WantsHelp(args)) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (WantsVersion(args)) {
    std::printf("%s\n", VersionText().c_str());
    return 0;
  }

  const TOutputOptions output = ReadOutputOptions(args);
  if (const int status = CheckOutputOptions(output); status != 0) return status;
  // The run goes on without what it cannot use, but says so: a misspelt option otherwise
  // shows only as a time-out much later.
  for (const std::string& warning : CommandLineWarnings(args))
    std::fprintf(stderr, "kestrava: %s\n", warning.c_str());

  InstallTerminateHandler();
  const bool scripted = output.ExitAfter > 0;
  // A scripted run without a display draws offscreen rather than failing to start.
  if (scripted && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  g_qtMessages = qInstallMessageHandler(FilterQtMessages);
  TKestravaApplication app(argc, argv);
  if (scripted) SetCrashDialogAllowed(false);

  try {
    TForm1 form1(args);
    TQuitSignals quitSignals([&form1](int signo) { form1.CloseOnSignal(signo); });
    // The About box is made when it is opened (TForm1::About1Click), not before the first paint.
    form1.show();
    const int status = app.exec();
    return form1.ExitStatus() != 0 ? form1.ExitStatus() : status;
  } catch (const std::exception& e) {
    ReportCrash(e.what());
  } catch (...) {
    ReportCrash("an exception of an unknown type");
  }
  return kCrashExitStatus;
}
