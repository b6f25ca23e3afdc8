#pragma once
// A window for benchmarks: counts slices, remembers the status line, tells when polling started
// and when a feed ended. Thread: the window's (main) thread.

#include <functional>
#include <string>
#include <vector>

#include "engine/window.h"

namespace kestrava {

class CountingWindow : public IMainWindow {
 public:
  int slices = 0;
  bool polling = false;
  std::string status;
  std::function<void()> onFeed;
  void ShowStatus(const std::string& text) override { status = text; }
  void ClearStatus() override {}
  void EnableToolbar(bool) override {}
  void SetInitializingVisible(bool) override {}
  void SetInstanceMaskList(const std::vector<std::string>&, int) override {}
  void SetSliceList(const std::vector<std::string>&, int) override {}
  void SetIntervalList(const std::vector<std::string>&, int) override {}
  void SetInstanceGroupVisible(bool) override {}
  void SetSlicesGroupVisible(bool) override {}
  void SetIntervalGroupVisible(bool visible) override { polling = visible; }
  void SetValueModeButtons(bool) override {}
  void SetView3D(bool) override {}
  void SetLegendButton(bool) override {}
  void ApplyLegendMode(bool, TLegendAlignment) override {}
  void SetCaption(const std::string&) override {}
  void SetChartTitle(const std::string&) override {}
  void SetWindowSize(int, int) override {}
  void SetRefreshInstancesChecked(bool) override {}
  void SetChartHint(const std::string&) override {}
  void ShowMessageBox(const std::string&) override {}
  void ClearSlices() override { slices = 0; }
  void AddSlice(const std::string&, double, double, uint32_t) override { ++slices; }
  void ChartFeedDone() override {
    if (onFeed) onFeed();
  }
  void SessionStopped(const std::string& message) override { status = message; }
};

}  // namespace kestrava
