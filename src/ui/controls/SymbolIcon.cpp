#include "ui/controls/SymbolIcon.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>

namespace ostrel {

namespace {
const QHash<QString, QString> &themeNames()
{
    static const QHash<QString, QString> names{
        {"xmark", "window-close-symbolic"},
        {"xmark.circle.fill", "process-stop-symbolic"},
        {"chevron.left", "go-previous-symbolic"},
        {"exclamationmark.circle.fill", "dialog-error-symbolic"},
        {"exclamationmark.triangle.fill", "dialog-warning-symbolic"},
        {"info.circle.fill", "dialog-information-symbolic"},
        {"info.circle", "help-about-symbolic"},
        {"gearshape", "emblem-system-symbolic"},
        {"rectangle.portrait.and.arrow.right", "system-log-out-symbolic"},
        {"lock.fill", "changes-prevent-symbolic"},
        {"plus.circle.fill", "list-add-symbolic"},
        {"play.circle.fill", "media-playback-start-symbolic"},
        {"stop.circle.fill", "media-playback-stop-symbolic"},
        {"doc.on.doc", "edit-copy-symbolic"},
        {"qrcode", "qrcode-symbolic"},
        {"pencil", "document-edit-symbolic"},
        {"trash", "user-trash-symbolic"},
        {"checkmark.circle.fill", "emblem-ok-symbolic"},
        {"globe", "web-browser-symbolic"},
        {"ellipsis.circle", "view-more-horizontal-symbolic"},
        {"infinity", "ostrel-infinity-symbolic"},
        {"network", "network-wired-symbolic"},
        {"gauge.with.dots.needle.50percent", "ostrel-gauge-symbolic"},
        {"creditcard", "ostrel-creditcard-symbolic"},
        {"arrow.up.right.square.fill", "ostrel-external-link-symbolic"},
        {"bolt.fill", "thunderbolt-symbolic"},
        {"lock.shield.fill", "security-high-symbolic"},
        {"wifi.exclamationmark", "network-wireless-no-route-symbolic"},
        {"envelope.badge.shield.half.filled", "mail-unread-symbolic"},
        {"bolt.horizontal.circle", "network-transmit-receive-symbolic"},
        {"eye.fill", "view-reveal-symbolic"},
        {"eye.slash.fill", "view-conceal-symbolic"},
        // The settings window.
        {"person.crop.circle", "avatar-default-symbolic"},
        {"crown", "starred-symbolic"},
        {"exclamationmark.shield", "security-low-symbolic"},
        {"calendar.badge.exclamationmark", "x-office-calendar-symbolic"},
        {"trash.fill", "user-trash-full-symbolic"},
        {"bell", "preferences-system-notifications-symbolic"},
        {"bolt.slash.fill", "process-stop-symbolic"},
        {"power", "system-shutdown-symbolic"},
        {"arrow.down.circle", "folder-download-symbolic"},
        {"doc.text", "text-x-generic-symbolic"},
        {"hand.raised", "security-medium-symbolic"},
        {"envelope", "mail-send-symbolic"},
        {"arrow.up.right.square", "send-to-symbolic"},
        {"arrow.counterclockwise.circle", "view-refresh-symbolic"},
        {"bolt.circle", "thunderbolt-symbolic"},
        {"checkmark.circle", "object-select-symbolic"},
    };
    return names;
}

QString bundledPath(const QString &symbol)
{
    return QStringLiteral(":/ostrel/icons/%1.svg").arg(symbol);
}
} // namespace

QString symbolThemeName(const QString &symbol)
{
    return themeNames().value(symbol);
}

QIcon symbolIcon(const QString &symbol)
{
    const QString theme = symbolThemeName(symbol);
    if (theme.isEmpty())
        return {};
    if (QIcon::hasThemeIcon(theme))
        return QIcon::fromTheme(theme);
    return QIcon(bundledPath(symbol));
}

QPixmap symbolPixmap(const QString &symbol, int pixelSize, const QColor &color, qreal devicePixelRatio)
{
    const QString theme = symbolThemeName(symbol);
    if (theme.isEmpty() || pixelSize <= 0)
        return {};
    // The same symbol is drawn by every row of a list: render each look once.
    const QString key = QStringLiteral("ostrel-symbol:%1:%2:%3:%4:%5")
                            .arg(symbol, QIcon::themeName())
                            .arg(pixelSize)
                            .arg(color.rgba(), 0, 16)
                            .arg(devicePixelRatio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    const int device = int(std::ceil(pixelSize * devicePixelRatio));
    if (QIcon::hasThemeIcon(theme)) {
        pixmap = QIcon::fromTheme(theme).pixmap(QSize(pixelSize, pixelSize), devicePixelRatio);
    } else {
        // Rendered straight from the SVG at the device size, so small symbols stay crisp.
        QSvgRenderer renderer(bundledPath(symbol));
        if (!renderer.isValid())
            return {};
        pixmap = QPixmap(device, device);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, device, device));
        pixmap.setDevicePixelRatio(devicePixelRatio);
    }
    if (pixmap.isNull())
        return {};
    // Symbols are shapes; their colour comes from the caller, like text.
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), pixmap.deviceIndependentSize()), color);
    painter.end();
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

void paintSymbol(QPainter &painter, const QRectF &rect, const QString &symbol, const QColor &color)
{
    const qreal side = std::min(rect.width(), rect.height());
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap pixmap = symbolPixmap(symbol, int(std::round(side)), color, ratio);
    if (pixmap.isNull())
        return;
    const QSizeF size = pixmap.deviceIndependentSize();
    painter.drawPixmap(QPointF(rect.center().x() - size.width() / 2, rect.center().y() - size.height() / 2),
                       pixmap);
}

} // namespace ostrel
