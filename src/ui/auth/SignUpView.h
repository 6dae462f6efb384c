#pragma once

#include "ui/auth/CredentialForm.h"

class QLabel;

namespace ostrel {

class TintedButton;

// Account creation: an optional name, e-mail and password. An address already in use offers
// the sign-in screen instead.
class SignUpView : public CredentialForm {
    Q_OBJECT
public:
    explicit SignUpView(AppState &state, QWidget *parent = nullptr);

    FieldGroup *nameField() const { return m_name; }
    bool emailAlreadyInUse() const { return m_emailAlreadyInUse; }

protected:
    void send(const QString &email, const QString &password) override;
    void showRefusal(const ApiError &error) override;
    void emailServiceErrorChanged() override;
    void retranslate() override;
    bool goBack() override;

private:
    FieldGroup *m_name;
    bool m_emailAlreadyInUse = false;
    QWidget *m_conflictHint;
    QLabel *m_conflictText;
    TintedButton *m_conflictSignIn;
    QLabel *m_hasAccount;
    TintedButton *m_signIn;
};

} // namespace ostrel
