#pragma once
// The configuration of kestrava-exporter, read once at start from a YAML file: the modules
// (what to poll and with which credentials), the networks targets may be in, and how often a
// target's rows are walked again. Credentials live here, never in a scrape's URL. Without a
// file there is the built-in if_mib module (SNMPv2c, community "public", as the SNMP exporter
// does) and only loopback targets are allowed: an exporter that sends SNMP wherever a URL says
// would be an open relay.
// Thread: a plain value.

#include <QHostAddress>
#include <QPair>
#include <map>
#include <string>
#include <vector>

#include "config/config_rec.h"

namespace kestrava {

struct TExporterModule {
  std::string Name;
  int SnmpVersion = 2;
  std::string Community = "public";
  TSnmpV3Settings V3;
  // The columns polled, dotted, in the order given; each is read at every row (ifIndex).
  std::vector<std::string> Columns;
  int TimeoutMs = 1000;  // per request, before it is sent again
  int Retries = 2;
  int MaxRepetitions = 25;  // GetBulk walks of the label columns
};

struct TExporterConfig {
  std::map<std::string, TExporterModule> Modules;
  std::vector<QPair<QHostAddress, int>> Allowed;  // networks targets may be in
  int RewalkSeconds = 300;  // rows are walked again after this long (and when the agent restarts)
  // Targets kept at once: each holds a socket and its rows, and an allowed network may be large.
  size_t MaxTargets = 10000;
};

// The built-in if_mib module: ifTable's and ifXTable's counters and gauges.
TExporterModule BuiltInIfMib();
// The configuration without a file.
TExporterConfig DefaultExporterConfig();
// Reads the file over the defaults; false with why (one line) when it cannot be used.
bool LoadExporterConfig(const std::string& path, TExporterConfig& config, std::string& error);
// Whether an address is in one of the allowed networks.
bool TargetAllowed(const TExporterConfig& config, const QHostAddress& address);

}  // namespace kestrava
