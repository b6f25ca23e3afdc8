#pragma once
// TBatchRun: one run of GetRequests over a list of OIDs, at most 15 OIDs to a request and at
// most kMaxBatchesInFlight requests unanswered at a time: the next request leaves as one is
// answered or expires, so that an agent's receive buffer is never overrun. It cuts the batches and
// keeps what is in flight; its owner sends them. Thread: the window's thread only.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "shared/session_types.h"

namespace kestrava {

// Requests of one run in flight at most: an agent takes a burst of this many without losing
// one (its socket buffer holds them).
inline constexpr size_t kMaxBatchesInFlight = 32;

class TBatchRun {
 public:
  // Starts over: batches of `request` (its own OIDs aside) over `oids`, which must outlive the
  // run; the requests still in flight stay counted until they are finished.
  void Start(const TRequest& request, std::string_view oids);
  // The same over a list the run keeps.
  void StartOwning(const TRequest& request, std::string oids);
  // Sends nothing more of the list.
  void Stop();
  bool HasMore() const { return !m_again.empty() || m_sent < m_oids.size(); }

  // Asks the OIDs of `list` (an item list) again, in a request of their own that leaves before
  // the rest of the list: what is left of a batch an SNMPv1 agent refused whole for one OID it
  // does not have. Its batch stands nowhere in the list (first -1).
  void AskAgain(std::string list);

  // The next batch while fewer than kMaxBatchesInFlight are out: the request with its OIDs, and
  // where its first OID stands in the list; false when there is none to send now.
  bool NextBatch(TRequest& batch, int& first);
  // A request that went out, and where its first OID stands (-1: none of the list's).
  void InFlight(uint32_t requestId, int first);
  // A request answered or expired: where its first OID stood; none when it is not the run's.
  std::optional<int> Finish(uint32_t requestId);

 private:
  TRequest m_request;
  std::string m_own;
  std::string_view m_oids;
  std::deque<std::string> m_again;               // lists to ask again, first first
  size_t m_sent = 0;                             // characters of the list sent
  int m_sentOids = 0;                            // OIDs of the list sent
  std::unordered_map<uint32_t, int> m_inFlight;  // request id -> where its first OID stands
};

}  // namespace kestrava
