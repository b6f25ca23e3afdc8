// The main window with the real engine against a real agent on 127.0.0.1: discovery fills and
// enables the toolbar, polls feed the pie, and the toolbar's commands redraw at once.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/unit1.h"
#include "snmpd_process.h"
#include "ui/chart.h"

namespace kestrava {
namespace {

namespace fs = std::filesystem;

std::vector<std::pair<QString, double>> Pie(const TChart* chart) {
  std::vector<std::pair<QString, double>> pie;
  for (const TSlice& slice : chart->Slices()) pie.emplace_back(slice.label, slice.value);
  return pie;
}

class WindowWithAgentTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(agent.ok()) << agent.error(); }
  std::unique_ptr<TForm1> Start(const std::vector<std::string>& args) {
    auto form = std::make_unique<TForm1>(args);
    form->show();
    return form;
  }
  // The engine's first chart feed hides the "Initializing..." label.
  static bool WaitForPie(TForm1& form) {
    return QTest::qWaitFor(
        [&] { return !form.Label4->isVisible() && form.Chart1->SliceCount() > 0; }, 15000);
  }
  testing::SnmpdProcess agent;
};

TEST_F(WindowWithAgentTest, AllInstancesPollAndTheToolbarRedrawsAtOnce) {
  auto form = Start({"/HOST", "127.0.0.1", "/PORT", std::to_string(agent.port()),
                     "/POLLINGINTERVAL", "1", "/SHOWLEGEND"});
  EXPECT_FALSE(form->SpeedButton1->isEnabled());
  ASSERT_TRUE(WaitForPie(*form)) << form->StatusText().toStdString();
  const int interfaces = static_cast<int>(form->Session().Rows().size());
  ASSERT_GT(interfaces, 0);
  // After discovery: the toolbar is on, the slices and interval lists show, the instance list
  // does not (every instance is polled).
  EXPECT_TRUE(form->SpeedButton1->isEnabled());
  EXPECT_TRUE(form->ComboBox2->isVisible());
  EXPECT_TRUE(form->Label2->isVisible());
  EXPECT_TRUE(form->ComboBox3->isVisible());
  EXPECT_TRUE(form->Label3->isVisible());
  EXPECT_FALSE(form->ComboBox1->isVisible());
  EXPECT_EQ(form->Chart1->SliceCount(), interfaces) << "\"Any\": one slice per interface";

  // RAW shows the counters themselves at once, without waiting for a poll; Delta goes back.
  form->SpeedButton1->click();
  const auto raw = Pie(form->Chart1);
  ASSERT_FALSE(raw.empty());
  EXPECT_GT(raw.front().second, 0) << "the loopback counter grows with every poll";
  form->SpeedButton2->click();
  const auto delta = Pie(form->Chart1);
  ASSERT_FALSE(delta.empty());
  EXPECT_LT(delta.front().second, raw.front().second);

  // "#Slices" 3: two slices of their own at most, and the rest in "Other".
  form->SpeedButton1->click();
  const auto all = Pie(form->Chart1);  // no poll can land before the next line
  const int three = form->ComboBox2->findText(QStringLiteral("3"));
  form->ComboBox2->setCurrentIndex(three);  // as when the user picks "3"
  const auto top = Pie(form->Chart1);
  ASSERT_LE(top.size(), 3u);
  for (size_t i = 0; i < std::min<size_t>(2, all.size()); ++i) EXPECT_EQ(top[i], all[i]);
  if (top.size() == 3) {
    EXPECT_EQ(top[2].first, "Other");
  }

  // A new interval restarts polling: "Initializing..." until the next feed.
  const int two = form->ComboBox3->findText(QStringLiteral("2"));
  form->ComboBox3->setCurrentIndex(two);
  EXPECT_TRUE(form->Label4->isVisible());
  EXPECT_EQ(form->Session().SessionRequest().Interval, 2);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Label4->isVisible(); }, 15000));

  form->close();
  EXPECT_TRUE(form->Session().WorkerFinished());
}

TEST_F(WindowWithAgentTest, AtRuntimeThePreferredEntryIsPickedFromTheInstanceList) {
  std::ifstream in(KESTRAVA_SOURCE_DIR "/examples/one-interface-at-runtime.xml");
  ASSERT_TRUE(in) << "the example file";
  std::stringstream text;
  text << in.rdbuf();
  std::string xml = text.str();
  const auto replace = [&](const std::string& from, const std::string& to) {
    const size_t at = xml.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    xml.replace(at, from.size(), to);
  };
  replace("<host>localhost</host>", "<host>127.0.0.1</host>");
  replace("<remoteport>161</remoteport>",
          "<remoteport>" + std::to_string(agent.port()) + "</remoteport>");
  replace("<pollinginterval>2</pollinginterval>", "<pollinginterval>1</pollinginterval>");
  const fs::path config = fs::temp_directory_path() / ("kestrava-rt-" + std::to_string(getpid()));
  std::ofstream(config) << xml;
  auto form = Start({"/XML", config.string()});
  const bool fed = WaitForPie(*form);
  fs::remove(config);
  ASSERT_TRUE(fed) << form->StatusText().toStdString();
  EXPECT_TRUE(form->ComboBox1->isVisible());
  EXPECT_TRUE(form->Label1->isVisible());
  EXPECT_TRUE(form->Image1->isVisible());
  EXPECT_GT(form->ComboBox1->count(), 0);
  EXPECT_EQ(form->ComboBox1->currentText(), "1");
  EXPECT_EQ(form->windowTitle(), "Kestrava - Host: 127.0.0.1");
  EXPECT_EQ(form->Chart1->TitleText(), "Received and sent");
  EXPECT_EQ(form->Chart1->LegendAlignment(), laRight);
  EXPECT_TRUE(form->Menu.RefreshInstances1->isChecked());
}

}  // namespace
}  // namespace kestrava
