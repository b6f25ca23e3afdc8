#pragma once
// TStreamSink: /STREAM, a stream of the polls for scripts: one JSON object a line (NDJSON) per
// newly evaluated poll, flushed at once, to standard output ("-") or a file. Each line holds the
// poll's time, the agent, the value mode and every shown row with its index, label, column,
// value (a JSON number, or a string of digits where a number would lose digits above 2^53),
// change, rate per second, rank and, where a value is missing, why. A reader that goes away (a
// closed pipe) is told through `closed` once, and nothing more is written. With a history, the
// changes of the ranking at each poll follow its line, one JSON object a line each, told apart
// by their "event" member.
// Thread: the window's thread only.

#include <cstdio>
#include <functional>
#include <string>

#include "engine/history_store.h"
#include "engine/poll_snapshot.h"

namespace kestrava {

class TStreamSink : public IPollSink {
 public:
  // path "-" is standard output. failed says why the stream could not be written (also when it
  // cannot be opened); closed says that its reader went away.
  TStreamSink(std::string path, std::function<void(const std::string& reason)> failed,
              std::function<void()> closed);
  ~TStreamSink() override;
  TStreamSink(const TStreamSink&) = delete;
  TStreamSink& operator=(const TStreamSink&) = delete;

  // The history whose rank changes follow each poll (it takes each snapshot before this sink);
  // null: none.
  void SetHistory(const THistoryStore* history) { m_history = history; }

  void TakeSnapshot(const TSnapshotPtr& snapshot) override;

  // One poll as its line, without the line break.
  static std::string Line(const TPollSnapshot& snapshot);
  // One change of the ranking as its line, without the line break.
  static std::string EventLine(const TRankEvent& event, const TSeriesInfo& row);

 private:
  bool Open();

  std::string m_path;
  std::function<void(const std::string&)> m_failed;
  std::function<void()> m_closed;
  std::FILE* m_file = nullptr;
  bool m_done = false;
  const THistoryStore* m_history = nullptr;
};

}  // namespace kestrava
