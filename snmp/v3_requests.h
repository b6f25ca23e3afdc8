#pragma once
// TV3Requests: the SNMPv3 requests of the asynchronous mode that the engine may have to build
// again: those waiting for the agent's engine and clock to be discovered, and those sent, kept
// for the agent's report (a clock or engine id it did not expect) so that they can go out once
// more. Both are bounded in number and age: the agent's own retry table gives up well before.
// An answered request's room (its objects' texts) is kept for the next one, so that a poll's
// stream of requests allocates nothing for them.
// Thread: one thread at a time.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kestrava {

// One SNMPv3 request as the caller asked for it, kept so that it can be built again: sent once
// discovery has found the agent's engine, or once more after the agent's clock or engine id
// was learnt from its report.
struct TV3Request {
  struct TObject {
    std::string Id;
    int32_t Type;
    std::string Value;
  };
  int Action = 0;
  int32_t RequestId = 0;
  int32_t NonRepeaters = 0;
  int32_t MaxRepetitions = 0;
  std::vector<TObject> Objects;
  int32_t MsgId = 0;          // of the last send
  bool Resent = false;        // sent once more for the agent's authenticated clock
  bool Rediscovered = false;  // sent again after a discovery an unauthenticated report asked for
  int64_t AtMs = 0;           // when it was asked or last sent
};

class TV3Requests {
 public:
  static constexpr int64_t kKeepMs = 60000;
  static constexpr size_t kMaxKept = 1024;
  // Answered requests whose room is kept: as many as a poll keeps in flight, and some.
  static constexpr size_t kMaxSpare = 64;

  // A request to fill: empty, with the room of one answered before where there is one.
  TV3Request Reuse();
  // A request that waits for discovery; asked at its AtMs.
  void Wait(TV3Request&& request, int64_t nowMs);
  // Every waiting request, handed over; none waits afterwards.
  std::deque<TV3Request> TakeWaiting();
  void DropWaiting() { m_waiting.clear(); }
  // A request sent, kept for the agent's report.
  void Sent(TV3Request&& request, int64_t nowMs);
  // The sent request of this message id (the latest send), or nullptr.
  TV3Request* FindSent(int32_t msgId);
  // Forgets the sent request of this message id, if any; its room is kept for Reuse.
  void ForgetSent(int32_t msgId);
  void Clear();
  size_t WaitingCount() const { return m_waiting.size(); }
  size_t SentCount() const { return m_sent.size(); }

 private:
  static void KeepBounded(std::deque<TV3Request>& requests, int64_t nowMs);

  std::deque<TV3Request> m_waiting;
  std::deque<TV3Request> m_sent;
  std::vector<std::vector<TV3Request::TObject>> m_spare;
};

}  // namespace kestrava
