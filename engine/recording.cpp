#include "engine/recording.h"

#include <zlib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace kestrava {

namespace {

const char kFormatName[] = "kestrava-recording";

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// Missing values are JSON nulls.
QJsonValue Number(float value) {
  return std::isnan(value) ? QJsonValue() : QJsonValue(static_cast<double>(value));
}

float FloatOf(const QJsonValue& value) {
  return value.isDouble() ? static_cast<float>(value.toDouble())
                          : std::numeric_limits<float>::quiet_NaN();
}

QJsonObject SeriesLine(const THistoryStore& store, int s) {
  const TSeriesInfo& info = store.Info(s);
  const THistoryStore::TSeriesData& data = store.Data(s);
  QJsonObject line;
  line[QStringLiteral("series")] = s;
  line[QStringLiteral("index")] = Q(info.Index);
  line[QStringLiteral("label")] = Q(info.Label);
  line[QStringLiteral("column")] = Q(info.Column);
  line[QStringLiteral("target")] = Q(info.Target);
  line[QStringLiteral("polled")] = Q(info.PolledOid);
  line[QStringLiteral("slice")] = Q(info.SliceLabel);
  line[QStringLiteral("firstMinute")] = static_cast<double>(data.FirstMinute);
  QJsonArray minutes;
  for (size_t m = 0; m < data.MinuteCount(); ++m) {
    const THistoryStore::TMinute& minute = data.MinuteAt(m);
    minutes.append(QJsonArray{static_cast<double>(minute.Min), static_cast<double>(minute.Max),
                              static_cast<double>(minute.Sum), static_cast<double>(minute.Count)});
  }
  line[QStringLiteral("minutes")] = minutes;
  if (data.Full) {
    line[QStringLiteral("fullFirst")] = static_cast<double>(data.FullFirst);
    QJsonArray values;
    for (size_t v = 0; v < data.Values.Size(); ++v) values.append(Number(data.Values[v]));
    line[QStringLiteral("values")] = values;
  }
  if (data.Pinned) line[QStringLiteral("pinned")] = true;
  line[QStringLiteral("lastTop")] = static_cast<double>(data.LastTop);
  return line;
}

QJsonObject PollLine(const THistoryFrame& frame) {
  QJsonObject line;
  line[QStringLiteral("poll")] = static_cast<double>(frame.TimeMs);
  line[QStringLiteral("elapsed")] = frame.Elapsed;
  line[QStringLiteral("raw")] = frame.RawValues;
  QJsonArray pie;
  for (const TFrameSlice& slice : frame.Slices) pie.append(QJsonArray{slice.Series, slice.Value});
  line[QStringLiteral("pie")] = pie;
  return line;
}

bool IsCrossing(TRankChange change) {
  return change == TRankChange::kAbove || change == TRankChange::kBelow;
}

QJsonObject EventLine(const TRankEvent& event) {
  QJsonObject line;
  if (IsCrossing(event.Change)) {
    // A line of its own kind, which readers that know only rank changes pass over.
    line[QStringLiteral("crossed")] = RankChangeName(event.Change);
    line[QStringLiteral("time")] = static_cast<double>(event.TimeMs);
    line[QStringLiteral("row")] = event.Row;
    line[QStringLiteral("share")] = event.Share;
    line[QStringLiteral("threshold")] = event.Threshold;
    return line;
  }
  line[QStringLiteral("event")] = RankChangeName(event.Change);
  line[QStringLiteral("time")] = static_cast<double>(event.TimeMs);
  line[QStringLiteral("row")] = event.Row;
  line[QStringLiteral("from")] = event.From;
  line[QStringLiteral("to")] = event.To;
  line[QStringLiteral("top")] = event.TopSize;
  return line;
}

// Compresses lines into a gzip member as they come.
class TGzipWriter {
 public:
  TGzipWriter() {
    // 15 + 16: the largest window, with gzip's header and trailer.
    m_ok = deflateInit2(&m_stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8,
                        Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~TGzipWriter() {
    if (m_ok) deflateEnd(&m_stream);
  }
  TGzipWriter(const TGzipWriter&) = delete;
  TGzipWriter& operator=(const TGzipWriter&) = delete;

  void Put(const QJsonObject& line) {
    QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact);
    bytes.append('\n');
    Deflate(bytes.constData(), bytes.size(), Z_NO_FLUSH);
  }
  std::string Finish() {
    Deflate(nullptr, 0, Z_FINISH);
    return std::move(m_out);
  }

 private:
  void Deflate(const char* data, qsizetype size, int flush) {
    if (!m_ok) return;
    m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    m_stream.avail_in = static_cast<uInt>(size);
    unsigned char chunk[65536];
    do {
      m_stream.next_out = chunk;
      m_stream.avail_out = sizeof chunk;
      deflate(&m_stream, flush);
      m_out.append(reinterpret_cast<const char*>(chunk), sizeof chunk - m_stream.avail_out);
    } while (m_stream.avail_out == 0);
  }

  z_stream m_stream{};
  bool m_ok = false;
  std::string m_out;
};

// One line of the file, without its line break; false at the end.
bool NextLine(gzFile file, std::string& line) {
  line.clear();
  char buffer[65536];
  while (gzgets(file, buffer, sizeof buffer) != nullptr) {
    line += buffer;
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
      return true;
    }
  }
  return !line.empty();
}

bool ChangeNamed(const QString& name, bool crossing, TRankChange& change) {
  for (const TRankChange c : {TRankChange::kEntered, TRankChange::kLeft, TRankChange::kRose,
                              TRankChange::kFell, TRankChange::kAbove, TRankChange::kBelow}) {
    if (IsCrossing(c) != crossing) continue;
    if (name == QLatin1String(RankChangeName(c))) {
      change = c;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string RecordingBytes(const THistoryStore& store) {
  TGzipWriter out;
  QJsonObject head;
  head[QStringLiteral("format")] = QLatin1String(kFormatName);
  head[QStringLiteral("version")] = kRecordingVersion;
  head[QStringLiteral("window")] = store.WindowMinutes();
  head[QStringLiteral("firstPoll")] = static_cast<double>(store.FirstPoll());
  out.Put(head);
  for (int s = 0; s < store.SeriesCount(); ++s) out.Put(SeriesLine(store, s));
  for (int f = 0; f < store.FrameCount(); ++f) out.Put(PollLine(store.Frame(f)));
  for (int e = 0; e < store.EventCount(); ++e) out.Put(EventLine(store.Event(e)));
  return out.Finish();
}

bool ReadRecording(const std::string& path, THistoryStore& store, std::string& error) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<TSeriesInfo> info;
  std::vector<THistoryStore::TSeriesData> series;
  std::vector<THistoryFrame> frames;
  std::vector<TRankEvent> events;
  uint64_t firstPoll = 0;
  int window = 60;
  std::string text;
  int number = 0;
  const auto fail = [&](const std::string& why) {
    error = path + ": " + (number > 0 ? "line " + std::to_string(number) + ": " : "") + why;
    gzclose(file);
    return false;
  };
  while (NextLine(file, text)) {
    ++number;
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
      // A line cut off by the end of damaged data is the damage, not a line of its own.
      int code = Z_OK;
      gzerror(file, &code);
      if (code != Z_OK && code != Z_STREAM_END)
        return fail("damaged (the compressed data ends early or is corrupt)");
      return fail("not a line of a recording");
    }
    const QJsonObject line = document.object();
    if (number == 1) {
      if (line[QStringLiteral("format")].toString() != QLatin1String(kFormatName))
        return fail("not a Kestrava recording");
      const int version = line[QStringLiteral("version")].toInt();
      if (version < 1 || version > kRecordingVersion) {
        return fail("a recording of format version " + std::to_string(version) +
                    "; this Kestrava reads version " + std::to_string(kRecordingVersion));
      }
      window = std::max(1, line[QStringLiteral("window")].toInt(60));
      firstPoll = static_cast<uint64_t>(line[QStringLiteral("firstPoll")].toDouble());
      continue;
    }
    if (line.contains(QStringLiteral("series"))) {
      if (line[QStringLiteral("series")].toInt(-1) != static_cast<int>(series.size()))
        return fail("rows out of order");
      TSeriesInfo row;
      row.Index = line[QStringLiteral("index")].toString().toStdString();
      row.Label = line[QStringLiteral("label")].toString().toStdString();
      row.Column = line[QStringLiteral("column")].toString().toStdString();
      row.Target = line[QStringLiteral("target")].toString().toStdString();
      row.PolledOid = line[QStringLiteral("polled")].toString().toStdString();
      row.SliceLabel = line[QStringLiteral("slice")].toString().toStdString();
      THistoryStore::TSeriesData data;
      data.FirstMinute = static_cast<int64_t>(line[QStringLiteral("firstMinute")].toDouble());
      const QJsonArray minutes = line[QStringLiteral("minutes")].toArray();
      for (qsizetype m = 0; m < minutes.size(); ++m) {
        const QJsonArray v = minutes[m].toArray();
        if (v.size() != 4) return fail("a minute is not [min, max, sum, count]");
        const THistoryStore::TMinute minute{FloatOf(v[0]), FloatOf(v[1]), FloatOf(v[2]),
                                            static_cast<uint32_t>(v[3].toDouble())};
        if (m + 1 < minutes.size()) {
          data.Minutes.PushBack(minute);
        } else {
          data.Open = minute;
          data.AnyMinute = true;
        }
      }
      if (line.contains(QStringLiteral("values"))) {
        data.Full = true;
        data.FullFirst = static_cast<uint64_t>(line[QStringLiteral("fullFirst")].toDouble());
        if (data.FullFirst < firstPoll) return fail("values before the first poll");
        for (const QJsonValue value : line[QStringLiteral("values")].toArray())
          data.Values.PushBack(FloatOf(value));
      }
      data.Pinned = line[QStringLiteral("pinned")].toBool();
      data.LastTop = static_cast<uint64_t>(line[QStringLiteral("lastTop")].toDouble());
      info.push_back(std::move(row));
      series.push_back(std::move(data));
    } else if (line.contains(QStringLiteral("poll"))) {
      THistoryFrame frame;
      frame.TimeMs = static_cast<int64_t>(line[QStringLiteral("poll")].toDouble());
      frame.Elapsed = line[QStringLiteral("elapsed")].toDouble();
      frame.RawValues = line[QStringLiteral("raw")].toBool();
      if (!frames.empty() && frame.TimeMs < frames.back().TimeMs) return fail("polls out of order");
      for (const QJsonValue slice : line[QStringLiteral("pie")].toArray()) {
        const QJsonArray pair = slice.toArray();
        const int row = pair[0].toInt(-2);
        if (pair.size() != 2 || row < -1 || row >= static_cast<int>(series.size()))
          return fail("a slice of no row");
        frame.Slices.push_back(TFrameSlice{row, pair[1].toDouble()});
      }
      frames.push_back(std::move(frame));
    } else if (line.contains(QStringLiteral("event")) || line.contains(QStringLiteral("crossed"))) {
      const bool crossing = line.contains(QStringLiteral("crossed"));
      TRankEvent event;
      const QString name =
          line[crossing ? QStringLiteral("crossed") : QStringLiteral("event")].toString();
      if (!ChangeNamed(name, crossing, event.Change))
        return fail(crossing ? "an unknown threshold crossing" : "an unknown rank change");
      event.TimeMs = static_cast<int64_t>(line[QStringLiteral("time")].toDouble());
      event.Row = line[QStringLiteral("row")].toInt(-1);
      if (event.Row < 0 || event.Row >= static_cast<int>(series.size()))
        return fail(crossing ? "a threshold crossing of no row" : "a rank change of no row");
      event.From = line[QStringLiteral("from")].toInt();
      event.To = line[QStringLiteral("to")].toInt();
      event.TopSize = line[QStringLiteral("top")].toInt();
      event.Share = line[QStringLiteral("share")].toDouble();
      event.Threshold = line[QStringLiteral("threshold")].toInt();
      events.push_back(event);
    }  // lines of later kinds are left to later readers
  }
  if (number == 0) return fail("empty: not a Kestrava recording");
  if (gzclose(file) != Z_OK) {
    error = path + ": damaged (the compressed data ends early or is corrupt)";
    return false;
  }
  store.SetWindowMinutes(window);
  store.Restore(std::move(info), std::move(series), firstPoll, std::move(frames),
                std::move(events));
  return true;
}

}  // namespace kestrava
