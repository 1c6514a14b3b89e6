// Deleting records and groups; copying and moving them to another folder.
#include "MainFrm.h"

#include "editor/Document.h"
#include "record/OpenRecord.h"

#include "WindowTexts.h"
#include "dialogs/SavePathUnit.h"
#include "os/FileSystem.h"
#include "store/Folders.h"
#include "store/RecordStore.h"
#include "ui/MessageBox.h"

#include <algorithm>
#include <optional>

using namespace ostrel;

namespace {

// The destination folder dialog browses by changing the working directory;
// this puts it back on every way out of a copy command.
class WorkingDirectoryKeeper {
public:
    WorkingDirectoryKeeper() : m_path(fs::currentDirectory()) {}
    ~WorkingDirectoryKeeper() { restore(); }
    WorkingDirectoryKeeper(const WorkingDirectoryKeeper&) = delete;
    WorkingDirectoryKeeper& operator=(const WorkingDirectoryKeeper&) = delete;

    const QString& path() const { return m_path; }
    void restore() const {
        if (!m_path.isEmpty())
            fs::setCurrentDirectory(m_path);
    }

private:
    QString m_path;
};

} // namespace

void TMainFrm::clearEditor() {
    m_open->clear();
    SaveDataBtn->setEnabled(false);
}

void TMainFrm::disableRecordDeletion() {
    DeleteRecordMnu->setEnabled(false);
    DeleteRecBtn->setEnabled(false);
}

std::optional<QString> TMainFrm::chooseDestination() {
    // The copy commands need a record loaded since start-up.
    if (RecordPath().isEmpty()) {
        showMessage(texts::window::selectFile());
        return std::nullopt;
    }
    ShowForm(QStringLiteral("SavePath"));
    QString dir = SaveDir;
    if (dir.isEmpty())
        return std::nullopt;
    if (dir.endsWith(u'/'))
        dir.chop(1);
    return dir;
}

void TMainFrm::tellWhereUnlisted(const QString& folder, const QString& done, const QString& where) {
    // The destination folder dialog takes the folder it has opened, not the
    // one highlighted: a record can land in the data folder itself, or in a
    // folder that no list shows. The user is told where it went.
    if (store::isGroupFolder(folder))
        return;
    showMessage(texts::window::unlistedDestination().arg(where, done));
}

bool TMainFrm::DeleteRecordFile(bool moved) {
    const bool deleted =
        moved ? store::removeMovedRecord(RecordPath()) : store::deleteRecord(RecordPath());
    ListRecords();
    SelectRecord(-1);
    clearEditor();
    MainEdit->setEnabled(false);
    GroupIndex = -1;
    RecordIndex = -1;
    disableRecordDeletion();
    return deleted;
}

void TMainFrm::DeleteGroup(const QString& name) {
    if (GroupCmb->count() < 2) {
        showMessage(texts::window::lastGroup());
        return;
    }
    if (name.isEmpty()) {
        showMessage(texts::window::selectGroupToDelete());
        return;
    }
    commitPreedit();

    // Whether the record in the editor lies in the group: by the group's
    // name, or as the same folder under another name (a link). The editor
    // holds a record while it is enabled: a deletion or a move disables it.
    const store::LoadedRecord& loaded = loadedRecord();
    const bool holdsRecord = MainEdit->isEnabled() && !loaded.path.isEmpty();
    const bool loadedInGroup =
        holdsRecord &&
        (loaded.group == name || fs::sameFile(groupPath(name), groupPath(loaded.group)));
    // Its unsaved edits are asked about first; Cancel keeps the group.
    if (loadedInGroup && ConfirmSaveChanges())
        return;
    const QString question =
        loadedInGroup ? texts::window::deleteGroupWithOpenRecord() : texts::window::deleteGroup();
    if (askQuestion(QuestionKind::Warning, question, YesButton | NoButton) != Answer::Yes)
        return;

    if (!store::deleteGroup(name))
        showMessage(texts::window::cannotDeleteGroup());

    ListGroups();
    if (holdsRecord && !loadedInGroup) {
        // The record of another group stays in the editor with its edits,
        // shown in its group as after any pick (a group no longer listed
        // shows the first one, with nothing selected).
        const int group =
            GroupCmb->findText(loaded.group, Qt::MatchExactly | Qt::MatchCaseSensitive);
        SelectGroup(std::max(group, 0));
        ListRecords();
        SelectRecord(group >= 0 ? loadedRecordIndex() : -1);
        if (group >= 0) {
            GroupIndex = group;
            RecordIndex = SelectedRecordIndex();
        }
        return;
    }
    MainEdit->setEnabled(false);
    clearEditor();
    SelectGroup(0);
    ListRecords();
    SelectRecord(-1);
    disableRecordDeletion();
}

void TMainFrm::DeleteRecordMnuClick() {
    commitPreedit();
    const QString question = MainEdit->document()->isModified()
                                 ? texts::window::deleteEditedRecord()
                                 : texts::window::deleteOpenRecord();
    if (askQuestion(QuestionKind::Information, question, YesButton | NoButton) != Answer::Yes)
        return;
    if (!DeleteRecordFile())
        showMessage(texts::window::deleteFailed());
    disableRecordDeletion();
}

void TMainFrm::DeleteRecBtnClick() {
    DeleteRecordMnuClick();
}

void TMainFrm::DeleteRecordPum2Click() {
    DeleteRecordMnuClick();
}

void TMainFrm::DeleteGroupMnuClick() {
    DeleteGroup(GroupCmb->currentText());
}

void TMainFrm::SC_RecUserCopy(QObject* Sender) {
    bool move = false;
    if (Sender == MoveRecordPum2)
        move = true;
    else if (Sender != MoveRecordPum)
        return;

    // A move takes the record away from the editor: its unsaved edits are
    // saved or dropped first, or the move does not happen.
    commitPreedit();
    if (move && !RecordPath().isEmpty() && ConfirmSaveChanges())
        return;

    const WorkingDirectoryKeeper workingDirectory;
    const std::optional<QString> destination = chooseDestination();
    if (!destination)
        return;

    // The file as saved on disk; a copy onto itself (the record's own group,
    // directly or through a link) fails and leaves it alone.
    const store::LoadedRecord loaded = loadedRecord();
    const QString source = workingDirectory.path() + u'/' + loaded.group + u'/' + loaded.name;
    const bool copied = store::copyRecord(source, *destination + u'/' + loaded.name);
    workingDirectory.restore();
    if (!copied) {
        showMessage(texts::window::copyFailed());
        return;
    }
    // The copy is complete on disk before the record leaves its group. A
    // record that cannot be removed (read-only) is said to be left behind,
    // or the user would take the move as done.
    if (move && !DeleteRecordFile(true))
        showMessage(texts::window::deleteFailed());
    else
        tellWhereUnlisted(*destination, move ? texts::window::moved() : texts::window::copied(),
                          *destination + u'/' + loaded.name);
}

void TMainFrm::SC_GroupCopy(QObject* Sender) {
    if (Sender != FixGroupPum)
        return;

    const WorkingDirectoryKeeper workingDirectory;
    const std::optional<QString> destination = chooseDestination();
    if (!destination)
        return;

    const QString group = workingDirectory.path() + u'/' + GroupCmb->currentText() + u'/';
    for (int i = 0; i < RecordLst->count(); ++i) {
        const QString item = RecordLst->item(i)->text();
        if (!store::copyRecord(group + item, *destination + u'/' + item)) {
            workingDirectory.restore();
            showMessage(texts::window::copyFailedFor() + item);
            return;
        }
    }
    workingDirectory.restore();
    if (RecordLst->count() > 0)
        tellWhereUnlisted(*destination, texts::window::copied(), *destination);
}
