#pragma once
// A main window that does nothing: every IMainWindow operation is accepted and dropped. Test
// and benchmark windows derive from it and override only what they record or count.
// Thread: the window's (main) thread.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/window.h"

namespace kestrava::testing {

class NullWindow : public IMainWindow {
 public:
  void ShowStatus(const std::string&) override {}
  void ClearStatus() override {}
  void EnableToolbar(bool) override {}
  void SetInitializingVisible(bool) override {}
  void SetInstanceMaskList(const std::vector<std::string>&, int) override {}
  void SetSliceList(const std::vector<std::string>&, int) override {}
  void SetIntervalList(const std::vector<std::string>&, int) override {}
  void SetInstanceGroupVisible(bool) override {}
  void SetSlicesGroupVisible(bool) override {}
  void SetIntervalGroupVisible(bool) override {}
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
  void ClearSlices() override {}
  void AddSlice(const std::string&, double, double, uint32_t) override {}
  void ChartFeedDone() override {}
  void SessionStopped(const std::string&) override {}
};

}  // namespace kestrava::testing
