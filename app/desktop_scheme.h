#pragma once
// TDesktopScheme: whether the desktop prefers a dark look, as the freedesktop Settings portal
// says (org.freedesktop.portal.Settings on the session bus, key "color-scheme" of the
// "org.freedesktop.appearance" group: 1 prefers dark, 2 prefers light, 0 no preference), and
// the changes it announces while the program runs. Without a bus, a portal or an answer within
// a second, the preference is light.
// Thread: the window's thread only.

#include <QDBusConnection>
#include <QObject>

class QDBusVariant;

namespace kestrava {

class TDesktopScheme : public QObject {
  Q_OBJECT

 public:
  // Asks the portal on the session bus, or on the given bus (tests).
  explicit TDesktopScheme(QObject* parent = nullptr);
  explicit TDesktopScheme(const QDBusConnection& bus, QObject* parent = nullptr);
  TDesktopScheme(const TDesktopScheme&) = delete;
  TDesktopScheme& operator=(const TDesktopScheme&) = delete;

  bool PrefersDark() const { return m_dark; }

 signals:
  // The desktop's preference changed.
  void PreferenceChanged(bool dark);

 private slots:
  void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

 private:
  bool m_dark = false;
};

}  // namespace kestrava
