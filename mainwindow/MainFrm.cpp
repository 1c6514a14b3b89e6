// The main window's state, start-up, record picking, saving and closing.
#include "MainFrm.h"

#include "TextMirror.h"
#include "WindowGeometry.h"
#include "dialogs/CreDirUnit.h"
#include "os/FileSystem.h"
#include "print/CurrentPrinter.h"
#include "resources/Resources.h"
#include "settings/Settings.h"
#include "store/Folders.h"
#include "store/RecordStore.h"
#include "text/PatternList.h"
#include "ui/Colors.h"
#include "ui/Handler.h"
#include "ui/MessageBox.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <memory>

using namespace ostrel;

TMainFrm* MainFrm = nullptr;

TMainFrm::TMainFrm(QWidget* parent)
    : QMainWindow(parent), MainEditBackColor(kColorWindow), RecordLstBackColor(kColorWindow),
      GroupCmbBackColor(kColorWindow), MainEditFontColor(kColorWindowText) {
    MainFrm = this;
    ostrel::initResources();
    setupUi(this);
    Printer = new print::CurrentPrinter(this);
    nameSeparators();
    createPopupMenus();
    RecordLst->setUniformItemSizes(true);
    setUpLayout();
    bindCommands();
    bindEditorEvents();
}

TMainFrm::~TMainFrm() {
    if (MainFrm == this)
        MainFrm = nullptr;
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
    if (runHandler([&] { canClose = FormCloseQuery(); }) && canClose)
        event->accept();
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

    // Temporary files that a killed save of the settings left behind.
    fs::removeStaleTemporaries(QStringLiteral("."));
    if (!fs::exists(settings::filePath())) {
        showMessage(QStringLiteral("環境ファイルを作成します"));
        // A data folder that cannot be written (read-only, full) still
        // starts, on the defaults, after the error is shown.
        if (!runHandler([] { WriteDefaultSettings(false); })) {
            SupportPatterns = defaultPatternList();
            setOuterGeometry({200, 200, 450, 350});
        }
    }
    LoadSettings();

    if (!InsistOnGroup())
        return;

    const QString lastGroup =
        settings::readText(QStringLiteral("LAST DIRECTORY"), GroupCmb->currentText());
    GroupIndex = FindGroupIndex(lastGroup);
    SelectGroup(GroupIndex);
    ListRecords();

    QStringList items;
    for (int i = 0; i < RecordLst->count(); ++i)
        items.append(RecordLst->item(i)->text());
    const QString lastRecord =
        settings::readText(QStringLiteral("LAST DOCUMENT"), items.join(u'\n'));
    RecordIndex = FindRecordIndex(lastRecord);
    SelectRecord(RecordIndex);

    // A record that cannot be opened (gone, too large, not a file) is
    // reported, and the start goes on without it.
    if (RecordLst->count() == 0 || !runHandler([] { LoadRecord(); }))
        MainEdit->setEnabled(false);

    if (SelectedRecordIndex() >= 0) {
        DeleteRecordMnu->setEnabled(true);
        DeleteRecBtn->setEnabled(true);
    }
    connectHintDisplay();
}

// --- picking, editing, saving ----------------------------------------------------

void TMainFrm::RecordLstClick() {
    MainEdit->setEnabled(true);
    if (ConfirmSaveChanges()) {
        // Cancelled: the loaded record's group and record are shown again.
        SelectGroup(loadedGroupIndex());
        ListRecords();
        SelectRecord(loadedRecordIndex());
        return;
    }
    LoadRecord();
    if (!Starting) {
        GroupIndex = GroupCmb->currentIndex();
        RecordIndex = SelectedRecordIndex();
        RecordName = SelectedRecordName();
        RecordPath = recordPath(GroupCmb->currentText(), RecordName);
    }
    DeleteRecordMnu->setEnabled(true);
    DeleteRecBtn->setEnabled(true);
}

int TMainFrm::loadedGroupIndex() const {
    // GroupIndex names the loaded record's group unless the group list has
    // been rebuilt since; then the group is looked up by its name.
    const QString group = LoadedGroupName();
    if (GroupIndex >= 0 && GroupIndex < GroupCmb->count() &&
        GroupCmb->itemText(GroupIndex) == group)
        return GroupIndex;
    return group.isEmpty() ? GroupIndex : FindGroupIndex(group);
}

int TMainFrm::loadedRecordIndex() const {
    if (RecordIndex >= 0 && RecordIndex < RecordLst->count() &&
        RecordLst->item(RecordIndex)->text() == RecordName)
        return RecordIndex;
    return RecordName.isEmpty() ? RecordIndex : FindRecordIndex(RecordName);
}

void TMainFrm::GroupCmbChange() {
    ListRecords(); // empties RecordLst first
}

void TMainFrm::MainEditChange() {
    SaveDataBtn->setEnabled(MainEdit->document()->isModified());
}

void TMainFrm::SaveDataBtnClick() {
    if (!WriteRecord())
        return;
    MainEdit->document()->setModified(false);
    SaveDataBtn->setEnabled(false);
}

bool TMainFrm::WriteRecord() {
    TextFormat format = RecordFormat;
    if (!format.lossless) {
        const Answer a =
            askQuestion(QuestionKind::Warning,
                        QStringLiteral("ファイル %1 の文字コードを正しく読み取れませんでした。"
                                       "保存すると、編集していない部分も元のファイルと変わります。"
                                       "保存しますか？")
                            .arg(RecordPath),
                        YesButton | NoButton);
        if (a != Answer::Yes)
            return false;
    }
    const UserError cannotCreate(QStringLiteral("ファイル %1 を作成できません").arg(RecordPath));
    if (RecordPath.isEmpty())
        throw cannotCreate;
    // The text is encoded straight into the file, piece by piece, from the
    // copy that follows the editor's edits. A file with mixed breaks keeps
    // its bytes, which tell the breaks for the next save.
    const std::vector<QStringView> text = TextMirror::of(MainEdit->document())->text();
    QByteArray bytes;
    bool unencodable = false;
    auto save = [&] {
        auto encode = [&](const fs::PieceWriter& write) {
            return encodeTextInPieces(text, format, LineSeparators::Editor, write, &unencodable);
        };
        if (!format.mixed)
            return fs::writeFileAtomic(RecordPath, encode);
        bytes.clear();
        return encode([&](QByteArrayView piece) {
                   bytes += piece;
                   return true;
               }) &&
               fs::writeFileAtomic(RecordPath, bytes);
    };
    bool saved = save();
    if (!saved && unencodable) {
        const Answer a =
            askQuestion(QuestionKind::Warning,
                        QStringLiteral("この文書には %1 で保存できない文字が含まれています。"
                                       "UTF-8 で保存しますか？（「いいえ」を選ぶと保存しません）")
                            .arg(encodingName(format.encoding)),
                        YesButton | NoButton);
        if (a != Answer::Yes)
            return false;
        format.encoding = TextEncoding::Utf8;
        saved = save();
    }
    if (!saved)
        throw cannotCreate;
    // The file now holds what the editor holds; unedited lines keep their
    // breaks at the next save only if the format is taken from the new file.
    if (format.mixed)
        format = decodeText(bytes).format;
    format.lossless = true;
    RecordFormat = std::move(format);
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

bool TMainFrm::InsistOnGroup() {
    // The window cannot be used without a group: the create-group dialog comes
    // back, without its Close button, until one exists. Closing it by the title
    // bar only shows it again.
    while (!ListGroups()) {
        if (!CreateDirFrm)
            return false;
        CreateDirFrm->CloseBtn->setEnabled(false);
        CreateDirFrm->exec();
        CreateDirFrm->CloseBtn->setEnabled(true);
    }
    return true;
}
