#include "ui/auth/SignUpView.h"

#include "api/ApiError.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/auth/PasswordField.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/TintedButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace ostrel {

SignUpView::SignUpView(AppState &state, QWidget *parent)
    : CredentialForm(state, OSTREL_KEY("auth.signUp.title"), parent)
{
    setObjectName(QStringLiteral("signUpView"));
    m_name =
        new FieldGroup(OSTREL_KEY("auth.name"), OSTREL_KEY("auth.name.placeholder"), nullptr, nullptr, this);
    m_name->setObjectName(QStringLiteral("nameField"));
    connect(m_name->content(), &QLineEdit::returnPressed, this, [this] { emailField()->setFocus(); });

    m_conflictHint = new QWidget(this);
    m_conflictHint->setObjectName(QStringLiteral("conflictHint"));
    m_conflictText = makeLabel(12, QFont::Normal, true, "conflictText");
    m_conflictSignIn = makeLink("conflictSignIn");
    auto *hint = new QHBoxLayout(m_conflictHint);
    hint->setContentsMargins(0, 0, 0, 0);
    hint->addWidget(m_conflictText, 1);
    hint->addWidget(m_conflictSignIn);
    m_conflictHint->hide();

    m_hasAccount = makeLabel(12, QFont::Normal, true, "hasAccount");
    m_hasAccount->setWordWrap(false);
    m_signIn = makeLink("signInLink");
    const auto toLogin = [this] { this->state().setAuthFlow(AuthFlow::login()); };
    connect(m_conflictSignIn, &QAbstractButton::clicked, this, toLogin);
    connect(m_signIn, &QAbstractButton::clicked, this, toLogin);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(genericBanner());
    layout->addWidget(m_name);
    layout->addWidget(emailField());
    layout->addWidget(passwordField());
    layout->addWidget(m_conflictHint);
    layout->addWidget(submitButton());
    auto *footer = new QHBoxLayout;
    footer->setContentsMargins(0, 0, 0, 0);
    footer->addStretch(1);
    footer->addWidget(m_hasAccount);
    footer->addWidget(m_signIn);
    footer->addStretch(1);
    layout->addLayout(footer);

    // The name comes first on screen, so first in the Tab order too.
    setTabOrder(m_name->content(), emailField()->content());
    setTabOrder(emailField()->content(), passwordField()->content());
    setTabOrder(passwordField()->content(), passwordField()->revealToggle());
    setTabOrder(passwordField()->revealToggle(), m_conflictSignIn);
    setTabOrder(m_conflictSignIn, submitButton());
    setTabOrder(submitButton(), m_signIn);
    retranslate();
}

void SignUpView::send(const QString &email, const QString &password)
{
    const QString name = m_name->text().trimmed();
    state().signUp(email, password, name.isEmpty() ? std::nullopt : std::optional<QString>(name), this,
                   [this](const std::optional<ApiFailure> &failure) { finish(failure); });
}

void SignUpView::showRefusal(const ApiError &error)
{
    if (error.kind() != ApiError::Kind::conflict) {
        CredentialForm::showRefusal(error);
        return;
    }
    setGenericError(std::nullopt);
    setEmailServiceError(text(OSTREL_KEY("auth.email.conflict")));
    m_emailAlreadyInUse = true;
    m_conflictHint->show();
}

void SignUpView::emailServiceErrorChanged()
{
    // The hint is about the address the service refused; a new address drops it.
    if (!emailServiceError() && m_emailAlreadyInUse) {
        m_emailAlreadyInUse = false;
        m_conflictHint->hide();
    }
}

void SignUpView::retranslate()
{
    m_conflictText->setText(text(OSTREL_KEY("auth.email.conflict.signInHint")));
    setLinkText(m_conflictSignIn, text(OSTREL_KEY("auth.email.conflict.signInCta")));
    m_hasAccount->setText(text(OSTREL_KEY("auth.hasAccount")));
    setLinkText(m_signIn, text(OSTREL_KEY("auth.signIn.switch")));
    CredentialForm::retranslate();
}

bool SignUpView::goBack()
{
    state().setAuthFlow(AuthFlow::login());
    return true;
}

} // namespace ostrel
