#include "ui/upgrade/CheckoutButton.h"

#include "ui/controls/ButtonStyles.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace ostrel {

namespace {
constexpr qreal cornerRadius = 12;
constexpr int verticalPadding = 12;
constexpr int iconSide = 14;
constexpr int spacing = 8;
// Room below and around the face for the shadow (radius 14, 6 down).
constexpr QMargins shadowRoom{8, 4, 8, 14};

QFont labelFont()
{
    return systemFont(14, QFont::DemiBold);
}
} // namespace

CheckoutButton::CheckoutButton(QWidget *parent) : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("checkoutButton"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::pressed, this, qOverload<>(&QWidget::update));
    connect(this, &QAbstractButton::released, this, qOverload<>(&QWidget::update));
}

QSize CheckoutButton::sizeHint() const
{
    const QFontMetrics metrics(labelFont());
    const int width = iconSide + spacing + metrics.horizontalAdvance(text()) + 32;
    const int height = std::max(metrics.height(), iconSide) + 2 * verticalPadding;
    return QSize(width + shadowRoom.left() + shadowRoom.right(),
                 height + shadowRoom.top() + shadowRoom.bottom());
}

QSize CheckoutButton::minimumSizeHint() const
{
    return QSize(120, sizeHint().height());
}

QRectF CheckoutButton::faceRect() const
{
    return QRectF(rect().marginsRemoved(shadowRoom));
}

void CheckoutButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face = faceRect();
    if (!isEnabled())
        painter.setOpacity(0.5);
    PressableStyle::apply(painter, face, isDown());

    // Shadow: brandBlue at 0.32, radius 14, 6 down, as rings of falling opacity.
    painter.setPen(Qt::NoPen);
    const QRectF shadow = face.translated(0, 6);
    for (int ring = 7; ring >= 1; --ring) {
        QColor color = Palette::withOpacity(Palette::brandBlue(), 0.32 / 7.0 * (8 - ring) / 4.0);
        painter.setBrush(color);
        const qreal grow = ring;
        painter.drawRoundedRect(shadow.adjusted(-grow, -grow / 2, grow, grow), cornerRadius + grow,
                                cornerRadius + grow);
    }

    QPainterPath shape;
    shape.addRoundedRect(face, cornerRadius, cornerRadius);
    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    fill.setColorAt(0, Palette::brandBlue());
    fill.setColorAt(1, Palette::brandBlueDeep());
    painter.fillPath(shape, fill);
    QLinearGradient border(face.topLeft(), QPointF(face.left(), face.center().y()));
    border.setColorAt(0, Palette::withOpacity(Palette::white(), 0.32));
    border.setColorAt(1, Palette::withOpacity(Palette::white(), 0));
    painter.setPen(QPen(QBrush(border), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(face.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5, cornerRadius - 0.5);

    const QFontMetrics metrics(labelFont());
    const qreal contentWidth = iconSide + spacing + metrics.horizontalAdvance(text());
    const qreal left = face.center().x() - contentWidth / 2;
    paintSymbol(painter, QRectF(left, face.center().y() - iconSide / 2.0, iconSide, iconSide),
                QStringLiteral("arrow.up.right.square.fill"), Palette::white());
    painter.setFont(labelFont());
    painter.setPen(Palette::white());
    painter.drawText(QRectF(left + iconSide + spacing, face.top(), contentWidth, face.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text());
    if (hasFocus())
        paintFocusRing(painter, face, cornerRadius);
}

void CheckoutButton::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && isEnabled()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

} // namespace ostrel
