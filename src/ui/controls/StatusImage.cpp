#include "ui/controls/StatusImage.h"

#include "ui/controls/OstrelGlyph.h"
#include "ui/controls/Palette.h"

#include <QPainter>

#include <array>

namespace ostrel {

namespace {
constexpr int pointSize = 28;
constexpr qreal scale = 2.0;

QImage render(StatusColor color)
{
    QImage image(QSize(int(pointSize * scale), int(pointSize * scale)), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (!painter.isActive())
        return {};
    OstrelGlyph::paintLetter(painter, QRectF(0, 0, pointSize, pointSize), statusTint(color));
    painter.end();
    return image;
}
} // namespace

StatusColor statusColor(const QSet<QString> &runningIds, const QHash<QString, TunnelRuntimeState> &states)
{
    bool busy = false;
    bool connected = false;
    for (const QString &id : runningIds) {
        const auto it = states.constFind(id);
        if (it == states.constEnd())
            continue;
        switch (*it) {
        case TunnelRuntimeState::disconnected:
        case TunnelRuntimeState::failed:
            return StatusColor::red;
        case TunnelRuntimeState::starting:
        case TunnelRuntimeState::connecting:
            busy = true;
            break;
        case TunnelRuntimeState::connected:
            connected = true;
            break;
        case TunnelRuntimeState::stopped:
            break;
        }
    }
    if (busy)
        return StatusColor::orange;
    return connected ? StatusColor::green : StatusColor::white;
}

QColor statusTint(StatusColor color)
{
    switch (color) {
    case StatusColor::white:
        return Palette::white();
    case StatusColor::green:
        return Palette::green();
    case StatusColor::orange:
        return Palette::orange();
    case StatusColor::red:
        break;
    }
    return Palette::red();
}

QImage statusImage(StatusColor color)
{
    // Made on first use and kept for the life of the process.
    static const std::array<QImage, 4> images{render(StatusColor::white), render(StatusColor::green),
                                              render(StatusColor::orange), render(StatusColor::red)};
    return images[size_t(color)];
}

} // namespace ostrel
