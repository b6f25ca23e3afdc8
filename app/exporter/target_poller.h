#pragma once
// TTargetPoller: one agent polled with one module, for kestrava-exporter's scrapes. Unlike an
// exporter that walks every table at every scrape, it keeps the agent's rows (ifIndex with
// ifDescr, ifName and ifAlias) between scrapes and walks them again only when they are older
// than the rewalk interval or the agent restarted (its sysUpTime fell); a scrape then fetches
// the values with GetRequests of up to 15 OIDs, several in flight at once. Scrapes that come
// while a poll runs share it. A poll that runs out of time ends with what it has, and says so.
// Thread: the thread that created it (its event loop carries the SNMP socket and the timers).

#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/exporter/exporter_config.h"
#include "engine/dispatcher.h"
#include "engine/poll_snapshot.h"
#include "engine/sample.h"
#include "snmp/walk.h"

namespace kestrava {

class TTargetPoller {
 public:
  using TClock = std::chrono::steady_clock;
  // The text of a scrape (the exposition), handed to each waiting scrape.
  using TDone = std::function<void(const std::string& text)>;

  // host: a numeric address the allow-list has passed.
  TTargetPoller(const TExporterModule& module, std::string host, int port, int rewalkSeconds);
  TTargetPoller(const TTargetPoller&) = delete;
  TTargetPoller& operator=(const TTargetPoller&) = delete;

  // Polls (or joins the poll under way) and calls done with the exposition, within `seconds`.
  void Scrape(double seconds, TDone done);
  TClock::time_point LastUsed() const { return m_lastUsed; }
  bool Busy() const { return m_phase != TPhase::kIdle; }

 private:
  enum class TPhase { kIdle, kWalk, kGet };
  struct TInFlight {
    TRequest Record;
    TClock::time_point SentAt;
    int TriesLeft = 0;
  };

  void OnAnswer(const TAnswer& answer);
  void OnProblem(const std::string& text, int code);
  void OnWalkAnswer(const TAnswer& answer);
  void OnGetAnswer(const TAnswer& answer);
  // Sends one request (a new id), remembered until answered or expired; false when it failed.
  bool SendNew(TRequest record);
  void StartWalk();
  void StartWalkColumn(int column);
  // Asks the walk's next step.
  void SendWalkStep();
  // A row of the column walked: its index and value; false at the row limit.
  bool TakeLabel(std::string_view index, const std::string& value);
  void EndWalkColumn();
  void StartGet();
  void SendGets();
  void CheckTimeouts();
  void Finish(bool timedOut);
  std::string Exposition(bool timedOut) const;
  void SetRows(const std::vector<std::string>& indexes);

  TExporterModule m_module;
  std::string m_host;
  int m_port;
  std::chrono::seconds m_rewalk;
  TDispatcher m_dispatcher;
  std::string m_openError;

  // The rows, kept between scrapes.
  std::vector<std::string> m_index;  // "3"
  std::vector<std::string> m_descr, m_name, m_alias;
  // By index; found by a view into an answer's OID, without a copy.
  struct TTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  std::unordered_map<std::string, size_t, TTextHash, std::equal_to<>> m_rowOf;
  TClock::time_point m_walkedAt;
  bool m_walked = false;
  std::unordered_map<std::string, size_t> m_slotOf;  // polled OID -> slot (row x width + column)

  // The poll under way.
  TPhase m_phase = TPhase::kIdle;
  std::vector<TDone> m_waiting;
  TClock::time_point m_started;
  std::map<uint32_t, TInFlight> m_inFlight;
  int m_walkColumn = 0;                     // 0 ifDescr, 1 ifName, 2 ifAlias
  TWalk m_walk;                             // of that column
  std::vector<TWalkBindingRef> m_bindings;  // an answer's, reused
  std::vector<std::string> m_walkIndexes;
  std::vector<std::string> m_gets;  // batches not sent yet, as item lists
  size_t m_nextGet = 0;
  std::vector<TSample> m_values;
  TSample m_uptime, m_lastUptime;
  std::string m_error;  // of this poll
  TSessionCounters m_counters;
  double m_pollSeconds = 0;

  QTimer m_tick;      // time-outs of the requests in flight
  QTimer m_deadline;  // the scrape's
  TClock::time_point m_lastUsed;
};

}  // namespace kestrava
