#pragma once
// The scale for an X screen of high resolution that does not declare it:
// without the Xft.dpi resource Qt takes every X screen for 96 dpi and a
// 192-dpi screen shows the windows at a quarter of their area.

#include <QByteArray>

namespace marigal {

// The whole scale for a screen `widthPx` pixels and `widthMm` millimetres
// wide, given the X resources it declares: 1 when they declare Xft.dpi (Qt
// follows it), when the size is unknown, or below 1.75 x 96 dpi.
int UndeclaredScreenScale(const QByteArray& resources, int widthPx, int widthMm);

// Sets QT_SCALE_FACTOR for such a screen of the X display the program is
// about to open, unless the user chose a scale or another platform.
void ScaleForUndeclaredHighResolution();

}  // namespace marigal
