#include "engine/session.h"

#include <QCoreApplication>
#include <chrono>
#include <exception>
#include <thread>

#include "config/setup_session.h"
#include "shared/oid_names.h"
#include "snmp/snmpmgr.h"

namespace kestrava {

namespace {
const std::vector<std::string> kNoHistory;

// 334 answers of 15 counters each take about 700 KB of socket buffer on Linux.
constexpr int kReceiveBuffer = 4 * 1024 * 1024;

uint32_t ClockSeed() {
  return static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}
}  // namespace

TSession::TSession(IMainWindow& window) : TSession(window, SystemClock()) {}

TSession::TSession(IMainWindow& window, TEngineClock clock)
    : m_window(window),
      m_clock(std::move(clock)),
      m_handOver(std::make_unique<THandOver>()),
      m_requestTable(TRequestTableHooks{m_clock.NowDays,
                                        [this](const TRequest& r) { DispatchRequest(r, true); },
                                        [this](const TRequest& r) { ExpireRequest(r); }}),
      m_schedule(m_clock.NowMs, ClockSeed()) {}

TSession::~TSession() {
  FormClose();
  // Pending hand-overs to the window's thread are dropped with it.
  m_handOver.reset();
  m_gate.reset();  // also leaves the application's filters
  std::lock_guard<std::mutex> lock(m_componentLock);
  m_snmpMgr1.reset();
}

TConfigRec& TSession::Config() {
  return m_config;
}
TRequest& TSession::SessionRequest() {
  return m_sessionRequest;
}

void TSession::FormCreate(const std::vector<std::string>& args) {
  if (m_created) return;
  m_created = true;
  m_instances.clear();
  m_instanceDescrs.clear();
  m_foundInstances.clear();
  m_foundDescrs.clear();
  m_refreshFound.clear();
  m_refreshDescrs.clear();
  m_sliceCandidates.clear();
  m_requestTable.Clear();
  m_schedule.Clear();
  FillOidNames();

  TWorkerJobs jobs;
  jobs.RetryScan = [this] { m_requestTable.RequestTableOp(kRequestRetryScan); };
  jobs.TimeoutScan = [this] { HandToWindow([this] { TimeoutScanSync(); }); };
  jobs.Purge = [this] { m_requestTable.RequestTableOp(kRequestPurge); };
  jobs.SendPoll = [this](const TRequest& request) { SendPoll(request); };
  jobs.ClearStatus = [this] { HandToWindow([this] { DoClearSB(); }); };
  jobs.ReportError = [this](const std::string& text) { PostStatus(text); };
  m_worker = std::make_unique<TMyTimer>(m_schedule, std::move(jobs), m_clock);
  m_worker->Start();

  {
    std::lock_guard<std::mutex> lock(m_componentLock);
    m_snmpMgr1 = std::make_unique<TSnmpMgr>();
    m_snmpMgr1->OnResponse = [this](TSnmpMgr&, int requestId, int, const std::string&,
                                    const std::string&, int, const std::string&, int,
                                    int errorIndex, int errorStatus,
                                    const std::string& errorDescription) {
      SnmpMgr1Response(requestId, errorIndex, errorStatus, errorDescription);
    };
    m_snmpMgr1->OnError = [this](TSnmpMgr&, int errorCode, const std::string& description) {
      SnmpMgr1Error(errorCode, description);
    };
    m_snmpMgr1->OnBadPacket = [this](TSnmpMgr&, const std::string&, const std::string&, int,
                                     int errorCode, const std::string& errorDescription,
                                     bool&) { SnmpMgr1BadPacket(errorCode, errorDescription); };
    m_gate = std::make_unique<TComponentGate>(m_componentLock);
    try {
      // Opened here, on the window's thread, so that the worker never opens the socket.
      m_snmpMgr1->SetActive(false);
      m_snmpMgr1->Config("ForceLocalPort=false");
      // Room for every answer of a large poll, which arrive in one burst.
      m_snmpMgr1->Config("InBufferSize=" + std::to_string(kReceiveBuffer));
      m_snmpMgr1->SetActive(true);
      m_gate->SetSocket(std::stoi(m_snmpMgr1->Config("SocketHandle")));
    } catch (const std::exception& error) {
      m_window.ShowStatus(error.what());
    }
  }
  if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(m_gate.get());

  m_window.EnableToolbar(false);
  TSetupHooks hooks;
  hooks.ResetEngineCounters = [this] { ResetEngineCounters(); };
  hooks.StartInstanceWalk = [this] { StartInstanceWalk(); };
  SetupSession(args, m_config, m_sessionRequest, m_window, hooks);
}

void TSession::FormClose() {
  if (!m_created || m_closed) return;
  m_closed = true;
  if (m_worker) {
    m_worker->Terminate();
    // The worker may be waiting for a hand-over to this thread: let it run.
    while (!m_worker->Finished()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      QCoreApplication::processEvents();
    }
    m_worker->Join();
    m_worker.reset();
  }
  m_requestTable.Clear();
  m_schedule.Clear();
  m_instances.clear();
  m_instanceDescrs.clear();
  m_foundInstances.clear();
  m_foundDescrs.clear();
  m_refreshFound.clear();
  m_refreshDescrs.clear();
  m_sliceCandidates.clear();
  m_instanceMaskItems.clear();
  m_histories.clear();
  m_config.LastSlot = -1;
  InstancesChanged();
  FreeOidNames();
}

void TSession::ResetEngineCounters() {
  m_lastRefresh = 0;
  m_firstSelection = true;
  std::lock_guard<std::mutex> lock(m_componentLock);
  m_requestCounter = 0;
}

int TSession::Width() const {
  return static_cast<int>(m_config.TargetOids.size() + m_config.Formulas.size());
}

int TSession::ComputeLastSlot() const {
  return Width() * static_cast<int>(m_instances.size()) - 1;
}

void TSession::CreateHistory(int slot) {
  if (slot < 0) return;
  if (static_cast<int>(m_histories.size()) <= slot) m_histories.resize(slot + 1);
  m_histories[slot].assign(5, "Null");
}

void TSession::CreateHistories() {
  m_histories.resize(std::max(0, m_config.LastSlot + 1));
  for (int s = 0; s <= m_config.LastSlot; ++s) CreateHistory(s);
}

void TSession::FreeHistories() {
  m_histories.clear();
}

const std::vector<std::string>& TSession::History(int slot) const {
  if (slot < 0 || slot >= static_cast<int>(m_histories.size())) return kNoHistory;
  return m_histories[slot];
}

void TSession::InstancesChanged() {
  m_slotIndex.Rebuild(m_config.TargetOids, m_config.InstanceMode, m_instances,
                      static_cast<int>(m_config.Formulas.size()));
}

void TSession::HandToWindow(const std::function<void()>& call) {
  m_handOver->Run(call);
}

void TSession::PostStatus(const std::string& text) {
  // Without waiting: the caller may hold a lock the window's thread needs.
  m_handOver->Post([this, text] { m_window.ShowStatus(text); });
}

void TSession::DoClearSB() {
  m_window.ClearStatus();
}

void TSession::SetValueMode(bool raw) {
  try {
    m_config.RawValues = raw;
    FeedChart();
  } catch (const std::exception&) {
  }
}

void TSession::ComboBox1Change(int index) {
  m_instanceMaskIndex = index;
  SelectInstances();
}

void TSession::ComboBox2Change(int index) {
  try {
    m_config.SliceIndex = index;
    FeedChart();
  } catch (const std::exception&) {
  }
}

void TSession::ComboBox3Change(int index) {
  if (index < 0 || index >= static_cast<int>(m_config.IntervalItems.size())) return;
  m_sessionRequest.Interval = std::stoi(m_config.IntervalItems[index]);
  // The next delta of every slot is then "Null": it would span two different intervals.
  for (int s = 0; s <= m_config.LastSlot && s < static_cast<int>(m_histories.size()); ++s) {
    std::vector<std::string>& history = m_histories[s];
    if (!history.empty()) history.erase(history.begin());
    history.push_back("Null");
  }
  m_schedule.ScheduleOp(kScheduleAddPoll, kPollJobKind, &m_sessionRequest);
  m_window.SetInitializingVisible(true);
}

void TSession::RefreshInstances1Click(bool checked) {
  try {
    m_config.RefreshInstances = checked;
  } catch (const std::exception&) {
  }
}

}  // namespace kestrava
