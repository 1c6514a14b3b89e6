#pragma once

#include "SmallDialog.h"
#include "ui_CreateDirFrm.h"

// The create-group dialog: a name typed into GroupNameEdt becomes a new group
// folder of the data folder, which the main window then shows.
class TCreateDirFrm : public TSmallDialog, public Ui::TCreateDirFrm {
    Q_OBJECT

public:
    explicit TCreateDirFrm(QWidget* parent = nullptr);
    ~TCreateDirFrm() override;

public slots:
    void FormCreate();
    void GroupNameEdtChange();
    void CreateBtnClick();
};

extern TCreateDirFrm* CreateDirFrm;
