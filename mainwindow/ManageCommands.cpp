// Deleting records and groups; copying and moving them to another folder.
#include "MainFrm.h"

void TMainFrm::DeleteRecordMnuClick() {}
void TMainFrm::DeleteRecBtnClick() {
    DeleteRecordMnuClick();
}
void TMainFrm::DeleteRecordPum2Click() {
    DeleteRecordMnuClick();
}
void TMainFrm::DeleteGroupMnuClick() {}
void TMainFrm::SC_RecUserCopy(QObject* Sender) {
    Q_UNUSED(Sender);
}
void TMainFrm::SC_GroupCopy(QObject* Sender) {
    Q_UNUSED(Sender);
}
