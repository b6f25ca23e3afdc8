#pragma once
// LoadXmlConfig: reads a configuration file into the configuration values and the session
// request, registers the targets' display names in the OID name table, and works out the
// label OID and the instance mode. On any failure it shows the one load error message through
// showMessageBox (exactly once) and returns false; values read before the failure stay.
// Thread: the window's thread (the OID name table has no lock).

#include <functional>
#include <string>
#include <vector>

#include "config/config_rec.h"
#include "shared/session_types.h"

namespace kestrava {

// "XML Parser error! The XML file: <file> could not be parsed. Error message: <reason>"
std::string XmlLoadErrorText(const std::string& fileName, const std::string& reason);

// The directive rewriting of an "oid" text: upper-cased, then "FORMULA" -> "&Formula",
// "AL=" -> "&AL=", "IM=" -> "&IM=", "&&" -> "&".
std::string RewriteOidDirective(const std::string& oidText);

// A "formula" text made into a formula entry: "!@#$%" counts as ",", a closing "," is
// appended and ",," collapses to ",".
std::string MakeFormulaEntry(const std::string& formulaText);

// What the file asks for that the load replaces, one sentence each for standard error: numbers
// out of range (the port only when portGiven is false: "/PORT" replaces it anyway) and an
// unknown SNMP version, with the value used instead. Nothing when the file cannot be read:
// the load says why.
std::vector<std::string> XmlFileWarnings(const std::string& fileName, bool portGiven);
// The file's "metrics" element (the Prometheus endpoint's ADDRESS:PORT); "" without one or
// when the file does not open (its load says why).
std::string XmlMetricsAddress(const std::string& fileName);

bool LoadXmlConfig(const std::string& fileName, TConfigRec& cfg, TRequest& session,
                   const std::function<void(const std::string&)>& showMessageBox);

}  // namespace kestrava
