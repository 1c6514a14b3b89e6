#include "CreDirUnit.h"

#include "platform/Error.h"
#include "platform/MessageBox.h"
#include "store/RecordStore.h"

using namespace ostrel;

TCreateDirFrm* CreateDirFrm = nullptr;

TCreateDirFrm::TCreateDirFrm(QWidget* parent) : TSmallDialog(parent) {
    setupUi(this);
    CreateDirFrm = this;
    connect(GroupNameEdt, &QLineEdit::textChanged, this,
            [this] { runHandler([this] { GroupNameEdtChange(); }); });
    connect(CreateBtn, &QPushButton::clicked, this,
            [this] { runHandler([this] { CreateBtnClick(); }); });
    connect(CloseBtn, &QPushButton::clicked, this, &QWidget::close);
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
