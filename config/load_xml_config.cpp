#include "config/load_xml_config.h"

#include <exception>

#include "config/kestrava_xml.h"
#include "config/row_filter_settings.h"
#include "config/secrets.h"
#include "config/session_checks.h"
#include "config/validators.h"
#include "shared/formula_check.h"
#include "shared/instance_helpers.h"
#include "shared/oid_names.h"

namespace kestrava {

namespace {

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Every occurrence, left to right; the scan goes on after each replacement.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t hit; (hit = text.find(from, start)) != std::string::npos;
       start = hit + from.size()) {
    out.append(text, start, hit - start);
    out += to;
  }
  out.append(text, start, std::string::npos);
  return out;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Single values whose conversion failure leaves the value as it was.
template <typename Read, typename Apply>
void ReadCaught(Read read, Apply apply) {
  try {
    apply(read());
  } catch (const EXmlConversion&) {
  }
}

// A filter that cannot filter ends the load: polling every row instead would hide the mistake.
void ReadRowFilters(const TXMLKestravaType& root, TConfigRec& cfg) {
  cfg.IncludeLabels = root.Text("include");
  cfg.ExcludeLabels = root.Text("exclude");
  for (const auto& [name, pattern] :
       {std::pair{"include", cfg.IncludeLabels}, std::pair{"exclude", cfg.ExcludeLabels}}) {
    if (std::string fault = LabelPatternFault(name, pattern); !fault.empty())
      throw EXmlConversion(fault);
  }
  if (const std::string types = root.Text("iftype"); !types.empty()) {
    std::string error;
    if (!ParseIfTypes(types, cfg.IfTypes, error)) throw EXmlConversion("iftype: " + error);
  }
  if (!root.Text("uponly").empty()) cfg.UpOnly = XmlToBool(root.Text("uponly"));
}

// "mode" (raw, delta or utilisation; it wins over the shooter's "raw") and "units" (bits, bytes
// or none); an unknown word leaves the value as it was.
void ReadValueView(const TXMLKestravaType& root, TConfigRec& cfg) {
  const std::string mode = UpperAscii(root.Text("mode"));
  if (mode == "RAW" || mode == "DELTA") {
    cfg.RawValues = mode == "RAW";
    cfg.Utilisation = false;
  } else if (mode == "UTILISATION" || mode == "UTILIZATION") {
    cfg.RawValues = false;
    cfg.Utilisation = true;
  }
  ParseUnits(root.Text("units"), cfg.Units);
}

void ReadRootValues(const TXMLKestravaType& root, TConfigRec& cfg, TRequest& session) {
  if (std::string v = root.Programtitle(); !v.empty()) cfg.ProgramTitle = v;
  if (std::string v = root.Charttitle(); !v.empty()) cfg.ChartTitle = v;
  ReadCaught([&] { return root.Chart3D(); }, [&](bool v) { cfg.View3D = v; });
  ReadCaught([&] { return root.Showlegend(); }, [&](bool v) { cfg.ShowLegend = v; });

  const std::string alignment = UpperAscii(root.Legendalignment());
  if (alignment == "LEFT") cfg.LegendAlignment = laLeft;
  if (alignment == "RIGHT") cfg.LegendAlignment = laRight;
  if (alignment == "TOP") cfg.LegendAlignment = laTop;
  if (alignment == "BOTTOM") cfg.LegendAlignment = laBottom;

  cfg.PreferredInstance = root.Preferredinstance();
  ReadCaught([&] { return root.Slices(); }, [&](int v) { cfg.Slices = v; });
  ReadCaught([&] { return root.Refreshinstances(); }, [&](bool v) { cfg.RefreshInstances = v; });
  if (std::string v = root.Host(); !v.empty()) {
    std::string error;
    if (!TakeHost(v, TValueSource::File, session.Host, error)) throw EXmlConversion(error);
  }
  if (std::string v = root.Community(); !v.empty()) session.Community = v;

  ReadCaught([&] { return root.Pollinginterval(); },
             [&](int v) { session.Interval = CheckInterval(std::to_string(v)); });
  ReadCaught([&] { return root.Width(); },
             [&](int v) { cfg.WindowWidth = CheckWidth(std::to_string(v)); });
  ReadCaught([&] { return root.Height(); },
             [&](int v) { cfg.WindowHeight = CheckHeight(std::to_string(v)); });

  const TXMLShooterType shooter = root.Shooter();
  session.RemotePort = 161;
  ReadCaught([&] { return shooter.Remoteport(); },
             [&](int v) { session.RemotePort = CheckPort(std::to_string(v)); });
  cfg.LocalPort = 0;
  ReadCaught([&] { return shooter.Localport(); },
             [&](int v) { cfg.LocalPort = v >= 1 && v <= 65535 ? v : 0; });
  // net-snmp's "2c" as well as the numbers; anything else is version 1.
  session.SnmpVersion = CheckVersion(shooter.Text("snmpversion"));
  ReadCaught([&] { return shooter.Raw(); }, [&](bool v) { cfg.RawValues = v; });
  ReadValueView(root, cfg);
  ReadCaught([&] { return shooter.Bulkwalk(); }, [&](bool v) { cfg.BulkWalk = v; });
  ReadCaught([&] { return root.Antialias(); }, [&](bool v) { cfg.Antialias = v; });
  ReadCaught([&] { return root.Maxrows(); },
             [&](int v) { cfg.MaxRows = CheckMaxRows(std::to_string(v)); });
  ReadRowFilters(root, cfg);
  if (std::optional<TTheme> theme = ParseTheme(root.Text("theme"))) cfg.Theme = *theme;
  ReadCaught([&] { return root.History(); },
             [&](int v) { cfg.HistoryMinutes = CheckHistory(std::to_string(v)); });
  cfg.UtilisationThreshold = CheckThreshold(root.Text("threshold"));

  TSnmpV3Settings& v3 = cfg.V3;
  v3.User = shooter.User();
  v3.SecurityLevel = shooter.Securitylevel();
  v3.AuthProtocol = shooter.Authprotocol();
  std::string password = shooter.Authpassword();
  ReplaceSecret(v3.AuthPassword, password);
  v3.PrivProtocol = shooter.Privprotocol();
  password = shooter.Privpassword();
  ReplaceSecret(v3.PrivPassword, password);
  v3.ContextName = shooter.Contextname();
  std::string error;
  if (!CompleteSnmpV3(v3, session.SnmpVersion, TValueSource::File, error)) {
    throw EXmlConversion(error);
  }
}

// One "shootertarget"; nothing here is caught, a failure ends the load.
void ReadTarget(const TXMLShootertargetType& target, TConfigRec& cfg) {
  const std::string oid = RewriteOidDirective(target.Oid());
  if (StartsWith(oid, "&")) {
    if (StartsWith(oid, "&Formula")) {
      // An entry that can never give a value is refused now, not shown as "Null" forever.
      const std::string entry = MakeFormulaEntry(target.Formula());
      if (const std::string fault = FormulaEntryFault(entry); !fault.empty()) {
        throw EXmlConversion("Formula " + std::to_string(cfg.Formulas.size() + 1) + " (\"" +
                             FormulaLabel(entry) + "\"): " + fault + ".");
      }
      cfg.Formulas.push_back(entry);
      cfg.FormulaUnits.resize(cfg.Formulas.size());
      cfg.FormulaUnits.back() = target.Unit();
    } else if (StartsWith(oid, "&AL=")) {
      cfg.LabelOid = oid.substr(4);
      cfg.HasLabelOid = true;
    } else if (StartsWith(oid, "&IM=")) {
      cfg.InstanceMask = oid.substr(4);
    }
  } else {
    const std::string instance = UpperAscii(target.Instance());
    if (instance == "AT RUNTIME") cfg.InstanceMode = kInstanceModeAtRuntime;
    if (instance == "ALL INSTANCES") cfg.InstanceMode = kInstanceModeAllInstances;
    // "visible" is read before anything is appended, so that a target without it leaves the
    // OID and visibility lists the same length.
    const bool visible = target.Visible();
    cfg.TargetOids.push_back(oid);
    cfg.TargetVisibility.push_back(visible ? "0" : "2");
    if (std::string descr = target.Oiddescr(); !descr.empty()) cfg.OidNames.Register(oid, descr);
  }
  if (!StartsWith(oid, "&AL=") && !StartsWith(oid, "&IM=")) ++cfg.LastSlot;
}

}  // namespace

std::vector<std::string> XmlFileWarnings(const std::string& fileName, bool portGiven) {
  std::vector<std::string> warnings;
  QDomDocument doc;
  try {
    OpenConfigDocument(fileName, doc);
  } catch (const std::exception&) {
    return warnings;  // the load says what is wrong with the file
  }
  const TXMLKestravaType root = GetConfigRoot(doc);
  const TXMLShooterType shooter = root.Shooter();
  const auto ranged = [&](const std::string& text, const char* name, TIntRange range) {
    if (text.empty() || InRange(text, range)) return;
    warnings.push_back(std::string(name) + " \"" + text + "\" in " + fileName +
                       " is not a number in " + std::to_string(range.Low) + ".." +
                       std::to_string(range.High) + "; " + std::to_string(range.Fallback) +
                       " is used instead.");
  };
  ranged(root.Text("pollinginterval"), "pollinginterval", kIntervalRange);
  ranged(root.Text("width"), "width", kWidthRange);
  ranged(root.Text("height"), "height", kHeightRange);
  if (!portGiven) ranged(shooter.Text("remoteport"), "remoteport", kPortRange);
  if (const std::string threshold = root.Text("threshold");
      !threshold.empty() && !InRange(threshold, kThresholdRange)) {
    warnings.push_back("threshold \"" + threshold + "\" in " + fileName +
                       " is not a number in 1..100; no threshold is watched.");
  }
  if (const std::string theme = root.Text("theme"); !theme.empty() && !ParseTheme(theme)) {
    warnings.push_back("theme \"" + theme + "\" in " + fileName +
                       " is not light, dark or system; light is used instead.");
  }
  if (const std::string version = shooter.Text("snmpversion");
      !version.empty() && !ParseVersion(version)) {
    warnings.push_back("snmpversion \"" + version + "\" in " + fileName +
                       " is not 1, 2, 2c or 3; SNMPv1 is used instead.");
  }
  return warnings;
}

std::string XmlMetricsAddress(const std::string& fileName) {
  QDomDocument doc;
  try {
    OpenConfigDocument(fileName, doc);
  } catch (const std::exception&) {
    return {};
  }
  return GetConfigRoot(doc).Text("metrics");
}

std::string XmlLoadErrorText(const std::string& fileName, const std::string& reason) {
  return "XML Parser error! The XML file: " + fileName +
         " could not be parsed. Error message: " + reason;
}

std::string RewriteOidDirective(const std::string& oidText) {
  std::string text = UpperAscii(oidText);
  text = ReplaceAll(text, "FORMULA", "&Formula");
  text = ReplaceAll(text, "AL=", "&AL=");
  text = ReplaceAll(text, "IM=", "&IM=");
  return ReplaceAll(text, "&&", "&");
}

std::string MakeFormulaEntry(const std::string& formulaText) {
  return ReplaceAll(ReplaceAll(formulaText, "!@#$%", ",") + ",", ",,", ",");
}

bool LoadXmlConfig(const std::string& fileName, TConfigRec& cfg, TRequest& session,
                   const std::function<void(const std::string&)>& showMessageBox) {
  cfg.LastSlot = -1;
  cfg.HasLabelOid = false;
  cfg.LabelOid.clear();
  cfg.InstanceMask.clear();
  session.OidList.clear();
  try {
    QDomDocument doc;  // closed on every way out by going out of scope
    OpenConfigDocument(fileName, doc);
    const TXMLKestravaType root = GetConfigRoot(doc);
    ReadRootValues(root, cfg, session);
    const TXMLShootertargetsType targets = root.Shooter().Shootertargets();
    for (int i = 0; i < targets.Count(); ++i) ReadTarget(targets.Item(i), cfg);
  } catch (const std::exception& e) {
    if (showMessageBox) showMessageBox(XmlLoadErrorText(fileName, e.what()));
    return false;
  } catch (...) {
    if (showMessageBox) showMessageBox(XmlLoadErrorText(fileName, "Unknown error."));
    return false;
  }
  if (cfg.LabelOid.empty() && !cfg.TargetOids.empty()) cfg.LabelOid = cfg.TargetOids.front();
  if (cfg.InstanceMask.find("RT") != std::string::npos) cfg.InstanceMode = kInstanceModeAtRuntime;
  return true;
}

}  // namespace kestrava
