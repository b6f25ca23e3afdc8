// What SNMPv3 adds to a poll cycle, against what its crypto costs. Starts net-snmp's snmpd
// (scripts/local-snmpd: authPriv with SHA-256 and AES-128), then polls it with two components in
// turn, one SNMPv2c and one SNMPv3 authPriv: every cycle the same 5,000 OIDs in GetRequests of
// 15, 32 in flight, as the engine polls. Prints the median CPU time of a cycle of each, the
// difference, and the time libcrypto alone needs for the same messages (sign, encrypt, verify,
// decrypt of requests and answers of the sizes seen), with the ratio of the two. A cycle's CPU
// time also counts the event loop's wake-ups, which follow the agent's pace (snmpd answers v3
// more slowly): the time of the sends alone (building, encrypting, signing a request and
// handing it to the socket) is printed beside it.
// usage: bench_v3_cycle [--cycles N] [--oids N]

#include <signal.h>
#include <sys/resource.h>
#include <time.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "snmp/snmpmgr.h"
#include "snmp/usm.h"

namespace {

using namespace kestrava;

constexpr int kBatch = 15;
constexpr int kWindow = 32;
// ifInOctets of the loopback interface: one value every agent has, asked again and again.
const std::string kOid = "1.3.6.1.2.1.2.2.1.10.1";

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct TPoller {
  TSnmpMgr Mgr;
  int InFlight = 0;
  int Answered = 0;
  int Errors = 0;
  size_t Sent = 0;      // bytes of the last request
  size_t Received = 0;  // bytes of the last answer
  double SendMs = 0;    // CPU time of the sends of the last cycle

  TPoller(int port, int version) {
    Mgr.SetLocalPort(0);
    Mgr.SetRemoteHost("127.0.0.1");
    Mgr.SetRemotePort(port);
    Mgr.SetSNMPVersion(version);
    Mgr.SetTimeout(0);
    if (version == 3) {
      Mgr.SetUser("kestrava");
      Mgr.Config("SecurityLevel=authPriv");
      Mgr.Config("AuthType=SHA-256");
      Mgr.Config("AuthPassword=kestrava-auth");
      Mgr.Config("PrivType=AES");
      Mgr.Config("PrivPassword=kestrava-priv");
    } else {
      Mgr.SetCommunity("cobalt");
    }
    Mgr.OnResponse = [this](TSnmpMgr&, int, int, const std::string&, const std::string&, int,
                            const std::string&, int, int, int, const std::string&) {
      --InFlight;
      ++Answered;
    };
    Mgr.OnError = [this](TSnmpMgr&, int, const std::string&) { ++Errors; };
  }

  void Send(int oids) {
    const double from = ThreadCpuMs();
    Mgr.Reset();
    Mgr.SetObjCount(oids);
    for (int i = 1; i <= oids; ++i) Mgr.SetObjId(i, kOid);
    Mgr.SendGetRequest();
    SendMs += ThreadCpuMs() - from;
    ++InFlight;
  }

  // One cycle of `oids` OIDs; its CPU time, or -1 when an answer did not come.
  double Cycle(int oids) {
    const double from = CpuMs();
    const int requests = (oids + kBatch - 1) / kBatch;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int sent = 0;
    Answered = 0;
    InFlight = 0;
    SendMs = 0;
    while (Answered < requests) {
      while (InFlight < kWindow && sent < requests) {
        Send(std::min(kBatch, oids - sent * kBatch));
        ++sent;
      }
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
      if (std::chrono::steady_clock::now() > deadline) return -1;
    }
    return CpuMs() - from;
  }

  // The sizes of a request of 15 and its answer, traced once.
  void LearnSizes() {
    Mgr.OnPacketTrace = [this](TSnmpMgr&, const std::string& packet, int direction,
                               const std::string&, int) {
      (direction == 2 ? Sent : Received) = packet.size();  // 2 out, 1 in
    };
    Cycle(kBatch);
    Mgr.OnPacketTrace = nullptr;
  }
};

// The CPU time of libcrypto's work for `messages` requests and answers of the sizes given: the
// request encrypted and signed, the answer verified and decrypted, with prepared keys.
double CryptoMs(int messages, size_t requestSize, size_t answerSize) {
  const std::string engineId = "\x80\x00\x1f\x88\x80kestrava-bench";
  const std::string authKey = LocalizeKey(kAuthSha256, "kestrava-auth", engineId);
  const std::string privKey = LocalizePrivKey(kAuthSha256, kPrivAes128, "kestrava-priv", engineId);
  TUsmKeys keys;
  if (!keys.Prepare(kAuthSha256, authKey, kPrivAes128, privKey)) return -1;
  // The scoped PDU is most of a message; its header and parameters about 100 octets.
  std::vector<uint8_t> request(requestSize, 0x30);
  std::vector<uint8_t> answer(answerSize, 0x30);
  const size_t auth = 60;
  const size_t scoped = 100;
  TByteBuffer plain;
  uint8_t privParams[kPrivParamsSize];
  constexpr int kRounds = 20;
  const double from = CpuMs();
  for (int round = 0; round < kRounds; ++round) {
    for (int m = 0; m < messages; ++m) {
      std::fill(request.begin() + auth, request.begin() + auth + 24, 0);
      keys.Encrypt(request.data() + scoped, request.size() - scoped, 1, 2, m, privParams);
      keys.Sign(request.data(), request.size(), auth);
      keys.Verify(answer.data(), answer.size(), auth, 24);
      keys.Decrypt(answer.data() + scoped, answer.size() - scoped, 1, 2, privParams,
                   kPrivParamsSize, plain);
    }
  }
  return (CpuMs() - from) / kRounds;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int cycles = 30;
  int oids = 5000;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--cycles") cycles = std::atoi(argv[i + 1]);
    if (arg == "--oids") oids = std::atoi(argv[i + 1]);
  }
  QProcess start;
  start.start(KESTRAVA_SOURCE_DIR "/scripts/local-snmpd", {});
  if (!start.waitForFinished(30000) || start.exitCode() != 0) {
    std::fprintf(stderr, "snmpd did not start: %s\n", start.readAllStandardError().constData());
    return 1;
  }
  const QStringList agent = QString::fromUtf8(start.readAllStandardOutput()).trimmed().split(' ');
  const int port = agent.value(0).toInt();
  const pid_t pid = agent.value(1).toInt();
  const QString dir = agent.value(2);

  int status = 0;
  {
    TPoller v2(port, 2);
    TPoller v3(port, 3);
    v2.Cycle(kBatch);
    v3.Cycle(kBatch);  // the engine and its clock discovered
    v3.LearnSizes();
    std::vector<double> cpu2;
    std::vector<double> cpu3;
    std::vector<double> send2;
    std::vector<double> send3;
    for (int c = 0; c < cycles && status == 0; ++c) {
      const double a = v2.Cycle(oids);
      const double b = v3.Cycle(oids);
      if (a < 0 || b < 0) status = 1;
      cpu2.push_back(a);
      cpu3.push_back(b);
      send2.push_back(v2.SendMs);
      send3.push_back(v3.SendMs);
    }
    if (status == 0) {
      const int messages = (oids + kBatch - 1) / kBatch;
      const double crypto = CryptoMs(messages, v3.Sent, v3.Received);
      const double extra = Median(cpu3) - Median(cpu2);
      std::printf("%d OIDs in %d GetRequests of %d, %d in flight, %d cycles each, in turn\n", oids,
                  messages, kBatch, kWindow, cycles);
      std::printf("SNMPv2c cycle CPU: median %.2f ms (sends %.2f ms)\n", Median(cpu2),
                  Median(send2));
      std::printf("SNMPv3 authPriv (SHA-256, AES-128) cycle CPU: median %.2f ms (sends %.2f ms)\n",
                  Median(cpu3), Median(send3));
      std::printf(
          "v3 extra: %.2f ms (sends %.2f ms); its crypto alone (requests of %zu, answers "
          "of %zu octets): %.2f ms; extra / crypto %.2f\n",
          extra, Median(send3) - Median(send2), v3.Sent, v3.Received, crypto,
          crypto > 0 ? extra / crypto : 0.0);
    } else {
      std::fprintf(stderr, "a cycle did not end: answers missing (errors: v2c %d, v3 %d)\n",
                   v2.Errors, v3.Errors);
    }
  }
  // snmpd saves its state as it ends: its folder goes once it has gone.
  kill(pid, SIGTERM);
  for (int i = 0; i < 100 && kill(pid, 0) == 0; ++i) QThread::msleep(50);
  QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), dir});
  return status;
}
