#include "MessageBox.h"

#include "UiTexts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace ostrel {

QString applicationTitle() {
    return QStringLiteral("OSTREL");
}

void centreOnScreen(QWidget& window) {
    window.adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->geometry().center());
        window.move(frame.topLeft());
    }
}

int execCentred(QMessageBox& box) {
    box.setWindowModality(Qt::ApplicationModal);
    centreOnScreen(box);
    return box.exec();
}

void showMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::NoButton);
    box.setObjectName(QStringLiteral("MessageBox"));
    QPushButton* ok =
        box.addButton(QString::fromUtf16(texts::ui::okButton), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    execCentred(box);
}

Answer askQuestion(QuestionKind kind, const QString& text, unsigned buttons,
                   unsigned defaultButton) {
    const bool info = kind == QuestionKind::Information;
    QMessageBox box(info ? QMessageBox::Information : QMessageBox::Warning,
                    info ? texts::ui::informationTitle() : texts::ui::warningTitle(), text,
                    QMessageBox::NoButton);
    box.setObjectName(QStringLiteral("QuestionBox"));
    struct Choice {
        unsigned flag;
        const char16_t* caption;
        Answer answer;
    };
    static const Choice choices[] = {
        {YesButton, texts::ui::yesButton, Answer::Yes},
        {NoButton, texts::ui::noButton, Answer::No},
        {OkButton, texts::ui::okButton, Answer::Ok},
        {CancelButton, texts::ui::cancelButton, Answer::Cancel},
    };
    QList<QPair<QAbstractButton*, Answer>> added;
    for (const Choice& c : choices) {
        if (!(buttons & c.flag))
            continue;
        // One role for all keeps the buttons in the order given on every desktop.
        QPushButton* b = box.addButton(QString::fromUtf16(c.caption), QMessageBox::ActionRole);
        b->setObjectName(QString::fromUtf16(c.caption));
        if (defaultButton ? c.flag == defaultButton : added.isEmpty())
            box.setDefaultButton(b);
        added.append({b, c.answer});
    }
    // Esc presses キャンセル, or the last button where there is none; closing
    // the box by its title bar presses nothing and answers Cancel.
    box.setEscapeButton(added.last().first);
    QAbstractButton* pressed = nullptr;
    QObject::connect(&box, &QMessageBox::buttonClicked, &box,
                     [&pressed](QAbstractButton* b) { pressed = b; });
    execCentred(box);
    for (const auto& [button, answer] : added)
        if (pressed == button)
            return answer;
    return Answer::Cancel;
}

} // namespace ostrel
