// The window against the fake agent: the legend reads rates with their units, the utilisation
// button ranks the links by how full they are, and the View menu's units change only the
// texts; the start-up options set the button and the menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QLocale>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "app/unit1.h"
#include "fake_agent.h"
#include "temp_dir.h"
#include "ui/chart.h"

namespace kestrava {
namespace {

using testing::FakeAgent;
using testing_files::TempDir;

const std::string kIn = "1.3.6.1.2.1.2.2.1.10.";
const std::string kSpeed = "1.3.6.1.2.1.2.2.1.5.";
const std::string kHighSpeed = "1.3.6.1.2.1.31.1.1.1.15.";
const std::string kUptime = "1.3.6.1.2.1.1.3.0";

// Two links: eth0 at 10 Mbit/s, 90 % full; eth1 at 10 Gbit/s, 5 % full, by far the most
// octets. Every poll the agent's clock moves a second and the counters with it.
class Links : public IPollSink {
 public:
  Links() {
    agent.FillInterfaceTable(2, 1000);
    agent.SetValue(kSpeed + "1", 0x42, "10000000");
    agent.SetValue(kHighSpeed + "1", 0x42, "10");
    agent.SetValue(kSpeed + "2", 0x42, "4294967295");
    agent.SetValue(kHighSpeed + "2", 0x42, "10000");
  }
  void TakeSnapshot(const TSnapshotPtr& snapshot) override {
    if (!snapshot->Fresh) return;
    agent.AdvanceCounter(kUptime, 100);
    agent.AdvanceCounter(kIn + "1", 1125000);
    agent.AdvanceCounter(kIn + "2", 62500000);
  }
  FakeAgent agent;
};

// The legend's rows as they read: label, then value.
QStringList Legend(TForm1& form) {
  const TChartLayout layout = form.Chart1->Layout(form.Chart1->size());
  QStringList rows;
  for (const TLegendItem& item : layout.legend.items) {
    rows << (layout.legend.labelFirst ? item.label + "  " + item.value
                                      : item.value + "  " + item.label);
  }
  return rows;
}

class UnitsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Numbers as the legend writes them in the user's locale: here American English.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TForm1::SetAgentSettingsFile(QString::fromStdString((settings.path / "agents.ini").string()));
  }
  void TearDown() override {
    TForm1::SetAgentSettingsFile(QString());
    QLocale::setDefault(m_locale);
  }

  std::unique_ptr<TForm1> Start(std::vector<std::string> more) {
    std::vector<std::string> args = {"/HOST",
                                     "127.0.0.1",
                                     "/PORT",
                                     std::to_string(links.agent.port()),
                                     "/SNMPVERSION",
                                     "2",
                                     "/POLLINGINTERVAL",
                                     "1",
                                     "/SHOWLEGEND"};
    args.insert(args.end(), more.begin(), more.end());
    auto form = std::make_unique<TForm1>(args);
    form->Session().AddSink(links);
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return form;
  }

  const QLocale m_locale;  // the default before the test
  TempDir settings{"kestrava-units-settings"};
  Links links;  // outlives the windows it is a sink of
};

TEST_F(UnitsWindowTest, TheLegendReadsRatesSharesAndBareNumbersAsTheUserSwitches) {
  auto form = Start({});
  // The second poll brings the first changes, over the agent's second.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Legend(*form).size() == 2; }, 20000));
  EXPECT_EQ(Legend(*form),
            QStringList({"ifInOctets_eth1  500 Mbit/s", "ifInOctets_eth0  9 Mbit/s"}));

  form->SpeedButton4->click();
  EXPECT_EQ(Legend(*form), QStringList({"ifInOctets_eth0  90 % of 10 Mbit/s",
                                        "ifInOctets_eth1  5 % of 10 Gbit/s"}));

  form->Menu.UnitsNone1->trigger();
  EXPECT_EQ(Legend(*form), QStringList({"90  ifInOctets_eth0", "5  ifInOctets_eth1"}));

  form->SpeedButton2->click();
  form->Menu.UnitsBytes1->trigger();
  EXPECT_EQ(Legend(*form),
            QStringList({"ifInOctets_eth1  62.5 MB/s", "ifInOctets_eth0  1.12 MB/s"}));
  form->Menu.UnitsNone1->trigger();
  EXPECT_EQ(Legend(*form),
            QStringList({"62,500,000  ifInOctets_eth1", "1,125,000  ifInOctets_eth0"}));
}

TEST_F(UnitsWindowTest, TheLabelsBesideTheSlicesCarryTheValueToo) {
  auto form = Start({"/UTILISATION", "/UNITS", "bytes"});
  EXPECT_TRUE(form->SpeedButton4->isChecked());
  EXPECT_TRUE(form->Menu.UnitsBytes1->isChecked());
  // The toolbar takes clicks once discovery has ended; the pie is there by then.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Legend(*form).size() == 2; }, 20000));
  form->SpeedButton3->click();  // the legend off, the marks on
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const TChartLayout layout = form->Chart1->Layout(form->Chart1->size());
        return layout.marks.size() == 2;
      },
      20000));
  QStringList marks;
  for (const TMark& mark : form->Chart1->Layout(form->Chart1->size()).marks)
    marks << mark.lines.join(QChar('|'));
  marks.sort();
  EXPECT_EQ(marks, QStringList({"ifInOctets_eth0  90 % of 10 Mbit/s",
                                "ifInOctets_eth1  5 % of 10 Gbit/s"}));
}

}  // namespace
}  // namespace kestrava
