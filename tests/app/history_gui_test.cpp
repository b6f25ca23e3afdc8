// The history in the window, offscreen: a slice picked on the chart opens its row with its
// numbers, Space pauses the chart while polls go on, the slider shows the pie of a past moment
// in the legend, End goes back to the newest poll, and the outputs stay live throughout.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/connect_dialog.h"
#include "app/detail_dock.h"
#include "app/unit1.h"
#include "silent_agent.h"
#include "temp_dir.h"
#include "ui/chart.h"
#include "ui/chart_picker.h"
#include "ui/history_plot.h"

namespace kestrava {
namespace {

namespace fs = std::filesystem;
using testing_files::ReadAll;
using testing_files::TempDir;

constexpr int64_t kStart = 1'700'000'040'000;

using testing::SilentAgent;

// Polls of three rows of one column, two slices of their own and "Other".
class Polls {
 public:
  Polls() {
    auto layout = std::make_shared<TSnapshotLayout>();
    layout->Host = "127.0.0.1";
    layout->Port = 161;
    layout->Columns.push_back(TSnapshotColumn{"1.3.6.1.2.1.2.2.1.10", "In", false, true});
    for (int r = 0; r < 3; ++r) {
      layout->Rows.push_back(TSnapshotRow{"." + std::to_string(r + 1), "eth" + std::to_string(r)});
      layout->PolledOids.push_back("1.3.6.1.2.1.2.2.1.10." + std::to_string(r + 1));
      layout->SliceLabels.push_back("eth" + std::to_string(r));
    }
    m_layout = layout;
  }
  // Poll t (one a second); rate(row, t) gives each row's change per second.
  TSnapshotPtr Make(int t, const std::function<double(int, int)>& rate) const {
    auto s = std::make_shared<TPollSnapshot>();
    s->Fresh = true;
    s->TimeMs = kStart + int64_t{t} * 1000;
    s->Elapsed = 1;
    s->Interval = 1;
    s->Layout = m_layout;
    std::vector<TSliceCandidate> candidates;
    for (int r = 0; r < 3; ++r) {
      const auto whole = static_cast<uint64_t>(std::llround(rate(r, t)));
      TSlotReading reading;
      reading.Value = TSample::Whole(whole);
      reading.Delta = TDelta{true, true, false, whole, static_cast<long double>(whole)};
      reading.HasRate = true;
      reading.Rate = static_cast<double>(whole);
      candidates.push_back(TSliceCandidate{r, KeyOf(ShownValue(reading, false))});
      s->Slots.push_back(reading);
    }
    BuildPie(
        candidates, 3,
        [this](int slot) -> const std::string& {
          return m_layout->SliceLabels[static_cast<size_t>(slot)];
        },
        s->Pie);
    return s;
  }

 private:
  std::shared_ptr<const TSnapshotLayout> m_layout;
};

class HistoryWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale::c());
    TForm1::SetConnectDialogHook([](TConnectDialog&) { return int(QDialog::Rejected); });
    TForm1::SetAgentSettingsFile(QString::fromStdString((dir.path / "agents.ini").string()));
  }
  void TearDown() override {
    TForm1::SetConnectDialogHook(nullptr);
    TForm1::SetAgentSettingsFile(QString());
    QLocale::setDefault(QLocale::system());
  }
  // A window whose session waits on discovery from an agent that never answers; the polls
  // come from the test.
  std::unique_ptr<TForm1> Start(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"/HOST", "127.0.0.1", "/PORT", agent.port(), "/SHOWLEGEND"};
    args.insert(args.end(), extra.begin(), extra.end());
    auto form = std::make_unique<TForm1>(args);
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->Chart1->SetView3D(false);
    return form;
  }
  static void Poll(TForm1& form, const Polls& polls, int from, int to,
                   const std::function<double(int, int)>& rate) {
    for (int t = from; t < to; ++t) form.Session().Deliver(polls.Make(t, rate));
    QCoreApplication::processEvents();
  }
  static QStringList LegendLabels(const TChart& chart) {
    QStringList labels;
    for (const TLegendItem& item : chart.Layout(chart.size()).legend.items) labels << item.label;
    return labels;
  }

  SilentAgent agent;
  TempDir dir{"kestrava-history-window"};
  Polls polls;
};

TEST_F(HistoryWindowTest, ClickingASliceShowsItsRowAndItsNumbers) {
  auto form = Start({"/LEGENDALIGNMENT", "RIGHT"});
  // eth0 climbs from 1000 a second, eth1 stays at 500, eth2 at 10.
  Poll(*form, polls, 0, 120, [](int row, int t) {
    return row == 0 ? 1000.0 + t : row == 1 ? 500 : 10;
  });
  TDetailDock& details = *form->HistoryView().Details();
  EXPECT_FALSE(details.isVisible());

  // A point in the middle of the first slice of the flat pie.
  const TChartLayout layout = form->Chart1->Layout(form->Chart1->size());
  const TSliceAngles& first = layout.angles.at(0);
  const QPoint inside(layout.pie.cx + static_cast<int>(0.6 * layout.pie.rx * std::cos(first.mid)),
                      layout.pie.cy - static_cast<int>(0.6 * layout.pie.ry * std::sin(first.mid)));
  QTest::mouseClick(form->Chart1, Qt::LeftButton, {}, inside);
  QCoreApplication::processEvents();

  ASSERT_TRUE(details.isVisible());
  EXPECT_EQ(details.RowTitle->text(), "eth0");
  EXPECT_EQ(details.RowIndex->text(), "Index 1");
  EXPECT_EQ(details.RowTargets->text(),
            "In (1.3.6.1.2.1.2.2.1.10), polled as 1.3.6.1.2.1.2.2.1.10.1");
  // Octets a second read as the legend reads them: in bit/s by default, bare with no units.
  EXPECT_EQ(details.CurrentValue->text(), "8.95 kbit/s");
  EXPECT_EQ(details.MinValue->text(), "8 kbit/s");
  EXPECT_EQ(details.MeanValue->text(), "8.48 kbit/s");
  EXPECT_EQ(details.MaxValue->text(), "8.95 kbit/s");
  form->Menu.UnitsNone1->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(details.CurrentValue->text(), "1119/s");
  EXPECT_EQ(details.MinValue->text(), "1000/s");
  EXPECT_EQ(details.MeanValue->text(), "1059.5/s");
  EXPECT_EQ(details.MaxValue->text(), "1119/s");
  form->Menu.UnitsBytes1->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(details.MaxValue->text(), "1.12 kB/s");
  form->Menu.UnitsBits1->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(details.RankValue->text(), "1 of 2");
  EXPECT_EQ(details.TopTimeValue->text(), "2 min 00 s");
  ASSERT_EQ(details.Plot->Lines().size(), 1u);
  EXPECT_EQ(details.Plot->Lines()[0].Points.size(), 120u);
  // The last minute only: the plot and the numbers follow the range.
  form->History().SetWindowMinutes(1);
  Poll(*form, polls, 120, 121, [](int row, int t) {
    return row == 0 ? 1000.0 + t : row == 1 ? 500 : 10;
  });
  EXPECT_EQ(details.MinValue->text(), "8.48 kbit/s");
  EXPECT_EQ(details.CurrentValue->text(), "8.96 kbit/s");
  EXPECT_EQ(details.Plot->Lines()[0].Points.size(), 61u);

  // Enter on a legend entry with the focus does the same for its row; "Other" opens nothing.
  // (The click gave the first entry the focus.)
  EXPECT_EQ(form->HistoryView().Picker()->FocusedEntry(), 0);
  form->Chart1->setFocus();
  QTest::keyClick(form->Chart1, Qt::Key_Down);
  EXPECT_EQ(form->HistoryView().Picker()->FocusedEntry(), 1);
  QTest::keyClick(form->Chart1, Qt::Key_Return);
  EXPECT_EQ(details.RowTitle->text(), "eth1");
  EXPECT_EQ(details.CurrentValue->text(), "4 kbit/s");
  EXPECT_EQ(details.RankValue->text(), "2 of 2");
  QTest::keyClick(form->Chart1, Qt::Key_Down);
  QTest::keyClick(form->Chart1, Qt::Key_Return);
  EXPECT_EQ(details.RowTitle->text(), "eth1");

  // A pinned row shares the plot.
  details.PinButton->click();
  form->HistoryView().PickSlice(0);
  EXPECT_EQ(details.RowTitle->text(), "eth0");
  EXPECT_EQ(details.Plot->Lines().size(), 2u);
  EXPECT_TRUE(form->History().Pinned(details.PinnedSeries().at(0)));
}

TEST_F(HistoryWindowTest, PauseAndScrubShowThePieOfThenWhileTheOutputsStayLive) {
  const fs::path csv = dir.path / "pie.csv";
  auto form = Start({"/EXPORT", csv.string()});
  // eth0 leads for the first half minute, then eth2.
  const auto firstEth0ThenEth2 = [](int row, int t) {
    if (row == 1) return 500.0;
    return (row == 0) == (t < 30) ? 900.0 : 100.0;
  };
  Poll(*form, polls, 0, 60, firstEth0ThenEth2);
  EXPECT_EQ(LegendLabels(*form->Chart1), QStringList({"eth2", "eth1", "Other"}));

  QTest::keyClick(form.get(), Qt::Key_Space);
  THistoryView& view = form->HistoryView();
  ASSERT_TRUE(view.Paused());
  EXPECT_TRUE(view.PauseAction()->isChecked());
  // Polls go on: eth1 leads now, in the history and in the file, not on the paused chart.
  Poll(*form, polls, 60, 70, [](int row, int) { return row == 1 ? 2000.0 : 100.0; });
  EXPECT_EQ(LegendLabels(*form->Chart1), QStringList({"eth2", "eth1", "Other"}));
  EXPECT_EQ(view.Slider()->maximum(), 69);
  EXPECT_EQ(view.Slider()->value(), 59);
  EXPECT_NE(ReadAll(csv).find(",eth1,2000"), std::string::npos);

  // Back to the tenth second: the legend shows the ranking of then, and the title area when.
  view.Slider()->setValue(10);
  QCoreApplication::processEvents();
  EXPECT_EQ(LegendLabels(*form->Chart1), QStringList({"eth0", "eth1", "Other"}));
  EXPECT_EQ(form->Chart1->Slices().at(0).value, 900.0);
  EXPECT_EQ(form->Chart1->Slices().at(2).value, 100.0);
  const QString then = QDateTime::fromMSecsSinceEpoch(kStart + 10'000).toString("HH:mm:ss");
  EXPECT_TRUE(view.MomentLabel()->isVisible());
  EXPECT_EQ(view.MomentLabel()->text(), "Paused at " + then);
  // A poll while rewound: the file gets it, the chart stays at then.
  Poll(*form, polls, 70, 71, [](int row, int) { return row == 1 ? 3000.0 : 100.0; });
  EXPECT_NE(ReadAll(csv).find(",eth1,3000"), std::string::npos);
  EXPECT_EQ(LegendLabels(*form->Chart1), QStringList({"eth0", "eth1", "Other"}));
  EXPECT_EQ(view.Slider()->value(), 10);
  // The slice picked is the row of then.
  view.PickSlice(0);
  EXPECT_EQ(view.Details()->RowTitle->text(), "eth0");
  EXPECT_EQ(view.Details()->CurrentValue->text(), "7.2 kbit/s");

  QTest::keyClick(form.get(), Qt::Key_End);
  EXPECT_FALSE(view.Paused());
  EXPECT_FALSE(view.MomentLabel()->isVisible());
  EXPECT_EQ(LegendLabels(*form->Chart1), QStringList({"eth1", "eth2", "Other"}));
  EXPECT_EQ(form->Chart1->Slices().at(0).value, 3000.0);

  // The rank changes, listed with their time.
  QStringList events;
  for (int i = 0; i < view.EventList()->count(); ++i) events << view.EventList()->item(i)->text();
  const QString at30 = QDateTime::fromMSecsSinceEpoch(kStart + 30'000).toString("HH:mm:ss");
  EXPECT_TRUE(events.contains(at30 + " eth2 entered the top 2 at rank 1"))
      << events.join('\n').toStdString();
  EXPECT_TRUE(events.contains(at30 + " eth0 left the top 2 (rank 1)"));
}

TEST_F(HistoryWindowTest, SpacePausesOnlyWhereTheFocusHasNoUseForIt) {
  auto form = Start();
  Poll(*form, polls, 0, 3, [](int row, int) { return 100.0 * (row + 1); });
  THistoryView& view = form->HistoryView();
  // A check box with the focus toggles; the chart goes on. (The silent agent never ends the
  // discovery, which keeps the toolbar disabled.)
  form->CheckBox1->setEnabled(true);
  form->CheckBox1->setFocus();
  const bool checked = form->CheckBox1->isChecked();
  QTest::keyClick(form->CheckBox1, Qt::Key_Space);
  EXPECT_NE(form->CheckBox1->isChecked(), checked);
  EXPECT_FALSE(view.Paused());
  // The chart with the focus: Space pauses.
  form->Chart1->setFocus();
  QTest::keyClick(form->Chart1, Qt::Key_Space);
  EXPECT_TRUE(view.Paused());
}

// A paused moment that leaves the history's window gives way to the oldest moment kept, never
// to the live pie.
TEST_F(HistoryWindowTest, APausedMomentThatLeavesTheWindowGivesWayToTheOldestKept) {
  auto form = Start({"/HISTORY", "1"});
  const auto leader = [](int row, int t) {
    const int first = t < 30 ? 0 : t < 100 ? 1 : 2;
    return row == first ? 900.0 : 100.0 * (row + 1);
  };
  Poll(*form, polls, 0, 30, leader);
  QTest::keyClick(form.get(), Qt::Key_Space);
  EXPECT_EQ(LegendLabels(*form->Chart1).front(), "eth0");
  Poll(*form, polls, 30, 130, leader);
  THistoryView& view = form->HistoryView();
  ASSERT_TRUE(view.Paused());
  EXPECT_EQ(view.Slider()->value(), 0);
  EXPECT_EQ(LegendLabels(*form->Chart1).front(), "eth1");
  EXPECT_EQ(view.MomentLabel()->text(),
            "Paused at " + QDateTime::fromMSecsSinceEpoch(kStart + 69'000).toString("HH:mm:ss"));
}

// A recording saved from one window and opened in another shows the same pie at each moment,
// paused, with nothing live to return to.
TEST_F(HistoryWindowTest, ARecordingOpensWithThePiesOfItsMoments) {
  const std::string path = (dir.path / "minute.ndjson.gz").string();
  const auto rate = [](int row, int t) { return 100.0 * ((row + t / 10) % 3) + row; };
  {
    auto form = Start();
    Poll(*form, polls, 0, 40, rate);
    ASSERT_TRUE(form->SaveRecording(QString::fromStdString(path)));
  }
  auto form = Start();
  EXPECT_FALSE(form->OpenRecording(QString::fromStdString((dir.path / "none.gz").string())));
  EXPECT_NE(form->StatusText().indexOf("Could not open the recording"), -1);
  ASSERT_TRUE(form->OpenRecording(QString::fromStdString(path)));
  THistoryView& view = form->HistoryView();
  EXPECT_TRUE(view.Paused());
  EXPECT_FALSE(view.LiveAction()->isEnabled());
  ASSERT_EQ(view.Slider()->maximum(), 39);
  EXPECT_EQ(view.Slider()->value(), 39);
  for (const int t : {0, 9, 10, 25, 39}) {
    SCOPED_TRACE(t);
    view.Slider()->setValue(t);
    QCoreApplication::processEvents();
    const TSnapshotPtr then = polls.Make(t, rate);
    ASSERT_EQ(form->Chart1->SliceCount(), static_cast<int>(then->Pie.size()));
    for (size_t i = 0; i < then->Pie.size(); ++i) {
      EXPECT_EQ(form->Chart1->Slices()[i].label.toStdString(), then->Pie[i].Label);
      EXPECT_EQ(form->Chart1->Slices()[i].value, then->Pie[i].Value);
      EXPECT_EQ(form->Chart1->Slices()[i].valueText.toStdString(), then->Pie[i].ValueText);
    }
    EXPECT_EQ(view.MomentLabel()->text(),
              "Recorded " + QDateTime::fromMSecsSinceEpoch(then->TimeMs).toString("HH:mm:ss"));
  }
  // End does not leave the recording.
  QTest::keyClick(form.get(), Qt::Key_End);
  EXPECT_TRUE(view.Paused());
  view.PickSlice(0);
  EXPECT_EQ(view.Details()->RowTitle->text().toStdString(), polls.Make(39, rate)->Pie[0].Label);
}

}  // namespace
}  // namespace kestrava
