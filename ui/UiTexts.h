#pragma once

#include <QString>

// The texts of the widget services.
namespace ostrel::texts::ui {

// Buttons of the message boxes and the input box.
inline constexpr char16_t yesButton[] = u"はい(&Y)";
inline constexpr char16_t noButton[] = u"いいえ(&N)";
inline constexpr char16_t okButton[] = u"OK";
inline constexpr char16_t cancelButton[] = u"キャンセル";

// Titles of the question boxes.
inline QString informationTitle() {
    return QStringLiteral("情報");
}
inline QString warningTitle() {
    return QStringLiteral("警告");
}

// Screen-reader names and descriptions of the scroll bars.
inline QString verticalScrollBarName() {
    return QStringLiteral("縦スクロールバー");
}
inline QString horizontalScrollBarName() {
    return QStringLiteral("横スクロールバー");
}
inline QString verticalScrollBarDescription() {
    return QStringLiteral("表示する位置を上下に動かします");
}
inline QString horizontalScrollBarDescription() {
    return QStringLiteral("表示する位置を左右に動かします");
}

// One Ostrel per data folder. A reason it cannot be guarded is followed by
// unguardedEnding(); %1 is the refused runtime folder or the lock file.
inline QString unguardedEnding() {
    return QStringLiteral("ため、このデータフォルダで OSTREL が二つ起動するのを防げません");
}
inline QString runtimeFolderShared() {
    return QStringLiteral("フォルダ %1 が他のユーザーのもの、または他のユーザーも使えるフォルダの");
}
inline QString lockFileUnusable() {
    return QStringLiteral("%1 がロック ファイルでない (リンクやフォルダの) ");
}
// A second start whose owner does not answer.
inline QString folderInUse() {
    return QStringLiteral("このデータフォルダは、既に起動している OSTREL "
                          "が使っています。");
}

} // namespace ostrel::texts::ui
