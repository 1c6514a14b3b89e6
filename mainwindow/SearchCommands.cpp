// The search through all records: the command that opens its window, and
// what the window reaches of the main window (SearchHost): the editor's text,
// and showing a record that was found.
#include "MainFrm.h"

#include "WindowTexts.h"
#include "core/UserError.h"
#include "dialogs/SearchHost.h"
#include "dialogs/SearchUnit.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "record/OpenRecord.h"
#include "store/Folders.h"
#include "store/RecordStore.h"

using namespace ostrel;

namespace {

class MainSearchHost : public SearchHost {
public:
    explicit MainSearchHost(TMainFrm* frm) : m_frm(frm) {}

    QString dataFolder() const override { return m_frm->dataFolder(); }
    QString supportPatterns() const override { return m_frm->SupportPatterns; }

    std::optional<store::EditedRecord> editedRecord() override {
        const store::LoadedRecord& loaded = m_frm->loadedRecord();
        // A record still loading is searched in its file.
        if (loaded.path.isEmpty() || !m_frm->MainEdit->isEnabled() ||
            !m_frm->openRecord()->isComplete())
            return std::nullopt;
        return store::EditedRecord{loaded.group, loaded.name, m_frm->editorText()};
    }

    bool showFound(const QString& group, const QString& name, qint64 position, qint64 length,
                   const QString& what, MatchOptions options) override {
        TMainFrm* f = m_frm;
        const store::LoadedRecord& loaded = f->loadedRecord();
        // The loaded record's lines were found in the editor's text: it is
        // shown as it stands, edits and all, without a question.
        const bool isLoaded = !loaded.path.isEmpty() && f->MainEdit->isEnabled() &&
                              loaded.group == group && loaded.name == name;
        if (!isLoaded) {
            // Gone, or no longer listed since the search (another pattern
            // list): said before anything changes.
            if (!store::records(group, f->SupportPatterns).contains(name))
                throw UserError(texts::window::foundRecordGone().arg(recordPath(group, name)));
            if (f->ConfirmSaveChanges())
                return false;
        }
        // The group and the record, selected as the user picks them.
        f->ListGroups();
        const int groupIndex =
            f->GroupCmb->findText(group, Qt::MatchExactly | Qt::MatchCaseSensitive);
        f->SelectGroup(groupIndex);
        f->ListRecords();
        const QList<QListWidgetItem*> items =
            f->RecordLst->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
        f->SelectRecord(items.isEmpty() ? -1 : f->RecordLst->row(items.first()));
        if (!isLoaded) {
            f->MainEdit->setEnabled(true);
            f->LoadRecord();
        }
        f->GroupIndex = f->GroupCmb->currentIndex();
        f->RecordIndex = f->SelectedRecordIndex();
        f->DeleteRecordMnu->setEnabled(f->RecordIndex >= 0);
        f->DeleteRecBtn->setEnabled(f->RecordIndex >= 0);

        // The match, where the search found it; a text changed since then
        // (by another program) gets the caret there without a selection.
        const SharedText text = f->editorText();
        QString found;
        qint64 at = 0;
        for (QStringView part : text.parts()) {
            const qint64 from = std::max(position, at);
            const qint64 to = std::min(position + length, at + part.size());
            if (from < to)
                found += part.sliced(from - at, to - from);
            at += part.size();
        }
        const bool matches = found.size() == length && matchesAt(found, what, options);
        f->activateWindow();
        f->MainEdit->setFocus(Qt::OtherFocusReason);
        f->selectEditorText(position, matches ? length : 0);
        return true;
    }

private:
    TMainFrm* m_frm;
};

} // namespace

void TMainFrm::FindAllMnuClick() {
    if (!SearchFrm) {
        SearchFrm = new TSearchFrm(this, std::make_unique<MainSearchHost>(this));
        SearchFrm->setObjectName(QStringLiteral("SearchFrm"));
    }
    SearchFrm->Execute();
}

SharedText TMainFrm::editorText() {
    // The editor's blocks, shared (a block changed later is copied there).
    const editor::Snapshot snapshot = MainEdit->document()->snapshot();
    SharedText text;
    text.pieces = snapshot.sharedParts();
    text.length = snapshot.length();
    return text;
}

void TMainFrm::selectEditorText(qint64 position, qint64 length) {
    const qsizetype textLength = MainEdit->document()->length();
    const qsizetype start = std::clamp<qint64>(position, 0, textLength);
    const qsizetype end = std::clamp<qint64>(position + length, start, textLength);
    MainEdit->select(start, end);
    MainEdit->ensureCaretVisible();
    ShowCurrentLine();
}
