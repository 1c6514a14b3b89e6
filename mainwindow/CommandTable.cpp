// The command table: every menu item, pop-up item, tool button and control
// event of the main window bound to its handler; opening the dialogs by key;
// the hint display; the enabling of the editing commands.
#include "MainFrm.h"

#include "dialogs/CngExpUnit.h"
#include "dialogs/CreDirUnit.h"
#include "dialogs/CreRecUnit.h"
#include "dialogs/SavePathUnit.h"
#include "platform/Error.h"
#include "store/RecordStore.h"

#include <QMenu>

using namespace ostrel;

namespace {

// Every handler runs behind the event-handler boundary: a platform error ends
// it and is shown in the default error box.
template <typename Sender, typename Signal, typename Handler>
void bind(Sender* sender, Signal signal, TMainFrm* window, Handler handler) {
    QObject::connect(sender, signal, window, [handler] { runHandler(handler); });
}

void showWithoutWaiting(QWidget* dialog) {
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace

void TMainFrm::nameSeparators() {
    // The layout's separators, in menu order, get their names here.
    const auto name = [](QMenu* menu,
                         std::initializer_list<std::pair<QAction**, const char*>> names) {
        auto next = names.begin();
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator() || next == names.end())
                continue;
            *next->first = a;
            a->setObjectName(QString::fromLatin1(next->second));
            ++next;
        }
    };
    name(MnuFile, {{&Line1Mnu, "Line1Mnu"}, {&Line2Mnu, "Line2Mnu"}});
    name(MnuConfig, {{&Line4Mnu, "Line4Mnu"}, {&N1, "N1"}});
    name(InterFaceMnu, {{&N2, "N2"}, {&N3, "N3"}});
    name(MnuFind, {{&Line3Mnu, "Line3Mnu"}});
}

void TMainFrm::createPopupMenus() {
    const auto separator = [this](const char* name) {
        auto* a = new QAction(this);
        a->setSeparator(true);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    N4 = separator("N4");
    N5 = separator("N5");
    N6 = separator("N6");

    Pum1 = new QMenu(this);
    Pum1->setObjectName(QStringLiteral("Pum1"));
    Pum1->addActions({FixGroupPum, N5, CreateGroupPum1, DeleteGroupPum1});

    Pum2 = new QMenu(this);
    Pum2->setObjectName(QStringLiteral("Pum2"));
    Pum2->addActions({MoveRecordPum2, MoveRecordPum, N4, CreateRecordPum2, DeleteRecordPum2});

    Pum3 = new QMenu(this);
    Pum3->setObjectName(QStringLiteral("Pum3"));
    Pum3->addActions({CutPum3, CopyPum3, PastePum3, N6, PointPum3, MovePointPum3});

    const auto popupOn = [](QWidget* owner, QMenu* menu) {
        QObject::connect(owner, &QWidget::customContextMenuRequested, menu,
                         [owner, menu](const QPoint& pos) {
                             const auto* area = qobject_cast<QAbstractScrollArea*>(owner);
                             const QWidget* origin = area ? area->viewport() : owner;
                             menu->popup(origin->mapToGlobal(pos));
                         });
    };
    popupOn(Panel2, Pum1);
    popupOn(Panel5, Pum2);
    popupOn(Panel6, Pum2);
    popupOn(MainEdit, Pum3);
}

void TMainFrm::bindCommands() {
    // Controls.
    bind(GroupCmb, &QComboBox::currentIndexChanged, this, [this] { GroupCmbChange(); });
    // Programmatic changes of the list block its signals; a list left
    // without a selection is never the user's choice of a record.
    QObject::connect(RecordLst, &QListWidget::itemSelectionChanged, this, [this] {
        if (SelectedRecordIndex() >= 0)
            runHandler([this] { RecordLstClick(); });
    });
    bind(MainEdit, &QPlainTextEdit::textChanged, this, [this] { MainEditChange(); });
    bind(MainEdit, &QPlainTextEdit::modificationChanged, this, [this] { MainEditChange(); });

    // Tool buttons.
    bind(CreateRecBtn, &QToolButton::clicked, this, [this] { CreateRecBtnClick(); });
    bind(DeleteRecBtn, &QToolButton::clicked, this, [this] { DeleteRecBtnClick(); });
    bind(SaveDataBtn, &QToolButton::clicked, this, [this] { SaveDataBtnClick(); });
    bind(PrintBtn, &QToolButton::clicked, this, [this] { PrintBtnClick(); });
    bind(ExitBtn, &QToolButton::clicked, this, [this] { ExitBtnClick(); });

    // Menu items: plain handlers.
    const auto item = [this](QAction* a, void (TMainFrm::*handler)()) {
        bind(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    // Menu items: shared handlers, each told which item sent the click.
    const auto shared = [this](QAction* a, void (TMainFrm::*handler)(QObject*)) {
        bind(a, &QAction::triggered, this, [this, handler, a] { (this->*handler)(a); });
    };

    shared(CreateRecordMnu, &TMainFrm::SC_FormShow);
    item(DeleteRecordMnu, &TMainFrm::DeleteRecordMnuClick);
    shared(CreateGroupMnu, &TMainFrm::SC_FormShow);
    item(DeleteGroupMnu, &TMainFrm::DeleteGroupMnuClick);
    item(PrintOutMnu, &TMainFrm::PrintOutMnuClick);
    item(PrinterSetupMnu, &TMainFrm::PrinterSetupMnuClick);
    item(ApplicationCloseMnu, &TMainFrm::ApplicationCloseMnuClick);

    for (QAction* a : {CutMnu, CopyMnu, PasteMnu, DeleteMnu})
        shared(a, &TMainFrm::SC_EditString);
    for (QAction* a : {RightReturnMnu, HideToolBarMnu, HideStatusBarMnu, HideLineNumberMnu,
                       FontChangeMnu, BackColorChangeMnu})
        shared(a, &TMainFrm::SC_InterFace);
    item(Create_Close_Record, &TMainFrm::Create_Close_RecordClick);
    shared(ExpChangeMnu, &TMainFrm::SC_FormShow);
    item(SetDefaultMnu, &TMainFrm::SetDefaultMnuClick);

    item(FindStringMnu, &TMainFrm::FindStringMnuClick);
    item(MoveLineMnu, &TMainFrm::MoveLineMnuClick);
    item(MoveStartMnu, &TMainFrm::MoveStartMnuClick);
    item(MoveLastMnu, &TMainFrm::MoveLastMnuClick);
    item(PointMemoryMnu, &TMainFrm::PointMemoryMnuClick);
    item(MoveMemoryMnu, &TMainFrm::MoveMemoryMnuClick);

    shared(FixGroupPum, &TMainFrm::SC_GroupCopy);
    shared(CreateGroupPum1, &TMainFrm::SC_FormShow);
    item(DeleteGroupPum1, &TMainFrm::DeleteGroupMnuClick);

    shared(MoveRecordPum2, &TMainFrm::SC_RecUserCopy);
    shared(MoveRecordPum, &TMainFrm::SC_RecUserCopy);
    item(CreateRecordPum2, &TMainFrm::CreateRecordPum2Click);
    item(DeleteRecordPum2, &TMainFrm::DeleteRecordPum2Click);

    for (QAction* a : {CutPum3, CopyPum3, PastePum3})
        shared(a, &TMainFrm::SC_PopupEdit);
    item(PointPum3, &TMainFrm::PointMemoryMnuClick);
    item(MovePointPum3, &TMainFrm::MoveMemoryMnuClick);
}

void ShowForm(const QString& key) {
    if (key == u"CreRec" && CreRecFrm)
        showWithoutWaiting(CreRecFrm);
    if (key == u"CreDir" && CreateDirFrm)
        showWithoutWaiting(CreateDirFrm);
    if (key == u"CngExp" && CngExpFrm)
        showWithoutWaiting(CngExpFrm);
    if (key == u"SavePath" && SavePathFrm)
        SavePathFrm->exec();
}

void TMainFrm::SC_FormShow(QObject* Sender) {
    QString key = QStringLiteral("CreDir");
    if (Sender == CreateRecordMnu)
        key = QStringLiteral("CreRec");
    if (Sender == ExpChangeMnu)
        key = QStringLiteral("CngExp");
    ShowForm(key);
}

void TMainFrm::CreateRecBtnClick() {
    ShowForm(QStringLiteral("CreRec"));
}

void TMainFrm::CreateRecordPum2Click() {
    ShowForm(QStringLiteral("CreRec"));
}

void TMainFrm::ShowHint() {}

void TMainFrm::connectHintDisplay() {}

void TMainFrm::MainEditEnter() {
    for (QAction* a : {CutMnu, CopyMnu, PasteMnu, DeleteMnu})
        a->setEnabled(true);
    MnuFind->setEnabled(true);
}

void TMainFrm::MainEditExit() {
    for (QAction* a : {CutMnu, CopyMnu, PasteMnu, DeleteMnu})
        a->setEnabled(false);
    MnuFind->setEnabled(false);
}

void TMainFrm::setUpLayout() {}
