// The main window's state, start-up, record picking, saving and closing.
#include "MainFrm.h"

#include "DiskFollower.h"
#include "RecoveryKeeper.h"
#include "TextMirror.h"
#include "core/UserError.h"
#include "dialogs/CngExpUnit.h"
#include "dialogs/CreDirUnit.h"
#include "dialogs/CreRecUnit.h"
#include "dialogs/SavePathUnit.h"
#include "os/FileSystem.h"
#include "print/CurrentPrinter.h"
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
#include <QTextCursor>
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
    Printer = new print::CurrentPrinter(this);
    nameSeparators();
    createPopupMenus();
    RecordLst->setUniformItemSizes(true);
    setUpLayout();
    bindCommands();
    bindEditorEvents();
    createAppearanceDialogs();
    m_recovery = new RecoveryKeeper(
        MainEdit->document(),
        [this] {
            if (m_record.path.isEmpty() || m_dataFolder.isEmpty())
                return store::RecoverySource{};
            return store::RecoverySource{m_dataFolder, m_record.group, m_record.name, m_record.disk,
                                         m_record.format};
        },
        this);
    connect(m_recovery, &RecoveryKeeper::writeFailed, this, [this](const QString& folder) {
        // Said once: the user can go on, saving more often.
        if (m_recoveryFailureShown)
            return;
        m_recoveryFailureShown = true;
        showMessage(QStringLiteral("編集内容の控えを %1 に書き込めません。"
                                   "編集中の内容はこまめに保存してください。")
                        .arg(folder));
    });
    // A logout asks the same as closing the window.
    bindHandler(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!sessionEnding(manager.allowsInteraction()))
            manager.cancel();
        manager.release();
    });
}

TMainFrm::~TMainFrm() {
    // The keeper reads the editor's document: it goes (writing what it still
    // owes) while the editor and this window are whole.
    delete m_recovery;
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
        m_recovery->discard();
        event->accept();
    }
}

bool TMainFrm::sessionEnding(bool mayAskUser) {
    commitPreedit();
    if (!mayAskUser) {
        m_recovery->flush();
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
    m_follower = new DiskFollower(this, m_dataFolder);
    // Temporary files that a killed save of the settings left behind.
    fs::removeStaleTemporaries(QStringLiteral("."));
    if (!fs::exists(settings::filePath())) {
        showMessage(QStringLiteral("環境ファイルを作成します"));
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
    const Answer a = askQuestion(
        QuestionKind::Information,
        QStringLiteral(
            "ファイル %1 の文字コードと改行コードがわかりません。"
            "%2（改行 %3）で保存しますか？（「いいえ」を選ぶと %4（改行 %5）で保存します）")
            .arg(path, encodingName(shiftJis.encoding), breakName(shiftJis.lineBreak),
                 encodingName(newFile.encoding), breakName(newFile.lineBreak)),
        YesButton | NoButton);
    return a == Answer::Yes ? shiftJis : newFile;
}

} // namespace

void TMainFrm::OfferRecovery() {
    const store::LeftCopies left = store::leftRecoveryCopies(m_recovery->folder());
    if (!left.refused.isEmpty())
        showMessage(QStringLiteral("次の編集内容の控えは、壊れているか、データフォルダの外や"
                                   "正しくない名前を指しているため復元できません。"
                                   "控えのファイルはそのまま残します。\n%1")
                        .arg(left.refused.join(u'\n')));
    for (const store::RecoveryCopy& copy : left.copies) {
        const QString path = recordPath(copy.group, copy.name);
        if (copy.textBytes > store::recoveryTextLimit()) {
            // Only an explicit Yes throws away what cannot be shown.
            if (askQuestion(
                    QuestionKind::Warning,
                    QStringLiteral("前回の終了時に保存されていなかった %1 の編集内容が"
                                   "残っていますが、大きすぎるため復元できません"
                                   "（復元できるのは %2 MB まで）。控えのファイル %3 を"
                                   "破棄しますか？（「いいえ」を選ぶと残しておきます）")
                        .arg(path, QString::number(store::recoveryTextLimit() >> 20), copy.file),
                    YesButton | NoButton, NoButton) == Answer::Yes)
                store::removeRecoveryCopy(copy.file);
            continue;
        }
        // Only No discards: Esc (キャンセル) and the title bar's close keep
        // the copy for the next start.
        const Answer a = askQuestion(
            QuestionKind::Information,
            QStringLiteral("前回の終了時に保存されていなかった %1 の編集内容が残っています。"
                           "復元しますか？（「いいえ」を選ぶと破棄します。「キャンセル」を選ぶと"
                           "残しておき、次回の起動時にもう一度お尋ねします）")
                .arg(path),
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
                         ? QStringLiteral(
                               "編集内容の控え %1 は大きすぎるため復元できません"
                               "（復元できるのは %2 MB まで）。控えのファイルはそのまま残します。")
                               .arg(copy.file, QString::number(store::recoveryTextLimit() >> 20))
                         : QStringLiteral("編集内容の控え %1 を読み込めません。"
                                          "控えのファイルはそのまま残します。")
                               .arg(copy.file)));
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
    m_record = std::move(record);
    MainEdit->setRecordText(read.text);
    m_recovery->adopt(copy.file);
    MainEdit->setEnabled(true);
    MainEdit->document()->setModified(true);
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
    const QString& group = m_record.group;
    if (GroupIndex >= 0 && GroupIndex < GroupCmb->count() &&
        GroupCmb->itemText(GroupIndex) == group)
        return GroupIndex;
    return group.isEmpty() ? GroupIndex : FindGroupIndex(group);
}

int TMainFrm::loadedRecordIndex() const {
    if (RecordIndex >= 0 && RecordIndex < RecordLst->count() &&
        RecordLst->item(RecordIndex)->text() == m_record.name)
        return RecordIndex;
    if (m_record.name.isEmpty())
        return RecordIndex;
    // A record deleted behind the window's back is no longer listed: nothing
    // is selected then, as another record selected beside the edits would
    // pass for the one in the editor (and for the one a deletion removes).
    const QList<QListWidgetItem*> listed =
        RecordLst->findItems(m_record.name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    return listed.isEmpty() ? -1 : FindRecordIndex(m_record.name);
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
    MainEdit->document()->setModified(false);
    SaveDataBtn->setEnabled(false);
}

void TMainFrm::SaveMnuClick() {
    SaveDataBtnClick();
}

bool TMainFrm::WriteRecord() {
    if (!m_record.format.lossless) {
        const Answer a =
            askQuestion(QuestionKind::Warning,
                        QStringLiteral("ファイル %1 の文字コードを正しく読み取れませんでした。"
                                       "保存すると、編集していない部分も元のファイルと変わります。"
                                       "保存しますか？")
                            .arg(m_record.path),
                        YesButton | NoButton);
        if (a != Answer::Yes)
            return false;
    }
    // The text comes from the copy that follows the editor's edits, never
    // from toPlainText(), which turns no-break spaces into spaces.
    const std::vector<QStringView> text = TextMirror::of(MainEdit->document())->text();
    store::LoadedRecord record = m_record;
    if (!saveRecord(record, text))
        return false;
    // The record takes a new encoding (UTF-8) only once it is written so.
    m_record = std::move(record);
    if (m_follower)
        m_follower->editorMatchesFile();
    return true;
}

bool TMainFrm::saveRecord(store::LoadedRecord& record, const std::vector<QStringView>& text) {
    store::Overwrite overwrite = store::Overwrite::IfUnchanged;
    for (;;) {
        const store::SaveResult result = store::save(record, text, overwrite);
        switch (result) {
        case store::SaveResult::Saved:
            return true;
        case store::SaveResult::Changed:
        case store::SaveResult::Gone: {
            // Whatever the answer, the edits stay in the editor.
            const bool gone = result == store::SaveResult::Gone;
            const QString question =
                gone ? QStringLiteral(
                           "ファイル %1 は、読み込んだ後に削除されたか移動されています。"
                           "新しく作成して保存しますか？（「いいえ」を選ぶと保存しません）")
                     : QStringLiteral("ファイル %1 は、読み込んだ後に他のプログラムによって"
                                      "変更されています。上書きして保存しますか？"
                                      "（「いいえ」を選ぶと保存しません）");
            if (askQuestion(QuestionKind::Warning, question.arg(record.path), YesButton | NoButton,
                            NoButton) != Answer::Yes)
                return false;
            overwrite = store::Overwrite::Always;
            break;
        }
        case store::SaveResult::Unencodable: {
            const Answer a = askQuestion(
                QuestionKind::Warning,
                QStringLiteral("この文書には %1 で保存できない文字が含まれています。"
                               "UTF-8 で保存しますか？（「いいえ」を選ぶと保存しません）")
                    .arg(encodingName(record.format.encoding)),
                YesButton | NoButton);
            if (a != Answer::Yes)
                return false;
            // UTF-8 holds every character: a second refusal is a fault.
            if (record.format.encoding == TextEncoding::Utf8)
                throw UserError(QStringLiteral("ファイル %1 を作成できません").arg(record.path));
            record.format.encoding = TextEncoding::Utf8;
            // The question may have waited long enough for another program to
            // change the file: it is compared again, as before the question.
            break;
        }
        }
    }
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
    const Answer a = askQuestion(QuestionKind::Information,
                                 QStringLiteral("文書が変更されています。保存しますか？"),
                                 YesButton | NoButton | CancelButton);
    if (a == Answer::No)
        return false;
    if (a != Answer::Yes)
        return true;
    if (!WriteRecord())
        return true; // not saved: the edits are kept, as after Cancel
    MainEdit->document()->setModified(false);
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
        return canClose && askQuestion(QuestionKind::Warning,
                                       QStringLiteral("設定を保存できませんでした。"
                                                      "設定を保存せずに終了しますか？"),
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
    // The record becomes the loaded one only once its file was read: a file
    // that cannot be opened leaves the editor with the text it had, and the
    // path with it, so that a save never writes that text over the file that
    // failed.
    showRecord(store::load(GroupCmb->currentText(), name), false);
}

bool TMainFrm::reloadRecord() {
    store::RecordText loaded = store::load(m_record.group, m_record.name);
    // Another program's save of the same text (a sync engine's copy, a
    // touch) leaves the editor alone. The editor's copy separates its lines
    // by U+2029.
    const QString& text = loaded.text;
    qsizetype at = 0;
    bool same = true;
    for (const QStringView piece : TextMirror::of(MainEdit->document())->text()) {
        for (qsizetype i = 0; same && i < piece.size(); ++i, ++at)
            same = at < text.size() &&
                   (piece[i] == text[at] || (piece[i] == QChar(0x2029) && text[at] == u'\n'));
        if (!same)
            break;
    }
    if (same && at == loaded.text.size()) {
        m_record = std::move(loaded.record);
        return false;
    }
    showRecord(std::move(loaded), true);
    return true;
}

void TMainFrm::showRecord(store::RecordText loaded, bool keepView) {
    const QTextCursor before = MainEdit->textCursor();
    const qsizetype anchor = keepView ? MainEdit->textPosition(before.anchor()) : 0;
    const qsizetype position = keepView ? MainEdit->textPosition(before.position()) : 0;
    const int down = MainEdit->verticalScrollBar()->value();
    const int across = MainEdit->horizontalScrollBar()->value();
    m_record = std::move(loaded.record);
    MainEdit->setRecordText(loaded.text);
    MainEdit->document()->setModified(false);
    // A loaded record can be typed into, however the editor was left before
    // (disabled after a deletion or a move).
    MainEdit->setEnabled(true);
    if (keepView) {
        const qsizetype length = MainEdit->textLength();
        QTextCursor kept(MainEdit->document());
        kept.setPosition(MainEdit->documentPosition(std::min(anchor, length)));
        kept.setPosition(MainEdit->documentPosition(std::min(position, length)),
                         QTextCursor::KeepAnchor);
        MainEdit->setTextCursor(kept);
        MainEdit->verticalScrollBar()->setValue(down);
        MainEdit->horizontalScrollBar()->setValue(across);
    }
    if (m_follower)
        m_follower->editorMatchesFile();
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
        const auto loaded =
            m_record.group == GroupCmb->currentText()
                ? RecordLst->findItems(m_record.name, Qt::MatchExactly | Qt::MatchCaseSensitive)
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
                              QStringLiteral("グループを作成できません。データフォルダ %1 "
                                             "に書き込めない可能性があります。OSTREL "
                                             "を終了しますか？（「いいえ」を選ぶとグループの"
                                             "作成に戻ります）")
                                  .arg(m_dataFolder),
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
        if (askQuestion(QuestionKind::Warning,
                        QStringLiteral("グループが一つもないため、OSTREL を使うことができません。"
                                       "OSTREL を終了しますか？（「いいえ」を選ぶとグループの"
                                       "作成に戻ります）"),
                        YesButton | NoButton) == Answer::Yes)
            return false;
    }
    return true;
}
