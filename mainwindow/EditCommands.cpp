// Editing, navigation and search in the editor.
#include "MainFrm.h"

void TMainFrm::SC_EditString(QObject* Sender) {
    Q_UNUSED(Sender);
}
void TMainFrm::SC_PopupEdit(QObject* Sender) {
    Q_UNUSED(Sender);
}
void TMainFrm::FindStringMnuClick() {}
void TMainFrm::FindDialogFind() {}
void TMainFrm::MoveLineMnuClick() {}
void TMainFrm::MoveStartMnuClick() {}
void TMainFrm::MoveLastMnuClick() {}
void TMainFrm::PointMemoryMnuClick() {}
void TMainFrm::MoveMemoryMnuClick() {}
void TMainFrm::MainEditKeyDown() {
    ShowCurrentLine();
}
void TMainFrm::MainEditMouseDown() {
    ShowCurrentLine();
}

void ShowCurrentLine() {}

void TMainFrm::bindEditorEvents() {}
