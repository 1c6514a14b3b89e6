#include "DiskNotice.h"

#include "ui/Handler.h"

#include <QAccessible>

namespace ostrel {

DiskNotice::DiskNotice(QWidget* parent) : QFrame(parent) {
    setupUi(this);
    // The colours of a tooltip: set apart from the window, as the desktop
    // shows a passing notice.
    setBackgroundRole(QPalette::ToolTipBase);
    DiskNoticeLbl->setForegroundRole(QPalette::ToolTipText);
    bindHandler(DiskNoticeCloseBtn, &QToolButton::clicked, this, [this] { dismiss(); });
    hide();
}

void DiskNotice::tell(const QString& text) {
    const bool news = isHidden() || DiskNoticeLbl->text() != text;
    DiskNoticeLbl->setText(text);
    setAccessibleDescription(text);
    show();
    if (news) {
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
}

void DiskNotice::dismiss() {
    hide();
}

} // namespace ostrel
