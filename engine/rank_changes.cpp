#include "engine/rank_changes.h"

#include <charconv>
#include <cstdlib>

namespace kestrava {

std::vector<TRankEvent> TRankTracker::Step(int64_t timeMs, const std::vector<int>& top) {
  std::vector<TRankEvent> events;
  const int size = static_cast<int>(top.size());
  std::unordered_map<int, int> rank;
  for (int r = 0; r < size; ++r) rank.emplace(top[static_cast<size_t>(r)], r + 1);
  if (m_started) {
    for (int r = 0; r < size; ++r) {
      const int row = top[static_cast<size_t>(r)];
      const auto before = m_rank.find(row);
      if (before == m_rank.end()) {
        events.push_back(TRankEvent{timeMs, TRankChange::kEntered, row, 0, r + 1, size});
      } else if (std::abs(before->second - (r + 1)) > m_places) {
        const TRankChange change = r + 1 < before->second ? TRankChange::kRose : TRankChange::kFell;
        events.push_back(TRankEvent{timeMs, change, row, before->second, r + 1, size});
      }
    }
    for (const int row : m_top) {
      if (!rank.contains(row))
        events.push_back(TRankEvent{timeMs, TRankChange::kLeft, row, m_rank[row], 0, size});
    }
  }
  m_started = true;
  m_top = top;
  m_rank = std::move(rank);
  return events;
}

void TThresholdWatch::SetThreshold(int percent) {
  if (percent == m_threshold) return;
  m_threshold = percent;
  m_above.clear();
}

std::vector<TRankEvent> TThresholdWatch::Step(int64_t timeMs,
                                              const std::vector<std::pair<int, double>>& shares) {
  std::vector<TRankEvent> events;
  if (m_threshold <= 0) return events;
  const double rearm = m_threshold * 0.9;
  for (const auto& [row, share] : shares) {
    bool& above = m_above[row];
    TRankChange change;
    if (!above && share >= m_threshold) {
      change = TRankChange::kAbove;
    } else if (above && share < rearm) {
      change = TRankChange::kBelow;
    } else {
      continue;
    }
    above = change == TRankChange::kAbove;
    TRankEvent event{timeMs, change, row, 0, 0, 0};
    event.Share = share;
    event.Threshold = m_threshold;
    events.push_back(event);
  }
  return events;
}

const char* RankChangeName(TRankChange change) {
  switch (change) {
    case TRankChange::kEntered:
      return "entered";
    case TRankChange::kLeft:
      return "left";
    case TRankChange::kRose:
      return "rose";
    case TRankChange::kFell:
      return "fell";
    case TRankChange::kAbove:
      return "above";
    case TRankChange::kBelow:
      return "below";
  }
  return "";
}

std::string RankChangeText(const TRankEvent& event) {
  const std::string top = "the top " + std::to_string(event.TopSize);
  switch (event.Change) {
    case TRankChange::kEntered:
      return "entered " + top + " at rank " + std::to_string(event.To);
    case TRankChange::kLeft:
      return "left " + top + " (rank " + std::to_string(event.From) + ")";
    case TRankChange::kRose:
    case TRankChange::kFell:
      return std::string(RankChangeName(event.Change)) + " from rank " +
             std::to_string(event.From) + " to rank " + std::to_string(event.To);
    case TRankChange::kAbove:
    case TRankChange::kBelow: {
      // One decimal and a point whatever the locale, as the stream has it.
      char share[32];
      const auto end =
          std::to_chars(share, share + sizeof share, event.Share, std::chars_format::fixed, 1).ptr;
      return std::string(event.Change == TRankChange::kAbove ? "went above " : "fell back below ") +
             std::to_string(event.Threshold) + " % (" + std::string(share, end) + " %)";
    }
  }
  return {};
}

}  // namespace kestrava
