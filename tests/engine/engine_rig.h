#pragma once
// Test rig for the engine: a window that records what the engine tells it, a clock that runs
// faster than the wall clock (the worker's sleeps move it), and helpers to wait on the event loop.
// Thread: the window's (main) thread; the clock is also read by the worker.

#include <unistd.h>
#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/clock.h"
#include "engine/discovery.h"
#include "null_window.h"

namespace kestrava::testing {

struct Slice {
  std::string Label;
  double Value;
  double Position;
  bool operator==(const Slice&) const = default;
};

class RecordingWindow : public NullWindow {
 public:
  std::vector<std::string> statuses;  // every ShowStatus text, in order
  std::string status;                 // what the status line shows now
  std::vector<std::string> stopped;
  std::vector<Slice> slices;  // the pie as the last feed left it
  std::vector<TPieSlice> lastPie;
  int feeds = 0;
  int feedsWithSlices = 0;
  bool initializingVisible = true;
  bool toolbarEnabled = false;
  bool intervalGroupVisible = false;
  std::vector<std::string> instanceMaskItems;
  int instanceMaskSelected = -1;
  std::function<void()> onFeed;  // after every snapshot, republished ones too
  std::function<void()> onPoll;  // after the snapshot of every completed poll only

  void TakeSnapshot(const TSnapshotPtr& snapshot) override {
    NullWindow::TakeSnapshot(snapshot);
    if (snapshot->Fresh && onPoll) onPoll();
  }

  void ShowStatus(const std::string& text) override {
    statuses.push_back(text);
    status = text;
  }
  void ClearStatus() override { status.clear(); }
  void EnableToolbar(bool enabled) override { toolbarEnabled = enabled; }
  void SetInitializingVisible(bool visible) override { initializingVisible = visible; }
  void SetInstanceChoices(const std::vector<std::string>& items, int selected) override {
    instanceMaskItems = items;
    instanceMaskSelected = selected;
  }
  void ShowIntervalChoice(bool visible) override { intervalGroupVisible = visible; }
  void ShowMessageBox(const std::string& text) override { stopped.push_back("box: " + text); }
  void ShowPie(const std::vector<TPieSlice>& pie) override {
    lastPie = pie;
    slices.clear();
    for (const TPieSlice& slice : pie)
      slices.push_back(Slice{slice.Label, slice.Value, static_cast<double>(slice.Position)});
    ++feeds;
    if (!slices.empty()) ++feedsWithSlices;
    if (onFeed) onFeed();
  }
  void SessionStopped(const std::string& message) override { stopped.push_back(message); }
};

// A clock `speed` times faster than the wall clock while the worker sleeps; shared by threads.
class FastClock {
 public:
  explicit FastClock(int speed = 10, int64_t startMs = 8 * 3600000)
      : m_speed(speed), m_ms(startMs) {}
  TEngineClock Clock() {
    TEngineClock clock;
    clock.NowMs = [this] { return static_cast<int32_t>(m_ms.load() % 86400000); };
    clock.NowDays = [this] { return 45000.0 + m_ms.load() / kMsPerDay; };
    clock.Sleep = [this](int32_t ms) {
      // Small steps, so that the time-out scans see time pass while answers travel.
      for (int32_t left = ms; left > 0 && !m_stop; left -= 10) {
        const int32_t step = left < 10 ? left : 10;
        std::this_thread::sleep_for(std::chrono::microseconds(step * 1000 / m_speed));
        m_ms += step;
      }
    };
    return clock;
  }
  int64_t Now() const { return m_ms.load(); }
  void Stop() { m_stop = true; }

 private:
  int m_speed;
  std::atomic<int64_t> m_ms;
  std::atomic<bool> m_stop{false};
};

// The suffixes and the labels of a list of instances.
inline std::vector<std::string> SuffixesOf(const std::vector<TInstance>& instances) {
  std::vector<std::string> out;
  for (const TInstance& instance : instances) out.push_back(instance.Suffix);
  return out;
}
inline std::vector<std::string> LabelsOf(const std::vector<TInstance>& instances) {
  std::vector<std::string> out;
  for (const TInstance& instance : instances) out.push_back(instance.Label);
  return out;
}

// Runs the event loop until `done` holds or `realMs` pass; returns done().
inline bool WaitFor(const std::function<bool()>& done, int realMs = 10000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}

// A configuration file in the build folder, removed with the object. The process id in its
// name keeps tests that run side by side out of each other's files.
class ConfigFile {
 public:
  ConfigFile(const std::string& name, const std::string& xml)
      : m_path(std::string(KESTRAVA_BINARY_DIR) + "/" + std::to_string(getpid()) + "_" + name) {
    std::ofstream(m_path) << xml;
  }
  ~ConfigFile() { std::remove(m_path.c_str()); }
  ConfigFile(const ConfigFile&) = delete;
  ConfigFile& operator=(const ConfigFile&) = delete;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace kestrava::testing
