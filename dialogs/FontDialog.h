#pragma once

#include "ui_FontDialog.h"

#include <QColor>
#include <QDialog>
#include <QFont>

class QColorDialog;
class QShowEvent;

// The font dialog: face, style, size, strikeout, underline and the text
// colour, with a sample of the choice. It keeps a font and a colour of its
// own: it opens on them, OK makes what the fields show its own, Cancel (Esc,
// the close button) leaves them as they were. Sizes are whole points, 1 to
// 1000; OK is offered only while the size field holds one.
class TFontDialog : public QDialog, public Ui::TFontDialog {
    Q_OBJECT

public:
    explicit TFontDialog(QWidget* parent);

    QFont chosenFont() const { return m_font; }
    QColor chosenColor() const { return m_color; }
    void setChosen(const QFont& font, const QColor& color);

    // The colour button's dialog, made when it is first needed.
    QColorDialog* colorDialog();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The fields from the dialog's own font and colour, and back.
    void showChosen();
    QFont fieldsFont() const;
    void sizeEdited(const QString& text);
    void chooseColor();
    void showFieldColor();
    void showSample();

    QFont m_font;
    QColor m_color;
    QColor m_fieldColor; // the colour the fields show
    QColorDialog* m_colorDialog = nullptr;
};
