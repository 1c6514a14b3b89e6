#include "CreRecUnit.h"

#include "mainwindow/MainFrm.h"
#include "store/RecordStore.h"
#include "ui/Handler.h"

#include <QKeyEvent>

using namespace ostrel;

TCreRecFrm* CreRecFrm = nullptr;

TCreRecFrm::TCreRecFrm(QWidget* parent) : TSmallDialog(parent) {
    setupUi(this);
    CreRecFrm = this;
    bindHandler(RecNameEdt, &QLineEdit::textChanged, this, [this] { RecNameEdtChange(); });
    bindHandler(CreateBtn, &QPushButton::clicked, this, [this] { CreateBtnClick(); });
    bindHandler(CloseBtn, &QPushButton::clicked, this, [this] { close(); });
    FormCreate();
}

TCreRecFrm::~TCreRecFrm() {
    if (CreRecFrm == this)
        CreRecFrm = nullptr;
}

void TCreRecFrm::FormCreate() {
    setUpBorder(false);
    setUpFont(QStringLiteral("ＭＳ Ｐゴシック"));
    setUpField(RecNameEdt);
    setUpNotice(Memo1);
    QFont noticeFont(QStringLiteral("MS UI Gothic"));
    noticeFont.setPixelSize(12);
    Memo1->setFont(noticeFont);
    GroupBox1->setFont(noticeFont);
    // The radio captions are laid out for narrower Windows faces: condensed a
    // little, they fit the box.
    QFont captions = font();
    captions.setStretch(90);
    for (QRadioButton* b : extensionButtons())
        b->setFont(captions);
    // Close comes first in the control order: Alt+C always closes.
    setAccessKeyOrder({CloseBtn, CreateBtn});
    for (QRadioButton* b : extensionButtons()) {
        b->installEventFilter(this);
        connect(b, &QRadioButton::toggled, this, [this] { keepChoiceAsTabStop(); });
    }
    keepChoiceAsTabStop();
    RecNameEdt->setFocus();
    placeAtScreenCentre();
}

QList<QRadioButton*> TCreRecFrm::extensionButtons() const {
    return {CppRdb, CRdb, CgiRdb, RegRdb, HtmlRdb, HtmRdb, BatRdb, IniRdb, TxtRdb, NoneRdb};
}

QString TCreRecFrm::SelectedExtension() const {
    const std::pair<const QRadioButton*, const char*> extensions[] = {
        {TxtRdb, ".txt"}, {IniRdb, ".Ini"}, {BatRdb, ".bat"}, {HtmRdb, ".htm"}, {HtmlRdb, ".html"},
        {RegRdb, ".Reg"}, {CRdb, ".c"},     {CppRdb, ".cpp"}, {CgiRdb, ".cgi"}, {NoneRdb, ""}};
    for (const auto& [button, extension] : extensions)
        if (button->isChecked())
            return QString::fromLatin1(extension);
    return {};
}

void TCreRecFrm::RecNameEdtChange() {
    CreateBtn->setEnabled(!RecNameEdt->text().isEmpty());
}

void TCreRecFrm::CreateBtnClick() {
    const QString name = RecNameEdt->text() + SelectedExtension();
    RecNameEdt->clear();
    CreateRecordFile(name);
    ListRecords();

    QListWidget* records = MainFrm->RecordLst;
    if (records->count() == 1) {
        // The group's only record: selected, not loaded; the dialog stays.
        SelectRecord(0);
        MainFrm->MainEdit->document()->setModified(false);
        return;
    }
    if (records->count() == 0)
        return; // nothing listed to select or load; the dialog stays open

    MainFrm->RecordIndex = FindRecordIndex(name);
    SelectRecord(MainFrm->RecordIndex);
    LoadRecord();
    if (MainFrm->Create_Close_Record->isChecked())
        close();
}

void TCreRecFrm::keepChoiceAsTabStop() {
    // The box is one tab stop: the chosen radio button. The arrow keys move
    // within it.
    for (QRadioButton* b : extensionButtons()) {
        const Qt::FocusPolicy policy = b->focusPolicy();
        b->setFocusPolicy(b->isChecked() ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                         : Qt::FocusPolicy(policy & ~Qt::TabFocus));
    }
}

bool TCreRecFrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const QList<QRadioButton*> order = extensionButtons();
        const qsizetype at = order.indexOf(qobject_cast<QRadioButton*>(watched));
        const auto* key = static_cast<QKeyEvent*>(event);
        if (at >= 0 && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            // The arrow keys go round the box in the tab order, not by place.
            qsizetype step = 0;
            if (key->key() == Qt::Key_Right || key->key() == Qt::Key_Down)
                step = 1;
            else if (key->key() == Qt::Key_Left || key->key() == Qt::Key_Up)
                step = -1;
            if (step != 0) {
                QRadioButton* next = order[(at + step + order.size()) % order.size()];
                next->setFocus(Qt::OtherFocusReason);
                next->setChecked(true);
                return true;
            }
        }
    }
    return TSmallDialog::eventFilter(watched, event);
}
