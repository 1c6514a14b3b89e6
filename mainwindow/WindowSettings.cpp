// The settings file on the main window: the window gathers the settings
// value from its widgets, and applies a value to them.
#include "MainFrm.h"

#include "editor/TextView.h"

#include "WindowTexts.h"
#include "ui/Colors.h"
#include "ui/MessageBox.h"

using namespace ostrel;

namespace {

// A font size the editor can draw: the stored value is applied as it is
// unless it is beyond any sensible size, where it is held at the limit.
int drawableFontSize(qint32 points) {
    return qBound(1, points, 1000);
}

void setFontSize(QWidget* widget, qint32 points) {
    QFont font = widget->font();
    font.setPointSize(drawableFontSize(points));
    widget->setFont(font);
}

} // namespace

settings::Settings TMainFrm::currentSettings() const {
    settings::Settings s;
    const QRect outer = outerGeometry();
    s.windowTop = outer.top();
    s.windowLeft = outer.left();
    s.windowHeight = outer.height();
    s.windowWidth = outer.width();
    // The editor's values; the lists' own fonts and colours are not asked.
    s.fontSize = MainEdit->font().pointSize();
    s.backColor = MainEditBackColor;
    s.fontColor = MainEditFontColor;
    s.lastDirectory = GroupCmb->currentText();
    s.lastDocument = SelectedRecordName();
    s.supportPatterns = SupportPatterns;
    s.wordWrap = MainEdit->wordWrap();
    s.toolbarVisible = !SpeedPanel->isHidden();
    s.statusbarVisible = !DownPanel->isHidden();
    s.rcFormClose = Create_Close_Record->isChecked();
    return s;
}

void TMainFrm::applySettings(const settings::Settings& s) {
    setOuterGeometry({s.windowLeft, s.windowTop, s.windowWidth, s.windowHeight});
    // The editor and both lists take the size; the status bar keeps its font.
    for (QWidget* w : {static_cast<QWidget*>(MainEdit), static_cast<QWidget*>(RecordLst),
                       static_cast<QWidget*>(GroupCmb)})
        setFontSize(w, s.fontSize);
    setMainEditBackColor(s.backColor);
    setRecordLstBackColor(s.backColor);
    setGroupCmbBackColor(s.backColor);
    setMainEditFontColor(s.fontColor);
    SupportPatterns = s.supportPatterns;

    MainEdit->setWordWrap(s.wordWrap);
    RightReturnMnu->setChecked(s.wordWrap);
    // A hidden bar gets the check mark of its item.
    SpeedPanel->setVisible(s.toolbarVisible);
    if (SpeedPanel->isHidden())
        HideToolBarMnu->setChecked(true);
    DownPanel->setVisible(s.statusbarVisible);
    if (DownPanel->isHidden())
        HideStatusBarMnu->setChecked(true);
    Create_Close_Record->setChecked(s.rcFormClose);
}

settings::Settings TMainFrm::LoadSettings() {
    // Each key the file does not hold (or does not hold as a number) leaves
    // the window as it is.
    settings::Settings fallback = currentSettings();
    // The last group and record have fallbacks of the start-up's own.
    fallback.lastDirectory.reset();
    fallback.lastDocument.reset();
    const settings::Settings stored = settings::read(settings::filePath(), fallback);
    applySettings(stored);
    return stored;
}

void TMainFrm::SaveSettings() {
    settings::write(settings::filePath(), currentSettings());
}

void TMainFrm::WriteDefaultSettings(bool Confirm) {
    if (Confirm) {
        const Answer a = askQuestion(QuestionKind::Information, texts::window::resetSettings(),
                                     OkButton | CancelButton);
        if (a != Answer::Ok)
            return;
        showMessage(texts::window::restartNeeded());
        SaveSettingsOnClose = false;
    }
    settings::write(settings::filePath(), settings::defaults());
}
