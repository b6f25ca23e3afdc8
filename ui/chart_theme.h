#pragma once
// The chart's colours in its two looks: light (the classic chart: white ground, black text and
// outlines, the 20-colour palette) and dark (a dark ground with light text and a palette chosen
// for colour-vision deficiencies). Neighbouring slices of the dark palette, the last slice of a
// pie beside its first included, stay at least a CIE76 distance of 25 apart as people with
// protanopia, deuteranopia and tritanopia see them (tests/ui/chart_theme_test.cpp keeps that
// table); the classic palette is kept as it is for the light look.
// Thread: any; constants.

#include <array>
#include <cstdint>
#include <span>

namespace kestrava {

// Twelve colours, all of them light enough to stand out on the dark ground, ordered so that
// each differs from the next and from the first for every common colour-vision deficiency.
inline constexpr std::array<uint32_t, 12> DarkSlicePalette = {
    0x7570B3, 0xEEDD88, 0xD55E00, 0x99DDFF, 0xBBCC33, 0x009988,
    0xE69F00, 0x44AA99, 0xFDB863, 0x009E73, 0xCCBB44, 0xCC6677};

struct TChartColours {
  bool Dark = false;
  uint32_t Ground = 0xFFFFFF;      // the chart area behind everything
  uint32_t Text = 0x000000;        // title, legend and mark texts
  uint32_t Frame = 0x000000;       // the legend's box, its swatches and the marks' boxes
  uint32_t Edge = 0x000000;        // slice outlines and the slices too thin to fill
  uint32_t LegendFill = 0xFFFFFF;  // inside the legend's box
  uint32_t Callout = 0xFFFFFF;     // the line from a mark to its slice
  uint32_t MarkShadow = 0x808080;  // the two lines under and right of a mark's box
  // The marks' boxes and the raised edge round the chart: the style's tooltip, light and dark
  // colours in the light look, these in the dark one.
  uint32_t MarkFill = 0x333333;
  uint32_t RaisedLight = 0x4A4D52;
  uint32_t RaisedShadow = 0x0A0A0A;
  std::span<const uint32_t> Palette;
};

const TChartColours& LightChartColours();
const TChartColours& DarkChartColours();

}  // namespace kestrava
