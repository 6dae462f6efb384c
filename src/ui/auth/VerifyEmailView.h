#pragma once

#include "ui/auth/AuthForm.h"

#include <optional>

class QLabel;
class QProgressBar;

namespace ostrel {

class PrimaryButton;
class TintedButton;
class UrlOpener;

// Shown while the signed-in account has not verified its address: open the mail app, resend
// the mail, and sign in with the verification link's token once the link arrives.
class VerifyEmailView : public AuthForm {
    Q_OBJECT
public:
    // `urlOpener` may be null (no mail app to open).
    VerifyEmailView(AppState &state, UrlOpener *urlOpener, QWidget *parent = nullptr);

    bool isResending() const { return m_resending; }
    bool didResend() const { return m_didResend; }
    std::optional<QString> resendError() const { return m_resendError; }
    bool isVerifying() const { return m_localVerifyingToken.has_value(); }
    QString subtitleText() const;
    PrimaryButton *openMailButton() const { return m_openMail; }
    TintedButton *resendButton() const { return m_resend; }

    // Where "open mail" writes to: the service's contact mailbox, under its public host.
    static QUrl contactMailUrl(const QString &publicHost);

    void resend();

protected:
    void retranslate() override;

private:
    void takePendingToken();
    void refresh();

    UrlOpener *m_urlOpener;
    bool m_resending = false;
    bool m_didResend = false;
    std::optional<QString> m_resendError;
    std::optional<QString> m_localVerifyingToken;

    QLabel *m_title;
    QLabel *m_subtitle;
    PrimaryButton *m_openMail;
    QLabel *m_didntGetIt;
    TintedButton *m_resend;
    QProgressBar *m_busy;
    QWidget *m_resent;
    QLabel *m_resentText;
    QLabel *m_error;
    QWidget *m_verifying;
    QLabel *m_verifyingText;
};

} // namespace ostrel
