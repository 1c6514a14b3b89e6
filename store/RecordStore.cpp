#include "RecordStore.h"

#include "Folders.h"
#include "mainwindow/MainFrm.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

#include <QSignalBlocker>

#include <algorithm>

using namespace ostrel;

namespace ostrel {

qint64 recordSizeLimit() {
    // A record is held several times over while it is open (the file's
    // bytes, the editor's text, the copy that find and save use, the layout):
    // about ten times its size at the peak. What the machine cannot hold is
    // refused, never more than 1 GiB, never less than 64 MiB.
    constexpr qint64 kMiB = 1 << 20;
    const qint64 memory = fs::physicalMemory();
    return std::clamp<qint64>(memory > 0 ? memory / 12 : 1024 * kMiB, 64 * kMiB, 1024 * kMiB);
}

bool isSingleEntryName(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(u'\\') && !name.contains(QChar(0));
}

} // namespace ostrel

int SelectedRecordIndex() {
    const QList<QListWidgetItem*> selected = MainFrm->RecordLst->selectedItems();
    return selected.isEmpty() ? -1 : MainFrm->RecordLst->row(selected.first());
}

QString SelectedRecordName() {
    const QList<QListWidgetItem*> selected = MainFrm->RecordLst->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

bool ListGroups() {
    QComboBox* cmb = MainFrm->GroupCmb;
    const QSignalBlocker block(cmb);
    cmb->clear();
    QStringList names = groupNames(QStringLiteral("."));
    sortForList(names);
    cmb->addItems(names);
    cmb->setCurrentIndex(-1);
    return !names.isEmpty();
}

void ListRecords() {
    QListWidget* lst = MainFrm->RecordLst;
    const QSignalBlocker block(lst);
    lst->clear();
    const QString group = groupPath(MainFrm->GroupCmb->currentText());
    // The folder is read once. What a save that was killed left behind is
    // cleared away here.
    const std::vector<fs::DirEntry> listing = fs::listDirectory(group);
    fs::removeStaleTemporaries(group, listing);
    QStringList names = recordNames(listing, MainFrm->SupportPatterns);
    sortForList(names);
    lst->addItems(names);
}

int FindGroupIndex(const QString& name) {
    QStringList items;
    const QComboBox* cmb = MainFrm->GroupCmb;
    items.reserve(cmb->count());
    for (int i = 0; i < cmb->count(); ++i)
        items.append(cmb->itemText(i));
    return lastExactIndex(items, name);
}

int FindRecordIndex(const QString& name) {
    if (name.isEmpty())
        return 0;
    const QListWidget* lst = MainFrm->RecordLst;
    int found = 0;
    for (int i = 0; i < lst->count(); ++i)
        if (lst->item(i)->text() == name)
            found = i;
    return found;
}

void SelectGroup(int position) {
    const QSignalBlocker block(MainFrm->GroupCmb);
    MainFrm->GroupCmb->setCurrentIndex(position);
}

void SelectRecord(int position) {
    QListWidget* lst = MainFrm->RecordLst;
    const QSignalBlocker block(lst);
    if (position >= 0 && position < lst->count()) {
        lst->setCurrentRow(position, QItemSelectionModel::ClearAndSelect);
    } else {
        lst->setCurrentRow(-1, QItemSelectionModel::Clear);
        lst->clearSelection();
    }
}

void LoadRecord() {
    const QString name = SelectedRecordName();
    if (name.isEmpty())
        return;
    const QString path = recordPath(MainFrm->GroupCmb->currentText(), name);
    const qint64 limit = recordSizeLimit();
    const fs::ReadResult read = fs::readFileUpTo(path, limit);
    if (read.status == fs::ReadStatus::TooLarge)
        throw PlatformError(
            QStringLiteral("ファイル %1 は大きすぎるため開けません（開けるのは %2 MB まで）")
                .arg(path)
                .arg(limit >> 20));
    if (read.status != fs::ReadStatus::Read)
        throw PlatformError(QStringLiteral("ファイル %1 は開けません").arg(path));
    DecodedText decoded = decodeText(read.bytes);
    MainFrm->RecordPath = path;
    MainFrm->RecordName = name;
    MainFrm->RecordFormat = std::move(decoded.format);
    MainFrm->MainEdit->setRecordText(decoded.text);
    MainFrm->MainEdit->document()->setModified(false);
}

bool CreateGroupFolder(const QString& name) {
    const bool created = isSingleEntryName(name) && fs::createDirectory(groupPath(name));
    ListGroups();
    return created;
}

void CreateRecordFile(const QString& name) {
    // Without a shown group (the list has no selection) there is no folder to
    // create in: the file never lands in the data folder itself.
    const QString group = MainFrm->GroupCmb->currentText();
    const bool created = isSingleEntryName(group) && isSingleEntryName(name) &&
                         fs::createNewFile(recordPath(group, name));
    if (!created)
        showMessage(QStringLiteral("エラー：レコードを作成できませんでした"));
}
