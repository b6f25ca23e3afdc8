#include "app/desktop_notifier.h"

#include <QDBusMessage>
#include <QDateTime>
#include <QStringList>
#include <QVariantMap>

namespace kestrava {

void TDesktopNotifier::SetEnabled(bool on) {
  m_enabled = on;
  if (on && !m_bus) m_bus = QDBusConnection::sessionBus();
}

QString TDesktopNotifier::Summary(const TRankEvent& event, const TSeriesInfo& row) {
  return QString::fromStdString(row.SliceLabel) +
         QStringLiteral(" entered the top %1").arg(event.TopSize);
}

QString TDesktopNotifier::Body(const TRankEvent& event) {
  return QDateTime::fromMSecsSinceEpoch(event.TimeMs).toString(QStringLiteral("HH:mm:ss")) +
         QStringLiteral(", at rank %1").arg(event.To);
}

void TDesktopNotifier::Notify(const std::vector<TRankEvent>& events, const THistoryStore& store) {
  if (!m_enabled || !m_bus || !m_bus->isConnected()) return;
  for (const TRankEvent& event : events) {
    if (event.Change != TRankChange::kEntered) continue;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Kestrava") << 0u << QString() << Summary(event, store.Info(event.Row))
         << Body(event) << QStringList() << QVariantMap() << -1;
    // No answer is awaited: a desktop without the service simply shows nothing.
    m_bus->send(call);
  }
}

}  // namespace kestrava
