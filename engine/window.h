#pragma once
// IMainWindow: the window operations that the engine and the start-up set-up call.
// The main window (app/) implements it with widgets; tests implement it with a recorder.
// Thread: every operation is called on the window's thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_rec.h"

namespace kestrava {

class IMainWindow {
 public:
  virtual ~IMainWindow() = default;

  // The status line (one text area).
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void ClearStatus() = 0;
  // Enables or disables SpeedButton1..3, CheckBox1 and ComboBox1..3 together.
  virtual void EnableToolbar(bool enabled) = 0;
  // Label4, "Initializing...", over the chart.
  virtual void SetInitializingVisible(bool visible) = 0;

  // The three lists with their labels and icons. selected -1 selects nothing.
  virtual void SetInstanceMaskList(const std::vector<std::string>& items, int selected) = 0;
  virtual void SetSliceList(const std::vector<std::string>& items, int selected) = 0;
  virtual void SetIntervalList(const std::vector<std::string>& items, int selected) = 0;
  virtual void SetInstanceGroupVisible(bool visible) = 0;  // ComboBox1, Label1, Image1
  virtual void SetSlicesGroupVisible(bool visible) = 0;    // ComboBox2, Label2, Image2
  virtual void SetIntervalGroupVisible(bool visible) = 0;  // ComboBox3, Label3

  // Toolbar state set at start-up.
  virtual void SetValueModeButtons(bool raw) = 0;  // SpeedButton1 down when raw, else SpeedButton2
  virtual void SetView3D(bool on) = 0;             // CheckBox1 and the chart's 3D view
  virtual void SetLegendButton(bool down) = 0;     // SpeedButton3
  // Legend visible and marks hidden (or the reverse), the legend button's hint, alignment.
  virtual void ApplyLegendMode(bool showLegend, TLegendAlignment alignment) = 0;

  // Window and chart settings.
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetChartTitle(const std::string& title) = 0;  // Verdana 12 bold black, one line
  virtual void SetWindowSize(int width, int height) = 0;     // outer size
  virtual void SetRefreshInstancesChecked(bool checked) = 0;
  virtual void SetChartHint(const std::string& hint) = 0;
  // The program's only message box (a configuration file that fails to load).
  virtual void ShowMessageBox(const std::string& text) = 0;

  // Series1 of the chart.
  virtual void ClearSlices() = 0;
  virtual void AddSlice(const std::string& label, double value, double position,
                        uint32_t colour) = 0;
  // Called at the end of every chart feed, also one that left the pie empty.
  virtual void ChartFeedDone() = 0;
  // The session stopped for good without polling (nothing discovered, discovery timed out or
  // failed); message is what the status line shows. Scripted runs end here with an error.
  virtual void SessionStopped(const std::string& message) = 0;
};

}  // namespace kestrava
