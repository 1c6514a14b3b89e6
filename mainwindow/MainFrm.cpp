// The main window's state, start-up, record picking, saving and closing.
#include "MainFrm.h"

#include "DiskFollower.h"
#include "WindowTexts.h"
#include "core/UserError.h"
#include "dialogs/CngExpUnit.h"
#include "dialogs/CreRecUnit.h"
#include "dialogs/CreateDirUnit.h"
#include "dialogs/SavePathUnit.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "os/FileSystem.h"
#include "print/CurrentPrinter.h"
#include "record/OpenRecord.h"
#include "record/RecoveryKeeper.h"
#include "resources/Resources.h"
#include "settings/Settings.h"
#include "store/Folders.h"
#include "store/RecordStore.h"
#include "store/Recovery.h"
#include "ui/Colors.h"
#include "ui/Handler.h"
#include "ui/MessageBox.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSessionManager>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <memory>

using namespace ostrel;

TMainFrm::TMainFrm(QWidget* parent)
    : QMainWindow(parent), MainEditBackColor(kColorWindow), RecordLstBackColor(kColorWindow),
      GroupCmbBackColor(kColorWindow), MainEditFontColor(kColorWindowText) {
    ostrel::initResources();
    setupUi(this);
    // The record open in the editor, from the first on.
    m_open = new OpenRecord([this] { return m_dataFolder; }, this);
    MainEdit->setDocument(m_open->document());
    Printer = new print::CurrentPrinter(this);
    nameSeparators();
    createPopupMenus();
    RecordLst->setUniformItemSizes(true);
    setUpLayout();
    bindCommands();
    bindEditorEvents();
    createAppearanceDialogs();
    // A large record loads in the background: its progress in the status bar,
    // its end (or its failure) here.
    connect(m_open, &OpenRecord::loadProgress, this, [this](qint64 read, qint64 total) {
        if (total > 0)
            StatusBar->showMessage(texts::window::loading()
                                       .arg(m_open->record().path)
                                       .arg(int(std::clamp<qint64>(read * 100 / total, 0, 100))));
    });
    connect(m_open, &OpenRecord::loadCancelled, StatusBar, &QStatusBar::clearMessage);
    bindHandler(m_open, &OpenRecord::loadFinished, this, [this](const QString& error) {
        StatusBar->clearMessage();
        if (m_follower)
            m_follower->editorMatchesFile();
        if (!error.isEmpty()) {
            MainEdit->setEnabled(false);
            throw UserError(error);
        }
    });
    connect(m_open->recovery(), &RecoveryKeeper::writeFailed, this, [this](const QString& folder) {
        // Said once: the user can go on, saving more often.
        if (m_recoveryFailureShown)
            return;
        m_recoveryFailureShown = true;
        showMessage(texts::window::recoveryWriteFailed().arg(folder));
    });
    // A logout asks the same as closing the window.
    bindHandler(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!sessionEnding(manager.allowsInteraction()))
            manager.cancel();
        manager.release();
    });
}

TMainFrm::~TMainFrm() {
    // The open record (its recovery copies written first) goes while the
    // editor that shows it and this window are whole.
    delete m_open;
}

const store::LoadedRecord& TMainFrm::loadedRecord() const {
    return m_open->record();
}

RecoveryKeeper* TMainFrm::recovery() const {
    return m_open->recovery();
}

void TMainFrm::setDialogs(TCreateDirFrm* createDir, TCreRecFrm* creRec, TCngExpFrm* cngExp,
                          TSavePathFrm* savePath) {
    CreateDirFrm = createDir;
    CreRecFrm = creRec;
    CngExpFrm = cngExp;
    SavePathFrm = savePath;
}

void TMainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_formShown)
        return;
    m_formShown = true;
    runHandler([this] { FormShow(); });
    waitForFrame();
}

void TMainFrm::waitForFrame() {
    // The window manager frames the window a moment after it is shown; its
    // outer edges are put in place as soon as the frame is known, and again
    // while the window manager, busy taking the window in, has not followed
    // (a few tries). A frame that has not come within a few seconds never
    // will (no window manager, or one that draws none): the geometry then
    // stays as placed.
    auto* poll = new QTimer(this);
    auto elapsed = std::make_shared<QElapsedTimer>();
    auto tries = std::make_shared<int>(0);
    elapsed->start();
    connect(poll, &QTimer::timeout, this, [this, poll, elapsed, tries] {
        // A size that is not the one placed was chosen by someone else (the
        // user): it is left alone.
        if (!m_wantedOuter.isNull() && size() != m_placedSize)
            m_wantedOuter = QRect();
        const QWindow* window = windowHandle();
        const bool framed = !frameMargins().isNull();
        const bool inPlace = window && window->frameGeometry() == m_wantedOuter;
        if (framed && !inPlace && !m_wantedOuter.isNull() && *tries < 5 &&
            elapsed->elapsed() >= *tries * 150) {
            ++*tries;
            placeOuter();
        }
        if ((framed && inPlace) || m_wantedOuter.isNull() || elapsed->elapsed() > 3000) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(20);
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    // A close that an error interrupts is refused: the window stays open.
    event->ignore();
    bool canClose = false;
    if (runHandler([&] { canClose = FormCloseQuery(); }) && canClose) {
        // The edits were saved or the user chose to drop them.
        recovery()->discard();
        event->accept();
    }
}

bool TMainFrm::sessionEnding(bool mayAskUser) {
    commitPreedit();
    if (!mayAskUser) {
        recovery()->flush();
        return true;
    }
    return close();
}

// --- geometry and colours ------------------------------------------------------

QRect TMainFrm::outerGeometry() const {
    return frameGeometry();
}

void TMainFrm::setOuterGeometry(const OuterGeometry& stored) {
    const QPoint corner(int(std::clamp<qint64>(stored.left, INT_MIN / 2, INT_MAX / 2)),
                        int(std::clamp<qint64>(stored.top, INT_MIN / 2, INT_MAX / 2)));
    QScreen* on = QGuiApplication::screenAt(corner);
    if (!on)
        on = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect available = on ? on->availableGeometry() : QRect(0, 0, 640, 480);
    m_wantedOuter = heldToScreen(stored, available, minimumSizeHint());
    placeOuter();
}

void TMainFrm::placeOuter() {
    // The frame is known only once the window manager has framed the window:
    // until then the client area takes the outer place and size, and when
    // the frame arrives the client is placed inside the outer edges (with the
    // static gravity Qt asks for, the window manager keeps the client where
    // it is told and puts the frame around it).
    const QMargins margins = frameMargins();
    const QRect client(m_wantedOuter.topLeft() + QPoint(margins.left(), margins.top()),
                       m_wantedOuter.size().shrunkBy(margins).expandedTo(QSize(1, 1)));
    setGeometry(client);
    m_placedSize = size();
}

void TMainFrm::setMainEditBackColor(qint32 value) {
    MainEditBackColor = value;
    setBackgroundColor(MainEdit, resolveColor(value));
}

void TMainFrm::setRecordLstBackColor(qint32 value) {
    RecordLstBackColor = value;
    setBackgroundColor(RecordLst, resolveColor(value));
}

void TMainFrm::setGroupCmbBackColor(qint32 value) {
    GroupCmbBackColor = value;
    setBackgroundColor(GroupCmb, resolveColor(value));
}

void TMainFrm::setMainEditFontColor(qint32 value) {
    MainEditFontColor = value;
    setTextColor(MainEdit, resolveColor(value));
}

// --- start-up --------------------------------------------------------------------

void TMainFrm::FormShow() {
    Starting = true;
    SaveSettingsOnClose = true;
    const auto started = qScopeGuard([this] { Starting = false; });

    m_dataFolder = fs::currentDirectory();
    // Watched from before the lists are first read, so that nothing another
    // program does meanwhile is missed.
    m_follower = new DiskFollower(this, m_dataFolder, this);
    // Temporary files that a killed save of the settings left behind.
    fs::removeStaleTemporaries(QStringLiteral("."));
    if (!fs::exists(settings::filePath())) {
        showMessage(texts::window::creatingSettings());
        // A data folder that cannot be written (read-only, full) still
        // starts, on the defaults, after the error is shown.
        if (!runHandler([this] { WriteDefaultSettings(false); }))
            applySettings(settings::defaults());
    }
    const settings::Settings stored = LoadSettings();

    if (!InsistOnGroup()) {
        // The user chose to end the program rather than make a group. Nothing
        // was changed to be saved; the settings are left as they are.
        SaveSettingsOnClose = false;
        QTimer::singleShot(0, this, [this] { close(); });
        return;
    }

    GroupIndex = FindGroupIndex(stored.lastDirectory.value_or(GroupCmb->currentText()));
    SelectGroup(GroupIndex);
    ListRecords();

    // Without a last record, all the items joined: a name no item has.
    QStringList items;
    for (int i = 0; i < RecordLst->count(); ++i)
        items.append(RecordLst->item(i)->text());
    RecordIndex = FindRecordIndex(stored.lastDocument.value_or(items.join(u'\n')));
    SelectRecord(RecordIndex);

    // A record that cannot be opened (gone, too large, not a file) is
    // reported, and the start goes on without it.
    if (RecordLst->count() == 0 || !runHandler([this] { LoadRecord(); }))
        MainEdit->setEnabled(false);

    if (SelectedRecordIndex() >= 0) {
        DeleteRecordMnu->setEnabled(true);
        DeleteRecBtn->setEnabled(true);
    }
    OfferRecovery();
    connectHintDisplay();
}

namespace {

// Asks how to write a record whose format nothing tells: Shift-JIS with CR LF
// (the format of the oldest records), or the format of a new file.
TextFormat askRecordFormat(const QString& path, const TextFormat& newFile) {
    const auto breakName = [](LineBreak b) {
        return b == LineBreak::CRLF ? QStringLiteral("CR+LF")
               : b == LineBreak::CR ? QStringLiteral("CR")
                                    : QStringLiteral("LF");
    };
    TextFormat shiftJis = newFile;
    shiftJis.encoding = TextEncoding::ShiftJis;
    shiftJis.lineBreak = LineBreak::CRLF;
    const Answer a =
        askQuestion(QuestionKind::Information,
                    texts::window::formatUnknown().arg(
                        path, encodingName(shiftJis.encoding), breakName(shiftJis.lineBreak),
                        encodingName(newFile.encoding), breakName(newFile.lineBreak)),
                    YesButton | NoButton);
    return a == Answer::Yes ? shiftJis : newFile;
}

} // namespace

void TMainFrm::OfferRecovery() {
    const store::LeftCopies left = store::leftRecoveryCopies(recovery()->folder());
    if (!left.refused.isEmpty())
        showMessage(texts::window::recoveryRefused().arg(left.refused.join(u'\n')));
    for (const store::RecoveryCopy& copy : left.copies) {
        const QString path = recordPath(copy.group, copy.name);
        if (copy.textBytes > store::recoveryTextLimit()) {
            // Only an explicit Yes throws away what cannot be shown.
            if (askQuestion(QuestionKind::Warning,
                            texts::window::recoveryTooLargeAsk().arg(
                                path, QString::number(store::recoveryTextLimit() >> 20), copy.file),
                            YesButton | NoButton, NoButton) == Answer::Yes)
                store::removeRecoveryCopy(copy.file);
            continue;
        }
        // Only No discards: Esc (キャンセル) and the title bar's close keep
        // the copy for the next start.
        const Answer a =
            askQuestion(QuestionKind::Information, texts::window::recoveryOffer().arg(path),
                        YesButton | NoButton | CancelButton);
        // One record fits the editor: any other copy waits for the next start.
        if (a == Answer::Yes && restoreRecovery(copy))
            return;
        if (a == Answer::No)
            store::removeRecoveryCopy(copy.file);
    }
}

bool TMainFrm::restoreRecovery(const store::RecoveryCopy& copy) {
    const store::RecoveryText read = store::readRecoveryText(copy);
    if (read.status != store::RecoveryRead::Read) {
        showMessage((read.status == store::RecoveryRead::TooLarge
                         ? texts::window::recoveryTooLarge().arg(
                               copy.file, QString::number(store::recoveryTextLimit() >> 20))
                         : texts::window::recoveryUnreadable().arg(copy.file)));
        return false;
    }
    // The record's group is shown and the record selected as a pick would
    // show them; a record that the list does not show (its group gone, or no
    // pattern matching it) has none selected, and none may be taken (deleted)
    // for it.
    const int group = GroupCmb->findText(copy.group, Qt::MatchExactly | Qt::MatchCaseSensitive);
    int row = -1;
    if (group >= 0) {
        SelectGroup(group);
        ListRecords();
        const auto found =
            RecordLst->findItems(copy.name, Qt::MatchExactly | Qt::MatchCaseSensitive);
        row = found.isEmpty() ? -1 : RecordLst->row(found.first());
    }
    SelectRecord(row);
    // The edits are written in the record's own format: its file's, listed or
    // not; for a file that is gone or cannot be read, the format the copy
    // tells, or else the one the user chooses.
    store::LoadedRecord record;
    try {
        record = store::load(copy.group, copy.name).record;
    } catch (const UserError&) {
        record = store::absentRecord(copy.group, copy.name);
        if (copy.format)
            record.format = *copy.format;
        else
            record.format = askRecordFormat(record.path, record.format);
    }
    // The edits began from the file as it was then: a save asks first when
    // another program has changed it since, as it would have before the end.
    // A copy that does not tell that state counts as changed.
    record.disk = copy.loaded.value_or(store::DiskState{});
    m_open->restore(std::move(record), read.text, copy.file);
    MainEdit->setEnabled(true);
    SaveDataBtn->setEnabled(true);
    GroupIndex = GroupCmb->currentIndex();
    RecordIndex = SelectedRecordIndex();
    DeleteRecordMnu->setEnabled(RecordIndex >= 0);
    DeleteRecBtn->setEnabled(RecordIndex >= 0);
    return true;
}

// --- picking, editing, saving ----------------------------------------------------

void TMainFrm::RecordLstClick() {
    commitPreedit();
    MainEdit->setEnabled(true);
    if (ConfirmSaveChanges()) {
        // Cancelled: the loaded record's group and record are shown again.
        SelectGroup(loadedGroupIndex());
        ListRecords();
        SelectRecord(loadedRecordIndex());
        return;
    }
    LoadRecord(); // which sets RecordPath and RecordName
    if (!Starting) {
        GroupIndex = GroupCmb->currentIndex();
        RecordIndex = SelectedRecordIndex();
    }
    DeleteRecordMnu->setEnabled(true);
    DeleteRecBtn->setEnabled(true);
}

int TMainFrm::loadedGroupIndex() const {
    // GroupIndex names the loaded record's group unless the group list has
    // been rebuilt since; then the group is looked up by its name.
    const QString& group = loadedRecord().group;
    if (GroupIndex >= 0 && GroupIndex < GroupCmb->count() &&
        GroupCmb->itemText(GroupIndex) == group)
        return GroupIndex;
    return group.isEmpty() ? GroupIndex : FindGroupIndex(group);
}

int TMainFrm::loadedRecordIndex() const {
    if (RecordIndex >= 0 && RecordIndex < RecordLst->count() &&
        RecordLst->item(RecordIndex)->text() == loadedRecord().name)
        return RecordIndex;
    if (loadedRecord().name.isEmpty())
        return RecordIndex;
    // A record deleted behind the window's back is no longer listed: nothing
    // is selected then, as another record selected beside the edits would
    // pass for the one in the editor (and for the one a deletion removes).
    const QList<QListWidgetItem*> listed =
        RecordLst->findItems(loadedRecord().name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    return listed.isEmpty() ? -1 : FindRecordIndex(loadedRecord().name);
}

void TMainFrm::GroupCmbChange() {
    // The loaded record stays in the editor: a composition is made text while
    // its record is still the one shown.
    commitPreedit();
    ListRecords(); // empties RecordLst first
}

void TMainFrm::MainEditChange() {
    SaveDataBtn->setEnabled(MainEdit->document()->isModified());
}

void TMainFrm::SaveDataBtnClick() {
    commitPreedit();
    if (!WriteRecord())
        return;
    SaveDataBtn->setEnabled(false);
}

void TMainFrm::SaveMnuClick() {
    SaveDataBtnClick();
}

bool TMainFrm::WriteRecord() {
    // The open record answers each save with the question it needs; the
    // window asks it and passes the answer back.
    OpenRecord::Answers answers;
    for (;;) {
        const OpenRecord::SaveResult result = m_open->save(answers);
        if (result.saved)
            break;
        if (!result.ask)
            return false; // no record, or its text not read whole yet
        const QString path = loadedRecord().path;
        switch (*result.ask) {
        case OpenRecord::Question::LossyRead:
            if (askQuestion(QuestionKind::Warning, texts::window::lossyRead().arg(path),
                            YesButton | NoButton) != Answer::Yes)
                return false;
            answers.writeLossy = true;
            break;
        case OpenRecord::Question::Changed:
        case OpenRecord::Question::Gone:
            // Whatever the answer, the edits stay in the editor.
            if (askQuestion(QuestionKind::Warning,
                            (*result.ask == OpenRecord::Question::Gone
                                 ? texts::window::recordGone()
                                 : texts::window::recordChanged())
                                .arg(path),
                            YesButton | NoButton, NoButton) != Answer::Yes)
                return false;
            answers.overwrite = true;
            break;
        case OpenRecord::Question::Unencodable:
            if (askQuestion(
                    QuestionKind::Warning,
                    texts::window::unencodable().arg(encodingName(loadedRecord().format.encoding)),
                    YesButton | NoButton) != Answer::Yes)
                return false;
            answers.asUtf8 = true;
            break;
        }
    }
    if (m_follower)
        m_follower->editorMatchesFile();
    return true;
}

QMargins TMainFrm::frameMargins() const {
    // As the window manager reports them; nothing until it has framed the
    // window, and nothing absurd taken from it.
    const QWindow* window = windowHandle();
    const QMargins m = window ? window->frameMargins() : QMargins();
    const auto plausible = [](int v) { return v >= 0 && v < 200; };
    if (!plausible(m.left()) || !plausible(m.top()) || !plausible(m.right()) ||
        !plausible(m.bottom()))
        return {};
    return m;
}

bool TMainFrm::ConfirmSaveChanges() {
    if (!MainEdit->document()->isModified())
        return false;
    const Answer a = askQuestion(QuestionKind::Information, texts::window::unsavedChanges(),
                                 YesButton | NoButton | CancelButton);
    if (a == Answer::No)
        return false;
    if (a != Answer::Yes)
        return true;
    if (!WriteRecord())
        return true; // not saved: the edits are kept, as after Cancel
    SaveDataBtn->setEnabled(false);
    return false;
}

// --- closing -----------------------------------------------------------------------

bool TMainFrm::FormCloseQuery() {
    commitPreedit();
    const bool canClose = !ConfirmSaveChanges();
    if (!SaveSettingsOnClose)
        return canClose;
    try {
        SaveSettings();
    } catch (const UserError& e) {
        // The settings file cannot be written (a full disk, a read-only file
        // or folder): the error keeps the window open, but the user may still
        // quit without the settings; otherwise the program could not be quit
        // at all.
        showDefaultErrorBox(e.message());
        return canClose && askQuestion(QuestionKind::Warning, texts::window::settingsNotSaved(),
                                       YesButton | NoButton, NoButton) == Answer::Yes;
    }
    return canClose;
}

void TMainFrm::ExitBtnClick() {
    close();
}

void TMainFrm::ApplicationCloseMnuClick() {
    close();
}

void TMainFrm::SetDefaultMnuClick() {
    WriteDefaultSettings(true);
}

// --- the record store on the window --------------------------------------------------

bool TMainFrm::ListGroups() {
    const QSignalBlocker block(GroupCmb);
    GroupCmb->clear();
    const QStringList names = store::groups();
    GroupCmb->addItems(names);
    GroupCmb->setCurrentIndex(-1);
    return !names.isEmpty();
}

void TMainFrm::ListRecords() {
    if (m_follower)
        m_follower->recordsListed();
    const QSignalBlocker block(RecordLst);
    RecordLst->clear();
    RecordLst->addItems(store::records(GroupCmb->currentText(), SupportPatterns));
}

int TMainFrm::FindGroupIndex(const QString& name) const {
    QStringList items;
    items.reserve(GroupCmb->count());
    for (int i = 0; i < GroupCmb->count(); ++i)
        items.append(GroupCmb->itemText(i));
    return lastExactIndex(items, name);
}

int TMainFrm::FindRecordIndex(const QString& name) const {
    if (name.isEmpty())
        return 0;
    int found = 0;
    for (int i = 0; i < RecordLst->count(); ++i)
        if (RecordLst->item(i)->text() == name)
            found = i;
    return found;
}

void TMainFrm::SelectGroup(int position) {
    const QSignalBlocker block(GroupCmb);
    GroupCmb->setCurrentIndex(position);
}

void TMainFrm::SelectRecord(int position) {
    const QSignalBlocker block(RecordLst);
    if (position >= 0 && position < RecordLst->count()) {
        RecordLst->setCurrentRow(position, QItemSelectionModel::ClearAndSelect);
    } else {
        RecordLst->setCurrentRow(-1, QItemSelectionModel::Clear);
        RecordLst->clearSelection();
    }
}

int TMainFrm::SelectedRecordIndex() const {
    const QList<QListWidgetItem*> selected = RecordLst->selectedItems();
    return selected.isEmpty() ? -1 : RecordLst->row(selected.first());
}

QString TMainFrm::SelectedRecordName() const {
    const QList<QListWidgetItem*> selected = RecordLst->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void TMainFrm::LoadRecord() {
    const QString name = SelectedRecordName();
    if (name.isEmpty())
        return;
    // The record becomes the loaded one only once its file was opened: a
    // file that cannot be opened leaves the editor with the text it had, and
    // the path with it, so that a save never writes that text over the file
    // that failed. A large record goes on loading in the background, and
    // takes no edit and no save until it is in.
    m_open->load(GroupCmb->currentText(), name);
    recordShown();
}

bool TMainFrm::reloadRecord() {
    const store::LoadedRecord& record = loadedRecord();
    const std::optional<fs::FileStamp> stamp = fs::stampOf(record.path);
    if (stamp && stamp->size >= OpenRecord::kBackgroundSize) {
        // A large one is read again in the background, from its start.
        m_open->load(record.group, record.name);
        recordShown();
        return true;
    }
    store::RecordText loaded = store::load(record.group, record.name);
    // Another program's save of the same text (a sync engine's copy, a
    // touch) leaves the editor alone.
    const QString& text = loaded.text;
    const editor::Snapshot held = m_open->document()->snapshot();
    bool same = held.length() == text.size();
    qsizetype at = 0;
    for (const QStringView piece : held.parts()) {
        if (!same)
            break;
        same = QStringView(text).sliced(at, piece.size()) == piece;
        at += piece.size();
    }
    if (same) {
        m_open->takeState(std::move(loaded.record));
        return false;
    }
    showRecord(std::move(loaded));
    return true;
}

void TMainFrm::showRecord(store::RecordText loaded) {
    const qsizetype anchor = MainEdit->anchor();
    const qsizetype position = MainEdit->caret();
    const int down = MainEdit->verticalScrollBar()->value();
    const int across = MainEdit->horizontalScrollBar()->value();
    m_open->show(std::move(loaded));
    recordShown();
    MainEdit->select(anchor, position); // limited to the new text
    MainEdit->verticalScrollBar()->setValue(down);
    MainEdit->horizontalScrollBar()->setValue(across);
}

void TMainFrm::recordShown() {
    // A loaded record can be typed into, however the editor was left before
    // (disabled after a deletion or a move).
    MainEdit->setEnabled(true);
    if (m_follower && m_open->isComplete())
        m_follower->editorMatchesFile();
}

// --- what follows the disk reaches ----------------------------------------------------

void TMainFrm::placeNotice(QWidget* notice) {
    ClientLayout->insertWidget(1, notice);
}

bool TMainFrm::editorHoldsRecord() const {
    return MainEdit->isEnabled();
}

bool TMainFrm::editorModified() const {
    return MainEdit->document()->isModified();
}

bool TMainFrm::recordComplete() const {
    return m_open->isComplete();
}

// --- what the dialogs reach ----------------------------------------------------------

QString TMainFrm::shownGroup() const {
    return GroupCmb->currentText();
}

void TMainFrm::showGroup(const QString& name) {
    ListGroups();
    SelectGroup(FindGroupIndex(name));
    ListRecords();
}

DialogHost::NewRecord TMainFrm::showNewRecord(const QString& name) {
    commitPreedit();
    ListRecords();
    if (RecordLst->count() == 0)
        return NewRecord::NotListed;
    if (ConfirmSaveChanges()) {
        // Kept: the loaded record stays in the editor with its edits, and
        // stays selected when the shown group is its own.
        const auto loaded = loadedRecord().group == GroupCmb->currentText()
                                ? RecordLst->findItems(loadedRecord().name,
                                                       Qt::MatchExactly | Qt::MatchCaseSensitive)
                                : QList<QListWidgetItem*>();
        SelectRecord(loaded.isEmpty() ? -1 : RecordLst->row(loaded.first()));
        return NewRecord::Kept;
    }
    if (RecordLst->count() == 1) {
        // The group's only record is loaded too: the editor shows what the
        // list selects, so that what is typed next goes into that record and
        // not into the one shown before.
        RecordIndex = 0;
        SelectRecord(0);
        LoadRecord();
        return NewRecord::OnlyRecord;
    }
    RecordIndex = FindRecordIndex(name);
    SelectRecord(RecordIndex);
    LoadRecord();
    return NewRecord::Loaded;
}

bool TMainFrm::closesAfterCreatingRecord() const {
    return Create_Close_Record->isChecked();
}

bool TMainFrm::InsistOnGroup() {
    // The window cannot be used without a group: the create-group dialog comes
    // back, without its Close button, until one exists. Closed by its title
    // bar, or refusing a name for the second time (a data folder that cannot
    // be written refuses every one), it offers to end the program instead.
    if (!CreateDirFrm)
        return ListGroups();
    int refusals = 0;
    bool end = false;
    const QMetaObject::Connection refused =
        connect(CreateDirFrm, &TCreateDirFrm::refused, this, [this, &refusals, &end] {
            if (++refusals < 2)
                return;
            end = askQuestion(QuestionKind::Warning,
                              texts::window::cannotCreateFirstGroup().arg(m_dataFolder),
                              YesButton | NoButton) == Answer::Yes;
            if (end)
                CreateDirFrm->reject();
        });
    const auto disconnected = qScopeGuard([refused] { QObject::disconnect(refused); });
    while (!ListGroups()) {
        CreateDirFrm->CloseBtn->setEnabled(false);
        CreateDirFrm->exec();
        CreateDirFrm->CloseBtn->setEnabled(true);
        if (end)
            return false;
        if (ListGroups())
            break;
        if (askQuestion(QuestionKind::Warning, texts::window::noGroup(), YesButton | NoButton) ==
            Answer::Yes)
            return false;
    }
    return true;
}
