#include "CreateDirUnit.h"

#include "DialogTexts.h"
#include "store/RecordStore.h"
#include "ui/Handler.h"
#include "ui/MessageBox.h"

using namespace ostrel;

TCreateDirFrm::TCreateDirFrm(QWidget* parent, DialogHost* host)
    : TSmallDialog(parent), m_host(host) {
    setupUi(this);
    bindHandler(GroupNameEdt, &QLineEdit::textChanged, this, [this] { GroupNameEdtChange(); });
    bindHandler(CreateBtn, &QPushButton::clicked, this, [this] { CreateBtnClick(); });
    bindHandler(CloseBtn, &QPushButton::clicked, this, [this] { close(); });
    FormCreate();
}

void TCreateDirFrm::FormCreate() {
    setUpBorder(false);
    setUpFont(QStringLiteral("MS UI Gothic"));
    setUpField(GroupNameEdt);
    setUpNotice(Memo1);
    // Control order: Create before Close, so Alt+C creates while it can.
    setAccessKeyOrder({CreateBtn, CloseBtn});
    GroupNameEdt->setFocus();
    placeAtScreenCentre();
}

void TCreateDirFrm::GroupNameEdtChange() {
    CreateBtn->setEnabled(!GroupNameEdt->text().isEmpty());
}

void TCreateDirFrm::CreateBtnClick() {
    const QString name = GroupNameEdt->text();
    const bool created = store::createGroup(name);
    // The main window's group list is rebuilt whatever the outcome.
    m_host->ListGroups();
    if (!created) {
        showMessage(texts::dialogs::cannotCreateGroup());
        emit refused();
        return;
    }
    m_host->showGroup(name);
    GroupNameEdt->clear();
    close();
}
