#include "FittedText.h"

#include <QFontMetrics>
#include <QLabel>

namespace ostrel {

namespace {
const char* const kOwnFont = "ostrelOwnFont";
} // namespace

void setTextInFull(QLabel* label, const QString& text) {
    // The label's own font is kept beside it, so that a short text after a
    // long one is shown at the full size again.
    QVariant own = label->property(kOwnFont);
    if (!own.isValid()) {
        own = label->font();
        label->setProperty(kOwnFont, own);
    }
    QFont font = own.value<QFont>();
    const int room = label->contentsRect().width();
    qreal size = font.pointSizeF() > 0 ? font.pointSizeF() : 9;
    constexpr qreal kSmallest = 4;
    while (size > kSmallest && QFontMetrics(font).horizontalAdvance(text) > room) {
        size -= 0.5;
        font.setPointSizeF(size);
    }
    if (label->font() != font)
        label->setFont(font);
    label->setText(text);
}

} // namespace ostrel
