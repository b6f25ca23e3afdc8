#include "app/unit1.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QSettings>
#include <QShowEvent>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/connect_dialog.h"
#include "app/desktop_scheme.h"
#include "app/detail_dock.h"
#include "app/glyphs.h"
#include "app/output_files.h"
#include "app/window_theme.h"
#include "engine/recording.h"
#include "engine/session_setup.h"
#include "ui/chart.h"
#include "ui/unit2.h"

namespace kestrava {

namespace {

std::function<void(const std::string&)> g_messageBoxHook;
std::function<int(TConnectDialog&)> g_connectDialogHook;
QString g_agentSettingsFile;

// The recent agents live in the user's settings folder unless a test named another file.
QString AgentSettingsFile() {
  if (!g_agentSettingsFile.isEmpty()) return g_agentSettingsFile;
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kestrava"),
                   QStringLiteral("kestrava"))
      .fileName();
}

// Tahoma is not on a Linux desktop; Arial's metric twin comes closest to its widths, so
// the toolbar's labels fit the places the layout gives them.
void InstallFontSubstitutes() {
  if (QFont::substitutes(QStringLiteral("Tahoma")).isEmpty()) {
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
  }
}

QFont Tahoma8() {
  QFont font(QStringLiteral("Tahoma"));
  font.setPointSize(8);
  return font;
}

QToolButton* MakeSpeedButton(QWidget* parent, const QRect& rect, const QImage& glyph,
                             const QString& hint) {
  auto* button = new QToolButton(parent);
  button->setGeometry(rect);
  button->setAutoRaise(true);
  button->setCheckable(true);
  button->setFocusPolicy(Qt::NoFocus);  // tool buttons take no keyboard focus
  button->setIconSize(QSize(16, 16));
  button->setIcon(QIcon(QPixmap::fromImage(glyph)));
  button->setToolTip(hint);
  button->setAccessibleName(hint);
  return button;
}

// Labels size themselves to their text, as on the desktop the layout was made for, but never
// below their laid-out size: a substitute font may be a pixel or two wider.
void FitLabel(QLabel* label, const QRect& rect) {
  const QFontMetrics metrics(label->font());
  label->setGeometry(rect.x(), rect.y(),
                     std::max(rect.width(), metrics.horizontalAdvance(label->text())),
                     std::max(rect.height(), metrics.height()));
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& rect) {
  auto* label = new QLabel(text, parent);
  FitLabel(label, rect);
  return label;
}

QLabel* MakePicture(QWidget* parent, const QRect& rect, const QImage& picture) {
  auto* label = new QLabel(parent);
  label->setGeometry(rect);
  label->setPixmap(QPixmap::fromImage(picture));
  return label;
}

QComboBox* MakeList(QWidget* parent, const QRect& rect, const QString& hint) {
  auto* list = new QComboBox(parent);
  // The size hint follows the entries (LayoutToolbar widens the list for a wider one). Qt also
  // resizes such a list to its hint a moment after it changes; the bounds keep that from
  // shrinking it below its laid-out size or changing its height.
  list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  list->setMinimumWidth(rect.width());
  list->setFixedHeight(rect.height());
  list->setGeometry(rect);
  list->setToolTip(hint);
  list->setAccessibleName(hint);
  return list;
}

void FillList(QComboBox* list, const std::vector<std::string>& items, int selected) {
  QSignalBlocker quiet(list);
  list->clear();
  for (const std::string& item : items) list->addItem(QString::fromStdString(item));
  list->setCurrentIndex(selected);
}

// Runs a handler whose errors are ignored silently: the window keeps whatever state the
// handler had reached.
template <typename F>
void Guarded(F&& handler) {
  try {
    handler();
  } catch (...) {
  }
}

}  // namespace

TForm1::TForm1(const std::vector<std::string>& args, QWidget* parent)
    : QMainWindow(parent),
      m_output(ReadOutputOptions(args)),
      m_run(m_output, [this](int status) { FinishScriptedRun(status); }) {
  InstallFontSubstitutes();
  setFont(Tahoma8());
  setWindowTitle(QStringLiteral("Kestrava"));
  // Qt shows hints only in the active window; a monitor is looked at while another window has
  // the focus, and a window manager may give it none at all.
  setAttribute(Qt::WA_AlwaysShowToolTips);
  BuildControls();
  BuildMenu();
  // The design size: a client area of 585 x 427 below the menu.
  resize(585, 427 + menuBar()->sizeHint().height());
  move(0, 0);

  m_chartFeed = std::make_unique<TChartFeed>(*Chart1);
  m_historyView = new THistoryView(*this, *Chart1, m_history, [this](const TSnapshotPtr& live) {
    m_chartFeed->TakeSnapshot(live);
  });
  m_outputs = std::make_unique<TRunOutputs>(
      m_output, *Chart1, m_history,
      TRunOutputEvents{[this](const std::string& reason) { OutputFailed(reason); },
                       [this] {
                         // A reader that goes away ends the run, scripted or not: nobody reads
                         // what follows.
                         std::fprintf(stderr,
                                      "kestrava: the reader of the stream went away; the run "
                                      "ends.\n");
                         FinishScriptedRun(kExitStreamClosed);
                       },
                       [this](const std::string& why) {
                         m_run.OutputFailed();
                         ShowStatus("Could not serve " + why);
                         std::fprintf(stderr, "kestrava: could not serve %s\n", why.c_str());
                       }});

  m_session = std::make_unique<TSession>(*this);
  AttachSinks();
  m_session->Start(args);
  ApplyTheme();
  m_history.SetWindowMinutes(m_output.HistoryMinutes > 0 ? m_output.HistoryMinutes
                                                         : m_session->Config().HistoryMinutes);
  m_history.SetThreshold(m_output.ThresholdPercent > 0 ? m_output.ThresholdPercent
                                                       : m_session->Config().UtilisationThreshold);
  // A scripted run never waits for ever, not even on a discovery that never ends.
  m_run.Start(m_session->SessionRequest().Interval);
}

void TForm1::AttachSinks() {
  m_session->AddSink(m_history);  // before the stream, which tells its rank changes
  m_session->AddSink(*m_chartFeed);
  m_outputs->Attach(*m_session);
  m_session->AddSink(*m_historyView);  // after the outputs, which draw the live pie
  m_session->AddSink(m_run);
}

void TForm1::OutputFailed(const std::string& reason) {
  m_run.OutputFailed();
  ShowStatus("Could not write " + reason);
  if (Scripted()) std::fprintf(stderr, "kestrava: could not write %s\n", reason.c_str());
}

TForm1::~TForm1() {
  FormClose();
}

void TForm1::SetMessageBoxHook(std::function<void(const std::string&)> hook) {
  g_messageBoxHook = std::move(hook);
}

void TForm1::SetConnectDialogHook(std::function<int(TConnectDialog&)> hook) {
  g_connectDialogHook = std::move(hook);
}

void TForm1::SetAgentSettingsFile(const QString& path) {
  g_agentSettingsFile = path;
}

void TForm1::BuildControls() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  setCentralWidget(central);

  Panel1 = new QWidget(central);
  Panel1->setFixedHeight(34);
  layout->addWidget(Panel1);

  SpeedButton1 =
      MakeSpeedButton(Panel1, QRect(8, 4, 25, 25), GlyphRawValues(), QStringLiteral("RAW values"));
  SpeedButton2 = MakeSpeedButton(Panel1, QRect(33, 4, 25, 25), GlyphDeltaValues(),
                                 QStringLiteral("Delta values"));
  // Utilisation joins the value-mode buttons; the legend button and the 3D box close up to
  // make room, so that everything after them keeps its place.
  SpeedButton4 = MakeSpeedButton(Panel1, QRect(58, 4, 25, 25), GlyphUtilisation(),
                                 QStringLiteral("Utilisation: rate as % of the link's speed"));
  SpeedButton3 =
      MakeSpeedButton(Panel1, QRect(85, 4, 25, 25), GlyphLegend(), QStringLiteral("Hide legend"));
  auto* valueMode = new QButtonGroup(this);  // exactly one of RAW, Delta and utilisation is down
  valueMode->setExclusive(true);
  valueMode->addButton(SpeedButton1);
  valueMode->addButton(SpeedButton2);
  valueMode->addButton(SpeedButton4);
  SpeedButton2->setChecked(true);

  CheckBox1 = new QCheckBox(QStringLiteral("3D"), Panel1);
  CheckBox1->setGeometry(111, 9, 31, 17);
  CheckBox1->setToolTip(QStringLiteral("3D mode on/off"));
  CheckBox1->setAccessibleName(QStringLiteral("3D view"));

  Image1 = MakePicture(Panel1, QRect(142, 8, 16, 16), GlyphInstanceMask());
  Label1 = MakeLabel(Panel1, QStringLiteral("Instance-Mask"), QRect(160, 9, 70, 13));
  ComboBox1 = MakeList(Panel1, QRect(234, 6, 121, 21), QStringLiteral("Instance listbox"));
  Image2 = MakePicture(Panel1, QRect(360, 8, 16, 16), GlyphSlices());
  Label2 = MakeLabel(Panel1, QStringLiteral("#Slices"), QRect(378, 9, 34, 13));
  ComboBox2 = MakeList(Panel1, QRect(418, 7, 73, 21), QStringLiteral("Set the number of slices"));
  for (const std::string& item : DefaultSliceItems())
    ComboBox2->addItem(QString::fromStdString(item));
  Label3 = MakeLabel(Panel1, QStringLiteral("Poll. int."), QRect(497, 9, 39, 13));
  // Pictures and abbreviations say to a screen reader what they show to the eye.
  Image1->setAccessibleName(QStringLiteral("Instance mask"));
  Image2->setAccessibleName(QStringLiteral("Number of slices"));
  Label3->setAccessibleName(QStringLiteral("Polling interval"));
  ComboBox3 = MakeList(Panel1, QRect(536, 7, 42, 21), QStringLiteral("Polling interval"));

  setTabOrder(CheckBox1, ComboBox1);
  setTabOrder(ComboBox1, ComboBox2);
  setTabOrder(ComboBox2, ComboBox3);

  Chart1 = new TChart(central);
  Chart1->setAccessibleName(QStringLiteral("Pie chart"));
  layout->addWidget(Chart1, 1);

  Label4 = new QLabel(QStringLiteral("Initializing..."), Chart1);
  QFont verdana(QStringLiteral("Verdana"));
  verdana.setPointSize(12);
  verdana.setBold(true);
  Label4->setFont(verdana);
  Label4->setAutoFillBackground(true);
  QPalette silverOnWhite = Label4->palette();
  silverOnWhite.setColor(QPalette::WindowText, QColor(192, 192, 192));
  silverOnWhite.setColor(QPalette::Window, Qt::white);
  Label4->setPalette(silverOnWhite);
  FitLabel(Label4, QRect(8, 6, 107, 18));

  // The status bar as one simple text area.
  StatusBar1 = statusBar();
  StatusText1 = new QLabel(StatusBar1);
  StatusBar1->addWidget(StatusText1, 1);
  StatusText1->setAccessibleName(QStringLiteral("Status"));
  StatusBar1->setFixedHeight(19);
  FilterEdit = new QLineEdit(StatusBar1);
  FilterEdit->setPlaceholderText(QStringLiteral("Filter slices"));
  FilterEdit->setToolTip(
      QStringLiteral("Show only the slices whose label matches (a regular expression)"));
  FilterEdit->setAccessibleName(QStringLiteral("Filter slices"));
  FilterEdit->setClearButtonEnabled(true);
  FilterEdit->setFixedSize(150, 17);
  StatusBar1->addPermanentWidget(FilterEdit);

  connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
  connect(SpeedButton3, &QToolButton::clicked, this, &TForm1::SpeedButton3Click);
  connect(SpeedButton4, &QToolButton::clicked, this, &TForm1::SpeedButton4Click);
  connect(CheckBox1, &QCheckBox::clicked, this, &TForm1::CheckBox1Click);
  // A choice runs its handler when it changes; picking the entry already chosen does nothing
  // (filling a list from the session is silent, see FillList).
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox1Change);
  connect(ComboBox2, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox2Change);
  connect(ComboBox3, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox3Change);
  connect(FilterEdit, &QLineEdit::textChanged, this, &TForm1::FilterEditChange);
  LayoutToolbar();
}

void TForm1::BuildMenu() {
  // Captions carry no keyboard accelerators.
  Menu.MainMenu1 = menuBar();
  Menu.File1 = Menu.MainMenu1->addMenu(QStringLiteral("File"));
  Menu.OpenRecording1 = Menu.File1->addAction(QStringLiteral("Open recording..."));
  Menu.SaveRecording1 = Menu.File1->addAction(QStringLiteral("Save recording..."));
  Menu.Exit1 =
      Menu.File1->addAction(QIcon(QPixmap::fromImage(GlyphExit())), QStringLiteral("Exit"));
  Menu.Edit1 = Menu.MainMenu1->addMenu(QStringLiteral("Edit"));
  Menu.CopyPietoclipboard1 = Menu.Edit1->addAction(QIcon(QPixmap::fromImage(GlyphCopy())),
                                                   QStringLiteral("Copy Pie to Clipboard"));
  Menu.View1 = Menu.MainMenu1->addMenu(QStringLiteral("View"));
  auto* units = new QActionGroup(this);
  const auto addUnits = [this, units](const QString& text, TUnits which) {
    QAction* action = Menu.View1->addAction(text);
    action->setCheckable(true);
    units->addAction(action);
    connect(action, &QAction::triggered, this, [this, which] { UnitsClick(which); });
    return action;
  };
  Menu.UnitsBits1 = addUnits(QStringLiteral("Rates in Bits per Second"), TUnits::kBits);
  Menu.UnitsBytes1 = addUnits(QStringLiteral("Rates in Bytes per Second"), TUnits::kBytes);
  Menu.UnitsNone1 = addUnits(QStringLiteral("Numbers without Units"), TUnits::kNone);
  Menu.UnitsBits1->setChecked(true);
  Menu.Agent1 = Menu.MainMenu1->addMenu(QStringLiteral("Agent"));
  Menu.Connect1 = Menu.Agent1->addAction(QStringLiteral("Connect to Agent..."));
  Menu.Options1 = Menu.MainMenu1->addMenu(QStringLiteral("Options"));
  Menu.RefreshInstances1 = Menu.Options1->addAction(QStringLiteral("Refresh Instances"));
  Menu.RefreshInstances1->setCheckable(true);
  Menu.Help1 = Menu.MainMenu1->addMenu(QStringLiteral("Help"));
  Menu.About1 =
      Menu.Help1->addAction(QIcon(QPixmap::fromImage(GlyphAbout())), QStringLiteral("About"));

  connect(Menu.Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
  connect(Menu.CopyPietoclipboard1, &QAction::triggered, this, &TForm1::CopyPietoclipboard1Click);
  connect(Menu.RefreshInstances1, &QAction::triggered, this, &TForm1::RefreshInstances1Click);
  connect(Menu.Connect1, &QAction::triggered, this, &TForm1::Connect1Click);
  connect(Menu.About1, &QAction::triggered, this, &TForm1::About1Click);
  const QString recordings = QStringLiteral("Kestrava recordings (*.ndjson.gz);;All files (*)");
  connect(Menu.OpenRecording1, &QAction::triggered, this, [this, recordings] {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open recording"), QString(), recordings);
    if (!path.isEmpty()) OpenRecording(path);
  });
  connect(Menu.SaveRecording1, &QAction::triggered, this, [this, recordings] {
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save recording"),
                                                QStringLiteral("kestrava.ndjson.gz"), recordings);
    if (!path.isEmpty()) SaveRecording(path);
  });
}

// ---- window operations -------------------------------------------------------------------

QString TForm1::StatusText() const {
  return StatusText1->text();
}

void TForm1::ShowStatus(const std::string& text) {
  StatusText1->setText(QString::fromStdString(text));
}

void TForm1::ClearStatus() {
  StatusText1->clear();
}

void TForm1::ShowIdleStatus(const std::string& text) {
  if (StatusText1->text().isEmpty()) ShowStatus(text);
}

void TForm1::EnableToolbar(bool enabled) {
  for (QWidget* control :
       std::initializer_list<QWidget*>{SpeedButton1, SpeedButton2, SpeedButton4, SpeedButton3,
                                       CheckBox1, ComboBox1, ComboBox2, ComboBox3}) {
    control->setEnabled(enabled);
  }
}

void TForm1::SetInitializingVisible(bool visible) {
  Label4->setVisible(visible);
}

void TForm1::SetInstanceChoices(const std::vector<std::string>& items, int selected) {
  FillList(ComboBox1, items, selected);
  LayoutToolbar();
  if (Scripted() && selected < 0) {
    // Discovery left the choice to the user, and no one is there to make it. Looked at once
    // the engine's call has returned, since it may still select the preferred entry.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (ComboBox1->currentIndex() < 0) {
            m_run.SessionEnded(
                "No instance selected: a scripted run needs a \"preferredinstance\" that names "
                "an entry of the instance list.");
          }
        },
        Qt::QueuedConnection);
  }
}

void TForm1::SetSliceChoices(const std::vector<std::string>& items, int selected) {
  FillList(ComboBox2, items, selected);
  LayoutToolbar();
}

void TForm1::SetIntervalChoices(const std::vector<std::string>& items, int selected) {
  FillList(ComboBox3, items, selected);
  LayoutToolbar();
}

void TForm1::LayoutToolbar() {
  // Left to right in the designed places, each list as wide as its widest entry (with room
  // for its arrow); a control that would touch a wider one before it moves along.
  struct TPlace {
    QWidget* Control;
    int Left;
    int Width;  // as designed
  };
  const TPlace places[] = {{Image1, 142, 16}, {Label1, 160, 70},   {ComboBox1, 234, 121},
                           {Image2, 360, 16}, {Label2, 378, 34},   {ComboBox2, 418, 73},
                           {Label3, 497, 39}, {ComboBox3, 536, 42}};
  int designEnd = 0;
  int end = 0;
  for (const TPlace& place : places) {
    const int left = std::max(place.Left, end + std::min(1, place.Left - designEnd));
    // Labels were fitted to their text; lists fit their widest entry.
    int width = std::max(place.Width, place.Control->width());
    if (auto* list = qobject_cast<QComboBox*>(place.Control))
      width = std::max(place.Width, list->sizeHint().width());
    place.Control->setGeometry(left, place.Control->y(), width, place.Control->height());
    designEnd = place.Left + place.Width;
    end = left + width;
  }
}

void TForm1::ShowInstanceChoice(bool visible) {
  ComboBox1->setVisible(visible);
  Label1->setVisible(visible);
  Image1->setVisible(visible);
}

void TForm1::ShowSliceChoice(bool visible) {
  ComboBox2->setVisible(visible);
  Label2->setVisible(visible);
  Image2->setVisible(visible);
}

void TForm1::ShowIntervalChoice(bool visible) {
  ComboBox3->setVisible(visible);
  Label3->setVisible(visible);
  if (visible) m_run.PollingStarted(m_session->SessionRequest().Interval);
}

void TForm1::SetValueMode(bool raw) {
  (raw ? SpeedButton1 : SpeedButton2)->setChecked(true);
}

void TForm1::SetUtilisation(bool on) {
  if (on) SpeedButton4->setChecked(true);
}

void TForm1::SetUnits(TUnits units) {
  m_historyView->Details()->SetUnits(units);
  (units == TUnits::kBytes  ? Menu.UnitsBytes1
   : units == TUnits::kNone ? Menu.UnitsNone1
                            : Menu.UnitsBits1)
      ->setChecked(true);
}

void TForm1::SetView3D(bool on) {
  QSignalBlocker quiet(CheckBox1);
  CheckBox1->setChecked(on);
  Chart1->SetView3D(on);
}

void TForm1::SetAntialiased(bool on) {
  Chart1->SetAntialiased(on);
}

void TForm1::SetLegend(bool shown, TLegendAlignment alignment) {
  SpeedButton3->setChecked(shown);
  ApplyLegendMode(shown, alignment);
}

void TForm1::ApplyLegendMode(bool showLegend, TLegendAlignment alignment) {
  Chart1->SetLegendVisible(showLegend);  // the marks take the opposite state
  SpeedButton3->setToolTip(showLegend ? QStringLiteral("Hide legend")
                                      : QStringLiteral("Show legend"));
  Chart1->SetLegendAlignment(alignment);
}

void TForm1::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
}

void TForm1::SetChartTitle(const std::string& title) {
  Chart1->SetTitleText(QString::fromStdString(title));
  QFont font(QStringLiteral("Verdana"));
  font.setPointSize(12);
  font.setBold(true);
  Chart1->SetTitleFont(font);
}

void TForm1::SetWindowSize(int width, int height) {
  m_wantedOuterSize = QSize(width, height);
  const QSize frame = frameGeometry().size() - geometry().size();
  resize(width - frame.width(), height - frame.height());
  // A hidden window gets its resize event only when shown; the size changed now.
  if (!isVisible()) FormResize();
}

void TForm1::SetRefreshInstances(bool on) {
  Menu.RefreshInstances1->setChecked(on);
}

void TForm1::SetChartHint(const std::string& hint) {
  m_chartHint = QString::fromStdString(hint);
}

void TForm1::ShowMessageBox(const std::string& text) {
  if (Scripted()) {
    m_run.End(kExitConfigError, text);
  } else if (g_messageBoxHook) {
    g_messageBoxHook(text);
  } else {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestrava"), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    box.exec();
  }
}

void TForm1::SessionStopped(const std::string& message) {
  // The status line already says it; the window stays up and offers another agent, once the
  // engine's call has returned. A scripted run ends through its own sink.
  if (Scripted() || m_connectShown || m_closed) return;
  m_connectShown = true;
  QMetaObject::invokeMethod(
      this, [this, problem = QString::fromStdString(message)] { ShowConnectDialog(problem); },
      Qt::QueuedConnection);
}

void TForm1::FinishScriptedRun(int status) {
  if (m_finishing) return;
  m_finishing = true;
  m_exitStatus = status;
  // The files of the last counted update stay as they are.
  m_outputs->KeepFiles(*m_session);
  // Closed from the event loop, so that the engine's call that got here returns first.
  QMetaObject::invokeMethod(this, &TForm1::close, Qt::QueuedConnection);
}

void TForm1::CloseOnSignal(int signo) {
  if (Scripted() && !m_finishing) {
    m_finishing = true;
    m_exitStatus = 128 + signo;
  }
  close();
}

// ---- commands ----------------------------------------------------------------------------

void TForm1::SpeedButton1Click() {
  Guarded([this] { m_session->SetValueMode(true); });
}

void TForm1::SpeedButton2Click() {
  Guarded([this] { m_session->SetValueMode(false); });
}

void TForm1::SpeedButton4Click() {
  Guarded([this] { m_session->SetUtilisation(true); });
}

void TForm1::UnitsClick(TUnits units) {
  m_historyView->Details()->SetUnits(units);
  Guarded([this, units] { m_session->SetUnits(units); });
}

void TForm1::SpeedButton3Click() {
  Guarded([this] {
    m_session->SetLegendShown(SpeedButton3->isChecked());
    ApplyLegendMode(SpeedButton3->isChecked(), m_session->Config().LegendAlignment);
  });
}

void TForm1::CheckBox1Click() {
  m_session->SetView3D(CheckBox1->isChecked());
  Chart1->SetView3D(CheckBox1->isChecked());
}

void TForm1::ComboBox1Change() {
  Label4->show();
  Guarded([this] { m_session->ChooseInstance(ComboBox1->currentIndex()); });
}

void TForm1::ComboBox2Change() {
  Guarded([this] { m_session->SetSliceChoice(ComboBox2->currentIndex()); });
}

void TForm1::ComboBox3Change() {
  Label4->show();
  m_session->SetIntervalChoice(ComboBox3->currentIndex());
}

void TForm1::FilterEditChange() {
  Guarded([this] { ApplyFilter(); });
}

void TForm1::ApplyFilter() {
  // A pattern not finished yet ("eth(") leaves the pie as it was and says so in the field.
  const bool valid = m_session->SetShownFilter(FilterEdit->text().toStdString());
  QPalette palette = FilterEdit->palette();
  palette.setColor(QPalette::Text, valid ? QApplication::palette().color(QPalette::Text)
                                         : QColor(0xD5, 0x5E, 0x00));
  FilterEdit->setPalette(palette);
  FilterEdit->setAccessibleDescription(valid ? QString()
                                             : QStringLiteral("not a regular expression"));
}

void TForm1::ApplyTheme() {
  const TTheme theme = m_session->Config().Theme;
  if (theme != TTheme::kSystem) {
    m_desktopScheme.reset();
    ShowDark(theme == TTheme::kDark);
    return;
  }
  if (!m_desktopScheme) {
    m_desktopScheme = std::make_unique<TDesktopScheme>();
    connect(m_desktopScheme.get(), &TDesktopScheme::PreferenceChanged, this, &TForm1::ShowDark);
  }
  ShowDark(m_desktopScheme->PrefersDark());
}

void TForm1::ShowDark(bool dark) {
  UseDarkWindowPalette(dark);
  Chart1->SetDark(dark);
  QPalette label = Label4->palette();
  label.setColor(QPalette::Window, dark ? QColor(DarkChartColours().Ground) : QColor(Qt::white));
  Label4->setPalette(label);
  // The field's own colours were set against the palette it had.
  if (m_session) ApplyFilter();
}

void TForm1::Exit1Click() {
  close();
}

void TForm1::CopyPietoclipboard1Click() {
  Chart1->CopyChartBitmap();
}

void TForm1::RefreshInstances1Click() {
  Guarded([this] { m_session->SetRefresh(Menu.RefreshInstances1->isChecked()); });
}

void TForm1::Connect1Click() {
  if (!m_connectShown) ShowConnectDialog(QString());
}

void TForm1::ShowConnectDialog(const QString& problem) {
  m_connectShown = true;
  TConnectDialog dialog(AgentSettingsFile(), this);
  dialog.SetChoice(CurrentAgent());
  dialog.SetProblem(problem);
  m_connectDialog = &dialog;
  const int result = g_connectDialogHook ? g_connectDialogHook(dialog) : dialog.exec();
  m_connectDialog = nullptr;
  m_connectShown = false;
  if (result != QDialog::Accepted || m_closed) return;
  const TAgentChoice agent = dialog.Choice();
  dialog.Remember(agent);
  ConnectTo(agent);
}

TAgentChoice TForm1::CurrentAgent() const {
  const TRequest& request = m_session->SessionRequest();
  const TConfigRec& cfg = m_session->Config();
  TAgentChoice agent;
  if (!request.Host.empty()) agent.Host = request.Host;
  if (request.RemotePort > 0) agent.Port = request.RemotePort;
  if (request.SnmpVersion >= 1 && request.SnmpVersion <= 3) agent.Version = request.SnmpVersion;
  agent.Community = request.Community;
  agent.User = cfg.V3.User;
  if (!cfg.V3.SecurityLevel.empty()) agent.SecurityLevel = cfg.V3.SecurityLevel;
  if (!cfg.V3.AuthProtocol.empty()) agent.AuthProtocol = cfg.V3.AuthProtocol;
  if (!cfg.V3.PrivProtocol.empty()) agent.PrivProtocol = cfg.V3.PrivProtocol;
  agent.AuthPassword = cfg.V3.AuthPassword;
  agent.PrivPassword = cfg.V3.PrivPassword;
  // A session of one plain counter shows it; formulas and several columns start from traffic.
  if (cfg.TargetOids.size() == 1 && cfg.TargetOids.front().rfind('&', 0) != 0)
    agent.Counter = cfg.TargetOids.front();
  return agent;
}

void TForm1::ConnectTo(const TAgentChoice& agent) {
  const QSize outer = OuterSize();
  const TMemoryFile config(AgentConfig(agent, m_session->Config(),
                                       m_session->SessionRequest().Interval, outer.width(),
                                       outer.height()));
  if (!config.ok()) {
    ShowStatus("Could not connect: no room for the session's settings.");
    return;
  }
  // The session in place: the old one stops before the new one sets the window up again.
  m_session->Stop();
  m_session.reset();
  Chart1->ClearSlices();
  ClearStatus();
  m_session = std::make_unique<TSession>(*this);
  AttachSinks();
  m_historyView->SessionChanged();
  m_session->Start({"/XML", config.Path()});
  ApplyTheme();
  ApplyFilter();
}

bool TForm1::SaveRecording(const QString& path) {
  std::string error;
  if (!WriteFileAtomically(path.toStdString(), RecordingBytes(m_history), error)) {
    ShowStatus("Could not save the recording: " + error);
    return false;
  }
  ShowStatus("Recording saved: " + path.toStdString());
  return true;
}

bool TForm1::OpenRecording(const QString& path) {
  std::string error;
  if (!ReadRecording(path.toStdString(), m_history, error)) {
    ShowStatus("Could not open the recording: " + error);
    return false;
  }
  m_session->Stop();
  EnableToolbar(false);
  SetInitializingVisible(false);
  m_historyView->RecordingLoaded();
  ShowStatus("Recording " + path.toStdString());
  return true;
}

void TForm1::About1Click() {
  auto* about = new TForm2(this);
  about->setAttribute(Qt::WA_DeleteOnClose);
  about->exec();
}

// ---- window events -----------------------------------------------------------------------

QSize TForm1::OuterSize() const {
  return frameGeometry().size();
}

void TForm1::FormResize() {
  const QSize outer = OuterSize();
  if (outer == m_announcedSize) return;
  m_announcedSize = outer;
  ShowStatus("WxH=" + std::to_string(outer.width()) + "x" + std::to_string(outer.height()));
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FitFrame();
}

void TForm1::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  FitFrame();
}

void TForm1::FitFrame() {
  // The window manager's frame becomes known only after the window is shown (it may never
  // have one); the configured size is the outer size, so it is applied again once.
  const QSize frame = frameGeometry().size() - geometry().size();
  if (!m_wantedOuterSize.isValid() || frame.isNull()) return;
  const QSize wanted = m_wantedOuterSize;
  m_wantedOuterSize = QSize();
  resize(wanted - frame);
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TForm1::FormClose() {
  if (m_closed || !m_session) return;
  m_closed = true;
  // A dialog still up would keep the program running after its window closed.
  if (m_connectDialog) m_connectDialog->reject();
  m_session->Stop();
  if (!m_output.Record.empty()) {
    std::string error;
    if (!WriteFileAtomically(m_output.Record, RecordingBytes(m_history), error)) {
      std::fprintf(stderr, "kestrava: could not write %s\n", error.c_str());
      if (Scripted() && m_exitStatus == 0) m_exitStatus = kExitOutputFailed;
    }
  }
}

}  // namespace kestrava
