#pragma once

#include <QRect>
#include <QSize>

namespace ostrel {

// The window's outer place and size as the settings keep them.
struct OuterGeometry {
    qint64 left = 0;
    qint64 top = 0;
    qint64 width = 0;
    qint64 height = 0;
};

// Holds a stored outer geometry to what a screen can show: the size between
// `minimum` and the available area, the place such that the whole window lies
// on it. Any stored numbers are taken, however absurd (negative, or far beyond
// any screen), without overflow.
QRect heldToScreen(const OuterGeometry& stored, const QRect& available, const QSize& minimum);

} // namespace ostrel
