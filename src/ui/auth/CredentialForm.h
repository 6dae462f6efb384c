#pragma once

#include "ui/auth/AuthForm.h"

#include <optional>

class QVBoxLayout;

namespace ostrel {

class ApiError;
class ErrorBanner;
class FieldGroup;
class PasswordField;
class PrimaryButton;

// The part the sign-in and sign-up forms share: the general error above them, the e-mail and
// password fields with their local checks (shown once a field is not empty) and the service's
// messages (which win, until the field is edited), and the submit button with its enable rule
// and busy state. Return submits; a second submit while one runs is ignored.
class CredentialForm : public AuthForm {
    Q_OBJECT
public:
    bool isLoading() const { return m_loading; }
    std::optional<QString> genericError() const { return m_genericError; }
    FieldGroup *emailField() const { return m_email; }
    PasswordField *passwordField() const { return m_password; }
    PrimaryButton *submitButton() const { return m_submit; }
    ErrorBanner *genericBanner() const { return m_genericBanner; }

    void submit();

protected:
    CredentialForm(AppState &state, const QString &submitKey, QWidget *parent);

    QString trimmedEmail() const;
    // Sends the request; the subclass calls finish() with its outcome.
    virtual void send(const QString &email, const QString &password) = 0;
    void finish(const std::optional<ApiFailure> &failure);
    // A refusal of the service other than a validation error; the default shows userMessage.
    virtual void showRefusal(const ApiError &error);
    // The service's messages for the e-mail field changed (the sign-up hint follows them).
    virtual void emailServiceErrorChanged() {}

    void setGenericError(const std::optional<QString> &text);
    void setEmailServiceError(const std::optional<QString> &text);
    std::optional<QString> emailServiceError() const { return m_apiEmailError; }
    void refresh();
    void retranslate() override;

private:
    void showValidation(const ApiError &error);

    bool m_loading = false;
    std::optional<QString> m_apiEmailError;
    std::optional<QString> m_apiPasswordError;
    std::optional<QString> m_genericError;
    ErrorBanner *m_genericBanner;
    FieldGroup *m_email;
    PasswordField *m_password;
    PrimaryButton *m_submit;
};

} // namespace ostrel
