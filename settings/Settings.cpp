#include "Settings.h"

#include "mainwindow/MainFrm.h"
#include "os/ProfileFile.h"
#include "store/RecordStore.h"
#include "text/NumberParse.h"
#include "text/PatternList.h"
#include "ui/Colors.h"
#include "ui/Handler.h"
#include "ui/MessageBox.h"

namespace ostrel::settings {

QString filePath() {
    return QStringLiteral("./Ostrel.ini");
}

QString sectionName() {
    return QStringLiteral("OSTREL2 for Windows98 ApplicationSettingData");
}

qint32 readInt(const QString& key, qint32 fallback) {
    const QString text =
        profile::readString(filePath(), sectionName(), key, QString::number(fallback));
    return parseInt32(text).value_or(fallback);
}

bool readBool(const QString& key, bool fallback) {
    return readInt(key, fallback ? 1 : 0) != 0;
}

QString readText(const QString& key, const QString& fallback) {
    return profile::readString(filePath(), sectionName(), key, fallback);
}

void writeText(const QString& key, const QString& value) {
    if (!profile::writeString(filePath(), sectionName(), key, value))
        throw UserError(QStringLiteral("%1 に書き込めません").arg(filePath()));
}

void writeInt(const QString& key, qint32 value) {
    writeText(key, QString::number(value));
}

void writeBool(const QString& key, bool value) {
    writeInt(key, value ? 1 : 0);
}

} // namespace ostrel::settings

using namespace ostrel;
using namespace ostrel::settings;

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

void LoadSettings() {
    TMainFrm* f = MainFrm;
    const QRect outer = f->outerGeometry();
    f->setOuterGeometry({readInt(QStringLiteral("WINDOW LEFT"), outer.left()),
                         readInt(QStringLiteral("WINDOW TOP"), outer.top()),
                         readInt(QStringLiteral("WINDOW WIDTH"), outer.width()),
                         readInt(QStringLiteral("WINDOW HEIGHT"), outer.height())});

    const QString fontSize = QStringLiteral("FONT SIZE");
    setFontSize(f->MainEdit, readInt(fontSize, f->MainEdit->font().pointSize()));
    setFontSize(f->RecordLst, readInt(fontSize, f->MainEdit->font().pointSize()));
    setFontSize(f->GroupCmb, readInt(fontSize, f->MainEdit->font().pointSize()));

    const QString backColor = QStringLiteral("BUCK COLOR");
    f->setMainEditBackColor(readInt(backColor, f->MainEditBackColor));
    f->setRecordLstBackColor(readInt(backColor, f->MainEditBackColor));
    f->setGroupCmbBackColor(readInt(backColor, f->MainEditBackColor));
    f->setMainEditFontColor(readInt(QStringLiteral("FONT COLOR"), f->MainEditFontColor));

    f->SupportPatterns = readText(QStringLiteral("SUPPORT EXPC"), f->SupportPatterns);

    const bool wrap = readBool(QStringLiteral("EDIT WORDWRAP"),
                               f->MainEdit->lineWrapMode() != QPlainTextEdit::NoWrap);
    f->MainEdit->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    f->RightReturnMnu->setChecked(wrap);

    f->SpeedPanel->setVisible(
        readBool(QStringLiteral("TOOLBAR VISIBLE"), !f->SpeedPanel->isHidden()));
    if (f->SpeedPanel->isHidden())
        f->HideToolBarMnu->setChecked(true);
    f->DownPanel->setVisible(
        readBool(QStringLiteral("STATUSBAR VISIBLE"), !f->DownPanel->isHidden()));
    if (f->DownPanel->isHidden())
        f->HideStatusBarMnu->setChecked(true);

    f->Create_Close_Record->setChecked(
        readBool(QStringLiteral("RC FORM CLOSE"), f->Create_Close_Record->isChecked()));
}

void SaveSettings() {
    const TMainFrm* f = MainFrm;
    const QRect outer = f->outerGeometry();
    writeInt(QStringLiteral("WINDOW TOP"), outer.top());
    writeInt(QStringLiteral("WINDOW LEFT"), outer.left());
    writeInt(QStringLiteral("WINDOW HEIGHT"), outer.height());
    writeInt(QStringLiteral("WINDOW WIDTH"), outer.width());
    writeInt(QStringLiteral("FONT SIZE"), f->MainEdit->font().pointSize());
    writeInt(QStringLiteral("BUCK COLOR"), f->MainEditBackColor);
    writeInt(QStringLiteral("FONT COLOR"), f->MainEditFontColor);
    writeText(QStringLiteral("LAST DIRECTORY"), f->GroupCmb->currentText());
    writeText(QStringLiteral("LAST DOCUMENT"), SelectedRecordName());
    writeText(QStringLiteral("SUPPORT EXPC"),
              f->SupportPatterns.isEmpty() ? defaultPatternList() : f->SupportPatterns);
    writeBool(QStringLiteral("EDIT WORDWRAP"),
              f->MainEdit->lineWrapMode() != QPlainTextEdit::NoWrap);
    writeBool(QStringLiteral("TOOLBAR VISIBLE"), !f->SpeedPanel->isHidden());
    writeBool(QStringLiteral("STATUSBAR VISIBLE"), !f->DownPanel->isHidden());
    writeBool(QStringLiteral("RC FORM CLOSE"), f->Create_Close_Record->isChecked());
}

void WriteDefaultSettings(bool Confirm) {
    if (Confirm) {
        const Answer a = askQuestion(QuestionKind::Information,
                                     QStringLiteral("現在の設定は消失します よろしいですか？"),
                                     OkButton | CancelButton);
        if (a != Answer::Ok)
            return;
        showMessage(
            QStringLiteral("設定を有効にするにはアプリケーションを再起動する必要があります"));
        MainFrm->SaveSettingsOnClose = false;
    }
    writeInt(QStringLiteral("WINDOW TOP"), 200);
    writeInt(QStringLiteral("WINDOW LEFT"), 200);
    writeInt(QStringLiteral("WINDOW HEIGHT"), 350);
    writeInt(QStringLiteral("WINDOW WIDTH"), 450);
    writeInt(QStringLiteral("FONT SIZE"), 9);
    writeInt(QStringLiteral("BUCK COLOR"), kColorWindow);
    writeInt(QStringLiteral("FONT COLOR"), kColorWindowText);
    writeText(QStringLiteral("LAST DIRECTORY"), QString());
    writeText(QStringLiteral("LAST DOCUMENT"), QString());
    writeText(QStringLiteral("SUPPORT EXPC"), defaultPatternList());
    writeBool(QStringLiteral("EDIT WORDWRAP"), true);
    writeBool(QStringLiteral("TOOLBAR VISIBLE"), true);
    writeBool(QStringLiteral("STATUSBAR VISIBLE"), true);
    writeBool(QStringLiteral("RC FORM CLOSE"), true);
}
