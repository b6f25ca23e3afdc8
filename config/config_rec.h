#pragma once
// TConfigRec: the configuration values of one session, with their defaults. The connection
// values (interval, community, host, port, version) live in the session request (TRequest).

#include <string>
#include <vector>

#include "shared/oid_names.h"
#include "shared/session_types.h"
#include "shared/unit_text.h"

namespace kestrava {

// Instance modes: how the rows of the value slots are found.
inline constexpr int kInstanceModeNone = 0;
inline constexpr int kInstanceModeAtRuntime = 2;
inline constexpr int kInstanceModeAllInstances = 3;

// The look of the window and the chart: light (the classic look), dark, or as the desktop
// prefers (light when it says nothing).
enum class TTheme { kLight, kDark, kSystem };

// SNMPv3 user-based security, as the user named it (names in their canonical spelling).
struct TSnmpV3Settings {
  std::string User;
  std::string SecurityLevel;  // noAuthNoPriv, authNoPriv, authPriv
  std::string AuthProtocol;   // MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512
  std::string AuthPassword;
  std::string PrivProtocol;  // DES, AES, AES-192, AES-256
  std::string PrivPassword;
  std::string ContextName;
};

struct TConfigRec {
  std::string ProgramTitle = "Kestrava";
  std::string ChartTitle = "Top receivers";
  bool View3D = true;
  bool ShowLegend = true;
  TLegendAlignment LegendAlignment = laBottom;
  int WindowWidth = 600;
  int WindowHeight = 460;
  std::string PreferredInstance;
  bool RefreshInstances = false;
  bool RawValues = false;
  int Slices = -1;     // configured number of slices; -1 not configured
  int SliceIndex = 0;  // selected entry of the "#Slices" list; 0 is "Any"
  int InstanceMode = kInstanceModeNone;
  std::string LabelOid;
  bool HasLabelOid = false;
  std::string InstanceMask;
  std::vector<std::string> TargetOids;
  std::vector<std::string> TargetVisibility;  // parallel to TargetOids: "0" shown, "2" hidden
  std::vector<std::string> Formulas;          // entries 'label,expression,bindings,'
  int LastSlot = -1;
  bool BulkWalk = true;    // walks with GetBulk where the version has it
  int MaxRows = 100000;    // a walk of the label column stops after this many instances
  bool Antialias = false;  // the pie drawn smooth
  int LocalPort = 0;       // the UDP port requests go out from; 0 any free port
  TSnmpV3Settings V3;
  // Row filters: which discovered rows are polled at all (engine/row_filter.h).
  std::string IncludeLabels;  // a regular expression a row's label must match; "" any label
  std::string ExcludeLabels;  // a regular expression no row's label may match; "" none
  std::vector<int> IfTypes;   // the ifType numbers a row must have; empty any type
  bool UpOnly = false;        // only rows whose ifOperStatus is up(1)
  TTheme Theme = TTheme::kLight;
  int HistoryMinutes = 60;  // the window of the history behind the pie
  // In the utilisation mode, rows whose utilisation crosses this (percent) are events; 0 none.
  int UtilisationThreshold = 0;
  // The OID names of this session: the built-in ones and the targets' display names.
  TOidNames OidNames;
  // Contents of the "#Slices" list (ComboBox2) and of the polling-interval list (ComboBox3),
  // as the start-up set-up fills them; SliceIndex selects in the first.
  std::vector<std::string> SliceItems;
  std::vector<std::string> IntervalItems;
  // How values are read: octet counters in bits, bytes or as numbers alone; and the third value
  // mode beside raw values and deltas, the rate as a share of the interface's speed (it needs
  // RawValues false).
  TUnits Units = TUnits::kBits;
  bool Utilisation = false;
  // By formula, the unit its values are in ("bit/s": read with SI prefixes); "" or missing: a
  // number alone.
  std::vector<std::string> FormulaUnits;
};

}  // namespace kestrava
