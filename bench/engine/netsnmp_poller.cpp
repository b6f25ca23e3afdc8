#include "netsnmp_poller.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on
#include <sys/resource.h>
#include <sys/select.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace kestrava::bench {

namespace {

constexpr int kBatch = 15;

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

struct TOid {
  oid Arcs[MAX_OID_LEN];
  size_t Length = 0;
};

struct TPoller {
  netsnmp_session* Session = nullptr;
  std::vector<TOid> Oids;
  std::vector<uint64_t> Values;
  size_t Next = 0;  // first OID not sent yet
  int InFlight = 0;
  int Lost = 0;
};

int Answered(int operation, netsnmp_session*, int, netsnmp_pdu* pdu, void* magic);

void SendBatch(TPoller& p) {
  netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
  const size_t first = p.Next;
  for (int i = 0; i < kBatch && p.Next < p.Oids.size(); ++i, ++p.Next)
    snmp_add_null_var(pdu, p.Oids[p.Next].Arcs, p.Oids[p.Next].Length);
  // The batch's first OID index travels as the request's magic, where the answers go.
  void* magic = reinterpret_cast<void*>(first);
  if (snmp_async_send(p.Session, pdu, Answered, magic) == 0) {
    snmp_free_pdu(pdu);
    ++p.Lost;
    return;
  }
  ++p.InFlight;
}

TPoller* g_poller = nullptr;

int Answered(int operation, netsnmp_session*, int, netsnmp_pdu* pdu, void* magic) {
  TPoller& p = *g_poller;
  --p.InFlight;
  if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && pdu) {
    size_t at = reinterpret_cast<size_t>(magic);
    for (netsnmp_variable_list* v = pdu->variables; v && at < p.Values.size(); v = v->next_variable)
      p.Values[at++] = v->val.integer ? static_cast<uint64_t>(*v->val.integer) : 0;
  } else {
    ++p.Lost;
  }
  return 1;
}

}  // namespace

TPeerCycles RunNetSnmpPoller(int port, const std::string& community,
                             const std::vector<std::string>& oids, int window, int cycles,
                             int pauseMs, bool periodic) {
  // Numeric OIDs only: no configuration files, no MIB modules to read.
  setenv("MIBS", "", 1);
  setenv("MIBDIRS", "", 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
  init_snmp("kestrava-bench");
  TPoller poller;
  g_poller = &poller;
  for (const std::string& text : oids) {
    TOid o;
    for (size_t at = 0; at < text.size() && o.Length < MAX_OID_LEN;) {
      const size_t dot = text.find('.', at);
      o.Arcs[o.Length++] = std::strtoul(text.c_str() + at, nullptr, 10);
      at = dot == std::string::npos ? text.size() : dot + 1;
    }
    poller.Oids.push_back(o);
  }
  poller.Values.assign(oids.size(), 0);

  netsnmp_session settings;
  snmp_sess_init(&settings);
  const std::string peer = "udp:127.0.0.1:" + std::to_string(port);
  settings.peername = const_cast<char*>(peer.c_str());
  settings.version = SNMP_VERSION_2c;
  settings.community = reinterpret_cast<u_char*>(const_cast<char*>(community.c_str()));
  settings.community_len = community.size();
  settings.timeout = 1000000;
  settings.retries = 0;
  poller.Session = snmp_open(&settings);
  TPeerCycles out;
  if (!poller.Session) return out;

  auto due = std::chrono::steady_clock::now();
  for (int cycle = 0; cycle < cycles; ++cycle) {
    if (periodic) {
      std::this_thread::sleep_until(due);
      due += std::chrono::milliseconds(pauseMs);
    } else if (cycle > 0 && pauseMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    const double cpu = CpuMs();
    const auto wall = std::chrono::steady_clock::now();
    poller.Next = 0;
    while (poller.Next < poller.Oids.size() || poller.InFlight > 0) {
      while (poller.InFlight < window && poller.Next < poller.Oids.size()) SendBatch(poller);
      int fds = 0;
      int block = 1;
      fd_set readable;
      FD_ZERO(&readable);
      timeval timeout{};
      snmp_select_info(&fds, &readable, &timeout, &block);
      const int ready = select(fds, &readable, nullptr, nullptr, block ? nullptr : &timeout);
      if (ready > 0) {
        snmp_read(&readable);
      } else if (ready == 0) {
        snmp_timeout();
      }
    }
    out.CpuMs.push_back(CpuMs() - cpu);
    out.WallMs.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count());
  }
  out.Lost = poller.Lost;
  snmp_close(poller.Session);
  g_poller = nullptr;
  return out;
}

}  // namespace kestrava::bench
