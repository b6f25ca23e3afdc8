#pragma once
// FakeAgent: a scripted SNMPv1/SNMPv2c agent of our own for what a real agent will not do on
// demand: silence, garbage, wrong or duplicate request ids, late answers, error-status answers,
// a get-next that loops, replies from another port, oversize datagrams, thousands of rows.
// It serves a value table (numeric OID order) on 127.0.0.1 and a free UDP port, on its own
// thread, decoding and encoding with the project's codec. Every method is thread-safe and may
// be called while the agent runs; the responder hook runs on the agent's thread.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrava {
class TObjectTable;
}

namespace kestrava::testing {

class FakeAgent {
 public:
  struct Value {
    int Type = 4;      // BER tag (2 INTEGER, 4 OCTET STRING, 0x41 Counter32, ...)
    std::string Text;  // as the component's ObjValue: decimal text, raw bytes, dotted OID
  };
  // One request as it arrived.
  struct Request {
    int PduType = 0;  // 0xA0 get, 0xA1 get-next, ...
    int Version = 0;  // wire value: 0 SNMPv1, 1 SNMPv2c
    int32_t RequestId = 0;
    int NonRepeaters = 0;    // GetBulk only
    int MaxRepetitions = 0;  // GetBulk only
    std::string Community;
    std::vector<std::string> Oids;
    std::string Packet;  // the datagram
    std::string SourceAddress;
    int SourcePort = 0;
  };
  // Sees a request first: bytes to send as the answer (an empty string: no answer), or
  // std::nullopt to let the agent answer as usual.
  using Responder = std::function<std::optional<std::string>(const Request&)>;

  // Binds 127.0.0.1 and a free port (or `port` when not 0) and starts serving.
  explicit FakeAgent(int port = 0);
  ~FakeAgent();
  FakeAgent(const FakeAgent&) = delete;
  FakeAgent& operator=(const FakeAgent&) = delete;

  bool ok() const { return m_fd >= 0; }
  int port() const { return m_port; }
  std::string host() const { return "127.0.0.1"; }

  // The value table.
  void SetValue(const std::string& oid, int type, const std::string& text);
  void SetCounter32(const std::string& oid, uint32_t value) {
    SetValue(oid, 0x41, std::to_string(value));
  }
  void SetString(const std::string& oid, const std::string& text) { SetValue(oid, 4, text); }
  // Adds delta to a Counter32 (wrapping at 2^32), Counter64 (at 2^64) or other numeric value.
  void AdvanceCounter(const std::string& oid, uint64_t delta);
  void RemoveValue(const std::string& oid);
  void ClearValues();
  std::optional<Value> GetValue(const std::string& oid) const;
  size_t ValueCount() const;
  // An interface-like table: ifDescr-style labels at 1.3.6.1.2.1.2.2.1.2.i and Counter32
  // values at .10.i and .16.i for i = 1..count, plus sysUpTime.0.
  void FillInterfaceTable(int count, uint32_t firstCounter = 1000);

  // Only requests carrying this community are answered (empty: any community).
  void SetCommunity(const std::string& community);

  // Behaviours. Each stays on until switched off.
  void SetSilent(bool on);              // no answer at all
  void SetGarbage(bool on);             // answer with bytes that are no SNMP message
  void SetWrongRequestId(bool on);      // answer with request-id + 1000
  void SetDuplicate(bool on);           // every answer sent twice
  void SetDelayMs(int ms);              // answers sent ms later (0: at once)
  void SetLooping(bool on);             // get-next answers with the very OID asked
  void SetReplyFromOtherPort(bool on);  // answers come from a second socket
  void SetOversize(size_t bytes);       // answers padded to about this many bytes (0: off)
  // Answers longer than this many bytes are lost, as on a path that drops fragments (0: off).
  void SetMaxAnswerBytes(size_t bytes);
  // GetBulk: at most this many repetitions in an answer, however many were asked (0: off),
  // as an agent does that keeps its answers small.
  void SetBulkRowLimit(int rows);
  // GetBulk asking for more than this many repetitions is answered with tooBig (0: off), as
  // agents do that cannot cut an answer to size.
  void SetBulkTooBigAbove(int rows);
  // Get answers of two or more bindings that do not match what was asked, as broken agents
  // send them: the last binding left out, a binding nobody asked for appended, or the last
  // binding naming the next row of the table instead of the one asked.
  enum class BindingFault { None, DropLast, AddExtra, NextRowInstead };
  void SetBindingFault(BindingFault fault);
  // Get-next and GetBulk in or at this column answer its next instance without end
  // (column.1, column.2, ...), as a broken agent does whose table never ends ("": off).
  void SetEndlessColumn(const std::string& column);
  // Every answer carries this error-status and error-index (status 0: off).
  void SetErrorStatus(int status, int index);
  // Answers to requests that name this OID carry the error-status and error-index.
  void SetErrorFor(const std::string& oid, int status, int index);
  void ClearErrors();
  // A hook that sees every request first (see Responder); an empty function removes it.
  void SetResponder(Responder responder);

  // Sends bytes from the agent's socket, for datagrams the manager did not ask for.
  void SendTo(const std::string& bytes, const std::string& host, int port);

  // Requests are counted without end, but only the newest ones are logged: an agent that
  // serves a program for an hour would otherwise grow without bound.
  static constexpr size_t kDefaultLogLimit = 100000;
  int RequestCount() const { return m_requestCount; }
  // The newest requests, at most the log limit, oldest first.
  std::vector<Request> Log() const;
  void ClearLog();
  // Keeps at most this many requests in the log (0: none), dropping the oldest at once.
  void SetLogLimit(size_t requests);

 private:
  struct Pending {
    int64_t dueMs;
    std::string bytes;
    uint32_t addr;
    uint16_t port;
    bool fromOther;
  };
  using Key = std::vector<uint32_t>;

  void Run();
  void Handle(const uint8_t* data, size_t size, uint32_t addr, uint16_t port);
  std::optional<std::string> Answer(const Request& request);
  std::optional<std::string> AnswerBulk(const Request& request);
  void BreakBindings(TObjectTable& objects) const;
  // The endless column's instance after `oid`, when oid is the column or in it.
  std::optional<std::string> EndlessNext(const std::string& oid) const;
  void SendRaw(const std::string& bytes, uint32_t addr, uint16_t port, bool fromOther);
  static Key ToKey(const std::string& oid);

  int m_fd = -1;
  int m_otherFd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_requestCount{0};

  mutable std::mutex m_mutex;  // guards everything below
  std::map<Key, std::pair<std::string, Value>> m_values;
  std::string m_community;
  bool m_silent = false;
  bool m_garbage = false;
  bool m_wrongId = false;
  bool m_duplicate = false;
  int m_delayMs = 0;
  bool m_looping = false;
  bool m_otherPort = false;
  size_t m_oversize = 0;
  size_t m_maxAnswerBytes = 0;
  int m_bulkRowLimit = 0;
  int m_bulkTooBigAbove = 0;
  BindingFault m_bindingFault = BindingFault::None;
  std::string m_endlessColumn;
  int m_errorStatus = 0;
  int m_errorIndex = 0;
  std::map<std::string, std::pair<int, int>> m_errorsFor;
  Responder m_responder;
  std::deque<Request> m_log;
  size_t m_logLimit = kDefaultLogLimit;
  std::vector<Pending> m_pending;

  std::thread m_thread;  // last: starts after everything above exists
};

}  // namespace kestrava::testing
