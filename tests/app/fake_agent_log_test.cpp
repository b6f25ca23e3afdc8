// The scripted fake agent that the end-to-end and soak runs poll keeps only its newest
// requests: the class keeps a settable number, the program a small one, so an hour of polling
// leaves its memory flat.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "fake_agent.h"
#include "snmp/codec.h"

namespace kestrava {
namespace {

using testing::FakeAgent;

// A UDP socket on 127.0.0.1 that asks one get at a time and waits for its answer.
class Asker {
 public:
  explicit Asker(int port) : m_fd(socket(AF_INET, SOCK_DGRAM, 0)) {
    m_to.sin_family = AF_INET;
    m_to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &m_to.sin_addr);
  }
  ~Asker() { close(m_fd); }
  Asker(const Asker&) = delete;
  Asker& operator=(const Asker&) = delete;

  // True when the agent answered within a second.
  bool Get(const std::string& oid) {
    TSnmpMessage msg;
    msg.Community.assign("cobalt");
    msg.RequestId = ++m_id;
    TObjectTable objects;
    objects.SetCount(1);
    objects.At(1).Id.assign(oid);
    TByteBuffer out;
    std::string error;
    if (BuildMessage(kActionGetRequest, msg, objects, out, error) != 0) return false;
    sendto(m_fd, out.data(), out.size(), 0, reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to);
    pollfd pfd{m_fd, POLLIN, 0};
    if (poll(&pfd, 1, 1000) != 1) return false;
    char answer[65536];
    return recv(m_fd, answer, sizeof answer, 0) > 0;
  }

 private:
  int m_fd;
  sockaddr_in m_to{};
  int32_t m_id = 1000;
};

std::vector<std::string> LoggedOids(const FakeAgent& agent) {
  std::vector<std::string> oids;
  for (const FakeAgent::Request& r : agent.Log()) oids.push_back(r.Oids.at(0));
  return oids;
}

TEST(FakeAgentLog, KeepsTheNewestRequestsUpToItsLimit) {
  FakeAgent agent;
  ASSERT_TRUE(agent.ok());
  agent.FillInterfaceTable(12);
  Asker asker(agent.port());
  const auto descr = [](int i) { return "1.3.6.1.2.1.2.2.1.2." + std::to_string(i); };

  EXPECT_EQ(FakeAgent::kDefaultLogLimit, 100000u);  // room for every test that reads the log
  agent.SetLogLimit(5);
  for (int i = 1; i <= 12; ++i) ASSERT_TRUE(asker.Get(descr(i))) << i;
  EXPECT_EQ(agent.RequestCount(), 12);
  EXPECT_EQ(LoggedOids(agent),
            (std::vector<std::string>{descr(8), descr(9), descr(10), descr(11), descr(12)}));

  // A lower limit drops the oldest at once; a higher one keeps what is there and fills up.
  agent.SetLogLimit(2);
  EXPECT_EQ(LoggedOids(agent), (std::vector<std::string>{descr(11), descr(12)}));
  agent.SetLogLimit(3);
  ASSERT_TRUE(asker.Get(descr(1)));
  ASSERT_TRUE(asker.Get(descr(2)));
  EXPECT_EQ(LoggedOids(agent), (std::vector<std::string>{descr(12), descr(1), descr(2)}));

  // No log at all: requests are still answered and counted.
  agent.SetLogLimit(0);
  EXPECT_TRUE(agent.Log().empty());
  ASSERT_TRUE(asker.Get(descr(3)));
  EXPECT_TRUE(agent.Log().empty());
  EXPECT_EQ(agent.RequestCount(), 15);

  agent.ClearLog();
  agent.SetLogLimit(FakeAgent::kDefaultLogLimit);
  ASSERT_TRUE(asker.Get(descr(4)));
  EXPECT_EQ(LoggedOids(agent), (std::vector<std::string>{descr(4)}));
}

long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// The program at 20,000 rows: tens of thousands of requests leave its memory where it was.
TEST(FakeAgentLog, TheProgramsMemoryStaysFlat) {
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer holds freed memory back in its quarantine: resident memory says nothing
  // of the program's own then (the soak run measures that build over time).
  GTEST_SKIP() << "resident memory is not the program's own under AddressSanitizer";
#endif
  // Its standard input stays open while the test runs: the program ends when it closes.
  int in[2], out[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string program = KESTRAVA_BINARY_DIR "/bin/kestrava-fake-agent";
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("--instances"),
                             const_cast<char*>("20000"), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  FILE* said = fdopen(out[0], "r");
  int port = 0;
  ASSERT_EQ(fscanf(said, "%d", &port), 1);

  Asker asker(port);
  const auto ask = [&](int n) {
    for (int i = 0; i < n; ++i) {
      if (!asker.Get("1.3.6.1.2.1.2.2.1.10." + std::to_string(1 + i % 20000))) return false;
    }
    return true;
  };
  const bool settled = ask(5000);  // the allocator settles
  const long before = ResidentKiB(pid);
  const bool asked = ask(40000);
  const long after = ResidentKiB(pid);
  close(in[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  fclose(said);
  ASSERT_TRUE(settled && asked);
  ASSERT_GT(before, 0);
  EXPECT_EQ(status, 0);
  // An unbounded log grows by about 10 MiB here.
  EXPECT_LT(after - before, 2048) << before << " KiB, then " << after << " KiB";
}

}  // namespace
}  // namespace kestrava
