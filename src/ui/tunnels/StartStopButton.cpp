#include "ui/tunnels/StartStopButton.h"

#include "ui/controls/ButtonStyles.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>

namespace ostrel {

StartStopButton::StartStopButton(QWidget *parent) : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("startStop"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

bool StartStopButton::setRunning(bool running)
{
    if (m_running == running)
        return false;
    m_running = running;
    update();
    return true;
}

bool StartStopButton::setBusy(bool busy)
{
    if (m_busy == busy)
        return false;
    m_busy = busy;
    update();
    return true;
}

void StartStopButton::mousePressEvent(QMouseEvent *event)
{
    // The second press of a double click would undo the first one's start or stop.
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    if (event->button() == Qt::LeftButton && m_lastPress &&
        event->timestamp() - *m_lastPress < quint64(interval)) {
        m_lastPress.reset();
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton)
        m_lastPress = event->timestamp();
    QAbstractButton::mousePressEvent(event);
}

void StartStopButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}

void StartStopButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.4);
    const QRectF bounds = QRectF(rect()).adjusted(2, 2, -2, -2);
    if (m_busy) {
        const QRectF ring = bounds.adjusted(3, 3, -3, -3);
        painter.setPen(QPen(Palette::withOpacity(Palette::secondaryText(this), 0.25), 2));
        painter.drawEllipse(ring);
        painter.setPen(QPen(Palette::secondaryText(this), 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(ring, 90 * 16, -100 * 16);
        return;
    }
    const QColor tint = m_running ? Palette::errorRed() : Palette::brandBlue();
    paintSymbol(painter, bounds,
                m_running ? QStringLiteral("stop.circle.fill") : QStringLiteral("play.circle.fill"),
                underMouse() && isEnabled() ? tint.darker(115) : tint);
    if (hasFocus())
        paintFocusRing(painter, QRectF(rect()), 12);
}

} // namespace ostrel
