#pragma once

#include "ui/auth/AuthForm.h"

#include <optional>

class QLabel;

namespace ostrel {

class ErrorBanner;
class FieldGroup;
class OutcomePanel;
class PrimaryButton;
class TintedButton;

// Asks the service to mail a password-reset link. Its failures go to AppState's banner, which
// this screen shows above the form (nothing else shows it while nobody is signed in).
class ForgotPasswordView : public AuthForm {
    Q_OBJECT
public:
    explicit ForgotPasswordView(AppState &state, QWidget *parent = nullptr);

    bool isLoading() const { return m_loading; }
    bool didSend() const { return m_didSend; }
    FieldGroup *emailField() const { return m_email; }
    PrimaryButton *submitButton() const { return m_submit; }
    ErrorBanner *banner() const { return m_banner; }
    OutcomePanel *successPanel() const { return m_success; }

    void submit();

protected:
    void retranslate() override;
    bool goBack() override;

private:
    void refresh();
    void refreshBanner();

    bool m_loading = false;
    bool m_didAttemptSubmit = false;
    bool m_didSend = false;
    std::optional<QString> m_emailError;
    ErrorBanner *m_banner;
    QWidget *m_form;
    FieldGroup *m_email;
    PrimaryButton *m_submit;
    QLabel *m_remember;
    TintedButton *m_signIn;
    OutcomePanel *m_success;
};

} // namespace ostrel
