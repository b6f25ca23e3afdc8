// The connection dialog offscreen: the configuration it makes for a session, the checks of its
// fields, the recent agents it keeps without their secrets; and the window that recovers from
// a failed start through it against the fake agent.

#include "app/connect_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/unit1.h"
#include "config/load_xml_config.h"
#include "fake_agent.h"
#include "temp_dir.h"
#include "ui/chart.h"

namespace kestrava {
namespace {

namespace fs = std::filesystem;
using testing_files::ReadAll;
using testing_files::TempDir;

TEST(AgentConfig, LoadsAsTheSessionItDescribes) {
  TConfigRec before;
  before.ChartTitle = "Edge <in>";
  before.TargetOids = {"1.3.6.1.2.1.2.2.1.10"};
  before.RawValues = true;
  before.ShowLegend = false;
  before.LegendAlignment = laRight;
  before.View3D = false;
  TAgentChoice v3;
  v3.Host = "::1";
  v3.Port = 1161;
  v3.Version = 3;
  v3.User = "watcher";
  v3.SecurityLevel = "authPriv";
  v3.AuthProtocol = "SHA-256";
  v3.AuthPassword = "auth pass & more";
  v3.PrivProtocol = "AES";
  v3.PrivPassword = "priv<pass>word";
  TAgentChoice v2c;
  v2c.Host = "router.example";
  v2c.Version = 2;
  v2c.Community = "pub<&>lic";
  v2c.Counter = "1.3.6.1.2.1.2.2.1.16";
  TAgentChoice other;
  other.Counter = "1.3.6.1.4.1.2021.11.50";
  const struct {
    const char* name;
    TAgentChoice agent;
    std::string title, label;
  } cases[] = {
      {"SNMPv1, the same counter keeps the title", TAgentChoice(), "Edge <in>",
       "1.3.6.1.2.1.2.2.1.2"},
      {"SNMPv2c sent traffic", v2c, "Top senders", "1.3.6.1.2.1.2.2.1.2"},
      {"SNMPv3 with both passwords", v3, "Edge <in>", "1.3.6.1.2.1.2.2.1.2"},
      // Outside the interface tables the rows are named by the counter's own column.
      {"another counter", other, "1.3.6.1.4.1.2021.11.50", "1.3.6.1.4.1.2021.11.50"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TMemoryFile file(AgentConfig(c.agent, before, 7, 640, 480));
    ASSERT_TRUE(file.ok());
    TConfigRec cfg;
    TRequest session;
    std::string failed;
    ASSERT_TRUE(LoadXmlConfig(file.Path(), cfg, session, [&](const std::string& text) {
      failed = text;
    })) << failed;
    EXPECT_EQ(session.Host, c.agent.Host);
    EXPECT_EQ(session.RemotePort, c.agent.Port);
    EXPECT_EQ(session.SnmpVersion, c.agent.Version);
    EXPECT_EQ(session.Community, c.agent.Community);
    EXPECT_EQ(session.Interval, 7);
    EXPECT_EQ(cfg.TargetOids, std::vector<std::string>{c.agent.Counter});
    EXPECT_EQ(cfg.LabelOid, c.label);
    EXPECT_EQ(cfg.InstanceMode, kInstanceModeAllInstances);
    EXPECT_EQ(cfg.ChartTitle, c.title);
    EXPECT_TRUE(cfg.RawValues);
    EXPECT_FALSE(cfg.ShowLegend);
    EXPECT_EQ(cfg.LegendAlignment, laRight);
    EXPECT_FALSE(cfg.View3D);
    EXPECT_EQ(cfg.WindowWidth, 640);
    EXPECT_EQ(cfg.WindowHeight, 480);
    if (c.agent.Version == 3) {
      EXPECT_EQ(cfg.V3.User, "watcher");
      EXPECT_EQ(cfg.V3.SecurityLevel, "authPriv");
      EXPECT_EQ(cfg.V3.AuthProtocol, "SHA-256");
      EXPECT_EQ(cfg.V3.AuthPassword, "auth pass & more");
      EXPECT_EQ(cfg.V3.PrivProtocol, "AES");
      EXPECT_EQ(cfg.V3.PrivPassword, "priv<pass>word");
    }
  }
}

TEST(ConnectDialog, ChecksItsFieldsAndEnablesWhatApplies) {
  const struct {
    const char* name;
    int version;  // index in the version list: 1, 2c, 3
    const char* user;
    int level;  // noAuthNoPriv, authNoPriv, authPriv
    const char* auth;
    const char* priv;
    int counter;  // index in the counter list; the last is another OID
    const char* oid;
    const char* fault;  // the start of the message, or "" when the choice is taken
  } cases[] = {
      {"SNMPv1 traffic in", 0, "", 0, "", "", 0, "", ""},
      {"SNMPv3 without a user", 2, "", 0, "", "", 0, "", "SNMPv3 needs a user name."},
      {"short authentication password", 2, "u", 1, "short", "", 0, "",
       "The authentication password needs 8"},
      {"short privacy password", 2, "u", 2, "long enough", "short", 0, "",
       "The privacy password needs 8"},
      {"SNMPv3 authPriv", 2, "u", 2, "long enough", "long enough", 1, "", ""},
      {"an OID that is none", 0, "", 0, "", "", 6, "ifHCInOctets", "The counter's OID"},
      {"an OID in net-snmp's writing", 1, "", 0, "", "", 6, ".1.3.6.1.2.1.31.1.1.1.6", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TConnectDialog dialog{QString()};
    dialog.Version->setCurrentIndex(c.version);
    dialog.User->setText(QString::fromLatin1(c.user));
    dialog.SecurityLevel->setCurrentIndex(c.level);
    dialog.AuthPassword->setText(QString::fromLatin1(c.auth));
    dialog.PrivPassword->setText(QString::fromLatin1(c.priv));
    dialog.Counter->setCurrentIndex(c.counter);
    dialog.CounterOid->setText(QString::fromLatin1(c.oid));
    EXPECT_EQ(dialog.Community->isEnabled(), c.version != 2);
    EXPECT_EQ(dialog.User->isEnabled(), c.version == 2);
    EXPECT_EQ(dialog.AuthPassword->isEnabled(), c.version == 2 && c.level >= 1);
    EXPECT_EQ(dialog.PrivProtocol->isEnabled(), c.version == 2 && c.level == 2);
    EXPECT_EQ(dialog.CounterOid->isEnabled(), c.counter == dialog.Counter->count() - 1);
    dialog.accept();
    const std::string fault = c.fault;
    EXPECT_EQ(dialog.result(), fault.empty() ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(dialog.Problem().toStdString().substr(0, fault.size()), fault);
  }
  TConnectDialog dialog{QString()};
  dialog.Counter->setCurrentIndex(dialog.Counter->count() - 1);
  dialog.CounterOid->setText(QStringLiteral(".1.3.6.1.2.1.31.1.1.1.6"));
  EXPECT_EQ(dialog.Choice().Counter, "1.3.6.1.2.1.31.1.1.1.6");
  // Every field has a name for assistive tools.
  for (QWidget* field : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (qobject_cast<QLineEdit*>(field) || qobject_cast<QComboBox*>(field) ||
        qobject_cast<QSpinBox*>(field)) {
      EXPECT_FALSE(field->accessibleName().isEmpty()) << field->metaObject()->className();
    }
  }
}

TEST(ConnectDialog, RecentAgentsAreKeptWithoutTheirSecrets) {
  TempDir dir("kestrava-agents");
  const QString file = QString::fromStdString((dir.path / "agents.ini").string());
  TAgentChoice first;
  first.Host = "10.0.0.1";
  first.Community = "first-community";
  TAgentChoice second;
  second.Host = "core.example";
  second.Port = 1161;
  second.Version = 3;
  second.User = "watcher";
  second.SecurityLevel = "authPriv";
  second.AuthProtocol = "SHA-512";
  second.AuthPassword = "authentication-secret";
  second.PrivProtocol = "AES-256";
  second.PrivPassword = "privacy-secret";
  second.Counter = "1.3.6.1.2.1.2.2.1.14";
  {
    TConnectDialog dialog(file);
    EXPECT_FALSE(dialog.Recent->isEnabled());
    dialog.Remember(first);
    dialog.Remember(second);
    dialog.Remember(first);  // again: moves to the top, kept once
  }
  const std::string kept = ReadAll(dir.path / "agents.ini");
  for (const char* secret : {"first-community", "authentication-secret", "privacy-secret"})
    EXPECT_EQ(kept.find(secret), std::string::npos) << secret;

  TConnectDialog dialog(file);
  ASSERT_EQ(dialog.Recent->count(), 2);
  EXPECT_EQ(dialog.Recent->itemText(0), "10.0.0.1 port 161, SNMPv1, Interface traffic in");
  EXPECT_EQ(dialog.Recent->itemText(1),
            "core.example port 1161, SNMPv3 watcher, Interface errors in");
  dialog.Community->setText(QStringLiteral("typed"));
  emit dialog.Recent->activated(1);
  TAgentChoice picked = second;
  picked.Community = "typed";   // the community stays as typed
  picked.AuthPassword.clear();  // the passwords are asked again
  picked.PrivPassword.clear();
  EXPECT_EQ(dialog.Choice(), picked);
}

// ---- the window ----

class ReconnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TForm1::SetMessageBoxHook([this](const std::string& text) { messages.push_back(text); });
    TForm1::SetAgentSettingsFile(QString::fromStdString((dir.path / "agents.ini").string()));
  }
  void TearDown() override {
    TForm1::SetMessageBoxHook(nullptr);
    TForm1::SetConnectDialogHook(nullptr);
    TForm1::SetAgentSettingsFile(QString());
  }

  TempDir dir{"kestrava-reconnect"};
  std::vector<std::string> messages;
};

TEST_F(ReconnectTest, AFailedStartOffersTheDialogAndConnectingPollsTheNewAgent) {
  // The first agent answers every request with genErr; the second serves three interfaces.
  testing::FakeAgent broken;
  broken.FillInterfaceTable(3);
  broken.SetErrorStatus(5, 1);
  testing::FakeAgent good;
  good.FillInterfaceTable(3);
  ASSERT_TRUE(broken.ok() && good.ok());
  const fs::path config = dir.path / "first.xml";
  std::ofstream(config) << "<kestrava><host>127.0.0.1</host><pollinginterval>1</pollinginterval>"
                           "<units>bytes</units>"
                           "<shooter><raw>true</raw><remoteport>"
                        << broken.port()
                        << "</remoteport><shootertargets><shootertarget>"
                           "<oid>1.3.6.1.2.1.2.2.1.10</oid><instance>ALL INSTANCES</instance>"
                           "<visible>true</visible></shootertarget>"
                           "<shootertarget><oid>AL=1.3.6.1.2.1.2.2.1.2</oid></shootertarget>"
                           "</shootertargets></shooter></kestrava>";

  std::vector<TAgentChoice> offered;
  std::vector<QString> problems;
  TForm1::SetConnectDialogHook([&](TConnectDialog& dialog) {
    offered.push_back(dialog.Choice());
    problems.push_back(dialog.Problem());
    if (offered.size() > 1) return int(QDialog::Rejected);
    dialog.Port->setValue(good.port());
    dialog.Version->setCurrentIndex(1);  // 2c
    dialog.Counter->setCurrentIndex(1);  // traffic out
    dialog.accept();
    return dialog.result();
  });
  TForm1 form({"/XML", config.string()});
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Chart1->SliceCount() > 0; }, 20000))
      << form.StatusText().toStdString();
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0].Port, broken.port());
  EXPECT_EQ(offered[0].Host, "127.0.0.1");
  EXPECT_FALSE(problems[0].isEmpty()) << "the dialog says why it came up";
  EXPECT_FALSE(form.Label4->isVisible());
  EXPECT_EQ(form.Chart1->TitleText(), "Top senders");
  EXPECT_EQ(form.Session().SessionRequest().RemotePort, good.port());
  EXPECT_EQ(form.Session().Config().Units, TUnits::kBytes) << "the chart's settings stay";
  // The new agent was asked in SNMPv2c for the sent octets.
  bool askedForSent = false;
  for (const auto& request : good.Log()) {
    EXPECT_EQ(request.Version, 1);
    for (const std::string& oid : request.Oids)
      askedForSent = askedForSent || oid.rfind("1.3.6.1.2.1.2.2.1.16.", 0) == 0;
  }
  EXPECT_TRUE(askedForSent);
  EXPECT_TRUE(messages.empty());

  // The menu offers the agent now watched, and the recent list remembers it.
  form.Menu.Connect1->trigger();
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[1].Port, good.port());
  EXPECT_EQ(offered[1].Version, 2);
  EXPECT_EQ(offered[1].Counter, "1.3.6.1.2.1.2.2.1.16");
  EXPECT_TRUE(problems[1].isEmpty());
  EXPECT_NE(ReadAll(dir.path / "agents.ini").find(std::to_string(good.port())), std::string::npos);
  EXPECT_EQ(form.Session().SessionRequest().RemotePort, good.port()) << "cancelled: no change";
}

}  // namespace
}  // namespace kestrava
