#pragma once
// The SNMP manager behind TSnmpMgr, addressed by numbers: read property n, write
// property n, run method n, and one event callback that carries an event number and an array
// of parameters (integers, booleans, text pointers, or byte pointers with their length in the
// length array). A result of 0 means success; any other result is an error code, kept with a
// text as the manager's last error.
// Thread: SNMPMgr_Create on a thread that runs a Qt event loop (the owner); socket readiness,
// the receive path and every event of the receive path run in the owner thread. Other threads
// may call the manager when they serialise their calls with the owner's event handlers; the
// manager holds no lock. SNMPMgr_Destroy runs in the owner thread.

#include <cstdint>

namespace kestrava {

struct TSnmpManager;

// callback(userData, event, parameter count, parameters, lengths); the result is ignored.
// The manager reads back var parameters (OnBadPacket's Report, OnInformRequest's ErrorIndex and
// ErrorStatus, OnDiscoveryRequest's Respond) after the call.
using TSnmpMgrCallback = int (*)(void* userData, int eventId, int paramCount, intptr_t* params,
                                 int* lengths);

enum TSnmpMgrProperty : int {
  kPropReceiveEnabled = 1,
  kPropActive = 2,
  kPropAuthProtocol = 3,
  kPropCommunity = 4,
  kPropErrorDescription = 5,
  kPropErrorIndex = 6,
  kPropErrorStatus = 7,
  kPropLocalEngineId = 8,
  kPropLocalHost = 9,
  kPropLocalPort = 10,
  kPropObjCount = 11,
  kPropObjId = 12,
  kPropObjType = 13,
  kPropObjValue = 14,
  kPropPassword = 15,
  kPropRemoteEngineBoots = 16,
  kPropRemoteEngineId = 17,
  kPropRemoteEngineTime = 18,
  kPropRemoteHost = 19,
  kPropRemotePort = 20,
  kPropRequestId = 21,
  kPropSNMPVersion = 22,
  kPropTimeout = 23,
  kPropUser = 24,
};

enum TSnmpMgrMethod : int {
  kMethodConfig = 1,  // argv[0] setting text; argv[1] <- result text
  kMethodDiscover = 2,
  kMethodProcessEvents = 3,
  kMethodInterrupt = 4,
  kMethodReset = 5,
  kMethodSendGetBulkRequest = 6,  // argv[0] non-repeaters, argv[1] max-repetitions
  kMethodSendGetNextRequest = 7,
  kMethodSendGetRequest = 8,
  kMethodSendInformRequest = 9,
  kMethodSendSetRequest = 10,
  kMethodValueForOid = 11,  // argv[0] OID text; argv[1] <- value, argl[1] <- its length
};

enum TSnmpMgrEvent : int {
  kEventBadPacket = 1,
  kEventDiscoveryRequest = 2,
  kEventDiscoveryResponse = 3,
  kEventError = 4,
  kEventInformRequest = 5,
  kEventPacketTrace = 6,
  kEventReport = 7,
  kEventResponse = 8,
  kEventTrap = 9,
};

// nullptr when the manager cannot be created. Sets the defaults of every property.
TSnmpManager* SNMPMgr_Create(TSnmpMgrCallback callback, void* userData);
// Closes the socket (no event fires afterwards) and frees the manager.
int SNMPMgr_Destroy(TSnmpManager* mgr);
// An integer, or a pointer to NUL-terminated text, or a pointer to bytes with *length set.
// Text and bytes stay valid until the next SNMPMgr_Get on this manager.
intptr_t SNMPMgr_Get(TSnmpManager* mgr, int property, int index, int* length);
// An object's value as the codec decoded it (snmp/snmp_value.h): its tag, and for the numeric
// tags the exact magnitude and sign, for the others its bytes (valid until the next call that
// changes the object table).
struct TObjValueView {
  int32_t Tag = 0;
  uint64_t Magnitude = 0;
  bool Negative = false;
  const char* Bytes = nullptr;
  int Length = 0;
};
// 0, or 280 when index lies outside 1..ObjCount.
int SNMPMgr_GetObjValue(TSnmpManager* mgr, int index, TObjValueView* value);
// value: an integer, or a pointer to text (NUL-terminated), or to `length` bytes.
int SNMPMgr_Set(TSnmpManager* mgr, int property, int index, intptr_t value, int length);
int SNMPMgr_Do(TSnmpManager* mgr, int method, int argc, intptr_t* argv, int* argl);
// 280 when property is ObjId, ObjType or ObjValue and index lies outside 1..ObjCount.
int SNMPMgr_CheckIndex(TSnmpManager* mgr, int property, int index);
const char* SNMPMgr_GetLastError(TSnmpManager* mgr);
int SNMPMgr_GetLastErrorCode(TSnmpManager* mgr);
// Process-wide set-up and tear-down; nothing is needed on this platform beyond the call.
int SNMPMgr_StaticInit(void* instance);
int SNMPMgr_StaticDestroy();

}  // namespace kestrava
