#pragma once
// TRequestTable: the requests sent and not yet purged, guarded by RequestLock. Every operation
// goes through RequestTableOp, which holds the lock for the whole operation: add, find, the
// retry scan (resends through a hook, under the lock), the time-out scan (expiry through a hook,
// under the lock) and the purge. A response handler claims a record while it works on it, so the
// scans neither resend, expire nor purge it meanwhile, and releases it finished.
// Lock order: RequestLock first, then the schedule's lock.
// Thread: the purge runs on the worker, every other operation on the window's thread.

#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "shared/session_types.h"

namespace kestrava {

// Codes of RequestTableOp.
inline constexpr int kRequestAdd = 1;
inline constexpr int kRequestFind = 4;
inline constexpr int kRequestRetryScan = 5;
inline constexpr int kRequestTimeoutScan = 6;
inline constexpr int kRequestPurge = 7;

struct TRequestTableHooks {
  std::function<double()> NowDays;
  // Sends a stored record again (its TriesLeft and SentAt already updated); runs under the lock.
  std::function<void(const TRequest&)> Resend;
  // ExpireRequest for a record that ran out of time; runs under the lock.
  std::function<void(const TRequest&)> Expire;
};

class TRequestTable {
 public:
  explicit TRequestTable(TRequestTableHooks hooks) : m_hooks(std::move(hooks)) {}
  TRequestTable(const TRequestTable&) = delete;
  TRequestTable& operator=(const TRequestTable&) = delete;

  // The entry routine: code 1 adds a copy of *record, 4 returns a copy of the first record with
  // RequestId id (an id below 0 matches nothing), 5 retry scan, 6 time-out scan, 7 purge.
  std::optional<TRequest> RequestTableOp(int code, int64_t id = -1,
                                         const TRequest* record = nullptr);

  // Whether the retry scan (code 5) or the time-out scan (code 6) would find a record to act on
  // now; the worker hands a scan to the window's thread only then.
  bool Due(int code);

  // A record claimed by a response handler: a copy, and whether it was finished already.
  struct TClaim {
    TRequest Request;
    uint64_t Serial = 0;
    bool WasFinished = false;
  };
  // Finds like code 4 and claims the record until Release.
  std::optional<TClaim> Claim(int64_t id);
  // Marks the claimed record finished (TriesLeft -1) and lets the scans see it again.
  void Release(const TClaim& claim);

  // Copies of the records in table order.
  std::vector<TRequest> Snapshot();
  // Releases every record, first to last.
  void Clear();

 private:
  struct TEntry {
    TRequest Request;
    uint64_t Serial = 0;
    int Claims = 0;
  };
  using TEntries = std::list<TEntry>;
  TEntry* FindLocked(int64_t id);
  void AddLocked(const TRequest& record);  // REQUIRES: m_requestLock held

  TRequestTableHooks m_hooks;
  std::mutex m_requestLock;
  TEntries m_entries;  // GUARDED_BY(m_requestLock), in the order added
  // The records of each id in the order added, so that a find is not a walk of the table.
  std::unordered_map<uint32_t, std::vector<TEntries::iterator>>
      m_byId;                 // GUARDED_BY(m_requestLock)
  uint64_t m_nextSerial = 1;  // GUARDED_BY(m_requestLock)
};

}  // namespace kestrava
