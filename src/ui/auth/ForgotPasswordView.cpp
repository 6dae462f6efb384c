#include "ui/auth/ForgotPasswordView.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/auth/AuthStyle.h"
#include "ui/auth/OutcomePanel.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/TintedButton.h"
#include "validation/LoginValidator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace ostrel {

ForgotPasswordView::ForgotPasswordView(AppState &state, QWidget *parent) : AuthForm(state, parent)
{
    setObjectName(QStringLiteral("forgotPasswordView"));
    m_banner = new ErrorBanner(
        ErrorBanner::Severity::error, QString(), {}, {}, [this] { this->state().setBanner(std::nullopt); },
        this);
    m_banner->setObjectName(QStringLiteral("banner"));

    m_form = new QWidget(this);
    m_email = new FieldGroup(OSTREL_KEY("auth.email"), OSTREL_KEY("auth.email.placeholder"), nullptr, nullptr,
                             m_form);
    m_email->setObjectName(QStringLiteral("emailField"));
    m_submit = new PrimaryButton(
        OSTREL_KEY("auth.forgotPassword.submit"), [this] { submit(); }, m_form);
    m_submit->setObjectName(QStringLiteral("submit"));
    m_remember = new QLabel(m_form);
    m_remember->setObjectName(QStringLiteral("remember"));
    m_remember->setFont(systemFont(12));
    setSecondaryText(m_remember);
    m_signIn = new TintedButton(Palette::brandBlue(), m_form);
    m_signIn->setObjectName(QStringLiteral("signInLink"));
    connect(m_signIn, &QAbstractButton::clicked, this, [this] { goBack(); });
    auto *form = new QVBoxLayout(m_form);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(10);
    form->addWidget(m_email);
    form->addWidget(m_submit);
    auto *footer = new QHBoxLayout;
    footer->addStretch(1);
    footer->addWidget(m_remember);
    footer->addWidget(m_signIn);
    footer->addStretch(1);
    form->addLayout(footer);

    m_success = new OutcomePanel(
        {QStringLiteral("checkmark.circle.fill"), Palette::green(), OSTREL_KEY("auth.forgotPassword.success"),
         OSTREL_KEY("auth.forgotPassword.successBody"), OSTREL_KEY("auth.forgotPassword.back"),
         [this] { goBack(); }},
        [this] { return language(); }, this);
    m_success->setObjectName(QStringLiteral("success"));
    m_success->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(m_banner);
    layout->addWidget(m_form);
    layout->addWidget(m_success);

    connect(m_email, &FieldGroup::textChanged, this, [this] {
        // Once a submit has spoken, the message follows the corrections.
        if (m_didAttemptSubmit)
            m_emailError = LoginValidator::validateEmail(m_email->text().trimmed(), language());
        refresh();
    });
    connect(m_email->content(), &QLineEdit::returnPressed, this, &ForgotPasswordView::submit);
    connect(&state, &AppState::bannerChanged, this, &ForgotPasswordView::refreshBanner);
    refreshBanner();
    retranslate();
}

void ForgotPasswordView::submit()
{
    if (m_loading || m_didSend)
        return;
    m_didAttemptSubmit = true;
    const QString email = m_email->text().trimmed();
    m_emailError = LoginValidator::validateEmail(email, language());
    if (m_emailError) {
        refresh();
        return;
    }
    m_loading = true;
    state().setBanner(std::nullopt);
    refresh();
    state().apiClient().forgotPassword(email, this, [this](const ApiResult<EmptyResponse> &result) {
        m_loading = false;
        if (result.ok()) {
            m_didSend = true;
            m_form->hide();
            m_success->show();
        } else {
            state().presentError(result.failure());
        }
        refresh();
    });
}

void ForgotPasswordView::refresh()
{
    m_email->setSupportText(m_emailError);
    m_email->setErrored(m_emailError.has_value());
    m_submit->setLoading(m_loading);
    m_submit->setEnabled(!m_loading && !LoginValidator::validateEmail(m_email->text().trimmed(), language()));
}

void ForgotPasswordView::refreshBanner()
{
    const std::optional<BannerState> &banner = state().banner();
    m_banner->setVisible(banner.has_value());
    if (banner)
        m_banner->setMessage(banner->message);
}

void ForgotPasswordView::retranslate()
{
    m_remember->setText(text(OSTREL_KEY("auth.forgotPassword.remember")));
    setLinkText(m_signIn, text(OSTREL_KEY("auth.signIn.switch")));
    refresh();
}

bool ForgotPasswordView::goBack()
{
    state().setAuthFlow(AuthFlow::login());
    return true;
}

} // namespace ostrel
