#pragma once

#include <QStringView>
#include <optional>

namespace ostrel {

// Reads a 32-bit signed integer as the platform's string-to-integer routine
// does: any number of leading spaces, then either an optional "+" or "-"
// followed by decimal digits within the 32-bit range, or (without a sign) one
// of the prefixes "$", "x", "X", "0x", "0X" followed by hexadecimal digits that
// fit in 32 bits, whose bits are taken unchanged. Nothing may follow the
// digits. Anything else answers nothing.
std::optional<qint32> parseInt32(QStringView text);

} // namespace ostrel
