#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QComboBox;
class QListWidget;
class QMessageBox;
class QTimer;
class QWidget;
class ProgramWindows;
class TMainFrm;
class TCreateDirFrm;
class TCreRecFrm;
class TCngExpFrm;
class TSavePathFrm;

namespace testing {

// A fresh data folder that is the working directory while the object lives.
// The user's own folders (XDG_DATA_HOME with the trash, XDG_STATE_HOME with
// the recovery copies, XDG_RUNTIME_DIR with the instance locks) are fresh
// ones beside it meanwhile, so that nothing a test does reaches the real
// ones.
class DataFolder {
public:
    DataFolder();
    ~DataFolder();
    QString path() const { return m_dir.path(); }
    // The user's folders of this data folder's tests.
    QString dataHome() const { return m_user.path() + QStringLiteral("/data"); }
    QString stateHome() const { return m_user.path() + QStringLiteral("/state"); }
    QString runtimeFolder() const { return m_user.path() + QStringLiteral("/runtime"); }
    // Creates a group folder (and its parents) below the data folder.
    void addGroup(const QString& group) const;
    // Writes a file below the data folder, creating its folder.
    void write(const QString& relative, const QByteArray& bytes) const;
    QByteArray read(const QString& relative) const;
    bool exists(const QString& relative) const;
    QString absolute(const QString& relative) const;

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_user;
    QString m_previous;
    QList<QPair<QByteArray, QByteArray>> m_previousVariables;
};

// What a message box showed and which button was pressed.
struct SeenBox {
    QString title;
    QString text;
    QString details; // shown on request below the text
    QStringList buttons;
    QString defaultButton; // the caption of the button Enter presses
    int icon = 0;
};

// Answers the message boxes that come up, in order, by pressing the button
// with the given caption ("OK", "はい(&Y)", "いいえ(&N)", "キャンセル"), or
// by closing the box when the caption is empty, or by pressing Esc for
// kPressEscape. Records every box it answered.
inline const QString kPressEscape = QStringLiteral("<Esc>");
class BoxAnswerer {
public:
    BoxAnswerer();
    ~BoxAnswerer();
    void answer(const QStringList& captions);
    void answer(const QString& caption) { answer(QStringList{caption}); }
    const QList<SeenBox>& seen() const { return m_seen; }
    QStringList texts() const;
    // How many answers were given but not used.
    int pending() const { return int(m_queue.size()); }

private:
    void poll();
    QStringList m_queue;
    QList<SeenBox> m_seen;
    QTimer* m_timer;
};

// A main window with its dialogs, as the program creates them; not shown yet.
// While it lives, the pointers below name its windows.
struct Windows {
    Windows();
    ~Windows();
    std::unique_ptr<ProgramWindows> windows;
    TMainFrm* main;
};

// The windows of the Windows object that lives now (null when none does).
extern TMainFrm* MainFrm;
extern TCreateDirFrm* CreateDirFrm;
extern TCreRecFrm* CreRecFrm;
extern TCngExpFrm* CngExpFrm;
extern TSavePathFrm* SavePathFrm;

// Shows the main window (running its start-up) and waits until it is exposed.
void showMain(TMainFrm* frm);

// The program started in the data folder that is the working directory now:
// its windows made as the program makes them and the main window shown,
// which runs its start-up. The one fixture of a started main window.
struct Started {
    Started();
    Windows windows;
    TMainFrm* const main;
    TMainFrm* operator->() const { return main; }
};

// Waits until the record the main window loads is read whole (a large one
// loads in the background); answers false when it took longer than a minute.
bool waitForRecord(TMainFrm* frm);

// Types text into the focused widget as an input method commits it (works for
// Japanese too).
void commitText(QWidget* widget, const QString& text);

// The texts of a list's or a drop-down's items, in order.
QStringList items(const QListWidget* list);
QStringList items(const QComboBox* cmb);

// The default settings file's lines as the program writes them.
QByteArray defaultSettingsFile();

} // namespace testing
