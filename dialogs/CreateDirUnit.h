#pragma once

#include "DialogHost.h"
#include "SmallDialog.h"
#include "ui_CreateDirFrm.h"

// The create-group dialog: a name typed into GroupNameEdt becomes a new group
// folder of the data folder, which the main window then shows.
class TCreateDirFrm : public TSmallDialog, public Ui::TCreateDirFrm {
    Q_OBJECT

public:
    TCreateDirFrm(QWidget* parent, ostrel::DialogHost* host);

signals:
    // A name was refused (after the message saying so).
    void refused();

public slots:
    void FormCreate();
    void GroupNameEdtChange();
    void CreateBtnClick();

private:
    ostrel::DialogHost* m_host;
};
