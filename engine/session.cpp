#include "engine/session.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <exception>
#include <random>
#include <stdexcept>
#include <thread>

#include "engine/session_setup.h"
#include "shared/item_list.h"
#include "shared/number_text.h"
#include "shared/oid_names.h"

namespace kestrava {

namespace {

// SNMPv2c and v3 have Counter64 (the interface counters' 64-bit twins) and are the versions
// whose polls also read the agent's uptime.
bool CarriesCounter64(int snmpVersion) {
  return snmpVersion == 2 || snmpVersion == 3;
}

const std::string kNonIncreasing = "The agent returned an OID out of order; the walk ended there";
const std::string kNothingFound = "No instances found!";
const std::string kDiscoveryTimedOut = "Timeout while collecting instances!";
// GetBulk walks start near a datagram's worth of rows and halve when an answer is too big.
constexpr int kBulkRepetitions = 50;
// The largest message the component takes (its MaxPacketSize), and what one row of a walk
// answer takes at least besides its OID: an answer of this many rows must fit.
constexpr int kMaxPacketSize = 8192;
constexpr int kRowOverhead = 16;
constexpr int kTooBig = 1;
const std::string kNoRuntimeMask =
    "Nothing to poll: AT RUNTIME needs an instance mask with \"RT\" (a target with IM=RT).";
// Discovery's progress reaches the status line at most this often; the newest text always.
constexpr int kProgressMs = 50;
// How an SNMPv1 agent says that a walk ran past the end of its view.
constexpr int kNoSuchName = 2;

uint32_t ClockSeed() {
  return static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

// The OID a walk step asked for: its request's one item.
std::string AskedOid(const TRequest& record) {
  std::string asked = record.OidList;
  if (!asked.empty() && asked.back() == kItemSeparator) asked.pop_back();
  return asked;
}

}  // namespace

TSession::TSession(IMainWindow& window) : TSession(window, SystemClock()) {}

TSession::TSession(IMainWindow& window, TEngineClock clock)
    : m_window(window),
      m_clock(std::move(clock)),
      m_handOver(std::make_unique<THandOver>()),
      m_dispatcher(
          TDispatcherEvents{[this](const TAnswer& answer) { OnAnswer(answer); },
                            [this](const std::string& text, int code) { OnProblem(text, code); }}),
      m_requestTable(TRequestTableHooks{m_clock.NowDays,
                                        [this](const TRequest& r) {
                                          TRequest resend = r;
                                          const TSendFailure failure =
                                              DispatchRequest(resend, true);
                                          if (failure.Failed()) m_window.ShowStatus(failure.Text);
                                        },
                                        [this](const TRequest& r) { ExpireRequest(r); }}),
      m_schedule(m_clock.NowMs, ClockSeed()) {
  m_progressTimer.setSingleShot(true);
  m_progressTimer.setInterval(kProgressMs);
  QObject::connect(&m_progressTimer, &QTimer::timeout, [this] {
    if (m_pendingProgress.empty()) return;
    m_window.ShowStatus(m_pendingProgress);
    m_pendingProgress.clear();
    m_progressTimer.start();
  });
}

TSession::~TSession() {
  Stop();
  // Pending hand-overs to the window's thread are dropped with it.
  m_handOver.reset();
}

// ---- start and stop ----------------------------------------------------------------------

void TSession::Start(const std::vector<std::string>& args) {
  if (m_started) return;
  m_started = true;
  m_requestTable.Clear();
  m_schedule.Clear();
  FillOidNames();

  TWorkerJobs jobs;
  // The scans touch the component and the window: they run on the window's thread, handed
  // over only when the table holds a record they would act on.
  jobs.RetryScan = [this] {
    if (m_requestTable.Due(kRequestRetryScan))
      HandToWindow([this] { m_requestTable.RequestTableOp(kRequestRetryScan); });
  };
  jobs.TimeoutScan = [this] {
    if (m_requestTable.Due(kRequestTimeoutScan)) HandToWindow([this] { TimeoutScanSync(); });
  };
  jobs.Purge = [this] { m_requestTable.RequestTableOp(kRequestPurge); };
  jobs.SendPoll = [this](const TRequest& request) {
    HandToWindow([this, &request] { PollRun(request); });
  };
  jobs.ReportError = [this](const std::string& text) { PostStatus(text); };
  m_worker = std::make_unique<TMyTimer>(m_schedule, std::move(jobs), m_clock);
  m_worker->Start();

  // Opened here, on the window's thread, which owns the component from now on.
  if (const std::string failure = m_dispatcher.Open(); !failure.empty())
    m_window.ShowStatus(failure);

  m_window.EnableToolbar(false);
  TSetupHooks hooks;
  hooks.ResetEngineCounters = [this] { ResetCounters(); };
  hooks.StartInstanceWalk = [this] { StartDiscovery(); };
  SetupSession(args, m_config, m_sessionRequest, m_window, hooks);
  // A session that can never poll (also one whose set-up stopped early) says so rather than
  // waiting on "Initializing..." for ever.
  if (m_config.InstanceMode == kInstanceModeNone)
    StopDiscovery("Nothing to poll: the configuration starts neither discovery nor polling.");
}

void TSession::Stop() {
  if (!m_started || m_stopped) return;
  m_stopped = true;
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
  m_discovery.Reset(std::string(), std::string());
  m_plan.Reset({}, 0, 0);
  m_slots.Reset({}, {});
  m_config.LastSlot = -1;
  FreeOidNames();
}

void TSession::ResetCounters() {
  m_lastRefresh = 0;
  m_firstSelection = true;
  // Ids start where nobody can guess them, so that a blind sender cannot answer in advance.
  std::random_device entropy;
  m_dispatcher.SetRequestCounter(
      std::uniform_int_distribution<uint32_t>(0, kMaxRequestId)(entropy));
}

void TSession::StartDiscovery() {
  if (m_config.InstanceMode == kInstanceModeAtRuntime &&
      m_config.InstanceMask.find("RT") == std::string::npos) {
    StopDiscovery(kNoRuntimeMask);
    return;
  }
  m_dispatcher.SetSecurity(m_config.V3);
  m_dispatcher.SetLocalPort(m_config.LocalPort);
  m_uptime = TSample();
  m_twinsAnnounced = false;
  m_discovery.Reset(m_config.LabelOid, m_config.InstanceMask);
  m_plan.Reset(m_config.TargetOids, static_cast<int>(m_config.Formulas.size()),
               m_config.InstanceMode);
  m_slots.Reset(m_config.TargetOids, m_config.Formulas);
  m_discovery.StartWalk();
  m_discoveryWalk = TWalkState{InitialRepetitions(), false};
  m_discovering = true;
  try {
    SendWalkStep(m_sessionRequest, m_config.LabelOid, kPurposeDiscovery);
  } catch (const std::exception& error) {
    StopDiscovery(error.what());
  }
}

void TSession::HandToWindow(std::function<void()> call) {
  m_handOver->Run([this, call = std::move(call)] {
    if (m_stopped) return;
    try {
      call();
    } catch (const std::exception& error) {
      m_window.ShowStatus(error.what());
    }
  });
}

void TSession::PostStatus(const std::string& text) {
  // Without waiting: the caller may hold a lock the window's thread needs.
  m_handOver->Post([this, text] { m_window.ShowStatus(text); });
}

// ---- commands ------------------------------------------------------------------------------

void TSession::SetValueMode(bool raw) {
  try {
    const bool changed = raw != m_config.RawValues;
    m_config.RawValues = raw;
    if (changed) FollowValueMode();
    FeedChart();
  } catch (const std::exception&) {
  }
}

void TSession::FollowValueMode() {
  // Raw values are exactly the configured columns, deltas come from the 64-bit twins: when the
  // mode changes while polling, what is polled follows it.
  if (!CarriesCounter64(m_sessionRequest.SnmpVersion) || m_discovering || m_stopped ||
      m_plan.OidCount() == 0)
    return;
  const std::vector<std::string>& targets = m_config.TargetOids;
  if (m_config.RawValues
          ? m_plan.TwinCount() == 0
          : std::none_of(targets.begin(), targets.end(), TCounterFacts::IsInterfaceOctets))
    return;
  // A delta between a 32-bit counter and its 64-bit twin would be no traffic at all.
  m_slots.BreakDeltas();
  if (m_config.RawValues) {
    RowsChanged();
    StartPolling(true);
  } else {
    BeginPolling();
  }
}

void TSession::ChooseInstance(int choice) {
  SelectInstances(choice);
}

void TSession::SetSliceChoice(int choice) {
  try {
    m_config.SliceIndex = choice;
    FeedChart();
  } catch (const std::exception&) {
  }
}

void TSession::SetIntervalChoice(int choice) {
  if (choice < 0 || choice >= static_cast<int>(m_config.IntervalItems.size())) return;
  m_sessionRequest.Interval = std::stoi(m_config.IntervalItems[static_cast<size_t>(choice)]);
  // The next delta of every slot is then "Null": it would span two different intervals.
  m_slots.BreakDeltas();
  RestartPollJob();
  m_window.SetInitializingVisible(true);
}

void TSession::SetRefresh(bool on) {
  m_config.RefreshInstances = on;
}

void TSession::SetLegendShown(bool shown) {
  m_config.ShowLegend = shown;
}

void TSession::SetView3D(bool on) {
  m_config.View3D = on;
}

std::string TSession::SlotValue(int position, int slot) const {
  return m_slots.SlotValue(position, slot, m_config.RawValues);
}

// ---- requests ------------------------------------------------------------------------------

TSendFailure TSession::DispatchRequest(TRequest& record, bool resend) {
  // Setting up the connection may raise (a host that cannot be resolved): the caller decides.
  // A send that failed is not recorded: neither resent nor expired.
  const TSendFailure failure = m_dispatcher.Send(record, resend);
  // A resend's record was already updated by the retry scan.
  if (failure.Failed() || resend) return failure;
  TRequest recorded = record;
  recorded.TriesLeft -= 1;
  recorded.SentAt = m_clock.NowDays();
  m_requestTable.RequestTableOp(kRequestAdd, -1, &recorded);
  return failure;
}

int TSession::InitialRepetitions() const {
  if (!m_config.BulkWalk || m_sessionRequest.SnmpVersion < 2 || m_sessionRequest.SnmpVersion > 3)
    return 0;
  const int rowSize = static_cast<int>(m_config.LabelOid.size()) + kRowOverhead;
  return std::clamp((kMaxPacketSize - 100) / rowSize, 1, kBulkRepetitions);
}

void TSession::SendWalkStep(TRequest& walk, const std::string& oid, int32_t purpose) {
  const TWalkState& state = WalkState(purpose);
  walk.Operation = state.Repetitions > 0 ? kOperationGetBulk : kOperationGetNext;
  walk.MaxRepetitions = state.Repetitions;
  walk.OidList.clear();
  AppendItem(walk.OidList, oid);
  walk.TriesLeft = 5;
  walk.Purpose = purpose;
  // A walk whose step does not go out would wait for ever: its caller ends it.
  const TSendFailure failure = DispatchRequest(walk, false);
  if (failure.Failed()) throw std::runtime_error(failure.Text);
}

void TSession::PollRun(const TRequest& request) {
  m_window.ClearStatus();
  // The run starts a new collection; batches of an earlier run not sent yet are dropped. The
  // job polls the plan's list unless the rows changed since it was made.
  int oids = 0;
  if (m_pollJobGeneration == m_plan.Generation()) {
    m_pollRun.Start(request, m_plan.OidList());
    oids = m_plan.OidCount();
  } else {
    std::string list = m_schedule.PollOids(request.OwnerJob);
    oids = CountItems(list);
    m_pollRun.StartOwning(request, std::move(list));
  }
  m_pollInterval = request.Interval;
  m_pollUptime = TSample();
  // With SNMPv2c and v3 every poll also reads the agent's uptime, in a request of its own: a
  // restart must not read as traffic, and a counter that fell may be known to have wrapped.
  const bool uptime = CarriesCounter64(request.SnmpVersion);
  m_plan.BeginRound(oids + (uptime ? 1 : 0));
  if (uptime) {
    TRequest ask = request;
    ask.OidList.clear();
    AppendItem(ask.OidList, kSysUpTime);
    if (!DispatchRequest(ask, false).Failed()) m_pollRun.InFlight(ask.RequestId, -1);
  }
  SendBatches(m_pollRun);
}

bool TSession::SendBatches(TBatchRun& run) {
  TRequest batch;
  int first = 0;
  while (run.NextBatch(batch, first)) {
    const TSendFailure failure = DispatchRequest(batch, false);
    if (!failure.Failed()) {
      run.InFlight(batch.RequestId, first);
      continue;
    }
    // That run can never be complete now; one that can never be built stops the session.
    m_window.ShowStatus(failure.Text);
    if (failure.Permanent) {
      run.Stop();
      m_window.SessionStopped(failure.Text);
      return false;
    }
  }
  return true;
}

void TSession::ExpireRequest(const TRequest& record) {
  // REQUIRES: RequestLock held, window's thread (the time-out scan).
  if (record.Operation == kOperationGetBulk) {
    // A walk the agent answered before lost an answer: most likely one too big to arrive.
    const TWalkState& state = WalkState(record.Purpose);
    if (state.Answered && state.Repetitions > 1) {
      m_walkRetries.emplace_back(record.Purpose, AskedOid(record));
      return;
    }
  }
  if (record.Purpose == kPurposeRefresh) return;  // the refresh walk stops silently
  if (record.Purpose == kPurposeDiscovery) {
    m_discoveryTimedOut = true;
    return;
  }
  if (record.Purpose == kPurposeProbe) {
    // Not known: the counters it asked about stay 32-bit, their speeds unknown.
    m_probeRun.Finish(record.RequestId);
    m_probeLeft -= CountItems(record.OidList);
    m_expiryFreedWindow = true;
    return;
  }
  if (m_pollRun.Finish(record.RequestId)) m_expiryFreedWindow = true;
  if (!m_schedule.ScheduleOp(kScheduleFind, record.OwnerJob)) return;
  std::string_view list = record.OidList;
  std::string_view oid;
  while (NextItemView(list, oid)) {
    if (m_plan.Add(oid, TSample())) m_expiryCompletedPoll = true;
  }
}

void TSession::TimeoutScanSync() {
  m_expiryCompletedPoll = false;
  m_expiryFreedWindow = false;
  m_discoveryTimedOut = false;
  m_walkRetries.clear();
  m_requestTable.RequestTableOp(kRequestTimeoutScan);
  std::vector<std::pair<int32_t, std::string>> retries;
  retries.swap(m_walkRetries);
  for (const auto& [purpose, asked] : retries) ShrinkWalkStep(purpose, asked);
  // With RequestLock released: a poll completed by expiry is evaluated now, which may start a
  // refresh walk that adds to the request table, and what expired makes room for more batches.
  if (m_discoveryTimedOut) StopDiscovery(m_dispatcher.TimeoutText(kDiscoveryTimedOut));
  if (m_expiryCompletedPoll) EvaluatePoll();
  if (m_expiryFreedWindow) {
    SendBatches(m_pollRun);
    if (m_probing && m_probeLeft <= 0) {
      EndProbe();
    } else if (m_probing) {
      SendBatches(m_probeRun);
    }
  }
}

// ---- answers -------------------------------------------------------------------------------

void TSession::OnProblem(const std::string& text, int code) {
  // While discovery runs, an agent that refuses the user's security ends it with its reason;
  // it would otherwise only run out of time.
  if (m_discovering && RefusesSecurity(code)) {
    StopDiscovery(text);
    return;
  }
  m_window.ShowStatus(text);
}

void TSession::OnAnswer(const TAnswer& answer) {
  // The one place where an answer meets its request.
  const std::optional<TRequestTable::TClaim> claim = m_requestTable.Claim(answer.RequestId);
  if (!claim) return;
  // A record answered or expired before is done with: a duplicate or late answer would add a
  // second set of values to the poll (or a second step to a walk).
  if (!claim->WasFinished) {
    try {
      if (claim->Request.Purpose == kPurposeDiscovery ||
          claim->Request.Purpose == kPurposeRefresh) {
        OnWalkAnswer(claim->Request, answer);
      } else if (claim->Request.Purpose == kPurposeProbe) {
        OnProbeAnswer(claim->Request, answer);
      } else {
        OnPollAnswer(claim->Request, answer);
      }
    } catch (const std::exception& error) {
      m_window.ShowStatus(error.what());
    }
  }
  m_requestTable.Release(*claim);
}

void TSession::OnWalkAnswer(const TRequest& record, const TAnswer& answer) {
  const bool discovery = record.Purpose == kPurposeDiscovery;
  const bool bulk = record.Operation == kOperationGetBulk;
  WalkState(record.Purpose).Answered = true;
  if (bulk && answer.ErrorStatus == kTooBig && record.MaxRepetitions > 1) {
    ShrinkWalkStep(record.Purpose, AskedOid(record));
  } else if (answer.ErrorStatus == kNoSuchName && record.SnmpVersion == 1) {
    if (discovery) {
      EndDiscovery("");
    } else {
      EndRefresh();
    }
  } else if (answer.ErrorStatus != 0) {
    if (discovery)
      StopDiscovery(
          ResponseErrorText(answer.ErrorDescription, answer.ErrorIndex, answer.ErrorStatus));
  } else if (answer.Objects.empty()) {
    // An answer without objects ends the walk with the component's message.
    if (discovery) {
      StopDiscovery(answer.ObjectError);
    } else {
      m_window.ShowStatus(answer.ObjectError);
    }
  } else {
    // A get-next answer names the next instance in its last binding; a GetBulk answer names
    // one in every binding, in order.
    const size_t first = bulk ? 0 : answer.Objects.size() - 1;
    if (discovery) {
      WalkStep(answer, first, AskedOid(record));
    } else {
      RefreshStep(answer, first, AskedOid(record));
    }
  }
}

void TSession::ShrinkWalkStep(int32_t purpose, const std::string& asked) {
  TWalkState& state = WalkState(purpose);
  state.Repetitions = std::max(1, state.Repetitions / 2);
  TRequest& walk = purpose == kPurposeDiscovery ? m_sessionRequest : m_refreshRequest;
  try {
    SendWalkStep(walk, asked, purpose);
  } catch (const std::exception& error) {
    if (purpose == kPurposeDiscovery) {
      StopDiscovery(error.what());
    } else {
      m_window.ShowStatus(error.what());
    }
  }
}

void TSession::OnPollAnswer(const TRequest& record, const TAnswer& answer) {
  // The answered request makes room for the next batch, which leaves once this one is in.
  const std::optional<int> first = m_pollRun.Finish(record.RequestId);
  const bool freed = first.has_value();
  int position = first.value_or(-1);
  if (m_schedule.ScheduleOp(kScheduleFind, record.OwnerJob)) {
    bool complete = false;
    if (answer.ErrorStatus != 0) {
      m_window.ShowStatus(
          ResponseErrorText(answer.ErrorDescription, answer.ErrorIndex, answer.ErrorStatus));
      std::string_view list = record.OidList;
      std::string_view oid;
      while (NextItemView(list, oid)) complete = m_plan.Add(oid, TSample()) || complete;
    } else {
      // An agent answers in the order asked: the slot is known from where the OID was.
      for (const TAnswerObject& object : answer.Objects) {
        TSample value = TSample::FromAnswer(object.Value, object.Type);
        if (position < 0 && object.Oid == kSysUpTime) m_pollUptime = value;
        complete = m_plan.Add(object.Oid, std::move(value), position) || complete;
        if (position >= 0) ++position;
      }
    }
    if (complete) EvaluatePoll();
  }
  if (freed) SendBatches(m_pollRun);
}

void TSession::BeginPolling() {
  m_facts.Clear();
  // Raw values poll exactly what is configured: nothing to learn then.
  std::string probe;
  if (CarriesCounter64(m_sessionRequest.SnmpVersion) && !m_config.RawValues)
    probe = m_facts.ProbeOids(m_discovery.Rows(), m_config.TargetOids);
  if (probe.empty()) {
    StartPolling(true);
    return;
  }
  TRequest ask = m_sessionRequest;
  ask.Operation = kOperationGet;
  ask.Purpose = kPurposeProbe;
  ask.TriesLeft = 2;
  m_probeLeft = CountItems(probe);
  m_probing = true;
  m_probeRun.StartOwning(ask, std::move(probe));
  SendBatches(m_probeRun);
}

void TSession::OnProbeAnswer(const TRequest& record, const TAnswer& answer) {
  if (!m_probeRun.Finish(record.RequestId)) return;  // from an earlier probe
  m_probeLeft -= CountItems(record.OidList);
  if (answer.ErrorStatus == 0) {
    for (const TAnswerObject& object : answer.Objects)
      m_facts.Learn(object.Oid, TSample::FromAnswer(object.Value, object.Type), object.Type);
  }
  if (m_probeLeft <= 0) {
    EndProbe();
  } else {
    SendBatches(m_probeRun);
  }
}

void TSession::EndProbe() {
  m_probing = false;
  m_probeRun.Stop();
  RowsChanged();
  StartPolling(true);
  if (m_plan.TwinCount() > 0 && !m_twinsAnnounced) {
    m_twinsAnnounced = true;
    m_window.ShowStatus("64-bit counters in use");
  }
}

// ---- discovery and rows ------------------------------------------------------------------

void TSession::ShowProgress(const std::string& text) {
  // Each text on the status line lays the window out again: thousands of rows found in a
  // second would spend most of the start-up there.
  if (m_progressTimer.isActive()) {
    m_pendingProgress = text;
    return;
  }
  m_window.ShowStatus(text);
  m_progressTimer.start();
}

void TSession::EndProgress() {
  m_progressTimer.stop();
  // The newest text always reaches the status line, also when the walk ends within 50 ms.
  if (!m_pendingProgress.empty()) m_window.ShowStatus(m_pendingProgress);
  m_pendingProgress.clear();
}

void TSession::StopDiscovery(const std::string& message) {
  m_discovering = false;
  EndProgress();
  m_window.ShowStatus(message);
  m_window.SessionStopped(message);
}

void TSession::WalkStep(const TAnswer& answer, size_t first, const std::string& asked) {
  const std::string* previous = &asked;
  for (size_t i = first; i < answer.Objects.size(); ++i) {
    const std::string& oid = answer.Objects[i].Oid;
    const TWalkStep step = m_discovery.Step(oid, answer.Objects[i].Value, *previous);
    if (step.Kind == TWalkStep::kEnd) {
      EndDiscovery("");
      return;
    }
    if (step.Kind == TWalkStep::kOutOfOrder) {
      EndDiscovery(kNonIncreasing);
      return;
    }
    if (step.Taken) ShowProgress("Instance " + m_discovery.Rows().back().Suffix + " detected");
    previous = &oid;
  }
  try {
    SendWalkStep(m_sessionRequest, *previous, kPurposeDiscovery);
  } catch (const std::exception& error) {
    StopDiscovery(error.what());
  }
}

void TSession::EndDiscovery(const std::string& note) {
  m_discovering = false;
  EndProgress();
  m_window.ClearStatus();
  if (m_discovery.Rows().empty()) {
    StopDiscovery(note.empty() ? kNothingFound : note);
    return;
  }
  if (m_config.InstanceMode == kInstanceModeAtRuntime) {
    m_discovery.BuildMaskChoices();
    m_window.SetInstanceChoices(m_discovery.MaskChoices(), -1);
    m_window.ShowInstanceChoice(true);
    m_window.ShowSliceChoice(true);
    m_window.EnableToolbar(true);
    if (!note.empty()) m_window.ShowStatus(note);
    if (!m_config.PreferredInstance.empty()) {
      const int choice = m_discovery.ChoiceIndex(m_config.PreferredInstance);
      m_window.SetInstanceChoices(m_discovery.MaskChoices(), choice);
      SelectInstances(choice);
    } else if (note.empty()) {
      m_window.ShowStatus("Select an instance from the Inst. listbox!");
    }
  } else if (m_config.InstanceMode == kInstanceModeAllInstances) {
    m_slots.SetRows(static_cast<int>(m_discovery.Rows().size()));
    RowsChanged();
    BeginPolling();
    m_window.ShowSliceChoice(true);
    m_window.EnableToolbar(true);
    if (!note.empty()) m_window.ShowStatus(note);
  }
}

void TSession::SelectInstances(int choice) {
  try {
    m_window.SetInitializingVisible(true);
    if (m_firstSelection) {
      m_firstSelection = false;
    } else {
      m_slots.SetRows(0);
    }
    const bool picked = m_discovery.Select(choice);
    m_config.InstanceMask = m_discovery.Mask();
    RowsChanged();
    if (!picked) return;
    m_slots.SetRows(static_cast<int>(m_discovery.Rows().size()));
    RowsChanged();
    BeginPolling();
  } catch (const std::exception&) {
  }
}

void TSession::RowsChanged() {
  // A run under way sends no more of the old list (its view goes with it); the new rows get a
  // poll job of their own.
  m_pollRun.Stop();
  // Deltas of the interface counters come from their 64-bit twins where the agent has them.
  const bool twins = !m_config.RawValues && CarriesCounter64(m_sessionRequest.SnmpVersion);
  m_plan.SetRows(m_discovery.Rows(), twins ? &m_facts : nullptr);
  m_config.LastSlot = m_slots.SlotCount() - 1;
  m_labels.assign(static_cast<size_t>(m_slots.SlotCount()), std::string());
  m_labelKnown.assign(static_cast<size_t>(m_slots.SlotCount()), false);
}

void TSession::StartPolling(bool firstRunNow) {
  m_sessionRequest.OidList = m_plan.OidList();
  m_window.ShowIntervalChoice(true);
  if (!firstRunNow) {
    RestartPollJob();
    return;
  }
  // The rows are new: the first poll runs at once, so that the pie comes as soon as the agent
  // can answer, and the job then keeps the interval from there (deltas span whole intervals).
  const TJobPtr job = m_schedule.AddPollDue(kPollJobKind, m_sessionRequest,
                                            m_clock.NowMs() + m_sessionRequest.Interval * 1000);
  m_pollJobGeneration = m_plan.Generation();
  PollRun(m_schedule.BeginPollRun(job));
}

void TSession::RestartPollJob() {
  // The running job is dropped when it next comes due; its answers go to the new one's round.
  m_schedule.ScheduleOp(kScheduleAddPoll, kPollJobKind, &m_sessionRequest);
  m_pollJobGeneration = m_plan.Generation();
  m_plan.BeginRound(CountItems(m_sessionRequest.OidList));
  m_pollInterval = m_sessionRequest.Interval;
}

void TSession::CheckInstanceRefresh() {
  const double now = m_clock.NowDays();
  if (m_lastRefresh != 0 && ElapsedMs(m_lastRefresh, now) / 1000 <= 5) return;
  m_lastRefresh = now;
  m_discovery.StartRefresh();
  // The session's connection; the steps carry their own OIDs.
  m_refreshRequest = TRequest();
  m_refreshRequest.Interval = m_sessionRequest.Interval;
  m_refreshRequest.Community = m_sessionRequest.Community;
  m_refreshRequest.Host = m_sessionRequest.Host;
  m_refreshRequest.SnmpVersion = m_sessionRequest.SnmpVersion;
  m_refreshRequest.RemotePort = m_sessionRequest.RemotePort;
  m_refreshWalk = TWalkState{InitialRepetitions(), false};
  try {
    SendWalkStep(m_refreshRequest, m_config.LabelOid, kPurposeRefresh);
  } catch (const std::exception& error) {
    m_window.ShowStatus(error.what());
  }
}

void TSession::RefreshStep(const TAnswer& answer, size_t first, const std::string& asked) {
  try {
    const std::string* previous = &asked;
    for (size_t i = first; i < answer.Objects.size(); ++i) {
      const std::string& oid = answer.Objects[i].Oid;
      const TWalkStep step = m_discovery.RefreshStep(oid, answer.Objects[i].Value, *previous);
      if (step.Kind == TWalkStep::kEnd) {
        EndRefresh();
        return;
      }
      if (step.Kind == TWalkStep::kOutOfOrder) {
        m_window.ShowStatus(kNonIncreasing);
        EndRefresh();
        return;
      }
      previous = &oid;
    }
    SendWalkStep(m_refreshRequest, *previous, kPurposeRefresh);
  } catch (const std::exception& error) {
    m_window.ShowStatus(error.what());
  }
}

void TSession::EndRefresh() {
  const TRowChanges changes = m_discovery.EndRefresh();
  if (!changes.Any()) return;
  for (int row : changes.Removed) m_slots.RemoveRow(row);
  for (int i = 0; i < changes.Appended; ++i) m_slots.AppendRow();
  RowsChanged();
  StartPolling(false);
  FeedChart();
}

// ---- values and the pie ------------------------------------------------------------------

void TSession::EvaluatePoll() {
  const int rows = m_config.InstanceMode > 1 ? static_cast<int>(m_discovery.Rows().size()) : 1;
  // The agent's uptime in hundredths of a second, at this poll and the one before.
  TPollFacts facts;
  const bool uptimes = !m_uptime.IsNull() && !m_pollUptime.IsNull();
  facts.Restarted = uptimes && m_pollUptime.FellSince(m_uptime);
  if (uptimes && !facts.Restarted) {
    const double elapsed = static_cast<double>(m_pollUptime.Number() - m_uptime.Number()) / 100;
    facts.WrappedOnce = [this, elapsed](int slot, uint64_t unwrapped) {
      // An interface octet counter that fell wrapped once when the interface could have sent
      // that much since (less time passed than one wrap takes at its speed, and the octets
      // fit the time); a counter that merely went back is no wrap.
      const int width = m_slots.Width();
      const size_t column = static_cast<size_t>(slot % width);
      const size_t row = static_cast<size_t>(slot / width);
      if (column >= m_config.TargetOids.size() || row >= m_discovery.Rows().size() ||
          !TCounterFacts::IsInterfaceOctets(m_config.TargetOids[column]))
        return false;
      const double wrap = m_facts.WrapSeconds(m_discovery.Rows()[row].Suffix);
      if (!(elapsed > 0 && elapsed < wrap)) return false;
      // Octets per second at full speed: 2^32 in one wrap. A quarter more for the poll's
      // timing: the agent reads its counters and its clock at slightly different moments.
      const double fullSpeed = 4294967296.0 / wrap;
      return static_cast<double>(unwrapped) <= fullSpeed * elapsed * 1.25;
    };
  }
  if (!m_pollUptime.IsNull()) m_uptime = m_pollUptime;
  m_slots.Evaluate(m_plan.TakeRound(), m_pollInterval, rows, facts);
  FeedChart();
  if (m_config.RefreshInstances) CheckInstanceRefresh();
}

int TSession::WantedSlices() const {
  const int index = m_config.SliceIndex;
  if (index <= 0 || index >= static_cast<int>(m_config.SliceItems.size())) return 0;
  try {
    return std::stoi(m_config.SliceItems[static_cast<size_t>(index)]);
  } catch (const std::exception&) {
    return 0;
  }
}

const std::string& TSession::SliceLabel(int slot) {
  static const std::string kNone;
  const int width = m_slots.Width();
  if (width <= 0 || slot < 0 || slot >= static_cast<int>(m_labels.size())) return kNone;
  // A label changes only with the rows: it is made once.
  const size_t at = static_cast<size_t>(slot);
  if (m_labelKnown[at]) return m_labels[at];
  const size_t row = static_cast<size_t>(slot / width);
  const std::vector<TInstance>& rows = m_discovery.Rows();
  const bool rowNamed = m_config.InstanceMode == kInstanceModeAtRuntime ||
                        m_config.InstanceMode == kInstanceModeAllInstances;
  if (rowNamed && row >= rows.size()) return kNone;
  m_labels[at] = ColumnSliceLabel(static_cast<size_t>(slot % width), m_config.TargetOids,
                                  m_config.Formulas, m_config.InstanceMode, m_config.HasLabelOid,
                                  rowNamed ? rows[row].Label : std::string_view(),
                                  rowNamed ? rows[row].Suffix : std::string_view());
  m_labelKnown[at] = true;
  return m_labels[at];
}

void TSession::FeedChart() {
  std::vector<TSliceCandidate>& candidates = m_candidates;
  candidates.clear();
  for (int s = 0; s < m_slots.SlotCount(); ++s) {
    if (!IsSlotShown(s, m_config.TargetOids, m_config.TargetVisibility, m_config.Formulas))
      continue;
    const TCurrentValue value = m_slots.Current(s, m_config.RawValues);
    // Negative values are left out, not even summed into "Other".
    if (!value.Present || value.Negative) continue;
    candidates.push_back(TSliceCandidate{s, KeyOf(value)});
  }
  const bool any = !candidates.empty();
  BuildPie(
      candidates, WantedSlices(),
      [this](int slot) -> const std::string& { return SliceLabel(slot); }, m_pie);
  if (any) m_window.SetInitializingVisible(false);
  m_window.ShowPie(m_pie);
}

}  // namespace kestrava
