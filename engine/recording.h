#pragma once
// Recordings: the history behind the pie (every row's minutes and polls, the pie of each poll,
// the rank changes) in a file that opens again on any machine. The format is NDJSON compressed
// with gzip ("zcat file | jq ." reads it): a first line that names the format and its version,
// then one line per row ("series"), one per poll ("poll") and one per rank change ("event"),
// as docs/recording-format.md describes. gzip'd lines rather than a database, because a
// recording is written once and read whole, streams from start to end, and stays readable with
// everyday tools; the version line lets later formats add members that older readers ignore.
// Thread: any; the store must not change while it is written or read into.

#include <string>

#include "engine/history_store.h"

namespace kestrava {

inline constexpr int kRecordingVersion = 1;

// The store as a recording: the bytes of the file (a gzip member), for the writer of the
// program's output files to put in place.
std::string RecordingBytes(const THistoryStore& store);
// Reads a recording into the store, in place of what it held; false with the reason (and the
// store unchanged) when the file is no recording, of a newer version, or damaged.
bool ReadRecording(const std::string& path, THistoryStore& store, std::string& error);

}  // namespace kestrava
