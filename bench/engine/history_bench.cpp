// The history behind the pie at 20,000 rows polled every second. BM_HistoryHour fills an hour of
// polls, then measures one more poll into the store and reports what the store holds and what
// the process's resident memory grew by. BM_PollWithHistory measures a whole poll (answers to the
// pie) with and without the store as a sink. Goals: the hour in at most 200 MB, the poll with
// the store within 10 % of the poll without it.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <vector>

#include "counting_window.h"
#include "engine/history_store.h"
#include "session_probe.h"

namespace kestrava {
namespace {

constexpr int kRows = 20000;
constexpr int kSlices = 12;

size_t ResidentBytes() {
  long pages = 0;
  long resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// A poll of every row at second t: rates that move, leaders that change every few minutes.
class Polls {
 public:
  Polls() {
    auto layout = std::make_shared<TSnapshotLayout>();
    layout->Columns.push_back(TSnapshotColumn{"1.3.6.1.2.1.31.1.1.1.6", "In", false, true});
    for (int r = 0; r < kRows; ++r) {
      layout->Rows.push_back(TSnapshotRow{"." + std::to_string(r + 1), "eth" + std::to_string(r)});
      layout->PolledOids.push_back("1.3.6.1.2.1.31.1.1.1.6." + std::to_string(r + 1));
      layout->SliceLabels.push_back("eth" + std::to_string(r));
    }
    m_layout = layout;
  }
  TSnapshotPtr Make(int t) {
    auto s = std::make_shared<TPollSnapshot>();
    s->Fresh = true;
    s->TimeMs = 1'700'000'040'000 + int64_t{t} * 1000;
    s->Elapsed = 1;
    s->Layout = m_layout;
    s->Slots.resize(kRows);
    m_candidates.clear();
    for (int r = 0; r < kRows; ++r) {
      const uint64_t delta =
          static_cast<uint64_t>((r * 7919 + t * 13 + (t / 180) * 104729) % 1000003);
      TSlotReading& reading = s->Slots[static_cast<size_t>(r)];
      reading.Delta = TDelta{true, true, false, delta, static_cast<long double>(delta)};
      reading.HasRate = true;
      reading.Rate = static_cast<double>(delta);
      m_candidates.push_back(TSliceCandidate{r, KeyOf(ShownValue(reading, false))});
    }
    BuildPie(
        m_candidates, kSlices,
        [this](int slot) -> const std::string& {
          return m_layout->SliceLabels[static_cast<size_t>(slot)];
        },
        s->Pie);
    return s;
  }

 private:
  std::shared_ptr<const TSnapshotLayout> m_layout;
  std::vector<TSliceCandidate> m_candidates;
};

void BM_HistoryHour(benchmark::State& state) {
  Polls polls;
  const size_t before = ResidentBytes();
  THistoryStore store(60);
  int t = 0;
  for (; t < 3600; ++t) store.TakeSnapshot(polls.Make(t));
  for (auto _ : state) {
    state.PauseTiming();
    const TSnapshotPtr snapshot = polls.Make(t++);
    state.ResumeTiming();
    store.TakeSnapshot(snapshot);
  }
  state.counters["store_MB"] = static_cast<double>(store.MemoryBytes()) / 1e6;
  state.counters["rss_growth_MB"] = static_cast<double>(ResidentBytes() - before) / 1e6;
  int full = 0;
  for (int s = 0; s < store.SeriesCount(); ++s) full += store.FullResolution(s);
  state.counters["full_rows"] = full;
}
BENCHMARK(BM_HistoryHour)->Iterations(200)->Unit(benchmark::kMicrosecond);

// Argument: 1 with the store as a sink, 0 without.
void BM_PollWithHistory(benchmark::State& state) {
  CountingWindow window;
  TSession session(window);
  THistoryStore store(60);
  session.AddSink(window);
  if (state.range(0) != 0) session.AddSink(store);
  TSessionProbe::Setup(session, kRows, 1);
  uint64_t base = 1000000;
  TSessionProbe::AnswerPoll(session, TSessionProbe::Results(session, base));
  base += 5000;
  for (auto _ : state) {
    state.PauseTiming();
    const TSessionProbe::TAnswers answers = TSessionProbe::Results(session, base);
    base += 5000;
    state.ResumeTiming();
    TSessionProbe::AnswerPoll(session, answers);
  }
  if (window.slices != 12) state.SkipWithError("the chart did not get its slices");
}
BENCHMARK(BM_PollWithHistory)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
