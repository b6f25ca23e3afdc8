#pragma once
// A main window that does nothing: every IMainWindow operation is accepted and dropped. Test
// and benchmark windows derive from it and override only what they record or count. Added to a
// session as a sink, it gets the pie of every snapshot through ShowPie, as the chart does.
// Thread: the window's (main) thread.

#include <string>
#include <vector>

#include "engine/poll_snapshot.h"
#include "engine/window.h"

namespace kestrava::testing {

class NullWindow : public IMainWindow, public IPollSink {
 public:
  void TakeSnapshot(const TSnapshotPtr& snapshot) override { ShowPie(snapshot->Pie); }
  virtual void ShowPie(const std::vector<TPieSlice>&) {}
  void ShowIdleStatus(const std::string&) override {}
  void ShowStatus(const std::string&) override {}
  void ClearStatus() override {}
  void EnableToolbar(bool) override {}
  void SetInitializingVisible(bool) override {}
  void SetInstanceChoices(const std::vector<std::string>&, int) override {}
  void SetSliceChoices(const std::vector<std::string>&, int) override {}
  void SetIntervalChoices(const std::vector<std::string>&, int) override {}
  void ShowInstanceChoice(bool) override {}
  void ShowSliceChoice(bool) override {}
  void ShowIntervalChoice(bool) override {}
  void SetValueMode(bool) override {}
  void SetView3D(bool) override {}
  void SetAntialiased(bool) override {}
  void SetLegend(bool, TLegendAlignment) override {}
  void SetCaption(const std::string&) override {}
  void SetChartTitle(const std::string&) override {}
  void SetWindowSize(int, int) override {}
  void SetRefreshInstances(bool) override {}
  void SetChartHint(const std::string&) override {}
  void ShowMessageBox(const std::string&) override {}
  void SessionStopped(const std::string&) override {}
};

}  // namespace kestrava::testing
