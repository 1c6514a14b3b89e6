#pragma once

#include <QString>

// The texts the main window shows the user in its boxes and its status bar
// (its menus and hints are in the command table).
namespace ostrel::texts::window {

// The open record: its load and the recovery copies of its edits.
// The status bar while a large record loads: %1 its path, %2 the percentage.
inline QString loading() {
    return QStringLiteral("%1 を読み込んでいます… %2%");
}
// %1 is the recovery folder.
inline QString recoveryWriteFailed() {
    return QStringLiteral("編集内容の控えを %1 に書き込めません。"
                          "編集中の内容はこまめに保存してください。");
}
// %1 lists the copies, one a line.
inline QString recoveryRefused() {
    return QStringLiteral("次の編集内容の控えは、壊れているか、データフォルダの外や"
                          "正しくない名前を指しているため復元できません。"
                          "控えのファイルはそのまま残します。\n%1");
}
// %1 the record, %2 the limit, %3 the copy's file.
inline QString recoveryTooLargeAsk() {
    return QStringLiteral("前回の終了時に保存されていなかった %1 の編集内容が"
                          "残っていますが、大きすぎるため復元できません"
                          "（復元できるのは %2 MB まで）。控えのファイル %3 を"
                          "破棄しますか？（「いいえ」を選ぶと残しておきます）");
}
inline QString recoveryOffer() {
    return QStringLiteral("前回の終了時に保存されていなかった %1 の編集内容が残っています。"
                          "復元しますか？（「いいえ」を選ぶと破棄します。「キャンセル」を選ぶと"
                          "残しておき、次回の起動時にもう一度お尋ねします）");
}
inline QString recoveryTooLarge() {
    return QStringLiteral("編集内容の控え %1 は大きすぎるため復元できません"
                          "（復元できるのは %2 MB まで）。控えのファイルはそのまま残します。");
}
inline QString recoveryUnreadable() {
    return QStringLiteral("編集内容の控え %1 を読み込めません。"
                          "控えのファイルはそのまま残します。");
}

// Saving a record: the questions a save asks. %1 is the record's path unless told.
// %2, %3 and %4, %5: the two encodings and line breaks offered.
inline QString formatUnknown() {
    return QStringLiteral(
        "ファイル %1 の文字コードと改行コードがわかりません。"
        "%2（改行 %3）で保存しますか？（「いいえ」を選ぶと %4（改行 %5）で保存します）");
}
inline QString lossyRead() {
    return QStringLiteral("ファイル %1 の文字コードを正しく読み取れませんでした。"
                          "保存すると、編集していない部分も元のファイルと変わります。"
                          "保存しますか？");
}
inline QString recordGone() {
    return QStringLiteral("ファイル %1 は、読み込んだ後に削除されたか移動されています。"
                          "新しく作成して保存しますか？（「いいえ」を選ぶと保存しません）");
}
inline QString recordChanged() {
    return QStringLiteral("ファイル %1 は、読み込んだ後に他のプログラムによって"
                          "変更されています。上書きして保存しますか？"
                          "（「いいえ」を選ぶと保存しません）");
}
// %1 is the record's encoding.
inline QString unencodable() {
    return QStringLiteral("この文書には %1 で保存できない文字が含まれています。"
                          "UTF-8 で保存しますか？（「いいえ」を選ぶと保存しません）");
}
inline QString unsavedChanges() {
    return QStringLiteral("文書が変更されています。保存しますか？");
}

// Another program's changes to the loaded record. %1 is its path.
inline QString goneOnDisk() {
    return QStringLiteral("ファイル %1 は他のプログラムによって削除されたか移動されました。"
                          "エディタの内容はそのまま残っています"
                          "（保存するときは、新しく作成するかどうかを確認します）。");
}
inline QString changedOnDisk() {
    return QStringLiteral("ファイル %1 は他のプログラムによって変更されました。"
                          "編集中の内容はそのまま残っています"
                          "（保存するときは、上書きするかどうかを確認します）。");
}
inline QString reloaded() {
    return QStringLiteral("ファイル %1 は他のプログラムによって変更されたため、"
                          "読み込み直しました");
}
// %2 is the error.
inline QString reloadFailed() {
    return QStringLiteral("ファイル %1 は他のプログラムによって変更されましたが、"
                          "読み込み直せませんでした（%2）。エディタには変更前の内容が"
                          "残っています。");
}

// Settings and start-up.
inline QString creatingSettings() {
    return QStringLiteral("環境ファイルを作成します");
}
inline QString settingsNotSaved() {
    return QStringLiteral("設定を保存できませんでした。"
                          "設定を保存せずに終了しますか？");
}
inline QString resetSettings() {
    return QStringLiteral("現在の設定は消失します よろしいですか？");
}
inline QString restartNeeded() {
    return QStringLiteral("設定を有効にするにはアプリケーションを再起動する必要があります");
}
// %1 is the data folder.
inline QString cannotCreateFirstGroup() {
    return QStringLiteral("グループを作成できません。データフォルダ %1 "
                          "に書き込めない可能性があります。OSTREL "
                          "を終了しますか？（「いいえ」を選ぶとグループの"
                          "作成に戻ります）");
}
inline QString noGroup() {
    return QStringLiteral("グループが一つもないため、OSTREL を使うことができません。"
                          "OSTREL を終了しますか？（「いいえ」を選ぶとグループの"
                          "作成に戻ります）");
}

// Managing groups and records.
inline QString selectFile() {
    return QStringLiteral("ファイルを選択してください");
}
// %1 the destination, %2 copied() or moved().
inline QString unlistedDestination() {
    return QStringLiteral("レコードを %1 に%2しました。"
                          "グループのフォルダではないため、一覧には表示されません。");
}
inline QString copied() {
    return QStringLiteral("コピー");
}
inline QString moved() {
    return QStringLiteral("移動");
}
inline QString lastGroup() {
    return QStringLiteral("グループは一つ以上必要なので削除する事ができません");
}
inline QString selectGroupToDelete() {
    return QStringLiteral("削除するグループを選択してください");
}
inline QString deleteGroupWithOpenRecord() {
    return QStringLiteral("削除するグループ内のレコードを展開中ですが。削除してもよろしいですか？");
}
inline QString deleteGroup() {
    return QStringLiteral("グループを内容ごと全て削除します。よろしいですか？");
}
inline QString cannotDeleteGroup() {
    return QStringLiteral("エラー：グループを削除できませんでした");
}
inline QString deleteEditedRecord() {
    return QStringLiteral("編集中のレコードを削除します。 よろしいですか？");
}
inline QString deleteOpenRecord() {
    return QStringLiteral("展開中のレコードを削除します。 よろしいですか？");
}
inline QString deleteFailed() {
    return QStringLiteral("削除に失敗しました");
}
inline QString copyFailed() {
    return QStringLiteral("コピーに失敗しました");
}
// Followed by the record's name.
inline QString copyFailedFor() {
    return QStringLiteral("コピーに失敗しました : ");
}

// Editing and the search.
// The line number's input box: its title and prompt.
inline QString goToLineTitle() {
    return QStringLiteral("行の移動");
}
inline QString goToLinePrompt() {
    return QStringLiteral("移動する行番号を入力してください");
}
// %1 is what was typed.
inline QString notANumber() {
    return QStringLiteral("'%1' は数値ではありません");
}
// A found line whose record is gone; %1 is its path.
inline QString foundRecordGone() {
    return QStringLiteral("レコード %1 は見つかりません");
}

} // namespace ostrel::texts::window
