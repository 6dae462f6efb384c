#include "ui/auth/AuthHeader.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/auth/AuthStyle.h"
#include "ui/controls/Palette.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

AuthHeader::AuthHeader(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state), m_kind(state.authFlow().kind())
{
    setObjectName(QStringLiteral("authHeader"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("authTitle"));
    m_title->setFont(systemFont(17, QFont::Bold));
    m_title->setWordWrap(true);
    m_subtitle = new QLabel(this);
    m_subtitle->setObjectName(QStringLiteral("authSubtitle"));
    m_subtitle->setFont(systemFont(13));
    m_subtitle->setWordWrap(true);
    setSecondaryText(m_subtitle);
    layout->addWidget(m_title);
    layout->addWidget(m_subtitle);
    connect(&m_state, &AppState::authFlowChanged, this, &AuthHeader::flowChanged);
    retranslate();
}

QString AuthHeader::titleKey(AuthFlow::Kind kind)
{
    switch (kind) {
    case AuthFlow::Kind::login:
        return OSTREL_KEY("auth.signIn.title");
    case AuthFlow::Kind::signup:
        return OSTREL_KEY("auth.signUp.title");
    case AuthFlow::Kind::forgotPassword:
        return OSTREL_KEY("auth.forgotPassword.title");
    case AuthFlow::Kind::resetPassword:
        break;
    }
    return OSTREL_KEY("auth.resetPassword.title");
}

QString AuthHeader::subtitleKey(AuthFlow::Kind kind)
{
    switch (kind) {
    case AuthFlow::Kind::login:
        return OSTREL_KEY("auth.signIn.subtitle");
    case AuthFlow::Kind::signup:
        return OSTREL_KEY("auth.signUp.subtitle");
    case AuthFlow::Kind::forgotPassword:
        return OSTREL_KEY("auth.forgotPassword.subtitle");
    case AuthFlow::Kind::resetPassword:
        break;
    }
    return OSTREL_KEY("auth.resetPassword.subtitle");
}

QString AuthHeader::titleText() const
{
    return m_title->text();
}

QString AuthHeader::subtitleText() const
{
    return m_subtitle->text();
}

void AuthHeader::flowChanged()
{
    const AuthFlow::Kind kind = m_state.authFlow().kind();
    if (kind == m_kind)
        return;
    m_kind = kind;
    retranslate();
    if (!isVisible())
        return;
    fadeIn(this, fadeMilliseconds);
}

void AuthHeader::retranslate()
{
    const QString language = m_state.language();
    m_title->setText(localized(titleKey(m_kind), language));
    m_subtitle->setText(localized(subtitleKey(m_kind), language));
    setAccessibleName(m_title->text());
}

void AuthHeader::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

} // namespace ostrel
