// The dark palette under simulated colour-vision deficiencies: neighbouring slices, the last
// slice of any pie beside the first among them, stay apart for protanopia, deuteranopia and
// tritanopia, and every slice stands out from the dark ground. The simulation is Machado,
// Oliveira and Fernandes (2009) at full severity, applied in linear RGB; the distance is CIE76
// in L*a*b* (D65). The classic palette, kept for the light look, fails the same check.
#include "ui/chart_theme.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <span>
#include <string>

#include "ui/chart_geometry.h"

namespace kestrava {
namespace {

using TMatrix = std::array<std::array<double, 3>, 3>;
struct TVision {
  const char* Name;
  TMatrix M;
};
const TVision kVisions[] = {
    {"normal", {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}},
    {"protanopia",
     {{{0.152286, 1.052583, -0.204868},
       {0.114503, 0.786281, 0.099216},
       {-0.003882, -0.048116, 1.051998}}}},
    {"deuteranopia",
     {{{0.367322, 0.860646, -0.227968},
       {0.280085, 0.672501, 0.047413},
       {-0.011820, 0.042940, 0.968881}}}},
    {"tritanopia",
     {{{1.255528, -0.076749, -0.178779},
       {-0.078411, 0.930809, 0.147602},
       {0.004733, 0.691367, 0.303900}}}},
};
constexpr double kNeighbourDistance = 25;  // clearly different at a glance

double Linear(uint32_t rgb, int shift) {
  const double c = static_cast<double>(rgb >> shift & 0xFF) / 255;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

std::array<double, 3> Lab(uint32_t rgb, const TMatrix& m) {
  const double in[3] = {Linear(rgb, 16), Linear(rgb, 8), Linear(rgb, 0)};
  double v[3];
  for (int i = 0; i < 3; ++i)
    v[i] = std::clamp(m[i][0] * in[0] + m[i][1] * in[1] + m[i][2] * in[2], 0.0, 1.0);
  const double x = (0.4124 * v[0] + 0.3576 * v[1] + 0.1805 * v[2]) / 0.95047;
  const double y = 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2];
  const double z = (0.0193 * v[0] + 0.1192 * v[1] + 0.9505 * v[2]) / 1.08883;
  const auto f = [](double t) {
    return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116;
  };
  return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

double Distance(uint32_t a, uint32_t b, const TMatrix& m) {
  const std::array<double, 3> p = Lab(a, m);
  const std::array<double, 3> q = Lab(b, m);
  return std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]);
}

// The smallest distance between slices that can touch in a pie of any size: i beside i + 1
// (round the palette), and any slice beside the first as the last one of the pie. Prints the
// table of the pairs below `floor`.
double ClosestNeighbours(std::span<const uint32_t> palette, double floor, std::string& table) {
  double closest = 1e9;
  const size_t n = palette.size();
  for (size_t i = 0; i < n; ++i) {
    for (size_t j : {(i + 1) % n, size_t{0}}) {
      if (j == i) continue;
      for (const TVision& vision : kVisions) {
        const double d = Distance(palette[i], palette[j], vision.M);
        closest = std::min(closest, d);
        if (d < floor) {
          char line[96];
          std::snprintf(line, sizeof line, "%06X %06X %-13s %5.1f\n", palette[i], palette[j],
                        vision.Name, d);
          table += line;
        }
      }
    }
  }
  return closest;
}

TEST(ChartTheme, DarkPaletteNeighboursStayApartForColourBlindViewers) {
  std::string table;
  const double closest = ClosestNeighbours(DarkChartColours().Palette, kNeighbourDistance, table);
  EXPECT_GE(closest, kNeighbourDistance) << "pairs too close:\n" << table;
  for (uint32_t colour : DarkSlicePalette) {
    for (const TVision& vision : kVisions)
      EXPECT_GE(Distance(colour, DarkChartColours().Ground, vision.M), kNeighbourDistance)
          << std::hex << colour << " on the ground, " << vision.Name;
  }
}

TEST(ChartTheme, TheClassicPaletteWouldNotPass) {
  // Red beside green: about 10 for protanopia. The check above would catch such a palette.
  std::string table;
  EXPECT_LT(ClosestNeighbours(LightChartColours().Palette, kNeighbourDistance, table), 12);
  EXPECT_NE(table.find("FF0000 008000 protanopia"), std::string::npos) << table;
}

TEST(ChartTheme, SliceColoursComeFromTheLooksPalette) {
  EXPECT_EQ(SliceColour(PaletteColour, 0, DarkChartColours().Palette), DarkSlicePalette[0]);
  EXPECT_EQ(SliceColour(PaletteColour, 13, DarkChartColours().Palette), DarkSlicePalette[1]);
  EXPECT_EQ(SliceColour(PaletteColour, 13, LightChartColours().Palette), 0xC0C0C0u);
  EXPECT_EQ(SliceColour(0x123456, 2, DarkChartColours().Palette), 0x123456u);
}

}  // namespace
}  // namespace kestrava
