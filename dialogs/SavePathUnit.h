#pragma once

#include <QDialog>

class TSavePathFrm : public QDialog {
    Q_OBJECT

public:
    explicit TSavePathFrm(QWidget* parent = nullptr);
};

extern TSavePathFrm* SavePathFrm;
