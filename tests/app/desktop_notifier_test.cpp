// Desktop notifications over D-Bus, against a private bus of our own with a notification
// service of the test's: an entry into the top is told with the row and its rank, other rank
// changes are not, nothing goes out while switched off, and without a service or a bus nothing
// happens at all.
#include "app/desktop_notifier.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QVariantMap>

namespace kestrava {
namespace {

// The service's side: keeps what it was asked to show.
class FakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList shown;  // "summary | body"

 public slots:
  uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap&, int) {
    shown << app + " | " + summary + " | " + body;
    return static_cast<uint>(shown.size());
  }
};

// A bus daemon of the test's own, stopped with the test.
class PrivateBus {
 public:
  PrivateBus() {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) return;
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(10000)) return;
    address = QString::fromUtf8(m_daemon.readLine()).trimmed();
  }
  ~PrivateBus() {
    for (const QString& name : m_names) QDBusConnection::disconnectFromBus(name);
    m_daemon.kill();
    m_daemon.waitForFinished();
  }
  QDBusConnection Connect(const QString& name) {
    m_names << name;
    return QDBusConnection::connectToBus(address, name);
  }
  QString address;

 private:
  QProcess m_daemon;
  QStringList m_names;
};

THistoryStore& StoreWithRows() {
  static THistoryStore store;
  if (store.SeriesCount() == 0) {
    auto layout = std::make_shared<TSnapshotLayout>();
    layout->Columns = {{"1.3.6.1.2.1.2.2.1.10", "In", false, true}};
    layout->Rows = {{".1", "lo"}, {".4", "eth3"}};
    layout->PolledOids = {"1.3.6.1.2.1.2.2.1.10.1", "1.3.6.1.2.1.2.2.1.10.4"};
    layout->SliceLabels = {"lo", "eth3"};
    auto snapshot = std::make_shared<TPollSnapshot>();
    snapshot->Layout = layout;
    store.TakeSnapshot(snapshot);
  }
  return store;
}

TEST(DesktopNotifier, EntriesIntoTheTopAndThresholdsCrossedAreToldWhileSwitchedOn) {
  PrivateBus bus;
  if (bus.address.isEmpty()) GTEST_SKIP() << "no dbus-daemon";
  QDBusConnection service = bus.Connect(QStringLiteral("service"));
  FakeNotifications fake;
  ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                     QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

  const THistoryStore& store = StoreWithRows();
  const int eth3 = store.SeriesOfSlot(1);
  const int64_t at = QDateTime(QDate(2026, 12, 11), QTime(14, 2, 7)).toMSecsSinceEpoch();
  const std::vector<TRankEvent> events = {
      {at, TRankChange::kLeft, store.SeriesOfSlot(0), 1, 0, 8},
      {at, TRankChange::kEntered, eth3, 0, 2, 8},
      {at, TRankChange::kRose, eth3, 7, 2, 8},
      {at, TRankChange::kAbove, eth3, 0, 0, 0, 91.46, 80},
      {at, TRankChange::kBelow, eth3, 0, 0, 0, 40, 80},
  };
  TDesktopNotifier notifier(bus.Connect(QStringLiteral("client")));
  notifier.Notify(events, store);  // switched off
  notifier.SetEnabled(true);
  notifier.Notify(events, store);
  EXPECT_TRUE(QTest::qWaitFor([&] { return fake.shown.size() >= 2; }));
  QTest::qWait(50);  // nothing else follows
  EXPECT_EQ(fake.shown, QStringList({"Kestrava | eth3 entered the top 8 | 14:02:07, at rank 2",
                                     "Kestrava | eth3 went above 80 % | 14:02:07, at 91.5 %"}));
}

TEST(DesktopNotifier, WithoutAServiceOrABusNothingHappens) {
  PrivateBus bus;
  const std::vector<TRankEvent> events = {
      {0, TRankChange::kEntered, StoreWithRows().SeriesOfSlot(1), 0, 1, 8}};
  if (!bus.address.isEmpty()) {
    TDesktopNotifier noService(bus.Connect(QStringLiteral("lonely")));
    noService.SetEnabled(true);
    noService.Notify(events, StoreWithRows());
    QTest::qWait(20);
  }
  TDesktopNotifier noBus(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                       QStringLiteral("none")));
  noBus.SetEnabled(true);
  noBus.Notify(events, StoreWithRows());
  QDBusConnection::disconnectFromBus(QStringLiteral("none"));
  SUCCEED();
}

}  // namespace
}  // namespace kestrava

#include "desktop_notifier_test.moc"
