// Tool bar, status bar and line display visibility, word wrap, font, colour.
#include "MainFrm.h"

#include "editor/TextView.h"

#include "dialogs/DialogTexts.h"
#include "dialogs/FontDialog.h"
#include "ui/Colors.h"

#include <QColorDialog>

using namespace ostrel;

void TMainFrm::createAppearanceDialogs() {
    FontDialog = new TFontDialog(this);
    // The font it opens on until the user chooses one: 9 points (12 pixels
    // on a screen of 96 pixels per inch) in the window-text colour.
    FontDialog->setChosen(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9),
                          resolveColor(kColorWindowText));

    ColorDialog = new QColorDialog(this);
    ColorDialog->setObjectName(QStringLiteral("ColorDialog"));
    ColorDialog->setWindowTitle(texts::dialogs::colourDialogTitle());
    // Qt's own dialog on every desktop, so that it keeps its colour and
    // custom colours the same way everywhere.
    ColorDialog->setOption(QColorDialog::DontUseNativeDialog);
    ColorDialog->setCurrentColor(Qt::black);
}

void TMainFrm::SC_InterFace(QObject* Sender) {
    const std::pair<QAction*, QWidget*> panels[] = {{HideToolBarMnu, SpeedPanel},
                                                    {HideStatusBarMnu, DownPanel},
                                                    {HideLineNumberMnu, LinePanel}};
    for (const auto& [item, panel] : panels) {
        if (Sender == item) {
            // The layout gives the panel's room to its neighbours and back.
            panel->setVisible(panel->isHidden());
            item->setChecked(!item->isChecked());
            return;
        }
    }
    if (Sender == FontChangeMnu)
        ChangeFont();
    if (Sender == BackColorChangeMnu)
        ChangeBackColor();
    if (Sender == RightReturnMnu) {
        RightReturnMnu->setChecked(!RightReturnMnu->isChecked());
        // The document, and with it the text, the caret, the selection and
        // the modified mark, stays as it is; only its rows are laid out anew.
        MainEdit->setWordWrap(!MainEdit->wordWrap());
        MainEdit->ensureCaretVisible();
        ShowCurrentLine();
    }
}

void TMainFrm::ChangeFont() {
    if (FontDialog->exec() != QDialog::Accepted)
        return;
    const QFont chosen = FontDialog->chosenFont();
    const QColor color = FontDialog->chosenColor();
    MainEdit->setFont(chosen);
    setMainEditFontColor(colorValue(color));

    // The dialog opens next time on the chosen font at 9 points, which the
    // lists and the status bar take too.
    QFont small = chosen;
    small.setPointSize(9);
    FontDialog->setChosen(small, color);
    for (QWidget* w : {static_cast<QWidget*>(StatusBar), static_cast<QWidget*>(GroupCmb),
                       static_cast<QWidget*>(RecordLst)}) {
        w->setFont(small);
        setTextColor(w, color);
    }
    // The rows of a wrapping editor follow its font.
    ShowCurrentLine();
}

void TMainFrm::ChangeBackColor() {
    const std::optional<QColor> chosen = chooseColor(ColorDialog);
    if (!chosen)
        return;
    const qint32 value = colorValue(*chosen);
    setMainEditBackColor(value);
    setGroupCmbBackColor(value);
    setRecordLstBackColor(value);
}

void TMainFrm::Create_Close_RecordClick() {
    Create_Close_Record->setChecked(!Create_Close_Record->isChecked());
}
