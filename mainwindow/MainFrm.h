#pragma once

#include "FollowerHost.h"
#include "dialogs/DialogHost.h"
#include "settings/Settings.h"
#include "settings/WindowGeometry.h"
#include "store/RecordStore.h"
#include "text/LineSearch.h"
#include "ui_MainFrm.h"

#include <QMainWindow>

class QMenu;
class QColorDialog;
class TFindDialog;
class TFontDialog;
class TCreateDirFrm;
class TCreRecFrm;
class TCngExpFrm;
class TSavePathFrm;
class TSearchFrm;
class QSessionManager;
namespace ostrel {
class RecoveryKeeper;
class DiskFollower;
class OpenRecord;
} // namespace ostrel
namespace ostrel::store {
struct RecoveryCopy;
}
namespace ostrel::print {
class CurrentPrinter;
}

// The main window: the groups, the records of the shown group, the editor.
// Its controls are the members that the layout names (GroupCmb, RecordLst,
// MainEdit, SaveDataBtn, ...); its handlers are the slots below, bound to the
// controls by the command table in the constructor. The record store and the
// settings are plain values below it (store/, settings/): the window's
// operations of the same names call them and show what they answer.
class TMainFrm : public QMainWindow,
                 public Ui::TMainFrm,
                 public ostrel::DialogHost,
                 public ostrel::FollowerHost {
    Q_OBJECT

public:
    explicit TMainFrm(QWidget* parent = nullptr);
    ~TMainFrm() override;

    // The dialogs the window opens (ShowForm), created after it.
    void setDialogs(TCreateDirFrm* createDir, TCreRecFrm* creRec, TCngExpFrm* cngExp,
                    TSavePathFrm* savePath);

    // --- state --------------------------------------------------------------
    // The loaded record: its path ("./" + group + "/" + file) and file name,
    // empty until the first load and never cleared afterwards.
    QString RecordPath() const { return loadedRecord().path; }
    QString RecordName() const { return loadedRecord().name; }
    const ostrel::store::LoadedRecord& loadedRecord() const override;
    // The record open in the editor: its document, its recovery copies, the
    // save's questions.
    ostrel::OpenRecord* openRecord() const { return m_open; }
    QString SupportPatterns; // the displayed-files pattern list
    int GroupIndex = 0;      // position of the loaded record's group
    int RecordIndex = 0;     // position of the loaded record
    qint32 MemoryPoint = 0;  // remembered caret position
    bool SaveSettingsOnClose = false;
    QString SaveDir;       // folder chosen in the destination folder dialog
    bool Starting = false; // set while the start-up sequence runs

    // Colour values as the settings store them (see core/ColorValue.h).
    qint32 MainEditBackColor;
    qint32 RecordLstBackColor;
    qint32 GroupCmbBackColor;
    qint32 MainEditFontColor;

    // Pop-up menus and their separators.
    QMenu* Pum1 = nullptr;
    QMenu* Pum2 = nullptr;
    QMenu* Pum3 = nullptr;
    QAction* Line1Mnu = nullptr;
    QAction* Line2Mnu = nullptr;
    QAction* Line3Mnu = nullptr;
    QAction* Line4Mnu = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QAction* N5 = nullptr;
    QAction* N6 = nullptr;

    // Common dialogs, created with the window. The font and colour dialogs
    // keep their own last choice, which is what they open on.
    TFontDialog* FontDialog = nullptr;
    QColorDialog* ColorDialog = nullptr;
    TFindDialog* FindDialog = nullptr;
    // The search through all records, made when first opened.
    TSearchFrm* SearchFrm = nullptr;
    // The printer and its settings for the run, with the print and
    // printer-setup dialogs.
    ostrel::print::CurrentPrinter* Printer = nullptr;

    // --- the record store on the window -----------------------------------------
    // Empties GroupCmb and adds every group; answers whether there is one. The
    // rebuilt list has no selection.
    bool ListGroups() override;
    // Empties RecordLst and adds the records of the group shown in GroupCmb.
    void ListRecords() override;
    // Position of the last item equal to `name`, or 0 (also, for records, for
    // an empty name).
    int FindGroupIndex(const QString& name) const;
    int FindRecordIndex(const QString& name) const;
    // Selects an item without running the picking handlers (-1: none).
    void SelectGroup(int position) override;
    void SelectRecord(int position) override;
    // The selected item of RecordLst: its position (-1: none) and its text.
    int SelectedRecordIndex() const;
    QString SelectedRecordName() const;
    // Loads the selected record into MainEdit; raises the file-open error when
    // it cannot be read (the editor then keeps what it had).
    void LoadRecord();
    // Deletes the loaded record's file (into the trash, unless it was moved
    // and its copy is in place) and resets the window; answers whether the
    // file was deleted. RecordPath and RecordName keep naming it.
    bool DeleteRecordFile(bool moved = false);
    // Deletes a group after asking, then shows the first group.
    void DeleteGroup(const QString& name);

    // --- the settings on the window ----------------------------------------------
    // Applies the settings file to the window; answers what it read, for the
    // last group and record that the start-up picks.
    ostrel::settings::Settings LoadSettings();
    // Writes the window's current values; raises the write error.
    void SaveSettings();
    // Writes the defaults; with Confirm, asks first and stops saving at close.
    void WriteDefaultSettings(bool Confirm);

    // --- other operations ------------------------------------------------------------
    // The unsaved-changes question; answers true when the user cancelled.
    bool ConfirmSaveChanges();
    // The desktop session ends (a logout): the window's close question runs
    // as at any close when the user may be asked; answers whether the window
    // closed (else the logout is cancelled). Without a user to ask, the
    // unsaved edits are kept in their recovery copy.
    bool sessionEnding(bool mayAskUser);
    // The recovery copies of the editor's unsaved edits.
    ostrel::RecoveryKeeper* recovery() const;
    // What follows the disk's changes made by other programs (from the
    // start-up on; null before).
    ostrel::DiskFollower* diskFollower() const { return m_follower; }
    // Writes the editor's text to the loaded record. Answers false when the
    // user chose not to save (an encoding question); raises the file-creation
    // error.
    bool WriteRecord();
    // Opens one of the dialogs by its key: "CreRec", "CreDir" and "CngExp"
    // without waiting, "SavePath" modally. Any other key does nothing.
    void ShowForm(const QString& key);
    // The data folder, in full (empty before the start-up).
    QString dataFolder() const { return m_dataFolder; }
    // The editor's text as it stands, unsaved edits included, shared with
    // the editor's copy of it rather than copied: for reading on another
    // thread.
    ostrel::SharedText editorText();
    // Selects a part of the editor's text (text positions, as a search finds
    // them), shown; a part beyond the text is clipped to it.
    void selectEditorText(qint64 position, qint64 length);
    // Refreshes the line display from the caret position.
    void ShowCurrentLine();
    // The window's outer edges and size, as the settings store them. A stored
    // geometry is held to what the screen can show.
    QRect outerGeometry() const;
    void setOuterGeometry(const ostrel::OuterGeometry& stored);
    // The font dialog, then the editor in the chosen font and the lists and
    // the status bar in it at 9 points; the colour dialog, then the editor and
    // the lists on the chosen background. Cancel changes nothing.
    void ChangeFont();
    void ChangeBackColor();
    // Colours by their stored values.
    void setMainEditBackColor(qint32 value);
    void setRecordLstBackColor(qint32 value);
    void setGroupCmbBackColor(qint32 value);
    void setMainEditFontColor(qint32 value);

    // --- what the dialogs reach (DialogHost) ---------------------------------------
    QString shownGroup() const override;
    void showGroup(const QString& name) override;
    NewRecord showNewRecord(const QString& name) override;
    bool closesAfterCreatingRecord() const override;
    QString supportPatterns() const override { return SupportPatterns; }
    void setSupportPatterns(const QString& patterns) override { SupportPatterns = patterns; }

    // --- what follows the disk reaches (FollowerHost) ------------------------------
    QComboBox* groupList() const override { return GroupCmb; }
    QListWidget* recordList() const override { return RecordLst; }
    QStatusBar* statusLine() const override { return StatusBar; }
    void placeNotice(QWidget* notice) override;
    bool editorHoldsRecord() const override;
    bool editorModified() const override;
    bool recordComplete() const override;

public slots:
    // Main window controller.
    void FormShow();
    bool FormCloseQuery();
    void GroupCmbChange();
    void RecordLstClick();
    void MainEditChange();
    void SaveDataBtnClick();
    void SaveMnuClick();
    void ExitBtnClick();
    void ApplicationCloseMnuClick();

    // Layout and command table.
    void ShowHint();
    void SC_FormShow(QObject* Sender);
    void CreateRecBtnClick();
    void CreateRecordPum2Click();
    void MainEditEnter();
    void MainEditExit();

    // Editing, navigation and search.
    void SC_EditString(QObject* Sender);
    void SC_PopupEdit(QObject* Sender);
    void FindStringMnuClick();
    void FindDialogFind();
    void FindAllMnuClick();
    void MoveLineMnuClick();
    void MoveStartMnuClick();
    void MoveLastMnuClick();
    void PointMemoryMnuClick();
    void MoveMemoryMnuClick();
    void MainEditKeyDown();
    void MainEditMouseDown();

    // Appearance.
    void SC_InterFace(QObject* Sender);
    void Create_Close_RecordClick();

    // Records and groups.
    void DeleteRecordMnuClick();
    void DeleteRecBtnClick();
    void DeleteRecordPum2Click();
    void DeleteGroupMnuClick();
    void SC_RecUserCopy(QObject* Sender);
    void SC_GroupCopy(QObject* Sender);

    // Printing.
    void PrintOutMnuClick();
    void PrintBtnClick();
    void PrinterSetupMnuClick();

    // Settings.
    void SetDefaultMnuClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Puts a record as read into the editor, as the loaded record: at the
    // reload of the loaded one changed by another program, which keeps the
    // caret, the selection and the scroll position as near as the new text
    // allows.
    void showRecord(ostrel::store::RecordText loaded);
    // The editor after a record was put into it (or began to load into it).
    void recordShown();
    // Reads the loaded record again, as it is on the disk now; answers false
    // when it holds the editor's text already (only its state is taken).
    // Raises the file-open error (the editor then keeps what it had).
    bool reloadRecord() override;
    // Start-up step: a group must exist before the window can be used.
    bool InsistOnGroup();
    // Start-up step: the recovery copies of edits that a previous run left
    // unsaved are offered, to restore into the editor or to discard.
    void OfferRecovery();
    // Takes a copy's edits into the editor; answers false, having told why,
    // when its text cannot be read.
    bool restoreRecovery(const ostrel::store::RecoveryCopy& copy);
    // Points the application's hint event at ShowHint.
    void connectHintDisplay();
    // Positions of the loaded record's group and record in the rebuilt lists.
    int loadedGroupIndex() const;
    int loadedRecordIndex() const;
    // The settings as the window shows them now, and the other way round.
    ostrel::settings::Settings currentSettings() const;
    void applySettings(const ostrel::settings::Settings& s);
    // Fonts, glyphs, pop-up menus, hints and shortcuts of the layout.
    void setUpLayout();
    // The editor's key and mouse events that refresh the line display.
    void bindEditorEvents();
    void createAppearanceDialogs();
    void nameSeparators();
    void createPopupMenus();
    void bindCommands();
    // Shows the destination folder dialog (after checking that a record was
    // loaded); answers the chosen folder without its closing "/", or nothing
    // when the dialog was cancelled.
    std::optional<QString> chooseDestination();
    // After a copy or a move into `folder`: unless it is a group, says where
    // the record went (`where`), having been `done` ("コピー" or "移動").
    void tellWhereUnlisted(const QString& folder, const QString& done, const QString& where);
    void clearEditor();
    // Makes an input method's uncommitted composition in the editor part of
    // its text, before a command that closes the window or takes the record
    // away from the editor (or saves it).
    void commitPreedit();
    void disableRecordDeletion();
    void placeOuter();
    QMargins frameMargins() const;
    void waitForFrame();

    QString m_dataFolder; // the working directory at the start, in full
    ostrel::OpenRecord* m_open = nullptr;
    ostrel::DiskFollower* m_follower = nullptr;
    bool m_recoveryFailureShown = false;
    TCreateDirFrm* CreateDirFrm = nullptr;
    TCreRecFrm* CreRecFrm = nullptr;
    TCngExpFrm* CngExpFrm = nullptr;
    TSavePathFrm* SavePathFrm = nullptr;
    bool m_formShown = false;
    // The outer geometry to take once the window manager has framed the
    // window; null when there is none to take.
    QRect m_wantedOuter;
    QSize m_placedSize; // the client size placeOuter() gave
};
