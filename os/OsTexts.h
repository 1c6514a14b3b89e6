#pragma once

#include <QString>

// The texts the operating-system layer shows the user.
namespace ostrel::texts::os {

// The print system refused a job; %1 is the printer.
inline QString jobRefused() {
    return QStringLiteral("プリンタ %1 は印刷ジョブを受け付けませんでした");
}

} // namespace ostrel::texts::os
