#pragma once

#include <QDialog>

class TCreateDirFrm : public QDialog {
    Q_OBJECT

public:
    explicit TCreateDirFrm(QWidget* parent = nullptr);
};

extern TCreateDirFrm* CreateDirFrm;
