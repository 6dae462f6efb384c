// The question the popover asks when a sign-in link for another account arrives while one is
// signed in, driven through a real AppState and the popover root, offscreen.

#include "ui/app/PopoverHarness.h"
#include "ui/app/ShellHarness.h"

#include <QApplication>

using namespace ostrel;
using namespace ostrel::test;

class TestAccountSwitchSheet : public QObject {
    Q_OBJECT
private slots:
    void namesTheAccountAndAnswersFromTheKeyboard_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("switches");
        QTest::newRow("Escape keeps the account") << int(Qt::Key_Escape) << false;
        QTest::newRow("Return switches") << int(Qt::Key_Return) << true;
    }
    void namesTheAccountAndAnswersFromTheKeyboard()
    {
        QFETCH(int, key);
        QFETCH(bool, switches);
        ShellHarness h({.storedToken = true, .onboardingCompleted = true});
        QJsonObject bea = userJson(h.script);
        bea["id"] = "u2";
        bea["email"] = "bea@example.com";
        const QJsonObject login{
            {"token", "bea-token"}, {"expiresAt", "2027-01-01T00:00:00.000Z"}, {"user", bea}};
        h.routes.insert("/auth/magic-link/verify",
                        ScriptedResponse::json(200, QJsonDocument(login).toJson()));
        QTRY_VERIFY(h.state->isSignedIn());
        Popover popover(*h.state);
        auto *sheet = popover.view->findChild<QWidget *>("accountSwitchSheet");
        QVERIFY(sheet && !sheet->isVisible());

        h.state->handleDeepLink("ostrel://magic-link?token=any");
        QTRY_VERIFY(sheet->isVisible());
        const auto format = [](const char *key, const QString &language, const char *email) {
            return LocalizableXCStrings::shared().format(key, {email}, language);
        };
        for (const QString language : {"en", "es"}) {
            h.state->applyLanguage(language);
            QTRY_COMPARE(labelText(*sheet, "title"), text("app.accountSwitch.title", language));
            QCOMPARE(labelText(*sheet, "message"),
                     format("app.accountSwitch.message", language, "ada@example.com"));
            QCOMPARE(labelText(*sheet, "newAccount"),
                     format("app.accountSwitch.newAccount", language, "bea@example.com"));
            QCOMPARE(child(*sheet, "confirmSwitch")->accessibleName(),
                     text("app.accountSwitch.confirm", language));
            QCOMPARE(child(*sheet, "cancelSwitch")->accessibleName(), text("common.cancel", language));
            QCOMPARE(sheet->accessibleName(), text("app.accountSwitch.title", language));
            if (switches)
                saveScreenshot(popover.window, "popover-account-switch-" + language);
        }
        QCOMPARE(QApplication::focusWidget(), child(*sheet, "confirmSwitch"));
        // The popover stays open: the key answers the question instead of closing it.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QVERIFY(!sheet->isVisible() && popover.window.isVisible());
        QVERIFY(!h.state->pendingAccountSwitch());
        QTRY_COMPARE(h.state->session()->user->email, switches ? "bea@example.com" : "ada@example.com");
    }
};

QTEST_MAIN(TestAccountSwitchSheet)
#include "test_account_switch_sheet.moc"
