#pragma once

#include "core/ColorValue.h"

#include <QColor>

class QWidget;

// Colour values (core/ColorValue.h) as the desktop shows them.
namespace ostrel {

QColor resolveColor(qint32 value);
qint32 colorValue(const QColor& rgb);

// Sets the background a widget fills its content with, and the colour of its text.
void setBackgroundColor(QWidget* widget, const QColor& color);
void setTextColor(QWidget* widget, const QColor& color);

} // namespace ostrel
