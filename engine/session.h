#pragma once
// TSession: the whole monitoring session that the main window owns: configuration values,
// session lists, value slots, request table, worker and schedule, and the SNMP component.
// Thread: created, used and destroyed on the window's thread; it runs its own worker thread.
// (Public surface used by the window; the rest of the engine's state is declared below it.)
// Locks, always taken in this order: RequestLock (in the request table), then ScheduleLock (in
// the schedule) or m_componentLock (every use of SnmpMgr1). The worker hands its window work
// over with a blocking queued call and holds no lock while it waits.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/config_rec.h"
#include "engine/clock.h"
#include "engine/component_gate.h"
#include "engine/hand_over.h"
#include "shared/session_types.h"
#include "engine/request_table.h"
#include "engine/window.h"
#include "engine/worker.h"
#include "shared/instance_helpers.h"

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

  // Creation handler: lists, OID names, locks, worker, SNMP component, set-up and discovery.
  void FormCreate(const std::vector<std::string>& args);
  // Close handler: stops the worker, then releases the tables and lists.
  void FormClose();

  TConfigRec& Config();
  TRequest& SessionRequest();

  // Commands of the window.
  void SetValueMode(bool raw);      // RAW / Delta buttons
  void ComboBox1Change(int index);  // instance mask picked
  void ComboBox2Change(int index);  // number of slices picked
  void ComboBox3Change(int index);  // polling interval picked
  void RefreshInstances1Click(bool checked);
  void FeedChart();

  // What the engine holds, for the window and for tests (window's thread).
  const std::vector<std::string>& Instances() const { return m_instances; }
  const std::vector<std::string>& InstanceDescrs() const { return m_instanceDescrs; }
  const std::vector<std::string>& FoundInstances() const { return m_foundInstances; }
  const std::vector<std::string>& InstanceMaskItems() const { return m_instanceMaskItems; }
  const std::vector<std::string>& History(int slot) const;
  int SlotCount() const { return static_cast<int>(m_histories.size()); }
  const std::vector<std::string>& SliceCandidates() const { return m_sliceCandidates; }
  // SlotValue(4, slot) is what the chart shows of a slot.
  std::string SlotValue(int position, int slot) const;
  std::vector<TRequest> RequestTableSnapshot() { return m_requestTable.Snapshot(); }
  std::vector<TMyTimerRec> ScheduleSnapshot() { return m_schedule.Snapshot(); }
  bool WorkerFinished() const { return !m_worker || m_worker->Finished(); }
  TSnmpMgr* SnmpMgr1() { return m_snmpMgr1.get(); }

 private:
  // Benchmarks reach the evaluation and the feed directly through this probe.
  friend class TSessionProbe;

  // Session state and histories (session.cpp).
  void ResetEngineCounters();
  int ComputeLastSlot() const;
  int Width() const;
  void CreateHistory(int slot);
  void CreateHistories();
  void FreeHistories();
  void InstancesChanged();
  void HandToWindow(const std::function<void()>& call);
  void PostStatus(const std::string& text);

  // Request table and worker (request_table.cpp, worker.cpp hold the structures).
  void ExpireRequest(const TRequest& record);
  void TimeoutScanSync();
  void DoClearSB();

  // Dispatch (dispatch.cpp).
  void DispatchRequest(TRequest record, bool resend);
  uint32_t NextRequestId();
  void SendPoll(const TRequest& request);

  // Discovery (discovery.cpp).
  void StartInstanceWalk();
  void WalkStep(const std::string& oid, const std::string& value, const std::string& asked);
  void EndDiscovery(const std::string& note);
  void StopDiscovery(const std::string& message);
  // One get-next step of a walk: the OID asked for, five sends allowed, the walk's purpose.
  void SendWalkStep(TRequest& walk, const std::string& oid, int32_t purpose);
  void SelectInstances();
  void BuildPollOidList();
  void StartPolling();
  void CheckInstanceRefresh();
  void RefreshStep(const std::string& oid, const std::string& value, const std::string& asked);
  void EndRefresh();
  void RemoveInstanceSlots(int row, int width);
  bool TakesInstance(const std::string& suffix) const;
  bool InLabelColumn(const std::string& oid) const;

  // Responses (responses.cpp). The handlers run inside the component's delivery: they copy
  // the answer and defer its processing (RequestLock may not be taken there).
  struct TAnswer {
    int RequestId = 0;
    int ErrorIndex = 0;
    int ErrorStatus = 0;
    std::string ErrorDescription;
    std::vector<std::pair<std::string, std::string>> Objects;  // ObjId, ObjValue
    std::string ObjectError;  // the component's refusal to give an object, if any
  };
  void SnmpMgr1Response(int requestId, int errorIndex, int errorStatus,
                        const std::string& errorDescription);
  void ProcessResponse(const TAnswer& answer);
  void SnmpMgr1Error(int errorCode, const std::string& description);
  void SnmpMgr1BadPacket(int errorCode, const std::string& errorDescription);
  void EvaluatePoll(int32_t jobKind);
  void EvaluateFormulas(int interval);
  std::string LatestTargetValue(const std::string& oid, int row) const;

  IMainWindow& m_window;
  TEngineClock m_clock;
  std::unique_ptr<THandOver> m_handOver;  // lives on the window's thread

  TConfigRec m_config;
  TRequest m_sessionRequest;
  TRequest m_refreshRequest;
  std::vector<std::string> m_instances, m_instanceDescrs;
  std::vector<std::string> m_foundInstances, m_foundDescrs;
  std::vector<std::string> m_refreshFound, m_refreshDescrs;
  std::vector<std::string> m_sliceCandidates;
  std::vector<std::string> m_instanceMaskItems;  // ComboBox1
  int m_instanceMaskIndex = -1;
  // Histories: one per value slot, oldest first; grows with the rows.
  std::vector<std::vector<std::string>> m_histories;
  TSlotIndex m_slotIndex;
  bool m_firstSelection = true;
  double m_lastRefresh = 0;  // 0: cleared

  std::mutex m_componentLock;
  uint32_t m_requestCounter = 0;         // GUARDED_BY(m_componentLock)
  std::unique_ptr<TSnmpMgr> m_snmpMgr1;  // GUARDED_BY(m_componentLock) for every use
  std::unique_ptr<TComponentGate> m_gate;

  TRequestTable m_requestTable;  // holds RequestLock
  TSchedule m_schedule;          // holds ScheduleLock
  std::unique_ptr<TMyTimer> m_worker;
  bool m_created = false;
  bool m_closed = false;
  // What a time-out scan left to do once RequestLock is released (window's thread only).
  std::vector<int32_t> m_expiredPollJobs;
  bool m_discoveryTimedOut = false;
};

}  // namespace kestrava
