#include "engine/dispatch.h"

#include <chrono>
#include <exception>
#include <thread>

#include "engine/session.h"
#include "shared/item_list.h"
#include "snmp/snmpmgr.h"

namespace kestrava {

namespace {
constexpr int kBurst = 32;
constexpr int kBreathUs = 2000;
}  // namespace

bool NextItemView(std::string_view& list, std::string_view& item) {
  const size_t end = list.find(kItemSeparator);
  if (end == std::string_view::npos) return false;
  item = list.substr(0, end);
  list.remove_prefix(end + 1);
  return true;
}

std::string TakeBatch(std::string_view& list) {
  std::string batch;
  std::string_view item;
  for (int taken = 0; taken < kBatchSize && NextItemView(list, item); ++taken) {
    AppendItem(batch, item);
  }
  return batch;
}

std::string TakeBatch(std::string& list) {
  std::string_view rest = list;
  std::string batch = TakeBatch(rest);
  list.erase(0, list.size() - rest.size());
  return batch;
}

uint32_t FollowingRequestId(uint32_t counter) {
  const uint32_t next = counter + 1;
  return next > kMaxRequestId ? 0 : next;
}

uint32_t TSession::NextRequestId() {
  // REQUIRES: m_componentLock held (each id is handed out once, inside one dispatch).
  m_requestCounter = FollowingRequestId(m_requestCounter);
  return m_requestCounter;
}

void TSession::DispatchRequest(TRequest record, bool resend) {
  // A first send holds RequestLock across the send and the add, so that an answer handled on
  // the window's thread in between still finds its record. A resend comes from the retry scan,
  // which already holds it.
  std::unique_lock<std::mutex> requestLock;
  if (!resend) requestLock = m_requestTable.Lock();
  std::string failure;
  {
    std::lock_guard<std::mutex> componentLock(m_componentLock);
    if (!m_snmpMgr1) return;
    TSnmpMgr& mgr = *m_snmpMgr1;
    const bool reopen = !mgr.Active();
    if (reopen) mgr.SetLocalHost(mgr.LocalHost());
    mgr.Reset();
    mgr.SetRemoteHost(record.Host);
    mgr.SetCommunity(record.Community);
    if (record.SnmpVersion >= 1 && record.SnmpVersion <= 3) mgr.SetSNMPVersion(record.SnmpVersion);
    mgr.SetRemotePort(record.RemotePort);
    mgr.SetTimeout(0);
    if (!resend) record.RequestId = NextRequestId();
    // A resend carries the stored record's id, so that its answer is found.
    mgr.SetRequestId(static_cast<int>(record.RequestId));
    const int count = CountItems(record.OidList);
    mgr.SetObjCount(count);
    std::string list = record.OidList;
    std::string oid;
    for (int i = 1; i <= count; ++i) {
      NextItem(list, oid);
      mgr.SetObjId(i, oid);
    }
    try {
      if (record.Operation == 2) {
        mgr.SendGetNextRequest();
      } else if (record.Operation == 1) {
        mgr.SendGetRequest();
      }
      if (reopen && m_gate) m_gate->SetSocket(std::stoi(mgr.Config("SocketHandle")));
      if (!resend) {
        record.TriesLeft -= 1;
        record.SentAt = m_clock.NowDays();
        m_requestTable.AddLocked(record);
      }
    } catch (const std::exception& error) {
      failure = error.what();
    }
  }
  if (!failure.empty()) PostStatus(failure);
}

void TSession::SendPoll(const TRequest& request) {
  TRequest copy = request;
  std::string_view remaining = request.OidList;
  int sent = 0;
  for (copy.OidList = TakeBatch(remaining); !copy.OidList.empty();
       copy.OidList = TakeBatch(remaining)) {
    DispatchRequest(copy, false);
    // A short breath now and then, so that the agent's receive buffer is not overrun by a
    // burst of hundreds of requests (each lost request would drop the whole poll).
    if (++sent % kBurst == 0) std::this_thread::sleep_for(std::chrono::microseconds(kBreathUs));
  }
}

}  // namespace kestrava
