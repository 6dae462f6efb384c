#include "ui/auth/ResetPasswordView.h"

#include "api/APIClient.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/auth/OutcomePanel.h"
#include "ui/auth/PasswordField.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/Palette.h"
#include "ui/controls/PrimaryButton.h"
#include "validation/LoginValidator.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QVBoxLayout>

namespace ostrel {

ResetPasswordView::ResetPasswordView(AppState &state, QString token, QWidget *parent)
    : AuthForm(state, parent), m_token(std::move(token))
{
    setObjectName(QStringLiteral("resetPasswordView"));
    const auto lang = [this] { return language(); };

    m_pending = new QWidget(this);
    m_pending->setObjectName(QStringLiteral("pending"));
    auto *pending = new QVBoxLayout(m_pending);
    auto *progress = new QProgressBar(m_pending);
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setFixedHeight(4);
    m_verifying = new QLabel(m_pending);
    m_verifying->setObjectName(QStringLiteral("verifying"));
    m_verifying->setAlignment(Qt::AlignHCenter);
    pending->addWidget(progress);
    pending->addWidget(m_verifying);

    m_form = new QWidget(this);
    m_form->setObjectName(QStringLiteral("form"));
    m_title = makeLabel(17, QFont::Bold, false, "authTitle");
    m_subtitle = makeLabel(13, QFont::Normal, true, "authSubtitle");
    m_genericBanner = new ErrorBanner(ErrorBanner::Severity::error, QString(), {}, {}, {}, m_form);
    m_genericBanner->setObjectName(QStringLiteral("genericError"));
    m_genericBanner->hide();
    m_password =
        new PasswordField(OSTREL_KEY("auth.password"), OSTREL_KEY("auth.password.placeholder"), true, m_form);
    m_password->setObjectName(QStringLiteral("passwordField"));
    m_confirm = new PasswordField(OSTREL_KEY("auth.resetPassword.repeat"),
                                  OSTREL_KEY("auth.password.placeholder"), false, m_form);
    m_confirm->setObjectName(QStringLiteral("confirmField"));
    // One reveal state for both entries, so they can be compared by eye.
    connect(m_password, &PasswordField::revealedChanged, m_confirm, &PasswordField::setRevealed);
    m_submit = new PrimaryButton(
        OSTREL_KEY("auth.resetPassword.submit"), [this] { submit(); }, m_form);
    m_submit->setObjectName(QStringLiteral("submit"));
    auto *form = new QVBoxLayout(m_form);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(10);
    m_title->setParent(m_form);
    m_subtitle->setParent(m_form);
    form->addWidget(m_title);
    form->addWidget(m_subtitle);
    form->addWidget(m_genericBanner);
    form->addWidget(m_password);
    form->addWidget(m_confirm);
    form->addWidget(m_submit);

    m_invalid = new OutcomePanel({QStringLiteral("exclamationmark.triangle.fill"), Palette::warningAmber(),
                                  OSTREL_KEY("auth.resetPassword.invalid"),
                                  OSTREL_KEY("auth.resetPassword.invalidBody"),
                                  OSTREL_KEY("auth.resetPassword.requestNew"),
                                  [this] { this->state().setAuthFlow(AuthFlow::forgotPassword()); }},
                                 lang, this);
    m_invalid->setObjectName(QStringLiteral("invalid"));
    m_success = new OutcomePanel({QStringLiteral("checkmark.circle.fill"), Palette::green(),
                                  OSTREL_KEY("auth.resetPassword.success"),
                                  OSTREL_KEY("auth.resetPassword.successBody"),
                                  OSTREL_KEY("auth.signIn.switch"), [this] { goBack(); }},
                                 lang, this);
    m_success->setObjectName(QStringLiteral("success"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pending);
    layout->addWidget(m_form);
    layout->addWidget(m_invalid);
    layout->addWidget(m_success);

    const auto edited = [this] {
        if (m_didAttemptSubmit)
            validate();
        refresh();
    };
    connect(m_password, &FieldGroup::textChanged, this, edited);
    connect(m_confirm, &FieldGroup::textChanged, this, edited);
    connect(m_password->content(), &QLineEdit::returnPressed, this, [this] { m_confirm->setFocus(); });
    connect(m_confirm->content(), &QLineEdit::returnPressed, this, &ResetPasswordView::submit);
    retranslate();
}

void ResetPasswordView::showEvent(QShowEvent *event)
{
    AuthForm::showEvent(event);
    checkToken();
}

void ResetPasswordView::checkToken()
{
    if (m_checkStarted || m_tokenStatus != TokenStatus::pending)
        return;
    m_checkStarted = true;
    state().apiClient().verifyResetToken(
        m_token, this, [this](const ApiResult<VerifyResetTokenResponse> &result) {
            m_tokenStatus = result.ok() && result.value().valid ? TokenStatus::valid : TokenStatus::invalid;
            refresh();
            if (m_tokenStatus == TokenStatus::valid)
                m_password->setFocus();
        });
}

void ResetPasswordView::validate()
{
    m_passwordError = LoginValidator::validatePassword(m_password->text(), language());
    m_confirmError = m_password->text() != m_confirm->text()
                         ? std::optional<QString>(text(OSTREL_KEY("auth.resetPassword.mismatch")))
                         : std::nullopt;
}

void ResetPasswordView::submit()
{
    if (m_loading || m_tokenStatus != TokenStatus::valid || m_didReset)
        return;
    m_didAttemptSubmit = true;
    validate();
    if (m_passwordError || m_confirmError) {
        refresh();
        return;
    }
    m_loading = true;
    m_genericError.reset();
    refresh();
    state().apiClient().resetPassword(
        m_token, m_password->text(), this, [this](const ApiResult<EmptyResponse> &result) {
            m_loading = false;
            if (result.ok()) {
                m_didReset = true;
            } else if (const ApiError *error = result.failure().apiError()) {
                if (error->kind() == ApiError::Kind::validation) {
                    m_passwordError = LoginValidator::validatePassword(m_password->text(), language());
                    if (!m_passwordError)
                        m_passwordError = text(OSTREL_KEY("auth.password.invalid"));
                } else if (error->kind() == ApiError::Kind::unauthorized) {
                    m_tokenStatus = TokenStatus::invalid;
                } else {
                    m_genericError = error->userMessage(language());
                }
            } else {
                m_genericError = failureText(result.failure(), language());
            }
            refresh();
        });
}

void ResetPasswordView::refresh()
{
    m_pending->setVisible(m_tokenStatus == TokenStatus::pending);
    m_invalid->setVisible(m_tokenStatus == TokenStatus::invalid);
    m_form->setVisible(m_tokenStatus == TokenStatus::valid && !m_didReset);
    m_success->setVisible(m_tokenStatus == TokenStatus::valid && m_didReset);
    m_genericBanner->setVisible(m_genericError.has_value());
    m_genericBanner->setMessage(m_genericError.value_or(QString()));
    m_password->setSupportText(m_passwordError);
    m_password->setErrored(m_passwordError.has_value());
    m_confirm->setSupportText(m_confirmError);
    m_confirm->setErrored(m_confirmError.has_value());
    m_submit->setLoading(m_loading);
}

void ResetPasswordView::retranslate()
{
    m_verifying->setText(text(OSTREL_KEY("auth.resetPassword.verifying")));
    m_title->setText(text(OSTREL_KEY("auth.resetPassword.title")));
    m_subtitle->setText(text(OSTREL_KEY("auth.resetPassword.subtitle")));
    refresh();
}

bool ResetPasswordView::goBack()
{
    state().setAuthFlow(AuthFlow::login());
    return true;
}

} // namespace ostrel
