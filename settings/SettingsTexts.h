#pragma once

#include <QString>

// The texts the settings file shows the user.
namespace ostrel::texts::settings {

// The settings file refuses a write; %1 is its path.
inline QString cannotWrite() {
    return QStringLiteral("%1 に書き込めません");
}

} // namespace ostrel::texts::settings
