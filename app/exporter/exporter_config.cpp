#include "app/exporter/exporter_config.h"

#include <yaml-cpp/yaml.h>

#include "config/session_checks.h"
#include "engine/metrics_text.h"

namespace kestrava {

namespace {

// "2s", "500ms", "1.5s" or a number of seconds; -1 when it is none.
int DurationMs(const std::string& text) {
  try {
    size_t used = 0;
    const double number = std::stod(text, &used);
    const std::string unit = text.substr(used);
    double ms = -1;
    if (unit.empty() || unit == "s") ms = number * 1000;
    if (unit == "ms") ms = number;
    if (unit == "m") ms = number * 60000;
    return ms >= 0 && ms <= 86400000.0 ? static_cast<int>(ms) : -1;
  } catch (const std::exception&) {
    return -1;
  }
}

// An IF-MIB name or a dotted OID, as a dotted OID; "" when it is neither.
std::string ColumnOid(const std::string& text) {
  for (const TIfMibObject& object : IfMibObjects()) {
    if (object.Table && (text == object.Name || text == object.Oid)) return std::string(object.Oid);
  }
  bool dotted = !text.empty() && text.front() != '.' && text.back() != '.';
  for (char c : text) dotted = dotted && ((c >= '0' && c <= '9') || c == '.');
  return dotted && text.find("..") == std::string::npos ? text : std::string();
}

std::string Text(const YAML::Node& node, const char* key, const std::string& fallback) {
  return node[key] ? node[key].as<std::string>() : fallback;
}

void ReadModule(const std::string& name, const YAML::Node& node, TExporterModule& module) {
  module.Name = name;
  const std::string version = Text(node, "version", std::to_string(module.SnmpVersion));
  if (version != "1" && version != "2" && version != "3")
    throw std::runtime_error("module " + name + ": version " + version + " is not 1, 2 or 3");
  module.SnmpVersion = std::stoi(version);
  if (const YAML::Node auth = node["auth"]) {
    module.Community = Text(auth, "community", module.Community);
    TSnmpV3Settings& v3 = module.V3;
    v3.User = Text(auth, "username", v3.User);
    v3.SecurityLevel = Text(auth, "security_level", v3.SecurityLevel);
    v3.AuthProtocol = Text(auth, "auth_protocol", v3.AuthProtocol);
    v3.AuthPassword = Text(auth, "password", v3.AuthPassword);
    v3.PrivProtocol = Text(auth, "priv_protocol", v3.PrivProtocol);
    v3.PrivPassword = Text(auth, "priv_password", v3.PrivPassword);
    v3.ContextName = Text(auth, "context_name", v3.ContextName);
  }
  if (module.SnmpVersion == 3 && module.V3.User.empty())
    throw std::runtime_error("module " + name + ": SNMPv3 needs auth.username");
  // The window's own checks: levels and protocols in their canonical spelling, passwords long
  // enough for the level.
  if (std::string why; module.SnmpVersion == 3 &&
                       !CompleteSnmpV3(module.V3, module.SnmpVersion, TValueSource::File, why))
    throw std::runtime_error("module " + name + ": " + why);
  if (const YAML::Node columns = node["metrics"]) {
    module.Columns.clear();
    for (const YAML::Node& column : columns) {
      const std::string oid = ColumnOid(column.as<std::string>());
      if (oid.empty())
        throw std::runtime_error("module " + name + ": \"" + column.as<std::string>() +
                                 "\" is neither an IF-MIB column nor a dotted OID");
      module.Columns.push_back(oid);
    }
  }
  if (node["timeout"]) {
    module.TimeoutMs = DurationMs(node["timeout"].as<std::string>());
    if (module.TimeoutMs < 10) throw std::runtime_error("module " + name + ": bad timeout");
  }
  if (node["retries"]) module.Retries = std::clamp(node["retries"].as<int>(), 0, 10);
  if (node["max_repetitions"])
    module.MaxRepetitions = std::clamp(node["max_repetitions"].as<int>(), 1, 100);
}

}  // namespace

TExporterModule BuiltInIfMib() {
  TExporterModule module;
  module.Name = "if_mib";
  for (const TIfMibObject& object : IfMibObjects()) {
    if (object.Table && object.Name != "ifIndex") module.Columns.emplace_back(object.Oid);
  }
  return module;
}

TExporterConfig DefaultExporterConfig() {
  TExporterConfig config;
  config.Modules["if_mib"] = BuiltInIfMib();
  config.Allowed = {QHostAddress::parseSubnet("127.0.0.0/8"), QHostAddress::parseSubnet("::1/128")};
  return config;
}

bool LoadExporterConfig(const std::string& path, TExporterConfig& config, std::string& error) {
  try {
    const YAML::Node root = YAML::LoadFile(path);
    if (const YAML::Node modules = root["modules"]) {
      for (const auto& entry : modules) {
        const std::string name = entry.first.as<std::string>();
        // A module named as a built-in one starts from it.
        TExporterModule module = name == "if_mib" ? BuiltInIfMib() : TExporterModule{};
        ReadModule(name, entry.second, module);
        if (module.Columns.empty())
          throw std::runtime_error("module " + name + " polls nothing: give it metrics");
        config.Modules[name] = module;
      }
    }
    if (const YAML::Node allowed = root["allowed_targets"]) {
      config.Allowed.clear();
      for (const YAML::Node& network : allowed) {
        const std::string text = network.as<std::string>();
        const auto subnet = QHostAddress::parseSubnet(QString::fromStdString(text));
        if (subnet.first.isNull()) throw std::runtime_error("\"" + text + "\" is no network");
        config.Allowed.push_back(subnet);
      }
    }
    if (root["max_targets"]) {
      const int n = root["max_targets"].as<int>();
      if (n < 1) throw std::runtime_error("max_targets is below 1");
      config.MaxTargets = static_cast<size_t>(n);
    }
    if (root["rewalk_interval"]) {
      const int ms = DurationMs(root["rewalk_interval"].as<std::string>());
      if (ms < 1000) throw std::runtime_error("rewalk_interval is below 1s");
      config.RewalkSeconds = ms / 1000;
    }
  } catch (const std::exception& e) {
    error = path + ": " + e.what();
    return false;
  }
  return true;
}

bool TargetAllowed(const TExporterConfig& config, const QHostAddress& address) {
  // An IPv4 address written as IPv6 (::ffff:10.0.0.1) is judged as IPv4.
  bool mapped = false;
  const quint32 v4 = address.toIPv4Address(&mapped);
  const QHostAddress plain = mapped ? QHostAddress(v4) : address;
  for (const auto& network : config.Allowed) {
    if (plain.isInSubnet(network)) return true;
  }
  return false;
}

}  // namespace kestrava
