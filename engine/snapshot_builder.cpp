#include "engine/snapshot_builder.h"

#include "engine/shown_quantity.h"
#include "shared/instance_helpers.h"

namespace kestrava {

namespace {

bool RowsNamed(int instanceMode) {
  return instanceMode == kInstanceModeAtRuntime || instanceMode == kInstanceModeAllInstances;
}

}  // namespace

TCurrentValue ShownValue(const TSlotReading& reading, bool raw) {
  TCurrentValue value;
  if (raw) {
    const TSample& newest = reading.Value;
    if (newest.IsNull()) return value;
    value.Present = true;
    value.Whole = newest.IsWhole();
    value.Negative = newest.Negative();
    value.Magnitude = newest.Magnitude();
    value.Number = newest.Number();
    return value;
  }
  value.Present = reading.Delta.Present;
  value.Whole = reading.Delta.Whole;
  value.Negative = reading.Delta.Negative;
  value.Magnitude = reading.Delta.Magnitude;
  value.Number = reading.Delta.Number;
  return value;
}

const char* ValueModeName(TValueMode mode) {
  switch (mode) {
    case TValueMode::kRaw:
      return "raw";
    case TValueMode::kUtilisation:
      return "utilisation";
    default:
      return "delta";
  }
}

TCurrentValue ShownValue(const TSlotReading& reading, TValueMode mode) {
  if (mode != TValueMode::kUtilisation) return ShownValue(reading, mode == TValueMode::kRaw);
  TCurrentValue value;
  if (!reading.HasRate || reading.Speed <= 0) return value;
  // Bits per second of the link's speed, in percent; the key rounds it as the legend does.
  const long double percent = static_cast<long double>(reading.Rate) * 800 / reading.Speed;
  value.Present = true;
  value.Negative = percent < 0;
  value.Number = percent;
  return value;
}

void TSnapshotBuilder::PollEvaluated(int64_t nowMs, int64_t uptime) {
  // The agent's clock counts the time between its two answers; an uptime that went back is a
  // restart, after which no time since the poll before can be told. An uptime that stood still
  // (or none) leaves the local clock.
  if (uptime >= 0 && m_uptime >= 0 && uptime != m_uptime) {
    m_elapsed = uptime > m_uptime ? static_cast<double>(uptime - m_uptime) / 100 : 0;
  } else {
    m_elapsed = m_timeMs > 0 && nowMs > m_timeMs ? static_cast<double>(nowMs - m_timeMs) / 1000 : 0;
  }
  m_timeMs = nowMs;
  m_uptime = uptime;
}

void TSnapshotBuilder::SetShownFilter(TLabelPattern pattern) {
  m_shown = std::move(pattern);
  m_layout.reset();
}

void TSnapshotBuilder::ForgetTime() {
  m_timeMs = 0;
  m_uptime = -1;
  m_elapsed = 0;
}

std::shared_ptr<const TSnapshotLayout> TSnapshotBuilder::Layout(const TSnapshotSources& in) {
  if (m_layout) return m_layout;
  const TConfigRec& config = in.Config;
  auto layout = std::make_shared<TSnapshotLayout>();
  layout->Host = in.Session.Host;
  layout->Port = in.Session.RemotePort;
  layout->SnmpVersion = in.Session.SnmpVersion;
  if (config.HasLabelOid) layout->LabelOid = config.LabelOid;
  for (size_t t = 0; t < config.TargetOids.size(); ++t) {
    const bool hidden = t < config.TargetVisibility.size() && config.TargetVisibility[t] == "2";
    layout->Columns.push_back(
        TSnapshotColumn{config.TargetOids[t], config.OidNames.Symbol(config.TargetOids[t]), false,
                        !hidden, ColumnKindOf(config.TargetOids[t], config.OidNames)});
  }
  for (size_t f = 0; f < config.Formulas.size(); ++f) {
    const std::string& formula = config.Formulas[f];
    layout->Columns.push_back(
        TSnapshotColumn{formula, FormulaLabel(formula), true, true, TColumnKind::kOther,
                        f < config.FormulaUnits.size() ? config.FormulaUnits[f] : std::string()});
  }

  const int width = layout->Width();
  const int slots = in.Slots.SlotCount();
  const int rows = width == 0 ? 0 : slots / width;
  const bool named = RowsNamed(config.InstanceMode);
  if (named && static_cast<size_t>(rows) == in.Rows.size()) {
    // The labels stay where the discovery keeps them.
    layout->Rows = in.Rows;
  } else {
    std::vector<TSnapshotRow> own(static_cast<size_t>(rows));
    for (size_t r = 0; named && r < own.size() && r < in.Rows.size(); ++r) own[r] = in.Rows[r];
    layout->Rows = std::move(own);
  }
  layout->SliceLabels.resize(static_cast<size_t>(slots));
  for (int r = 0; r < rows; ++r) {
    const TSnapshotRow& row = layout->Rows[static_cast<size_t>(r)];
    // A row the discovery no longer has gets no label: its slice would name another row.
    if (named && r >= static_cast<int>(in.Rows.size())) continue;
    for (int c = 0; c < width; ++c) {
      layout->SliceLabels[static_cast<size_t>(r * width + c)] = ColumnSliceLabel(
          static_cast<size_t>(c), config.TargetOids, config.Formulas, config.InstanceMode,
          config.HasLabelOid, row.Label, row.Suffix, config.OidNames);
    }
  }
  layout->FilteredOut = in.FilteredOut;
  layout->Hidden.resize(static_cast<size_t>(slots));
  if (!m_shown.Empty()) {
    for (int s = 0; s < slots; ++s) {
      layout->Hidden[static_cast<size_t>(s)] =
          !m_shown.Matches(layout->SliceLabels[static_cast<size_t>(s)]);
    }
  }
  layout->PolledOids.resize(static_cast<size_t>(slots));
  in.Plan.ForEachPolled([&](int slot, std::string_view oid) {
    if (slot >= 0 && slot < slots) layout->PolledOids[static_cast<size_t>(slot)] = oid;
  });
  m_layout = std::move(layout);
  return m_layout;
}

std::shared_ptr<TPollSnapshot> TSnapshotBuilder::Blank() {
  // A sink may keep a snapshot as long as it likes: only one that no one else holds is reused.
  std::shared_ptr<TPollSnapshot> snapshot;
  if (m_older && m_older.use_count() == 1) {
    snapshot = std::move(m_older);
    std::vector<TSlotReading> slots = std::move(snapshot->Slots);
    std::vector<TPieSlice> pie = std::move(snapshot->Pie);
    *snapshot = TPollSnapshot{};
    snapshot->Slots = std::move(slots);
    snapshot->Pie = std::move(pie);
  } else {
    snapshot = std::make_shared<TPollSnapshot>();
  }
  m_older = std::move(m_last);
  m_last = snapshot;
  return snapshot;
}

TSnapshotPtr TSnapshotBuilder::Build(const TSnapshotSources& in, bool fresh, int wanted) {
  const std::shared_ptr<TPollSnapshot> snapshot = Blank();
  snapshot->Fresh = fresh;
  snapshot->Counters = Counters;
  snapshot->TimeMs = m_timeMs;
  snapshot->Uptime = m_uptime;
  snapshot->Elapsed = m_elapsed;
  snapshot->Interval = in.Session.Interval;
  snapshot->RawValues = in.Config.RawValues;
  snapshot->Mode = in.Config.RawValues     ? TValueMode::kRaw
                   : in.Config.Utilisation ? TValueMode::kUtilisation
                                           : TValueMode::kDelta;
  snapshot->Units = in.Config.Units;
  snapshot->Layout = Layout(in);
  const TSnapshotLayout& layout = *snapshot->Layout;

  const int slots = in.Slots.SlotCount();
  const int width = layout.Width();
  snapshot->Slots.resize(static_cast<size_t>(slots));
  m_candidates.clear();
  for (int s = 0; s < slots; ++s) {
    TSlotReading& reading = snapshot->Slots[static_cast<size_t>(s)];
    const TSample& before = in.Slots.Previous(s);
    reading.Value = in.Slots.Newest(s);
    reading.Delta = Difference(before, reading.Value);
    reading.DeltaReason = DifferenceNullReason(before, reading.Value);
    reading.HasRate = reading.Delta.Present && m_elapsed > 0;
    reading.Rate = reading.HasRate ? static_cast<double>(reading.Delta.Number) / m_elapsed : 0;
    const TSnapshotColumn& column = layout.Columns[static_cast<size_t>(s % width)];
    const TSnapshotRow& row = layout.Rows[static_cast<size_t>(s / width)];
    // The speed is known by the row's ifIndex: only rows of an instance mode have one.
    reading.Speed = in.Facts && column.Kind == TColumnKind::kOctets && !row.Suffix.empty()
                        ? in.Facts->LinkSpeed(row.Suffix)
                        : 0;
    reading.Shown = ShownQuantity(reading, TShownColumn{column.Kind, column.Formula, column.Unit},
                                  snapshot->Mode, snapshot->Units);
    if (!column.Shown || layout.Hidden[static_cast<size_t>(s)]) continue;
    const TCurrentValue value = ShownValue(reading, snapshot->Mode);
    if (snapshot->Mode == TValueMode::kUtilisation && !value.Present && reading.HasRate &&
        column.Kind == TColumnKind::kOctets)
      ++snapshot->WithoutSpeed;
    // Negative values are left out, not even summed into "Other".
    if (!value.Present || value.Negative) continue;
    m_candidates.push_back(TSliceCandidate{s, KeyOf(value)});
  }
  snapshot->AnyValue = !m_candidates.empty();
  BuildPie(
      m_candidates, wanted,
      [&layout](int slot) -> const std::string& {
        return layout.SliceLabels[static_cast<size_t>(slot)];
      },
      snapshot->Pie);
  TQuantitySum other;
  for (TPieSlice& slice : snapshot->Pie) {
    if (slice.Slot >= 0) slice.Shown = snapshot->Slots[static_cast<size_t>(slice.Slot)].Shown;
  }
  if (!snapshot->Pie.empty() && snapshot->Pie.back().Slot < 0) {
    // The candidates past the slices of their own are what "Other" sums.
    const size_t own = snapshot->Pie.size() - 1;
    for (size_t k = own; k < m_candidates.size(); ++k)
      other.Add(snapshot->Slots[static_cast<size_t>(m_candidates[k].Slot)].Shown);
    snapshot->Pie.back().Shown = other.Sum();
  }
  return snapshot;
}

}  // namespace kestrava
