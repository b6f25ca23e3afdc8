#pragma once
// TComponentCore: what every component over a numbered engine shares - keeping the engine
// handle and raising the component's exception with a code and a text.
// ESnmpMgr: the exception of the SNMP manager component; what() is "<code>: <text>".
// Thread: a component is used by the thread that created it, or by callers that serialise
// their calls themselves; the core holds no lock.

#include <stdexcept>
#include <string>

namespace kestrava {

class ESnmpMgr : public std::runtime_error {
 public:
  ESnmpMgr(int code, const std::string& text);
  int Code;
};

class TComponentCore {
 public:
  TComponentCore() = default;
  virtual ~TComponentCore() = default;
  TComponentCore(const TComponentCore&) = delete;
  TComponentCore& operator=(const TComponentCore&) = delete;

 protected:
  // Raises ESnmpMgr(code, text).
  [[noreturn]] static void Raise(int code, const std::string& text);
};

}  // namespace kestrava
