#pragma once
// TRankTracker: what changed in the ranking of the pie from one poll to the next: a row that
// entered the top (the slices of their own) at rank k, one that left it, and one that rose or
// fell by more than a set number of places. The first poll only sets where everyone stands.
// Rows are named by any number that stays theirs (the history's series).
// Thread: any; a plain value.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrava {

enum class TRankChange : uint8_t { kEntered, kLeft, kRose, kFell };

struct TRankEvent {
  int64_t TimeMs = 0;
  TRankChange Change = TRankChange::kEntered;
  int Row = 0;
  int From = 0;     // the rank before (1 the largest); 0 outside the top
  int To = 0;       // the rank now; 0 outside the top
  int TopSize = 0;  // the slices of their own at this poll
  bool operator==(const TRankEvent&) const = default;
};

class TRankTracker {
 public:
  // places: a move counts when it is by more than this many places.
  explicit TRankTracker(int places = 3) : m_places(places) {}
  void SetPlaces(int places) { m_places = places; }
  int Places() const { return m_places; }

  // One poll's top, largest first; the events of this step (entries and moves in the order of
  // the new ranking, then those who left in the order of the old).
  std::vector<TRankEvent> Step(int64_t timeMs, const std::vector<int>& top);

 private:
  int m_places;
  bool m_started = false;
  std::vector<int> m_top;
  std::unordered_map<int, int> m_rank;  // of m_top
};

// "entered the top 8 at rank 2", "left the top 8 (rank 5)", "rose from rank 7 to rank 2".
std::string RankChangeText(const TRankEvent& event);
// "entered", "left", "rose", "fell": the event's name in the stream.
const char* RankChangeName(TRankChange change);

}  // namespace kestrava
