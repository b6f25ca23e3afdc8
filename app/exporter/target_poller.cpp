#include "app/exporter/target_poller.h"

#include <QDateTime>
#include <algorithm>

#include "engine/metrics_text.h"
#include "shared/item_list.h"

namespace kestrava {

namespace {

const std::string kWalkColumns[] = {"1.3.6.1.2.1.2.2.1.2", "1.3.6.1.2.1.31.1.1.1.1",
                                    "1.3.6.1.2.1.31.1.1.1.18"};
constexpr int kWalkColumnCount = 3;
const std::string kSysUpTime0 = "1.3.6.1.2.1.1.3.0";
// GetRequests of one target in flight at once: enough to hide the round trips, few enough that
// an agent's input queue does not overflow.
constexpr size_t kWindow = 8;
// An agent whose label column never ends is cut off here.
constexpr size_t kMaxRows = 100000;

}  // namespace

TTargetPoller::TTargetPoller(const TExporterModule& module, std::string host, int port,
                             int rewalkSeconds)
    : m_module(module),
      m_host(std::move(host)),
      m_port(port),
      m_rewalk(rewalkSeconds),
      m_dispatcher(
          TDispatcherEvents{[this](const TAnswer& answer) { OnAnswer(answer); },
                            [this](const std::string& text, int code) { OnProblem(text, code); }}),
      m_lastUsed(TClock::now()) {
  m_openError = m_dispatcher.Open();
  if (m_module.SnmpVersion == 3) m_dispatcher.SetSecurity(m_module.V3);
  m_tick.setInterval(20);
  QObject::connect(&m_tick, &QTimer::timeout, [this] { CheckTimeouts(); });
  m_deadline.setSingleShot(true);
  QObject::connect(&m_deadline, &QTimer::timeout, [this] { Finish(true); });
}

void TTargetPoller::Scrape(double seconds, TDone done) {
  m_lastUsed = TClock::now();
  m_waiting.push_back(std::move(done));
  if (m_phase != TPhase::kIdle) return;
  m_started = TClock::now();
  m_error.clear();
  m_values.clear();
  m_uptime = TSample();
  m_deadline.start(std::max(50, static_cast<int>(seconds * 1000)));
  m_tick.start();
  if (!m_openError.empty()) {
    m_error = m_openError;
    Finish(false);
    return;
  }
  const bool stale = !m_walked || m_started - m_walkedAt >= m_rewalk;
  if (stale) {
    StartWalk();
  } else {
    StartGet();
  }
}

bool TTargetPoller::SendNew(TRequest record) {
  record.Community = m_module.Community;
  record.Host = m_host;
  record.RemotePort = m_port;
  record.SnmpVersion = m_module.SnmpVersion;
  record.Interval = 1;
  TSendFailure failure;
  try {
    failure = m_dispatcher.Send(record, false);
  } catch (const std::exception& error) {
    failure.Text = error.what();
  }
  if (failure.Failed()) {
    m_error = failure.Text;
    return false;
  }
  ++m_counters.RequestsSent;
  m_inFlight[record.RequestId] = TInFlight{record, TClock::now(), m_module.Retries};
  return true;
}

// ---- the walk of the rows ----------------------------------------------------------------

void TTargetPoller::StartWalk() {
  m_phase = TPhase::kWalk;
  m_walkIndexes.clear();
  m_descr.clear();
  m_name.clear();
  m_alias.clear();
  m_rowOf.clear();
  StartWalkColumn(0);
}

void TTargetPoller::StartWalkColumn(int column) {
  m_walkColumn = column;
  m_walk = TWalk(kWalkColumns[column], m_module.SnmpVersion == 1 ? 0 : m_module.MaxRepetitions,
                 m_module.SnmpVersion, TWalk::TReading::kRows);
  SendWalkStep();
}

void TTargetPoller::SendWalkStep() {
  TRequest record;
  record.MaxRepetitions = m_walk.Repetitions();
  record.Operation = record.MaxRepetitions > 0 ? kOperationGetBulk : kOperationGetNext;
  AppendItem(record.OidList, m_walk.Next());
  if (!SendNew(std::move(record))) Finish(false);
}

void TTargetPoller::OnWalkAnswer(const TAnswer& answer) {
  m_bindings.clear();
  for (const TAnswerObject& object : answer.Objects)
    m_bindings.push_back({object.Oid, object.Value.Tag});
  const size_t indexAt = m_walk.Root().size() + 1;
  const TWalk::TStep step =
      m_walk.Step(answer.ErrorStatus, m_bindings, [&](size_t i, TWalkBinding binding) {
        const TAnswerObject& object = answer.Objects[i];
        return binding == TWalkBinding::kRow &&
               TakeLabel(std::string_view(object.Oid).substr(indexAt), object.Value.Text());
      });
  if (step == TWalk::TStep::kNext || step == TWalk::TStep::kAgain) return SendWalkStep();
  // Whatever ended the column (its end, an error status, an answer that does not follow), the
  // labels read so far stand.
  EndWalkColumn();
}

bool TTargetPoller::TakeLabel(std::string_view index, const std::string& value) {
  if (m_walkColumn == 0) {
    if (m_rowOf.size() >= kMaxRows) return false;
    if (m_rowOf.emplace(index, m_walkIndexes.size()).second) {
      m_walkIndexes.emplace_back(index);
      m_descr.push_back(value);
    }
  } else if (const auto row = m_rowOf.find(index); row != m_rowOf.end()) {
    (m_walkColumn == 1 ? m_name : m_alias)[row->second] = value;
  }
  return true;
}

void TTargetPoller::EndWalkColumn() {
  if (m_walkColumn == 0) {
    m_name.assign(m_walkIndexes.size(), std::string());
    m_alias.assign(m_walkIndexes.size(), std::string());
  }
  if (m_walkColumn + 1 < kWalkColumnCount) return StartWalkColumn(m_walkColumn + 1);
  SetRows(m_walkIndexes);
  m_walked = true;
  m_walkedAt = TClock::now();
  StartGet();
}

void TTargetPoller::SetRows(const std::vector<std::string>& indexes) {
  m_index = indexes;
  m_slotOf.clear();
  const size_t width = m_module.Columns.size();
  for (size_t r = 0; r < m_index.size(); ++r) {
    for (size_t c = 0; c < width; ++c)
      m_slotOf[m_module.Columns[c] + "." + m_index[r]] = r * width + c;
  }
}

// ---- the values --------------------------------------------------------------------------

void TTargetPoller::StartGet() {
  m_phase = TPhase::kGet;
  const size_t width = m_module.Columns.size();
  m_values.assign(m_index.size() * width, TSample());
  // Row by row, so that a row's values travel together; the uptime first, for restarts.
  m_gets.clear();
  std::string batch;
  int items = 0;
  const auto add = [&](const std::string& oid) {
    AppendItem(batch, oid);
    if (++items == kBatchSize) {
      m_gets.push_back(std::move(batch));
      batch.clear();
      items = 0;
    }
  };
  add(kSysUpTime0);
  for (const std::string& index : m_index) {
    for (const std::string& column : m_module.Columns) add(column + "." + index);
  }
  if (items > 0) m_gets.push_back(std::move(batch));
  m_nextGet = 0;
  SendGets();
}

void TTargetPoller::SendGets() {
  while (m_phase == TPhase::kGet && m_inFlight.size() < kWindow && m_nextGet < m_gets.size()) {
    TRequest record;
    record.Operation = kOperationGet;
    record.OidList = std::move(m_gets[m_nextGet++]);
    if (!SendNew(std::move(record))) return Finish(false);
  }
  if (m_phase == TPhase::kGet && m_inFlight.empty() && m_nextGet >= m_gets.size()) Finish(false);
}

void TTargetPoller::OnGetAnswer(const TAnswer& answer) {
  if (answer.ErrorStatus != 0) {
    m_error = ResponseErrorText(answer.ErrorDescription, answer.ErrorIndex, answer.ErrorStatus);
  } else {
    for (const TAnswerObject& object : answer.Objects) {
      if (object.Oid == kSysUpTime0) {
        m_uptime = TSample::FromAnswer(object.Value);
      } else if (const auto slot = m_slotOf.find(object.Oid); slot != m_slotOf.end()) {
        m_values[slot->second] = TSample::FromAnswer(object.Value);
      }
    }
  }
  SendGets();
}

void TTargetPoller::OnAnswer(const TAnswer& answer) {
  const auto found = m_inFlight.find(static_cast<uint32_t>(answer.RequestId));
  if (found == m_inFlight.end()) return;  // late, or of a poll that ended
  m_inFlight.erase(found);
  if (m_phase == TPhase::kWalk) {
    OnWalkAnswer(answer);
  } else if (m_phase == TPhase::kGet) {
    OnGetAnswer(answer);
  }
}

void TTargetPoller::OnProblem(const std::string& text, int code) {
  m_error = text;
  // An agent that refuses the module's security answers no step of the walk, however small: the
  // walk ends with the reason rather than running out of time.
  if (m_phase == TPhase::kWalk && RefusesSecurity(code)) Finish(false);
}

void TTargetPoller::CheckTimeouts() {
  const auto now = TClock::now();
  const auto timeout = std::chrono::milliseconds(m_module.TimeoutMs);
  std::vector<uint32_t> expired;
  for (auto& [id, request] : m_inFlight) {
    if (now - request.SentAt < timeout) continue;
    if (request.TriesLeft > 0) {
      --request.TriesLeft;
      request.SentAt = now;
      try {
        if (!m_dispatcher.Send(request.Record, true).Failed()) {
          ++m_counters.RequestsSent;
          ++m_counters.Resent;
        }
      } catch (const std::exception& error) {
        m_error = error.what();
      }
    } else {
      expired.push_back(id);
    }
  }
  if (expired.empty()) return;
  for (uint32_t id : expired) m_inFlight.erase(id);
  m_counters.Lost += expired.size();
  // A GetBulk step of the walk that went unanswered was most likely too big to come: smaller
  // steps follow, as the walk says.
  if (m_phase == TPhase::kWalk && m_walk.Lost()) return SendWalkStep();
  m_error = m_dispatcher.TimeoutText("No answer from " + m_host + ":" + std::to_string(m_port) +
                                     " in time");
  // A walk cut short leaves no rows to trust; a GetRequest lost leaves its values missing.
  if (m_phase == TPhase::kWalk) return Finish(false);
  SendGets();
}

void TTargetPoller::Finish(bool timedOut) {
  m_deadline.stop();
  m_tick.stop();
  m_inFlight.clear();
  if (m_phase == TPhase::kWalk) m_walked = false;
  if (m_phase == TPhase::kGet && m_uptime.IsWhole()) {
    // An agent that restarted may have numbered its interfaces anew.
    if (m_lastUptime.IsWhole() && m_uptime.FellSince(m_lastUptime)) m_walked = false;
    m_lastUptime = m_uptime;
  }
  if (timedOut && m_error.empty()) m_error = "The scrape ran out of time";
  m_pollSeconds = std::chrono::duration<double>(TClock::now() - m_started).count();
  const std::string text = Exposition(timedOut);
  m_phase = TPhase::kIdle;
  std::vector<TDone> waiting;
  waiting.swap(m_waiting);
  for (const TDone& done : waiting) done(text);
}

std::string TTargetPoller::Exposition(bool timedOut) const {
  TMetricsText text;
  const size_t width = m_module.Columns.size();
  if (!m_values.empty() && m_values.size() == m_index.size() * width) {
    auto layout = std::make_shared<TSnapshotLayout>();
    layout->Host = m_host;
    layout->Port = m_port;
    layout->LabelOid = kWalkColumns[0];
    for (const std::string& column : m_module.Columns) layout->Columns.push_back({column, ""});
    std::vector<std::vector<TMetricLabel>> rowLabels(m_index.size());
    layout->PolledOids.resize(m_values.size());
    for (size_t r = 0; r < m_index.size(); ++r) {
      layout->Rows.push_back({"." + m_index[r], m_descr[r]});
      rowLabels[r] = {{"ifName", m_name[r]}, {"ifAlias", m_alias[r]}};
      for (size_t c = 0; c < width; ++c)
        layout->PolledOids[r * width + c] = m_module.Columns[c] + "." + m_index[r];
    }
    TPollSnapshot snapshot;
    snapshot.Layout = std::move(layout);
    snapshot.Slots.resize(m_values.size());
    for (size_t i = 0; i < m_values.size(); ++i) snapshot.Slots[i].Value = m_values[i];
    text.AddSnapshot(snapshot, rowLabels);
  }
  if (!m_uptime.IsNull()) {
    text.Add("sysUpTime", TMetricType::kGauge, "SNMPv2-MIB::sysUpTime - 1.3.6.1.2.1.1.3", {},
             MetricValueText(m_uptime));
  }
  TPollSnapshot own;
  own.TimeMs = QDateTime::currentMSecsSinceEpoch();
  own.Counters = m_counters;
  own.Counters.PollSeconds = m_pollSeconds;
  own.Counters.LastError = m_error;
  auto rows = std::make_shared<TSnapshotLayout>();
  rows->Rows = std::vector<TSnapshotRow>(m_index.size());
  own.Layout = std::move(rows);
  text.AddSessionMetrics(own);
  text.Add("kestrava_scrape_duration_seconds", TMetricType::kGauge,
           "Seconds this scrape took, its walk included.", {},
           std::to_string(std::chrono::duration<double>(TClock::now() - m_started).count()));
  text.Add("kestrava_scrape_timed_out", TMetricType::kGauge,
           "1 when the scrape ended at its time-out with what it had.", {}, timedOut ? "1" : "0");
  return text.Text();
}

}  // namespace kestrava
