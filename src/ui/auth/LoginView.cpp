#include "ui/auth/LoginView.h"

#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/auth/PasswordField.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/TintedButton.h"

#include <QVBoxLayout>

namespace ostrel {

LoginView::LoginView(AppState &state, QWidget *parent)
    : CredentialForm(state, OSTREL_KEY("auth.signIn"), parent)
{
    setObjectName(QStringLiteral("loginView"));
    m_forgot = makeLink("forgotPasswordLink");
    m_signUp = makeLink("signUpLink");
    connect(m_forgot, &QAbstractButton::clicked, this,
            [this] { this->state().setAuthFlow(AuthFlow::forgotPassword()); });
    connect(m_signUp, &QAbstractButton::clicked, this,
            [this] { this->state().setAuthFlow(AuthFlow::signup()); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(genericBanner());
    layout->addWidget(emailField());
    layout->addWidget(passwordField());
    layout->addWidget(submitButton());
    // One link a line: side by side they do not fit in every language.
    layout->addWidget(m_forgot, 0, Qt::AlignHCenter);
    layout->addWidget(m_signUp, 0, Qt::AlignHCenter);
    retranslate();
}

void LoginView::send(const QString &email, const QString &password)
{
    state().signIn(email, password, this,
                   [this](const std::optional<ApiFailure> &failure) { finish(failure); });
}

void LoginView::retranslate()
{
    setLinkText(m_forgot, text(OSTREL_KEY("auth.forgotPassword")));
    setLinkText(m_signUp, text(OSTREL_KEY("auth.noAccount")));
    CredentialForm::retranslate();
}

} // namespace ostrel
