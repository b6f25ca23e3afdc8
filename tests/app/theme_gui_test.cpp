// The window's theme and its accessible names, offscreen: light is the classic look, dark
// colours the window and the chart, system follows a fake desktop portal on a private bus; every
// control has a name a screen reader can say; the filter field tells a pattern it cannot use.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include "app/unit1.h"
#include "silent_agent.h"
#include "ui/chart.h"

namespace kestrava {
namespace {

using testing::SilentAgent;

std::unique_ptr<TForm1> Start(const SilentAgent& agent, std::vector<std::string> args) {
  args.insert(args.begin(), {"/HOST", "127.0.0.1", "/PORT", agent.port()});
  auto form = std::make_unique<TForm1>(args);
  form->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  return form;
}

bool DarkWindow() {
  return QApplication::palette().color(QPalette::Window).lightness() < 100;
}

TEST(ThemeGui, LightIsTheClassicLookAndDarkColoursWindowAndChart) {
  SilentAgent agent;
  const QPalette started = QApplication::palette();
  {
    auto form = Start(agent, {"/THEME", "dark"});
    EXPECT_TRUE(form->Chart1->Dark());
    EXPECT_TRUE(DarkWindow());
    EXPECT_LT(form->StatusText1->palette().color(QPalette::Window).lightness(), 100);
    EXPECT_EQ(form->Label4->palette().color(QPalette::Window), QColor(DarkChartColours().Ground));
  }
  for (const std::vector<std::string>& light :
       {std::vector<std::string>{"/THEME", "light"}, std::vector<std::string>{}}) {
    auto form = Start(agent, light);
    EXPECT_FALSE(form->Chart1->Dark());
    EXPECT_EQ(QApplication::palette(), started) << "back to the palette the program had";
    EXPECT_EQ(form->Label4->palette().color(QPalette::Window), QColor(Qt::white));
  }
}

TEST(ThemeGui, EveryControlHasAnAccessibleName) {
  SilentAgent agent;
  auto form = Start(agent, {});
  QList<QWidget*> controls =
      form->Panel1->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  for (QWidget* w :
       {static_cast<QWidget*>(form->Chart1), static_cast<QWidget*>(form->Label4),
        static_cast<QWidget*>(form->StatusText1), static_cast<QWidget*>(form->FilterEdit)})
    controls.push_back(w);
  int named = 0;
  for (QWidget* control : controls) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    ASSERT_NE(accessible, nullptr) << control->metaObject()->className();
    EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
        << control->metaObject()->className() << " " << control->geometry().x();
    ++named;
  }
  EXPECT_GE(named, 16);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form->SpeedButton1)->text(QAccessible::Name),
            QStringLiteral("RAW values"));
  for (QAction* action : form->Menu.MainMenu1->actions()) EXPECT_FALSE(action->text().isEmpty());
}

TEST(ThemeGui, TheFilterFieldSaysWhenItsPatternCannotFilter) {
  SilentAgent agent;
  auto form = Start(agent, {});
  const QColor normal = form->FilterEdit->palette().color(QPalette::Text);
  form->FilterEdit->setText(QStringLiteral("eth("));
  EXPECT_EQ(form->FilterEdit->accessibleDescription(), QStringLiteral("not a regular expression"));
  EXPECT_NE(form->FilterEdit->palette().color(QPalette::Text), normal);
  form->FilterEdit->setText(QStringLiteral("eth(0|1)"));
  EXPECT_EQ(form->FilterEdit->accessibleDescription(), QString());
  EXPECT_EQ(form->FilterEdit->palette().color(QPalette::Text), normal);
}

// A desktop portal that prefers dark, then announces light.
class DarkPortal : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

 public slots:
  QDBusVariant Read(const QString&, const QString&) {
    return QDBusVariant(QVariant::fromValue(QDBusVariant(1u)));
  }
};

TEST(ThemeGui, SystemFollowsTheDesktopPortal) {
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"),
                QStringLiteral("--print-address=1")});
  ASSERT_TRUE(daemon.waitForStarted(5000));
  ASSERT_TRUE(daemon.waitForReadyRead(5000));
  const QByteArray address = daemon.readLine().trimmed();
  // The program's session bus is the test's private one (nothing has used a bus before).
  qputenv("DBUS_SESSION_BUS_ADDRESS", address);
  QThread portalThread;
  portalThread.start();
  DarkPortal portal;
  portal.moveToThread(&portalThread);
  {
    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("portal"));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                   QDBusConnection::ExportAllSlots));
    SilentAgent agent;
    auto form = Start(agent, {"/THEME", "system"});
    EXPECT_TRUE(form->Chart1->Dark());
    EXPECT_TRUE(DarkWindow());
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"));
    signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
           << QVariant::fromValue(QDBusVariant(2u));
    ASSERT_TRUE(bus.send(signal));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Chart1->Dark(); }, 10000));
    EXPECT_FALSE(DarkWindow());
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
  portalThread.quit();
  portalThread.wait();
  daemon.terminate();
  daemon.waitForFinished(5000);
}

}  // namespace
}  // namespace kestrava

#include "theme_gui_test.moc"
