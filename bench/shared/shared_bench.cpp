#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "shared/formula.h"
#include "shared/instance_helpers.h"
#include "shared/oid_names.h"

namespace kestrava {
namespace {

const std::string kInOctets = "1.3.6.1.2.1.2.2.1.10";
const std::string kOutOctets = "1.3.6.1.2.1.2.2.1.16";

// The newest raw values of one instance row, as the engine's look-up would give them.
std::string LatestValue(const std::string& oid) {
  if (oid == kInOctets) return "1234567890";
  if (oid == kOutOctets) return "987654321";
  return "Null";
}

void BM_FormulaEntrySum(benchmark::State& state) {
  const std::string entry = "In+Out,A+B,A=" + kInOctets + ",B=" + kOutOctets + ",";
  const std::function<std::string(const std::string&)> lookup = LatestValue;
  for (auto _ : state) benchmark::DoNotOptimize(EvaluateFormulaEntry(entry, 5, lookup));
}
BENCHMARK(BM_FormulaEntrySum);

void BM_FormulaEntryBitsPerSecond(benchmark::State& state) {
  const std::string entry = "Bits,A*8/$PI,A=" + kInOctets + ",";
  const std::function<std::string(const std::string&)> lookup = LatestValue;
  for (auto _ : state) benchmark::DoNotOptimize(EvaluateFormulaEntry(entry, 5, lookup));
}
BENCHMARK(BM_FormulaEntryBitsPerSecond);

// Two targets and one formula over 1,000 instances with two-part suffixes, and the response
// OIDs of one full poll, looked up in turn.
struct Poll {
  std::vector<std::string> targets{kInOctets, kOutOctets};
  std::vector<std::string> formulas{"In+Out,A+B,A=" + kInOctets + ",B=" + kOutOctets + ","};
  std::vector<std::string> instances;
  std::vector<std::string> oids;

  Poll() {
    for (int i = 0; i < 1000; ++i)
      instances.push_back("." + std::to_string(i % 7) + "." + std::to_string(i));
    for (const std::string& instance : instances) {
      for (const std::string& target : targets) oids.push_back(target + instance);
    }
  }
};

void BM_SlotOfOidIndexed(benchmark::State& state) {
  const Poll poll;
  TSlotIndex index;
  index.Rebuild(poll.targets, 3, poll.instances, static_cast<int>(poll.formulas.size()));
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(index.SlotOfOid(poll.oids[next]));
    if (++next == poll.oids.size()) next = 0;
  }
}
BENCHMARK(BM_SlotOfOidIndexed);

void BM_SlotOfOidScan(benchmark::State& state) {
  const Poll poll;
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        SlotOfOid(poll.oids[next], poll.targets, 3, poll.instances, poll.formulas));
    if (++next == poll.oids.size()) next = 0;
  }
}
BENCHMARK(BM_SlotOfOidScan);

void BM_SlotIndexRebuild(benchmark::State& state) {
  const Poll poll;
  TSlotIndex index;
  for (auto _ : state) {
    index.Rebuild(poll.targets, 3, poll.instances, static_cast<int>(poll.formulas.size()));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SlotIndexRebuild);

void BM_OidToSymbol(benchmark::State& state) {
  const TOidNames names;
  const std::string oid = kInOctets + ".10.3";
  for (auto _ : state) benchmark::DoNotOptimize(names.Symbol(oid));
}
BENCHMARK(BM_OidToSymbol);

}  // namespace
}  // namespace kestrava
