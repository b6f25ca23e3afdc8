#pragma once
// TSession: one monitoring session, owned by the main window. A thin coordinator over stages
// that each own their data:
//   TDiscovery (engine/discovery.h)  the instances and the rows polled;
//   TPollPlan (engine/poll_plan.h)   the poll's OIDs, the slot of each answer, one poll's answers;
//   TSlotStore (engine/slot_store.h) the histories, their evaluation, raw values and deltas;
//   TSnapshotBuilder (engine/snapshot_builder.h) the published snapshot of a poll, pie included;
//   TDispatcher (engine/dispatcher.h) the SNMP component: requests out, answers in;
//   TRequestTable, TSchedule, TMyTimer  the requests out, the jobs and the worker thread.
// The way of one value: the worker's poll run is handed to the window's thread, which sends it;
// the component delivers the answer there (TDispatcher), the request table finds its record
// (OnAnswer), the poll plan gives each OID its slot and collects the poll, the slot store takes
// the complete poll and computes the current values, and one immutable snapshot of them (typed
// values, changes, rates and the ordered pie) goes to every sink: the chart, the output files,
// the status line, and whatever else registered.
// Thread: created, used and destroyed on the window's thread; it runs its own worker thread.
// Locks, always in this order: RequestLock (in the request table), then ScheduleLock (in the
// schedule). The worker hands its window work over with a blocking queued call and holds no lock
// while it waits.

#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/config_rec.h"
#include "engine/batch_run.h"
#include "engine/clock.h"
#include "engine/counter_facts.h"
#include "engine/discovery.h"
#include "engine/dispatcher.h"
#include "engine/hand_over.h"
#include "engine/poll_plan.h"
#include "engine/poll_snapshot.h"
#include "engine/request_table.h"
#include "engine/row_filter.h"
#include "engine/schedule.h"
#include "engine/slot_store.h"
#include "engine/snapshot_builder.h"
#include "engine/status_sink.h"
#include "engine/window.h"
#include "engine/worker.h"
#include "shared/session_types.h"

namespace kestrava {

class TSnmpMgr;

class TSession {
 public:
  explicit TSession(IMainWindow& window);
  // With an injected clock (tests drive time through it).
  TSession(IMainWindow& window, TEngineClock clock);
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  // Starts the session from the program's arguments: the OID names, the worker, the SNMP
  // component, the set-up from the command line or the file, and discovery.
  void Start(const std::vector<std::string>& args);
  // Stops the worker, then releases the tables and lists. Also done by the destructor.
  void Stop();

  // The consumers of the session's polls, called in the order they were added; a sink stays
  // registered until removed and must outlive the session or be removed first.
  void AddSink(IPollSink& sink);
  void RemoveSink(IPollSink& sink);
  // Hands a snapshot to every sink, as an evaluated poll does (a replay, a test).
  void Deliver(const TSnapshotPtr& snapshot);
  // The last snapshot published (null before the first).
  const TSnapshotPtr& LastSnapshot() const { return m_lastSnapshot; }

  // What the user chose.
  void SetValueMode(bool raw);  // raw values or per-interval deltas; feeds again
  // Rates as shares of the interfaces' speeds (deltas underneath); off: deltas. Feeds again.
  void SetUtilisation(bool on);
  void SetUnits(TUnits units);         // how the legend reads; feeds again
  void ChooseInstance(int choice);     // an entry of the instance-mask choices
  void SetSliceChoice(int choice);     // an entry of the "#Slices" choices; feeds again
  void SetIntervalChoice(int choice);  // an entry of the polling-interval choices; restarts polling
  void SetRefresh(bool on);            // refresh the instances while polling
  void SetLegendShown(bool shown);
  void SetView3D(bool on);
  // The window's filter: only slices whose label matches the pattern (any letter case) are
  // shown; the rows are still polled. "" shows every slice; false (nothing changes) for a
  // pattern that is not a regular expression.
  bool SetShownFilter(const std::string& pattern);

  // What the session holds, for the window and for tests.
  const TConfigRec& Config() const { return m_config; }
  const TRequest& SessionRequest() const { return m_sessionRequest; }
  const std::vector<TInstance>& Rows() const { return m_discovery.Rows(); }
  const std::vector<TInstance>& FoundInstances() const { return m_discovery.Found(); }
  const std::vector<std::string>& InstanceChoices() const { return m_discovery.MaskChoices(); }
  int SlotCount() const { return m_slots.SlotCount(); }
  std::vector<std::string> History(int slot) const { return m_slots.History(slot); }
  // SlotValue(4, slot) is what the chart shows of a slot.
  std::string SlotValue(int position, int slot) const;
  std::vector<TRequest> RequestTableSnapshot() { return m_requestTable.Snapshot(); }
  std::vector<TMyTimerRec> ScheduleSnapshot() { return m_schedule.Snapshot(); }
  bool WorkerFinished() const { return !m_worker || m_worker->Finished(); }
  TSnmpMgr* Component() { return m_dispatcher.Component(); }
  // Poll bindings the agent left out (each shown "Null") and bindings it added (ignored).
  struct TBindingFaults {
    int Missing = 0;
    int Ignored = 0;
  };
  const TBindingFaults& BindingFaults() const { return m_bindingFaults; }

 private:
  // Benchmarks reach the evaluation and the feed directly through this probe.
  friend class TSessionProbe;

  // Start-up.
  void ResetCounters();
  void StartDiscovery();
  // Runs a call on the window's thread for the worker and waits; errors go to the status line.
  void HandToWindow(std::function<void()> call);
  void PostStatus(const std::string& text);

  // Requests.
  // Sends a request and (a first send) records it; what failed when it did not go out.
  TSendFailure DispatchRequest(TRequest& record, bool resend);
  void PollRun(const TRequest& request);
  // Sends a run's next batches while fewer than kMaxBatchesInFlight are out; false when one can
  // never be built (the session then stops).
  bool SendBatches(TBatchRun& run);
  // What an SNMPv1 agent refused whole for one OID it lacks (noSuchName naming it) is asked
  // again without that OID; the number of OIDs asked again (0 for any other answer).
  static int AskAgainWithout(TBatchRun& run, const TRequest& record, const TAnswer& answer);
  // The first polls of new rows: after the probe of their counters when there is one to make.
  void BeginPolling();
  // After a change between raw values and deltas: polls the configured columns or their twins.
  void FollowValueMode();
  // The probe: what the agent's counters are, asked when polling starts, when Delta needs the
  // twins and the session never learnt them, and after polls while a twin is gone.
  // In utilisation the interfaces' speeds are asked for after every poll (kSpeeds).
  enum class TProbeFor { kNone, kStart, kModeSwitch, kRecheck, kSpeeds };
  void ProbeSpeeds();
  void Probe(TProbeFor why, std::string oids);
  void OnProbeAnswer(const TRequest& record, const TAnswer& answer);
  void EndProbe();
  // Whether the columns polled differ from what the mode and the facts ask for now.
  bool ColumnsChange() const;
  // Polls the columns the mode and the facts ask for; breakDeltas: every delta starts over,
  // with a first poll at once.
  void SwitchColumns(bool breakDeltas);
  // After an evaluated poll: a row whose twin went polls its 32-bit counter, and gone twins
  // are asked for again.
  void AfterPoll();
  // A record the time-out scan expired, kept until the scan has released RequestLock.
  void ExpireRequest(const TRequest& record);
  // The time-out scan, then what it expired acted on.
  void TimeoutScanSync();

  // Answers and problems of the receive path.
  void OnAnswer(const TAnswer& answer);
  void OnProblem(const std::string& text, int code);
  void OnWalkAnswer(const TRequest& record, const TAnswer& answer);
  void OnPollAnswer(const TRequest& record, const TAnswer& answer);
  // The bindings of a poll answer to the OIDs asked (an item list; position as TPollPlan::Add
  // takes it); true when the poll is complete.
  bool AddPollBindings(std::string_view asked, const std::vector<TAnswerObject>& objects,
                       int position);

  // Discovery and rows.
  void ShowProgress(const std::string& text);
  void EndProgress();
  void EndDiscovery(const std::string& note);
  void StopDiscovery(const std::string& message);
  void SelectInstances(int choice);
  void RowsChanged();
  // Builds the poll's OID list and schedules the poll job; a first run at once when asked.
  void StartPolling(bool firstRunNow);
  void RestartPollJob();
  void CheckInstanceRefresh();
  void EndRefresh();
  // The rows that discovery found become the polled ones (through the row filter).
  void UseDiscoveredRows(const std::string& note);
  // A refresh walk's instances replace the rows.
  void ApplyRefresh();

  // The row filter's facts: the type and state of the instances discovery or a refresh found,
  // asked for in a windowed run of gets before the rows are chosen.
  void FetchRowFacts(bool refresh, const std::string& note);
  void OnRowFactsAnswer(const TRequest& record, const TAnswer& answer);
  void EndRowFacts();

  // The walk of the label column: discovery or a refresh, one at a time, one step in flight.
  // GetBulk where the version has it, the user did not ask for get-next walks and the agent
  // answered it.
  int InitialRepetitions() const;
  void StartWalk(int32_t purpose);
  // Sends the step the walk asks for; a step that does not go out abandons the walk.
  void ContinueWalk();
  // One binding of a walk answer as the walk judged it: the instance it names is taken.
  TWalkStep TakeWalkRow(const TAnswerObject& object, TWalkBinding binding);
  // The walk ended at a binding: how the rows took it.
  void EndWalkAt(const TWalkStep& ended);
  // A step that got no answer: GetBulk goes again with half the repetitions, then with get-next.
  void OnWalkLost(const TRequest& record);
  // The walk saw the whole column (note: why it ended early, kept as an end).
  void EndWalk(const std::string& note);
  // The walk ends without a result: discovery stops the session, a refresh changes nothing.
  void AbandonWalk(const std::string& text);
  bool Discovering() const { return m_walk.Purpose == kPurposeDiscovery; }

  // Values and their way out.
  void EvaluatePoll();
  // One snapshot to every sink: a newly evaluated poll (fresh), or the same values shown anew.
  void Publish(bool fresh);
  int WantedSlices() const;
  // The session stopped for good: the window and every sink are told.
  void NotifyStopped(const std::string& message);

  IMainWindow& m_window;
  TEngineClock m_clock;
  std::unique_ptr<THandOver> m_handOver;  // lives on the window's thread

  TConfigRec m_config;
  TRequest m_sessionRequest;
  TDiscovery m_discovery;
  TPollPlan m_plan;
  TSlotStore m_slots;
  TDispatcher m_dispatcher;
  int32_t m_pollInterval = 0;  // of the poll job that runs now
  int32_t m_pollStartMs = 0;   // the clock's NowMs when the poll being collected began
  // The poll run being sent (its batches, what is in flight) and the rows its job was made for.
  uint64_t m_pollJobGeneration = 0;  // the plan's rows when the poll job was made
  TBatchRun m_pollRun;               // the poll's requests
  struct TProbe {
    TProbeFor For = TProbeFor::kNone;  // kNone: none runs
    TBatchRun Run;
    int Left = 0;  // OIDs not answered or expired yet
  };
  TProbe m_probe;
  TRowFilter m_filter;
  TRowFactsTable m_rowFacts;
  struct TFactsFetch {
    bool Running = false;
    bool Refresh = false;  // for a refresh walk, else for discovery
    bool Lost = false;     // a request expired unanswered
    int Left = 0;          // OIDs not answered or expired yet
    std::string Note;      // why the discovery walk ended early
    TBatchRun Run;
  };
  TFactsFetch m_factsFetch;
  TCounterFacts m_facts;
  bool m_twinGone = false;  // in the poll being collected
  bool m_twinsAnnounced = false;
  TSample m_uptime;      // the agent's sysUpTime.0 at the last evaluated poll
  TSample m_pollUptime;  // the same in the poll being collected
  TSnapshotBuilder m_snapshots;
  TSnapshotPtr m_lastSnapshot;
  TStatusSink m_statusSink;
  std::vector<IPollSink*> m_sinks;
  bool m_firstSelection = true;
  struct TLabelWalk {
    int32_t Purpose = 0;  // kPurposeDiscovery or kPurposeRefresh; 0: none runs
    TRequest Request;     // the connection and the step in flight
    TWalk Walk;           // what the next step asks
    uint32_t StepId = 0;  // the request id of the step in flight
  };
  TLabelWalk m_walk;
  bool m_bulkUnanswered = false;  // GetBulk went unanswered: walks use get-next from then on
  QTimer m_progressTimer;         // holds discovery's progress texts back, see ShowProgress
  std::string m_pendingProgress;
  double m_lastRefresh = 0;  // 0: cleared

  TRequestTable m_requestTable;  // holds RequestLock
  TSchedule m_schedule;          // holds ScheduleLock
  std::unique_ptr<TMyTimer> m_worker;
  bool m_started = false;
  bool m_stopped = false;
  std::vector<TRequest> m_expired;  // by the time-out scan under way (window's thread only)
  TBindingFaults m_bindingFaults;
  bool m_bindingFaultsShown = false;  // the status line said so once
};

}  // namespace kestrava
