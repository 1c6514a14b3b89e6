#include "SavePathUnit.h"

#include "resources/Resources.h"

#include "DialogTexts.h"
#include "os/FileSystem.h"
#include "store/Folders.h"
#include "ui/Handler.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

using namespace ostrel;

namespace ostrel {

namespace {

QString joinPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

} // namespace

std::vector<FolderEntry> folderEntries(const QString& root, const QString& opened,
                                       const QStringList& subFolders) {
    QStringList parts;
    if (opened != root && opened.startsWith(root))
        parts = opened.mid(root.size()).split(u'/', Qt::SkipEmptyParts);

    std::vector<FolderEntry> entries;
    entries.push_back({root, root, parts.isEmpty() ? FolderKind::Opened : FolderKind::Ancestor, 2});
    QString path = root;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        path = joinPath(path, parts[i]);
        const bool last = i + 1 == parts.size();
        entries.push_back(
            {parts[i], path, last ? FolderKind::Opened : FolderKind::Ancestor, 2 + 4 * int(i + 1)});
    }
    const QString openedPath = entries.back().path; // a copy: entries grows below
    // Sub-folders stand one step deeper than the opened entry, two below a
    // drive root (whose own name ends in the separator).
    const int depth = qMax(int(parts.size()), 1);
    const int subIndent = 2 + 4 * (depth + 1);
    for (const QString& name : subFolders)
        entries.push_back({name, joinPath(openedPath, name), FolderKind::SubFolder, subIndent});
    return entries;
}

QStringList visibleSubFolders(const QString& folder) {
    QStringList names;
    for (const fs::DirEntry& e : fs::listDirectory(folder))
        if (e.isDir && !e.hidden && !e.system)
            names.append(e.name);
    sortForList(names);
    return names;
}

QString folderWithSeparator(const QString& folder) {
    QString dir = folder;
    while (dir.endsWith(u'/'))
        dir.chop(1);
    return dir + u'/';
}

QString directoryErrorText(const fs::DirectoryChange& change) {
    switch (change.error) {
    case fs::DirectoryError::NotFound:
        return texts::dialogs::folderNotFound();
    case fs::DirectoryError::InvalidName:
        return texts::dialogs::invalidFolderName();
    case fs::DirectoryError::AccessDenied:
        return texts::dialogs::folderAccessDenied();
    case fs::DirectoryError::None:
    case fs::DirectoryError::Other:
        break;
    }
    return texts::dialogs::folderIoError().arg(change.systemCode);
}

} // namespace ostrel

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int IndentRole = Qt::UserRole + 1;
constexpr int EntryHeight = 16;

QPixmap picture(const char* name) {
    return QPixmap(QStringLiteral(":/savepath/") + QLatin1String(name));
}

QPixmap folderPicture(FolderKind kind) {
    switch (kind) {
    case FolderKind::Ancestor:
        return picture("OPENFOLDER");
    case FolderKind::Opened:
        return picture("CURRENTFOLDER");
    case FolderKind::SubFolder:
        break;
    }
    return picture("CLOSEDFOLDER");
}

QPixmap drivePicture(drives::DriveKind kind) {
    switch (kind) {
    case drives::DriveKind::Removable:
        return picture("FLOPPY");
    case drives::DriveKind::Network:
        return picture("NETWORK");
    case drives::DriveKind::CdRom:
        return picture("CDROM");
    case drives::DriveKind::Ram:
        return picture("RAM");
    case drives::DriveKind::Fixed:
        break;
    }
    return picture("HARD");
}

// Draws an entry as the lists of the dialog show them: the item's background,
// its picture `indent` pixels from the left edge and its text `gap` pixels
// right of the picture, both centred vertically; "&" is an ordinary character.
class EntryDelegate : public QStyledItemDelegate {
public:
    EntryDelegate(int gap, int fixedIndent, QObject* parent)
        : QStyledItemDelegate(parent), m_gap(gap), m_fixedIndent(fixedIndent) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        opt.icon = QIcon();
        opt.features &= ~QStyleOptionViewItem::HasDecoration;
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : nullptr;
        if (style)
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const QVariant decoration = index.data(Qt::DecorationRole);
        QPixmap pm = decoration.value<QPixmap>();
        if (pm.isNull())
            pm = decoration.value<QIcon>().pixmap(16, 16);
        const QVariant indent = index.data(IndentRole);
        const QRect r = option.rect;
        const int x = r.left() + (indent.isValid() ? indent.toInt() : m_fixedIndent);
        painter->save();
        if (!pm.isNull())
            painter->drawPixmap(x, r.top() + (r.height() - pm.height()) / 2, pm);
        const int textLeft = x + (pm.isNull() ? 16 : pm.width()) + m_gap;
        const bool selected = option.state & QStyle::State_Selected;
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(QRect(textLeft, r.top(), qMax(0, r.right() - textLeft), r.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QVariant indent = index.data(IndentRole);
        const int width = (indent.isValid() ? indent.toInt() : m_fixedIndent) + 16 + m_gap +
                          option.fontMetrics.horizontalAdvance(index.data().toString()) + 2;
        return {width, qMax(EntryHeight, option.fontMetrics.height())};
    }

private:
    int m_gap;
    int m_fixedIndent;
};

} // namespace

TSavePathFrm::TSavePathFrm(QWidget* parent) : QDialog(parent) {
    ostrel::initResources();
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(159, 205);
    // Not centred: the dialog opens here and then wherever it was left.
    move(643, 112);

    DirPath->setItemDelegate(new EntryDelegate(4, 2, DirPath));
    DrvPath->setItemDelegate(new EntryDelegate(6, 2, DrvPath));

    // The working directory of this moment is the opened folder until the
    // user opens another one.
    m_opened = fs::currentDirectory();

    bindHandler(EnterBtn, &QPushButton::clicked, this, [this] { EnterBtnClick(); });
    bindHandler(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    bindHandler(DirPath, &QListWidget::itemDoubleClicked, this,
                [this](QListWidgetItem* item) { openEntry(item); });
    bindHandler(DrvPath, &QComboBox::activated, this, [this](int index) { chooseDrive(index); });
}

void TSavePathFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    runHandler([this] { FormShow(); });
}

void TSavePathFrm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CancelBtn->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TSavePathFrm::FormShow() {
    m_chosen.clear();
    // The folders are read afresh at every showing, so that a folder made
    // since the last one (a group created meanwhile) is offered.
    if (!m_filled)
        fillDriveList(drives::presentDrives());
    else
        fillFolderList();
}

void TSavePathFrm::EnterBtnClick() {
    m_chosen = folderWithSeparator(m_opened);
    accept();
}

void TSavePathFrm::CancelBtnClick() {
    reject();
}

void TSavePathFrm::fillDriveList(std::vector<drives::Drive> drives) {
    m_filled = true;
    m_drives = std::move(drives);
    const QSignalBlocker block(DrvPath);
    DrvPath->clear();
    for (const drives::Drive& d : m_drives)
        DrvPath->addItem(QIcon(drivePicture(d.kind)), drives::driveText(d), d.root);
    fillFolderList();
}

const drives::Drive* TSavePathFrm::driveOfRoot(const QString& root) const {
    for (const drives::Drive& d : m_drives)
        if (d.root == root)
            return &d;
    return nullptr;
}

void TSavePathFrm::showCurrentDrive() {
    const QSignalBlocker block(DrvPath);
    DrvPath->setCurrentIndex(DrvPath->findData(m_root));
}

void TSavePathFrm::fillFolderList() {
    if (m_opened.isEmpty())
        m_opened = QStringLiteral("/");
    m_root = drives::driveRootOf(m_opened, m_drives);
    const std::vector<FolderEntry> entries =
        folderEntries(m_root, m_opened, visibleSubFolders(m_opened));
    DirPath->clear();
    int openedRow = 0;
    for (const FolderEntry& e : entries) {
        auto* item = new QListWidgetItem(e.name, DirPath);
        item->setData(PathRole, e.path);
        item->setData(IndentRole, e.indent);
        item->setData(Qt::DecorationRole, folderPicture(e.kind));
        if (e.kind == FolderKind::Opened)
            openedRow = DirPath->row(item);
    }
    DirPath->setCurrentRow(openedRow);
    showCurrentDrive();
}

void TSavePathFrm::openEntry(const QListWidgetItem* item) {
    if (!item)
        return;
    const QString path = item->data(PathRole).toString();
    const drives::Drive* drive = driveOfRoot(m_root);
    const Qt::CaseSensitivity cs =
        !drive || drive->caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (QString::compare(path, m_opened, cs) == 0)
        return;
    // A refused change leaves the working directory, the opened folder and
    // the list as they were.
    const fs::DirectoryChange change = drives::changeDirectory(path, m_drives);
    if (change.error != fs::DirectoryError::None)
        throw UserError(directoryErrorText(change));
    m_opened = fs::currentDirectory();
    fillFolderList();
}

void TSavePathFrm::chooseDrive(int index) {
    const QString root = DrvPath->itemData(index).toString();
    if (index < 0 || root == m_root)
        return;
    // The drive's own current folder; its root when that folder has gone.
    const QString folder = drives::currentDirectoryOf(root);
    fs::DirectoryChange change = drives::changeDirectory(folder, m_drives);
    if (change.error != fs::DirectoryError::None && folder != root)
        change = drives::changeDirectory(root, m_drives);
    if (change.error != fs::DirectoryError::None) {
        showCurrentDrive();
        throw UserError(directoryErrorText(change));
    }
    m_opened = fs::currentDirectory();
    fillFolderList();
}
