#include "snmp/componentcore.h"

namespace kestrava {

ESnmpMgr::ESnmpMgr(int code, const std::string& text)
    : std::runtime_error(std::to_string(code) + ": " + text), Code(code) {}

void TComponentCore::Raise(int code, const std::string& text) {
  throw ESnmpMgr(code, text);
}

}  // namespace kestrava
