#pragma once

#include <QString>

namespace ostrel {

// Which sign-in screen the popover shows while nobody is signed in.
class AuthFlow {
public:
    enum class Kind { login, signup, forgotPassword, resetPassword };

    AuthFlow() = default;
    static AuthFlow login() { return AuthFlow(Kind::login, {}); }
    static AuthFlow signup() { return AuthFlow(Kind::signup, {}); }
    static AuthFlow forgotPassword() { return AuthFlow(Kind::forgotPassword, {}); }
    static AuthFlow resetPassword(const QString &token) { return AuthFlow(Kind::resetPassword, token); }

    Kind kind() const { return m_kind; }
    // The reset token; empty for every other kind.
    QString token() const { return m_token; }

    // Same kind and, for resetPassword, the same token.
    friend bool operator==(const AuthFlow &, const AuthFlow &) = default;

private:
    AuthFlow(Kind kind, QString token) : m_kind(kind), m_token(std::move(token)) {}
    Kind m_kind = Kind::login;
    QString m_token;
};

} // namespace ostrel
