#pragma once
// The command line. An option is a whole argument equal to its name in any letter case, in
// the "/HOST" or the "--host" form; the first such argument counts and its value is the next
// argument, whatever it is. "/XML" file names a configuration file and shuts out every other
// session option but "/PORT", which takes the place of the file's port; the output options
// apply with and without it. SNMPv3 passwords not given here come from KESTRAVA_AUTHPASSWORD
// and KESTRAVA_PRIVPASSWORD.
// Thread: any (functions over the argument list, without the program name, and the
// environment).

#include <optional>
#include <string>
#include <vector>

#include "config/config_rec.h"
#include "shared/session_types.h"

namespace kestrava {

struct TCommandLine {
  std::string FileName;    // the configuration file after "/XML"; empty without one
  bool StopSetup = false;  // "/XML" was the last argument: the set-up ends without a message
  // "/XML" and a value: that file is loaded, even an empty name (which then fails to load
  // with its message instead of quietly polling the built-in target).
  bool XmlGiven = false;
  // "/PORT" beside "/XML" (validated): it replaces the file's "remoteport" once the file is
  // read, so that one file serves an agent on another port.
  std::optional<int> XmlPort{};
  // Why the session cannot start ("/HOST" with a port, SNMPv3 settings that cannot work);
  // empty when it can. Never holds a password.
  std::string Error;
};

// Applies "/HOST", "/COMMUNITY", "/POLLINGINTERVAL", "/CHARTTITLE", "/SHOWLEGEND",
// "/LEGENDALIGNMENT", "/PROGRAMTITLE", "/WIDTH", "/HEIGHT", "/PREFERREDINSTANCE", "/PORT",
// "/SNMPVERSION", the SNMPv3 options, "/NOBULK", "/ANTIALIAS", the row filters
// ("/INCLUDE", "/EXCLUDE", "/IFTYPE", "/UPONLY") and "/THEME", unless "/XML" is present.
// With no arguments nothing changes.
TCommandLine ReadCommandLine(const std::vector<std::string>& args, TConfigRec& cfg,
                             TRequest& session);

// What the command line asks for that the program cannot do as written, one sentence each:
// unknown options and stray arguments, options given twice, values without their option,
// session options beside "/XML", and values the validators replace (with the value used
// instead), also those of the "/XML" file (which is read for that). The run goes on; these
// are for standard error and the status line.
std::vector<std::string> CommandLineWarnings(const std::vector<std::string>& args);

// What to do with the charts: "/SNAPSHOT" png, "/EXPORT" csv, "/EXITAFTER" n (n >= 1; any
// other value leaves 0, which never exits), "/EXITTIMEOUT" s (1..86400, else 0) and
// "/SNAPSHOTSCALE" n (1..4, else 1).
struct TOutputOptions {
  std::string Snapshot;
  std::string Export;
  int ExitAfter = 0;
  int ExitTimeout = 0;       // seconds a scripted run may go without a slice; 0 not given
  int SnapshotScale = 1;     // the "/SNAPSHOT" image at this multiple of the chart's size
  std::string Stream{};      // the polls as JSON lines; "-": standard output
  std::string Metrics{};     // ADDRESS:PORT of the Prometheus endpoint; "" none
  int HistoryMinutes = 0;    // "/HISTORY" n (1..1440) in place of the file's; 0 not given
  int ThresholdPercent = 0;  // "/THRESHOLD" n (1..100) in place of the file's; 0 not given
  std::string Record{};      // "/RECORD": the history written to this file when the run ends
  // An output option whose value is another option ("/SNAPSHOT /EXPORT x.csv"): the program
  // refuses to start. Empty when every value is a value.
  std::string Error{};
};
TOutputOptions ReadOutputOptions(const std::vector<std::string>& args);

// "--help", "/HELP", "/?" or "-h", and "--version" or "/VERSION", in option position: an
// argument that is the value of the option before it does not count ("/COMMUNITY /?").
bool WantsHelp(const std::vector<std::string>& args);
bool WantsVersion(const std::vector<std::string>& args);
std::string UsageText();    // every option, for "--help"
std::string VersionText();  // "Kestrava a.b.c.d", for "--version"

}  // namespace kestrava
