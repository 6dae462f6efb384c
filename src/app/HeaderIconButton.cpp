#include "app/HeaderIconButton.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/controls/ButtonStyles.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QEvent>
#include <QPainter>

namespace ostrel {

HeaderIconButton::HeaderIconButton(QString systemImage, QString helpKey, QColor tint,
                                   std::function<QString()> language, std::function<void()> action,
                                   QWidget *parent)
    : QAbstractButton(parent), m_systemImage(std::move(systemImage)), m_helpKey(std::move(helpKey)),
      m_tint(std::move(tint)), m_language(std::move(language))
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action] { action(); });
    retranslate();
}

void HeaderIconButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    if (m_hovered || isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Palette::withOpacity(Palette::secondaryText(this), isDown() ? 0.25 : 0.15));
        painter.drawRoundedRect(frame, 6, 6);
    }
    const qreal inset = (side - symbolSize) / 2.0;
    paintSymbol(painter, frame.adjusted(inset, inset, -inset, -inset), m_systemImage, m_tint);
    if (hasFocus())
        paintFocusRing(painter, frame, 6);
}

void HeaderIconButton::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    m_hovered = true;
    update();
}

void HeaderIconButton::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    m_hovered = false;
    update();
}

void HeaderIconButton::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void HeaderIconButton::retranslate()
{
    const QString help = localized(m_helpKey, m_language ? m_language() : QString());
    setToolTip(help);
    setAccessibleName(help);
}

} // namespace ostrel
