#include "ui/tunnels/EmptyTunnelsView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/controls/Palette.h"
#include "ui/controls/SymbolIcon.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

EmptyTunnelsView::EmptyTunnelsView(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("emptyTunnels"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(8, 18, 8, 18);
    column->setSpacing(6);
    auto *icon = new QLabel(this);
    icon->setPixmap(symbolPixmap(QStringLiteral("bolt.horizontal.circle"), 28, Palette::secondaryText(this),
                                 devicePixelRatioF()));
    column->addWidget(icon, 0, Qt::AlignHCenter);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("emptyTitle"));
    m_title->setFont(systemFont(14, QFont::DemiBold));
    m_title->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_title);
    m_body = new QLabel(this);
    m_body->setObjectName(QStringLiteral("emptyBody"));
    m_body->setFont(systemFont(12));
    m_body->setAlignment(Qt::AlignHCenter);
    m_body->setWordWrap(true);
    QPalette secondary = m_body->palette();
    secondary.setColor(QPalette::WindowText, Palette::secondaryText(this));
    m_body->setPalette(secondary);
    column->addWidget(m_body);
    retranslate();
}

QString EmptyTunnelsView::titleText() const
{
    return m_title->text();
}

QString EmptyTunnelsView::bodyText() const
{
    return m_body->text();
}

void EmptyTunnelsView::retranslate()
{
    const QString language = m_state.language();
    m_title->setText(localized(OSTREL_KEY("tunnels.list.empty.title"), language));
    m_body->setText(LocalizableXCStrings::shared().format(QStringLiteral("tunnels.list.empty.body %@"),
                                                          {m_state.publicHost()}, language));
    setAccessibleName(m_title->text());
    setAccessibleDescription(m_body->text());
}

void EmptyTunnelsView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
