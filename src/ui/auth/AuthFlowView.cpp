#include "ui/auth/AuthFlowView.h"

#include "state/AppState.h"
#include "ui/auth/AuthHeader.h"
#include "ui/auth/ForgotPasswordView.h"
#include "ui/auth/LoginView.h"
#include "ui/auth/ResetPasswordView.h"
#include "ui/auth/SignUpView.h"

#include <QVBoxLayout>

namespace ostrel {

AuthFlowView::AuthFlowView(AppState &state, bool followFlow, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(14);
    m_header = new AuthHeader(state, this);
    m_layout->addWidget(m_header);
    // The form keeps its natural height; the popover's spare room goes below it.
    m_layout->addStretch(1);
    if (followFlow)
        connect(&state, &AppState::authFlowChanged, this, [this] { showFlow(m_state.authFlow()); });
    showFlow(state.authFlow());
}

QString AuthFlowView::screenName(AuthFlow::Kind kind)
{
    switch (kind) {
    case AuthFlow::Kind::login:
        return QStringLiteral("screen.signIn");
    case AuthFlow::Kind::signup:
        return QStringLiteral("screen.signUp");
    case AuthFlow::Kind::forgotPassword:
        return QStringLiteral("screen.forgotPassword");
    case AuthFlow::Kind::resetPassword:
        break;
    }
    return QStringLiteral("screen.resetPassword");
}

void AuthFlowView::showFlow(const AuthFlow &flow)
{
    if (m_form && flow == m_flow)
        return;
    m_flow = flow;
    setObjectName(screenName(flow.kind()));
    m_header->setVisible(flow.kind() != AuthFlow::Kind::resetPassword);
    // The old form may be inside the click that changed the flow; it goes once that is over.
    if (m_form) {
        m_form->hide();
        m_layout->removeWidget(m_form);
        m_form->deleteLater();
    }
    switch (flow.kind()) {
    case AuthFlow::Kind::login:
        m_form = new LoginView(m_state, this);
        break;
    case AuthFlow::Kind::signup:
        m_form = new SignUpView(m_state, this);
        break;
    case AuthFlow::Kind::forgotPassword:
        m_form = new ForgotPasswordView(m_state, this);
        break;
    case AuthFlow::Kind::resetPassword:
        m_form = new ResetPasswordView(m_state, flow.token(), this);
        break;
    }
    m_layout->insertWidget(1, m_form);
    setFocusProxy(m_form);
}

} // namespace ostrel
