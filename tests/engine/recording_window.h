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
  void ShowIdleStatus(const std::string& text) override { Note("ShowIdleStatus(" + text + ")"); }
  void EnableToolbar(bool enabled) override { Note("EnableToolbar(" + Bool(enabled) + ")"); }
  void SetInitializingVisible(bool visible) override {
    Note("SetInitializingVisible(" + Bool(visible) + ")");
  }
  void SetInstanceChoices(const std::vector<std::string>& items, int selected) override {
    Note("SetInstanceChoices(" + Join(items) + "; " + std::to_string(selected) + ")");
  }
  void SetSliceChoices(const std::vector<std::string>& items, int selected) override {
    Note("SetSliceChoices(" + Join(items) + "; " + std::to_string(selected) + ")");
  }
  void SetIntervalChoices(const std::vector<std::string>& items, int selected) override {
    Note("SetIntervalChoices(" + Join(items) + "; " + std::to_string(selected) + ")");
  }
  void ShowInstanceChoice(bool visible) override {
    Note("ShowInstanceChoice(" + Bool(visible) + ")");
  }
  void ShowSliceChoice(bool visible) override { Note("ShowSliceChoice(" + Bool(visible) + ")"); }
  void ShowIntervalChoice(bool visible) override {
    Note("ShowIntervalChoice(" + Bool(visible) + ")");
  }
  void SetValueMode(bool raw) override { Note("SetValueMode(" + Bool(raw) + ")"); }
  void SetView3D(bool on) override { Note("SetView3D(" + Bool(on) + ")"); }
  void SetAntialiased(bool on) override { Note("SetAntialiased(" + Bool(on) + ")"); }
  void SetLegend(bool shown, TLegendAlignment alignment) override {
    Note("SetLegend(" + Bool(shown) + ", " + std::to_string(alignment) + ")");
  }
  void SetCaption(const std::string& caption) override {
    if (failCaption) throw std::runtime_error("caption refused");
    Note("SetCaption(" + caption + ")");
  }
  void SetChartTitle(const std::string& title) override { Note("SetChartTitle(" + title + ")"); }
  void SetWindowSize(int width, int height) override {
    Note("SetWindowSize(" + std::to_string(width) + ", " + std::to_string(height) + ")");
  }
  void SetRefreshInstances(bool on) override { Note("SetRefreshInstances(" + Bool(on) + ")"); }
  void SetChartHint(const std::string& hint) override { Note("SetChartHint(" + hint + ")"); }
  void ShowMessageBox(const std::string& text) override {
    messageBoxes.push_back(text);
    Note("ShowMessageBox");
  }
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
