// A new account's whole way in, through the screens, against the running development service:
// sign up, verify by the mailed link, reset the password, sign in with it and by magic link.

#include "state/AppState.h"
#include "state/BuildConfig.h"
#include "support/DevService.h"
#include "support/DevServiceApp.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNetworkMonitor.h"
#include "support/FakeNotifier.h"
#include "support/FakePreferencesStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeUrlOpener.h"
#include "ui/MenuBarView.h"
#include "ui/auth/ForgotPasswordView.h"
#include "ui/auth/LoginView.h"
#include "ui/auth/OnboardingView.h"
#include "ui/auth/OutcomePanel.h"
#include "ui/auth/PasswordField.h"
#include "ui/auth/ResetPasswordView.h"
#include "ui/auth/SignUpView.h"
#include "ui/auth/VerifyEmailView.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/TintedButton.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {
void type(FieldGroup *field, const QString &value)
{
    field->content()->clear();
    QTest::keyClicks(field->content(), value);
}

template <typename T> T *onScreen(const MenuBarView &view)
{
    return view.screenWidget() ? view.screenWidget()->findChild<T *>() : nullptr;
}

// The newest mailed link to `email` that starts with `prefix`.
QString mailedLink(DevService &service, const QString &email, const QString &prefix)
{
    const QString token = service.latestLinkToken(email, prefix);
    return token.isEmpty() ? QString() : prefix + QStringLiteral("?token=") + token;
}
} // namespace

class TestAuthDevService : public QObject {
    Q_OBJECT
private slots:
    void newAccountFromSignUpToMagicLink();
};

void TestAuthDevService::newAccountFromSignUpToMagicLink()
{
    DevService service;
    QVERIFY2(service.start(), qPrintable(service.errorString()));
    DevServiceApp app(service.port());
    AppState &state = app.create();
    MenuBarView view(state, {{}, {}, &app.urlOpener});
    view.show();
    const QString email = QStringLiteral("journey@ostrel.test");

    // Onboarding, then the sign-up form: signed in at once, the address still to verify.
    auto *onboarding = qobject_cast<OnboardingView *>(view.screenWidget());
    QVERIFY(onboarding);
    QTest::mouseClick(onboarding->startButton(), Qt::LeftButton);
    auto *signUp = onboarding->findChild<SignUpView *>();
    type(signUp->nameField(), QStringLiteral("Journey"));
    type(signUp->emailField(), email);
    type(signUp->passwordField(), QStringLiteral("first-password"));
    QTest::keyClick(signUp->passwordField()->content(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(view.currentScreen().kind, PopoverScreen::Kind::verifyEmail, 10000);

    // The mailed verification link, handed over as the desktop would: the screen signs in.
    const QString verifyLink = mailedLink(service, email, QStringLiteral("ostrel://auth/verify-email"));
    QVERIFY(!verifyLink.isEmpty());
    state.handleDeepLink(verifyLink);
    QTRY_COMPARE_WITH_TIMEOUT(view.currentScreen().kind, PopoverScreen::Kind::tunnelList, 10000);
    QVERIFY(state.session()->user->isEmailVerified());
    QTRY_VERIFY(!state.pendingVerificationToken());

    // Sign out with the header's two-step control, then ask for a reset.
    auto *logout = view.findChild<QWidget *>(QStringLiteral("logoutButton"));
    QTest::mouseClick(logout, Qt::LeftButton);
    QTest::mouseClick(logout, Qt::LeftButton);
    QTRY_VERIFY(onScreen<LoginView>(view));
    QTest::mouseClick(onScreen<LoginView>(view)->findChild<TintedButton *>("forgotPasswordLink"),
                      Qt::LeftButton);
    QTRY_VERIFY(onScreen<ForgotPasswordView>(view));
    auto *forgot = onScreen<ForgotPasswordView>(view);
    type(forgot->emailField(), email);
    QTest::keyClick(forgot->emailField()->content(), Qt::Key_Return);
    QTRY_VERIFY(forgot->didSend());

    // The reset link: checked, a new password set, then back to sign-in.
    const QString resetLink = mailedLink(service, email, QStringLiteral("ostrel://reset"));
    QVERIFY(!resetLink.isEmpty());
    state.handleDeepLink(resetLink);
    QTRY_VERIFY(onScreen<ResetPasswordView>(view));
    auto *reset = onScreen<ResetPasswordView>(view);
    QTRY_COMPARE(reset->tokenStatus(), ResetPasswordView::TokenStatus::valid);
    type(reset->passwordField(), QStringLiteral("second-password"));
    type(reset->confirmField(), QStringLiteral("second-password"));
    QTest::keyClick(reset->confirmField()->content(), Qt::Key_Return);
    QTRY_VERIFY(reset->didReset());
    QTest::mouseClick(reset->findChild<OutcomePanel *>("success")->button(), Qt::LeftButton);
    QTRY_VERIFY(onScreen<LoginView>(view));

    // The old password is refused above the form; the new one signs in.
    auto *login = onScreen<LoginView>(view);
    type(login->emailField(), email);
    type(login->passwordField(), QStringLiteral("first-password"));
    QTest::keyClick(login->passwordField()->content(), Qt::Key_Return);
    QTRY_VERIFY(login->genericError());
    type(login->passwordField(), QStringLiteral("second-password"));
    QTest::keyClick(login->passwordField()->content(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(view.currentScreen().kind, PopoverScreen::Kind::tunnelList, 10000);

    // Signed out again, a magic link signs in without a password.
    state.signOut();
    QTRY_COMPARE(view.currentScreen().kind, PopoverScreen::Kind::signIn);
    QVERIFY(service.requestMagicLink(email));
    const QString magicLink = mailedLink(service, email, QStringLiteral("ostrel://magic-link"));
    QVERIFY(!magicLink.isEmpty());
    state.handleDeepLink(magicLink);
    QTRY_COMPARE_WITH_TIMEOUT(view.currentScreen().kind, PopoverScreen::Kind::tunnelList, 10000);
    QCOMPARE(state.session()->user->email, email);
}

QTEST_MAIN(TestAuthDevService)
#include "test_auth_devservice.moc"
