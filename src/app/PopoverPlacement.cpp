#include "app/PopoverPlacement.h"

#include <algorithm>

namespace ostrel {

namespace {
int clampInto(int position, int length, int low, int high)
{
    // high is inclusive (QRect::right/bottom); a popover longer than the span starts at low.
    return std::max(low, std::min(position, high - length + 1));
}
} // namespace

QRect popoverGeometry(const QSize &size, const QRect &anchor, const QPoint &pointer, const QRect &available)
{
    const QRect target = anchor.isValid() && !anchor.isEmpty() ? anchor : QRect(pointer, QSize(1, 1));
    const bool belowTarget = target.center().y() < available.center().y();

    int x = target.center().x() - size.width() / 2;
    int y = belowTarget ? target.bottom() + 1 + popoverAnchorGap
                        : target.top() - popoverAnchorGap - size.height();

    x = clampInto(x, size.width(), available.left(), available.right());
    y = clampInto(y, size.height(), available.top(), available.bottom());
    return QRect(QPoint(x, y), size);
}

} // namespace ostrel
