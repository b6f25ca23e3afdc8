// kestrava-fake-agent: serves an interface-like table of N rows on 127.0.0.1 (ifDescr-style
// labels at 1.3.6.1.2.1.2.2.1.2.i, Counter32 values at .10.i and .16.i that grow every second),
// prints its UDP port on the first line of standard output, and takes commands on standard
// input, one a line: silent on|off, garbage on|off, duplicate on|off, delay MS, restart
// (counters back to small values), quit. Used by soak tests that drive a running program, so
// it logs only the newest requests (--log N, 1,000 by default): its memory stays flat for
// hours at any number of rows.

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "fake_agent.h"

namespace {

void Usage() {
  std::cerr << "usage: kestrava-fake-agent [--instances N] [--port PORT] [--community TEXT]\n"
               "                          [--log N]\n"
               "Commands on standard input: silent on|off, garbage on|off, duplicate on|off,\n"
               "delay MS, restart, quit.\n";
}

}  // namespace

int main(int argc, char** argv) {
  int instances = 10;
  int port = 0;
  std::string community;
  long logLimit = 1000;  // the program never reads its log; a little helps a debugger
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--instances" && i + 1 < argc) {
      instances = std::atoi(argv[++i]);
    } else if (arg == "--port" && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else if (arg == "--community" && i + 1 < argc) {
      community = argv[++i];
    } else if (arg == "--log" && i + 1 < argc) {
      logLimit = std::atol(argv[++i]);
    } else {
      Usage();
      return arg == "--help" ? 0 : 2;
    }
  }
  kestrava::testing::FakeAgent agent(port);
  if (!agent.ok()) {
    std::cerr << "kestrava-fake-agent: cannot bind a UDP port on 127.0.0.1\n";
    return 1;
  }
  agent.SetLogLimit(static_cast<size_t>(logLimit > 0 ? logLimit : 0));
  agent.SetCommunity(community);
  agent.FillInterfaceTable(instances);
  std::cout << agent.port() << std::endl;

  using Clock = std::chrono::steady_clock;
  auto nextTick = Clock::now() + std::chrono::seconds(1);
  uint64_t upTime = 100;
  std::string pending;
  for (;;) {
    const auto now = Clock::now();
    if (now >= nextTick) {
      // Row i moves by a different amount, so the rows sort apart in a top-N view.
      for (int i = 1; i <= instances; ++i) {
        const std::string index = std::to_string(i);
        agent.AdvanceCounter("1.3.6.1.2.1.2.2.1.10." + index, 1000u * static_cast<uint64_t>(i));
        agent.AdvanceCounter("1.3.6.1.2.1.2.2.1.16." + index, 500u * static_cast<uint64_t>(i));
      }
      upTime += 100;
      agent.SetValue("1.3.6.1.2.1.1.3.0", 0x43, std::to_string(upTime));
      nextTick += std::chrono::seconds(1);
    }
    const auto waitMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now()).count();
    pollfd pfd{STDIN_FILENO, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(waitMs > 0 ? waitMs : 0)) <= 0) continue;
    char chunk[256];
    const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) return 0;  // standard input closed: the driver is gone
    pending.append(chunk, static_cast<size_t>(n));
    size_t eol;
    while ((eol = pending.find('\n')) != std::string::npos) {
      std::istringstream line(pending.substr(0, eol));
      pending.erase(0, eol + 1);
      std::string command, value;
      line >> command >> value;
      const bool on = value == "on";
      if (command == "silent") {
        agent.SetSilent(on);
      } else if (command == "garbage") {
        agent.SetGarbage(on);
      } else if (command == "duplicate") {
        agent.SetDuplicate(on);
      } else if (command == "delay") {
        agent.SetDelayMs(std::atoi(value.c_str()));
      } else if (command == "restart") {
        agent.FillInterfaceTable(instances, 1);
        upTime = 100;
      } else if (command == "quit") {
        return 0;
      } else if (!command.empty()) {
        std::cerr << "kestrava-fake-agent: unknown command: " << command << "\n";
        continue;
      }
      if (!command.empty()) std::cout << "ok " << command << std::endl;
    }
  }
}
