#pragma once
// THistoryView: the window's side of the history. It pauses the chart while polling goes on
// (Space, or the pause button of the history bar), scrubs it back through the kept polls with
// the time slider under the chart (the moment shown in the chart's title area), and returns to
// the newest poll with "Live" (or End). A slice picked on the chart (see TChartPicker) opens its
// row in the detail pane; the rank changes are listed in a pane of their own.
// Rewinding only changes what the chart shows: the chart always gets each poll first (so that
// "/SNAPSHOT" draws the live pie), and this sink, registered after the outputs, puts the moment
// shown back. A recording opened here is shown the same way, with no newest poll to return to.
// Thread: the window's thread only.

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/desktop_notifier.h"
#include "engine/history_store.h"

class QAction;
class QLabel;
class QListWidget;
class QMainWindow;
class QSlider;
class QToolBar;
class QDockWidget;

namespace kestrava {

class TChart;
class TChartPicker;
class TDetailDock;

class THistoryView : public QObject, public IPollSink {
  Q_OBJECT

 public:
  // showLive puts a snapshot on the chart as its feed does.
  THistoryView(QMainWindow& window, TChart& chart, THistoryStore& store,
               std::function<void(const TSnapshotPtr&)> showLive);
  ~THistoryView() override;

  void TakeSnapshot(const TSnapshotPtr& snapshot) override;

  // The chart stops at the newest kept poll; polling goes on.
  void Pause();
  // The chart shows the kept poll `frame` (0 the oldest); pauses first.
  void ShowFrame(int frame);
  // Back to the newest poll (not while a recording is shown).
  void GoLive();
  bool Paused() const { return m_paused; }
  // The store now holds a recording: shown from its last poll, with nothing live.
  void RecordingLoaded();
  // A new connection: back to live.
  void SessionChanged();
  // The row of a slice as the chart shows it now; -1 for "Other" or none.
  int SeriesOfSlice(int slice) const;
  // Opens the detail pane for a slice of the chart (what a click or Enter does).
  void PickSlice(int slice);

  TChartPicker* Picker() const { return m_picker; }
  TDetailDock* Details() const { return m_details; }
  QDockWidget* EventsDock() const { return m_eventsDock; }
  QListWidget* EventList() const { return m_events; }
  QToolBar* Bar() const { return m_bar; }
  QAction* PauseAction() const { return m_pause; }
  QAction* LiveAction() const { return m_live; }
  QSlider* Slider() const { return m_slider; }
  QLabel* MomentLabel() const { return m_moment; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Whether a control of the window has a use of its own for Space.
  bool WantsSpace(QObject* object) const;

 private:
  void ShowShownFrame();
  void ShowLiveSeries();
  void UpdateSlider();
  void ShowMoment(int64_t timeMs, bool past);
  void AddEvents(int from);
  void PlaceMomentLabel();

  QMainWindow& m_window;
  TChart& m_chart;
  THistoryStore& m_store;
  std::function<void(const TSnapshotPtr&)> m_showLive;
  TSnapshotPtr m_newest;  // the last snapshot taken, to go back to
  TChartPicker* m_picker;
  TDetailDock* m_details;
  QDockWidget* m_eventsDock;
  QListWidget* m_events;
  QToolBar* m_bar;
  QAction* m_pause;
  QAction* m_live;
  QSlider* m_slider;
  QLabel* m_barTime;
  QLabel* m_moment;  // on the chart, beside its title
  QAction* m_notify;
  TDesktopNotifier m_notifier;
  bool m_paused = false;
  bool m_recording = false;
  int64_t m_shownTime = 0;         // the frame shown while paused, by its time
  std::vector<int> m_shownSeries;  // the row of each slice on the chart
};

}  // namespace kestrava
