// The chart renderings in docs/ (made by bench/ui/chart_screenshots): true colour, so that the
// palette and the shadows show as the chart draws them, and the HiDPI and smooth renderings
// beside the classic one.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QSet>

#include "ui/chart_geometry.h"

namespace kestrava {
namespace {

QDir Docs() {
  return QDir(QStringLiteral(KESTRAVA_SOURCE_DIR "/docs"));
}

QSet<uint32_t> Colours(const QImage& image) {
  QSet<uint32_t> colours;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y) & 0xFFFFFF);
  }
  return colours;
}

TEST(ChartDocs, RenderingsAreTrueColour) {
  const QStringList names = Docs().entryList({QStringLiteral("chart-*.png")}, QDir::Files);
  ASSERT_GE(names.size(), 32);
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    const QImage image(Docs().filePath(name));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.colorCount(), 0);  // no colour table
  }
}

TEST(ChartDocs, ThirtySlicesShowEveryPaletteColourAndTheShadowGreys) {
  for (const char* name : {"chart-30-2d-bottom.png", "chart-30-3d-left.png"}) {
    SCOPED_TRACE(name);
    const QSet<uint32_t> colours = Colours(QImage(Docs().filePath(QString::fromLatin1(name))));
    // Among them money green, sky blue, cream, silver and medium grey.
    for (uint32_t colour : SlicePalette)
      EXPECT_TRUE(colours.contains(colour)) << std::hex << colour;
    EXPECT_TRUE(colours.contains(0x555555));
    EXPECT_TRUE(colours.contains(0xAAAAAA));
  }
  // The 3D rims, darkened by 32.
  const QSet<uint32_t> solid = Colours(QImage(Docs().filePath("chart-12-3d-bottom.png")));
  EXPECT_TRUE(solid.contains(DarkenColour(0xFFFFFF)));
  EXPECT_TRUE(solid.contains(DarkenColour(0x808080)));
}

TEST(ChartDocs, HiDpiAndSmoothRenderingsStandBesideTheClassicOne) {
  const QImage classic(Docs().filePath("chart-12-3d-bottom.png"));
  const QImage hidpi(Docs().filePath("chart-12-3d-bottom-hidpi.png"));
  const QImage smooth(Docs().filePath("chart-12-3d-bottom-antialias.png"));
  ASSERT_EQ(classic.size(), QSize(585, 374));
  EXPECT_EQ(hidpi.size(), QSize(1170, 748));
  EXPECT_EQ(smooth.size(), QSize(585, 374));
  // Smooth edges blend the slices' colours: many more colours than the classic picture has.
  EXPECT_GT(Colours(smooth).size(), Colours(classic).size() + 100);
}

}  // namespace
}  // namespace kestrava
