#include "ErrorBox.h"

#include "MessageBox.h"

#include <QMessageBox>
#include <QPushButton>

namespace ostrel {

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showDefaultErrorBox(const QString& message, const QString& details) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), errorBoxText(message),
                    QMessageBox::NoButton);
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.setObjectName(QStringLiteral("ErrorBox"));
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    execCentred(box);
}

} // namespace ostrel
