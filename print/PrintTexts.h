#pragma once

#include <QString>

// The texts of printing. %1 is a printer's name unless told.
namespace ostrel::texts::print {

// Errors.
inline QString noDefaultPrinter() {
    return QStringLiteral("デフォルト プリンタが存在しません");
}
inline QString invalidPrinter() {
    return QStringLiteral("選択したプリンタは有効ではありません");
}
// A printer chosen while a job hands over its pages.
inline QString busyPrinting() {
    return QStringLiteral("印刷中");
}
inline QString printerStopped() {
    return QStringLiteral("プリンタ %1 が停止しているため印刷できませんでした");
}
// %2 is the job's number.
inline QString jobNotPrinted() {
    return QStringLiteral("プリンタ %1 の印刷ジョブ %2 は印刷されませんでした");
}

// The print system that does not answer: the error and its details (%1 the
// server, %2 the seconds waited), and the one that cannot be reached.
inline QString printSystemSilent() {
    return QStringLiteral("印刷システムが応答しません");
}
inline QString printSystemSilentDetails() {
    return QStringLiteral("印刷システム (%1) は %2 秒待っても応答しませんでした");
}
inline QString printSystemUnreachable() {
    return QStringLiteral("印刷システム (%1) に接続できません");
}

// The box shown while the print system is asked: what is awaited (%1) and
// the seconds waited (%2).
inline QString waitingForPrinters() {
    return QStringLiteral("プリンタの一覧を待っています...");
}
inline QString waitingForPrinter() {
    return QStringLiteral("プリンタの応答を待っています...");
}
inline QString printing() {
    return QStringLiteral("印刷しています...");
}
inline QString waitedSeconds() {
    return QStringLiteral("%1 (%2 秒)");
}

// The chosen printer's state in the print dialogs.
inline QString printerNotFound() {
    return QStringLiteral("見つかりません");
}
inline QString stateIdle() {
    return QStringLiteral("待機中");
}
inline QString stateStopped() {
    return QStringLiteral("停止中");
}
inline QString statePrinting() {
    return QStringLiteral("印刷中");
}
inline QString stateNotAccepting() {
    return QStringLiteral(" (印刷ジョブを受け付けていません)");
}

// The print dialog's choices of two-sided printing and colour.
inline QString oneSided() {
    return QStringLiteral("しない");
}
inline QString twoSidedLongEdge() {
    return QStringLiteral("長辺とじ");
}
inline QString twoSidedShortEdge() {
    return QStringLiteral("短辺とじ");
}
inline QString colour() {
    return QStringLiteral("カラー");
}
inline QString monochrome() {
    return QStringLiteral("白黒");
}
inline QString asPrinterSet() {
    return QStringLiteral("プリンタの設定どおり");
}

} // namespace ostrel::texts::print
