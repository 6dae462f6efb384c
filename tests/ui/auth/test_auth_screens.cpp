// The onboarding and sign-in screens inside the popover root, driven through a real AppState
// against a scripted service, offscreen.

#include "ShellHarness.h"
#include "support/WidgetTest.h"
#include "ui/MenuBarView.h"
#include "ui/auth/AuthFlowView.h"
#include "ui/auth/AuthHeader.h"
#include "ui/auth/ForgotPasswordView.h"
#include "ui/auth/LoginView.h"
#include "ui/auth/OnboardingView.h"
#include "ui/auth/OutcomePanel.h"
#include "ui/auth/PasswordField.h"
#include "ui/auth/ResetPasswordView.h"
#include "ui/auth/SignUpView.h"
#include "ui/auth/StepIndicator.h"
#include "ui/auth/VerifyEmailView.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/TintedButton.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// What is typed into the sign-in or sign-up form, whether it can be sent, and the messages under
// its fields (null: none).
struct Credentials {
    QString email, password;
    bool enabled;
    QString emailMessage, passwordMessage;
};

// A sign-in or sign-up the service refuses (status 0: the connection drops), and where its texts
// land; the refusals with the most text are saved as screenshots.
struct Failure {
    bool signUp;
    int status;
    QByteArray body;
    QString generic, emailMessage{}, passwordMessage{}, screenshot{}, language = "en";
};

// The popover root over a scripted service.
struct Popover {
    explicit Popover(bool onboardingCompleted = true, ServiceScript script = {},
                     const QString &language = "en")
        : h({.onboardingCompleted = onboardingCompleted, .language = language}, std::move(script)),
          view(*h.state, {{}, {}, &h.urlOpener}), routes(h.routes)
    {
        view.show();
    }
    template <typename T> T *screen() const
    {
        if (auto *screen = qobject_cast<T *>(view.screenWidget()))
            return screen;
        return view.screenWidget() ? view.screenWidget()->findChild<T *>() : nullptr;
    }
    int requestsTo(const QByteArray &path) const { return int(h.sent(path).size()); }
    ShellHarness h;
    MenuBarView view;
    QHash<QByteArray, ScriptedResponse> &routes;
};

// The popover's screenshots are named auth-<name>.
void saveScreenshot(MenuBarView &view, const QString &name)
{
    view.adjustSize();
    ostrel::test::saveScreenshot(view, QStringLiteral("auth-") + name);
}

// The same in both languages, the popover as it stands; it ends in English.
void saveScreenshots(Popover &p, const QString &name)
{
    for (const QString language : {"es", "en"}) {
        p.h.state->applyLanguage(language);
        saveScreenshot(p.view, name + "-" + language);
    }
}

} // namespace

Q_DECLARE_METATYPE(Credentials)
Q_DECLARE_METATYPE(Failure)

class TestAuthScreens : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { LocalizableXCStrings::shared().setPreferredLanguage(QStringLiteral("en")); }

    void credentialEnableRulesAndLocalMessages_data()
    {
        QTest::addColumn<Credentials>("c");
        const QString none, tooShort = LocalizableXCStrings::shared().format("auth.password.tooShort", {8});
        QTest::newRow("both empty") << Credentials{"", "", false, none, none};
        QTest::newRow("empty password says nothing") << Credentials{"ada@example.com", "", false, none, none};
        QTest::newRow("seven characters") << Credentials{"ada@example.com", "1234567", false, none, tooShort};
        QTest::newRow("eight characters") << Credentials{"ada@example.com", "12345678", true, none, none};
        QTest::newRow("no dot after the @")
            << Credentials{"ada@example", "12345678", false, text("auth.email.invalid"), none};
    }
    void credentialEnableRulesAndLocalMessages()
    {
        QFETCH(Credentials, c);
        const auto &[email, password, enabled, emailMessage, passwordMessage] = c;
        // Sign-up's form is the same; its optional name never blocks it.
        Popover p;
        p.h.state->setAuthFlow(AuthFlow::signup());
        auto *form = p.screen<CredentialForm>();
        QVERIFY(form);
        type(form->emailField(), email);
        type(form->passwordField(), password);
        QCOMPARE(form->submitButton()->isEnabled(), enabled);
        QCOMPARE(form->emailField()->supportText().value_or(QString()), emailMessage);
        QCOMPARE(form->passwordField()->supportText().value_or(QString()), passwordMessage);
        QCOMPARE(form->emailField()->isErrored(), !emailMessage.isEmpty());
    }

    void credentialFailuresLandWhereTheyBelong_data()
    {
        QTest::addColumn<Failure>("f");
        const auto row = [](const char *name, const Failure &f) { QTest::newRow(name) << f; };
        const QString none;
        const QByteArray unauthorized = errorBody(401, "UNAUTHORIZED", R"("Bad credentials")");
        const QByteArray taken = errorBody(409, "CONFLICT", R"("Email taken")");
        row("unauthorized",
            {false, 401, unauthorized, text("error.auth.invalid"), none, none, "sign-in-unauthorized"});
        row("unauthorized, in Spanish", {false, 401, unauthorized, text("error.auth.invalid", "es"), none,
                                         none, "sign-in-unauthorized", "es"});
        row("validation of the address",
            {false, 400, errorBody(400, "VALIDATION_ERROR", R"(["email must be an email"])"), none,
             text("error.validation.email")});
        row("validation of nothing shown",
            {false, 400, errorBody(400, "VALIDATION_ERROR", R"(["something odd"])"), "something odd"});
        row("transport", {false, 0, {}, text("error.network")});
        row("address in use",
            {true, 409, taken, none, text("auth.email.conflict"), none, "sign-up-conflict"});
        row("address in use, in Spanish",
            {true, 409, taken, none, text("auth.email.conflict", "es"), none, "sign-up-conflict", "es"});
        row("sign-up password rule",
            {true, 400,
             errorBody(400, "VALIDATION_ERROR",
                       R"(["password must be longer than or equal to 8 characters"])"),
             none, none, text("error.validation.password.length")});
    }
    void credentialFailuresLandWhereTheyBelong()
    {
        QFETCH(Failure, f);
        const auto &[signUp, status, body, generic, emailMessage, passwordMessage, screenshot, language] = f;
        Popover p(true, {}, language);
        const QByteArray path = signUp ? "/auth/signup" : "/auth/login";
        p.routes.insert(path,
                        status ? ScriptedResponse::json(status, body) : ScriptedResponse::dropConnection());
        p.h.state->setAuthFlow(signUp ? AuthFlow::signup() : AuthFlow::login());
        auto *form = p.screen<CredentialForm>();
        type(form->emailField(), QStringLiteral("  ada@example.com "));
        type(form->passwordField(), QStringLiteral("correct horse"));
        QTest::keyClick(form->passwordField()->content(), Qt::Key_Return);
        QVERIFY(form->isLoading() && form->submitButton()->isLoading());
        // A second submit while the first runs sends nothing.
        QTest::keyClick(form->passwordField()->content(), Qt::Key_Return);
        form->submit();
        QTRY_VERIFY(!form->isLoading());
        // One request each (a dropped connection is sent once more by Qt's network stack itself).
        QCOMPARE(p.requestsTo(path), status == 0 ? 2 : 1);
        const QJsonObject sent = QJsonDocument::fromJson(p.h.server.requests().last().body).object();
        QCOMPARE(sent.value("email").toString(), QStringLiteral("ada@example.com"));
        QVERIFY(!form->submitButton()->isLoading());
        QCOMPARE(form->genericError().value_or(QString()), generic);
        QCOMPARE(form->genericBanner()->isVisible(), !generic.isEmpty());
        QCOMPARE(form->emailField()->supportText().value_or(QString()), emailMessage);
        QCOMPARE(form->passwordField()->supportText().value_or(QString()), passwordMessage);
        auto *hint = form->findChild<QWidget *>(QStringLiteral("conflictHint"));
        QCOMPARE(hint && hint->isVisible(), emailMessage == text("auth.email.conflict", language));
        if (!screenshot.isEmpty())
            saveScreenshot(p.view, screenshot + "-" + language);
        if (hint && hint->isVisible()) {
            // The service's message goes with an edit of its field; the hint's button signs in.
            QTest::keyClick(form->emailField()->content(), Qt::Key_Backspace);
            QVERIFY(!form->emailField()->supportText() && !hint->isVisible());
            form->submit();
            QTRY_VERIFY(hint->isVisible());
            QTest::mouseClick(form->findChild<TintedButton *>(QStringLiteral("conflictSignIn")),
                              Qt::LeftButton);
            QCOMPARE(p.h.state->authFlow(), AuthFlow::login());
        }
    }

    void screensLinkToEachOther()
    {
        Popover p;
        QCOMPARE(p.view.screenWidget()->objectName(), QStringLiteral("screen.signIn"));
        // Escape on sign-in leaves it to the popover; the other forms lead back to sign-in.
        QTest::mouseClick(p.screen<LoginView>()->findChild<TintedButton *>("signUpLink"), Qt::LeftButton);
        QTRY_COMPARE(p.view.screenWidget()->objectName(), QStringLiteral("screen.signUp"));
        QCOMPARE(p.screen<AuthHeader>()->titleText(), text("auth.signUp.title"));
        QTest::keyClick(p.screen<SignUpView>()->nameField()->content(), Qt::Key_Escape);
        QTRY_COMPARE(p.h.state->authFlow(), AuthFlow::login());
        QTest::mouseClick(p.screen<LoginView>()->findChild<TintedButton *>("forgotPasswordLink"),
                          Qt::LeftButton);
        QTRY_VERIFY(p.screen<ForgotPasswordView>());
        QTest::keyClick(p.screen<ForgotPasswordView>()->emailField()->content(), Qt::Key_Escape);
        QTRY_VERIFY(p.screen<LoginView>());
    }

    void revealKeepsTextAndCursor()
    {
        Popover p;
        auto *password = p.screen<LoginView>()->passwordField();
        type(password, QStringLiteral("secret-words"));
        password->content()->setCursorPosition(3);
        QCOMPARE(password->content()->echoMode(), QLineEdit::Password);
        QCOMPARE(password->revealToggle()->accessibleName(), text("auth.password.show"));
        QTest::mouseClick(password->revealToggle(), Qt::LeftButton);
        QCOMPARE(password->content()->echoMode(), QLineEdit::Normal);
        QCOMPARE(password->text(), QStringLiteral("secret-words"));
        QCOMPARE(password->content()->cursorPosition(), 3);
        QCOMPARE(password->revealToggle()->accessibleName(), text("auth.password.hide"));
        QTest::mouseClick(password->revealToggle(), Qt::LeftButton);
        QCOMPARE(password->content()->echoMode(), QLineEdit::Password);
        QCOMPARE(password->content()->cursorPosition(), 3);
    }

    void forgotPasswordValidatesAndShowsItsFailure()
    {
        Popover p;
        p.routes.insert("/auth/forgot-password", refused(500, "INTERNAL", R"("down")"));
        p.h.state->setAuthFlow(AuthFlow::forgotPassword());
        auto *forgot = p.screen<ForgotPasswordView>();
        saveScreenshots(p, "forgot-password");
        QVERIFY(!forgot->submitButton()->isEnabled());
        type(forgot->emailField(), QStringLiteral("ada@"));
        QVERIFY(!forgot->submitButton()->isEnabled());
        QVERIFY(!forgot->emailField()->supportText());
        // Return tries anyway: the message shows and nothing is sent.
        QTest::keyClick(forgot->emailField()->content(), Qt::Key_Return);
        QCOMPARE(forgot->emailField()->supportText().value_or(QString()), text("auth.email.invalid"));
        QCOMPARE(p.requestsTo("/auth/forgot-password"), 0);
        type(forgot->emailField(), QStringLiteral("ada@example.com"));
        QVERIFY(forgot->submitButton()->isEnabled() && !forgot->emailField()->supportText());
        // A failure goes to the banner, shown on this screen; the form stays.
        QTest::mouseClick(forgot->submitButton(), Qt::LeftButton);
        QTRY_VERIFY(forgot->banner()->isVisible());
        QCOMPARE(forgot->banner()->message(), text("error.server"));
        QVERIFY(!forgot->isLoading() && !forgot->didSend());
        saveScreenshot(p.view, QStringLiteral("forgot-password-error-en"));
        // (A sent request and its outcome panel: the auth journey.)
    }

    // The link's token decides between the form and the invalid-link state; the form's own rules
    // and the service's refusals follow.
    void resetTokenAndSubmit_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("valid");
        QTest::newRow("valid") << 200 << QByteArray(R"({"valid":true})") << true;
        QTest::newRow("not valid") << 200 << QByteArray(R"({"valid":false})") << false;
        QTest::newRow("refused") << 400 << errorBody(400, "VALIDATION_ERROR", R"("bad token")") << false;
    }
    void resetTokenAndSubmit()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, valid);
        Popover p;
        p.routes.insert("/auth/reset-password/verify", ScriptedResponse::held());
        p.h.state->handleDeepLink(QStringLiteral("ostrel://reset?token=tok-1"));
        QTRY_VERIFY(p.screen<ResetPasswordView>());
        auto *reset = p.screen<ResetPasswordView>();
        // The reset form brings its own heading.
        QVERIFY(!p.screen<AuthHeader>()->isVisible());
        QCOMPARE(reset->tokenStatus(), ResetPasswordView::TokenStatus::pending);
        QTRY_COMPARE(p.h.server.heldCount(), 1);
        QVERIFY(p.h.server.requests().last().query().contains("token=tok-1"));
        p.h.server.answerHeld(status ? ScriptedResponse::json(status, body)
                                     : ScriptedResponse::dropConnection());
        const auto expected =
            valid ? ResetPasswordView::TokenStatus::valid : ResetPasswordView::TokenStatus::invalid;
        QTRY_COMPARE(reset->tokenStatus(), expected);
        QCOMPARE(reset->findChild<QWidget *>("form")->isVisible(), valid);
        if (!valid) {
            auto *invalid = reset->findChild<OutcomePanel *>("invalid");
            QVERIFY(invalid->isVisible());
            saveScreenshot(p.view, QStringLiteral("reset-password-invalid-en"));
            QTest::mouseClick(invalid->button(), Qt::LeftButton);
            QCOMPARE(p.h.state->authFlow(), AuthFlow::forgotPassword());
            return;
        }
        // Different entries: the mismatch under the second field, nothing sent.
        type(reset->passwordField(), QStringLiteral("new-password"));
        type(reset->confirmField(), QStringLiteral("new-passw0rd"));
        QTest::keyClick(reset->confirmField()->content(), Qt::Key_Return);
        QCOMPARE(reset->confirmField()->supportText().value_or(QString()),
                 text("auth.resetPassword.mismatch"));
        QVERIFY(!reset->passwordField()->supportText());
        QCOMPARE(p.requestsTo("/auth/reset-password"), 0);
        saveScreenshot(p.view, QStringLiteral("reset-password-mismatch-en"));
        type(reset->confirmField(), QStringLiteral("new-password"));
        QVERIFY(!reset->confirmField()->supportText());
        // A validation refusal of a locally fine password reads as the generic password text.
        p.routes.insert("/auth/reset-password", refused(400, "VALIDATION_ERROR", R"(["weak"])"));
        reset->submit();
        QTRY_VERIFY(reset->passwordField()->supportText());
        QCOMPARE(*reset->passwordField()->supportText(), text("auth.password.invalid"));
        QVERIFY(!reset->isLoading());
        // An expired link while submitting: the invalid-link state replaces the form.
        p.routes.insert("/auth/reset-password", refused(401, "UNAUTHORIZED", R"("expired")"));
        reset->submit();
        QTRY_COMPARE(reset->tokenStatus(), ResetPasswordView::TokenStatus::invalid);
        QVERIFY(!reset->isLoading());
        QCOMPARE(p.requestsTo("/auth/reset-password/verify"), 1);
    }

    void verifyEmailResendAndPendingToken()
    {
        ServiceScript script;
        script.emailVerified = false;
        Popover p(true, script);
        p.h.state->handleDeepLink(QStringLiteral("ostrel://magic-link?token=good"));
        QTRY_COMPARE(p.view.currentScreen().kind, PopoverScreen::Kind::verifyEmail);
        auto *verify = p.screen<VerifyEmailView>();
        QVERIFY(verify);
        saveScreenshots(p, "verify-email");
        QVERIFY(verify->subtitleText().contains(QStringLiteral("ada@example.com")));
        QTest::mouseClick(verify->openMailButton(), Qt::LeftButton);
        QCOMPARE(p.h.urlOpener.opened, QList<QUrl>{QUrl(QStringLiteral("mailto:support@tunnels.test"))});
        // No network: the network text, and the button is usable again.
        p.routes.insert("/auth/verify-email/resend", ScriptedResponse::dropConnection());
        QTest::mouseClick(verify->resendButton(), Qt::LeftButton);
        QVERIFY(verify->isResending() && !verify->resendButton()->isEnabled());
        verify->resend();
        QTRY_VERIFY(!verify->isResending());
        QCOMPARE(verify->resendError().value_or(QString()), text("error.network"));
        QVERIFY(verify->resendButton()->isEnabled() && !verify->didResend());
        saveScreenshot(p.view, QStringLiteral("verify-email-resend-error-en"));
        p.routes.insert("/auth/verify-email/resend", ScriptedResponse::noContent());
        QTest::mouseClick(verify->resendButton(), Qt::LeftButton);
        QTRY_VERIFY(verify->didResend());
        QVERIFY(!verify->resendError() && verify->findChild<QWidget *>("resent")->isVisible());
        QCOMPARE(p.requestsTo("/auth/verify-email/resend"), 3); // the dropped one went twice
        // A verification link that fails: its error shows here and the token is used up.
        p.routes.insert("/auth/verify-email", refused(401, "UNAUTHORIZED", R"("expired")"));
        p.h.state->handleDeepLink(QStringLiteral("ostrel://auth/verify-email?token=v1"));
        QVERIFY(verify->isVerifying());
        QTRY_VERIFY(!verify->isVerifying());
        QCOMPARE(verify->resendError().value_or(QString()), text("error.auth.invalid"));
    }

    void onboardingStepsSkipAndStart()
    {
        Popover p(false);
        auto *onboarding = qobject_cast<OnboardingView *>(p.view.screenWidget());
        QVERIFY(onboarding);
        // First launch: onboarding only, without the popover's header and footer.
        QVERIFY(!shown(p.view, "header") && !shown(p.view, "footer"));
        saveScreenshots(p, "onboarding");
        auto *steps = onboarding->findChild<QWidget *>("welcomeStep")->findChild<StepIndicator *>();
        QCOMPARE(steps->captionText(), QStringLiteral("Step 1 of 2"));
        QTest::mouseClick(onboarding->startButton(), Qt::LeftButton);
        QCOMPARE(onboarding->step(), OnboardingView::Step::auth);
        QCOMPARE(p.h.state->authFlow(), AuthFlow::signup());
        QVERIFY(onboarding->authArea()->findChild<SignUpView *>());
        // Tab follows the fields as they stand on screen, name first.
        auto *signUp = onboarding->authArea()->findChild<SignUpView *>();
        QApplication::setActiveWindow(&p.view);
        signUp->nameField()->content()->setFocus();
        QTest::keyClick(signUp->nameField()->content(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), signUp->emailField()->content());
        QTest::keyClick(signUp->emailField()->content(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), signUp->passwordField()->content());
        // A link inside the auth step swaps the form in place; Escape steps back to welcome.
        p.h.state->setAuthFlow(AuthFlow::login());
        QTRY_VERIFY(onboarding->authArea()->findChild<LoginView *>());
        QCOMPARE(onboarding->authArea()->header()->titleText(), text("auth.signIn.title"));
        QTest::keyClick(onboarding->authArea()->findChild<LoginView *>()->emailField()->content(),
                        Qt::Key_Escape);
        QCOMPARE(onboarding->step(), OnboardingView::Step::welcome);
        QVERIFY(!p.h.state->onboardingCompleted());
        QTest::mouseClick(onboarding->skipButton(), Qt::LeftButton);
        QVERIFY(p.h.state->onboardingCompleted());
        QCOMPARE(p.h.preferences.raw(QStringLiteral("ostrel.onboarding.completed")), QJsonValue(true));
        QTRY_COMPARE(p.view.currentScreen().kind, PopoverScreen::Kind::signIn);
        // The new screen eases in, then paints without the effect; the header and footer come,
        // without the account's controls.
        QVERIFY(p.view.isTransitioning());
        QTRY_VERIFY(!p.view.isTransitioning());
        QVERIFY(shown(p.view, "header") && shown(p.view, "footer"));
        QVERIFY(!shown(p.view, "planBadge") && !shown(p.view, "settingsButton") &&
                !shown(p.view, "logoutButton"));
        QCOMPARE(labelText(p.view, "identityDetail"), text("onboarding.tagline"));
    }

    // The reset form's local refusals in both languages (they are worded when made), and the
    // sign-in form's names following the language.
    void resetRefusalsInBothLanguages()
    {
        for (const QString &language : {QStringLiteral("en"), QStringLiteral("es")}) {
            Popover p;
            p.h.state->applyLanguage(language);
            QTRY_COMPARE(p.screen<LoginView>()->emailField()->content()->accessibleName(),
                         text("auth.email", language));
            p.routes.insert("/auth/reset-password/verify", ScriptedResponse::json(200, R"({"valid":true})"));
            p.h.state->handleDeepLink(QStringLiteral("ostrel://reset?token=b"));
            QTRY_VERIFY(p.screen<ResetPasswordView>() && p.screen<ResetPasswordView>()->tokenStatus() ==
                                                             ResetPasswordView::TokenStatus::valid);
            type(p.screen<ResetPasswordView>()->passwordField(), QStringLiteral("short"));
            p.screen<ResetPasswordView>()->submit();
            saveScreenshot(p.view, "reset-password-errors-" + language);
        }
    }
};

QTEST_MAIN(TestAuthScreens)
#include "test_auth_screens.moc"
