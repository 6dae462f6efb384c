#pragma once

#include "ui/auth/AuthForm.h"

#include <optional>

class QLabel;
class QProgressBar;

namespace ostrel {

class ErrorBanner;
class OutcomePanel;
class PasswordField;
class PrimaryButton;

// Sets a new password with the token of a reset link. The token is checked once when the screen
// is shown; a token the service does not accept (or a check that fails) shows the invalid-link
// state, which leads to the forgot-password screen.
class ResetPasswordView : public AuthForm {
    Q_OBJECT
public:
    enum class TokenStatus { pending, valid, invalid };

    ResetPasswordView(AppState &state, QString token, QWidget *parent = nullptr);

    TokenStatus tokenStatus() const { return m_tokenStatus; }
    bool isLoading() const { return m_loading; }
    bool didReset() const { return m_didReset; }
    std::optional<QString> genericError() const { return m_genericError; }
    PasswordField *passwordField() const { return m_password; }
    PasswordField *confirmField() const { return m_confirm; }
    PrimaryButton *submitButton() const { return m_submit; }

    void submit();

protected:
    void showEvent(QShowEvent *event) override;
    void retranslate() override;
    bool goBack() override;

private:
    void checkToken();
    void validate();
    void refresh();

    QString m_token;
    TokenStatus m_tokenStatus = TokenStatus::pending;
    bool m_checkStarted = false;
    bool m_loading = false;
    bool m_didAttemptSubmit = false;
    bool m_didReset = false;
    std::optional<QString> m_passwordError;
    std::optional<QString> m_confirmError;
    std::optional<QString> m_genericError;

    QWidget *m_pending;
    QLabel *m_verifying;
    QWidget *m_form;
    QLabel *m_title;
    QLabel *m_subtitle;
    ErrorBanner *m_genericBanner;
    PasswordField *m_password;
    PasswordField *m_confirm;
    PrimaryButton *m_submit;
    OutcomePanel *m_invalid;
    OutcomePanel *m_success;
};

} // namespace ostrel
