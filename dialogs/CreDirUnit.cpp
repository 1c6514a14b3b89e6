#include "CreDirUnit.h"

#include "store/RecordStore.h"
#include "ui/Handler.h"
#include "ui/MessageBox.h"

using namespace ostrel;

TCreateDirFrm* CreateDirFrm = nullptr;

TCreateDirFrm::TCreateDirFrm(QWidget* parent) : TSmallDialog(parent) {
    setupUi(this);
    CreateDirFrm = this;
    bindHandler(GroupNameEdt, &QLineEdit::textChanged, this, [this] { GroupNameEdtChange(); });
    bindHandler(CreateBtn, &QPushButton::clicked, this, [this] { CreateBtnClick(); });
    bindHandler(CloseBtn, &QPushButton::clicked, this, [this] { close(); });
    FormCreate();
}

TCreateDirFrm::~TCreateDirFrm() {
    if (CreateDirFrm == this)
        CreateDirFrm = nullptr;
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
    if (!CreateGroupFolder(GroupNameEdt->text())) {
        showMessage(QStringLiteral("グループを作成できません。 注意を確認して下さい"));
        return;
    }
    ListGroups();
    SelectGroup(FindGroupIndex(GroupNameEdt->text()));
    ListRecords();
    GroupNameEdt->clear();
    close();
}
