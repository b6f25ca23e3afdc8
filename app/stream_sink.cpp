#include "app/stream_sink.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "app/output_files.h"
#include "engine/pie.h"

namespace kestrava {

namespace {

// Whole numbers a JSON reader takes exactly: up to 2^53.
constexpr uint64_t kExactInDouble = uint64_t{1} << 53;

QString Digits(unsigned __int128 magnitude, bool negative) {
  char text[48];
  char* at = text + sizeof text;
  do {
    *--at = static_cast<char>('0' + static_cast<int>(magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) *--at = '-';
  return QString::fromLatin1(at, static_cast<qsizetype>(text + sizeof text - at));
}

QJsonValue Whole(unsigned __int128 magnitude, bool negative) {
  if (magnitude <= kExactInDouble) {
    const double value = static_cast<double>(magnitude);
    return negative ? -value : value;
  }
  return Digits(magnitude, negative);
}

QJsonValue ValueOf(const TSample& sample) {
  if (sample.IsNull()) return QJsonValue::Null;
  if (sample.IsWhole()) return Whole(sample.Magnitude(), sample.Negative());
  return static_cast<double>(sample.Number());
}

QJsonValue DeltaOf(const TDelta& delta) {
  if (!delta.Present) return QJsonValue::Null;
  if (delta.Whole) return Whole(delta.Magnitude, delta.Negative);
  return static_cast<double>(delta.Number);
}

const char* ReasonText(TNullReason reason) {
  switch (reason) {
    case TNullReason::kNotANumber:
      return "not a number";
    case TNullReason::kWrapped:
      return "wrapped";
    case TNullReason::kRestarted:
      return "agent restarted";
    case TNullReason::kNoPrevious:
      return "no previous value";
    default:
      return "no answer";
  }
}

// The BER types an agent sends for numbers, by name.
const char* TypeName(uint8_t type) {
  switch (type) {
    case 0x02:
      return "Integer";
    case 0x41:
      return "Counter32";
    case 0x42:
      return "Gauge32";
    case 0x43:
      return "TimeTicks";
    case 0x46:
      return "Counter64";
    case 0x47:
      return "Unsigned32";
    default:
      return nullptr;
  }
}

}  // namespace

TStreamSink::TStreamSink(std::string path, std::function<void(const std::string&)> failed,
                         std::function<void()> closed)
    : m_path(std::move(path)), m_failed(std::move(failed)), m_closed(std::move(closed)) {}

TStreamSink::~TStreamSink() {
  if (m_file && m_file != stdout) std::fclose(m_file);
}

bool TStreamSink::Open() {
  if (m_file) return true;
  if (m_path == "-") {
    // A closed pipe must end the run through its own status, not kill the process.
    std::signal(SIGPIPE, SIG_IGN);
    m_file = stdout;
    return true;
  }
  std::string error;
  if (!CheckOutputPath(m_path, error)) {
    m_failed(error);
    return false;
  }
  m_file = std::fopen(m_path.c_str(), "w");
  if (!m_file) {
    m_failed(m_path + ": " + std::strerror(errno));
    return false;
  }
  return true;
}

void TStreamSink::TakeSnapshot(const TSnapshotPtr& snapshot) {
  if (m_done || !snapshot->Fresh || !snapshot->Layout) return;
  if (!Open()) {
    m_done = true;
    return;
  }
  std::string line = Line(*snapshot) + '\n';
  if (m_history) {
    for (const TRankEvent& event : m_history->LastEvents())
      line += EventLine(event, m_history->Info(event.Row)) + '\n';
  }
  if (std::fwrite(line.data(), 1, line.size(), m_file) == line.size() && std::fflush(m_file) == 0)
    return;
  const int error = errno;
  m_done = true;
  if (error == EPIPE) {
    m_closed();
  } else {
    m_failed(m_path + ": " + std::strerror(error));
  }
}

std::string TStreamSink::Line(const TPollSnapshot& snapshot) {
  const TSnapshotLayout& layout = *snapshot.Layout;
  const int width = layout.Width();
  // RawValues stands for the first mode wherever a snapshot was made without Mode.
  const TValueMode mode = snapshot.RawValues ? TValueMode::kRaw : snapshot.Mode;
  // Ranks by what the pie shows, largest first, ties as the pie orders them.
  std::vector<TSliceCandidate> ranked;
  for (size_t s = 0; s < snapshot.Slots.size(); ++s) {
    if (!layout.Columns[s % static_cast<size_t>(width)].Shown) continue;
    const TCurrentValue value = ShownValue(snapshot.Slots[s], mode);
    if (value.Present && !value.Negative)
      ranked.push_back(TSliceCandidate{static_cast<int>(s), KeyOf(value)});
  }
  std::vector<TPieSlice> order;
  BuildPie(
      ranked, 0,
      [](int) -> const std::string& {
        static const std::string kNone;
        return kNone;
      },
      order);
  std::vector<int> rank(snapshot.Slots.size(), 0);
  for (size_t r = 0; r < ranked.size(); ++r)
    rank[static_cast<size_t>(ranked[r].Slot)] = static_cast<int>(r) + 1;

  QJsonArray rows;
  for (size_t s = 0; s < snapshot.Slots.size(); ++s) {
    const TSnapshotColumn& column = layout.Columns[s % static_cast<size_t>(width)];
    if (!column.Shown) continue;
    const TSlotReading& reading = snapshot.Slots[s];
    const TSnapshotRow& row = layout.Rows[s / static_cast<size_t>(width)];
    QJsonObject out;
    out[QStringLiteral("index")] =
        QString::fromStdString(row.Suffix.empty() ? row.Suffix : row.Suffix.substr(1));
    out[QStringLiteral("label")] = QString::fromStdString(row.Label);
    out[QStringLiteral("column")] = QString::fromStdString(column.Name);
    if (!layout.PolledOids[s].empty())
      out[QStringLiteral("oid")] = QString::fromStdString(layout.PolledOids[s]);
    if (const char* type = TypeName(reading.Value.Type())) out[QStringLiteral("type")] = type;
    out[QStringLiteral("value")] = ValueOf(reading.Value);
    out[QStringLiteral("delta")] = DeltaOf(reading.Delta);
    out[QStringLiteral("rate")] = reading.HasRate ? QJsonValue(reading.Rate) : QJsonValue::Null;
    out[QStringLiteral("rank")] = rank[s] > 0 ? QJsonValue(rank[s]) : QJsonValue::Null;
    if (reading.Speed > 0) out[QStringLiteral("speed")] = reading.Speed;
    if (mode == TValueMode::kUtilisation) {
      const TCurrentValue share = ShownValue(reading, mode);
      out[QStringLiteral("utilisation")] =
          share.Present ? QJsonValue(static_cast<double>(share.Number)) : QJsonValue::Null;
    }
    if (reading.Shown.Present && reading.Shown.Unit != TUnit::kNone)
      out[QStringLiteral("shown")] = QString::fromStdString(UnitText(reading.Shown));
    const bool missing = snapshot.RawValues ? reading.Value.IsNull() : !reading.Delta.Present;
    if (missing) {
      out[QStringLiteral("null")] =
          ReasonText(snapshot.RawValues ? reading.Value.NullReason() : reading.DeltaReason);
    }
    rows.append(out);
  }
  QJsonObject poll;
  poll[QStringLiteral("time")] =
      QDateTime::fromMSecsSinceEpoch(snapshot.TimeMs, Qt::UTC).toString(Qt::ISODateWithMs);
  poll[QStringLiteral("agent")] =
      QString::fromStdString(layout.Host) + QLatin1Char(':') + QString::number(layout.Port);
  poll[QStringLiteral("mode")] = ValueModeName(mode);
  poll[QStringLiteral("units")] = UnitsName(snapshot.Units);
  poll[QStringLiteral("interval")] = snapshot.Interval;
  poll[QStringLiteral("elapsed")] = snapshot.Elapsed;
  if (snapshot.Uptime >= 0) poll[QStringLiteral("uptime")] = static_cast<double>(snapshot.Uptime);
  poll[QStringLiteral("rows")] = rows;
  return QJsonDocument(poll).toJson(QJsonDocument::Compact).toStdString();
}

std::string TStreamSink::EventLine(const TRankEvent& event, const TSeriesInfo& row) {
  QJsonObject out;
  out[QStringLiteral("event")] = RankChangeName(event.Change);
  out[QStringLiteral("time")] =
      QDateTime::fromMSecsSinceEpoch(event.TimeMs, Qt::UTC).toString(Qt::ISODateWithMs);
  out[QStringLiteral("index")] = QString::fromStdString(row.Index);
  out[QStringLiteral("label")] = QString::fromStdString(row.Label);
  out[QStringLiteral("column")] = QString::fromStdString(row.Column);
  if (event.Change == TRankChange::kAbove || event.Change == TRankChange::kBelow) {
    out[QStringLiteral("share")] = event.Share;
    out[QStringLiteral("threshold")] = event.Threshold;
  } else {
    out[QStringLiteral("top")] = event.TopSize;
  }
  if (event.From > 0) out[QStringLiteral("from")] = event.From;
  if (event.To > 0) out[QStringLiteral("rank")] = event.To;
  out[QStringLiteral("text")] = QString::fromStdString(RankChangeText(event));
  return QJsonDocument(out).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace kestrava
