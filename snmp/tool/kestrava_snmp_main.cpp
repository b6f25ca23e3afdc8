// kestrava-snmp: get, get-next and walk from the command line, on the SNMP manager component
// in its blocking mode. One line per binding, "OID = TYPE: value", as net-snmp's tools print
// with -On; errors go to standard error with the component's message.

#include <sys/socket.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kestrava_version.h"
#include "shared/oid_names.h"
#include "snmp/errors.h"
#include "snmp/snmpmgr.h"
#include "snmp/tool/value_format.h"
#include "snmp/transport.h"
#include "snmp/walk.h"

namespace {

const char kUsage[] =
    "usage: kestrava-snmp get|getnext|walk|bulkwalk [-v 1|2c|3] [-c COMMUNITY] [-p PORT]\n"
    "                     [-t SECONDS] [-Cr REPETITIONS]\n"
    "                     [-r RETRIES] [-u USER] [-l LEVEL] [-a PROTOCOL] [-A PASSWORD]\n"
    "                     [-x PROTOCOL] [-X PASSWORD] [-n CONTEXT] HOST OID...\n"
    "\n"
    "  get       reads the given OIDs in one request\n"
    "  getnext   reads the objects that follow the given OIDs, in one request\n"
    "  walk      reads every object under the OID (default 1.3.6.1.2.1), one get-next\n"
    "            request at a time\n"
    "  bulkwalk  the same with GetBulk requests (SNMPv2c and SNMPv3), -Cr objects at a time\n"
    "            (default 10)\n"
    "  OID       numeric (1.3.6.1.2.1.1.5.0, a leading dot allowed) or a MIB-II name the\n"
    "            program knows, with its instance (sysName.0, SNMPv2-MIB::sysName.0)\n"
    "  -v        SNMP version, 1, 2c or 3 (default 2c)\n"
    "  -c        community (default public)\n"
    "  -p        agent UDP port (default 161); HOST:PORT works as well, and net-snmp's\n"
    "            udp:HOST:PORT, udp6:[IPV6]:PORT and [IPV6]:PORT\n"
    "  -t        seconds to wait for each answer (default 1; fractions allowed)\n"
    "  -r        retries after a time-out (default 5)\n"
    "  SNMPv3, as net-snmp's tools take them:\n"
    "  -u        user name\n"
    "  -l        security level: noAuthNoPriv (default), authNoPriv or authPriv\n"
    "  -a        authentication protocol: MD5 (default), SHA, SHA-224, SHA-256, SHA-384,\n"
    "            SHA-512\n"
    "  -A        authentication password (at least 8 characters)\n"
    "  -x        privacy protocol: DES (default), AES, AES-192, AES-256\n"
    "  -X        privacy password (at least 8 characters)\n"
    "  -n        context name (default empty)\n"
    "  Options take their value attached as well (-v2c, -ccobalt), as net-snmp's tools do.\n"
    "  --version prints the version and ends\n"
    "  --verbose also says how many datagrams were dropped as not matching the request\n"
    "            (another source, community, request id or version)\n"
    "\n"
    "Prints one line per object, \"OID = TYPE: value\", with numeric OIDs and net-snmp's type\n"
    "names. Exit status 0 on success, 1 on an error (reported on standard error), 2 on\n"
    "wrong usage.\n";

struct TOptions {
  std::string command;
  int version = 2;
  std::string community = "public";
  int port = 161;
  int timeoutMs = 1000;
  int retries = 5;
  // SNMPv3, with net-snmp's defaults.
  std::string user;
  std::string level = "noAuthNoPriv";
  std::string authProtocol = "MD5";
  std::string authPassword;
  std::string privProtocol = "DES";
  std::string privPassword;
  std::string context;
  bool verbose = false;
  int repetitions = 10;  // bulkwalk's max-repetitions, net-snmp's default
  std::string host;
  std::vector<std::string> oids;
};

// The field of an option kept as text (-c and the SNMPv3 options) that arg names, or nullptr.
std::string* TextOption(TOptions& options, const std::string& arg) {
  if (arg == "-c") return &options.community;
  if (arg == "-u") return &options.user;
  if (arg == "-l") return &options.level;
  if (arg == "-a") return &options.authProtocol;
  if (arg == "-A") return &options.authPassword;
  if (arg == "-x") return &options.privProtocol;
  if (arg == "-X") return &options.privPassword;
  if (arg == "-n") return &options.context;
  return nullptr;
}

// A protocol name as net-snmp also spells it (SHA256, AES128) in the component's spelling.
std::string ProtocolName(std::string name) {
  std::string upper = name;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  for (const auto& [alias, canonical] : {std::pair<const char*, const char*>{"SHA1", "SHA"},
                                         {"SHA224", "SHA-224"},
                                         {"SHA256", "SHA-256"},
                                         {"SHA384", "SHA-384"},
                                         {"SHA512", "SHA-512"},
                                         {"AES128", "AES"},
                                         {"AES-128", "AES"},
                                         {"AES192", "AES-192"},
                                         {"AES256", "AES-256"}})
    if (upper == alias) return canonical;
  return name;
}

// The component's SNMPv3 settings from net-snmp's flags; -l also takes net-snmp's short forms.
void UseV3(kestrava::TSnmpMgr& mgr, const TOptions& options) {
  std::string level = options.level;
  if (level == "1" || level == "noauth" || level == "nanp") level = "noAuthNoPriv";
  if (level == "2" || level == "auth" || level == "anp") level = "authNoPriv";
  if (level == "3" || level == "priv" || level == "ap") level = "authPriv";
  mgr.SetUser(options.user);
  mgr.Config("SecurityLevel=" + level);
  mgr.Config("AuthType=" + ProtocolName(options.authProtocol));
  mgr.Config("PrivType=" + ProtocolName(options.privProtocol));
  mgr.Config("AuthPassword=" + options.authPassword);
  mgr.Config("PrivPassword=" + options.privPassword);
  mgr.Config("ContextName=" + options.context);
}

// The agent as net-snmp's tools take it: [udp:|udp6:]HOST[:PORT], an IPv6 address in
// brackets when a port follows ([::1]:161), or bare (::1). family: AF_INET for udp:, AF_INET6
// for udp6:, 0 otherwise. Returns an error text, empty when the agent could be read.
std::string ParseAgent(const std::string& agent, TOptions& options, int& family) {
  std::string rest = agent;
  auto lower = [](std::string text) {
    for (char& c : text)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text;
  };
  for (const auto& [prefix, prefixFamily] : {std::pair<const char*, int>{"udp:", AF_INET},
                                             {"udp6:", AF_INET6},
                                             {"udpv6:", AF_INET6},
                                             {"udpipv6:", AF_INET6}}) {
    const size_t n = std::strlen(prefix);
    if (rest.size() > n && lower(rest.substr(0, n)) == prefix) {
      rest.erase(0, n);
      family = prefixFamily;
      break;
    }
  }
  std::string port;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) return "no ] after the IPv6 address: " + agent;
    const std::string after = rest.substr(close + 1);
    if (!after.empty() && after[0] != ':') return "unexpected text after ]: " + agent;
    if (!after.empty()) port = after.substr(1);
    rest = rest.substr(1, close - 1);
  } else if (const size_t colon = rest.find(':');
             colon != std::string::npos && rest.find(':', colon + 1) == std::string::npos) {
    // One colon separates the port; more than one make an IPv6 address without a port.
    port = rest.substr(colon + 1);
    rest.erase(colon);
  }
  if (rest.empty()) return "no agent host: " + agent;
  if (!port.empty()) {
    options.port = std::atoi(port.c_str());
    if (options.port < 1 || options.port > 65535) return "bad agent port: " + agent;
  }
  options.host = rest;
  return std::string();
}

int UsageError(const std::string& message) {
  std::cerr << "kestrava-snmp: " << message << "\n" << kUsage;
  return 2;
}

// Dotted decimal arcs, each below 2^32, at least two.
bool IsNumericOid(const std::string& oid) {
  size_t arcs = 0;
  for (size_t at = 0; at <= oid.size();) {
    const size_t dot = std::min(oid.find('.', at), oid.size());
    const std::string arc = oid.substr(at, dot - at);
    if (arc.empty() || arc.size() > 10 ||
        arc.find_first_not_of("0123456789") != std::string::npos ||
        std::strtoull(arc.c_str(), nullptr, 10) > 0xFFFFFFFFull)
      return false;
    ++arcs;
    at = dot + 1;
  }
  return arcs >= 2;
}

// An OID of the command line in dotted numbers: numeric text (a leading dot allowed), or a name
// of the program's OID name table with the instance after it ("sysName.0", also with net-snmp's
// "SNMPv2-MIB::" before it). Empty when it is neither.
std::string NumericOid(std::string oid) {
  if (!oid.empty() && oid[0] == '.') oid.erase(0, 1);
  if (IsNumericOid(oid)) return oid;
  if (const size_t module = oid.find("::"); module != std::string::npos) oid.erase(0, module + 2);
  const size_t dot = oid.find('.');
  const std::string name = oid.substr(0, dot);
  if (name.empty()) return std::string();
  const kestrava::TOidNames names;
  for (const kestrava::TOIDRec& row : names.Rows()) {
    if (row.Name != name) continue;
    const std::string numeric = row.Oid + (dot == std::string::npos ? "" : oid.substr(dot));
    return IsNumericOid(numeric) ? numeric : std::string();
  }
  return std::string();
}

// Sends the request prepared in mgr with send, once more after each time-out, up to retries
// times.
template <typename Send>
void WithRetries(int retries, Send send) {
  for (int attempt = 0;; ++attempt) {
    try {
      send();
      return;
    } catch (const kestrava::ESnmpMgr& e) {
      if (e.Code != 301 || attempt >= retries) throw;
    }
  }
}

void SendWithRetries(kestrava::TSnmpMgr& mgr, bool next, int retries) {
  WithRetries(retries, [&] {
    if (next)
      mgr.SendGetNextRequest();
    else
      mgr.SendGetRequest();
  });
}

void PrepareRequest(kestrava::TSnmpMgr& mgr, const std::vector<std::string>& oids) {
  mgr.SetObjCount(static_cast<int>(oids.size()));
  for (size_t i = 0; i < oids.size(); ++i) {
    mgr.SetObjId(static_cast<int>(i) + 1, oids[i]);
    mgr.SetObjType(static_cast<int>(i) + 1, 5);  // NULL values, as every manager sends
  }
}

void WriteOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void PrintBindings(kestrava::TSnmpMgr& mgr) {
  std::string out;
  for (int i = 1; i <= mgr.ObjCount(); ++i)
    out += kestrava::FormatBinding(mgr.ObjId(i), mgr.ObjType(i), mgr.ObjValue(i)) + "\n";
  WriteOut(out);
}

// The agent's error status, on standard error; returns the exit status 1.
int ReportErrorStatus(kestrava::TSnmpMgr& mgr) {
  std::string text =
      "Error in packet: " + mgr.ErrorDescription() + " (" + std::to_string(mgr.ErrorStatus()) + ")";
  const int index = mgr.ErrorIndex();
  if (index >= 1 && index <= mgr.ObjCount()) text += ", failed object: ." + mgr.ObjId(index);
  std::cerr << text << "\n";
  return 1;
}

// A walk's answer that does not follow its request, after what was printed; returns the exit
// status 1.
int ReportNotIncreasing(const std::string& current, const std::string& oid) {
  std::fflush(stdout);
  std::cerr << "Error: OID not increasing: ." << current << "\n >= ." << oid << "\n\n";
  return 1;
}

std::string WalkRoot(const TOptions& options) {
  return options.oids.empty() ? "1.3.6.1.2.1" : options.oids[0];
}

// A walk that printed no binding under the root gets the root itself, printed when the agent
// answers it.
int GetRoot(kestrava::TSnmpMgr& mgr, const std::string& root, int retries) {
  PrepareRequest(mgr, {root});
  SendWithRetries(mgr, false, retries);
  if (mgr.ErrorStatus() == 0) PrintBindings(mgr);
  return 0;
}

// get and getnext: one request for all the OIDs.
int Get(kestrava::TSnmpMgr& mgr, const TOptions& options) {
  PrepareRequest(mgr, options.oids);
  SendWithRetries(mgr, options.command == "getnext", options.retries);
  if (mgr.ErrorStatus() != 0) return ReportErrorStatus(mgr);
  PrintBindings(mgr);
  return 0;
}

// A walk of get-next or GetBulk requests (non-repeaters 0), read as net-snmp's snmpwalk and
// snmpbulkwalk read it (snmp/walk.h): the bindings of each answer under the root are printed,
// the agent's exceptions too, which end the walk; a binding outside the root is not printed and
// ends it; noSuchName is "End of MIB", on standard output; a binding that does not follow the
// request's OID is printed, then reported.
int Walk(kestrava::TSnmpMgr& mgr, const TOptions& options, bool bulk) {
  kestrava::TWalk walk(WalkRoot(options), bulk ? options.repetitions : 0, options.version,
                       kestrava::TWalk::TReading::kLikeNetSnmp);
  int printed = 0;
  for (;;) {
    const std::string asked = walk.Next();
    PrepareRequest(mgr, {asked});
    WithRetries(options.retries, [&] {
      if (bulk)
        mgr.SendGetBulkRequest(0, walk.Repetitions());
      else
        mgr.SendGetNextRequest();
    });
    std::vector<std::string> oids;
    for (int i = 1; i <= mgr.ObjCount(); ++i) oids.push_back(mgr.ObjId(i));
    std::vector<kestrava::TWalkBindingRef> bindings;
    for (size_t i = 0; i < oids.size(); ++i)
      bindings.push_back({oids[i], mgr.ObjType(static_cast<int>(i) + 1)});
    std::string out;
    std::string notIncreasing;  // the binding that did not follow the request's OID
    const kestrava::TWalk::TStep step =
        walk.Step(mgr.ErrorStatus(), bindings, [&](size_t i, kestrava::TWalkBinding binding) {
          if (binding == kestrava::TWalkBinding::kOutside) return true;
          const int index = static_cast<int>(i) + 1;
          out += kestrava::FormatBinding(oids[i], bindings[i].Type, mgr.ObjValue(index)) + "\n";
          ++printed;
          if (binding != kestrava::TWalkBinding::kNotIncreasing) return true;
          notIncreasing = oids[i];
          return false;
        });
    if (step == kestrava::TWalk::TStep::kEndOfView) {
      std::fputs("End of MIB\n", stdout);
      break;
    }
    if (step == kestrava::TWalk::TStep::kError) return ReportErrorStatus(mgr);
    WriteOut(out);
    if (!notIncreasing.empty()) return ReportNotIncreasing(asked, notIncreasing);
    if (step != kestrava::TWalk::TStep::kNext) break;
  }
  return printed > 0 ? 0 : GetRoot(mgr, walk.Root(), options.retries);
}

// The command on the prepared component; 0 on success, 1 on an error (reported).
int Run(kestrava::TSnmpMgr& mgr, const TOptions& options) {
  if (options.command == "walk") return Walk(mgr, options, false);
  if (options.command == "bulkwalk") return Walk(mgr, options, true);
  return Get(mgr, options);
}

// ---- the command line ----

// The argument after argv[i] (i moves to it), or nullptr when there is none.
const char* NextArgument(int argc, char** argv, int& i) {
  return i + 1 < argc ? argv[++i] : nullptr;
}

// net-snmp's application flags: -Cr10, -Cr 10 or -C r10 (max-repetitions). Returns an empty
// text, or what is wrong.
std::string ReadApplicationFlag(const std::string& arg, int argc, char** argv, int& i,
                                TOptions& options) {
  std::string flag = arg.substr(2);
  if (flag.empty()) {
    const char* v = NextArgument(argc, argv, i);
    if (!v) return "-C needs a value";
    flag = v;
  }
  if (flag[0] != 'r') return "unsupported -C flag: " + flag;
  std::string count = flag.substr(1);
  if (count.empty()) {
    const char* v = NextArgument(argc, argv, i);
    if (!v) return "-Cr needs a number";
    count = v;
  }
  options.repetitions = std::atoi(count.c_str());
  if (options.repetitions < 1) return "-Cr must be 1 or more";
  return std::string();
}

bool IsNumberOption(const std::string& arg) {
  return arg == "-v" || arg == "-p" || arg == "-t" || arg == "-r";
}

// The value of -v, -p, -t or -r. Returns an empty text, or what is wrong.
std::string ReadNumberOption(const std::string& arg, const char* value, TOptions& options) {
  if (arg == "-v") {
    const std::string version = value;
    if (version == "1")
      options.version = 1;
    else if (version == "2c" || version == "2")
      options.version = 2;
    else if (version == "3")
      options.version = 3;
    else
      return "unsupported version: " + version;
  } else if (arg == "-p") {
    options.port = std::atoi(value);
  } else if (arg == "-t") {
    options.timeoutMs = static_cast<int>(std::atof(value) * 1000);
    if (options.timeoutMs <= 0) return "-t must be positive";
  } else {
    options.retries = std::atoi(value);
  }
  return std::string();
}

// One argument at argv[i], with the value that belongs to it. Returns an empty text, or what
// is wrong.
std::string ReadArgument(int argc, char** argv, int& i, TOptions& options,
                         std::vector<std::string>& positional) {
  const std::string arg = argv[i];
  if (arg == "--verbose") {
    options.verbose = true;
    return std::string();
  }
  if (arg.rfind("-C", 0) == 0) return ReadApplicationFlag(arg, argc, argv, i, options);
  // net-snmp's tools also take the value attached to its option: -v2c, -ccobalt.
  const std::string option =
      arg.size() > 2 && arg[0] == '-' && arg[1] != '-' ? arg.substr(0, 2) : arg;
  std::string* text = TextOption(options, option);
  if (text || IsNumberOption(option)) {
    const std::string attached = arg.substr(option.size());
    const char* value = option != arg ? attached.c_str() : NextArgument(argc, argv, i);
    if (!value) return arg + " needs a value";
    if (!text) return ReadNumberOption(option, value, options);
    *text = value;
    return std::string();
  }
  if (arg.size() > 1 && arg[0] == '-') return "unknown option: " + arg;
  positional.push_back(arg);
  return std::string();
}

// The command, the agent and the OIDs. Returns an empty text, or what is wrong.
std::string ReadPositional(const std::vector<std::string>& positional, TOptions& options,
                           int& family) {
  if (positional.size() < 2) return "a command and a host are needed";
  options.command = positional[0];
  options.host = positional[1];
  for (size_t i = 2; i < positional.size(); ++i) options.oids.push_back(positional[i]);
  const bool walk = options.command == "walk" || options.command == "bulkwalk";
  if (options.command != "get" && options.command != "getnext" && !walk)
    return "unknown command: " + options.command;
  if (!walk && options.oids.empty()) return "no OID given";
  if (options.command == "bulkwalk" && options.version == 1)
    return "bulkwalk needs SNMPv2c or SNMPv3 (GetBulk is not part of SNMPv1)";
  return ParseAgent(positional[1], options, family);
}

// Reads the command line into options and the agent's address family (see ParseAgent).
// Returns nothing to go on, or the exit status: 0 after the help, 2 on wrong usage (reported).
std::optional<int> ReadCommandLine(int argc, char** argv, TOptions& options, int& family) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--version" || arg == "-V") {
      std::cout << "kestrava-snmp " KESTRAVA_VERSION "\n";
      return 0;
    }
    if (const std::string error = ReadArgument(argc, argv, i, options, positional); !error.empty())
      return UsageError(error);
  }
  if (const std::string error = ReadPositional(positional, options, family); !error.empty())
    return UsageError(error);
  // An OID that does not read would otherwise go out as a run of zeros.
  for (std::string& oid : options.oids) {
    const std::string numeric = NumericOid(oid);
    if (numeric.empty()) {
      std::cerr << "kestrava-snmp: " << oid
                << ": Unknown Object Identifier (give it in numbers, or as a MIB-II name the "
                   "program knows, such as sysName.0)\n";
      return 1;
    }
    oid = numeric;
  }
  return std::nullopt;
}

// udp: and udp6: ask for a name's address of that family, as net-snmp's transports do.
// Returns 0, or 1 when the name has no such address (reported).
int ResolveInFamily(TOptions& options, int family) {
  if (family == 0) return 0;
  kestrava::TNetAddress address;
  if (kestrava::ParseAddress(options.host, address)) return 0;
  const int code = kestrava::ResolveHostName(options.host, address, family);
  if (code != 0) {
    std::cerr << "kestrava-snmp: " << code << ": " << kestrava::WinsockErrorText(code) << "\n";
    return 1;
  }
  options.host = kestrava::AddressText(address);
  return 0;
}

// ---- the component ----

void Configure(kestrava::TSnmpMgr& mgr, const TOptions& options) {
  mgr.SetLocalPort(0);
  mgr.Config("TimeoutInMilliseconds=true");
  mgr.SetTimeout(options.timeoutMs);
  mgr.SetSNMPVersion(options.version);
  mgr.SetCommunity(options.community);
  mgr.SetRemoteHost(options.host);
  mgr.SetRemotePort(options.port);
  if (options.version == 3) UseV3(mgr, options);
}

void ReportError(const kestrava::ESnmpMgr& e) {
  std::cerr << "kestrava-snmp: " << e.what() << "\n";
}

// Runs the command on a component set up from the options; 0 on success, 1 on an error
// (reported).
int Execute(const TOptions& options) {
  try {
    kestrava::TSnmpMgr mgr;
    Configure(mgr, options);
    int status = 1;
    try {
      status = Run(mgr, options);
    } catch (const kestrava::ESnmpMgr& e) {
      ReportError(e);
    }
    // Forged or late answers are dropped without a word unless asked.
    if (options.verbose)
      std::cerr << "kestrava-snmp: " << mgr.Config("DroppedPackets")
                << " datagrams dropped as not matching the request\n";
    return status;
  } catch (const kestrava::ESnmpMgr& e) {
    ReportError(e);
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  int family = 0;
  if (const std::optional<int> status = ReadCommandLine(argc, argv, options, family))
    return *status;
  if (const int status = ResolveInFamily(options, family)) return status;
  QCoreApplication app(argc, argv);
  return Execute(options);
}
