#include "engine/batch_run.h"

#include "engine/dispatcher.h"
#include "shared/item_list.h"

namespace kestrava {

void TBatchRun::Start(const TRequest& request, std::string_view oids) {
  m_request = request;
  m_request.OidList.clear();
  m_own.clear();
  m_oids = oids;
  m_again.clear();
  m_sent = 0;
  m_sentOids = 0;
}

void TBatchRun::StartOwning(const TRequest& request, std::string oids) {
  Start(request, std::string_view());
  m_own = std::move(oids);
  m_oids = m_own;
}

void TBatchRun::Stop() {
  m_oids = std::string_view();
  m_again.clear();
  m_sent = 0;
}

void TBatchRun::AskAgain(std::string list) {
  if (!list.empty()) m_again.push_back(std::move(list));
}

bool TBatchRun::NextBatch(TRequest& batch, int& first) {
  if (m_inFlight.size() >= kMaxBatchesInFlight || !HasMore()) return false;
  if (!m_again.empty()) {
    batch = m_request;
    batch.OidList = std::move(m_again.front());
    m_again.pop_front();
    first = -1;
    return true;
  }
  std::string_view rest = m_oids.substr(m_sent);
  batch = m_request;
  batch.OidList = TakeBatch(rest);
  m_sent = m_oids.size() - rest.size();
  first = m_sentOids;
  m_sentOids += CountItems(batch.OidList);
  return true;
}

void TBatchRun::InFlight(uint32_t requestId, int first) {
  m_inFlight[requestId] = first;
}

std::optional<int> TBatchRun::Finish(uint32_t requestId) {
  const auto found = m_inFlight.find(requestId);
  if (found == m_inFlight.end()) return std::nullopt;
  const int first = found->second;
  m_inFlight.erase(found);
  return first;
}

}  // namespace kestrava
