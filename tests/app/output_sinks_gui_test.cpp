// The run's sinks: the CSV and PNG files written from the first update that shows a slice on,
// and the scripted run's end: its count, its bound from the very start, and its statuses.
#include <gtest/gtest.h>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/chart_feed.h"
#include "app/output_sinks.h"
#include "app/scripted_run.h"
#include "app/stream_sink.h"
#include "snmp/snmp_value.h"
#include "temp_dir.h"
#include "ui/chart.h"

namespace kestrava {
namespace {

using testing_files::ReadAll;
using testing_files::TempDir;
namespace fs = std::filesystem;

TSnapshotPtr Snapshot(std::vector<TPieSlice> pie, int interval = 5) {
  auto snapshot = std::make_shared<TPollSnapshot>();
  snapshot->Fresh = true;
  snapshot->Interval = interval;
  snapshot->Pie = std::move(pie);
  return snapshot;
}

TEST(OutputSinks, FilesStartWithTheFirstUpdateThatShowsASlice) {
  TempDir dir("kestrava-sinks");
  const fs::path csv = dir.path / "pie.csv";
  const fs::path png = dir.path / "pie.png";
  std::vector<std::string> failures;
  const auto failed = [&](const std::string& reason) { failures.push_back(reason); };
  TChart chart;
  chart.resize(300, 200);
  TCsvExport csvSink(csv.string(), failed);
  TPngSnapshot pngSink(png.string(), 1, chart, failed);

  // The first polls of deltas show nothing yet: no file that could pass for a chart.
  csvSink.TakeSnapshot(Snapshot({}));
  pngSink.TakeSnapshot(Snapshot({}));
  EXPECT_FALSE(fs::exists(csv));
  EXPECT_FALSE(fs::exists(png));

  const std::vector<TPieSlice> pie = {{"eth0", 150, "150", 0, 0}, {"Other", 5, "5", 1, 0}};
  csvSink.TakeSnapshot(Snapshot(pie));
  pngSink.TakeSnapshot(Snapshot(pie));
  EXPECT_EQ(ReadAll(csv), "position,label,value\n0,eth0,150\n1,Other,5\n");
  EXPECT_EQ(QImage(QString::fromStdString(png.string())).size(), QSize(300, 200));

  // From then on every update is written, also one that leaves the pie empty.
  csvSink.TakeSnapshot(Snapshot({}));
  EXPECT_EQ(ReadAll(csv), "position,label,value\n");
  EXPECT_TRUE(failures.empty());

  TCsvExport nowhere((dir.path / "missing" / "pie.csv").string(), failed);
  nowhere.TakeSnapshot(Snapshot(pie));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("missing"), std::string::npos) << failures[0];
}

TEST(ChartFeed, SliceLabelsAreMadeOncePerLayoutAndFollowANewOne) {
  TChart chart;
  TChartFeed feed(chart);
  const auto slice = [](const char* label, double value, int position, int slot) {
    TPieSlice s(label, value, std::to_string(value), position, 0);
    s.Slot = slot;
    return s;
  };
  const auto feedWith = [&](std::vector<std::string> labels, std::vector<TPieSlice> pie) {
    auto layout = std::make_shared<TSnapshotLayout>();
    layout->SliceLabels = std::move(labels);
    auto snapshot = std::make_shared<TPollSnapshot>();
    snapshot->Layout = std::move(layout);
    snapshot->Pie = std::move(pie);
    return snapshot;
  };
  const auto labels = [&] {
    QStringList out;
    for (const TSlice& s : chart.Slices()) out << s.label;
    return out;
  };
  const TSnapshotPtr first = feedWith({"In_lo", "In_eth0", "In_eth1"},
                                      {slice("In_eth0", 5, 0, 1), slice("Other", 3, 1, -1)});
  feed.TakeSnapshot(first);
  EXPECT_EQ(labels(), (QStringList{"In_eth0", "Other"}));
  const QString made = chart.Slices()[0].label;
  // The next poll of the same rows: the same text, not made again.
  auto next = std::make_shared<TPollSnapshot>(*first);
  next->Pie = {slice("In_lo", 7, 0, 0), slice("In_eth0", 5, 1, 1), slice("Other", 1, 2, -1)};
  feed.TakeSnapshot(next);
  EXPECT_EQ(labels(), (QStringList{"In_lo", "In_eth0", "Other"}));
  EXPECT_EQ(chart.Slices()[1].label.constData(), made.constData());
  // Rows that changed: slot 1 names another row now.
  feed.TakeSnapshot(feedWith({"In_lo", "In_eth1"}, {slice("In_eth1", 9, 0, 1)}));
  EXPECT_EQ(labels(), QStringList{"In_eth1"});
}

TEST(ScriptedRun, EndsAfterItsUpdatesWithTheStatusTheyEarned) {
  const std::vector<TPieSlice> pie = {{"eth0", 1, "1", 0, 0}};
  const struct {
    const char* name;
    bool outputFailed;
    int status;
  } cases[] = {{"files written", false, 0}, {"the last update's file failed", true, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TOutputOptions options;
    options.ExitAfter = 2;
    std::vector<int> finished;
    TScriptedRun run(options, [&](int status) { finished.push_back(status); });
    run.Start(5);
    run.TakeSnapshot(Snapshot({}));  // no slice: does not count
    run.TakeSnapshot(Snapshot(pie));
    EXPECT_TRUE(finished.empty());
    if (c.outputFailed) run.OutputFailed();
    run.TakeSnapshot(Snapshot(pie));
    EXPECT_EQ(finished, std::vector<int>{c.status});
    run.TakeSnapshot(Snapshot(pie));
    run.SessionEnded("late");
    EXPECT_EQ(finished.size(), 1u);  // once only
  }
}

TEST(ScriptedRun, IsBoundedFromTheStartNotOnlyOncePollingBegins) {
  TOutputOptions options;
  options.ExitAfter = 3;
  std::vector<int> finished;
  TScriptedRun run(options, [&](int status) { finished.push_back(status); });
  // Before discovery has ended: three intervals, the time-out table and a minute for the walk.
  run.Start(5);
  EXPECT_EQ(run.BoundSeconds(), 3 * 5 + kTimeoutTableSeconds + kDiscoverySeconds);
  run.PollingStarted(5);
  EXPECT_EQ(run.BoundSeconds(), 4 * 5 + kTimeoutTableSeconds);
  run.TakeSnapshot(Snapshot({{"eth0", 1, "1", 0, 0}}, 2));
  EXPECT_EQ(run.BoundSeconds(), 3 * 2 + kTimeoutTableSeconds);

  // The user's bound holds throughout, and ends the run when nothing comes.
  options.ExitTimeout = 1;
  TScriptedRun bounded(options, [&](int status) { finished.push_back(status); });
  bounded.Start(5);
  EXPECT_EQ(bounded.BoundSeconds(), 1);
  bounded.PollingStarted(5);
  EXPECT_EQ(bounded.BoundSeconds(), 1);
  ASSERT_TRUE(finished.empty());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !finished.empty(); }, 5000));
  EXPECT_EQ(finished, std::vector<int>{kExitSessionStopped});
}

TEST(ScriptedRun, AnInteractiveRunNeverEndsByItself) {
  TOutputOptions options;  // no /EXITAFTER
  int finished = 0;
  TScriptedRun run(options, [&](int) { ++finished; });
  run.Start(1);
  EXPECT_EQ(run.BoundSeconds(), 0);
  run.TakeSnapshot(Snapshot({{"eth0", 1, "1", 0, 0}}));
  run.SessionEnded("stopped");
  EXPECT_EQ(finished, 0);
}

}  // namespace
}  // namespace kestrava

namespace kestrava {
namespace {

TEST(StreamSink, WholeNumbersKeepEveryDigitAndMissingValuesSayWhy) {
  auto layout = std::make_shared<TSnapshotLayout>();
  layout->Host = "::1";
  layout->Port = 161;
  layout->Columns = {{"1.3.6.1.2.1.31.1.1.1.6", "ifHCInOctets", false, true}};
  layout->Rows = {{".1", "lo"}, {".2", "eth0"}, {".3", "eth1"}};
  layout->PolledOids = {"1.3.6.1.2.1.31.1.1.1.6.1", "1.3.6.1.2.1.31.1.1.1.6.2",
                        "1.3.6.1.2.1.31.1.1.1.6.3"};
  layout->SliceLabels = {"ifHCInOctets_lo", "ifHCInOctets_eth0", "ifHCInOctets_eth1"};
  auto snapshot = std::make_shared<TPollSnapshot>();
  snapshot->Fresh = true;
  snapshot->TimeMs = 1765425600123;  // 2025-12-11T04:00:00.123Z
  snapshot->Interval = 5;
  snapshot->RawValues = true;
  snapshot->Layout = layout;
  snapshot->Slots.resize(3);
  snapshot->Slots[0].Value = TSample::FromAnswer(TSnmpValue::Number(0x46, 18446744073709551615u));
  snapshot->Slots[1].Value =
      TSample::FromAnswer(TSnmpValue::Number(0x46, 9007199254740992u));  // 2^53
  snapshot->Slots[2].Value = TSample::FromAnswer(TSnmpValue::Octets(0x81, "error: noSuchInstance"));
  const std::string line = TStreamSink::Line(*snapshot);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const std::vector<std::string> parts = {R"("time":"2025-12-11T04:00:00.123Z")",
                                          R"("agent":"::1:161")",
                                          R"("mode":"raw")",
                                          R"("value":"18446744073709551615")",
                                          R"("value":9007199254740992)",
                                          R"("rank":1)",
                                          R"("rank":2)",
                                          R"("null":"not a number")",
                                          R"("type":"Counter64")",
                                          R"("index":"3")"};
  for (const std::string& part : parts) EXPECT_NE(line.find(part), std::string::npos) << part;
  // A snapshot shown again (another mode or slice count) is no new poll: no line.
  TempDir dir("kestrava-stream");
  const fs::path file = dir.path / "polls.ndjson";
  int failures = 0;
  int closed = 0;
  TStreamSink sink(
      file.string(), [&](const std::string&) { ++failures; }, [&] { ++closed; });
  sink.TakeSnapshot(snapshot);
  auto again = std::make_shared<TPollSnapshot>(*snapshot);
  again->Fresh = false;
  sink.TakeSnapshot(again);
  sink.TakeSnapshot(snapshot);
  EXPECT_EQ(ReadAll(file), line + "\n" + line + "\n");
  EXPECT_EQ(failures + closed, 0);
}

// The rank changes of a poll follow its line in the stream, each a JSON object of its own.
TEST(StreamSink, RankChangesFollowTheirPoll) {
  auto layout = std::make_shared<TSnapshotLayout>();
  layout->Host = "127.0.0.1";
  layout->Port = 161;
  layout->Columns = {{"1.3.6.1.2.1.2.2.1.10", "In", false, true}};
  layout->Rows = {{".1", "lo"}, {".2", "eth0"}, {".3", "eth1"}};
  layout->PolledOids = {"1.3.6.1.2.1.2.2.1.10.1", "1.3.6.1.2.1.2.2.1.10.2",
                        "1.3.6.1.2.1.2.2.1.10.3"};
  layout->SliceLabels = {"lo", "eth0", "eth1"};
  const auto poll = [&](int64_t timeMs, int leader) {
    auto snapshot = std::make_shared<TPollSnapshot>();
    snapshot->Fresh = true;
    snapshot->TimeMs = timeMs;
    snapshot->Layout = layout;
    snapshot->Slots.resize(3);
    snapshot->Pie = {{layout->SliceLabels[static_cast<size_t>(leader)], 90, "90", 0, 0},
                     {"Other", 20, "20", 1, 0}};
    snapshot->Pie[0].Slot = leader;
    return snapshot;
  };
  TempDir dir("kestrava-stream");
  const fs::path file = dir.path / "polls.ndjson";
  THistoryStore history;
  TStreamSink sink(
      file.string(), [](const std::string&) {}, [] {});
  sink.SetHistory(&history);
  for (const auto& snapshot :
       {poll(1765425600000, 1), poll(1765425601000, 1), poll(1765425602000, 2)}) {
    history.TakeSnapshot(snapshot);
    sink.TakeSnapshot(snapshot);
  }
  std::istringstream lines(ReadAll(file));
  std::vector<QJsonObject> objects;
  for (std::string line; std::getline(lines, line);)
    objects.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
  ASSERT_EQ(objects.size(), 5u);
  EXPECT_FALSE(objects[2].contains(QStringLiteral("event")));
  EXPECT_EQ(objects[3][QStringLiteral("event")].toString(), QStringLiteral("entered"));
  EXPECT_EQ(objects[3][QStringLiteral("label")].toString(), QStringLiteral("eth1"));
  EXPECT_EQ(objects[3][QStringLiteral("index")].toString(), QStringLiteral("3"));
  EXPECT_EQ(objects[3][QStringLiteral("rank")].toInt(), 1);
  EXPECT_EQ(objects[3][QStringLiteral("top")].toInt(), 1);
  EXPECT_EQ(objects[3][QStringLiteral("time")].toString(),
            QStringLiteral("2025-12-11T04:00:02.000Z"));
  EXPECT_EQ(objects[4][QStringLiteral("event")].toString(), QStringLiteral("left"));
  EXPECT_EQ(objects[4][QStringLiteral("label")].toString(), QStringLiteral("eth0"));
  EXPECT_EQ(objects[4][QStringLiteral("from")].toInt(), 1);
  EXPECT_FALSE(objects[4].contains(QStringLiteral("rank")));
}

TEST(StreamSink, AThresholdCrossedIsALineWithTheShareAndTheThreshold) {
  TSeriesInfo row;
  row.Index = "3";
  row.Label = "eth1";
  row.Column = "ifInOctets";
  TRankEvent event{1765425602000, TRankChange::kAbove, 0, 0, 0, 0};
  event.Share = 91.5;
  event.Threshold = 80;
  const QJsonObject line =
      QJsonDocument::fromJson(QByteArray::fromStdString(TStreamSink::EventLine(event, row)))
          .object();
  EXPECT_EQ(line[QStringLiteral("event")].toString(), QStringLiteral("above"));
  EXPECT_EQ(line[QStringLiteral("label")].toString(), QStringLiteral("eth1"));
  EXPECT_EQ(line[QStringLiteral("share")].toDouble(), 91.5);
  EXPECT_EQ(line[QStringLiteral("threshold")].toInt(), 80);
  EXPECT_FALSE(line.contains(QStringLiteral("top")));
  EXPECT_EQ(line[QStringLiteral("text")].toString(), QStringLiteral("went above 80 % (91.5 %)"));
}

TEST(StreamSink, UtilisationAndUnitsReachTheStream) {
  auto layout = std::make_shared<TSnapshotLayout>();
  layout->Host = "127.0.0.1";
  layout->Port = 161;
  layout->Columns = {{"1.3.6.1.2.1.2.2.1.10", "ifInOctets", false, true, TColumnKind::kOctets}};
  layout->Rows = {{".1", "eth0"}, {".2", "eth1"}};
  layout->PolledOids = {"1.3.6.1.2.1.2.2.1.10.1", "1.3.6.1.2.1.2.2.1.10.2"};
  layout->SliceLabels = {"ifInOctets_eth0", "ifInOctets_eth1"};
  auto snapshot = std::make_shared<TPollSnapshot>();
  snapshot->Fresh = true;
  snapshot->Mode = TValueMode::kUtilisation;
  snapshot->Units = TUnits::kBytes;
  snapshot->Layout = layout;
  snapshot->Slots.resize(2);
  for (TSlotReading& slot : snapshot->Slots) {
    slot.Value = TSample::FromAnswer(TSnmpValue::Number(0x41, 5000));
    slot.Delta = Difference(TSample::FromAnswer(TSnmpValue::Number(0x41, 0)), slot.Value);
    slot.HasRate = true;
    slot.Rate = 1000;  // octets per second
  }
  snapshot->Slots[0].Speed = 10000;  // 80 % full
  snapshot->Slots[0].Shown = TQuantity{true, TUnit::kPercent, 80, 10000};
  const QJsonObject poll =
      QJsonDocument::fromJson(QByteArray::fromStdString(TStreamSink::Line(*snapshot))).object();
  EXPECT_EQ(poll[QStringLiteral("mode")].toString(), QStringLiteral("utilisation"));
  EXPECT_EQ(poll[QStringLiteral("units")].toString(), QStringLiteral("bytes"));
  const QJsonArray rows = poll[QStringLiteral("rows")].toArray();
  ASSERT_EQ(rows.size(), 2);
  const QJsonObject known = rows[0].toObject();
  EXPECT_EQ(known[QStringLiteral("speed")].toDouble(), 10000);
  EXPECT_EQ(known[QStringLiteral("utilisation")].toDouble(), 80);
  EXPECT_EQ(known[QStringLiteral("shown")].toString(), QStringLiteral("80 % of 10 kbit/s"));
  EXPECT_EQ(known[QStringLiteral("rank")].toInt(), 1);
  // Without a speed: no share, and no rank, as the pie leaves the row out.
  const QJsonObject unknown = rows[1].toObject();
  EXPECT_TRUE(unknown[QStringLiteral("utilisation")].isNull());
  EXPECT_TRUE(unknown[QStringLiteral("rank")].isNull());
  EXPECT_FALSE(unknown.contains(QStringLiteral("speed")));
}

}  // namespace
}  // namespace kestrava
