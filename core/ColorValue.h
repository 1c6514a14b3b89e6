#pragma once

#include <QtGlobal>

// Colour values as the settings file stores them: 32 bits whose low three
// bytes are red, green and blue (red lowest); 0x80000000 + n names system
// colour n of the desktop's scheme (5 window background, 8 window text).
// ui/Colors.h turns them into colours.
namespace ostrel {

constexpr qint32 kSystemColorFlag = qint32(0x80000000u);
constexpr qint32 kColorWindow = qint32(0x80000005u);
constexpr qint32 kColorWindowText = qint32(0x80000008u);

} // namespace ostrel
