#include "WindowGeometry.h"

#include <algorithm>

namespace ostrel {

QRect heldToScreen(const OuterGeometry& stored, const QRect& available, const QSize& minimum) {
    const auto hold = [](qint64 value, qint64 low, qint64 high) {
        return std::clamp(value, low, std::max(low, high));
    };
    const qint64 minWidth = std::min<qint64>(minimum.width(), available.width());
    const qint64 minHeight = std::min<qint64>(minimum.height(), available.height());
    const qint64 width = hold(stored.width, std::max<qint64>(minWidth, 1), available.width());
    const qint64 height = hold(stored.height, std::max<qint64>(minHeight, 1), available.height());
    const qint64 left =
        hold(stored.left, available.left(), available.left() + available.width() - width);
    const qint64 top =
        hold(stored.top, available.top(), available.top() + available.height() - height);
    return QRect(int(left), int(top), int(width), int(height));
}

} // namespace ostrel
