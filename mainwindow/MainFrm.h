#pragma once

#include "WindowGeometry.h"
#include "text/TextCodec.h"
#include "ui_MainFrm.h"

#include <QMainWindow>
#include <memory>

class QMenu;
class QFontDialog;
class QColorDialog;
class TFindDialog;
namespace ostrel::print {
class CurrentPrinter;
}

// The main window: the groups, the records of the shown group, the editor.
// Its controls are the members that the layout names (GroupCmb, RecordLst,
// MainEdit, SaveDataBtn, ...); its handlers are the slots below, bound to the
// controls by the command table in the constructor.
class TMainFrm : public QMainWindow, public Ui::TMainFrm {
    Q_OBJECT

public:
    explicit TMainFrm(QWidget* parent = nullptr);
    ~TMainFrm() override;

    // --- state --------------------------------------------------------------
    QString RecordPath;      // "./" + group + "/" + file of the loaded record
    QString RecordName;      // file name of the loaded record
    QString SupportPatterns; // the displayed-files pattern list
    int GroupIndex = 0;      // position of the loaded record's group
    int RecordIndex = 0;     // position of the loaded record
    qint32 MemoryPoint = 0;  // remembered caret position
    bool SaveSettingsOnClose = false;
    QString SaveDir;       // folder chosen in the destination folder dialog
    bool Starting = false; // set while the start-up sequence runs
    // How the loaded record's file stores its text, to write it back alike.
    ostrel::TextFormat RecordFormat;

    // Colour values as the settings store them (see ui/Colors.h).
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

    // Common dialogs, created with the window.
    QFontDialog* FontDialog = nullptr;
    QColorDialog* ColorDialog = nullptr;
    TFindDialog* FindDialog = nullptr;
    // The printer and its settings for the run, with the print and
    // printer-setup dialogs.
    ostrel::print::CurrentPrinter* Printer = nullptr;

    // --- operations ------------------------------------------------------------
    // The group of the loaded record: the middle part of RecordPath.
    QString LoadedGroupName() const { return RecordPath.section(u'/', 1, 1); }
    // The unsaved-changes question; answers true when the user cancelled.
    bool ConfirmSaveChanges();
    // Writes the editor's text to RecordPath. Answers false when the user chose
    // not to save (an encoding question); raises the file-creation error.
    bool WriteRecord();
    // The window's outer edges and size, as the settings store them. A stored
    // geometry is held to what the screen can show.
    QRect outerGeometry() const;
    void setOuterGeometry(const ostrel::OuterGeometry& stored);
    // Colours by their stored values.
    void setMainEditBackColor(qint32 value);
    void setRecordLstBackColor(qint32 value);
    void setGroupCmbBackColor(qint32 value);
    void setMainEditFontColor(qint32 value);

public slots:
    // Main window controller.
    void FormShow();
    bool FormCloseQuery();
    void GroupCmbChange();
    void RecordLstClick();
    void MainEditChange();
    void SaveDataBtnClick();
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
    // Start-up step: a group must exist before the window can be used.
    bool InsistOnGroup();
    // Points the application's hint event at ShowHint.
    void connectHintDisplay();
    // Positions of the loaded record's group and record in the rebuilt lists.
    int loadedGroupIndex() const;
    int loadedRecordIndex() const;
    // Fonts, glyphs, pop-up menus, hints and shortcuts of the layout.
    void setUpLayout();
    // The editor's key and mouse events that refresh the line display.
    void bindEditorEvents();
    void nameSeparators();
    void createPopupMenus();
    void bindCommands();

    void placeOuter();
    QMargins frameMargins() const;
    void waitForFrame();

    bool m_formShown = false;
    // The outer geometry to take once the window manager has framed the
    // window; null when there is none to take.
    QRect m_wantedOuter;
    QSize m_placedSize; // the client size placeOuter() gave
};

// The one main window of the run.
extern TMainFrm* MainFrm;

// Opens one of the dialogs by its key: "CreRec", "CreDir" and "CngExp" without
// waiting, "SavePath" modally. Any other key does nothing.
void ShowForm(const QString& key);
// Refreshes the line display from the caret position.
void ShowCurrentLine();
