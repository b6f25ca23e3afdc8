#include "config/command_line.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "config/load_xml_config.h"
#include "config/row_filter_settings.h"
#include "config/secrets.h"
#include "config/session_checks.h"
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

// Every option of the program in its "/NAME" form, and whether it takes a value.
struct TOptionName {
  const char* Name;
  bool TakesValue;
};
constexpr TOptionName kOptionNames[] = {
    {"/XML", true},
    {"/HOST", true},
    {"/COMMUNITY", true},
    {"/PORT", true},
    {"/SNMPVERSION", true},
    {"/POLLINGINTERVAL", true},
    {"/CHARTTITLE", true},
    {"/PROGRAMTITLE", true},
    {"/SHOWLEGEND", false},
    {"/LEGENDALIGNMENT", true},
    {"/WIDTH", true},
    {"/HEIGHT", true},
    {"/PREFERREDINSTANCE", true},
    {"/USER", true},
    {"/SECURITYLEVEL", true},
    {"/AUTHPROTOCOL", true},
    {"/AUTHPASSWORD", true},
    {"/PRIVPROTOCOL", true},
    {"/PRIVPASSWORD", true},
    {"/CONTEXT", true},
    {"/NOBULK", false},
    {"/MAXROWS", true},
    {"/ANTIALIAS", false},
    {"/INCLUDE", true},
    {"/EXCLUDE", true},
    {"/IFTYPE", true},
    {"/UPONLY", false},
    {"/THEME", true},
    {"/UNITS", true},
    {"/UTILISATION", false},
    {"/SNAPSHOT", true},
    {"/EXPORT", true},
    {"/STREAM", true},
    {"/METRICS", true},
    {"/EXITAFTER", true},
    {"/EXITTIMEOUT", true},
    {"/SNAPSHOTSCALE", true},
    {"/HISTORY", true},
    {"/THRESHOLD", true},
    {"/RECORD", true},
    {"/HELP", false},
    {"/VERSION", false},
};

const char* const kHelpWords[] = {"--help", "/HELP", "/?", "-h"};
const char* const kVersionWords[] = {"--version", "/VERSION"};

template <size_t N>
bool IsOneOf(const std::string& arg, const char* const (&words)[N]) {
  for (const char* word : words) {
    if (EqualsIgnoringCase(arg, word)) return true;
  }
  return false;
}

// The option the argument names, or nullptr.
const TOptionName* OptionNamed(const std::string& arg) {
  for (const TOptionName& option : kOptionNames) {
    if (IsOption(arg, option.Name)) return &option;
  }
  return nullptr;
}

bool IsProgramOption(const std::string& arg) {
  return OptionNamed(arg) != nullptr || IsOneOf(arg, kHelpWords) || IsOneOf(arg, kVersionWords);
}

// Walks the arguments as options and their values: true when one in option position is one of
// the words. An option that takes a value passes over the next argument.
template <size_t N>
bool InOptionPosition(const std::vector<std::string>& args, const char* const (&words)[N]) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (IsOneOf(args[i], words)) return true;
    const TOptionName* option = OptionNamed(args[i]);
    if (option != nullptr && option->TakesValue) ++i;
  }
  return false;
}

bool IsOutputOption(const std::string& arg) {
  return IsOption(arg, "/SNAPSHOT") || IsOption(arg, "/EXPORT") || IsOption(arg, "/STREAM") ||
         IsOption(arg, "/METRICS") || IsOption(arg, "/EXITAFTER") ||
         IsOption(arg, "/EXITTIMEOUT") || IsOption(arg, "/SNAPSHOTSCALE") ||
         IsOption(arg, "/HISTORY") || IsOption(arg, "/THRESHOLD") || IsOption(arg, "/RECORD");
}

// Output options say what to do with the charts, not what to poll: a command line of nothing
// else starts the same session as no arguments (the legend stays shown).
bool OnlyOutputOptions(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (!IsOutputOption(args[i])) return false;
  }
  return true;
}

// The value of an output option; a value that is itself an option means the real value is
// missing ("/SNAPSHOT /EXPORT x.csv"), and is refused rather than taken as a file name.
std::optional<std::string> OutputValue(const std::vector<std::string>& args, const char* name,
                                       std::string& error) {
  std::optional<std::string> value = OptionValue(args, name);
  if (value && IsProgramOption(*value)) {
    if (error.empty()) {
      error = std::string("The value of ") + name + " is missing: the next argument, \"" + *value +
              "\", is an option.";
    }
    return std::nullopt;
  }
  return value;
}

// "/INCLUDE", "/EXCLUDE", "/IFTYPE" and "/UPONLY"; false with the reason when one cannot filter.
bool ReadRowFilterOptions(const std::vector<std::string>& args, TConfigRec& cfg,
                          std::string& error) {
  for (const auto& [name, field] :
       {std::pair{"/INCLUDE", &cfg.IncludeLabels}, std::pair{"/EXCLUDE", &cfg.ExcludeLabels}}) {
    if (auto v = OptionValue(args, name)) {
      error = LabelPatternFault(name, *v);
      if (!error.empty()) return false;
      *field = *v;
    }
  }
  if (auto v = OptionValue(args, "/IFTYPE"); v && !ParseIfTypes(*v, cfg.IfTypes, error)) {
    error = "/IFTYPE: " + error;
    return false;
  }
  if (FindOption(args, "/UPONLY") != std::string::npos) cfg.UpOnly = true;
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
      if (auto v = OptionValue(args, "/PORT")) result.XmlPort = CheckPort(*v);
    } else {
      result.StopSetup = true;
    }
    return result;
  }

  if (auto v = OptionValue(args, "/HOST")) {
    if (!TakeHost(*v, TValueSource::CommandLine, session.Host, result.Error)) return result;
  }
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
  if (auto v = OptionValue(args, "/USER")) cfg.V3.User = *v;
  if (auto v = OptionValue(args, "/SECURITYLEVEL")) cfg.V3.SecurityLevel = *v;
  if (auto v = OptionValue(args, "/AUTHPROTOCOL")) cfg.V3.AuthProtocol = *v;
  if (auto v = OptionValue(args, "/AUTHPASSWORD")) ReplaceSecret(cfg.V3.AuthPassword, *v);
  if (auto v = OptionValue(args, "/PRIVPROTOCOL")) cfg.V3.PrivProtocol = *v;
  if (auto v = OptionValue(args, "/PRIVPASSWORD")) ReplaceSecret(cfg.V3.PrivPassword, *v);
  if (auto v = OptionValue(args, "/CONTEXT")) cfg.V3.ContextName = *v;
  if (FindOption(args, "/NOBULK") != std::string::npos) cfg.BulkWalk = false;
  if (auto v = OptionValue(args, "/MAXROWS")) cfg.MaxRows = CheckMaxRows(*v);
  if (FindOption(args, "/ANTIALIAS") != std::string::npos) cfg.Antialias = true;
  if (!ReadRowFilterOptions(args, cfg, result.Error)) return result;
  if (auto v = OptionValue(args, "/THEME")) cfg.Theme = ParseTheme(*v).value_or(TTheme::kLight);
  if (auto v = OptionValue(args, "/UNITS")) ParseUnits(*v, cfg.Units);
  if (FindOption(args, "/UTILISATION") != std::string::npos) cfg.Utilisation = true;
  CompleteSnmpV3(cfg.V3, session.SnmpVersion, TValueSource::CommandLine, result.Error);
  return result;
}

namespace {

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

bool LooksLikeOption(const std::string& arg) {
  return !arg.empty() && (arg[0] == '/' || arg[0] == '-');
}

std::string RangeWarning(const std::string& name, const std::string& value, TIntRange range,
                         const std::string& instead) {
  if (InRange(value, range)) return "";
  return name + " " + Quoted(value) + " is not a number in " + std::to_string(range.Low) + ".." +
         std::to_string(range.High) + "; " + instead;
}

std::string RangeWarning(const std::string& name, const std::string& value, TIntRange range) {
  return RangeWarning(name, value, range, std::to_string(range.Fallback) + " is used instead.");
}

// What replaces the value of an option that is applied, or "" when the value stands.
std::string ValueWarning(const std::string& name, const std::string& value) {
  if (name == "/PORT") return RangeWarning(name, value, kPortRange);
  if (name == "/POLLINGINTERVAL") return RangeWarning(name, value, kIntervalRange);
  if (name == "/WIDTH") return RangeWarning(name, value, kWidthRange);
  if (name == "/HEIGHT") return RangeWarning(name, value, kHeightRange);
  if (name == "/SNMPVERSION" && !ParseVersion(value))
    return name + " " + Quoted(value) + " is not 1, 2, 2c or 3; SNMPv1 is used instead.";
  if (name == "/LEGENDALIGNMENT") {
    for (const char* side : {"LEFT", "RIGHT", "TOP", "BOTTOM"}) {
      if (EqualsIgnoringCase(value, side)) return "";
    }
    return name + " " + Quoted(value) +
           " is not LEFT, RIGHT, TOP or BOTTOM; the legend stays at the bottom.";
  }
  if (name == "/THEME" && !ParseTheme(value))
    return name + " " + Quoted(value) + " is not light, dark or system; light is used instead.";
  if (TUnits units; name == "/UNITS" && !ParseUnits(value, units))
    return name + " " + Quoted(value) + " is not bits, bytes or none; bits are used instead.";
  if (name == "/EXITAFTER" && ParseDecimalInt(value).value_or(0) < 1)
    return name + " " + Quoted(value) +
           " is not a number from 1 up; the run does not end by itself.";
  if (name == "/EXITTIMEOUT")
    return RangeWarning(name, value, TIntRange{1, 86400, 0},
                        "the run's own bound (three polling intervals) applies.");
  if (name == "/SNAPSHOTSCALE") return RangeWarning(name, value, TIntRange{1, 4, 1});
  if (name == "/HISTORY") return RangeWarning(name, value, kHistoryRange);
  if (name == "/THRESHOLD")
    return RangeWarning(name, value, kThresholdRange, "the file's threshold, if any, applies.");
  return "";
}

}  // namespace

std::vector<std::string> CommandLineWarnings(const std::vector<std::string>& args) {
  // Warnings by the position of the argument they are about, told in the order given.
  std::vector<std::pair<std::size_t, std::string>> found;
  std::vector<bool> used(args.size(), false);
  const bool xml = FindOption(args, "/XML") != std::string::npos;
  // Every option counts at its first occurrence, wherever that is (as ReadCommandLine reads
  // them); later ones are ignored.
  for (const TOptionName& option : kOptionNames) {
    const std::string name = option.Name;
    const std::size_t at = FindOption(args, name);
    if (at == std::string::npos) continue;
    used[at] = true;
    for (std::size_t j = at + 1; j < args.size(); ++j) {
      if (!IsOption(args[j], name) || used[j]) continue;
      used[j] = true;
      if (option.TakesValue && j + 1 < args.size()) used[j + 1] = true;
      found.emplace_back(j, name + " is given more than once; the first counts.");
    }
    if (option.TakesValue && at + 1 >= args.size()) {
      found.emplace_back(at, name == "/XML" ? "/XML has no file name; nothing is polled."
                                            : name + " has no value; it is ignored.");
      continue;
    }
    if (option.TakesValue) used[at + 1] = true;
    const bool output =
        IsOutputOption(name) || name == "/XML" || name == "/HELP" || name == "/VERSION";
    if (xml && !output && name != "/PORT") {
      found.emplace_back(at, name + " is ignored beside /XML: the file sets the session.");
      continue;
    }
    if (option.TakesValue) {
      if (std::string warning = ValueWarning(name, args[at + 1]); !warning.empty())
        found.emplace_back(at, std::move(warning));
    }
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (used[i] || IsOneOf(args[i], kHelpWords) || IsOneOf(args[i], kVersionWords)) continue;
    if (!LooksLikeOption(args[i])) {
      found.emplace_back(i, "The argument " + Quoted(args[i]) + " is no option; it is ignored.");
    } else if (i + 1 < args.size() && !used[i + 1] && !LooksLikeOption(args[i + 1])) {
      // Most likely a misspelt option and its value.
      found.emplace_back(i, "Unknown option " + Quoted(args[i]) + " is ignored, with " +
                                Quoted(args[i + 1]) + " after it.");
      ++i;
    } else {
      found.emplace_back(i, "Unknown option " + Quoted(args[i]) + " is ignored.");
    }
  }
  if (const std::size_t at = FindOption(args, "/XML");
      at != std::string::npos && at + 1 < args.size()) {
    for (std::string& warning :
         XmlFileWarnings(args[at + 1], FindOption(args, "/PORT") != std::string::npos))
      found.emplace_back(at + 1, std::move(warning));
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> warnings;
  for (auto& [at, text] : found) warnings.push_back(std::move(text));
  return warnings;
}

TOutputOptions ReadOutputOptions(const std::vector<std::string>& args) {
  TOutputOptions out;
  if (auto v = OutputValue(args, "/SNAPSHOT", out.Error)) out.Snapshot = *v;
  if (auto v = OutputValue(args, "/EXPORT", out.Error)) out.Export = *v;
  if (auto v = OutputValue(args, "/STREAM", out.Error)) out.Stream = *v;
  if (auto v = OutputValue(args, "/METRICS", out.Error)) out.Metrics = *v;
  // The file may name the endpoint too; the command line's wins.
  if (const size_t at = FindOption(args, "/XML");
      out.Metrics.empty() && at != std::string::npos && at + 1 < args.size())
    out.Metrics = XmlMetricsAddress(args[at + 1]);
  if (auto v = OutputValue(args, "/EXITAFTER", out.Error)) {
    const std::optional<int> n = ParseDecimalInt(*v);
    if (n && *n >= 1) out.ExitAfter = *n;
  }
  if (auto v = OutputValue(args, "/EXITTIMEOUT", out.Error)) {
    const std::optional<int> n = ParseDecimalInt(*v);
    if (n && *n >= 1 && *n <= 86400) out.ExitTimeout = *n;
  }
  if (auto v = OutputValue(args, "/SNAPSHOTSCALE", out.Error)) {
    const std::optional<int> n = ParseDecimalInt(*v);
    if (n && *n >= 1 && *n <= 4) out.SnapshotScale = *n;
  }
  if (auto v = OutputValue(args, "/HISTORY", out.Error)) out.HistoryMinutes = CheckHistory(*v);
  if (auto v = OutputValue(args, "/THRESHOLD", out.Error))
    out.ThresholdPercent = CheckThreshold(*v);
  if (auto v = OutputValue(args, "/RECORD", out.Error)) out.Record = *v;
  return out;
}

bool WantsHelp(const std::vector<std::string>& args) {
  return InOptionPosition(args, kHelpWords);
}

bool WantsVersion(const std::vector<std::string>& args) {
  return InOptionPosition(args, kVersionWords);
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
         "Session options (with /XML the file sets the session and the others are ignored,\n"
         "all but /PORT, which takes the place of the file's port):\n"
         "  /XML file                the configuration file that sets the whole session\n"
         "  /HOST host               agent host name or address (localhost)\n"
         "  /COMMUNITY text          SNMP community (cobalt)\n"
         "  /PORT n                  agent UDP port, 1..65535 (161)\n"
         "  /SNMPVERSION n           1 for SNMPv1, 2 or 2c for SNMPv2c, 3 for SNMPv3 (1)\n"
         "  /POLLINGINTERVAL s       seconds between polls, 1..1000 (5)\n"
         "  /CHARTTITLE text         title line of the chart (Top receivers)\n"
         "  /PROGRAMTITLE text       first part of the window caption (Kestrava)\n"
         "  /SHOWLEGEND              show the legend; once any session option is given the\n"
         "                           legend is hidden without it, and the slices carry labels\n"
         "  /LEGENDALIGNMENT side    LEFT, RIGHT, TOP or BOTTOM (BOTTOM)\n"
         "  /WIDTH px                window width, 300..2000 (600)\n"
         "  /HEIGHT px               window height, 200..1600 (460)\n"
         "  /PREFERREDINSTANCE text  instance-mask entry to pick by itself after discovery\n"
         "  /NOBULK                  walk the table one get-next at a time, never with\n"
         "                           GetBulk (for agents whose GetBulk is broken)\n"
         "  /MAXROWS n               instances discovery takes at most, 1..10000000 (100000)\n"
         "  /ANTIALIAS               draw the pie, rims and outlines smooth\n"
         "  /INCLUDE regex           poll only rows whose label matches (e.g. \"^eth\")\n"
         "  /EXCLUDE regex           leave out rows whose label matches\n"
         "  /IFTYPE types            poll only these interface types: numbers or names such\n"
         "                           as ethernetCsmacd, softwareLoopback, l2vlan,\n"
         "                           ieee8023adLag, tunnel, comma-separated\n"
         "  /UPONLY                  poll only interfaces that are up (ifOperStatus)\n"
         "  /THEME name              light, dark, or system to follow the desktop (light)\n"
         "  /UNITS word              bits, bytes or none: octet counters read as bit/s\n"
         "                           (812 kbit/s), as B/s, or as bare numbers (bits)\n"
         "  /UTILISATION             show each interface's rate as a share of its speed\n"
         "Values out of range fall back to the default in brackets (standard error says so).\n"
         "/HOST takes a name or an address, IPv6 with or without brackets; a port goes in\n"
         "/PORT.\n"
         "\n"
         "SNMPv3 options (with /SNMPVERSION 3; session options too):\n"
         "  /USER name               the user (required)\n"
         "  /SECURITYLEVEL level     noAuthNoPriv, authNoPriv or authPriv (without it: as the\n"
         "                           passwords given)\n"
         "  /AUTHPROTOCOL name       MD5, SHA, SHA-224, SHA-256, SHA-384 or SHA-512 (MD5)\n"
         "  /AUTHPASSWORD text       authentication password, 8 characters or more; else\n"
         "                           from KESTRAVA_AUTHPASSWORD\n"
         "  /PRIVPROTOCOL name       DES, AES, AES-192 or AES-256 (DES)\n"
         "  /PRIVPASSWORD text       privacy password, 8 characters or more; else from\n"
         "                           KESTRAVA_PRIVPASSWORD\n"
         "  /CONTEXT name            the context name (empty)\n"
         "\n"
         "Output options (with or without /XML):\n"
         "  /SNAPSHOT file.png       write the chart as a PNG after every chart update\n"
         "  /EXPORT file.csv         write the slices as CSV (position,label,value) after\n"
         "                           every chart update\n"
         "  /STREAM file             write every poll as one line of JSON (NDJSON): time,\n"
         "                           agent, mode and every row with its value, change, rate\n"
         "                           and rank; \"-\" is standard output\n"
         "  /METRICS ADDRESS:PORT    serve every polled row for Prometheus at\n"
         "                           http://ADDRESS:PORT/metrics (127.0.0.1:9100, [::1]:9100;\n"
         "                           :9100 listens on every address); also \"metrics\" in\n"
         "                           the file\n"
         "  /EXITAFTER n             end with status 0 after the n-th chart update that showed\n"
         "                           at least one slice; errors then end with a non-zero\n"
         "                           status and the message on standard error\n"
         "  /EXITTIMEOUT s           with /EXITAFTER: end with status 1 when no update has\n"
         "                           shown a slice for s seconds, 1..86400\n"
         "  /SNAPSHOTSCALE n         the /SNAPSHOT image at n times the chart's size, 1..4 (1)\n"
         "  /HISTORY minutes         how far back the history behind the pie reaches, 1..1440\n"
         "                           (the file's \"history\", else 60)\n"
         "  /THRESHOLD percent       in the utilisation mode, tell when a row's utilisation\n"
         "                           goes above percent and back, 1..100 (the file's\n"
         "                           \"threshold\", else none)\n"
         "  /RECORD file             write the history and its rank changes to a recording\n"
         "                           (gzip-compressed NDJSON) when the run ends\n"
         "An output option's value may not be another option (\"/SNAPSHOT /EXPORT x\").\n"
         "\n"
         "  --help, /?, -h           print this text and exit\n"
         "  --version                print the version and exit\n";
}

}  // namespace kestrava
