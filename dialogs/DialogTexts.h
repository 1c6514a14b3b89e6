#pragma once

#include <QString>

// The texts the dialogs set in code (their layouts hold the rest).
namespace ostrel::texts::dialogs {

// Creating a group and a record.
inline QString cannotCreateGroup() {
    return QStringLiteral("グループを作成できません。 注意を確認して下さい");
}
inline QString cannotCreateRecord() {
    return QStringLiteral("エラー：レコードを作成できませんでした");
}

// The supported extensions.
inline QString extensionRequired() {
    return QStringLiteral("サポートする拡張子は一つ以上必要です");
}
inline QString extensionsChanged() {
    return QStringLiteral("サポートする拡張子を変更しました");
}

// The title of the colour dialog.
inline QString colourDialogTitle() {
    return QStringLiteral("色の設定");
}

// The destination folder dialog: a folder it cannot enter; %1 is the
// system's error code.
inline QString folderNotFound() {
    return QStringLiteral("ファイルが見つかりません");
}
inline QString invalidFolderName() {
    return QStringLiteral("不正なファイル名です");
}
inline QString folderAccessDenied() {
    return QStringLiteral("ファイルへのアクセスが拒否されました");
}
inline QString folderIoError() {
    return QStringLiteral("I/O エラー (%1)");
}

// The search through every record: a record it could not read (%1 is the
// largest size read, in MB).
inline QString unreadableNotFound() {
    return QStringLiteral("読めません：ファイルが見つかりません（削除または移動されました）");
}
inline QString unreadableAccessDenied() {
    return QStringLiteral("読めません：読み取りの権限がありません");
}
inline QString unreadableNotRegularFile() {
    return QStringLiteral("読めません：通常のファイルではありません");
}
inline QString unreadableTooLarge() {
    return QStringLiteral("読めません：大きすぎます（開けるのは %1 MB まで）");
}
inline QString unreadableError() {
    return QStringLiteral("読めません：読み取り中にエラーが起きました");
}

// The search's results: the column headers, and what a screen reader says
// of a row and of each column.
inline QString groupColumn() {
    return QStringLiteral("グループ");
}
inline QString recordColumn() {
    return QStringLiteral("レコード");
}
inline QString lineColumn() {
    return QStringLiteral("行");
}
inline QString textColumn() {
    return QStringLiteral("内容");
}
inline QString unreadableRowDescription() {
    return QStringLiteral("読めなかったレコードです");
}
inline QString foundRowDescription() {
    return QStringLiteral("見つかった行です。Enter キーで、そのレコードのその行を開きます");
}
inline constexpr const char* columnDescriptions[] = {
    "見つかった行のあるグループです", "見つかった行のあるレコードです", "見つかった行の行番号です",
    "見つかった行の内容です"};

// The search's progress: %1 and %2 are counts of records (searched, listed)
// unless told.
inline QString foundIn() { // %1 records, %2 lines
    return QStringLiteral("%1 件のレコードの %2 行");
}
inline QString searchStopped() {
    return QStringLiteral("検索を中止しました（%1 / %2 件のレコードを検索）");
}
inline QString searchingOfListed() {
    return QStringLiteral("検索中…（%1 / %2 件のレコード）");
}
inline QString searching() {
    return QStringLiteral("検索中…（%1 件のレコード）");
}
inline QString searchTruncated() { // %1 the lines found
    return QStringLiteral("見つかった行が %1 行を超えたため、検索を終えました");
}
inline QString nothingFound() {
    return QStringLiteral("見つかりませんでした（%1 件のレコードを検索）");
}
inline QString found() { // %1 foundIn(), %2 records searched
    return QStringLiteral("%1 に見つかりました（%2 件のレコードを検索）");
}
inline QString unreadableRecords() {
    return QStringLiteral("　読めないレコード %1 件");
}

} // namespace ostrel::texts::dialogs
