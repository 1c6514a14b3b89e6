#pragma once

#include "DialogHost.h"
#include "SmallDialog.h"
#include "ui_CreRecFrm.h"

// The create-record dialog: creates an empty file in the group the main window
// shows, named as typed plus the extension of the chosen radio button, and
// selects (and, in a group of several records, loads) it in the main window.
class TCreRecFrm : public TSmallDialog, public Ui::TCreRecFrm {
    Q_OBJECT

public:
    TCreRecFrm(QWidget* parent, ostrel::DialogHost* host);

    // The radio buttons in their tab and arrow-key order.
    QList<QRadioButton*> extensionButtons() const;
    // The text that Create appends to the name for the chosen radio button.
    QString SelectedExtension() const;

public slots:
    void FormCreate();
    void RecNameEdtChange();
    void CreateBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void keepChoiceAsTabStop();

private:
    ostrel::DialogHost* m_host;
};
