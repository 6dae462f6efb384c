#include "ui/controls/SymbolButton.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/controls/ButtonStyles.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QEvent>
#include <QPainter>

namespace ostrel {

SymbolButton::SymbolButton(QString symbol, int symbolSize, QString helpKey, QWidget *parent, int padding)
    : QAbstractButton(parent), m_symbol(std::move(symbol)), m_symbolSize(symbolSize), m_padding(padding),
      m_helpKey(std::move(helpKey))
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    retranslate();
}

QSize SymbolButton::sizeHint() const
{
    return QSize(m_symbolSize + 2 * m_padding, m_symbolSize + 2 * m_padding);
}

void SymbolButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    if (underMouse() || isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Palette::withOpacity(Palette::secondaryText(this), isDown() ? 0.22 : 0.15));
        painter.drawRoundedRect(bounds, 5, 5);
    }
    paintSymbol(painter, bounds.adjusted(m_padding, m_padding, -m_padding, -m_padding), m_symbol,
                Palette::secondaryText(this));
    if (hasFocus())
        paintFocusRing(painter, bounds, 5);
}

void SymbolButton::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void SymbolButton::retranslate()
{
    const QString help = localized(m_helpKey);
    setToolTip(help);
    setAccessibleName(help);
}

} // namespace ostrel
