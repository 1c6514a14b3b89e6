// Tool bar, status bar and line display visibility, word wrap, font, colour.
#include "MainFrm.h"

void TMainFrm::SC_InterFace(QObject* Sender) {
    Q_UNUSED(Sender);
}
void TMainFrm::Create_Close_RecordClick() {}
