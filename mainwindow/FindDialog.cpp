#include "FindDialog.h"

#include "ui/InputBox.h"

TFindDialog::TFindDialog(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ostrel::limitTo255Bytes(FindTextEdt);
    connect(FindTextEdt, &QLineEdit::textChanged, this,
            [this](const QString& text) { FindNextBtn->setEnabled(!text.isEmpty()); });
    connect(FindNextBtn, &QPushButton::clicked, this, &TFindDialog::find);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

QString TFindDialog::FindText() const {
    return FindTextEdt->text();
}

ostrel::SearchOptions TFindDialog::Options() const {
    ostrel::SearchOptions options;
    options.matchCase = MatchCaseChk->isChecked();
    options.wholeWord = WholeWordChk->isChecked();
    options.backward = UpRdb->isChecked();
    return options;
}

void TFindDialog::setPosition(const QPoint& point) {
    const bool moved = !m_position || *m_position != point;
    m_position = point;
    if (isVisible() && moved)
        move(point);
}

void TFindDialog::Execute() {
    if (!isVisible()) {
        if (m_position)
            move(*m_position);
        show();
    }
    raise();
    activateWindow();
}
