#include <QCoreApplication>
#include <QEventLoop>
#include <new>

#include "snmp/errors.h"
#include "snmp/snmpmgr_manager.h"

namespace kestrava {

TSnmpManager::TSnmpManager(TSnmpMgrCallback cb, void* data)
    : callback(cb), userData(data), owner(QThread::currentThread()), notify(new QObject) {
  std::random_device entropy;
  rng.seed(uint64_t{entropy()} << 32 | entropy());
  // Privacy salts continue from a random point; message ids start at a random value, so that
  // a blind sender cannot name the message a report would answer.
  saltCounter = rng();
  out.MsgId = static_cast<int32_t>(rng() % 0x7FFFFFFE) + 1;
  // Request ids likewise, so that a blind sender cannot guess the ids of the answers awaited.
  out.RequestId = static_cast<int32_t>(rng() % 0x7FFFFFFE) + 1;
  out.Version = kSnmpV2c;
  out.Community.assign("cobalt");
  out.Reset(settings.maxPacketSize);
  in.Clear();
}

TSnmpManager::~TSnmpManager() {
  callback = nullptr;  // no event fires from here on
  receiveEnabled = false;
  Close();
  // Descriptors handed over for closing by other threads are closed now.
  QCoreApplication::sendPostedEvents(notify);
  delete reader.notifier;
  delete notify;
}

int TSnmpManager::Do(int method, int argc, intptr_t* argv, int* argl) {
  errorText.clear();
  auto argText = [&](int i) {
    if (i >= argc || !argv[i]) return std::string();
    const char* p = reinterpret_cast<const char*>(argv[i]);
    return argl && argl[i] >= 0 ? std::string(p, static_cast<size_t>(argl[i])) : std::string(p);
  };
  switch (method) {
    case kMethodConfig: {
      const int code = Config(argText(0), handedOut.done);
      if (argc > 1) {
        argv[1] = reinterpret_cast<intptr_t>(handedOut.done.c_str());
        if (argl) argl[1] = static_cast<int>(handedOut.done.size());
      }
      return code;
    }
    case kMethodDiscover:
      return Discover();
    case kMethodProcessEvents:
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      return 0;
    case kMethodInterrupt:
    case kMethodReset:
      ResetAction();
      return 0;
    case kMethodSendGetBulkRequest:
      out.NonRepeaters = argc > 0 ? static_cast<int32_t>(argv[0]) : 0;
      out.MaxRepetitions = argc > 1 ? static_cast<int32_t>(argv[1]) : 0;
      return Send(kActionGetBulkRequest);
    case kMethodSendGetNextRequest:
      return Send(kActionGetNextRequest);
    case kMethodSendGetRequest:
      return Send(kActionGetRequest);
    case kMethodSendInformRequest:
      return Send(kActionInformRequest);
    case kMethodSendSetRequest:
      return Send(kActionSetRequest);
    case kMethodValueForOid: {
      const std::string oid = argText(0);
      for (int i = 1; i <= objects.Count(); ++i) {
        const TSnmpObject& o = std::as_const(objects).At(i);
        if (o.Id.view() == oid) {
          handedOut.done = o.Value.str();
          if (argc > 1) {
            argv[1] = reinterpret_cast<intptr_t>(handedOut.done.data());
            if (argl) argl[1] = static_cast<int>(handedOut.done.size());
          }
          return 0;
        }
      }
      return Fail(kErrNoSuchOid, kTextNoSuchOid);
    }
    default:
      return Fail(kErrBadAction, kTextBadAction);
  }
}

// ---------------------------------------------------------------------------------------------
// The numbered interface

TSnmpManager* SNMPMgr_Create(TSnmpMgrCallback callback, void* userData) {
  try {
    return new TSnmpManager(callback, userData);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int SNMPMgr_Destroy(TSnmpManager* mgr) {
  delete mgr;
  return 0;
}

intptr_t SNMPMgr_Get(TSnmpManager* mgr, int property, int index, int* length) {
  if (length) *length = 0;
  return mgr->Get(property, index, length);
}

namespace {

int Finish(TSnmpManager* mgr, int code) {
  mgr->lastError.code = code;
  if (code == 0) {
    mgr->lastError.text.clear();
  } else if (!mgr->errorText.empty()) {
    mgr->lastError.text = mgr->errorText;
  } else if (code == kErrTimeout) {
    mgr->lastError.text = kTextInterrupted;
  } else if (code == kErrOutOfMemory) {
    mgr->lastError.text = kTextOutOfMemory;
  } else {
    mgr->lastError.text = WinsockErrorText(code);
  }
  return code;
}

}  // namespace

int SNMPMgr_Set(TSnmpManager* mgr, int property, int index, intptr_t value, int length) {
  int code;
  try {
    code = mgr->Set(property, index, value, length);
  } catch (const std::bad_alloc&) {
    code = mgr->Fail(kErrOutOfMemory, kTextOutOfMemory);
  }
  return Finish(mgr, code);
}

int SNMPMgr_Do(TSnmpManager* mgr, int method, int argc, intptr_t* argv, int* argl) {
  int code;
  try {
    code = mgr->Do(method, argc, argv, argl);
  } catch (const std::bad_alloc&) {
    mgr->blockingCall.action = 0;
    mgr->blockingCall.waiting = false;
    code = mgr->Fail(kErrOutOfMemory, kTextOutOfMemory);
  }
  return Finish(mgr, code);
}

int SNMPMgr_CheckIndex(TSnmpManager* mgr, int property, int index) {
  if (property != kPropObjId && property != kPropObjType && property != kPropObjValue) return 0;
  return index < 1 || index > mgr->objects.Count() ? kErrBadArrayIndex : 0;
}

int SNMPMgr_GetObjValue(TSnmpManager* mgr, int index, TObjValueView* value) {
  if (index < 1 || index > mgr->objects.Count()) return kErrBadArrayIndex;
  const TSnmpObject& o = std::as_const(mgr->objects).At(index);
  value->Tag = o.Type;
  value->Magnitude = o.Magnitude;
  value->Negative = o.Negative;
  value->Bytes = reinterpret_cast<const char*>(o.Value.data());
  value->Length = static_cast<int>(o.Value.size());
  return 0;
}

const char* SNMPMgr_GetLastError(TSnmpManager* mgr) {
  return mgr->lastError.text.c_str();
}

int SNMPMgr_GetLastErrorCode(TSnmpManager* mgr) {
  return mgr->lastError.code;
}

int SNMPMgr_StaticInit(void*) {
  return 0;
}

int SNMPMgr_StaticDestroy() {
  return 0;
}

}  // namespace kestrava
