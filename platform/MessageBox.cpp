#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace ostrel {

QString applicationTitle() {
    return QStringLiteral("OSTREL");
}

int execCentred(QMessageBox& box) {
    box.setWindowModality(Qt::ApplicationModal);
    box.adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = box.frameGeometry();
        frame.moveCenter(screen->geometry().center());
        box.move(frame.topLeft());
    }
    return box.exec();
}

void showMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::NoButton);
    box.setObjectName(QStringLiteral("MessageBox"));
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    execCentred(box);
}

Answer askQuestion(QuestionKind kind, const QString& text, unsigned buttons) {
    const bool info = kind == QuestionKind::Information;
    QMessageBox box(info ? QMessageBox::Information : QMessageBox::Warning,
                    info ? QStringLiteral("情報") : QStringLiteral("警告"), text,
                    QMessageBox::NoButton);
    box.setObjectName(QStringLiteral("QuestionBox"));
    struct Choice {
        unsigned flag;
        const char16_t* caption;
        Answer answer;
    };
    static const Choice choices[] = {
        {YesButton, u"はい(&Y)", Answer::Yes},
        {NoButton, u"いいえ(&N)", Answer::No},
        {OkButton, u"OK", Answer::Ok},
        {CancelButton, u"キャンセル", Answer::Cancel},
    };
    QList<QPair<QAbstractButton*, Answer>> added;
    for (const Choice& c : choices) {
        if (!(buttons & c.flag))
            continue;
        // One role for all keeps the buttons in the order given on every desktop.
        QPushButton* b = box.addButton(QString::fromUtf16(c.caption), QMessageBox::ActionRole);
        b->setObjectName(QString::fromUtf16(c.caption));
        if (added.isEmpty())
            box.setDefaultButton(b);
        if (c.flag == CancelButton)
            box.setEscapeButton(b);
        added.append({b, c.answer});
    }
    execCentred(box);
    for (const auto& [button, answer] : added)
        if (box.clickedButton() == button)
            return answer;
    return Answer::Cancel;
}

} // namespace ostrel
