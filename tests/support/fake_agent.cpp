#include "fake_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "snmp/codec.h"

namespace kestrava::testing {

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int BindLoopback(int port, int& boundPort) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t len = sizeof sa;
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    close(fd);
    return -1;
  }
  boundPort = ntohs(sa.sin_port);
  return fd;
}

// Bytes that are no SNMP message: a SEQUENCE whose length runs past the datagram.
const char kGarbage[] = "\x30\x7f\x02\x01garbage, not SNMP";

}  // namespace

FakeAgent::FakeAgent(int port) {
  m_fd = BindLoopback(port, m_port);
  int otherPort = 0;
  m_otherFd = BindLoopback(0, otherPort);
  if (m_fd >= 0) m_thread = std::thread([this] { Run(); });
}

FakeAgent::~FakeAgent() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_fd >= 0) close(m_fd);
  if (m_otherFd >= 0) close(m_otherFd);
}

FakeAgent::Key FakeAgent::ToKey(const std::string& oid) {
  Key key;
  uint64_t arc = 0;
  bool any = false;
  for (char c : oid) {
    if (c >= '0' && c <= '9') {
      arc = arc * 10 + static_cast<uint64_t>(c - '0');
      any = true;
    } else if (c == '.') {
      if (any) key.push_back(static_cast<uint32_t>(arc));
      arc = 0;
      any = false;
    }
  }
  if (any) key.push_back(static_cast<uint32_t>(arc));
  return key;
}

void FakeAgent::SetValue(const std::string& oid, int type, const std::string& text) {
  std::lock_guard lock(m_mutex);
  m_values[ToKey(oid)] = {oid, Value{type, text}};
}

void FakeAgent::AdvanceCounter(const std::string& oid, uint64_t delta) {
  std::lock_guard lock(m_mutex);
  auto it = m_values.find(ToKey(oid));
  if (it == m_values.end()) return;
  Value& v = it->second.second;
  const uint64_t now = std::stoull(v.Text.empty() ? "0" : v.Text) + delta;
  // Counter32, Gauge32, TimeTicks and UInteger32 wrap at 2^32; Counter64 at 2^64.
  v.Text = std::to_string(v.Type == 0x46 ? now : now & 0xFFFFFFFFu);
}

void FakeAgent::RemoveValue(const std::string& oid) {
  std::lock_guard lock(m_mutex);
  m_values.erase(ToKey(oid));
}

void FakeAgent::ClearValues() {
  std::lock_guard lock(m_mutex);
  m_values.clear();
}

std::optional<FakeAgent::Value> FakeAgent::GetValue(const std::string& oid) const {
  std::lock_guard lock(m_mutex);
  auto it = m_values.find(ToKey(oid));
  if (it == m_values.end()) return std::nullopt;
  return it->second.second;
}

size_t FakeAgent::ValueCount() const {
  std::lock_guard lock(m_mutex);
  return m_values.size();
}

void FakeAgent::FillInterfaceTable(int count, uint32_t firstCounter) {
  SetValue("1.3.6.1.2.1.1.3.0", 0x43, "100");
  for (int i = 1; i <= count; ++i) {
    const std::string index = std::to_string(i);
    SetString("1.3.6.1.2.1.2.2.1.2." + index, "eth" + std::to_string(i - 1));
    SetCounter32("1.3.6.1.2.1.2.2.1.10." + index, firstCounter + static_cast<uint32_t>(i));
    SetCounter32("1.3.6.1.2.1.2.2.1.16." + index, firstCounter + 2 * static_cast<uint32_t>(i));
  }
}

void FakeAgent::SetCommunity(const std::string& community) {
  std::lock_guard lock(m_mutex);
  m_community = community;
}

void FakeAgent::SetSilent(bool on) {
  std::lock_guard lock(m_mutex);
  m_silent = on;
}

void FakeAgent::SetGarbage(bool on) {
  std::lock_guard lock(m_mutex);
  m_garbage = on;
}

void FakeAgent::SetWrongRequestId(bool on) {
  std::lock_guard lock(m_mutex);
  m_wrongId = on;
}

void FakeAgent::SetDuplicate(bool on) {
  std::lock_guard lock(m_mutex);
  m_duplicate = on;
}

void FakeAgent::SetDelayMs(int ms) {
  std::lock_guard lock(m_mutex);
  m_delayMs = ms;
}

void FakeAgent::SetLooping(bool on) {
  std::lock_guard lock(m_mutex);
  m_looping = on;
}

void FakeAgent::SetReplyFromOtherPort(bool on) {
  std::lock_guard lock(m_mutex);
  m_otherPort = on;
}

void FakeAgent::SetOversize(size_t bytes) {
  std::lock_guard lock(m_mutex);
  m_oversize = bytes;
}

void FakeAgent::SetMaxAnswerBytes(size_t bytes) {
  std::lock_guard lock(m_mutex);
  m_maxAnswerBytes = bytes;
}

void FakeAgent::SetErrorStatus(int status, int index) {
  std::lock_guard lock(m_mutex);
  m_errorStatus = status;
  m_errorIndex = index;
}

void FakeAgent::SetErrorFor(const std::string& oid, int status, int index) {
  std::lock_guard lock(m_mutex);
  m_errorsFor[oid] = {status, index};
}

void FakeAgent::ClearErrors() {
  std::lock_guard lock(m_mutex);
  m_errorStatus = 0;
  m_errorIndex = 0;
  m_errorsFor.clear();
}

void FakeAgent::SetResponder(Responder responder) {
  std::lock_guard lock(m_mutex);
  m_responder = std::move(responder);
}

void FakeAgent::SendTo(const std::string& bytes, const std::string& host, int port) {
  in_addr a{};
  inet_pton(AF_INET, host.c_str(), &a);
  SendRaw(bytes, ntohl(a.s_addr), static_cast<uint16_t>(port), false);
}

std::vector<FakeAgent::Request> FakeAgent::Log() const {
  std::lock_guard lock(m_mutex);
  return std::vector<Request>(m_log.begin(), m_log.end());
}

void FakeAgent::SetLogLimit(size_t requests) {
  std::lock_guard lock(m_mutex);
  m_logLimit = requests;
  while (m_log.size() > m_logLimit) m_log.pop_front();
}

void FakeAgent::ClearLog() {
  std::lock_guard lock(m_mutex);
  m_log.clear();
  m_requestCount = 0;
}

void FakeAgent::SendRaw(const std::string& bytes, uint32_t addr, uint16_t port, bool fromOther) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(addr);
  to.sin_port = htons(port);
  sendto(fromOther ? m_otherFd : m_fd, bytes.data(), bytes.size(), 0,
         reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void FakeAgent::Run() {
  std::vector<uint8_t> buffer(65536);
  while (!m_stop) {
    std::vector<Pending> due;
    int waitMs = 20;
    {
      std::lock_guard lock(m_mutex);
      const int64_t now = NowMs();
      auto split = std::stable_partition(m_pending.begin(), m_pending.end(),
                                         [now](const Pending& p) { return p.dueMs > now; });
      due.assign(std::make_move_iterator(split), std::make_move_iterator(m_pending.end()));
      m_pending.erase(split, m_pending.end());
      for (const Pending& p : m_pending)
        waitMs = static_cast<int>(std::clamp<int64_t>(p.dueMs - now, 0, waitMs));
    }
    for (const Pending& p : due) SendRaw(p.bytes, p.addr, p.port, p.fromOther);
    pollfd pfd{m_fd, POLLIN, 0};
    if (poll(&pfd, 1, waitMs) <= 0) continue;
    for (;;) {
      sockaddr_in from{};
      socklen_t len = sizeof from;
      const ssize_t n =
          recvfrom(m_fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n < 0) break;
      Handle(buffer.data(), static_cast<size_t>(n), ntohl(from.sin_addr.s_addr),
             ntohs(from.sin_port));
    }
  }
}

void FakeAgent::Handle(const uint8_t* data, size_t size, uint32_t addr, uint16_t port) {
  TSnmpMessage msg;
  TObjectTable objects;
  if (ParseMessage(data, size, msg, objects) != 0) return;  // a real agent drops these too
  Request request;
  request.PduType = msg.PduType;
  request.Version = msg.Version;
  request.RequestId = msg.RequestId;
  request.NonRepeaters = msg.NonRepeaters;
  request.MaxRepetitions = msg.MaxRepetitions;
  request.Community = msg.Community.str();
  for (int i = 1; i <= objects.Count(); ++i) request.Oids.push_back(objects.At(i).Id.str());
  request.Packet.assign(reinterpret_cast<const char*>(data), size);
  char text[INET_ADDRSTRLEN] = {};
  const in_addr a{htonl(addr)};
  inet_ntop(AF_INET, &a, text, sizeof text);
  request.SourceAddress = text;
  request.SourcePort = port;
  ++m_requestCount;

  Responder responder;
  bool duplicate;
  bool fromOther;
  int delayMs;
  {
    std::lock_guard lock(m_mutex);
    if (m_logLimit > 0) {
      if (m_log.size() == m_logLimit) m_log.pop_front();
      m_log.push_back(request);
    }
    responder = m_responder;
    duplicate = m_duplicate;
    fromOther = m_otherPort;
    delayMs = m_delayMs;
  }
  std::optional<std::string> reply;
  if (responder) reply = responder(request);
  if (!reply) reply = Answer(request);
  if (!reply || reply->empty()) return;
  std::lock_guard lock(m_mutex);
  if (m_maxAnswerBytes > 0 && reply->size() > m_maxAnswerBytes) return;
  for (int copy = 0; copy < (duplicate ? 2 : 1); ++copy) {
    if (delayMs > 0) {
      m_pending.push_back(Pending{NowMs() + delayMs, *reply, addr, port, fromOther});
    } else {
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_addr.s_addr = htonl(addr);
      to.sin_port = htons(port);
      sendto(fromOther ? m_otherFd : m_fd, reply->data(), reply->size(), 0,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
  }
}

std::optional<std::string> FakeAgent::Answer(const Request& request) {
  std::lock_guard lock(m_mutex);
  if (m_silent) return std::string();
  if (!m_community.empty() && request.Community != m_community) return std::string();
  if (request.PduType != 0xA0 && request.PduType != 0xA1 && request.PduType != 0xA5)
    return std::string();
  if (m_garbage) return std::string(kGarbage, sizeof kGarbage - 1);
  if (request.PduType == 0xA5) return AnswerBulk(request);

  TSnmpMessage msg;
  msg.Version = request.Version;
  msg.Community.assign(request.Community);
  msg.RequestId = m_wrongId ? request.RequestId + 1000 : request.RequestId;
  msg.ErrorStatus = 0;
  msg.ErrorIndex = 0;
  TObjectTable objects;
  objects.SetCount(static_cast<int>(request.Oids.size()));
  const bool v1 = request.Version == 0;
  for (size_t i = 0; i < request.Oids.size(); ++i) {
    const std::string& asked = request.Oids[i];
    TSnmpObject& o = objects.At(static_cast<int>(i) + 1);
    o.Id.assign(asked);
    o.Type = 5;
    o.Value.clear();
    const Key key = ToKey(asked);
    bool missing = false;
    if (request.PduType == 0xA0) {
      auto it = m_values.find(key);
      if (it == m_values.end()) {
        missing = true;
        if (!v1) o.Type = 0x81;  // noSuchInstance
      } else {
        o.Type = it->second.second.Type;
        o.Value.assign(it->second.second.Text);
      }
    } else if (const std::optional<std::string> endless = EndlessNext(asked)) {
      o.Id.assign(*endless);
      o.Type = 4;
      o.Value.assign("row " + *endless);
    } else if (m_looping) {
      auto it = m_values.find(key);
      o.Type = it != m_values.end() ? it->second.second.Type : 4;
      o.Value.assign(it != m_values.end() ? it->second.second.Text : std::string("loop"));
    } else {
      auto it = m_values.upper_bound(key);
      if (it == m_values.end()) {
        missing = true;
        if (!v1) o.Type = 0x82;  // endOfMibView
      } else {
        o.Id.assign(it->second.first);
        o.Type = it->second.second.Type;
        o.Value.assign(it->second.second.Text);
      }
    }
    // SNMPv1 has no exception values: the whole answer is noSuchName naming the binding, and
    // carries the bindings as asked.
    if (missing && v1 && msg.ErrorStatus == 0) {
      msg.ErrorStatus = 2;
      msg.ErrorIndex = static_cast<int32_t>(i) + 1;
    }
    auto err = m_errorsFor.find(asked);
    if (err != m_errorsFor.end()) {
      msg.ErrorStatus = err->second.first;
      msg.ErrorIndex = err->second.second;
    }
  }
  if (v1 && msg.ErrorStatus == 2) {
    for (size_t i = 0; i < request.Oids.size(); ++i) {
      TSnmpObject& o = objects.At(static_cast<int>(i) + 1);
      o.Id.assign(request.Oids[i]);
      o.Type = 5;
      o.Value.clear();
    }
  }
  if (m_errorStatus != 0) {
    msg.ErrorStatus = m_errorStatus;
    msg.ErrorIndex = m_errorIndex;
  }
  if (request.PduType == 0xA0 && objects.Count() >= 2) BreakBindings(objects);
  if (m_oversize > 0) {
    const int slot = objects.Count() + 1;
    if (slot <= kMaxObjects) {
      objects.SetCount(slot);
      TSnmpObject& pad = objects.At(slot);
      pad.Id.assign("1.3.6.1.4.1.99999.1");
      pad.Type = 4;
      pad.Value.assign(std::string(m_oversize, 'x'));
    }
  }
  TByteBuffer out;
  std::string errorText;
  if (BuildMessage(kActionResponse, msg, objects, out, errorText) != 0) return std::string();
  return out.str();
}

std::optional<std::string> FakeAgent::AnswerBulk(const Request& request) {
  // REQUIRES: m_mutex held.
  TSnmpMessage msg;
  msg.Version = request.Version;
  msg.Community.assign(request.Community);
  msg.RequestId = m_wrongId ? request.RequestId + 1000 : request.RequestId;
  msg.ErrorStatus = 0;
  msg.ErrorIndex = 0;
  TObjectTable objects;
  const int n = static_cast<int>(request.Oids.size());
  const int nonRepeaters = std::clamp(request.NonRepeaters, 0, n);
  int repetitions = std::max(0, request.MaxRepetitions);
  if (m_bulkTooBigAbove > 0 && repetitions > m_bulkTooBigAbove) {
    msg.ErrorStatus = 1;  // tooBig, with no bindings
  } else {
    if (m_bulkRowLimit > 0) repetitions = std::min(repetitions, m_bulkRowLimit);
    // Each binding is the get-next of the one before it in its column of the answer.
    std::vector<std::string> at(request.Oids.begin(), request.Oids.end());
    auto next = [&](int column) {
      const int slot = objects.Count() + 1;
      if (slot > kMaxObjects) return;
      objects.SetCount(slot);
      TSnmpObject& o = objects.At(slot);
      if (const std::optional<std::string> endless = EndlessNext(at[column])) {
        o.Id.assign(*endless);
        o.Type = 4;
        o.Value.assign("row " + *endless);
        at[column] = *endless;
        return;
      }
      if (m_looping) {
        const auto here = m_values.find(ToKey(at[column]));
        o.Id.assign(at[column]);
        o.Type = here != m_values.end() ? here->second.second.Type : 4;
        o.Value.assign(here != m_values.end() ? here->second.second.Text : std::string("loop"));
        return;
      }
      auto it = m_values.upper_bound(ToKey(at[column]));
      if (it == m_values.end()) {
        o.Id.assign(at[column]);
        o.Type = 0x82;  // endOfMibView: the OID asked, again
        o.Value.clear();
        return;
      }
      o.Id.assign(it->second.first);
      o.Type = it->second.second.Type;
      o.Value.assign(it->second.second.Text);
      at[column] = it->second.first;
    };
    for (int i = 0; i < nonRepeaters; ++i) next(i);
    for (int r = 0; r < repetitions && n > nonRepeaters; ++r)
      for (int i = nonRepeaters; i < n; ++i) next(i);
  }
  for (size_t i = 0; i < request.Oids.size(); ++i) {
    const auto err = m_errorsFor.find(request.Oids[i]);
    if (err == m_errorsFor.end()) continue;
    msg.ErrorStatus = err->second.first;
    msg.ErrorIndex = err->second.second;
  }
  if (m_errorStatus != 0) {
    msg.ErrorStatus = m_errorStatus;
    msg.ErrorIndex = m_errorIndex;
  }
  TByteBuffer out;
  std::string errorText;
  if (BuildMessage(kActionResponse, msg, objects, out, errorText) != 0) return std::string();
  return out.str();
}

void FakeAgent::BreakBindings(TObjectTable& objects) const {
  // REQUIRES: m_mutex held.
  const int last = objects.Count();
  switch (m_bindingFault) {
    case BindingFault::None:
      break;
    case BindingFault::DropLast:
      objects.SetCount(last - 1);
      break;
    case BindingFault::AddExtra: {
      if (last >= kMaxObjects) break;
      objects.SetCount(last + 1);
      TSnmpObject& extra = objects.At(last + 1);
      extra.Id.assign("1.3.6.1.4.1.99999.2.0");
      extra.Type = 0x41;
      extra.Value.assign("77");
      break;
    }
    case BindingFault::NextRowInstead: {
      TSnmpObject& o = objects.At(last);
      const auto it = m_values.upper_bound(ToKey(o.Id.str()));
      if (it == m_values.end()) break;
      o.Id.assign(it->second.first);
      o.Type = it->second.second.Type;
      o.Value.assign(it->second.second.Text);
      break;
    }
  }
}

std::optional<std::string> FakeAgent::EndlessNext(const std::string& oid) const {
  // REQUIRES: m_mutex held.
  const std::string& column = m_endlessColumn;
  if (column.empty() || oid.compare(0, column.size(), column) != 0) return std::nullopt;
  if (oid.size() == column.size()) return column + ".1";
  if (oid[column.size()] != '.') return std::nullopt;
  const Key key = ToKey(oid);
  const size_t arc = ToKey(column).size();
  if (key.size() <= arc) return column + ".1";
  return column + "." + std::to_string(static_cast<uint64_t>(key[arc]) + 1);
}

void FakeAgent::SetEndlessColumn(const std::string& column) {
  std::lock_guard lock(m_mutex);
  m_endlessColumn = column;
}

void FakeAgent::SetBindingFault(BindingFault fault) {
  std::lock_guard lock(m_mutex);
  m_bindingFault = fault;
}

void FakeAgent::SetBulkRowLimit(int rows) {
  std::lock_guard lock(m_mutex);
  m_bulkRowLimit = rows;
}

void FakeAgent::SetBulkTooBigAbove(int rows) {
  std::lock_guard lock(m_mutex);
  m_bulkTooBigAbove = rows;
}

}  // namespace kestrava::testing
