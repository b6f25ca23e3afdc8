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
  const QString label = QString::fromStdString(row.SliceLabel);
  if (event.Change == TRankChange::kAbove)
    return label + QStringLiteral(" went above %1 %").arg(event.Threshold);
  return label + QStringLiteral(" entered the top %1").arg(event.TopSize);
}

QString TDesktopNotifier::Body(const TRankEvent& event) {
  const QString time =
      QDateTime::fromMSecsSinceEpoch(event.TimeMs).toString(QStringLiteral("HH:mm:ss"));
  if (event.Change == TRankChange::kAbove)
    return time + QStringLiteral(", at %1 %").arg(event.Share, 0, 'f', 1);
  return time + QStringLiteral(", at rank %1").arg(event.To);
}

void TDesktopNotifier::Notify(const std::vector<TRankEvent>& events, const THistoryStore& store) {
  if (!m_enabled || !m_bus || !m_bus->isConnected()) return;
  for (const TRankEvent& event : events) {
    if (event.Change != TRankChange::kEntered && event.Change != TRankChange::kAbove) continue;
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
