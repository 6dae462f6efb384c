#include "ui/tunnels/AvailabilityIndicator.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

namespace ostrel {

AvailabilityIndicator::AvailabilityIndicator(QWidget *parent) : QWidget(parent), m_spin(new QTimer(this))
{
    setObjectName(QStringLiteral("availability"));
    setFixedSize(14, 14);
    // The spinner only turns; nothing waits on it.
    m_spin->setInterval(80);
    connect(m_spin, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
    setState(State::idle);
}

void AvailabilityIndicator::setState(State state)
{
    m_state = state;
    if (state == State::checking)
        m_spin->start();
    else
        m_spin->stop();
    retranslate();
    update();
}

QString AvailabilityIndicator::symbol() const
{
    switch (m_state) {
    case State::available:
        return QStringLiteral("checkmark.circle.fill");
    case State::taken:
    case State::reserved:
        return QStringLiteral("xmark.circle.fill");
    case State::idle:
    case State::checking:
        break;
    }
    return {};
}

void AvailabilityIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    if (m_state == State::checking) {
        // A small spinner, 0.7 of the frame.
        const qreal side = bounds.width() * 0.7;
        const QRectF ring(bounds.center().x() - side / 2, bounds.center().y() - side / 2, side, side);
        painter.setPen(QPen(Palette::secondaryText(this), 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(ring, -m_angle * 16, 270 * 16);
        return;
    }
    const QString name = symbol();
    if (!name.isEmpty())
        paintSymbol(painter, bounds, name,
                    m_state == State::available ? Palette::green() : Palette::errorRed());
}

void AvailabilityIndicator::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void AvailabilityIndicator::retranslate()
{
    QString tip;
    switch (m_state) {
    case State::available:
        tip = localized(OSTREL_KEY("tunnels.subdomain.available"));
        break;
    case State::taken:
        tip = localized(OSTREL_KEY("tunnels.subdomain.taken"));
        break;
    case State::reserved:
        tip = localized(OSTREL_KEY("tunnels.subdomain.reserved"));
        break;
    case State::idle:
    case State::checking:
        break;
    }
    setToolTip(tip);
    setAccessibleName(tip);
}

} // namespace ostrel
