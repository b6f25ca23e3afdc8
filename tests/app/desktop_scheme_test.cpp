// The desktop's light or dark preference, read from a fake freedesktop Settings portal on a
// private session bus of the test's own (dbus-daemon): the answer at start, the changes the
// portal announces, and light wherever there is no bus or no portal.
#include "app/desktop_scheme.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>

namespace kestrava {
namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");

// The portal's Read, as xdg-desktop-portal answers it: the value inside a second variant.
class FakePortal : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

 public:
  std::atomic<uint> Scheme{0};

 public slots:
  QDBusVariant Read(const QString& group, const QString& key) {
    if (group != QStringLiteral("org.freedesktop.appearance") ||
        key != QStringLiteral("color-scheme"))
      return QDBusVariant(QVariant::fromValue(QDBusVariant(QStringLiteral("?"))));
    return QDBusVariant(QVariant::fromValue(QDBusVariant(Scheme.load())));
  }
};

bool WaitFor(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

class DesktopSchemeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted(5000)) << "dbus-daemon (scripts/setup installs it)";
    ASSERT_TRUE(WaitFor([&] { return daemon.canReadLine(); }));
    address = QString::fromUtf8(daemon.readLine()).trimmed();
    portalThread.start();
  }
  void TearDown() override {
    if (!serviceBus.isEmpty()) QDBusConnection::disconnectFromBus(serviceBus);
    if (!clientBus.isEmpty()) QDBusConnection::disconnectFromBus(clientBus);
    portalThread.quit();
    portalThread.wait();
    portal.reset();
    daemon.terminate();
    daemon.waitForFinished(5000);
  }
  // The portal, answering in a thread of its own while the test's thread waits for it.
  void ServePortal(uint scheme) {
    serviceBus = QStringLiteral("portal");
    QDBusConnection bus = QDBusConnection::connectToBus(address, serviceBus);
    ASSERT_TRUE(bus.isConnected());
    portal = std::make_unique<FakePortal>();
    portal->Scheme = scheme;
    portal->moveToThread(&portalThread);
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    ASSERT_TRUE(bus.registerObject(kPath, portal.get(), QDBusConnection::ExportAllSlots));
  }
  QDBusConnection Client() {
    clientBus = QStringLiteral("client");
    return QDBusConnection::connectToBus(address, clientBus);
  }
  void Announce(const QString& group, uint scheme) {
    QDBusMessage signal =
        QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("SettingChanged"));
    signal << group << QStringLiteral("color-scheme")
           << QVariant::fromValue(QDBusVariant(QVariant(scheme)));
    ASSERT_TRUE(QDBusConnection(serviceBus).send(signal));
  }

  QProcess daemon;
  QString address;
  QThread portalThread;
  std::unique_ptr<FakePortal> portal;
  QString serviceBus;
  QString clientBus;
};

TEST_F(DesktopSchemeTest, ThePortalsAnswerAtStart) {
  ServePortal(0);
  const struct {
    uint scheme;
    bool dark;
  } cases[] = {{0, false}, {1, true}, {2, false}, {7, false}};
  for (const auto& c : cases) {
    portal->Scheme = c.scheme;
    EXPECT_EQ(TDesktopScheme(Client()).PrefersDark(), c.dark) << c.scheme;
  }
}

TEST_F(DesktopSchemeTest, FollowsWhatThePortalAnnounces) {
  ServePortal(2);
  TDesktopScheme scheme(Client());
  ASSERT_FALSE(scheme.PrefersDark());
  std::vector<bool> told;
  QObject::connect(&scheme, &TDesktopScheme::PreferenceChanged,
                   [&](bool dark) { told.push_back(dark); });
  Announce(QStringLiteral("org.freedesktop.appearance"), 1);
  ASSERT_TRUE(WaitFor([&] { return !told.empty(); }));
  EXPECT_TRUE(scheme.PrefersDark());
  // Another group's key of the same name, and the same preference again, change nothing.
  Announce(QStringLiteral("org.example.other"), 2);
  Announce(QStringLiteral("org.freedesktop.appearance"), 1);
  Announce(QStringLiteral("org.freedesktop.appearance"), 0);
  ASSERT_TRUE(WaitFor([&] { return told.size() >= 2; }));
  EXPECT_EQ(told, (std::vector<bool>{true, false}));
  EXPECT_FALSE(scheme.PrefersDark());
}

TEST_F(DesktopSchemeTest, NoPortalOrNoBusIsLight) {
  EXPECT_FALSE(TDesktopScheme(Client()).PrefersDark());
  EXPECT_FALSE(TDesktopScheme(QDBusConnection(QStringLiteral("never connected"))).PrefersDark());
}

}  // namespace
}  // namespace kestrava

#include "desktop_scheme_test.moc"
