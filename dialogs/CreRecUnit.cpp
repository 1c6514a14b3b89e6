#include "CreRecUnit.h"

TCreRecFrm* CreRecFrm = nullptr;

TCreRecFrm::TCreRecFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CreRecFrm"));
    setWindowTitle(QStringLiteral("レコードの作成"));
    CreRecFrm = this;
}
