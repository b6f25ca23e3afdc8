#include "ui/chart_theme.h"

#include "ui/chart_geometry.h"

namespace kestrava {

const TChartColours& LightChartColours() {
  static const TChartColours colours{.Palette = SlicePalette};
  return colours;
}

const TChartColours& DarkChartColours() {
  static const TChartColours colours{.Dark = true,
                                     .Ground = 0x1E1F22,
                                     .Text = 0xE8E8E8,
                                     .Frame = 0x9A9A9A,
                                     .Edge = 0x0A0A0A,
                                     .LegendFill = 0x2B2D31,
                                     .Callout = 0xC8C8C8,
                                     .MarkShadow = 0x0A0A0A,
                                     .MarkFill = 0x3A3C42,
                                     .RaisedLight = 0x4A4D52,
                                     .RaisedShadow = 0x0A0A0A,
                                     .Palette = DarkSlicePalette};
  return colours;
}

}  // namespace kestrava
