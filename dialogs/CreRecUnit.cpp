#include "CreRecUnit.h"

#include "DialogTexts.h"
#include "store/RecordStore.h"
#include "ui/Handler.h"
#include "ui/MessageBox.h"

#include <QKeyEvent>

using namespace ostrel;

TCreRecFrm::TCreRecFrm(QWidget* parent, DialogHost* host) : TSmallDialog(parent), m_host(host) {
    setupUi(this);
    bindHandler(RecNameEdt, &QLineEdit::textChanged, this, [this] { RecNameEdtChange(); });
    bindHandler(CreateBtn, &QPushButton::clicked, this, [this] { CreateBtnClick(); });
    bindHandler(CloseBtn, &QPushButton::clicked, this, [this] { close(); });
    FormCreate();
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
    if (!store::createRecord(m_host->shownGroup(), name))
        showMessage(texts::dialogs::cannotCreateRecord());
    // After the group's first record, and when nothing is listed, the dialog
    // stays open.
    if (m_host->showNewRecord(name) == DialogHost::NewRecord::Loaded &&
        m_host->closesAfterCreatingRecord())
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
