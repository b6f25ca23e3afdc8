#include "app/history_view.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDockWidget>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolBar>
#include <cmath>

#include "app/detail_dock.h"
#include "ui/chart.h"
#include "ui/chart_picker.h"

namespace kestrava {

namespace {

QString ClockText(int64_t timeMs) {
  return QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("HH:mm:ss"));
}

// A kept slice's value as the legend reads it: plain decimal, at most two decimals.
QString ValueText(double value) {
  QString text = QString::number(value, 'f', 2);
  while (text.endsWith(QLatin1Char('0'))) text.chop(1);
  if (text.endsWith(QLatin1Char('.'))) text.chop(1);
  return text;
}

}  // namespace

THistoryView::THistoryView(QMainWindow& window, TChart& chart, THistoryStore& store,
                           std::function<void(const TSnapshotPtr&)> showLive)
    : QObject(&window),
      m_window(window),
      m_chart(chart),
      m_store(store),
      m_showLive(std::move(showLive)) {
  m_picker = new TChartPicker(chart);
  connect(m_picker, &TChartPicker::SlicePicked, this, &THistoryView::PickSlice);

  m_details = new TDetailDock(store, &window);
  m_details->hide();
  window.addDockWidget(Qt::RightDockWidgetArea, m_details);
  connect(m_details, &TDetailDock::PinChanged, this,
          [this](int series, bool pinned) { m_store.Pin(series, pinned); });

  m_eventsDock = new QDockWidget(QStringLiteral("Rank changes"), &window);
  m_eventsDock->setObjectName(QStringLiteral("EventsDock"));
  m_events = new QListWidget(m_eventsDock);
  m_events->setToolTip(QStringLiteral("Double-click shows the pie of that moment"));
  m_eventsDock->setWidget(m_events);
  m_eventsDock->hide();
  window.addDockWidget(Qt::RightDockWidgetArea, m_eventsDock);
  window.tabifyDockWidget(m_details, m_eventsDock);
  connect(m_events, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    const int frame = m_store.FrameAt(item->data(Qt::UserRole).toLongLong());
    if (frame >= 0) ShowFrame(frame);
  });

  m_bar = new QToolBar(QStringLiteral("History"), &window);
  m_bar->setObjectName(QStringLiteral("HistoryBar"));
  m_bar->setMovable(false);
  m_pause = m_bar->addAction(QStringLiteral("Pause"));
  m_pause->setCheckable(true);
  m_pause->setShortcut(Qt::Key_Space);
  m_pause->setToolTip(QStringLiteral("Pause the chart; polling goes on (Space)"));
  connect(m_pause, &QAction::triggered, this, [this](bool on) { on ? Pause() : GoLive(); });
  m_slider = new QSlider(Qt::Horizontal, m_bar);
  m_slider->setToolTip(QStringLiteral("Back through the history"));
  m_slider->setFocusPolicy(Qt::NoFocus);
  m_bar->addWidget(m_slider);
  m_barTime = new QLabel(m_bar);
  m_bar->addWidget(m_barTime);
  m_live = m_bar->addAction(QStringLiteral("Live"));
  m_live->setShortcut(Qt::Key_End);
  m_live->setToolTip(QStringLiteral("Back to the newest poll (End)"));
  connect(m_live, &QAction::triggered, this, &THistoryView::GoLive);
  connect(m_slider, &QSlider::valueChanged, this, &THistoryView::ShowFrame);
  window.addToolBar(Qt::BottomToolBarArea, m_bar);
  window.addAction(m_pause);
  window.addAction(m_live);
  // Space is the pause key only where the focus has no use of its own for it.
  qApp->installEventFilter(this);

  m_moment = new QLabel(&chart);
  m_moment->hide();
  chart.installEventFilter(this);
  m_bar->addAction(m_eventsDock->toggleViewAction());
  m_notify = m_bar->addAction(QStringLiteral("Notify"));
  m_notify->setCheckable(true);
  m_notify->setToolTip(QStringLiteral("A desktop notification when a row enters the top"));
  connect(m_notify, &QAction::toggled, this, [this](bool on) { m_notifier.SetEnabled(on); });
}

THistoryView::~THistoryView() = default;

bool THistoryView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && WantsSpace(watched)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // Accepted, the key goes to the focused control instead of the shortcut: a check box
    // toggles, a button clicks, a list selects.
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) event->accept();
    return false;
  }
  if (watched == &m_chart && event->type() == QEvent::Resize) PlaceMomentLabel();
  return false;
}

bool THistoryView::WantsSpace(QObject* object) const {
  const auto* widget = qobject_cast<QWidget*>(object);
  if (!widget || widget->window() != &m_window) return false;
  return qobject_cast<const QAbstractButton*>(widget) ||
         qobject_cast<const QAbstractItemView*>(widget) || qobject_cast<const QComboBox*>(widget);
}

void THistoryView::PlaceMomentLabel() {
  m_moment->adjustSize();
  m_moment->move(m_chart.width() - m_moment->width() - 8, 6);
}

void THistoryView::TakeSnapshot(const TSnapshotPtr& snapshot) {
  if (m_recording) return;
  m_newest = snapshot;
  if (snapshot->Fresh) {
    AddEvents(m_store.EventCount() - static_cast<int>(m_store.LastEvents().size()));
    m_notifier.Notify(m_store.LastEvents(), m_store);
    UpdateSlider();
  }
  if (m_paused) {
    // The chart took the live pie for the outputs; the moment shown goes back on.
    ShowShownFrame();
    return;
  }
  ShowLiveSeries();
  if (snapshot->Fresh) m_details->ShowMoment(snapshot->TimeMs);
}

void THistoryView::ShowLiveSeries() {
  m_shownSeries.clear();
  if (!m_newest) return;
  for (const TPieSlice& slice : m_newest->Pie)
    m_shownSeries.push_back(m_store.SeriesOfSlot(slice.Slot));
}

void THistoryView::AddEvents(int from) {
  for (int e = std::max(0, from); e < m_store.EventCount(); ++e) {
    const TRankEvent& event = m_store.Event(e);
    const TSeriesInfo& row = m_store.Info(event.Row);
    auto* item = new QListWidgetItem(ClockText(event.TimeMs) + QLatin1Char(' ') +
                                         QString::fromStdString(row.SliceLabel) + QLatin1Char(' ') +
                                         QString::fromStdString(RankChangeText(event)),
                                     m_events);
    item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(event.TimeMs));
  }
  // The list holds what the store holds: the oldest go with the window.
  while (m_events->count() > m_store.EventCount()) delete m_events->takeItem(0);
}

void THistoryView::UpdateSlider() {
  const QSignalBlocker quiet(m_slider);
  m_slider->setRange(0, std::max(0, m_store.FrameCount() - 1));
  if (m_paused) {
    m_slider->setValue(std::max(0, m_store.FrameAt(m_shownTime)));
  } else {
    m_slider->setValue(m_slider->maximum());
  }
}

void THistoryView::Pause() {
  if (m_store.FrameCount() == 0) {
    m_pause->setChecked(false);
    return;
  }
  ShowFrame(m_store.FrameCount() - 1);
}

void THistoryView::ShowFrame(int frame) {
  if (frame < 0 || frame >= m_store.FrameCount()) return;
  m_paused = true;
  m_pause->setChecked(true);
  m_shownTime = m_store.Frame(frame).TimeMs;
  UpdateSlider();
  ShowShownFrame();
}

void THistoryView::ShowShownFrame() {
  int index = m_store.FrameAt(m_shownTime);
  if (index < 0) {
    // The moment shown left the window: the oldest kept stands in for it.
    if (m_store.FrameCount() == 0) return;
    index = 0;
    m_shownTime = m_store.Frame(0).TimeMs;
  }
  const THistoryFrame& frame = m_store.Frame(index);
  std::vector<TSlice> slices;
  m_shownSeries.clear();
  for (size_t i = 0; i < frame.Slices.size(); ++i) {
    const TFrameSlice& kept = frame.Slices[i];
    const QString label = kept.Series < 0
                              ? QStringLiteral("Other")
                              : QString::fromStdString(m_store.Info(kept.Series).SliceLabel);
    slices.emplace_back(label, kept.Value, static_cast<double>(i), PaletteColour,
                        ValueText(kept.Value));
    m_shownSeries.push_back(kept.Series);
  }
  m_chart.SetSlices(std::move(slices));
  ShowMoment(frame.TimeMs, true);
}

void THistoryView::ShowMoment(int64_t timeMs, bool past) {
  const QString text =
      past ? (m_recording ? QStringLiteral("Recorded ") : QStringLiteral("Paused at ")) +
                 ClockText(timeMs)
           : QString();
  m_barTime->setText(past ? ClockText(timeMs) : QStringLiteral("Live"));
  m_moment->setText(text);
  m_moment->setVisible(past);
  PlaceMomentLabel();
  m_details->ShowMoment(timeMs);
}

void THistoryView::GoLive() {
  if (m_recording) {
    m_pause->setChecked(true);
    return;
  }
  m_paused = false;
  m_pause->setChecked(false);
  UpdateSlider();
  if (m_newest) m_showLive(m_newest);
  ShowLiveSeries();
  const int newest = m_store.FrameCount() - 1;
  if (newest >= 0) m_details->ShowMoment(m_store.Frame(newest).TimeMs);
  m_barTime->setText(QStringLiteral("Live"));
  m_moment->hide();
}

void THistoryView::RecordingLoaded() {
  m_recording = true;
  m_live->setEnabled(false);
  m_details->Forget();
  m_events->clear();
  AddEvents(0);
  m_paused = false;
  if (m_store.FrameCount() > 0) ShowFrame(m_store.FrameCount() - 1);
}

void THistoryView::SessionChanged() {
  m_recording = false;
  m_live->setEnabled(true);
  m_newest.reset();
  GoLive();
}

int THistoryView::SeriesOfSlice(int slice) const {
  if (slice < 0 || static_cast<size_t>(slice) >= m_shownSeries.size()) return -1;
  return m_shownSeries[static_cast<size_t>(slice)];
}

void THistoryView::PickSlice(int slice) {
  const int series = SeriesOfSlice(slice);
  if (series < 0) return;
  m_details->ShowSeries(series);
  if (!m_paused) {
    const int newest = m_store.FrameCount() - 1;
    if (newest >= 0) m_details->ShowMoment(m_store.Frame(newest).TimeMs);
  }
}

}  // namespace kestrava
