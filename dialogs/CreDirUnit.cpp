#include "CreDirUnit.h"

TCreateDirFrm* CreateDirFrm = nullptr;

TCreateDirFrm::TCreateDirFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CreateDirFrm"));
    setWindowTitle(QStringLiteral("グループの作成"));
    CreateDirFrm = this;
}
