#include "ui/tunnels/TunnelAddressButton.h"

#include "ui/controls/ButtonStyles.h"
#include "ui/controls/Palette.h"

#include <QFontDatabase>
#include <QPainter>

namespace ostrel {

namespace {
QFont addressFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    return font;
}
} // namespace

TunnelAddressButton::TunnelAddressButton(QWidget *parent) : QAbstractButton(parent)
{
    setFont(addressFont());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

bool TunnelAddressButton::set(const QString &address, bool link)
{
    if (address == text() && link == m_link)
        return false;
    m_link = link;
    setText(address);
    setEnabled(true);
    setCursor(link ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setFocusPolicy(link ? Qt::TabFocus : Qt::NoFocus);
    setAccessibleName(address);
    setToolTip(address);
    update();
    return true;
}

QString TunnelAddressButton::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, width());
}

QSize TunnelAddressButton::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(text()), fontMetrics().height() + 2);
}

QSize TunnelAddressButton::minimumSizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("a…b")), fontMetrics().height() + 2);
}

void TunnelAddressButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor color = m_link ? palette().color(QPalette::Link) : Palette::primaryText(this);
    if (m_link && isDown())
        color = color.darker(130);
    QFont font = this->font();
    font.setUnderline(m_link && underMouse());
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
    if (hasFocus())
        paintFocusRing(painter, rect(), 3);
}

} // namespace ostrel
