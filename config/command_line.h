#pragma once
// The command line. An option is a whole argument equal to its name in any letter case, in
// the "/HOST" or the "--host" form; the first such argument counts and its value is the next
// argument, whatever it is. "/XML" file names a configuration file and shuts out every other
// session option; the output options apply with and without it.
// Thread: any (pure functions over the argument list, without the program name).

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
};

// Applies "/HOST", "/COMMUNITY", "/POLLINGINTERVAL", "/CHARTTITLE", "/SHOWLEGEND",
// "/LEGENDALIGNMENT", "/PROGRAMTITLE", "/WIDTH", "/HEIGHT", "/PREFERREDINSTANCE", "/PORT" and
// "/SNMPVERSION" in that order, unless "/XML" is present. With no arguments nothing changes.
TCommandLine ReadCommandLine(const std::vector<std::string>& args, TConfigRec& cfg,
                             TRequest& session);

// What to do with the charts: "/SNAPSHOT" png, "/EXPORT" csv, "/EXITAFTER" n (n >= 1; any
// other value leaves 0, which never exits).
struct TOutputOptions {
  std::string Snapshot;
  std::string Export;
  int ExitAfter = 0;
};
TOutputOptions ReadOutputOptions(const std::vector<std::string>& args);

bool WantsHelp(const std::vector<std::string>& args);     // "--help", "/HELP", "/?" or "-h"
bool WantsVersion(const std::vector<std::string>& args);  // "--version" or "/VERSION"
std::string UsageText();                                  // every option, for "--help"
std::string VersionText();                                // "Kestrava a.b.c.d", for "--version"

}  // namespace kestrava
