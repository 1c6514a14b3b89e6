#include "Colors.h"

#include <QApplication>
#include <QColorDialog>
#include <QPalette>
#include <QWidget>

#include <array>

namespace ostrel {

namespace {

QColor systemColor(int index) {
    const QPalette p = QApplication::palette();
    switch (index) {
    case 1: // desktop
    case 2: // active caption
        return p.color(QPalette::Highlight);
    case 4:  // menu
    case 15: // button face
        return p.color(QPalette::Button);
    case 5: // window background
        return p.color(QPalette::Base);
    case 6: // window frame
        return p.color(QPalette::Dark);
    case 7: // menu text
    case 8: // window text
        return p.color(QPalette::Text);
    case 13: // highlight
        return p.color(QPalette::Highlight);
    case 14: // highlighted text
        return p.color(QPalette::HighlightedText);
    case 16: // button shadow
        return p.color(QPalette::Mid);
    case 17: // grey text
        return p.color(QPalette::Disabled, QPalette::Text);
    case 18: // button text
        return p.color(QPalette::ButtonText);
    case 20: // button highlight
        return p.color(QPalette::Light);
    case 24: // tooltip background
        return p.color(QPalette::ToolTipBase);
    case 23: // tooltip text
        return p.color(QPalette::ToolTipText);
    default:
        return p.color(QPalette::Window);
    }
}

} // namespace

QColor resolveColor(qint32 value) {
    const quint32 bits = quint32(value);
    if (bits & 0x80000000u)
        return systemColor(int(bits & 0xFFu));
    return QColor(int(bits & 0xFF), int((bits >> 8) & 0xFF), int((bits >> 16) & 0xFF));
}

qint32 colorValue(const QColor& rgb) {
    return qint32(quint32(rgb.red()) | (quint32(rgb.green()) << 8) | (quint32(rgb.blue()) << 16));
}

void setBackgroundColor(QWidget* widget, const QColor& color) {
    QPalette p = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Base, color);
        p.setColor(group, QPalette::Button, color);
    }
    widget->setPalette(p);
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette p = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            p.setColor(group, role, color);
    widget->setPalette(p);
}

std::optional<QColor> chooseColor(QColorDialog* dialog) {
    // The custom colours are the application's, shared by every colour
    // dialog; the dialog changes them as soon as the user adds one.
    std::array<QColor, 16> custom;
    for (int i = 0; i < int(custom.size()); ++i)
        custom[size_t(i)] = QColorDialog::customColor(i);
    const QColor last = dialog->currentColor();
    if (dialog->exec() == QDialog::Accepted)
        return dialog->selectedColor();
    dialog->setCurrentColor(last);
    for (int i = 0; i < int(custom.size()); ++i)
        QColorDialog::setCustomColor(i, custom[size_t(i)]);
    return std::nullopt;
}

} // namespace ostrel
