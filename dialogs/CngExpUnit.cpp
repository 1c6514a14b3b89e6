#include "CngExpUnit.h"

TCngExpFrm* CngExpFrm = nullptr;

TCngExpFrm::TCngExpFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CngExpFrm"));
    setWindowTitle(QStringLiteral("表示するファイルの変更"));
    CngExpFrm = this;
}
