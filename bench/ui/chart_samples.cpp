#include "bench/ui/chart_samples.h"

#include <cmath>

namespace kestrava {

void FeedSampleSlices(TChart& chart, int count) {
  static const char* const kNames[] = {"eth0",   "wlan0", "lo",     "docker0",
                                       "br-lan", "tun0",  "enp3s0", "veth7a1f"};
  chart.ClearSlices();
  double value = 1843200.5;
  for (int i = 0; i < count - 1; ++i) {
    const QString name = QString::fromLatin1(kNames[i % 8]) +
                         (i < 8 ? QString() : QStringLiteral(".%1").arg(i / 8 + 100));
    chart.AddSlice(name, std::round(value * 1000) / 1000, i + 1, PaletteColour);
    value *= 0.86;
  }
  chart.AddSlice(QStringLiteral("Other"), 52345.25, count, PaletteColour);
}

void FeedLongTailSlices(TChart& chart, int count) {
  chart.ClearSlices();
  for (int i = 0; i < count; ++i) {
    chart.AddSlice(QStringLiteral("port %1/%2").arg(i / 48 + 1).arg(i % 48 + 1),
                   std::round(9.5e8 / (i + 1)), i + 1, PaletteColour);
  }
}

}  // namespace kestrava
