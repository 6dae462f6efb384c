#include "ui/settings/SettingsRowButton.h"

#include "ui/controls/ButtonStyles.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QPainter>

namespace ostrel {

SettingsRowButton::SettingsRowButton(Look look, QWidget *parent)
    : QAbstractButton(parent), m_look(std::move(look))
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SettingsRowButton::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    updateGeometry();
    update();
}

void SettingsRowButton::setTitle(const QString &title)
{
    setText(title);
    setAccessibleName(title);
    updateGeometry();
}

void SettingsRowButton::setSymbol(const QString &symbol, std::optional<QColor> tint)
{
    m_look.symbol = symbol;
    m_look.symbolTint = std::move(tint);
    update();
}

QFont SettingsRowButton::titleFont() const
{
    return systemFont(m_look.textSize, m_selected ? QFont::DemiBold : QFont::Normal);
}

QSize SettingsRowButton::sizeHint() const
{
    const QFontMetrics metrics(titleFont());
    const int height = std::max(metrics.height(), m_look.symbolSize) + 2 * m_look.verticalPadding;
    int width = 2 * m_look.horizontalPadding + m_look.symbolBox + 8 + metrics.horizontalAdvance(text()) + 2;
    if (!m_look.trailingSymbol.isEmpty())
        width += 8 + m_look.symbolSize;
    return QSize(width, height);
}

QSize SettingsRowButton::minimumSizeHint() const
{
    return QSize(0, sizeHint().height());
}

void SettingsRowButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const QColor primary = Palette::primaryText(this);
    if (m_selected || isDown() || underMouse()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Palette::withOpacity(primary, m_selected ? 0.08 : 0.04));
        painter.drawRoundedRect(bounds, 6, 6);
    }
    const QColor color = m_look.tint.value_or(primary);
    const QColor symbolColor = m_look.symbolTint.value_or(color);
    qreal x = m_look.horizontalPadding;
    const qreal midY = bounds.center().y();
    paintSymbol(painter, QRectF(x, midY - m_look.symbolSize / 2.0, m_look.symbolBox, m_look.symbolSize),
                m_look.symbol, symbolColor);
    x += m_look.symbolBox + 8;
    qreal right = bounds.right() - m_look.horizontalPadding;
    if (!m_look.trailingSymbol.isEmpty()) {
        const int size = m_look.symbolSize - 2;
        paintSymbol(painter, QRectF(right - size, midY - size / 2.0, size, size), m_look.trailingSymbol,
                    Palette::tertiaryText(this));
        right -= size + 8;
    }
    painter.setFont(titleFont());
    painter.setPen(color);
    const QRectF textRect(x, bounds.top(), std::max<qreal>(0, right - x), bounds.height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(text(), Qt::ElideRight, int(textRect.width())));
    if (hasFocus())
        paintFocusRing(painter, bounds, 6);
}

} // namespace ostrel
