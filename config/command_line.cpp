#include "config/command_line.h"

#include <optional>

#include "config/validators.h"
#include "kestrava_version.h"

namespace kestrava {

namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// name is the "/NAME" form; "--name" is accepted as well.
bool IsOption(const std::string& arg, const std::string& name) {
  return EqualsIgnoringCase(arg, name) || EqualsIgnoringCase(arg, "--" + name.substr(1));
}

// Position of the first argument that is the option, or npos.
std::size_t FindOption(const std::vector<std::string>& args, const std::string& name) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (IsOption(args[i], name)) return i;
  }
  return std::string::npos;
}

// The argument after the option; nothing when the option is absent or the last argument.
std::optional<std::string> OptionValue(const std::vector<std::string>& args,
                                       const std::string& name) {
  const std::size_t at = FindOption(args, name);
  if (at == std::string::npos || at + 1 >= args.size()) return std::nullopt;
  return args[at + 1];
}

bool AnyOf(const std::vector<std::string>& args, std::initializer_list<const char*> names) {
  for (const std::string& arg : args) {
    for (const char* name : names) {
      if (EqualsIgnoringCase(arg, name)) return true;
    }
  }
  return false;
}

bool IsOutputOption(const std::string& arg) {
  return IsOption(arg, "/SNAPSHOT") || IsOption(arg, "/EXPORT") || IsOption(arg, "/EXITAFTER");
}

// Output options say what to do with the charts, not what to poll: a command line of nothing
// else starts the same session as no arguments (the legend stays shown).
bool OnlyOutputOptions(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (!IsOutputOption(args[i])) return false;
  }
  return true;
}

}  // namespace

TCommandLine ReadCommandLine(const std::vector<std::string>& args, TConfigRec& cfg,
                             TRequest& session) {
  TCommandLine result;
  if (OnlyOutputOptions(args)) return result;

  if (const std::size_t at = FindOption(args, "/XML"); at != std::string::npos) {
    if (at + 1 < args.size()) {
      result.FileName = args[at + 1];
      result.XmlGiven = true;
    } else {
      result.StopSetup = true;
    }
    return result;
  }

  if (auto v = OptionValue(args, "/HOST")) session.Host = *v;
  if (auto v = OptionValue(args, "/COMMUNITY")) session.Community = *v;
  if (auto v = OptionValue(args, "/POLLINGINTERVAL")) session.Interval = CheckInterval(*v);
  if (auto v = OptionValue(args, "/CHARTTITLE")) cfg.ChartTitle = *v;
  cfg.ShowLegend = FindOption(args, "/SHOWLEGEND") != std::string::npos;
  if (auto v = OptionValue(args, "/LEGENDALIGNMENT")) {
    if (EqualsIgnoringCase(*v, "LEFT")) cfg.LegendAlignment = laLeft;
    if (EqualsIgnoringCase(*v, "RIGHT")) cfg.LegendAlignment = laRight;
    if (EqualsIgnoringCase(*v, "TOP")) cfg.LegendAlignment = laTop;
    if (EqualsIgnoringCase(*v, "BOTTOM")) cfg.LegendAlignment = laBottom;
  }
  if (auto v = OptionValue(args, "/PROGRAMTITLE")) cfg.ProgramTitle = *v;
  if (auto v = OptionValue(args, "/WIDTH")) cfg.WindowWidth = CheckWidth(*v);
  if (auto v = OptionValue(args, "/HEIGHT")) cfg.WindowHeight = CheckHeight(*v);
  if (auto v = OptionValue(args, "/PREFERREDINSTANCE")) cfg.PreferredInstance = *v;
  if (auto v = OptionValue(args, "/PORT")) session.RemotePort = CheckPort(*v);
  if (auto v = OptionValue(args, "/SNMPVERSION")) session.SnmpVersion = CheckVersion(*v);
  return result;
}

TOutputOptions ReadOutputOptions(const std::vector<std::string>& args) {
  TOutputOptions out;
  if (auto v = OptionValue(args, "/SNAPSHOT")) out.Snapshot = *v;
  if (auto v = OptionValue(args, "/EXPORT")) out.Export = *v;
  if (auto v = OptionValue(args, "/EXITAFTER")) {
    const std::optional<int> n = ParseDecimalInt(*v);
    if (n && *n >= 1) out.ExitAfter = *n;
  }
  return out;
}

bool WantsHelp(const std::vector<std::string>& args) {
  return AnyOf(args, {"--help", "/HELP", "/?", "-h"});
}

bool WantsVersion(const std::vector<std::string>& args) {
  return AnyOf(args, {"--version", "/VERSION"});
}

std::string VersionText() {
  return std::string("Kestrava ") + KESTRAVA_VERSION;
}

std::string UsageText() {
  return VersionText() +
         " - a live SNMP top-N pie chart\n"
         "\n"
         "Usage: kestrava [options]\n"
         "       kestrava /XML file [output options]\n"
         "\n"
         "Every option is a whole argument in any letter case, written /NAME or --name;\n"
         "its value is the next argument. Without options Kestrava shows the input octets\n"
         "(ifInOctets) of every interface of the agent on localhost, named by ifDescr.\n"
         "\n"
         "Session options (with /XML the file sets the session and the others are ignored):\n"
         "  /XML file                the configuration file that sets the whole session\n"
         "  /HOST host               agent host name or address (localhost)\n"
         "  /COMMUNITY text          SNMP community (cobalt)\n"
         "  /PORT n                  agent UDP port, 1..65535 (161)\n"
         "  /SNMPVERSION n           1 for SNMPv1, 2 for SNMPv2c (1)\n"
         "  /POLLINGINTERVAL s       seconds between polls, 1..1000 (5)\n"
         "  /CHARTTITLE text         title line of the chart (Top receivers)\n"
         "  /PROGRAMTITLE text       first part of the window caption (Kestrava)\n"
         "  /SHOWLEGEND              show the legend; once any session option is given the\n"
         "                           legend is hidden without it, and the slices carry labels\n"
         "  /LEGENDALIGNMENT side    LEFT, RIGHT, TOP or BOTTOM (BOTTOM)\n"
         "  /WIDTH px                window width, 300..2000 (600)\n"
         "  /HEIGHT px               window height, 200..1600 (460)\n"
         "  /PREFERREDINSTANCE text  instance-mask entry to pick by itself after discovery\n"
         "Values out of range fall back to the default in brackets.\n"
         "\n"
         "Output options (with or without /XML):\n"
         "  /SNAPSHOT file.png       write the chart as a PNG after every chart update\n"
         "  /EXPORT file.csv         write the slices as CSV (position,label,value) after\n"
         "                           every chart update\n"
         "  /EXITAFTER n             end with status 0 after the n-th chart update that showed\n"
         "                           at least one slice; errors then end with a non-zero\n"
         "                           status and the message on standard error\n"
         "\n"
         "  --help, /?, -h           print this text and exit\n"
         "  --version                print the version and exit\n";
}

}  // namespace kestrava
