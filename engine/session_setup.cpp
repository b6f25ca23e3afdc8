#include "engine/session_setup.h"

#include <optional>

#include "config/command_line.h"
#include "config/load_xml_config.h"
#include "config/validators.h"

namespace kestrava {

namespace {

const char* const kBuiltInTarget = "1.3.6.1.2.1.2.2.1.10";  // ifInOctets
const char* const kBuiltInLabel = "1.3.6.1.2.1.2.2.1.2";    // ifDescr

int FindItem(const std::vector<std::string>& items, const std::string& text) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == text) return static_cast<int>(i);
  }
  return -1;
}

// The defaults, the lists and the hidden groups, before anything is read.
void ApplyDefaults(TConfigRec& cfg, TRequest& session, IMainWindow& window) {
  cfg.RawValues = false;
  cfg.Slices = -1;
  cfg.SliceIndex = 0;
  cfg.SliceItems = DefaultSliceItems();
  window.SetSliceChoices(cfg.SliceItems, cfg.SliceIndex);
  cfg.IntervalItems = DefaultIntervalItems();
  window.SetIntervalChoices(cfg.IntervalItems, -1);
  window.ShowIntervalChoice(false);
  cfg.View3D = true;
  window.ShowInstanceChoice(false);
  window.ShowSliceChoice(false);
  const TConfigRec defaults;
  cfg.ProgramTitle = defaults.ProgramTitle;
  cfg.ChartTitle = defaults.ChartTitle;
  cfg.ShowLegend = defaults.ShowLegend;
  cfg.LegendAlignment = defaults.LegendAlignment;
  cfg.WindowWidth = defaults.WindowWidth;
  cfg.WindowHeight = defaults.WindowHeight;
  cfg.PreferredInstance = defaults.PreferredInstance;
  cfg.RefreshInstances = defaults.RefreshInstances;
  session.Interval = 5;
  session.Community = "cobalt";
  session.Host = "localhost";
  session.TriesLeft = 1;
  session.RemotePort = 161;
  session.SnmpVersion = 1;
}

// The command line, then the file or the built-in target; false when set-up stops here.
bool ReadSettings(const std::vector<std::string>& args, TConfigRec& cfg, TRequest& session,
                  IMainWindow& window) {
  const TCommandLine commandLine = ReadCommandLine(args, cfg, session);
  if (commandLine.StopSetup) return false;
  if (!commandLine.Error.empty()) {
    window.ShowMessageBox(commandLine.Error);
    return false;
  }
  if (commandLine.XmlGiven) {
    if (!LoadXmlConfig(commandLine.FileName, cfg, session,
                       [&window](const std::string& text) { window.ShowMessageBox(text); }))
      return false;
    if (commandLine.XmlPort) session.RemotePort = *commandLine.XmlPort;
    return true;
  }
  cfg.TargetOids = {kBuiltInTarget};
  cfg.LabelOid = kBuiltInLabel;
  cfg.HasLabelOid = true;
  cfg.TargetVisibility = {"0"};
  cfg.InstanceMode = kInstanceModeAllInstances;
  return true;
}

void ApplyToolbar(TConfigRec& cfg, const TRequest& session, IMainWindow& window) {
  if (cfg.Slices > 1) {
    cfg.SliceIndex = InsertSliceItem(cfg.SliceItems, cfg.Slices);
    window.SetSliceChoices(cfg.SliceItems, cfg.SliceIndex);
  }
  // Utilisation is a view of the deltas.
  if (cfg.Utilisation) cfg.RawValues = false;
  window.SetValueMode(cfg.RawValues);
  window.SetUtilisation(cfg.Utilisation);
  window.SetUnits(cfg.Units);
  window.SetView3D(cfg.View3D);
  window.SetAntialiased(cfg.Antialias);
  window.SetLegend(cfg.ShowLegend, cfg.LegendAlignment);
  const int intervalIndex = InsertIntervalItem(cfg.IntervalItems, session.Interval);
  window.SetIntervalChoices(cfg.IntervalItems, intervalIndex);
}

// The caption, title, size and refresh item; returns the caption, which is also the chart's hint.
std::string ApplyWindow(const TConfigRec& cfg, const TRequest& session, IMainWindow& window) {
  const std::string caption = cfg.ProgramTitle + " - Host: " + session.Host;
  window.SetCaption(caption);
  window.SetChartTitle(cfg.ChartTitle);
  window.SetWindowSize(cfg.WindowWidth, cfg.WindowHeight);
  window.SetRefreshInstances(cfg.RefreshInstances && !cfg.InstanceMask.empty());
  return caption;
}

// The whole set-up in its fixed order; false when it stopped early.
bool Apply(const std::vector<std::string>& args, TConfigRec& cfg, TRequest& session,
           IMainWindow& window, const TSetupHooks& hooks) {
  ApplyDefaults(cfg, session, window);
  if (!ReadSettings(args, cfg, session, window)) return false;
  ApplyToolbar(cfg, session, window);
  const std::string caption = ApplyWindow(cfg, session, window);
  if (hooks.ResetSessionCounters) hooks.ResetSessionCounters();
  window.SetChartHint(caption);
  // Discovery, for the two modes that find their instances.
  if (cfg.InstanceMode == kInstanceModeAtRuntime || cfg.InstanceMode == kInstanceModeAllInstances) {
    session.Operation = kOperationGetNext;
    if (hooks.StartInstanceWalk) hooks.StartInstanceWalk();
  }
  return true;
}

}  // namespace

const std::vector<std::string>& DefaultSliceItems() {
  static const std::vector<std::string> items = {"Any", "30", "23", "17", "12", "8", "5", "3"};
  return items;
}

const std::vector<std::string>& DefaultIntervalItems() {
  static const std::vector<std::string> items = {"1",  "2",  "5",   "10", "15",
                                                 "30", "60", "300", "600"};
  return items;
}

int InsertSliceItem(std::vector<std::string>& items, int slices) {
  if (slices <= 1) return 0;
  const std::string text = std::to_string(slices);
  if (const int found = FindItem(items, text); found >= 0) return found;
  std::size_t at = 1;  // "Any" stays first
  while (at < items.size() && ParseDecimalInt(items[at]).value_or(0) > slices) ++at;
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), text);
  return static_cast<int>(at);
}

int InsertIntervalItem(std::vector<std::string>& items, int interval) {
  const std::string text = std::to_string(interval);
  if (const int found = FindItem(items, text); found >= 0) return found;
  std::size_t at = 0;
  while (at < items.size() && ParseDecimalInt(items[at]).value_or(0) < interval) ++at;
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), text);
  return static_cast<int>(at);
}

bool SetupSession(const std::vector<std::string>& args, TConfigRec& cfg, TRequest& session,
                  IMainWindow& window, const TSetupHooks& hooks) {
  try {
    return Apply(args, cfg, session, window, hooks);
  } catch (...) {
    return false;  // the set-up simply ends where the error arose
  }
}

}  // namespace kestrava
