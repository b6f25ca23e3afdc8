// Takes the README's picture of the history: a window fed ten minutes of made-up polls of
// twelve interfaces whose leaders change, the top row open in the detail pane with a second
// row pinned, and the chart rewound two minutes. No agent is polled (its discovery is left
// waiting). Usage: history_screenshot OUT.png [events.png]
// The second picture shows the rank changes' pane instead of the details.

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDockWidget>
#include <QImage>
#include <QPixmap>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <cstdio>

#include "app/connect_dialog.h"
#include "app/detail_dock.h"
#include "app/unit1.h"

namespace kestrava {
namespace {

std::shared_ptr<const TSnapshotLayout> Layout() {
  auto layout = std::make_shared<TSnapshotLayout>();
  layout->Host = "127.0.0.1";
  layout->Port = 161;
  layout->Columns.push_back(TSnapshotColumn{"1.3.6.1.2.1.31.1.1.1.6", "ifHCInOctets", false, true});
  for (int r = 0; r < 12; ++r) {
    layout->Rows.push_back(TSnapshotRow{"." + std::to_string(r + 1), "eth" + std::to_string(r)});
    layout->PolledOids.push_back("1.3.6.1.2.1.31.1.1.1.6." + std::to_string(r + 1));
    layout->SliceLabels.push_back("eth" + std::to_string(r));
  }
  return layout;
}

TSnapshotPtr Poll(const std::shared_ptr<const TSnapshotLayout>& layout, int64_t start, int t) {
  auto s = std::make_shared<TPollSnapshot>();
  s->Fresh = true;
  s->TimeMs = start + int64_t{t} * 1000;
  s->Elapsed = 1;
  s->Interval = 1;
  s->Layout = layout;
  std::vector<TSliceCandidate> candidates;
  for (int r = 0; r < 12; ++r) {
    // Waves of different length and height: the ranking changes every few minutes.
    const double rate = 2e6 * (1.2 + std::sin(t / (40.0 + 13 * r) + r)) * (12 - r) / 12 + 1e4 * r;
    const auto whole = static_cast<uint64_t>(rate);
    TSlotReading reading;
    reading.Value = TSample::Whole(whole * 1000);
    reading.Delta = TDelta{true, true, false, whole, static_cast<long double>(whole)};
    reading.HasRate = true;
    reading.Rate = rate;
    candidates.push_back(TSliceCandidate{r, KeyOf(ShownValue(reading, false))});
    s->Slots.push_back(reading);
  }
  BuildPie(
      candidates, 8,
      [&layout](int slot) -> const std::string& {
        return layout->SliceLabels[static_cast<size_t>(slot)];
      },
      s->Pie);
  return s;
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  using namespace kestrava;
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.png [events.png]\n", argv[0]);
    return 2;
  }
  TForm1::SetConnectDialogHook([](TConnectDialog&) { return int(QDialog::Rejected); });
  TForm1 form({"/HOST", "127.0.0.1", "/PORT", "9", "/SHOWLEGEND", "/LEGENDALIGNMENT", "RIGHT",
               "/WIDTH", "1000", "/HEIGHT", "560", "/CHARTTITLE", "Top receivers"});
  form.show();
  const auto layout = Layout();
  const int64_t start = QDateTime::currentMSecsSinceEpoch() - 600'000;
  for (int t = 0; t < 600; ++t) form.Session().Deliver(Poll(layout, start, t));
  THistoryView& view = form.HistoryView();
  view.PickSlice(1);
  view.Details()->PinButton->click();
  view.PickSlice(0);
  view.Details()->SetRangeMinutes(15);
  view.ShowFrame(form.History().FrameCount() - 121);
  bool ok = true;
  QTimer::singleShot(500, [&] {
    // Nothing was discovered: the status line and the start-up label say so; not the subject.
    form.SetInitializingVisible(false);
    form.ClearStatus();
    ok = form.grab().toImage().convertToFormat(QImage::Format_RGB32).save(argv[1], "PNG", 9);
    if (argc > 2) {
      view.EventsDock()->show();
      view.EventsDock()->raise();
      QTimer::singleShot(300, [&] {
        ok = ok &&
             form.grab().toImage().convertToFormat(QImage::Format_RGB32).save(argv[2], "PNG", 9);
        app.exit(ok ? 0 : 1);
      });
      return;
    }
    app.exit(ok ? 0 : 1);
  });
  const int status = app.exec();
  TForm1::SetConnectDialogHook(nullptr);
  return status;
}
