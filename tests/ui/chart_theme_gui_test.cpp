// The dark look rendered off screen and compared with the reference pictures in tests/data
// within a tolerance (fonts may be hinted a little differently elsewhere): the legend and the
// marks, flat and 3D. KESTRAVA_WRITE_THEME_REFERENCE=<folder> writes the references instead
// (scripts/theme-reference does that into tests/data).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLocale>
#include <QSet>

#include "ui/chart.h"
#include "ui/chart_theme.h"

namespace kestrava {
namespace {

const QSize kSize(585, 374);

struct TReference {
  const char* File;
  bool View3D;
  bool Legend;
};
const TReference kReferences[] = {
    {"chart-dark-12-3d-bottom.png", true, true},
    {"chart-dark-12-2d-marks.png", false, false},
};

// Twelve interfaces as a feed gives them, largest first, "Other" last.
void Feed(TChart& chart) {
  const struct {
    const char* label;
    double value;
  } rows[] = {{"eth0", 812000},  {"eth1", 640500}, {"bond0", 420000},  {"eth2", 310250},
              {"wlan0", 220000}, {"eth3", 150000}, {"vlan100", 98000}, {"eth4", 61000},
              {"tun0", 40500},   {"eth5", 22000},  {"docker0", 9000},  {"Other", 30100}};
  std::vector<TSlice> slices;
  for (const auto& row : rows)
    slices.emplace_back(QString::fromLatin1(row.label), row.value,
                        static_cast<double>(slices.size()), PaletteColour);
  chart.SetSlices(std::move(slices));
}

QImage Render(const TReference& reference) {
  TChart chart;
  chart.SetDark(true);
  chart.SetView3D(reference.View3D);
  chart.SetLegendVisible(reference.Legend);
  Feed(chart);
  return chart.RenderImage(kSize).convertToFormat(QImage::Format_RGB32);
}

int ChannelDifference(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                   std::abs(qBlue(a) - qBlue(b))});
}

TEST(ChartThemeGui, DarkRenderingsMatchTheirReferences) {
  const QDir data(QStringLiteral(KESTRAVA_SOURCE_DIR "/tests/data"));
  const QByteArray writeTo = qgetenv("KESTRAVA_WRITE_THEME_REFERENCE");
  for (const TReference& reference : kReferences) {
    SCOPED_TRACE(reference.File);
    const QImage image = Render(reference);
    if (!writeTo.isEmpty()) {
      ASSERT_TRUE(
          image.save(QDir(QString::fromLocal8Bit(writeTo)).filePath(reference.File), "PNG", 9));
      continue;
    }
    const QImage want = QImage(data.filePath(QString::fromLatin1(reference.File)))
                            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), want.size());
    // A pixel differs when a channel is off by more than 48; text edges may, little else.
    int differing = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x)
        differing += ChannelDifference(image.pixel(x, y), want.pixel(x, y)) > 48;
    }
    EXPECT_LE(differing, image.width() * image.height() / 100) << differing << " pixels differ";
  }
}

TEST(ChartThemeGui, DarkLookPaintsTheGroundThePaletteAndLightText) {
  const QImage image = Render(kReferences[0]);
  QSet<uint32_t> colours;
  int ground = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const uint32_t c = image.pixel(x, y) & 0xFFFFFF;
      colours.insert(c);
      ground += c == DarkChartColours().Ground;
    }
  }
  EXPECT_GT(ground, image.width() * image.height() / 3);
  for (uint32_t colour : DarkSlicePalette)
    EXPECT_TRUE(colours.contains(colour)) << std::hex << colour;
  EXPECT_TRUE(colours.contains(DarkChartColours().LegendFill));
  EXPECT_FALSE(colours.contains(0xFFFFFF)) << "nothing of the light look is left";

  // Switching back gives exactly the classic picture.
  TChart chart;
  Feed(chart);
  const QImage light = chart.RenderImage(kSize);
  chart.SetDark(true);
  chart.SetDark(false);
  EXPECT_EQ(chart.RenderImage(kSize), light);
}

}  // namespace
}  // namespace kestrava

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
