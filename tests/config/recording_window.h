#pragma once
// A main window that writes down every operation it is asked for, in order, as one line of
// text each ("SetCaption(Kestrava - Host: localhost)"), and remembers the last of each kind.

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/window.h"

namespace kestrava::testing_window {

inline std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : "|") + item;
  return out;
}

class RecordingWindow : public IMainWindow {
 public:
  std::vector<std::string> log;
  std::vector<std::string> messageBoxes;
  // Throws from SetCaption, to see the set-up end where an error arises.
  bool failCaption = false;

  void ShowStatus(const std::string& text) override { Note("ShowStatus(" + text + ")"); }
  void ClearStatus() override { Note("ClearStatus()"); }
  void EnableToolbar(bool enabled) override { Note("EnableToolbar(" + Bool(enabled) + ")"); }
  void SetInitializingVisible(bool visible) override {
    Note("SetInitializingVisible(" + Bool(visible) + ")");
  }
  void SetInstanceMaskList(const std::vector<std::string>& items, int selected) override {
    Note("SetInstanceMaskList(" + Join(items) + "; " + std::to_string(selected) + ")");
  }
  void SetSliceList(const std::vector<std::string>& items, int selected) override {
    Note("SetSliceList(" + Join(items) + "; " + std::to_string(selected) + ")");
  }
  void SetIntervalList(const std::vector<std::string>& items, int selected) override {
    Note("SetIntervalList(" + Join(items) + "; " + std::to_string(selected) + ")");
  }
  void SetInstanceGroupVisible(bool visible) override {
    Note("SetInstanceGroupVisible(" + Bool(visible) + ")");
  }
  void SetSlicesGroupVisible(bool visible) override {
    Note("SetSlicesGroupVisible(" + Bool(visible) + ")");
  }
  void SetIntervalGroupVisible(bool visible) override {
    Note("SetIntervalGroupVisible(" + Bool(visible) + ")");
  }
  void SetValueModeButtons(bool raw) override { Note("SetValueModeButtons(" + Bool(raw) + ")"); }
  void SetView3D(bool on) override { Note("SetView3D(" + Bool(on) + ")"); }
  void SetLegendButton(bool down) override { Note("SetLegendButton(" + Bool(down) + ")"); }
  void ApplyLegendMode(bool showLegend, TLegendAlignment alignment) override {
    Note("ApplyLegendMode(" + Bool(showLegend) + ", " + std::to_string(alignment) + ")");
  }
  void SetCaption(const std::string& caption) override {
    if (failCaption) throw std::runtime_error("caption refused");
    Note("SetCaption(" + caption + ")");
  }
  void SetChartTitle(const std::string& title) override { Note("SetChartTitle(" + title + ")"); }
  void SetWindowSize(int width, int height) override {
    Note("SetWindowSize(" + std::to_string(width) + ", " + std::to_string(height) + ")");
  }
  void SetRefreshInstancesChecked(bool checked) override {
    Note("SetRefreshInstancesChecked(" + Bool(checked) + ")");
  }
  void SetChartHint(const std::string& hint) override { Note("SetChartHint(" + hint + ")"); }
  void ShowMessageBox(const std::string& text) override {
    messageBoxes.push_back(text);
    Note("ShowMessageBox");
  }
  void ClearSlices() override { Note("ClearSlices()"); }
  void AddSlice(const std::string& label, double, double, uint32_t) override {
    Note("AddSlice(" + label + ")");
  }
  void ChartFeedDone() override { Note("ChartFeedDone()"); }
  void SessionStopped(const std::string& message) override {
    Note("SessionStopped(" + message + ")");
  }

  // The last logged operation that starts with prefix, or "".
  std::string Last(const std::string& prefix) const {
    for (auto it = log.rbegin(); it != log.rend(); ++it) {
      if (it->rfind(prefix, 0) == 0) return *it;
    }
    return "";
  }

  void Note(const std::string& line) { log.push_back(line); }

 private:
  static std::string Bool(bool b) { return b ? "true" : "false"; }
};

}  // namespace kestrava::testing_window
