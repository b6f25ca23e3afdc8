#pragma once
// The 16 x 16 pictures of the main window's tool buttons, toolbar pictures and menu entries,
// drawn with QPainter on a transparent background.
// Thread: any (plain images; no window system needed).

#include <QImage>

namespace kestrava {

QImage GlyphRawValues();     // a green arrow pointing right
QImage GlyphDeltaValues();   // a yellow triangle, a capital delta
QImage GlyphLegend();        // a white sheet with three red squares and three blue lines
QImage GlyphInstanceMask();  // a blue funnel with a red arrow pointing down
QImage GlyphSlices();        // a small 3D pie with a blue, a red and a yellow slice
QImage GlyphExit();          // a red square with a white cross
QImage GlyphCopy();          // two overlapping documents
QImage GlyphAbout();         // a blue circle with a white "i"
QImage GlyphUtilisation();   // a gauge bar, three quarters full of green

}  // namespace kestrava
