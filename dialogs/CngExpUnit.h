#pragma once

#include "DialogHost.h"
#include "SmallDialog.h"
#include "ui_CngExpFrm.h"

class QShowEvent;

// The displayed-files dialog: edits the main window's SupportPatterns, the
// pattern list that decides which files of a group are listed as records. A
// confirmed list takes effect at the next rebuild of the record list and is
// written with the settings when the main window closes.
class TCngExpFrm : public TSmallDialog, public Ui::TCngExpFrm {
    Q_OBJECT

public:
    TCngExpFrm(QWidget* parent, ostrel::DialogHost* host);

public slots:
    void FormCreate();
    void FormShow();
    void DefaultBtnClick();
    void EnterBtnClick();
    void CancelBtnClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    ostrel::DialogHost* m_host;
};
