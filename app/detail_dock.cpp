#include "app/detail_dock.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/rate_text.h"
#include "ui/history_plot.h"

namespace kestrava {

namespace {

constexpr int kRanges[] = {5, 15, 60};
// The pie's palette without its white and pale entries, which vanish on the plot's ground.
constexpr uint32_t kLineColours[] = {0xFF0000, 0x008000, 0x0000FF, 0xFF00FF, 0x008080,
                                     0x800000, 0x808000, 0x000080, 0x800080, 0x808080};

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

QString DurationText(double seconds) {
  const long total = std::lround(std::max(0.0, seconds));
  if (total < 60) return QStringLiteral("%1 s").arg(total);
  if (total < 3600)
    return QStringLiteral("%1 min %2 s").arg(total / 60).arg(total % 60, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1 h %2 min")
      .arg(total / 3600)
      .arg(total % 3600 / 60, 2, 10, QLatin1Char('0'));
}

TDetailDock::TDetailDock(const THistoryStore& store, QWidget* parent)
    : QDockWidget(QStringLiteral("Details"), parent), m_store(store) {
  setObjectName(QStringLiteral("DetailDock"));
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  RowTitle = new QLabel(body);
  QFont bold = RowTitle->font();
  bold.setBold(true);
  RowTitle->setFont(bold);
  RowIndex = new QLabel(body);
  RowTargets = new QLabel(body);
  RowTargets->setWordWrap(true);
  layout->addWidget(RowTitle);
  layout->addWidget(RowIndex);
  layout->addWidget(RowTargets);

  auto* ranges = new QHBoxLayout;
  auto* group = new QButtonGroup(this);
  for (const int minutes : kRanges) {
    auto* button = new QToolButton(body);
    button->setText(QStringLiteral("%1 min").arg(minutes));
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setChecked(minutes == m_rangeMinutes);
    group->addButton(button);
    ranges->addWidget(button);
    RangeButtons.push_back(button);
    connect(button, &QToolButton::clicked, this, [this, minutes] { SetRangeMinutes(minutes); });
  }
  ranges->addStretch(1);
  PinButton = new QToolButton(body);
  PinButton->setText(QStringLiteral("Pin"));
  PinButton->setToolTip(QStringLiteral("Keep this row in the plot and every poll of it"));
  PinButton->setCheckable(true);
  PinButton->setAutoRaise(true);
  ranges->addWidget(PinButton);
  layout->addLayout(ranges);
  connect(PinButton, &QToolButton::clicked, this, &TDetailDock::TogglePin);

  Plot = new THistoryPlot(body);
  layout->addWidget(Plot, 1);

  auto* numbers = new QFormLayout;
  const auto row = [&](const QString& name) {
    auto* value = new QLabel(body);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    numbers->addRow(name, value);
    return value;
  };
  CurrentValue = row(QStringLiteral("Current"));
  MinValue = row(QStringLiteral("Minimum"));
  MeanValue = row(QStringLiteral("Mean"));
  MaxValue = row(QStringLiteral("Maximum"));
  RankValue = row(QStringLiteral("Rank"));
  TopTimeValue = row(QStringLiteral("Time in the top"));
  layout->addLayout(numbers);

  PinnedList = new QListWidget(body);
  PinnedList->setMaximumHeight(80);
  PinnedList->setToolTip(QStringLiteral("Pinned rows; double-click shows one"));
  layout->addWidget(PinnedList);
  connect(PinnedList, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { ShowSeries(item->data(Qt::UserRole).toInt()); });
  setWidget(body);
  // A pane behind another tab is brought up to date when it comes to the front.
  connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible) Refresh();
  });
}

void TDetailDock::ShowSeries(int series) {
  m_series = series;
  Refresh();
  show();
  raise();
}

void TDetailDock::ShowMoment(int64_t timeMs) {
  m_moment = timeMs;
  if (isVisible()) Refresh();
}

void TDetailDock::Forget() {
  m_series = -1;
  m_pinned.clear();
  Refresh();
}

void TDetailDock::SetUnits(TUnits units) {
  m_units = units;
  Refresh();
}

void TDetailDock::SetRangeMinutes(int minutes) {
  m_rangeMinutes = minutes;
  for (size_t i = 0; i < RangeButtons.size(); ++i)
    RangeButtons[i]->setChecked(kRanges[i] == minutes);
  Refresh();
}

void TDetailDock::TogglePin() {
  if (m_series < 0) return;
  const auto at = std::find(m_pinned.begin(), m_pinned.end(), m_series);
  const bool pin = at == m_pinned.end();
  if (pin) {
    m_pinned.push_back(m_series);
  } else {
    m_pinned.erase(at);
  }
  emit PinChanged(m_series, pin);
  Refresh();
}

void TDetailDock::Refresh() {
  PinnedList->clear();
  for (const int series : m_pinned) {
    auto* item = new QListWidgetItem(Text(m_store.Info(series).SliceLabel), PinnedList);
    item->setData(Qt::UserRole, series);
  }
  const bool shown = m_series >= 0 && m_series < m_store.SeriesCount();
  PinButton->setEnabled(shown);
  PinButton->setChecked(shown &&
                        std::find(m_pinned.begin(), m_pinned.end(), m_series) != m_pinned.end());
  const int64_t from = m_moment - int64_t{m_rangeMinutes} * 60000;
  std::vector<int> rows;
  if (shown) rows.push_back(m_series);
  for (const int series : m_pinned) {
    if (series != m_series) rows.push_back(series);
  }
  std::vector<TPlotLine> lines;
  for (size_t r = 0; r < rows.size(); ++r) {
    TPlotLine line;
    line.Name = Text(m_store.Info(rows[r]).SliceLabel);
    line.Colour = kLineColours[r % std::size(kLineColours)];
    for (const THistoryPoint& p : m_store.Points(rows[r], from, m_moment))
      line.Points.push_back(TPlotPoint{p.TimeMs, p.Min, p.Mean, p.Max});
    lines.push_back(std::move(line));
  }
  Plot->SetLines(std::move(lines), from, m_moment);
  if (!shown) {
    for (QLabel* label : {RowTitle, RowIndex, RowTargets, CurrentValue, MinValue, MeanValue,
                          MaxValue, RankValue, TopTimeValue})
      label->clear();
    return;
  }
  const TSeriesInfo& info = m_store.Info(m_series);
  RowTitle->setText(Text(info.Label.empty() ? info.SliceLabel : info.Label));
  RowIndex->setText(info.Index.empty() ? QString()
                                       : QStringLiteral("Index %1").arg(Text(info.Index)));
  QString targets =
      Text(info.Column.empty() ? info.Target : info.Column + " (" + info.Target + ")");
  if (!info.PolledOid.empty()) targets += QStringLiteral(", polled as ") + Text(info.PolledOid);
  RowTargets->setText(targets);

  const int frame = m_store.FrameAt(m_moment);
  const bool raw = frame >= 0 && m_store.Frame(frame).RawValues;
  // A formula's entry is no OID: it reads as a plain number.
  const TColumnKind kind = ColumnKindOf(info.Target, m_names);
  const TUnits units = m_units;
  const auto text = [raw, kind, units](double value) { return RateText(value, raw, kind, units); };
  Plot->SetValueFormatter(text);
  const THistoryStats stats = m_store.Stats(m_series, from, m_moment);
  CurrentValue->setText(text(stats.Current));
  MinValue->setText(stats.Any ? text(stats.Min) : QStringLiteral("-"));
  MeanValue->setText(stats.Any ? text(stats.Mean) : QStringLiteral("-"));
  MaxValue->setText(stats.Any ? text(stats.Max) : QStringLiteral("-"));
  int top = 0;
  int rank = 0;
  if (frame >= 0) {
    for (const TFrameSlice& slice : m_store.Frame(frame).Slices) top += slice.Series >= 0;
    rank = m_store.RankIn(m_series, frame);
  }
  RankValue->setText(rank > 0 ? QStringLiteral("%1 of %2").arg(rank).arg(top)
                              : QStringLiteral("not in the top %1").arg(top));
  TopTimeValue->setText(DurationText(frame >= 0 ? m_store.SecondsInTop(m_series, frame) : 0));
}

}  // namespace kestrava
