#include "SavePathUnit.h"

TSavePathFrm* SavePathFrm = nullptr;

TSavePathFrm::TSavePathFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SavePathFrm"));
    setWindowTitle(QStringLiteral("移動/保存先"));
    SavePathFrm = this;
}
