#include "FontDialog.h"

#include "DialogTexts.h"
#include "ui/Colors.h"

#include <QColorDialog>
#include <QIntValidator>
#include <QPixmap>
#include <QShowEvent>

namespace {

// The sizes offered in the list; any other whole size can be typed.
constexpr int kListedSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};
constexpr int kSmallestSize = 1;
constexpr int kLargestSize = 1000;

// The rows of the style list.
enum Style { Regular, Italic, Bold, BoldItalic };

} // namespace

TFontDialog::TFontDialog(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    for (int size : kListedSizes)
        SizeLst->addItem(QString::number(size));
    SizeEdt->setValidator(new QIntValidator(kSmallestSize, kLargestSize, SizeEdt));

    connect(FaceCmb, &QFontComboBox::currentFontChanged, this, &TFontDialog::showSample);
    connect(StyleLst, &QListWidget::currentRowChanged, this, &TFontDialog::showSample);
    connect(SizeEdt, &QLineEdit::textChanged, this, &TFontDialog::sizeEdited);
    connect(SizeLst, &QListWidget::currentTextChanged, this, [this](const QString& text) {
        if (!text.isEmpty() && SizeEdt->text() != text)
            SizeEdt->setText(text);
    });
    connect(StrikeOutChk, &QCheckBox::toggled, this, &TFontDialog::showSample);
    connect(UnderlineChk, &QCheckBox::toggled, this, &TFontDialog::showSample);
    connect(ColorBtn, &QPushButton::clicked, this, &TFontDialog::chooseColor);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TFontDialog::setChosen(const QFont& font, const QColor& color) {
    m_font = font;
    m_color = color;
    if (isVisible())
        showChosen();
}

QColorDialog* TFontDialog::colorDialog() {
    if (!m_colorDialog) {
        m_colorDialog = new QColorDialog(this);
        m_colorDialog->setObjectName(QStringLiteral("FontColorDialog"));
        m_colorDialog->setWindowTitle(ostrel::texts::dialogs::colourDialogTitle());
        m_colorDialog->setOption(QColorDialog::DontUseNativeDialog);
    }
    return m_colorDialog;
}

void TFontDialog::showEvent(QShowEvent* event) {
    // Shown again by the desktop (after being minimised with its owner): the
    // fields stay as the user left them.
    if (!event->spontaneous())
        showChosen();
    QDialog::showEvent(event);
}

void TFontDialog::done(int result) {
    if (result == QDialog::Accepted) {
        m_font = fieldsFont();
        m_color = m_fieldColor;
    }
    QDialog::done(result);
}

void TFontDialog::showChosen() {
    FaceCmb->setCurrentFont(m_font);
    const bool bold = m_font.weight() >= QFont::DemiBold;
    StyleLst->setCurrentRow(bold ? (m_font.italic() ? BoldItalic : Bold)
                                 : (m_font.italic() ? Italic : Regular));
    const int points = m_font.pointSize() > 0 ? m_font.pointSize() : QFontInfo(m_font).pointSize();
    SizeEdt->setText(QString::number(points));
    StrikeOutChk->setChecked(m_font.strikeOut());
    UnderlineChk->setChecked(m_font.underline());
    m_fieldColor = m_color;
    showFieldColor();
    FaceCmb->setFocus();
}

QFont TFontDialog::fieldsFont() const {
    QFont font = m_font;
    font.setFamily(FaceCmb->currentFont().family());
    const int style = StyleLst->currentRow();
    font.setWeight(style == Bold || style == BoldItalic ? QFont::Bold : QFont::Normal);
    font.setItalic(style == Italic || style == BoldItalic);
    const int points = SizeEdt->text().toInt();
    if (points >= kSmallestSize)
        font.setPointSize(points);
    font.setStrikeOut(StrikeOutChk->isChecked());
    font.setUnderline(UnderlineChk->isChecked());
    return font;
}

void TFontDialog::sizeEdited(const QString& text) {
    int pos = 0;
    QString checked = text;
    OkBtn->setEnabled(SizeEdt->validator()->validate(checked, pos) == QValidator::Acceptable);
    const QList<QListWidgetItem*> listed = SizeLst->findItems(text, Qt::MatchExactly);
    if (listed.isEmpty())
        SizeLst->setCurrentRow(-1);
    else if (SizeLst->currentItem() != listed.first())
        SizeLst->setCurrentItem(listed.first());
    showSample();
}

void TFontDialog::chooseColor() {
    QColorDialog* dialog = colorDialog();
    dialog->setCurrentColor(m_fieldColor);
    if (const std::optional<QColor> chosen = ostrel::chooseColor(dialog)) {
        m_fieldColor = *chosen;
        showFieldColor();
    }
}

void TFontDialog::showFieldColor() {
    QPixmap swatch(ColorBtn->iconSize());
    swatch.fill(m_fieldColor);
    ColorBtn->setIcon(QIcon(swatch));
    ColorBtn->setText(m_fieldColor.name());
    showSample();
}

void TFontDialog::showSample() {
    SampleLbl->setFont(fieldsFont());
    ostrel::setTextColor(SampleLbl, m_fieldColor);
}
