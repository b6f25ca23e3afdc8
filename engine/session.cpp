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
const std::string kBulkUnanswered = "The agent leaves GetBulk unanswered: walking with get-next";
const std::string kBindingsUnmatched =
    "The agent's answers did not match the OIDs asked: bindings left out show \"Null\", others "
    "are ignored";
// GetBulk walks start near a datagram's worth of rows and halve when an answer is too big.
constexpr int kBulkRepetitions = 50;
// The largest message the component takes (its MaxPacketSize), and what one row of a walk
// answer takes at least besides its OID: an answer of this many rows must fit.
constexpr int kMaxPacketSize = 8192;
constexpr int kRowOverhead = 16;
const std::string kNoRuntimeMask =
    "Nothing to poll: AT RUNTIME needs an instance mask with \"RT\" (a target with IM=RT).";
// Discovery's progress reaches the status line at most this often; the newest text always.
constexpr int kProgressMs = 50;
// noSuchObject and noSuchInstance: the agent does not serve what was asked.
bool IsException(int type) {
  return type == 0x80 || type == 0x81;
}
// How an SNMPv1 agent refuses a get that names an instance it does not have.
constexpr int kNoSuchName = 2;

std::string RowLimitText(int rows, bool refresh) {
  return (refresh ? "Refresh stopped at " : "Discovery stopped at ") + std::to_string(rows) +
         " instances, the row limit (maxrows); " +
         (refresh ? "the rows stay as they were" : "the rows found are polled");
}

// "1 instance", "48 instances".
std::string InstancesText(int count) {
  return std::to_string(count) + (count == 1 ? " instance" : " instances");
}

uint32_t ClockSeed() {
  return static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
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
      m_statusSink(window),
      m_requestTable(TRequestTableHooks{m_clock.NowDays,
                                        [this](const TRequest& r) {
                                          TRequest resend = r;
                                          const TSendFailure failure =
                                              DispatchRequest(resend, true);
                                          if (failure.Failed()) m_window.ShowStatus(failure.Text);
                                        },
                                        [this](const TRequest& r) { ExpireRequest(r); }}),
      m_schedule(m_clock.NowMs, ClockSeed()) {
  m_sinks.push_back(&m_statusSink);
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
  hooks.ResetSessionCounters = [this] { ResetCounters(); };
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
  m_factsFetch = TFactsFetch();
  m_plan.Reset({}, 0, 0);
  m_slots.Reset({}, {});
  m_config.LastSlot = -1;
  m_lastSnapshot.reset();
  m_snapshots.RowsChanged();
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
  m_discovery.SetRowLimit(m_config.MaxRows);
  m_filter = TRowFilter(m_config);
  m_rowFacts.Clear();
  m_factsFetch = TFactsFetch();
  if (m_filter.Any()) {
    m_discovery.SetAdmission(
        [this](const TInstance& row) { return m_filter.Passes(row, m_rowFacts.Of(row.Suffix)); });
  } else {
    m_discovery.SetAdmission(nullptr);
  }
  m_plan.Reset(m_config.TargetOids, static_cast<int>(m_config.Formulas.size()),
               m_config.InstanceMode);
  m_slots.Reset(m_config.TargetOids, m_config.Formulas);
  m_discovery.StartWalk();
  StartWalk(kPurposeDiscovery);
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
    m_config.Utilisation = false;
    if (changed) FollowValueMode();
    Publish(false);
  } catch (const std::exception&) {
  }
}

void TSession::SetUtilisation(bool on) {
  try {
    const bool rawBefore = m_config.RawValues;
    m_config.Utilisation = on;
    if (on) m_config.RawValues = false;
    if (rawBefore != m_config.RawValues) FollowValueMode();
    if (on) ProbeSpeeds();
    Publish(false);
  } catch (const std::exception&) {
  }
}

void TSession::SetUnits(TUnits units) {
  try {
    m_config.Units = units;
    Publish(false);
  } catch (const std::exception&) {
  }
}

void TSession::ProbeSpeeds() {
  // One probe at a time; a poll that ends while another runs asks next time.
  if (!m_config.Utilisation || m_probe.For != TProbeFor::kNone || Discovering() || m_stopped ||
      m_plan.OidCount() == 0 || m_config.InstanceMode < kInstanceModeAtRuntime)
    return;
  const std::vector<std::string>& targets = m_config.TargetOids;
  if (std::none_of(targets.begin(), targets.end(), [this](const std::string& target) {
        return ColumnKindOf(target, m_config.OidNames) == TColumnKind::kOctets;
      }))
    return;
  Probe(TProbeFor::kSpeeds, TCounterFacts::SpeedOids(m_discovery.Rows()));
}

void TSession::FollowValueMode() {
  // Raw values are exactly the configured columns, deltas come from the 64-bit twins: when the
  // mode changes while polling, what is polled follows it. Where the columns stay the same the
  // histories go on, and the pie comes back at once from them.
  if (!CarriesCounter64(m_sessionRequest.SnmpVersion) || Discovering() || m_stopped ||
      m_plan.OidCount() == 0)
    return;
  if (m_config.RawValues) {
    if (m_plan.TwinCount() > 0) SwitchColumns(true);
    return;
  }
  const std::vector<std::string>& targets = m_config.TargetOids;
  if (std::none_of(targets.begin(), targets.end(), TCounterFacts::IsInterfaceOctets)) return;
  if (!m_facts.Known()) {
    m_facts.Clear();
    Probe(TProbeFor::kModeSwitch, m_facts.ProbeOids(m_discovery.Rows(), targets));
  } else if (ColumnsChange()) {
    SwitchColumns(true);
  }
}

bool TSession::ColumnsChange() const {
  const bool twins = !m_config.RawValues && CarriesCounter64(m_sessionRequest.SnmpVersion);
  for (const std::string& target : m_config.TargetOids) {
    const std::string twin = TCounterFacts::TwinColumn(target);
    if (twin.empty()) continue;
    for (const TInstance& row : m_discovery.Rows()) {
      const bool wanted = twins && m_facts.HasTwin(target, row.Suffix);
      if (wanted != m_plan.PollsTwin(twin + row.Suffix)) return true;
    }
  }
  return false;
}

void TSession::SwitchColumns(bool breakDeltas) {
  // A delta between a 32-bit counter and its 64-bit twin would be no traffic at all.
  if (breakDeltas) m_slots.BreakDeltas();
  RowsChanged();
  StartPolling(breakDeltas);
}

void TSession::ChooseInstance(int choice) {
  SelectInstances(choice);
}

void TSession::SetSliceChoice(int choice) {
  try {
    m_config.SliceIndex = choice;
    Publish(false);
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

bool TSession::SetShownFilter(const std::string& pattern) {
  TLabelPattern expression(pattern, true);
  if (!expression.Valid()) return false;
  m_snapshots.SetShownFilter(std::move(expression));
  if (m_lastSnapshot) Publish(false);
  return true;
}

std::string TSession::SlotValue(int position, int slot) const {
  return m_slots.SlotValue(position, slot, m_config.RawValues);
}

// ---- requests ------------------------------------------------------------------------------

TSendFailure TSession::DispatchRequest(TRequest& record, bool resend) {
  // Setting up the connection may raise (a host that cannot be resolved): the caller decides.
  // A send that failed is not recorded: neither resent nor expired.
  const TSendFailure failure = m_dispatcher.Send(record, resend);
  if (!failure.Failed()) {
    ++m_snapshots.Counters.RequestsSent;
    if (resend) ++m_snapshots.Counters.Resent;
  }
  // A resend's record was already updated by the retry scan.
  if (failure.Failed() || resend) return failure;
  TRequest recorded = record;
  recorded.TriesLeft -= 1;
  recorded.SentAt = m_clock.NowDays();
  m_requestTable.RequestTableOp(kRequestAdd, -1, &recorded);
  return failure;
}

int TSession::InitialRepetitions() const {
  if (!m_config.BulkWalk || m_bulkUnanswered || m_sessionRequest.SnmpVersion < 2 ||
      m_sessionRequest.SnmpVersion > 3)
    return 0;
  const int rowSize = static_cast<int>(m_config.LabelOid.size()) + kRowOverhead;
  return std::clamp((kMaxPacketSize - 100) / rowSize, 1, kBulkRepetitions);
}

void TSession::StartWalk(int32_t purpose) {
  m_walk = TLabelWalk();
  m_walk.Purpose = purpose;
  // The session's connection; the steps carry their own OIDs.
  m_walk.Request.Interval = m_sessionRequest.Interval;
  m_walk.Request.Community = m_sessionRequest.Community;
  m_walk.Request.Host = m_sessionRequest.Host;
  m_walk.Request.SnmpVersion = m_sessionRequest.SnmpVersion;
  m_walk.Request.RemotePort = m_sessionRequest.RemotePort;
  m_walk.Walk = TWalk(m_config.LabelOid, InitialRepetitions(), m_sessionRequest.SnmpVersion,
                      TWalk::TReading::kRows);
  ContinueWalk();
}

void TSession::ContinueWalk() {
  TRequest& step = m_walk.Request;
  const int repetitions = m_walk.Walk.Repetitions();
  step.Operation = repetitions > 0 ? kOperationGetBulk : kOperationGetNext;
  step.MaxRepetitions = repetitions;
  step.OidList.clear();
  AppendItem(step.OidList, m_walk.Walk.Next());
  // A GetBulk answer that does not come was most likely too big to come: the step goes again
  // at half the size rather than as it was. The smallest is tried as often as a get-next.
  step.TriesLeft = repetitions > 1 ? 1 : 5;
  step.Purpose = m_walk.Purpose;
  // A walk whose step does not go out would wait for ever: it ends here.
  std::string failure;
  try {
    failure = DispatchRequest(step, false).Text;
  } catch (const std::exception& error) {
    failure = error.what();
  }
  if (!failure.empty()) {
    AbandonWalk(failure);
    return;
  }
  m_walk.StepId = step.RequestId;
}

void TSession::PollRun(const TRequest& request) {
  // A job made before the rows changed has no run: a job for the new rows follows (once their
  // counters are probed), and its first run comes at once.
  if (m_pollJobGeneration != m_plan.Generation()) return;
  m_window.ClearStatus();
  // The run starts a new collection over the plan's list, which only the plan holds; batches of
  // an earlier run not sent yet are dropped.
  m_pollRun.Start(request, m_plan.OidList());
  const int oids = m_plan.OidCount();
  m_pollInterval = request.Interval;
  m_pollUptime = TSample();
  m_pollStartMs = m_clock.NowMs();
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
      NotifyStopped(failure.Text);
      return false;
    }
  }
  return true;
}

int TSession::AskAgainWithout(TBatchRun& run, const TRequest& record, const TAnswer& answer) {
  if (record.SnmpVersion != 1 || answer.ErrorStatus != kNoSuchName) return 0;
  std::string rest;
  bool named = false;
  int index = 0;
  std::string_view list = record.OidList;
  std::string_view oid;
  while (NextItemView(list, oid)) {
    if (++index == answer.ErrorIndex)
      named = true;
    else
      AppendItem(rest, oid);
  }
  if (!named) return 0;
  run.AskAgain(rest);
  return index - 1;
}

void TSession::ExpireRequest(const TRequest& record) {
  // REQUIRES: RequestLock held, window's thread (the time-out scan). Acted on once the scan
  // has released the lock (TimeoutScanSync).
  m_expired.push_back(record);
}

void TSession::TimeoutScanSync() {
  m_expired.clear();
  m_requestTable.RequestTableOp(kRequestTimeoutScan);
  std::vector<TRequest> expired;
  expired.swap(m_expired);
  m_snapshots.Counters.Lost += expired.size();
  // With RequestLock released: a walk step goes again or the walk ends, a poll completed by
  // expiry is evaluated (which may start a refresh walk that adds to the request table), and
  // what expired makes room for more batches.
  bool completed = false;
  bool freed = false;
  bool factsFreed = false;
  for (const TRequest& record : expired) {
    if (record.Purpose == kPurposeDiscovery || record.Purpose == kPurposeRefresh) {
      OnWalkLost(record);
    } else if (record.Purpose == kPurposeRowFacts) {
      // Not known: the rows it asked about fail a filter that needs their type or state.
      if (m_factsFetch.Run.Finish(record.RequestId)) {
        m_factsFetch.Left -= CountItems(record.OidList);
        m_factsFetch.Lost = true;
        factsFreed = true;
      }
    } else if (record.Purpose == kPurposeProbe) {
      // Not known: the counters it asked about stay 32-bit, their speeds unknown.
      m_probe.Run.Finish(record.RequestId);
      m_probe.Left -= CountItems(record.OidList);
      freed = true;
    } else {
      if (m_pollRun.Finish(record.RequestId)) freed = true;
      if (!m_schedule.ScheduleOp(kScheduleFind, record.OwnerJob)) continue;
      std::string_view list = record.OidList;
      std::string_view oid;
      while (NextItemView(list, oid)) completed = m_plan.Add(oid, TSample()) || completed;
    }
  }
  if (completed) {
    EvaluatePoll();
    AfterPoll();
  }
  if (factsFreed && m_factsFetch.Running) {
    if (m_factsFetch.Left <= 0) {
      EndRowFacts();
    } else {
      SendBatches(m_factsFetch.Run);
    }
  }
  if (freed) {
    SendBatches(m_pollRun);
    if (m_probe.For != TProbeFor::kNone && m_probe.Left <= 0) {
      EndProbe();
    } else if (m_probe.For != TProbeFor::kNone) {
      SendBatches(m_probe.Run);
    }
  }
}

// ---- answers -------------------------------------------------------------------------------

void TSession::OnProblem(const std::string& text, int code) {
  // While discovery runs, an agent that refuses the user's security ends it with its reason;
  // it would otherwise only run out of time.
  if (Discovering() && RefusesSecurity(code)) {
    StopDiscovery(text);
    return;
  }
  m_snapshots.Counters.LastError = text;
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
      } else if (claim->Request.Purpose == kPurposeRowFacts) {
        OnRowFactsAnswer(claim->Request, answer);
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
  if (record.RequestId != m_walk.StepId || record.Purpose != m_walk.Purpose) return;
  if (record.Operation != kOperationGetBulk && InitialRepetitions() > 0) {
    // A get-next answered where GetBulk went unanswered: later walks start with get-next (an
    // agent that was merely away keeps its GetBulk).
    m_bulkUnanswered = true;
    m_window.ShowStatus(kBulkUnanswered);
  }
  std::vector<TWalkBindingRef> bindings;
  bindings.reserve(answer.Objects.size());
  for (const TAnswerObject& object : answer.Objects) bindings.push_back({object.Oid, object.Type});
  TWalkStep ended;  // what the rows made of the binding that ended the walk
  const TWalk::TStep step =
      m_walk.Walk.Step(answer.ErrorStatus, bindings, [&](size_t i, TWalkBinding binding) {
        ended = TakeWalkRow(answer.Objects[i], binding);
        return ended.Kind == TWalkStep::kNext;
      });
  switch (step) {
    case TWalk::TStep::kNext:
    case TWalk::TStep::kAgain:
      ContinueWalk();
      break;
    case TWalk::TStep::kOver:
      EndWalkAt(ended);
      break;
    case TWalk::TStep::kEndOfView:
      EndWalk("");
      break;
    case TWalk::TStep::kError:
      AbandonWalk(
          ResponseErrorText(answer.ErrorDescription, answer.ErrorIndex, answer.ErrorStatus));
      break;
    case TWalk::TStep::kEmpty:
      // An answer without objects ends the walk with the component's message.
      AbandonWalk(answer.ObjectError);
      break;
  }
}

TWalkStep TSession::TakeWalkRow(const TAnswerObject& object, TWalkBinding binding) {
  const bool discovery = Discovering();
  const TWalkStep step = discovery ? m_discovery.Step(object.Oid, binding, object.Value)
                                   : m_discovery.RefreshStep(object.Oid, binding, object.Value);
  if (discovery && step.Taken)
    ShowProgress("Instance " + m_discovery.Rows().back().Suffix + " detected");
  return step;
}

void TSession::EndWalkAt(const TWalkStep& ended) {
  const bool discovery = Discovering();
  switch (ended.Kind) {
    case TWalkStep::kNext:
    case TWalkStep::kEnd:
      EndWalk("");
      break;
    // Discovery keeps what it found up to there; a refresh that did not see the whole column
    // changes no row.
    case TWalkStep::kOutOfOrder:
      discovery ? EndWalk(kNonIncreasing) : AbandonWalk(kNonIncreasing);
      break;
    case TWalkStep::kLimit:
      discovery ? EndWalk(RowLimitText(m_discovery.RowLimit(), false))
                : AbandonWalk(RowLimitText(m_discovery.RowLimit(), true));
      break;
  }
}

void TSession::OnWalkLost(const TRequest& record) {
  if (record.RequestId != m_walk.StepId || record.Purpose != m_walk.Purpose) return;
  if (m_walk.Walk.Lost()) {
    ContinueWalk();
    return;
  }
  // The refresh walk stops silently.
  AbandonWalk(Discovering() ? m_dispatcher.TimeoutText(kDiscoveryTimedOut) : std::string());
}

void TSession::EndWalk(const std::string& note) {
  const bool discovery = Discovering();
  m_walk = TLabelWalk();
  if (discovery) {
    EndDiscovery(note);
  } else {
    EndRefresh();
  }
}

void TSession::AbandonWalk(const std::string& text) {
  const bool discovery = Discovering();
  m_walk = TLabelWalk();
  if (discovery) {
    StopDiscovery(text);
  } else if (!text.empty()) {
    m_window.ShowStatus(text);
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
      complete = AddPollBindings(record.OidList, answer.Objects, position);
    }
    if (complete) {
      EvaluatePoll();
      AfterPoll();
    }
  }
  if (freed) SendBatches(m_pollRun);
}

bool TSession::AddPollBindings(std::string_view asked, const std::vector<TAnswerObject>& objects,
                               int position) {
  // Each OID asked takes the binding that names it, not the one at its place: an agent that
  // leaves a binding out or adds one must not shift the rows. The bindings come in the order
  // asked from every sound agent, so the search is the exception.
  bool complete = false;
  size_t next = 0;
  size_t matched = 0;
  int missing = 0;
  std::string_view oid;
  while (NextItemView(asked, oid)) {
    const TAnswerObject* binding = nullptr;
    if (next < objects.size() && objects[next].Oid == oid) {
      binding = &objects[next++];
    } else {
      const auto found = std::find_if(objects.begin(), objects.end(),
                                      [oid](const TAnswerObject& o) { return o.Oid == oid; });
      if (found != objects.end()) {
        binding = &*found;
        next = static_cast<size_t>(found - objects.begin()) + 1;
      }
    }
    TSample value;
    if (binding) {
      value = TSample::FromAnswer(binding->Value, binding->Type);
      ++matched;
      if (IsException(binding->Type) && m_plan.PollsTwin(oid)) {
        m_facts.Forget(oid);
        m_twinGone = true;
      } else if (m_facts.TakeReturned(oid)) {
        value = TSample();  // the value before it came from the 32-bit counter
      }
    } else {
      ++missing;
    }
    if (position < 0 && oid == kSysUpTime) m_pollUptime = value;
    complete = m_plan.Add(oid, std::move(value), position) || complete;
    if (position >= 0) ++position;
  }
  const int ignored = static_cast<int>(objects.size() - matched);
  if (missing == 0 && ignored == 0) return complete;
  m_bindingFaults.Missing += missing;
  m_bindingFaults.Ignored += ignored;
  if (!m_bindingFaultsShown) {
    m_bindingFaultsShown = true;
    m_window.ShowStatus(kBindingsUnmatched);
  }
  return complete;
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
  Probe(TProbeFor::kStart, std::move(probe));
}

void TSession::Probe(TProbeFor why, std::string oids) {
  TRequest ask = m_sessionRequest;
  ask.Operation = kOperationGet;
  ask.Purpose = kPurposeProbe;
  ask.TriesLeft = 2;
  m_probe.For = why;
  m_probe.Left = CountItems(oids);
  m_probe.Run.StartOwning(ask, std::move(oids));
  SendBatches(m_probe.Run);
}

void TSession::OnProbeAnswer(const TRequest& record, const TAnswer& answer) {
  if (!m_probe.Run.Finish(record.RequestId)) return;  // from an earlier probe
  m_probe.Left -= CountItems(record.OidList);
  if (answer.ErrorStatus == 0) {
    for (const TAnswerObject& object : answer.Objects)
      m_facts.Learn(object.Oid, TSample::FromAnswer(object.Value, object.Type), object.Type);
  } else {
    m_probe.Left += AskAgainWithout(m_probe.Run, record, answer);
  }
  if (m_probe.Left <= 0) {
    EndProbe();
  } else {
    SendBatches(m_probe.Run);
  }
}

void TSession::EndProbe() {
  const TProbeFor why = m_probe.For;
  m_probe.For = TProbeFor::kNone;
  m_probe.Run.Stop();
  if (why == TProbeFor::kStart) {
    m_facts.SetKnown();
    RowsChanged();
    StartPolling(true);
  } else if (why == TProbeFor::kModeSwitch) {
    m_facts.SetKnown();
    if (ColumnsChange()) SwitchColumns(true);
  } else if (why == TProbeFor::kSpeeds) {
    // Rows left out for want of a speed come in at once, not a poll later.
    if (m_lastSnapshot && m_lastSnapshot->WithoutSpeed > 0) Publish(false);
  } else if (ColumnsChange()) {
    // A gone twin is back: the poll job keeps its time, the twin's first value is "Null".
    SwitchColumns(false);
  }
  if (m_plan.TwinCount() > 0 && !m_twinsAnnounced) {
    m_twinsAnnounced = true;
    m_window.ShowStatus("64-bit counters in use");
  }
}

void TSession::AfterPoll() {
  if (m_twinGone) {
    // Its row polls the 32-bit counter from the next poll on, under the wrap rule; this poll
    // gave "Null" for it.
    m_twinGone = false;
    SwitchColumns(false);
  } else if (m_probe.For == TProbeFor::kNone && !m_config.RawValues) {
    if (std::string gone = m_facts.GoneOids(); !gone.empty())
      Probe(TProbeFor::kRecheck, std::move(gone));
  }
  ProbeSpeeds();
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
  if (Discovering()) m_walk = TLabelWalk();
  EndProgress();
  m_window.ShowStatus(message);
  NotifyStopped(message);
}

void TSession::EndDiscovery(const std::string& note) {
  EndProgress();
  m_window.ClearStatus();
  if (m_discovery.Rows().empty()) {
    StopDiscovery(note.empty() ? kNothingFound : note);
    return;
  }
  // No row is polled before the filter has judged it.
  if (m_filter.NeedsFacts()) {
    FetchRowFacts(false, note);
    return;
  }
  UseDiscoveredRows(note);
}

void TSession::UseDiscoveredRows(const std::string& note) {
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
    m_discovery.FilterRows();
    if (m_discovery.Rows().empty()) {
      StopDiscovery(InstancesText(m_discovery.FilteredOut()) +
                    " found, every one left out by the row filters" +
                    (m_factsFetch.Lost ? " (the agent did not tell every interface's type and "
                                         "state in time)"
                                       : ""));
      return;
    }
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
    if (m_discovery.Rows().empty() && m_discovery.FilteredOut() > 0) {
      // Nothing of this entry is polled: another entry may still have rows that pass.
      m_window.ShowStatus("This entry's " + InstancesText(m_discovery.FilteredOut()) +
                          ": every one left out by the row filters");
      return;
    }
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
  m_snapshots.RowsChanged();
}

void TSession::StartPolling(bool firstRunNow) {
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
  m_plan.BeginRound(m_plan.OidCount());
  m_pollInterval = m_sessionRequest.Interval;
}

void TSession::CheckInstanceRefresh() {
  const double now = m_clock.NowDays();
  if (m_lastRefresh != 0 && ElapsedMs(m_lastRefresh, now) / 1000 <= 5) return;
  m_lastRefresh = now;
  // One walk at a time: a refresh still under way takes this one's turn. Two would each
  // compare the rows with the other's half list.
  if (m_walk.Purpose != 0 || m_factsFetch.Running) return;
  m_discovery.StartRefresh();
  StartWalk(kPurposeRefresh);
}

void TSession::EndRefresh() {
  // The type and state of what the walk found may have changed since: asked again.
  if (m_filter.NeedsFacts()) {
    FetchRowFacts(true, std::string());
    return;
  }
  ApplyRefresh();
}

void TSession::ApplyRefresh() {
  const int filteredOut = m_discovery.FilteredOut();
  const TRowChanges changes = m_discovery.EndRefresh();
  // The status line's count of rows left out follows even when no polled row changed.
  if (m_discovery.FilteredOut() != filteredOut) m_snapshots.RowsChanged();
  if (!changes.Any()) return;
  for (int row : changes.Removed) m_slots.RemoveRow(row);
  for (int i = 0; i < changes.Appended; ++i) m_slots.AppendRow();
  RowsChanged();
  StartPolling(false);
  Publish(false);
}

// ---- row filters ---------------------------------------------------------------------------

void TSession::FetchRowFacts(bool refresh, const std::string& note) {
  std::string oids = m_filter.FactOids(refresh ? m_discovery.RefreshFound() : m_discovery.Found());
  m_factsFetch.Running = true;
  m_factsFetch.Refresh = refresh;
  m_factsFetch.Lost = false;
  m_factsFetch.Note = note;
  m_factsFetch.Left = CountItems(oids);
  if (m_factsFetch.Left == 0) {
    EndRowFacts();
    return;
  }
  if (!refresh)
    ShowProgress("Asking the type and state of " + std::to_string(m_discovery.Found().size()) +
                 " interfaces");
  TRequest ask = m_sessionRequest;
  ask.Operation = kOperationGet;
  ask.Purpose = kPurposeRowFacts;
  ask.TriesLeft = 2;
  m_factsFetch.Run.StartOwning(ask, std::move(oids));
  SendBatches(m_factsFetch.Run);
}

void TSession::OnRowFactsAnswer(const TRequest& record, const TAnswer& answer) {
  if (!m_factsFetch.Running || !m_factsFetch.Run.Finish(record.RequestId)) return;
  m_factsFetch.Left -= CountItems(record.OidList);
  // Any other error-status answer tells nothing of its batch: those rows fail the filter.
  if (answer.ErrorStatus == 0) {
    for (const TAnswerObject& object : answer.Objects)
      m_rowFacts.Learn(object.Oid, object.Type, object.Value);
  } else {
    m_factsFetch.Left += AskAgainWithout(m_factsFetch.Run, record, answer);
  }
  if (m_factsFetch.Left <= 0) {
    EndRowFacts();
  } else {
    SendBatches(m_factsFetch.Run);
  }
}

void TSession::EndRowFacts() {
  m_factsFetch.Running = false;
  m_factsFetch.Run.Stop();
  if (!m_factsFetch.Refresh) {
    EndProgress();
    m_window.ClearStatus();
    UseDiscoveredRows(m_factsFetch.Note);
    return;
  }
  // A refresh that did not learn every row's type and state changes no row.
  if (!m_factsFetch.Lost) ApplyRefresh();
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
      const int width = m_slots.Width();
      const size_t column = static_cast<size_t>(slot % width);
      const size_t row = static_cast<size_t>(slot / width);
      return column < m_config.TargetOids.size() && row < m_discovery.Rows().size() &&
             m_facts.WrappedOnce(m_config.TargetOids[column], m_discovery.Rows()[row].Suffix,
                                 elapsed, unwrapped);
    };
  }
  if (!m_pollUptime.IsNull()) m_uptime = m_pollUptime;
  m_slots.Evaluate(m_plan.TakeRound(), m_pollInterval, rows, facts);
  // Milliseconds since local midnight: a poll across midnight counts the day it crossed.
  const int32_t pollMs = m_clock.NowMs() - m_pollStartMs;
  m_snapshots.Counters.PollSeconds = (pollMs < 0 ? pollMs + 86400000 : pollMs) / 1000.0;
  m_snapshots.PollEvaluated(WallTimeMs(m_clock),
                            m_pollUptime.IsWhole() && !m_pollUptime.Negative()
                                ? static_cast<int64_t>(m_pollUptime.Magnitude())
                                : -1);
  Publish(true);
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

void TSession::AddSink(IPollSink& sink) {
  m_sinks.push_back(&sink);
}

void TSession::RemoveSink(IPollSink& sink) {
  m_sinks.erase(std::remove(m_sinks.begin(), m_sinks.end(), &sink), m_sinks.end());
}

void TSession::Publish(bool fresh) {
  m_lastSnapshot =
      m_snapshots.Build(TSnapshotSources{m_config, m_sessionRequest, m_discovery.Rows(), m_plan,
                                         m_slots, m_discovery.FilteredOut(), &m_facts},
                        fresh, WantedSlices());
  if (m_lastSnapshot->AnyValue) m_window.SetInitializingVisible(false);
  Deliver(m_lastSnapshot);
}

void TSession::Deliver(const TSnapshotPtr& given) {
  // A sink may remove itself (or another) while it takes the snapshot: walk a copy.
  const TSnapshotPtr snapshot = given;
  const std::vector<IPollSink*> sinks = m_sinks;
  for (IPollSink* sink : sinks) {
    if (std::find(m_sinks.begin(), m_sinks.end(), sink) != m_sinks.end())
      sink->TakeSnapshot(snapshot);
  }
}

void TSession::NotifyStopped(const std::string& message) {
  m_window.SessionStopped(message);
  const std::vector<IPollSink*> sinks = m_sinks;
  for (IPollSink* sink : sinks) {
    if (std::find(m_sinks.begin(), m_sinks.end(), sink) != m_sinks.end())
      sink->SessionEnded(message);
  }
}

}  // namespace kestrava
