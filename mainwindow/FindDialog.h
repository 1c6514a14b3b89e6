#pragma once

#include "text/TextSearch.h"
#include "ui_FindDialog.h"

#include <QDialog>
#include <QPoint>
#include <optional>

// The find dialog: not modal, with a search field of at most 255 bytes that
// keeps its text between openings, the direction down chosen, match-case and
// whole-word boxes (clear when it first opens), a find-next button and a
// cancel button. Each press of find-next (or Enter) raises `find`; cancel, Esc and the
// close button only hide it.
class TFindDialog : public QDialog, public Ui::TFindDialog {
    Q_OBJECT

public:
    explicit TFindDialog(QWidget* parent);

    // The text to search for.
    QString FindText() const;
    // How to search, as the boxes and the direction are set.
    ostrel::SearchOptions Options() const;
    // The point the dialog's top-left corner goes to, in screen coordinates:
    // taken when the dialog opens; an open dialog moves only when the point
    // differs from the last one given.
    void setPosition(const QPoint& point);
    // Opens the dialog at its position, or brings the open one to the front.
    void Execute();

signals:
    void find();

private:
    std::optional<QPoint> m_position;
};
