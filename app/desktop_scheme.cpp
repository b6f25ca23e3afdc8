#include "app/desktop_scheme.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace kestrava {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
constexpr int kPreferDark = 1;
constexpr int kAnswerMs = 1000;

// Read answers a variant holding the value's variant; a portal may give the value directly.
QVariant Unwrapped(QVariant value) {
  while (value.metaType() == QMetaType::fromType<QDBusVariant>())
    value = value.value<QDBusVariant>().variant();
  return value;
}

bool IsDark(const QVariant& value) {
  bool ok = false;
  const uint scheme = Unwrapped(value).toUInt(&ok);
  return ok && scheme == kPreferDark;
}

}  // namespace

TDesktopScheme::TDesktopScheme(QObject* parent)
    : TDesktopScheme(QDBusConnection::sessionBus(), parent) {}

TDesktopScheme::TDesktopScheme(const QDBusConnection& bus, QObject* parent) : QObject(parent) {
  if (!bus.isConnected()) return;
  QDBusMessage read =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Read"));
  read << kGroup << kKey;
  const QDBusMessage answer = QDBusConnection(bus).call(read, QDBus::Block, kAnswerMs);
  if (answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty())
    m_dark = IsDark(answer.arguments().first());
  QDBusConnection(bus).connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                               SLOT(SettingChanged(QString, QString, QDBusVariant)));
}

void TDesktopScheme::SettingChanged(const QString& group, const QString& key,
                                    const QDBusVariant& value) {
  if (group != kGroup || key != kKey) return;
  const bool dark = IsDark(value.variant());
  if (dark == m_dark) return;
  m_dark = dark;
  emit PreferenceChanged(dark);
}

}  // namespace kestrava
