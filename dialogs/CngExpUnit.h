#pragma once

#include <QDialog>

class TCngExpFrm : public QDialog {
    Q_OBJECT

public:
    explicit TCngExpFrm(QWidget* parent = nullptr);
};

extern TCngExpFrm* CngExpFrm;
