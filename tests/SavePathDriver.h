#pragma once

// Drives the modal destination folder dialog as a person does: steps queued
// before the dialog opens run once it is shown, inside its event loop.

#include "TestSupport.h"
#include "dialogs/SavePathUnit.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <functional>

namespace testing::savepath {

using testing::SavePathFrm;

// Runs `steps` as soon as the destination folder dialog is the active modal
// window. Call it before the command that opens the dialog. The watch ends
// with the dialog (or earlier through the returned timer).
inline QTimer* whenShown(std::function<void()> steps) {
    TSavePathFrm* dialog = SavePathFrm;
    auto* timer = new QTimer(dialog);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, dialog, steps] {
        if (!dialog->isVisible() || QApplication::activeModalWidget() != dialog)
            return;
        timer->stop();
        timer->deleteLater();
        steps();
    });
    timer->start();
    return timer;
}

// The texts of the folder list, top to bottom.
inline QStringList entries() {
    QStringList out;
    for (int i = 0; i < SavePathFrm->DirPath->count(); ++i)
        out.append(SavePathFrm->DirPath->item(i)->text());
    return out;
}

inline QListWidgetItem* entry(const QString& text) {
    const QList<QListWidgetItem*> found =
        SavePathFrm->DirPath->findItems(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found.isEmpty())
        qWarning("no folder entry %s", qPrintable(text));
    return found.isEmpty() ? nullptr : found.last();
}

inline QPoint entryCentre(QListWidgetItem* item) {
    SavePathFrm->DirPath->scrollToItem(item);
    return SavePathFrm->DirPath->visualItemRect(item).center();
}

inline void click(const QString& text) {
    if (QListWidgetItem* item = entry(text))
        QTest::mouseClick(SavePathFrm->DirPath->viewport(), Qt::LeftButton, {}, entryCentre(item));
}

// A double-click as the system delivers it: press, release, double-click
// press, release.
inline void doubleClickItem(QListWidgetItem* item) {
    if (!item)
        return;
    QWidget* viewport = SavePathFrm->DirPath->viewport();
    const QPoint at = entryCentre(item);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
}

inline void doubleClick(const QString& text) {
    doubleClickItem(entry(text));
}

// Double-clicks the entry at a position of the list (ancestors by depth).
inline void doubleClickRow(int row) {
    doubleClickItem(SavePathFrm->DirPath->item(row));
}

// Double-clicks the entry that opens `path` (an ancestor, say).
inline void doubleClickPath(const QString& path) {
    for (int i = 0; i < SavePathFrm->DirPath->count(); ++i)
        if (SavePathFrm->DirPath->item(i)->data(Qt::UserRole).toString() == path)
            return doubleClickItem(SavePathFrm->DirPath->item(i));
    qWarning("no folder entry for %s", qPrintable(path));
}

// Enter and Esc, typed where the focus is (the folder list by default).
inline void pressEnter(QWidget* at = nullptr) {
    QTest::keyClick(at ? at : SavePathFrm->DirPath, Qt::Key_Return);
}

inline void pressEsc(QWidget* at = nullptr) {
    QTest::keyClick(at ? at : SavePathFrm->DirPath, Qt::Key_Escape);
}

} // namespace testing::savepath
