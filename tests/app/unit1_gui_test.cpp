// The main window offscreen: its controls, what start-up puts in them, each command's effect,
// the window operations the engine uses, and the files and exit of a scripted run.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/connect_dialog.h"
#include "app/unit1.h"
#include "silent_agent.h"
#include "temp_dir.h"
#include "ui/chart.h"
#include "ui/unit2.h"

namespace kestrava {
namespace {

namespace fs = std::filesystem;
using testing_files::ReadAll;
using testing_files::TempDir;

// An agent that never answers: a bound UDP socket nobody reads, so discovery stays pending
// while a test looks at the window.
using testing::SilentAgent;

QStringList Items(const QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

// Runs what Qt does a moment after a list's entries change (it resizes the list to its size
// hint) and what else the event loop holds, so that a test looks at the settled window.
void Settle(TForm1& form) {
  for (QComboBox* list : {form.ComboBox1, form.ComboBox2, form.ComboBox3}) list->adjustSize();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TForm1::SetMessageBoxHook([this](const std::string& text) { messages.push_back(text); });
    // A stopped session offers the connection dialog: seen, and cancelled.
    TForm1::SetConnectDialogHook([this](TConnectDialog& dialog) {
      offered.push_back(dialog.Problem().toStdString());
      return int(QDialog::Rejected);
    });
    TForm1::SetAgentSettingsFile(QString::fromStdString((settings.path / "agents.ini").string()));
  }
  void TearDown() override {
    TForm1::SetMessageBoxHook(nullptr);
    TForm1::SetConnectDialogHook(nullptr);
    TForm1::SetAgentSettingsFile(QString());
  }

  // A window set up from the arguments against the silent agent, shown.
  std::unique_ptr<TForm1> Start(std::vector<std::string> args) {
    args.insert(args.begin(), {"/HOST", "127.0.0.1", "/PORT", agent.port()});
    return StartExactly(args);
  }
  std::unique_ptr<TForm1> StartExactly(const std::vector<std::string>& args,
                                       bool waitExposed = true) {
    auto form = std::make_unique<TForm1>(args);
    form->show();
    if (waitExposed) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    return form;
  }

  SilentAgent agent;
  TempDir settings{"kestrava-window-settings"};
  std::vector<std::string> messages;
  std::vector<std::string> offered;  // the connection dialog's messages, one per showing
};

TEST_F(WindowTest, ControlsStandWhereTheLayoutPutsThem) {
  auto form = Start({});
  Settle(*form);
  struct Case {
    const char* name;
    QWidget* control;
    QRect rect;
    const char* hint;
  } cases[] = {
      {"SpeedButton1", form->SpeedButton1, {8, 4, 25, 25}, "RAW values"},
      {"SpeedButton2", form->SpeedButton2, {33, 4, 25, 25}, "Delta values"},
      {"SpeedButton4",
       form->SpeedButton4,
       {58, 4, 25, 25},
       "Utilisation: rate as % of the link's speed"},
      {"SpeedButton3", form->SpeedButton3, {85, 4, 25, 25}, "Show legend"},
      {"CheckBox1", form->CheckBox1, {111, 9, 31, 17}, "3D mode on/off"},
      {"Image1", form->Image1, {142, 8, 16, 16}, ""},
      {"Label1", form->Label1, {160, 9, 70, 13}, ""},
      {"ComboBox1", form->ComboBox1, {234, 6, 121, 21}, "Instance listbox"},
      {"Image2", form->Image2, {360, 8, 16, 16}, ""},
      {"Label2", form->Label2, {378, 9, 34, 13}, ""},
      {"ComboBox2", form->ComboBox2, {418, 7, 73, 21}, "Set the number of slices"},
      {"Label3", form->Label3, {497, 9, 39, 13}, ""},
      {"ComboBox3", form->ComboBox3, {536, 7, 42, 21}, "Polling interval"},
      {"Label4", form->Label4, {8, 6, 107, 18}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (qobject_cast<QComboBox*>(c.control) != nullptr) {
      // Lists are as wide as their widest entry, never below their laid-out size.
      EXPECT_EQ(c.control->pos(), c.rect.topLeft());
      EXPECT_GE(c.control->width(), c.rect.width());
      EXPECT_EQ(c.control->height(), c.rect.height());
    } else if (qobject_cast<QLabel*>(c.control) != nullptr && c.control != form->Image1 &&
               c.control != form->Image2) {
      // Text labels fit their text in the substitute font, never below their laid-out size.
      EXPECT_EQ(c.control->pos(), c.rect.topLeft());
      EXPECT_GE(c.control->width(), c.rect.width());
      EXPECT_LE(c.control->width(), c.rect.width() + 10);
      EXPECT_GE(c.control->height(), c.rect.height());
      EXPECT_LE(c.control->height(), c.rect.height() + 2);
    } else {
      EXPECT_EQ(c.control->geometry(), c.rect);
    }
    EXPECT_EQ(c.control->toolTip(), QString::fromLatin1(c.hint));
    EXPECT_EQ(c.control->parentWidget(), c.control == form->Label4 ? form->Chart1 : form->Panel1);
  }
  // The strip on top, the chart filling the middle, the history bar and the status bar below.
  const QWidget* central = form->centralWidget();
  EXPECT_EQ(form->Panel1->geometry(), QRect(0, 0, central->width(), 34));
  EXPECT_EQ(form->Chart1->geometry(), QRect(0, 34, central->width(), central->height() - 34));
  EXPECT_EQ(form->StatusBar1->height(), 19);
  const QWidget* historyBar = form->HistoryView().Bar();
  EXPECT_EQ(historyBar->geometry().top(), central->geometry().bottom() + 1);
  EXPECT_EQ(form->StatusBar1->geometry().top(), historyBar->geometry().bottom() + 1);
  EXPECT_EQ(form->pos(), QPoint(0, 0));
  // No text runs into the control to its right.
  EXPECT_LT(form->Label1->geometry().right(), form->ComboBox1->x());
  EXPECT_LT(form->Label2->geometry().right(), form->ComboBox2->x());
  EXPECT_LT(form->Label3->geometry().right(), form->ComboBox3->x());
  EXPECT_TRUE(form->Chart1->toolTip().isEmpty()) << "the window shows no other hints";
}

TEST_F(WindowTest, CaptionsFontsAndPictures) {
  auto form = Start({});
  EXPECT_EQ(form->Label1->text(), "Instance-Mask");
  EXPECT_EQ(form->Label2->text(), "#Slices");
  EXPECT_EQ(form->Label3->text(), "Poll. int.");
  EXPECT_EQ(form->CheckBox1->text(), "3D");
  EXPECT_EQ(form->Label4->text(), "Initializing...");
  EXPECT_EQ(form->font().family(), "Tahoma");
  EXPECT_EQ(form->font().pointSize(), 8);
  EXPECT_EQ(form->ComboBox2->font().family(), "Tahoma");

  const QFont big = form->Label4->font();
  EXPECT_EQ(big.family(), "Verdana");
  EXPECT_EQ(big.pointSize(), 12);
  EXPECT_TRUE(big.bold());
  EXPECT_EQ(form->Label4->palette().color(QPalette::WindowText), QColor(192, 192, 192));
  EXPECT_EQ(form->Label4->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_TRUE(form->Label4->autoFillBackground());

  for (QToolButton* button :
       {form->SpeedButton1, form->SpeedButton2, form->SpeedButton4, form->SpeedButton3}) {
    EXPECT_TRUE(button->autoRaise());
    EXPECT_TRUE(button->isCheckable());
    EXPECT_EQ(button->iconSize(), QSize(16, 16));
    EXPECT_FALSE(button->icon().isNull());
  }
  EXPECT_EQ(form->Image1->pixmap().size(), QSize(16, 16));
  EXPECT_EQ(form->Image2->pixmap().size(), QSize(16, 16));
  for (QComboBox* list : {form->ComboBox1, form->ComboBox2, form->ComboBox3}) {
    EXPECT_FALSE(list->isEditable());
  }
  // The keyboard goes through the 3D box and the three lists in this order.
  const auto nextTabStop = [](QWidget* w) {
    do {
      w = w->nextInFocusChain();
    } while (!(w->focusPolicy() & Qt::TabFocus));
    return w;
  };
  EXPECT_EQ(nextTabStop(form->CheckBox1), form->ComboBox1);
  EXPECT_EQ(nextTabStop(form->ComboBox1), form->ComboBox2);
  EXPECT_EQ(nextTabStop(form->ComboBox2), form->ComboBox3);
  for (QToolButton* button :
       {form->SpeedButton1, form->SpeedButton2, form->SpeedButton4, form->SpeedButton3}) {
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
  }
}

TEST_F(WindowTest, MenuEntriesWithTheirPictures) {
  auto form = Start({});
  QStringList menus;
  for (QAction* menu : form->Menu.MainMenu1->actions()) menus << menu->text();
  EXPECT_EQ(menus, QStringList({"File", "Edit", "View", "Agent", "Options", "Help"}));
  EXPECT_EQ(
      form->Menu.View1->actions(),
      QList<QAction*>({form->Menu.UnitsBits1, form->Menu.UnitsBytes1, form->Menu.UnitsNone1}));
  for (QAction* units : form->Menu.View1->actions()) EXPECT_TRUE(units->isCheckable());
  EXPECT_TRUE(form->Menu.UnitsBits1->isChecked());
  struct Case {
    QMenu* menu;
    QAction* entry;
    const char* text;
    bool image;
  } cases[] = {
      {form->Menu.File1, form->Menu.Exit1, "Exit", true},
      {form->Menu.Edit1, form->Menu.CopyPietoclipboard1, "Copy Pie to Clipboard", true},
      {form->Menu.Agent1, form->Menu.Connect1, "Connect to Agent...", false},
      {form->Menu.Options1, form->Menu.RefreshInstances1, "Refresh Instances", false},
      {form->Menu.Help1, form->Menu.About1, "About", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const QList<QAction*> before =
        c.menu == form->Menu.File1
            ? QList<QAction*>({form->Menu.OpenRecording1, form->Menu.SaveRecording1})
            : QList<QAction*>();
    EXPECT_EQ(c.menu->actions(), before + QList<QAction*>({c.entry}));
    EXPECT_EQ(c.entry->text(), c.text);
    EXPECT_EQ(!c.entry->icon().isNull(), c.image);
    EXPECT_EQ(c.entry->isCheckable(), c.entry == form->Menu.RefreshInstances1);
  }
}

TEST_F(WindowTest, StartUpPutsTheSettingsIntoTheControls) {
  TempDir dir("kestrava-window");
  const fs::path config = dir.path / "k.xml";
  std::ofstream(config) << "<kestrava><programtitle>Edge</programtitle>"
                           "<charttitle>Senders</charttitle><chart3D>false</chart3D>"
                           "<showlegend>true</showlegend><legendalignment>top</legendalignment>"
                           "<slices>10</slices><host>127.0.0.1</host>"
                           "<pollinginterval>1000</pollinginterval>"
                           "<width>700</width><height>300</height>"
                           "<refreshinstances>true</refreshinstances>"
                           "<shooter><raw>true</raw><remoteport>"
                        << agent.port()
                        << "</remoteport><shootertargets><shootertarget>"
                           "<oid>1.3.6.1.2.1.2.2.1.16</oid><instance>ALL INSTANCES</instance>"
                           "<visible>true</visible></shootertarget><shootertarget>"
                           "<oid>IM=.RT</oid></shootertarget>"
                           "</shootertargets></shooter></kestrava>";
  const QStringList slicesDefault = {"Any", "30", "23", "17", "12", "8", "5", "3"};
  const QStringList intervals = {"1", "2", "5", "10", "15", "30", "60", "300", "600"};
  struct Case {
    const char* name;
    std::vector<std::string> args;
    QString caption, title;
    bool legend;
    TLegendAlignment alignment;
    bool view3D, raw, refresh;
    QStringList slices;
    QString slice;
    QStringList intervals;
    QString interval;
    QSize outer;
  } cases[] = {
      {"options without a legend",
       {},
       "Kestrava - Host: 127.0.0.1",
       "Top receivers",
       false,
       laBottom,
       true,
       false,
       false,
       slicesDefault,
       "Any",
       intervals,
       "5",
       {600, 460}},
      {"every presentation option",
       {"/SHOWLEGEND", "/LEGENDALIGNMENT", "right", "/POLLINGINTERVAL", "7", "/PROGRAMTITLE",
        "Edge", "/CHARTTITLE", "In & out", "/WIDTH", "800", "/HEIGHT", "500"},
       "Edge - Host: 127.0.0.1",
       "In & out",
       true,
       laRight,
       true,
       false,
       false,
       slicesDefault,
       "Any",
       {"1", "2", "5", "7", "10", "15", "30", "60", "300", "600"},
       "7",
       {800, 500}},
      {"configuration file",
       {"/XML", config.string()},
       "Edge - Host: 127.0.0.1",
       "Senders",
       true,
       laTop,
       false,
       true,
       true,
       {"Any", "30", "23", "17", "12", "10", "8", "5", "3"},
       "10",
       {"1", "2", "5", "10", "15", "30", "60", "300", "600", "1000"},
       "1000",
       {700, 300}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto form = c.args.size() > 1 && c.args[0] == "/XML" ? StartExactly(c.args) : Start(c.args);
    EXPECT_EQ(form->windowTitle(), c.caption);
    EXPECT_EQ(form->ChartHint(), c.caption);
    EXPECT_EQ(form->Chart1->TitleText(), c.title);
    EXPECT_EQ(form->Chart1->TitleFont().family(), "Verdana");
    EXPECT_EQ(form->Chart1->TitleFont().pointSize(), 12);
    EXPECT_TRUE(form->Chart1->TitleFont().bold());
    EXPECT_EQ(form->Chart1->LegendVisible(), c.legend);
    EXPECT_EQ(form->Chart1->MarksVisible(), !c.legend);
    EXPECT_EQ(form->Chart1->LegendAlignment(), c.alignment);
    EXPECT_EQ(form->SpeedButton3->isChecked(), c.legend);
    EXPECT_EQ(form->SpeedButton3->toolTip(), c.legend ? "Hide legend" : "Show legend");
    EXPECT_EQ(form->CheckBox1->isChecked(), c.view3D);
    EXPECT_EQ(form->Chart1->View3D(), c.view3D);
    EXPECT_EQ(form->SpeedButton1->isChecked(), c.raw);
    EXPECT_EQ(form->SpeedButton2->isChecked(), !c.raw);
    EXPECT_EQ(form->Menu.RefreshInstances1->isChecked(), c.refresh);
    EXPECT_EQ(Items(form->ComboBox2), c.slices);
    EXPECT_EQ(form->ComboBox2->currentText(), c.slice);
    EXPECT_EQ(Items(form->ComboBox3), c.intervals);
    EXPECT_EQ(form->ComboBox3->currentText(), c.interval);
    EXPECT_EQ(form->frameGeometry().size(), c.outer);
    // Sizing the window at start-up said so on the status line (the agent has not answered).
    EXPECT_EQ(form->StatusText(),
              QStringLiteral("WxH=%1x%2").arg(c.outer.width()).arg(c.outer.height()));
    // Until discovery ends: the toolbar is disabled, the lists are hidden, and the chart
    // says it is initialising.
    EXPECT_FALSE(form->SpeedButton1->isEnabled());
    EXPECT_FALSE(form->ComboBox3->isEnabled());
    EXPECT_FALSE(form->ComboBox1->isVisible());
    EXPECT_FALSE(form->ComboBox2->isVisible());
    EXPECT_FALSE(form->Label2->isVisible());
    EXPECT_FALSE(form->ComboBox3->isVisible());
    EXPECT_FALSE(form->Label3->isVisible());
    EXPECT_TRUE(form->Label4->isVisible());
    EXPECT_TRUE(form->ComboBox1->count() == 0);
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, AFailedLoadShowsItsMessageOnceAndLeavesTheWindowIdle) {
  TempDir dir("kestrava-window");
  const fs::path broken = dir.path / "broken.xml";
  std::ofstream(broken) << "<kestrava><host>127.0.0.1</host><shooter>";
  const fs::path missing = dir.path / "missing.xml";
  for (const fs::path& file : {broken, missing}) {
    SCOPED_TRACE(file.string());
    messages.clear();
    auto form = StartExactly({"/XML", file.string()});
    QTest::qWait(50);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("XML Parser error! The XML file: " + file.string() +
                                    " could not be parsed. Error message: ",
                                0),
              0u)
        << messages[0];
    EXPECT_EQ(form->windowTitle(), "Kestrava") << "the design-time caption";
    EXPECT_TRUE(form->Label4->isVisible());
    for (QWidget* control : std::initializer_list<QWidget*>{
             form->SpeedButton1, form->SpeedButton2, form->SpeedButton4, form->SpeedButton3,
             form->CheckBox1, form->ComboBox1, form->ComboBox2, form->ComboBox3}) {
      EXPECT_FALSE(control->isEnabled());
    }
    EXPECT_EQ(form->Chart1->SliceCount(), 0);
    EXPECT_EQ(form->ExitStatus(), 0);
    EXPECT_TRUE(form->close());
  }
}

TEST_F(WindowTest, ResizingShowsTheOuterSize) {
  auto form = Start({});
  for (const QSize size : {QSize(800, 500), QSize(640, 480)}) {
    form->resize(size - (form->frameGeometry().size() - form->size()));
    const QString want = QStringLiteral("WxH=%1x%2").arg(size.width()).arg(size.height());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->StatusText() == want; }))
        << form->StatusText().toStdString();
  }
}

TEST_F(WindowTest, LegendButtonTogglesLegendAndMarks) {
  auto form = Start({"/SHOWLEGEND", "/LEGENDALIGNMENT", "left"});
  form->EnableToolbar(true);
  ASSERT_TRUE(form->SpeedButton3->isChecked());
  form->SpeedButton3->click();
  EXPECT_FALSE(form->Session().Config().ShowLegend);
  EXPECT_FALSE(form->Chart1->LegendVisible());
  EXPECT_TRUE(form->Chart1->MarksVisible());
  EXPECT_EQ(form->SpeedButton3->toolTip(), "Show legend");
  EXPECT_EQ(form->Chart1->LegendAlignment(), laLeft);
  form->SpeedButton3->click();
  EXPECT_TRUE(form->Session().Config().ShowLegend);
  EXPECT_TRUE(form->Chart1->LegendVisible());
  EXPECT_FALSE(form->Chart1->MarksVisible());
  EXPECT_EQ(form->SpeedButton3->toolTip(), "Hide legend");
  EXPECT_EQ(form->Chart1->LegendAlignment(), laLeft);
}

TEST_F(WindowTest, ButtonsShowTheirHintsWhenTheMouseRestsOnThem) {
  auto form = Start({});
  struct Case {
    QWidget* control;
    const char* hint;
  } cases[] = {{form->SpeedButton1, "RAW values"},
               {form->SpeedButton2, "Delta values"},
               {form->SpeedButton3, "Show legend"},
               {form->CheckBox1, "3D mode on/off"}};
  // Before discovery ends the toolbar is disabled; the hints show all the same.
  for (const bool enabled : {false, true}) {
    form->EnableToolbar(enabled);
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.hint << (enabled ? ", enabled" : ", disabled"));
      EXPECT_EQ(c.control->toolTip(), QString::fromLatin1(c.hint));
      QToolTip::hideText();
      const QPoint at(c.control->width() / 2, c.control->height() / 2);
      QHelpEvent help(QEvent::ToolTip, at, c.control->mapToGlobal(at));
      QApplication::sendEvent(c.control, &help);
      EXPECT_TRUE(QToolTip::isVisible());
      EXPECT_EQ(QToolTip::text(), QString::fromLatin1(c.hint));
    }
  }
  QToolTip::hideText();
}

TEST_F(WindowTest, HintsShowWhileAnotherWindowHasTheFocus) {
  // A monitor is watched while one works elsewhere, and a bare X server gives no window the
  // focus: the hints may not wait for the window to be active.
  auto form = Start({});
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  ASSERT_FALSE(form->isActiveWindow());
  for (QToolButton* button : {form->SpeedButton1, form->SpeedButton2}) {
    SCOPED_TRACE(button->toolTip().toStdString());
    QToolTip::hideText();
    ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
    QTest::mouseMove(button, QPoint(button->width() / 2, button->height() / 2));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return QToolTip::isVisible() && QToolTip::text() == button->toolTip(); }, 5000));
  }
  QToolTip::hideText();
}

TEST_F(WindowTest, ValueModeButtonsAreARadioPair) {
  auto form = Start({});
  form->EnableToolbar(true);
  form->SpeedButton1->click();
  EXPECT_TRUE(form->SpeedButton1->isChecked());
  EXPECT_FALSE(form->SpeedButton2->isChecked());
  EXPECT_TRUE(form->Session().Config().RawValues);
  form->SpeedButton2->click();
  EXPECT_FALSE(form->SpeedButton1->isChecked());
  EXPECT_TRUE(form->SpeedButton2->isChecked());
  EXPECT_FALSE(form->Session().Config().RawValues);
  form->SpeedButton2->click();  // pressing the down button keeps it down
  EXPECT_TRUE(form->SpeedButton2->isChecked());
  // Utilisation is the third of the group.
  form->SpeedButton4->click();
  EXPECT_TRUE(form->SpeedButton4->isChecked());
  EXPECT_FALSE(form->SpeedButton2->isChecked());
  EXPECT_TRUE(form->Session().Config().Utilisation);
  form->SpeedButton1->click();
  EXPECT_FALSE(form->SpeedButton4->isChecked());
  EXPECT_FALSE(form->Session().Config().Utilisation);
  EXPECT_TRUE(form->Session().Config().RawValues);
}

TEST_F(WindowTest, ThreeDBoxSwitchesTheChart) {
  auto form = Start({});
  form->EnableToolbar(true);
  form->CheckBox1->click();
  EXPECT_FALSE(form->Session().Config().View3D);
  EXPECT_FALSE(form->Chart1->View3D());
  form->CheckBox1->click();
  EXPECT_TRUE(form->Session().Config().View3D);
  EXPECT_TRUE(form->Chart1->View3D());
  // Set from outside, the box follows without firing its command.
  form->Session().SetView3D(true);
  form->SetView3D(false);
  EXPECT_FALSE(form->CheckBox1->isChecked());
  EXPECT_FALSE(form->Chart1->View3D());
  EXPECT_TRUE(form->Session().Config().View3D);
}

TEST_F(WindowTest, SlicesListPicksTheNumberOfSlices) {
  auto form = Start({});
  form->EnableToolbar(true);
  form->ShowSliceChoice(true);
  form->ComboBox2->setCurrentIndex(6);  // as when the user picks "5"
  EXPECT_EQ(form->Session().Config().SliceIndex, 6);
}

TEST_F(WindowTest, PickingTheChosenEntryAgainChangesNothing) {
  auto form = Start({});
  form->EnableToolbar(true);
  form->ShowIntervalChoice(true);
  form->SetInitializingVisible(false);
  const int interval = form->ComboBox3->currentIndex();
  // Qt says "activated" also when the entry already chosen is picked again.
  emit form->ComboBox3->activated(interval);
  EXPECT_FALSE(form->Label4->isVisible());
  EXPECT_EQ(form->Session().SessionRequest().Interval, 5);
  form->ComboBox3->setCurrentIndex(form->ComboBox3->findText(QStringLiteral("10")));
  EXPECT_TRUE(form->Label4->isVisible());
  EXPECT_EQ(form->Session().SessionRequest().Interval, 10);
}

TEST_F(WindowTest, ListsAreAsWideAsTheirEntriesAndNothingOverlaps) {
  auto form = Start({"/POLLINGINTERVAL", "1000", "/PREFERREDINSTANCE", "Intel(R) PRO/1000 #2"});
  form->SetInstanceChoices({"1", "Intel(R) PRO/1000 Network Connection #2"}, 1);
  form->ShowInstanceChoice(true);
  form->ShowSliceChoice(true);
  form->ShowIntervalChoice(true);
  Settle(*form);
  ASSERT_GE(form->ComboBox3->findText(QStringLiteral("1000")), 0);
  // Every entry fits beside the arrow, which takes about 20 pixels.
  for (QComboBox* list : {form->ComboBox1, form->ComboBox2, form->ComboBox3}) {
    const QFontMetrics metrics(list->font());
    for (int i = 0; i < list->count(); ++i)
      EXPECT_LE(metrics.horizontalAdvance(list->itemText(i)) + 20, list->width())
          << list->itemText(i).toStdString();
  }
  // Left to right, each control ends before the next begins.
  const QWidget* order[] = {form->Image1, form->Label1,    form->ComboBox1, form->Image2,
                            form->Label2, form->ComboBox2, form->Label3,    form->ComboBox3};
  for (size_t i = 1; i < std::size(order); ++i)
    EXPECT_LE(order[i - 1]->geometry().right(), order[i]->geometry().left()) << i;
  // Shorter entries give the list back its laid-out size, and the lists keep their height.
  form->SetInstanceChoices({"1", "2"}, 0);
  Settle(*form);
  EXPECT_EQ(form->ComboBox1->geometry(), QRect(234, 6, 121, 21));
  EXPECT_EQ(form->Image2->x(), 360);
  for (QComboBox* list : {form->ComboBox1, form->ComboBox2, form->ComboBox3})
    EXPECT_EQ(list->height(), 21);
}

TEST_F(WindowTest, RefreshInstancesFlipsItsCheckMark) {
  auto form = Start({});
  ASSERT_FALSE(form->Menu.RefreshInstances1->isChecked());
  form->Menu.RefreshInstances1->trigger();
  EXPECT_TRUE(form->Menu.RefreshInstances1->isChecked());
  EXPECT_TRUE(form->Session().Config().RefreshInstances);
  form->Menu.RefreshInstances1->trigger();
  EXPECT_FALSE(form->Menu.RefreshInstances1->isChecked());
  EXPECT_FALSE(form->Session().Config().RefreshInstances);
}

TEST_F(WindowTest, CopyPieCopiesTheChartWithoutTheInitializingLabel) {
  auto form = Start({});
  ASSERT_TRUE(form->Label4->isVisible());
  form->Menu.CopyPietoclipboard1->trigger();
  const QImage copied = QGuiApplication::clipboard()->image();
  ASSERT_EQ(copied.size(), form->Chart1->size());
  EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32),
            form->Chart1->RenderImage(form->Chart1->size()).convertToFormat(QImage::Format_RGB32));
  // Where the label lies on screen, the copy shows the white chart.
  EXPECT_EQ(copied.pixelColor(30, 14), QColor(Qt::white));
}

TEST_F(WindowTest, AboutOpensTheAboutBoxModally) {
  auto form = Start({});
  QString seen;
  bool modal = false;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (box == nullptr) return;
    seen = box->windowTitle();
    modal = box->isModal() && qobject_cast<TForm2*>(box) != nullptr && box->parent() == form.get();
    box->close();
  });
  form->Menu.About1->trigger();
  EXPECT_EQ(seen, "About Quillbeck Kestrava");
  EXPECT_TRUE(modal);
  QTest::qWait(10);  // the closed box frees itself
  EXPECT_TRUE(form->findChildren<TForm2*>().isEmpty());
}

TEST_F(WindowTest, ClosingTheWindowClosesTheConnectionDialog) {
  auto form = Start({});
  TForm1::SetConnectDialogHook(nullptr);  // the real modal dialog
  bool modal = false;
  QTimer::singleShot(0, [&] {
    modal = qobject_cast<TConnectDialog*>(QApplication::activeModalWidget()) != nullptr;
    form->close();  // as a quit signal does
  });
  form->Menu.Connect1->trigger();  // returns when the dialog has gone
  EXPECT_TRUE(modal);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(form->Session().WorkerFinished());
  EXPECT_EQ(form->Session().SessionRequest().RemotePort, std::stoi(agent.port()));
}

TEST_F(WindowTest, ExitClosesTheWindowAndEndsTheSession) {
  auto form = Start({});
  form->Menu.Exit1->trigger();
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(form->Session().WorkerFinished());
  EXPECT_TRUE(form->Session().RequestTableSnapshot().empty());
}

// A pie as the session's sinks get it.
void Deliver(TForm1& form, std::vector<TPieSlice> pie) {
  auto snapshot = std::make_shared<TPollSnapshot>();
  snapshot->Fresh = true;
  snapshot->Interval = 5;
  snapshot->Pie = std::move(pie);
  form.Session().Deliver(snapshot);
}

TEST_F(WindowTest, ChartOperationsReachTheChart) {
  auto form = Start({});
  Deliver(*form, {{"eth0", 50, "50", 0, PaletteColour}, {"Other", 30, "30", 1, PaletteColour}});
  EXPECT_EQ(form->Chart1->SliceCount(), 2);
  Deliver(*form, {});
  EXPECT_EQ(form->Chart1->SliceCount(), 0);
  form->SetInitializingVisible(false);
  EXPECT_FALSE(form->Label4->isVisible());
  form->SetChartTitle("Top senders");
  EXPECT_EQ(form->Chart1->TitleText(), "Top senders");
  form->ShowStatus("Instance .1 detected");
  EXPECT_EQ(form->StatusText(), "Instance .1 detected");
  form->ClearStatus();
  EXPECT_EQ(form->StatusText(), "");
  form->SetInstanceChoices({".1", ".2"}, 1);
  EXPECT_EQ(Items(form->ComboBox1), QStringList({".1", ".2"}));
  EXPECT_EQ(form->ComboBox1->currentIndex(), 1);
  form->ShowInstanceChoice(true);
  EXPECT_TRUE(form->ComboBox1->isVisible() && form->Label1->isVisible() &&
              form->Image1->isVisible());
  form->ShowIntervalChoice(true);
  EXPECT_TRUE(form->ComboBox3->isVisible() && form->Label3->isVisible());
  form->EnableToolbar(true);
  EXPECT_TRUE(form->SpeedButton3->isEnabled() && form->ComboBox1->isEnabled());
}

// ---- scripted runs ----

struct TRow {
  std::string Label;
  double Value;
  int Position;
};

// A pie as the engine hands it over; the value's text is its shortest decimal.
void Feed(TForm1& form, const std::vector<TRow>& rows) {
  std::vector<TPieSlice> pie;
  for (const TRow& row : rows) {
    std::ostringstream text;
    text << row.Value;
    pie.push_back(TPieSlice{row.Label, row.Value, text.str(), row.Position, PaletteColour});
  }
  Deliver(form, pie);
}

TEST_F(WindowTest, EveryFeedWritesTheFilesAndTheNthPieEndsTheRun) {
  TempDir dir("kestrava-window");
  const fs::path csv = dir.path / "pie.csv";
  const fs::path png = dir.path / "pie.png";
  auto form = Start({"/EXPORT", csv.string(), "/SNAPSHOT", png.string(), "/EXITAFTER", "2"});
  Feed(*form, {});  // before the first slice nothing is written, and nothing counted
  EXPECT_FALSE(fs::exists(csv));
  EXPECT_FALSE(fs::exists(png));
  Feed(*form, {{"eth0", 1500, 0}, {"wlan \"home\"", 250.5, 1}, {"Other", 3, 2}});
  EXPECT_EQ(ReadAll(csv),
            "position,label,value\n0,eth0,1500\n1,\"wlan \"\"home\"\"\",250.5\n2,Other,3\n");
  const QImage snapshot(QString::fromStdString(png.string()));
  EXPECT_EQ(snapshot.size(), form->Chart1->size());
  EXPECT_EQ(snapshot.convertToFormat(QImage::Format_RGB32),
            form->Chart1->RenderImage(form->Chart1->size()).convertToFormat(QImage::Format_RGB32));
  EXPECT_TRUE(form->isVisible());
  Feed(*form, {});  // once started, an empty pie is written too, but not counted
  EXPECT_EQ(ReadAll(csv), "position,label,value\n");
  Feed(*form, {{"eth0", 7, 0}});
  EXPECT_EQ(ReadAll(csv), "position,label,value\n0,eth0,7\n");
  Feed(*form, {{"late", 1, 0}});  // after the last counted feed nothing is written
  EXPECT_EQ(ReadAll(csv), "position,label,value\n0,eth0,7\n");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }));
  EXPECT_EQ(form->ExitStatus(), 0);
  EXPECT_TRUE(form->Session().WorkerFinished());
}

TEST_F(WindowTest, SmoothDrawingIsAskedForOnTheCommandLine) {
  EXPECT_FALSE(Start({})->Chart1->Antialiased());
  EXPECT_TRUE(Start({"/ANTIALIAS"})->Chart1->Antialiased());
}

TEST_F(WindowTest, TheSnapshotIsTakenAtTheScaleAskedFor) {
  TempDir dir("kestrava-window");
  const fs::path png = dir.path / "pie.png";
  auto form = Start({"/SNAPSHOT", png.string(), "/SNAPSHOTSCALE", "2"});
  Feed(*form, {{"eth0", 1500, 0}, {"Other", 3, 1}});
  const QImage snapshot(QString::fromStdString(png.string()));
  EXPECT_EQ(snapshot.size(), form->Chart1->size() * 2);
}

TEST_F(WindowTest, AFileThatCannotBeWrittenIsReportedAndPollingGoesOn) {
  TempDir dir("kestrava-window");
  const fs::path csv = dir.path / "missing-folder" / "pie.csv";
  auto form = Start({"/EXPORT", csv.string()});
  Feed(*form, {{"eth0", 1, 0}});
  EXPECT_EQ(form->StatusText().toStdString(),
            "Could not write " + csv.string() + ": No such file or directory");
  EXPECT_TRUE(form->isVisible());
  fs::create_directory(csv.parent_path());
  Feed(*form, {{"eth0", 2, 0}});
  EXPECT_EQ(ReadAll(csv), "position,label,value\n0,eth0,2\n");
}

TEST_F(WindowTest, ScriptedRunThatCannotWriteItsLastFilesFails) {
  TempDir dir("kestrava-window");
  const fs::path csv = dir.path / "missing-folder" / "pie.csv";
  auto form = Start({"/EXPORT", csv.string(), "/EXITAFTER", "1"});
  ::testing::internal::CaptureStderr();
  Feed(*form, {{"eth0", 1, 0}});
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("could not write " + csv.string()), std::string::npos) << said;
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }));
  EXPECT_EQ(form->ExitStatus(), kExitOutputFailed);
}

TEST_F(WindowTest, AScriptedRunSaysWhyItStopsOnce) {
  auto form = Start({"/EXITAFTER", "2"});
  ::testing::internal::CaptureStderr();
  // Discovery offers the entries, then again with the preferred one, which matches none.
  form->SetInstanceChoices({"1", "2"}, -1);
  form->SetInstanceChoices({"1", "2"}, -1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }));
  const std::string said = ::testing::internal::GetCapturedStderr();
  const size_t first = said.find("No instance selected");
  ASSERT_NE(first, std::string::npos) << said;
  EXPECT_EQ(said.find("No instance selected", first + 1), std::string::npos) << said;
  EXPECT_EQ(form->ExitStatus(), kExitSessionStopped);
}

TEST_F(WindowTest, ScriptedRunNeverWaitsForAPerson) {
  TempDir dir("kestrava-window");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* said;
  } cases[] = {
      {"configuration that fails to load",
       {"/XML", (dir.path / "missing.xml").string(), "/EXITAFTER", "3"},
       kExitConfigError,
       "XML Parser error! The XML file: "},
      {"file name missing", {"/EXITAFTER", "3", "/XML"}, kExitSessionStopped, "Nothing to poll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::testing::internal::CaptureStderr();
    auto form = StartExactly(c.args, false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(form->ExitStatus(), c.status);
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
  }
  EXPECT_TRUE(messages.empty()) << "no message box in a scripted run";

  auto form = Start({"/EXITAFTER", "2"});
  ::testing::internal::CaptureStderr();
  form->ScriptedRun().SessionEnded("Timeout while collecting instances!");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }));
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Timeout while collecting instances!"),
            std::string::npos);
  EXPECT_EQ(form->ExitStatus(), kExitSessionStopped);
}

TEST_F(WindowTest, ScriptedRunEndsWhenAnInstanceIsLeftForThePersonToPick) {
  {
    auto form = Start({"/EXITAFTER", "1"});
    form->SetInstanceChoices({".1", ".2"}, -1);
    form->SetInstanceChoices({".1", ".2"}, 1);  // the preferred entry, picked at once
    QTest::qWait(20);
    EXPECT_TRUE(form->isVisible());
  }
  auto form = Start({"/EXITAFTER", "1"});
  ::testing::internal::CaptureStderr();
  form->SetInstanceChoices({".1", ".2"}, -1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }));
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("No instance selected"),
            std::string::npos);
  EXPECT_EQ(form->ExitStatus(), kExitSessionStopped);
}

TEST_F(WindowTest, WithoutExitAfterAStoppedSessionOffersAnotherAgent) {
  auto form = Start({});
  form->SessionStopped("Timeout while collecting instances!");
  form->SessionStopped("Timeout while collecting instances!");  // one dialog at a time
  EXPECT_TRUE(offered.empty()) << "shown once the engine's call has returned";
  QTest::qWait(20);
  EXPECT_EQ(offered, std::vector<std::string>{"Timeout while collecting instances!"});
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->ExitStatus(), 0);
  // Cancelled, the window stays as it was; the menu offers the dialog again.
  form->Menu.Connect1->trigger();
  EXPECT_EQ(offered.size(), 2u);
  EXPECT_EQ(form->Session().SessionRequest().RemotePort, std::stoi(agent.port()));
}

}  // namespace
}  // namespace kestrava
