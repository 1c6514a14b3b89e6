#pragma once

#include <QColor>

class QWidget;

// Colour values as the settings file stores them: 32 bits whose low three
// bytes are red, green and blue (red lowest); 0x80000000 + n names system
// colour n of the desktop's scheme (5 window background, 8 window text).
namespace ostrel {

constexpr qint32 kSystemColorFlag = qint32(0x80000000u);
constexpr qint32 kColorWindow = qint32(0x80000005u);
constexpr qint32 kColorWindowText = qint32(0x80000008u);

QColor resolveColor(qint32 value);
qint32 colorValue(const QColor& rgb);

// Sets the background a widget fills its content with, and the colour of its text.
void setBackgroundColor(QWidget* widget, const QColor& color);
void setTextColor(QWidget* widget, const QColor& color);

} // namespace ostrel
