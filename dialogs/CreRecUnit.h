#pragma once

#include <QDialog>

class TCreRecFrm : public QDialog {
    Q_OBJECT

public:
    explicit TCreRecFrm(QWidget* parent = nullptr);
};

extern TCreRecFrm* CreRecFrm;
