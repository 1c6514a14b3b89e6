#pragma once

#include <QString>

// The texts the record store shows the user. %1 is a record's path.
namespace ostrel::texts::store {

// A record that cannot be read (gone, unreadable, not a regular file).
inline QString cannotOpenFile() {
    return QStringLiteral("ファイル %1 は開けません");
}

// A record larger than the store reads; %2 is the limit in MB.
inline QString fileTooLarge() {
    return QStringLiteral("ファイル %1 は大きすぎるため開けません（開けるのは %2 MB まで）");
}

// A record that cannot be written.
inline QString cannotCreateFile() {
    return QStringLiteral("ファイル %1 を作成できません");
}

} // namespace ostrel::texts::store
