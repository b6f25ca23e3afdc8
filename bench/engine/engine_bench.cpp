// One whole poll from its answers to the pie: every answered value read, matched to its slot and
// collected, then the evaluation (into the histories with the wrap rule), the delta of every
// slot, the order of the candidates and the slices with "Other". Goals: under 1 ms at 1,000
// slots, under 10 ms at 10,000.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "counting_window.h"
#include "session_probe.h"

namespace kestrava {
namespace {

// Arguments: instances, targets (slots = instances x targets).
void BM_EvaluatePollAndFeedChart(benchmark::State& state) {
  CountingWindow window;
  TSession session(window);
  session.AddSink(window);
  TSessionProbe::Setup(session, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  uint64_t base = 1000000;
  // One poll before the measured ones, so that every slot has a delta from the first on.
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
  state.counters["slots"] = static_cast<double>(state.range(0) * state.range(1));
}
BENCHMARK(BM_EvaluatePollAndFeedChart)
    ->Args({1000, 1})
    ->Args({500, 2})
    ->Args({10000, 1})
    ->Args({5000, 2})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrava

// The session's SNMP component needs the application object of its thread, as in the program.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
