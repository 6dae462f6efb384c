#include "ui/tunnels/TunnelListErrorView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace ostrel {

TunnelListErrorView::TunnelListErrorView(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("tunnelsError"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 10, 12, 10);
    row->setSpacing(8);
    auto *icon = new QLabel(this);
    icon->setPixmap(symbolPixmap(QStringLiteral("wifi.exclamationmark"), 14, Palette::warningAmber(),
                                 devicePixelRatioF()));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(3);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("errorMessage"));
    m_message->setFont(systemFont(12, QFont::DemiBold));
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    texts->addWidget(m_message);
    m_retry = new QLabel(this);
    m_retry->setObjectName(QStringLiteral("errorRetry"));
    m_retry->setFont(systemFont(11));
    m_retry->setWordWrap(true);
    QPalette secondary = m_retry->palette();
    secondary.setColor(QPalette::WindowText, Palette::secondaryText(this));
    m_retry->setPalette(secondary);
    texts->addWidget(m_retry);
    row->addLayout(texts, 1);
    retranslate();
}

void TunnelListErrorView::setMessage(const QString &message)
{
    if (m_message->text() == message)
        return;
    m_message->setText(message);
    setAccessibleName(message);
}

QString TunnelListErrorView::message() const
{
    return m_message->text();
}

QString TunnelListErrorView::retryText() const
{
    return m_retry->text();
}

void TunnelListErrorView::retranslate()
{
    m_retry->setText(localized(OSTREL_KEY("tunnels.list.retryAutomatic"), m_state.language()));
    setAccessibleDescription(m_retry->text());
}

void TunnelListErrorView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::withOpacity(Palette::warningAmber(), 0.08));
    painter.drawRoundedRect(QRectF(rect()), 9, 9);
}

void TunnelListErrorView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
