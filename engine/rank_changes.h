#pragma once
// TRankTracker: what changed in the ranking of the pie from one poll to the next: a row that
// entered the top (the slices of their own) at rank k, one that left it, and one that rose or
// fell by more than a set number of places. The first poll only sets where everyone stands.
// TThresholdWatch: rows whose utilisation went above a threshold, or fell back well below it.
// Rows are named by any number that stays theirs (the history's series).
// Thread: any; plain values.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestrava {

// kAbove and kBelow: a utilisation threshold crossed, up or back down.
enum class TRankChange : uint8_t { kEntered, kLeft, kRose, kFell, kAbove, kBelow };

struct TRankEvent {
  int64_t TimeMs = 0;
  TRankChange Change = TRankChange::kEntered;
  int Row = 0;
  int From = 0;     // the rank before (1 the largest); 0 outside the top
  int To = 0;       // the rank now; 0 outside the top
  int TopSize = 0;  // the slices of their own at this poll
  // A threshold crossed: the row's utilisation then, and the threshold, in percent.
  double Share = 0;
  int Threshold = 0;
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

// A row's utilisation crossing a threshold. A row is above from the poll its utilisation
// reaches the threshold; it is back below only once it falls under nine tenths of it, so that
// a link that hovers at the threshold does not tell of it at every poll. A row first seen above
// tells so at once.
class TThresholdWatch {
 public:
  // percent: the threshold; 0 watches nothing.
  void SetThreshold(int percent);
  int Threshold() const { return m_threshold; }
  // Forgets who stood above (the values are no utilisation any more).
  void Reset() { m_above.clear(); }
  // One poll's utilisation of the rows that have one, as (row, percent); the crossings, in
  // the order given. A row without a utilisation at a poll keeps where it stood.
  std::vector<TRankEvent> Step(int64_t timeMs, const std::vector<std::pair<int, double>>& shares);

 private:
  int m_threshold = 0;
  std::unordered_map<int, bool> m_above;  // row -> above the threshold
};

// "entered the top 8 at rank 2", "left the top 8 (rank 5)", "rose from rank 7 to rank 2",
// "went above 80 % (91.5 %)", "fell back below 80 % (61.2 %)".
std::string RankChangeText(const TRankEvent& event);
// "entered", "left", "rose", "fell", "above", "below": the event's name in the stream.
const char* RankChangeName(TRankChange change);

}  // namespace kestrava
