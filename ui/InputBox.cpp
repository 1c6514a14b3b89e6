#include "InputBox.h"

#include "MessageBox.h"
#include "UiTexts.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace ostrel {

int ansiByteLength(QStringView text) {
    int bytes = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        bytes += (u < 0x80 || (u >= 0xFF61 && u <= 0xFF9F)) ? 1 : 2;
    }
    return bytes;
}

ByteLimitValidator::ByteLimitValidator(int maxBytes, QObject* parent)
    : QValidator(parent), m_maxBytes(maxBytes) {}

QValidator::State ByteLimitValidator::validate(QString& input, int& pos) const {
    Q_UNUSED(pos);
    return ansiByteLength(input) <= m_maxBytes ? Acceptable : Invalid;
}

void limitTo255Bytes(QLineEdit* edit) {
    edit->setValidator(new ByteLimitValidator(255, edit));
}

std::optional<QString> inputBox(QWidget* parent, const QString& caption, const QString& prompt) {
    QInputDialog box(parent);
    box.setObjectName(QStringLiteral("InputBox"));
    box.setWindowTitle(caption);
    box.setInputMode(QInputDialog::TextInput);
    box.setLabelText(prompt);
    box.setOkButtonText(QString::fromUtf16(texts::ui::okButton));
    box.setCancelButtonText(QString::fromUtf16(texts::ui::cancelButton));
    box.setTextValue(QString());
    if (auto* field = box.findChild<QLineEdit*>())
        limitTo255Bytes(field);
    box.setWindowModality(Qt::ApplicationModal);
    centreOnScreen(box);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

} // namespace ostrel
