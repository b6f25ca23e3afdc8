#pragma once
// A window for benchmarks: counts slices, remembers the status line, tells when polling started
// and when a feed ended. Thread: the window's (main) thread.

#include <chrono>
#include <functional>
#include <string>

#include "null_window.h"

namespace kestrava {

class CountingWindow : public testing::NullWindow {
 public:
  int slices = 0;
  bool polling = false;
  std::string status;
  std::function<void()> onFeed;
  std::chrono::steady_clock::time_point runStarted;
  void ShowStatus(const std::string& text) override { status = text; }
  // A poll run begins by clearing the status line: the cycle's first send follows at once.
  void ClearStatus() override { runStarted = std::chrono::steady_clock::now(); }
  void ShowIntervalChoice(bool visible) override { polling = visible; }
  void ShowPie(const std::vector<TPieSlice>& pie) override {
    slices = static_cast<int>(pie.size());
    if (onFeed) onFeed();
  }
  void SessionStopped(const std::string& message) override { status = message; }
};

}  // namespace kestrava
