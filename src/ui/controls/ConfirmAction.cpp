#include "ui/controls/ConfirmAction.h"

#include "l10n/LocalizableXCStrings.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QPainter>

namespace ostrel {

namespace {
constexpr int symbolSide = 26;
constexpr int textHeight = 26;
constexpr qreal cornerRadius = 6;

QFont idleTextFont()
{
    return systemFont(12, QFont::Medium);
}
QFont armedTextFont()
{
    return systemFont(12, QFont::DemiBold);
}

QSize textSize(const QString &text, const QFont &font)
{
    const QFontMetrics metrics(font);
    return QSize(std::max(symbolSide, metrics.horizontalAdvance(text) + 16), textHeight);
}

void paintText(QPainter &painter, const QRectF &rect, const QString &text, const QFont &font,
               const QColor &color)
{
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, Qt::AlignCenter, text);
}
} // namespace

ConfirmAction::ConfirmAction(Clock::Duration timeout, std::function<void()> action, QString idleHelp,
                             QString confirmHelp, LabelContent label, QWidget *parent, Clock &clock)
    : QAbstractButton(parent), m_clock(clock), m_timeout(std::max(timeout, Clock::Duration::zero())),
      m_action(std::move(action)), m_idleHelp(std::move(idleHelp)), m_confirmHelp(std::move(confirmHelp)),
      m_label(std::move(label))
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, &ConfirmAction::handleClick);
    retranslate();
}

LabelContent ConfirmAction::textLabel(QString idleKey, QString armedKey)
{
    LabelContent content;
    content.text = [idleKey, armedKey](bool armed) { return localized(armed ? armedKey : idleKey); };
    content.size = [idleKey, armedKey](const QWidget &, bool armed) {
        return armed ? textSize(localized(armedKey), armedTextFont())
                     : textSize(localized(idleKey), idleTextFont());
    };
    content.paint = [idleKey, armedKey](QPainter &painter, const QRectF &rect, const QWidget &owner,
                                        bool armed) {
        if (armed)
            paintText(painter, rect, localized(armedKey), armedTextFont(), Palette::errorRed());
        else
            paintText(painter, rect, localized(idleKey), idleTextFont(), Palette::secondaryText(&owner));
    };
    return content;
}

LabelContent ConfirmAction::symbolLabel(QString symbol, QString armedKey)
{
    LabelContent content;
    content.text = [armedKey](bool armed) { return armed ? localized(armedKey) : QString(); };
    content.size = [armedKey](const QWidget &, bool armed) {
        return armed ? textSize(localized(armedKey), armedTextFont()) : QSize(symbolSide, symbolSide);
    };
    content.paint = [symbol, armedKey](QPainter &painter, const QRectF &rect, const QWidget &owner,
                                       bool armed) {
        if (armed) {
            paintText(painter, rect, localized(armedKey), armedTextFont(), Palette::errorRed());
            return;
        }
        const QRectF box(rect.center().x() - symbolSide / 2.0, rect.center().y() - symbolSide / 2.0,
                         symbolSide, symbolSide);
        paintSymbol(painter, box.adjusted(6, 6, -6, -6), symbol, Palette::secondaryText(&owner));
    };
    return content;
}

QSize ConfirmAction::sizeHint() const
{
    return m_label.size ? m_label.size(*this, m_confirming) : QSize(symbolSide, symbolSide);
}

void ConfirmAction::handleClick()
{
    if (!m_confirming) {
        // Arming. With the pointer on the control no timer starts: it disarms only after leaving.
        ++m_generation;
        setConfirming(true);
        if (!m_hovered)
            scheduleTimeout();
        return;
    }
    cancelTimeout();
    setConfirming(false);
    // The action may tear down the screen holding this control; nothing of ours runs after it.
    QPointer<ConfirmAction> self(this);
    emit confirmed();
    if (self && m_action)
        m_action();
}

void ConfirmAction::setHovered(bool hovered)
{
    m_hovered = hovered;
    update();
    if (!m_confirming)
        return;
    if (hovered)
        cancelTimeout();
    else if (isVisible())
        scheduleTimeout();
}

void ConfirmAction::setConfirming(bool confirming)
{
    if (confirming == m_confirming)
        return;
    m_confirming = confirming;
    retranslate();
    updateGeometry();
    update();
    emit confirmingChanged(confirming);
}

void ConfirmAction::scheduleTimeout()
{
    cancelTimeout();
    const int armedGeneration = m_generation;
    auto *task = new QObject(this);
    m_timeoutTask = task;
    QPointer<ConfirmAction> self(this);
    m_clock.singleShot(m_timeout, task, [self, task, armedGeneration] {
        if (!self || self->m_timeoutTask != task)
            return;
        self->m_timeoutTask = nullptr;
        task->deleteLater();
        // A timer that outlived its arming must not disarm a newer one.
        if (self->m_generation != armedGeneration || !self->m_confirming)
            return;
        self->setConfirming(false);
    });
}

void ConfirmAction::cancelTimeout()
{
    delete m_timeoutTask.data();
    m_timeoutTask = nullptr;
}

void ConfirmAction::retranslate()
{
    const QString help = m_confirming ? m_confirmHelp : m_idleHelp;
    const QString helpText = help.isEmpty() ? QString() : localized(help);
    setToolTip(helpText);
    const QString labelText = m_label.text ? m_label.text(m_confirming) : QString();
    setAccessibleName(helpText.isEmpty() ? labelText : helpText);
    updateGeometry();
    update();
}

void ConfirmAction::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    if (m_hovered || m_confirming) {
        const QColor fill = m_confirming ? Palette::withOpacity(Palette::errorRed(), m_hovered ? 0.16 : 0.10)
                                         : Palette::withOpacity(Palette::secondaryText(this), 0.15);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(bounds, cornerRadius, cornerRadius);
    }
    applyButtonStyle(painter, bounds, ButtonStyle::staticStyle, isDown());
    if (m_label.paint)
        m_label.paint(painter, bounds, *this, m_confirming);
    if (m_keyboardFocus && hasFocus())
        paintFocusRing(painter, bounds, cornerRadius);
}

void ConfirmAction::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    setHovered(true);
}

void ConfirmAction::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    setHovered(false);
}

void ConfirmAction::showEvent(QShowEvent *event)
{
    QAbstractButton::showEvent(event);
    // Shown again while still armed: the usual disarm applies, so it never stays armed for good.
    if (m_confirming && !m_hovered)
        scheduleTimeout();
}

void ConfirmAction::hideEvent(QHideEvent *event)
{
    QAbstractButton::hideEvent(event);
    cancelTimeout();
    m_hovered = false;
}

void ConfirmAction::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void ConfirmAction::focusInEvent(QFocusEvent *event)
{
    QAbstractButton::focusInEvent(event);
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    update();
}

void ConfirmAction::focusOutEvent(QFocusEvent *event)
{
    QAbstractButton::focusOutEvent(event);
    m_keyboardFocus = false;
    update();
}

} // namespace ostrel
