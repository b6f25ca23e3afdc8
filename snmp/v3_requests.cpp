#include "snmp/v3_requests.h"

#include <utility>

namespace kestrava {

void TV3Requests::KeepBounded(std::deque<TV3Request>& requests, int64_t nowMs) {
  while (!requests.empty() &&
         (requests.size() > kMaxKept || nowMs - requests.front().AtMs > kKeepMs))
    requests.pop_front();
}

void TV3Requests::Wait(TV3Request&& request, int64_t nowMs) {
  m_waiting.push_back(std::move(request));
  KeepBounded(m_waiting, nowMs);
}

std::deque<TV3Request> TV3Requests::TakeWaiting() {
  std::deque<TV3Request> ready;
  ready.swap(m_waiting);
  return ready;
}

void TV3Requests::Sent(TV3Request&& request, int64_t nowMs) {
  m_sent.push_back(std::move(request));
  KeepBounded(m_sent, nowMs);
}

TV3Request* TV3Requests::FindSent(int32_t msgId) {
  for (auto it = m_sent.rbegin(); it != m_sent.rend(); ++it)
    if (it->MsgId == msgId) return &*it;
  return nullptr;
}

TV3Request TV3Requests::Reuse() {
  TV3Request request;
  if (!m_spare.empty()) {
    request.Objects = std::move(m_spare.back());
    m_spare.pop_back();
  }
  return request;
}

void TV3Requests::ForgetSent(int32_t msgId) {
  // Answers come mostly in the order of the requests: look from the oldest.
  for (auto it = m_sent.begin(); it != m_sent.end(); ++it) {
    if (it->MsgId == msgId) {
      if (m_spare.size() < kMaxSpare && it->Objects.capacity() > 0)
        m_spare.push_back(std::move(it->Objects));
      m_sent.erase(it);
      return;
    }
  }
}

void TV3Requests::Clear() {
  m_waiting.clear();
  m_sent.clear();
  m_spare.clear();
}

}  // namespace kestrava
