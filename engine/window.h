#pragma once
// IMainWindow: what the engine and the session set-up tell the window, in the window's own
// terms: the status line, the toolbar's state and choices, and the window and chart settings.
// The values of the polls (the pie among them) reach the chart as snapshots, through the
// session's sinks (engine/poll_snapshot.h). The main window (app/) implements it with widgets;
// tests implement it with recorders. Thread: every operation is called on the window's thread only.

#include <string>
#include <vector>

#include "shared/session_types.h"
#include "shared/unit_text.h"

namespace kestrava {

class IMainWindow {
 public:
  virtual ~IMainWindow() = default;

  // The status line (one text area).
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void ClearStatus() = 0;
  // Shows text only when the status line is empty: what goes on, never over a problem.
  virtual void ShowIdleStatus(const std::string& text) = 0;
  // Enables or disables every control of the toolbar together.
  virtual void EnableToolbar(bool enabled) = 0;
  // The "Initializing..." note over the chart.
  virtual void SetInitializingVisible(bool visible) = 0;

  // The toolbar's three choices: the instance-mask entries, the number of slices and the
  // polling interval; selected -1 selects nothing. Each is shown or hidden with its caption.
  virtual void SetInstanceChoices(const std::vector<std::string>& items, int selected) = 0;
  virtual void SetSliceChoices(const std::vector<std::string>& items, int selected) = 0;
  virtual void SetIntervalChoices(const std::vector<std::string>& items, int selected) = 0;
  virtual void ShowInstanceChoice(bool visible) = 0;
  virtual void ShowSliceChoice(bool visible) = 0;
  virtual void ShowIntervalChoice(bool visible) = 0;

  // Toolbar state set at start-up.
  virtual void SetValueMode(bool raw) = 0;  // raw values or per-interval deltas
  // Utilisation, the third value mode (after SetValueMode(false)), and the units the legend
  // reads in.
  virtual void SetUtilisation(bool on) { (void)on; }
  virtual void SetUnits(TUnits units) { (void)units; }
  virtual void SetView3D(bool on) = 0;
  virtual void SetAntialiased(bool on) = 0;  // the pie drawn smooth
  // The legend beside the pie (and the legend control down), or labels beside the slices.
  virtual void SetLegend(bool shown, TLegendAlignment alignment) = 0;

  // Window and chart settings.
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetChartTitle(const std::string& title) = 0;  // Verdana 12 bold black, one line
  virtual void SetWindowSize(int width, int height) = 0;     // outer size
  virtual void SetRefreshInstances(bool on) = 0;             // the menu's check mark
  virtual void SetChartHint(const std::string& hint) = 0;
  // The program's only message box (a configuration file that fails to load).
  virtual void ShowMessageBox(const std::string& text) = 0;

  // The session stopped for good without polling (nothing discovered, discovery timed out or
  // failed); message is what the status line shows.
  virtual void SessionStopped(const std::string& message) = 0;
};

}  // namespace kestrava
