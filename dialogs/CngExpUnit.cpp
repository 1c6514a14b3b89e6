#include "CngExpUnit.h"

#include "DialogTexts.h"
#include "text/PatternList.h"
#include "ui/Handler.h"
#include "ui/MessageBox.h"

#include <QShowEvent>

using namespace ostrel;

TCngExpFrm::TCngExpFrm(QWidget* parent, DialogHost* host) : TSmallDialog(parent), m_host(host) {
    setupUi(this);
    bindHandler(EnterBtn, &QPushButton::clicked, this, [this] { EnterBtnClick(); });
    bindHandler(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    bindHandler(DefaultBtn, &QPushButton::clicked, this, [this] { DefaultBtnClick(); });
    FormCreate();
}

void TCngExpFrm::FormCreate() {
    // The maximize box only enlarges the window; the controls keep their places.
    setUpBorder(true);
    setUpFont(QStringLiteral("ＭＳ Ｐゴシック"));
    setUpField(ExpEdt);
    setUpNotice(Memo1);
    setAccessKeyOrder({EnterBtn, CancelBtn, DefaultBtn});
    setCancelButton(CancelBtn);
    ExpEdt->setFocus();
    placeAtScreenCentre();
}

void TCngExpFrm::showEvent(QShowEvent* event) {
    // Only a hidden dialog becoming visible refreshes the field; a window
    // restored from the task bar keeps what is being typed.
    if (!event->spontaneous())
        runHandler([this] { FormShow(); });
    TSmallDialog::showEvent(event);
}

void TCngExpFrm::FormShow() {
    ExpEdt->setText(m_host->supportPatterns());
}

void TCngExpFrm::DefaultBtnClick() {
    ExpEdt->setText(defaultPatternList());
}

void TCngExpFrm::EnterBtnClick() {
    if (ExpEdt->text().isEmpty()) {
        showMessage(texts::dialogs::extensionRequired());
        return;
    }
    // Taken as typed: neither trimmed nor checked.
    m_host->setSupportPatterns(ExpEdt->text());
    showMessage(texts::dialogs::extensionsChanged());
    close();
}

void TCngExpFrm::CancelBtnClick() {
    close();
}
