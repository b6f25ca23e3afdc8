// kestrava-exporter: many agents for Prometheus, headless. See exporter_service.h.
#include <sys/resource.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include "app/exporter/exporter_service.h"
#include "app/quit_signals.h"
#include "kestrava_version.h"

using namespace kestrava;

namespace {

bool ParseLevel(const QString& text, TLogLevel& level) {
  if (text == "debug")
    level = TLogLevel::kDebug;
  else if (text == "info")
    level = TLogLevel::kInfo;
  else if (text == "warn")
    level = TLogLevel::kWarn;
  else if (text == "error")
    level = TLogLevel::kError;
  else
    return false;
  return true;
}

// Every scrape holds a socket: as many files as the system lets this process have.
void RaiseFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("kestrava-exporter");
  QCoreApplication::setApplicationVersion(KESTRAVA_VERSION);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Polls SNMP agents for Prometheus: GET /snmp?target=HOST[:PORT]&module=NAME");
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption listen("web.listen-address", "Address to listen on (127.0.0.1:9116).",
                                  "address", "127.0.0.1:9116");
  const QCommandLineOption configFile(
      "config.file", "YAML file of modules, credentials and allowed target networks.", "file");
  const QCommandLineOption logLevel("log.level", "debug, info, warn or error (info).", "level",
                                    "info");
  parser.addOptions({listen, configFile, logLevel});
  parser.process(app);

  TLogLevel level = TLogLevel::kInfo;
  if (!ParseLevel(parser.value(logLevel), level)) {
    std::fprintf(stderr, "kestrava-exporter: --log.level is debug, info, warn or error\n");
    return 2;
  }
  const auto log = [level](TLogLevel at, const std::string& text) {
    static const char* const kNames[] = {"debug", "info", "warn", "error"};
    if (at < level) return;
    std::fprintf(stderr, "level=%s msg=\"%s\"\n", kNames[static_cast<int>(at)], text.c_str());
  };

  TExporterConfig config = DefaultExporterConfig();
  std::string error;
  if (parser.isSet(configFile) &&
      !LoadExporterConfig(parser.value(configFile).toStdString(), config, error)) {
    log(TLogLevel::kError, "the configuration cannot be used: " + error);
    return 1;
  }
  TListenAddress where;
  if (!ParseListenAddress(parser.value(listen).toStdString(), where, error)) {
    log(TLogLevel::kError, "--web.listen-address " + error);
    return 2;
  }
  RaiseFileLimit();
  TExporter exporter(std::move(config), log);
  if (const std::string failure = exporter.Listen(where); !failure.empty()) {
    log(TLogLevel::kError,
        "cannot listen on " + parser.value(listen).toStdString() + ": " + failure);
    return 1;
  }
  log(TLogLevel::kInfo, "listening on port " + std::to_string(exporter.Port()));
  TQuitSignals quit([](int) { QCoreApplication::quit(); });
  return app.exec();
}
