#pragma once

#include <QDialog>
#include <QList>

class QAbstractButton;
class QLineEdit;
class QPlainTextEdit;

// The frame that the small dialogs share (create group, create record,
// displayed files): a fixed border, the main window's title-bar icon, a 12-pixel
// font, the "ATTENTION！" notice that takes the focus without letting Enter and
// Esc through, push buttons whose access keys go to the first enabled button in
// the dialog's control order, and a place at the screen centre set once.
// Closing only hides the dialog; its fields keep their contents.
class TSmallDialog : public QDialog {
    Q_OBJECT

public:
    explicit TSmallDialog(QWidget* parent = nullptr);

protected:
    // The title bar's buttons: system menu, close box, minimize box, and the
    // maximize box only where the dialog has one. Without it the border is
    // fixed at the layout's size.
    void setUpBorder(bool maximizeButton);
    // The dialog's font, 12 pixels high.
    void setUpFont(const QString& family);
    // The notice box: read-only, borderless, in the background colour, a tab
    // stop that keeps Enter and Esc to itself.
    void setUpNotice(QPlainTextEdit* memo);
    // The input field: Alt and a key that presses no button types nothing.
    void setUpField(QLineEdit* field);
    // Places the top-left corner at the centre of the screen (integer halves).
    void placeAtScreenCentre();
    // The push buttons in the dialog's control order: Alt and a button's access
    // key press the first enabled button that carries that key.
    void setAccessKeyOrder(const QList<QAbstractButton*>& buttons);
    // The button that Esc presses; without one, Esc does nothing.
    void setCancelButton(QAbstractButton* button) { m_cancelButton = button; }

    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* m_notice = nullptr;
    QLineEdit* m_field = nullptr;
    QAbstractButton* m_cancelButton = nullptr;
    QList<QAbstractButton*> m_accessOrder;
};
