#pragma once
// TDesktopNotifier: tells the desktop's notification service (org.freedesktop.Notifications on
// the session bus) when a row entered the top of the pie or went above the utilisation
// threshold, while the user has it on. Calls go
// out without waiting for an answer: without a session bus or a notification service nothing
// is shown and nothing is said.
// Thread: the window's thread only.

#include <QDBusConnection>
#include <QString>
#include <optional>
#include <vector>

#include "engine/history_store.h"

namespace kestrava {

class TDesktopNotifier {
 public:
  // The session bus, reached only once the notifier is first enabled.
  TDesktopNotifier() = default;
  explicit TDesktopNotifier(QDBusConnection bus) : m_bus(std::move(bus)) {}

  void SetEnabled(bool on);
  // Sends one notification for each entry into the top and each threshold crossed upward among
  // events (rows named by store).
  void Notify(const std::vector<TRankEvent>& events, const THistoryStore& store);

  // "eth3 entered the top 8" and "14:02:07, at rank 2"; "eth3 went above 80 %" and
  // "14:02:07, at 91.5 %".
  static QString Summary(const TRankEvent& event, const TSeriesInfo& row);
  static QString Body(const TRankEvent& event);

 private:
  std::optional<QDBusConnection> m_bus;
  bool m_enabled = false;
};

}  // namespace kestrava
