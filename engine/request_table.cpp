#include "engine/request_table.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "engine/clock.h"

namespace kestrava {

std::optional<TRequest> TRequestTable::RequestTableOp(int code, int64_t id,
                                                      const TRequest* record) {
  std::lock_guard<std::mutex> lock(m_requestLock);
  switch (code) {
    case kRequestAdd:
      if (record) AddLocked(*record);
      return std::nullopt;
    case kRequestFind: {
      const TEntry* entry = FindLocked(id);
      if (!entry) return std::nullopt;
      return entry->Request;
    }
    case kRequestRetryScan: {
      const double now = m_hooks.NowDays();
      for (TEntry& entry : m_entries) {
        TRequest& r = entry.Request;
        if (entry.Claims > 0 || r.TriesLeft <= 0 || ElapsedMs(r.SentAt, now) <= 1000) continue;
        r.SentAt = now;
        r.TriesLeft -= 1;
        // A resend error in the set-up leaves the scan here; the lock goes with the guard.
        if (m_hooks.Resend) m_hooks.Resend(r);
      }
      return std::nullopt;
    }
    case kRequestTimeoutScan: {
      const double now = m_hooks.NowDays();
      for (TEntry& entry : m_entries) {
        TRequest& r = entry.Request;
        if (entry.Claims > 0 || r.TriesLeft != 0) continue;
        const int64_t threshold = (r.Interval > 2 || r.Purpose == kPurposeDiscovery) ? 1000 : 500;
        if (ElapsedMs(r.SentAt, now) <= threshold) continue;
        // The record is finished however the expiry goes.
        r.TriesLeft = -1;
        if (m_hooks.Expire) m_hooks.Expire(r);
      }
      return std::nullopt;
    }
    case kRequestPurge:
      for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        if (entry->Claims > 0 || entry->Request.TriesLeft >= 0) {
          ++entry;
          continue;
        }
        std::vector<TEntries::iterator>& same = m_byId[entry->Request.RequestId];
        same.erase(std::find(same.begin(), same.end(), entry));
        if (same.empty()) m_byId.erase(entry->Request.RequestId);
        entry = m_entries.erase(entry);
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

bool TRequestTable::Due(int code) {
  std::lock_guard<std::mutex> lock(m_requestLock);
  const double now = m_hooks.NowDays();
  for (const TEntry& entry : m_entries) {
    const TRequest& r = entry.Request;
    if (entry.Claims > 0) continue;
    if (code == kRequestRetryScan && r.TriesLeft > 0 && ElapsedMs(r.SentAt, now) > 1000)
      return true;
    if (code == kRequestTimeoutScan && r.TriesLeft == 0) {
      const int64_t threshold = (r.Interval > 2 || r.Purpose == kPurposeDiscovery) ? 1000 : 500;
      if (ElapsedMs(r.SentAt, now) > threshold) return true;
    }
  }
  return false;
}

TRequestTable::TEntry* TRequestTable::FindLocked(int64_t id) {
  if (id < 0 || id > UINT32_MAX) return nullptr;
  const auto found = m_byId.find(static_cast<uint32_t>(id));
  if (found == m_byId.end() || found->second.empty()) return nullptr;
  return &*found->second.front();
}

void TRequestTable::AddLocked(const TRequest& record) {
  m_entries.push_back(TEntry{record, m_nextSerial++, 0});
  m_byId[record.RequestId].push_back(std::prev(m_entries.end()));
}

std::optional<TRequestTable::TClaim> TRequestTable::Claim(int64_t id) {
  std::lock_guard<std::mutex> lock(m_requestLock);
  TEntry* entry = FindLocked(id);
  if (!entry) return std::nullopt;
  entry->Claims += 1;
  return TClaim{entry->Request, entry->Serial, entry->Request.TriesLeft < 0};
}

void TRequestTable::Release(const TClaim& claim) {
  std::lock_guard<std::mutex> lock(m_requestLock);
  const auto found = m_byId.find(claim.Request.RequestId);
  if (found == m_byId.end()) return;
  for (const TEntries::iterator& entry : found->second) {
    if (entry->Serial != claim.Serial) continue;
    entry->Request.TriesLeft = -1;
    entry->Claims -= 1;
    return;
  }
}

std::vector<TRequest> TRequestTable::Snapshot() {
  std::lock_guard<std::mutex> lock(m_requestLock);
  std::vector<TRequest> out;
  for (const TEntry& entry : m_entries) out.push_back(entry.Request);
  return out;
}

void TRequestTable::Clear() {
  std::lock_guard<std::mutex> lock(m_requestLock);
  m_byId.clear();
  while (!m_entries.empty()) m_entries.pop_front();
}

}  // namespace kestrava
