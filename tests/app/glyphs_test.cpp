// The toolbar and menu pictures show what they are meant to show, on a transparent ground.

#include "app/glyphs.h"

#include <gtest/gtest.h>

#include <QColor>
#include <functional>

namespace kestrava {
namespace {

using Is = std::function<bool(const QColor&)>;

bool Opaque(const QColor& c) {
  return c.alpha() == 255;
}
const Is kRed = [](const QColor& c) {
  return Opaque(c) && c.red() > 180 && c.green() < 60 && c.blue() < 60;
};
const Is kGreen = [](const QColor& c) {
  return Opaque(c) && c.green() > 100 && c.red() < 60 && c.blue() < 60;
};
const Is kBlue = [](const QColor& c) {
  return Opaque(c) && c.blue() > 180 && c.red() < 80 && c.green() < 120;
};
const Is kYellow = [](const QColor& c) {
  return Opaque(c) && c.red() > 200 && c.green() > 200 && c.blue() < 60;
};
const Is kWhite = [](const QColor& c) {
  return Opaque(c) && c.red() == 255 && c.green() == 255 && c.blue() == 255;
};

struct Extent {
  int count = 0;
  int left = 16, right = -1, top = 16, bottom = -1;
  double meanX = 0, meanY = 0;
};

Extent Find(const QImage& image, const Is& is) {
  Extent e;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!is(image.pixelColor(x, y))) continue;
      ++e.count;
      e.left = std::min(e.left, x);
      e.right = std::max(e.right, x);
      e.top = std::min(e.top, y);
      e.bottom = std::max(e.bottom, y);
      e.meanX += x;
      e.meanY += y;
    }
  }
  if (e.count > 0) {
    e.meanX /= e.count;
    e.meanY /= e.count;
  }
  return e;
}

int Transparent(const QImage& image) {
  return Find(image, [](const QColor& c) { return c.alpha() == 0; }).count;
}

TEST(Glyphs, EachIsSixteenSquareOnATransparentGround) {
  const struct {
    const char* name;
    QImage image;
  } glyphs[] = {{"raw", GlyphRawValues()}, {"delta", GlyphDeltaValues()},
                {"legend", GlyphLegend()}, {"mask", GlyphInstanceMask()},
                {"slices", GlyphSlices()}, {"exit", GlyphExit()},
                {"copy", GlyphCopy()},     {"about", GlyphAbout()}};
  for (const auto& g : glyphs) {
    SCOPED_TRACE(g.name);
    EXPECT_EQ(g.image.size(), QSize(16, 16));
    EXPECT_TRUE(g.image.hasAlphaChannel());
    EXPECT_GE(Transparent(g.image), 20);
    EXPECT_LE(Transparent(g.image), 200);
  }
}

TEST(Glyphs, RawValuesIsAGreenArrowPointingRight) {
  const Extent arrow = Find(GlyphRawValues(), kGreen);
  EXPECT_GE(arrow.count, 40);
  EXPECT_GE(arrow.right - arrow.left, 10);
  // The head is on the right: the tall part of the arrow lies right of its middle.
  const QImage image = GlyphRawValues();
  const auto columnHeight = [&](int x) {
    int n = 0;
    for (int y = 0; y < 16; ++y) n += image.pixelColor(x, y).alpha() > 0;
    return n;
  };
  EXPECT_GT(columnHeight(9), columnHeight(3));
  EXPECT_GT(columnHeight(9), columnHeight(14));
}

TEST(Glyphs, DeltaValuesIsAYellowTriangleStandingOnItsBase) {
  const QImage image = GlyphDeltaValues();
  const Extent triangle = Find(image, kYellow);
  EXPECT_GE(triangle.count, 60);
  const auto rowWidth = [&](int y) {
    int n = 0;
    for (int x = 0; x < 16; ++x) n += image.pixelColor(x, y).alpha() > 0;
    return n;
  };
  EXPECT_LT(rowWidth(3), rowWidth(8));
  EXPECT_LT(rowWidth(8), rowWidth(13));
}

TEST(Glyphs, LegendIsAWhiteSheetWithThreeRedSquaresAndThreeBlueLines) {
  const QImage image = GlyphLegend();
  EXPECT_GE(Find(image, kWhite).count, 40);
  const Extent red = Find(image, kRed);
  const Extent blue = Find(image, kBlue);
  EXPECT_EQ(red.count, 27);   // three squares of 3 x 3
  EXPECT_EQ(blue.count, 15);  // three lines of 5
  EXPECT_LT(red.right, blue.left) << "the squares stand left of the lines";
}

TEST(Glyphs, InstanceMaskIsABlueFunnelWithARedArrowDown) {
  const QImage image = GlyphInstanceMask();
  const Extent funnel = Find(image, kBlue);
  const Extent arrow = Find(image, kRed);
  EXPECT_GE(funnel.count, 25);
  EXPECT_GE(arrow.count, 12);
  // The arrow's head, its widest part, is at its bottom.
  int widest = 0, widestRow = 0;
  for (int y = arrow.top; y <= arrow.bottom; ++y) {
    int n = 0;
    for (int x = 0; x < 16; ++x) n += kRed(image.pixelColor(x, y));
    if (n > widest) widest = n, widestRow = y;
  }
  EXPECT_GT(widestRow, (arrow.top + arrow.bottom) / 2);
  // The funnel is wide at the top and narrow below.
  const Extent top = Find(image.copy(0, 0, 16, 4), kBlue);
  const Extent stem = Find(image.copy(0, 8, 16, 8), kBlue);
  EXPECT_GT(top.right - top.left, stem.right - stem.left);
}

TEST(Glyphs, SlicesIsAPieOfBlueRedAndYellow) {
  const QImage image = GlyphSlices();
  EXPECT_GE(Find(image, kBlue).count, 10);
  EXPECT_GE(Find(image, kRed).count, 8);
  EXPECT_GE(Find(image, kYellow).count, 4);
}

TEST(Glyphs, MenuPictures) {
  const Extent exitRed = Find(GlyphExit(), kRed);
  const Extent exitCross = Find(GlyphExit(), kWhite);
  EXPECT_GE(exitRed.count, 80);
  EXPECT_GE(exitCross.count, 16);
  EXPECT_NEAR(exitCross.meanX, 7.5, 1.0);  // the cross sits in the middle of the square
  EXPECT_NEAR(exitCross.meanY, 7.5, 1.0);

  // Two sheets, one over the other: white at both ends of the diagonal.
  const QImage copy = GlyphCopy();
  EXPECT_TRUE(kWhite(copy.pixelColor(2, 2)));
  EXPECT_TRUE(kWhite(copy.pixelColor(12, 13)));
  EXPECT_EQ(copy.pixelColor(15, 0).alpha(), 0);
  EXPECT_EQ(copy.pixelColor(0, 15).alpha(), 0);

  const Extent circle = Find(GlyphAbout(), kBlue);
  const Extent letter = Find(GlyphAbout(), kWhite);
  EXPECT_GE(circle.count, 100);
  EXPECT_GE(letter.count, 12);
  EXPECT_LE(letter.right - letter.left, 4) << "a narrow upright i";
  EXPECT_GE(letter.bottom - letter.top, 7);
}

}  // namespace
}  // namespace kestrava
