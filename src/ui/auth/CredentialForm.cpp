#include "ui/auth/CredentialForm.h"

#include "api/ApiResult.h"
#include "l10n/LocalizableXCStrings.h"
#include "state/AppState.h"
#include "ui/auth/PasswordField.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/PrimaryButton.h"
#include "validation/LoginValidator.h"

#include <QLineEdit>

namespace ostrel {

CredentialForm::CredentialForm(AppState &state, const QString &submitKey, QWidget *parent)
    : AuthForm(state, parent)
{
    m_genericBanner = new ErrorBanner(ErrorBanner::Severity::error, QString(), {}, {}, {}, this);
    m_genericBanner->setObjectName(QStringLiteral("genericError"));
    m_genericBanner->hide();
    m_email = new FieldGroup(OSTREL_KEY("auth.email"), OSTREL_KEY("auth.email.placeholder"), nullptr, nullptr,
                             this);
    m_email->setObjectName(QStringLiteral("emailField"));
    m_password =
        new PasswordField(OSTREL_KEY("auth.password"), OSTREL_KEY("auth.password.placeholder"), true, this);
    m_password->setObjectName(QStringLiteral("passwordField"));
    m_submit = new PrimaryButton(
        submitKey, [this] { submit(); }, this);
    m_submit->setObjectName(QStringLiteral("submit"));

    connect(m_email, &FieldGroup::textChanged, this, [this] {
        if (m_apiEmailError) {
            m_apiEmailError.reset();
            emailServiceErrorChanged();
        }
        refresh();
    });
    connect(m_password, &FieldGroup::textChanged, this, [this] {
        m_apiPasswordError.reset();
        refresh();
    });
    connect(m_email->content(), &QLineEdit::returnPressed, this, [this] { m_password->setFocus(); });
    connect(m_password->content(), &QLineEdit::returnPressed, this, &CredentialForm::submit);
}

QString CredentialForm::trimmedEmail() const
{
    return m_email->text().trimmed();
}

void CredentialForm::submit()
{
    if (m_loading)
        return;
    const QString email = trimmedEmail();
    if (LoginValidator::validateEmail(email, language()) ||
        LoginValidator::validatePassword(m_password->text(), language()))
        return;
    m_loading = true;
    refresh();
    send(email, m_password->text());
}

void CredentialForm::finish(const std::optional<ApiFailure> &failure)
{
    m_loading = false;
    if (failure) {
        if (const ApiError *error = failure->apiError()) {
            if (error->kind() == ApiError::Kind::validation)
                showValidation(*error);
            else
                showRefusal(*error);
        } else {
            setGenericError(failureText(*failure, language()));
        }
    }
    refresh();
}

void CredentialForm::showRefusal(const ApiError &error)
{
    if (error.kind() == ApiError::Kind::unauthorized) {
        m_apiPasswordError.reset();
        setEmailServiceError(std::nullopt);
    }
    setGenericError(error.userMessage(language()));
}

void CredentialForm::showValidation(const ApiError &error)
{
    const QHash<ApiError::Field, QString> fields = error.fieldErrors(language());
    setEmailServiceError(fields.contains(ApiError::Field::email)
                             ? std::optional<QString>(fields.value(ApiError::Field::email))
                             : std::nullopt);
    m_apiPasswordError = fields.contains(ApiError::Field::password)
                             ? std::optional<QString>(fields.value(ApiError::Field::password))
                             : std::nullopt;
    // Entries for fields this form does not have would otherwise be lost: they read as a whole.
    if (fields.contains(ApiError::Field::generic))
        setGenericError(fields.value(ApiError::Field::generic));
    else if (m_apiEmailError || m_apiPasswordError)
        setGenericError(std::nullopt);
    else
        setGenericError(error.userMessage(language()));
}

void CredentialForm::setGenericError(const std::optional<QString> &text)
{
    m_genericError = text;
    m_genericBanner->setMessage(text.value_or(QString()));
    m_genericBanner->setVisible(text.has_value());
}

void CredentialForm::setEmailServiceError(const std::optional<QString> &text)
{
    m_apiEmailError = text;
    emailServiceErrorChanged();
}

void CredentialForm::refresh()
{
    const QString email = trimmedEmail();
    const QString password = m_password->text();
    // A field's own check speaks only once something is typed in it.
    const std::optional<QString> emailCheck =
        email.isEmpty() ? std::nullopt : LoginValidator::validateEmail(email, language());
    const std::optional<QString> passwordCheck =
        password.isEmpty() ? std::nullopt : LoginValidator::validatePassword(password, language());
    const std::optional<QString> emailMessage = m_apiEmailError ? m_apiEmailError : emailCheck;
    const std::optional<QString> passwordMessage = m_apiPasswordError ? m_apiPasswordError : passwordCheck;
    m_email->setSupportText(emailMessage);
    m_email->setErrored(emailMessage.has_value());
    m_password->setSupportText(passwordMessage);
    m_password->setErrored(passwordMessage.has_value());
    m_submit->setLoading(m_loading);
    m_submit->setEnabled(!m_loading && !email.isEmpty() && !password.isEmpty() && !emailCheck &&
                         !passwordCheck);
}

void CredentialForm::retranslate()
{
    refresh();
}

} // namespace ostrel
