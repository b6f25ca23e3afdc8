#pragma once
// TForm1: the main window. It owns the session (TSession) and shows what the session tells it
// through IMainWindow: the toolbar strip Panel1 with the value-mode buttons, the 3D box and
// the three lists, the chart Chart1 with the "Initializing..." label, the one-line status bar
// and the main menu. Its creation starts the session with the program's arguments; closing it
// stops the session before the window goes. Its handlers turn the controls' events into the
// session's commands. A session that stops (a failed start) brings up the connection dialog
// (also in the Agent menu); connecting replaces the session with one against the agent chosen.
// The chart, the history and the outputs the command line asks for (TRunOutputs) are sinks of
// the session's snapshots; a scripted run ("/EXITAFTER") ends the program by itself (TScriptedRun),
// and nothing then waits for a person. The filter field in the status bar hides the slices whose
// label does not match; the theme (light, dark, or the desktop's) colours the window and chart.
// Thread: the window's thread only.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/chart_feed.h"
#include "app/history_view.h"
#include "app/main_menu.h"
#include "app/run_outputs.h"
#include "app/scripted_run.h"
#include "config/command_line.h"
#include "engine/history_store.h"
#include "engine/session.h"
#include "engine/window.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolButton;

namespace kestrava {

class TChart;
class TConnectDialog;
class TDesktopScheme;
struct TAgentChoice;

class TForm1 : public QMainWindow, public IMainWindow {
  Q_OBJECT

 public:
  // args are the program's arguments without the program name.
  explicit TForm1(const std::vector<std::string>& args, QWidget* parent = nullptr);
  ~TForm1() override;

  // Replaces the message box (tests); an empty hook restores it.
  static void SetMessageBoxHook(std::function<void(const std::string&)> hook);
  // Runs the connection dialog instead of its modal loop (tests): the hook returns the
  // dialog's result. An empty hook restores the modal dialog.
  static void SetConnectDialogHook(std::function<int(TConnectDialog&)> hook);
  // The file that keeps the recent agents; empty restores the user's settings file.
  static void SetAgentSettingsFile(const QString& path);

  TSession& Session() { return *m_session; }
  THistoryStore& History() { return m_history; }
  THistoryView& HistoryView() { return *m_historyView; }
  TScriptedRun& ScriptedRun() { return m_run; }
  const TOutputOptions& OutputOptions() const { return m_output; }
  // The status the program ends with: 0 unless a scripted run failed.
  int ExitStatus() const { return m_exitStatus; }
  QString StatusText() const;
  QString ChartHint() const { return m_chartHint; }

  // IMainWindow
  void ShowStatus(const std::string& text) override;
  void ClearStatus() override;
  void ShowIdleStatus(const std::string& text) override;
  void EnableToolbar(bool enabled) override;
  void SetInitializingVisible(bool visible) override;
  void SetInstanceChoices(const std::vector<std::string>& items, int selected) override;
  void SetSliceChoices(const std::vector<std::string>& items, int selected) override;
  void SetIntervalChoices(const std::vector<std::string>& items, int selected) override;
  void ShowInstanceChoice(bool visible) override;
  void ShowSliceChoice(bool visible) override;
  void ShowIntervalChoice(bool visible) override;
  void SetValueMode(bool raw) override;
  void SetUtilisation(bool on) override;
  void SetUnits(TUnits units) override;
  void SetView3D(bool on) override;
  void SetAntialiased(bool on) override;
  void SetLegend(bool shown, TLegendAlignment alignment) override;
  void SetCaption(const std::string& caption) override;
  void SetChartTitle(const std::string& title) override;
  void SetWindowSize(int width, int height) override;
  void SetRefreshInstances(bool on) override;
  void SetChartHint(const std::string& hint) override;
  void ShowMessageBox(const std::string& text) override;
  void SessionStopped(const std::string& message) override;

  // A quit signal: closes the window the ordinary way. A scripted run that has not finished
  // yet ends with 128 + the signal's number.
  void CloseOnSignal(int signo);

  // Commands.
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void SpeedButton4Click();  // utilisation
  void UnitsClick(TUnits units);
  void CheckBox1Click();
  void ComboBox1Change();
  void ComboBox2Change();
  void ComboBox3Change();
  void Exit1Click();
  void CopyPietoclipboard1Click();
  void RefreshInstances1Click();
  void Connect1Click();
  void About1Click();
  void FilterEditChange();
  // The history to a recording and back; false (the status line says why) when it fails. An
  // opened recording takes the place of the session: polling stops, the chart shows the
  // recording, paused and scrubbable, until a connection is made again.
  bool SaveRecording(const QString& path);
  bool OpenRecording(const QString& path);

  // Controls, named as the window's designer names them.
  QWidget* Panel1;
  QToolButton* SpeedButton1;
  QToolButton* SpeedButton2;
  QToolButton* SpeedButton3;
  QToolButton* SpeedButton4;  // utilisation, the third value mode
  QCheckBox* CheckBox1;
  QLabel* Image1;
  QLabel* Label1;
  QComboBox* ComboBox1;
  QLabel* Image2;
  QLabel* Label2;
  QComboBox* ComboBox2;
  QLabel* Label3;
  QComboBox* ComboBox3;
  TChart* Chart1;
  QLabel* Label4;
  QStatusBar* StatusBar1;
  QLabel* StatusText1;  // the status bar's one text area
  // At the status bar's right end: which slices are shown.
  QLineEdit* FilterEdit;
  TMainMenu Menu;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();
  void LayoutToolbar();
  // Registers the chart, the output files and the scripted run with the session, in the order
  // they must see each snapshot: the chart before the picture of it, the files before the
  // count that may end the run.
  void AttachSinks();
  void OutputFailed(const std::string& reason);
  void FormResize();
  void FitFrame();
  void FormClose();
  // Shows the legend (or the marks) as the legend button says.
  void ApplyLegendMode(bool showLegend, TLegendAlignment alignment);
  // Ends a scripted run with status (after the current event has finished).
  void FinishScriptedRun(int status);
  bool Scripted() const { return m_run.Active(); }
  QSize OuterSize() const;
  // The connection dialog, with why it came up (empty from the menu); connects when accepted.
  void ShowConnectDialog(const QString& problem);
  // The agent and counter of the running session, as the dialog shows them.
  TAgentChoice CurrentAgent() const;
  // Stops the session and starts a new one against the agent, with the same presentation.
  void ConnectTo(const TAgentChoice& agent);
  // The session's theme on the window and the chart; "system" follows the desktop from then on.
  void ApplyTheme();
  void ShowDark(bool dark);
  // The filter field's pattern handed to the session (again, to a new one).
  void ApplyFilter();

  std::unique_ptr<TSession> m_session;
  TOutputOptions m_output;
  std::unique_ptr<TChartFeed> m_chartFeed;
  std::unique_ptr<TRunOutputs> m_outputs;  // the files and the endpoint asked for
  THistoryStore m_history;                 // across connections: rows are told apart by their agent
  THistoryView* m_historyView = nullptr;   // a child of the window
  TScriptedRun m_run;
  int m_exitStatus = 0;
  bool m_finishing = false;
  bool m_closed = false;
  QSize m_wantedOuterSize;  // until the window manager's frame is known
  QSize m_announcedSize;    // the last "WxH=" shown
  QString m_chartHint;
  bool m_connectShown = false;               // the connection dialog is up or about to come up
  QPointer<TConnectDialog> m_connectDialog;  // while it is up
  // With the theme "system": the desktop's preference.
  std::unique_ptr<TDesktopScheme> m_desktopScheme;
};

}  // namespace kestrava
