#include "SmallDialog.h"

#include "resources/Resources.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcutEvent>

TSmallDialog::TSmallDialog(QWidget* parent) : QDialog(parent) {
    ostrel::initResources();
}

void TSmallDialog::setUpBorder(bool maximizeButton) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                            Qt::WindowCloseButtonHint;
    if (maximizeButton) {
        flags |= Qt::WindowMaximizeButtonHint;
    } else {
        flags |= Qt::MSWindowsFixedSizeDialogHint;
        setFixedSize(size());
    }
    setWindowFlags(flags);
    setSizeGripEnabled(false);
}

void TSmallDialog::setUpFont(const QString& family) {
    QFont f(family);
    f.setPixelSize(12);
    setFont(f);
}

void TSmallDialog::setUpNotice(QPlainTextEdit* memo) {
    m_notice = memo;
    memo->setReadOnly(true);
    memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setTabChangesFocus(true);
    memo->setFocusPolicy(Qt::StrongFocus);
    memo->setUndoRedoEnabled(false);
    QPalette p = memo->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Window));
    memo->setPalette(p);
    memo->installEventFilter(this);
}

void TSmallDialog::setUpField(QLineEdit* field) {
    m_field = field;
    field->installEventFilter(this);
}

void TSmallDialog::placeAtScreenCentre() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect whole = screen->geometry();
    move(whole.left() + whole.width() / 2, whole.top() + whole.height() / 2);
}

void TSmallDialog::setAccessKeyOrder(const QList<QAbstractButton*>& buttons) {
    m_accessOrder = buttons;
    for (QAbstractButton* b : buttons)
        b->installEventFilter(this);
}

void TSmallDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        // Esc presses the cancel button where there is one, and never closes
        // the dialog by itself.
        if (m_cancelButton && m_cancelButton->isEnabled() && m_cancelButton->isVisible())
            m_cancelButton->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TSmallDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_notice && event->type() == QEvent::KeyPress) {
        // The notice keeps Enter and Esc: they must not reach the default or
        // the cancel button.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            event->accept();
            return true;
        }
    }
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        // An access key that no enabled button carries reaches the field as
        // a key press: it is not text.
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & Qt::AltModifier) && !(key->modifiers() & Qt::ControlModifier) &&
            !key->text().isEmpty()) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::Shortcut &&
        m_accessOrder.contains(static_cast<QAbstractButton*>(watched))) {
        // Several buttons may carry the same access key: the first enabled one
        // in the control order is pressed.
        const QKeySequence key = static_cast<QShortcutEvent*>(event)->key();
        for (QAbstractButton* b : std::as_const(m_accessOrder)) {
            if (b->isEnabled() && b->isVisible() && QKeySequence::mnemonic(b->text()) == key) {
                b->click();
                break;
            }
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
