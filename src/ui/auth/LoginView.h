#pragma once

#include "ui/auth/CredentialForm.h"

namespace ostrel {

class TintedButton;

// Sign-in with e-mail and password, with links to the forgot-password and sign-up screens.
class LoginView : public CredentialForm {
    Q_OBJECT
public:
    explicit LoginView(AppState &state, QWidget *parent = nullptr);

protected:
    void send(const QString &email, const QString &password) override;
    void retranslate() override;

private:
    TintedButton *m_forgot;
    TintedButton *m_signUp;
};

} // namespace ostrel
