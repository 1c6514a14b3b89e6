#pragma once

#include "os/Drives.h"
#include "ui_SavePathFrm.h"

#include <QDialog>
#include <QStringList>
#include <vector>

namespace ostrel {

// The entries of the destination folder dialog's folder list.
enum class FolderKind { Ancestor, Opened, SubFolder };

struct FolderEntry {
    QString name; // what the list shows
    QString path; // the folder the entry opens
    FolderKind kind = FolderKind::SubFolder;
    int indent = 0; // pixels from the left edge to the icon
};

// The folder list of an opened folder on the drive with the given root: the
// root and every folder down to the opened one (the last of them the opened
// entry), then the given sub-folders. Ancestors and the opened entry at
// position p are indented 2 + 4p pixels; sub-folders 2 + 4(n + 1) pixels,
// where n is the opened entry's position, or 1 at a drive root.
std::vector<FolderEntry> folderEntries(const QString& root, const QString& opened,
                                       const QStringList& subFolders);

// The folders directly inside `folder` that are neither hidden nor special,
// sorted without regard to case.
QStringList visibleSubFolders(const QString& folder);

// The chosen folder as SaveDir holds it: the path followed by exactly one "/".
QString folderWithSeparator(const QString& folder);

// The default error box's text for a refused change of the working directory.
QString directoryErrorText(const fs::DirectoryChange& change);

} // namespace ostrel

// The destination folder dialog: a drive list and a folder list that browse
// by changing the working directory (and never change it back). Its answer,
// chosenFolder(), is the opened folder ending in "/" after Enter; FormShow
// empties it each time the dialog is shown.
class TSavePathFrm : public QDialog, public Ui::TSavePathFrm {
    Q_OBJECT

public:
    explicit TSavePathFrm(QWidget* parent = nullptr);

    // The folder chosen with Enter, ending in "/"; empty when the dialog was
    // left otherwise.
    QString chosenFolder() const { return m_chosen; }

    // The folder the folder list shows opened: the working directory when the
    // dialog was created, until the user opens another one.
    QString openedFolder() const { return m_opened; }
    // Fills the drive list with these drives (the first showing otherwise
    // fills it with the drives present then) and the folder list.
    void fillDriveList(std::vector<ostrel::drives::Drive> drives);

public slots:
    void FormShow();
    void EnterBtnClick();
    void CancelBtnClick();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fillFolderList();
    void openEntry(const QListWidgetItem* item);
    void chooseDrive(int index);
    // Selects the drive list's entry of the opened folder's drive.
    void showCurrentDrive();
    const ostrel::drives::Drive* driveOfRoot(const QString& root) const;

    std::vector<ostrel::drives::Drive> m_drives;
    bool m_filled = false;
    QString m_opened; // the opened folder, a full path
    QString m_root;   // the root of its drive
    QString m_chosen;
};
