// Printing the editor's text and setting up the printer.
#include "MainFrm.h"

void TMainFrm::PrintOutMnuClick() {}
void TMainFrm::PrintBtnClick() {
    PrintOutMnuClick();
}
void TMainFrm::PrinterSetupMnuClick() {}
