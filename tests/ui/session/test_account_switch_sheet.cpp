// The question the popover asks when a sign-in link for another account arrives while one is
// signed in, driven through a real AppState and the popover root, offscreen.

#include "app/PopoverWindow.h"
#include "l10n/LocalizableXCStrings.h"
#include "ui/MenuBarView.h"
#include "ui/app/ShellHarness.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

QString text(const QString &key, const QString &language, const QVariantList &arguments = {})
{
    return arguments.isEmpty() ? LocalizableXCStrings::shared().localized(key, language)
                               : LocalizableXCStrings::shared().format(key, arguments, language);
}

} // namespace

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
        h.server.setHandler([&h](const RecordedRequest &request) {
            if (request.path() != "/auth/magic-link/verify")
                return h.answer(request);
            QJsonObject bea = userJson(h.script);
            bea["id"] = "u2";
            bea["email"] = "bea@example.com";
            const QJsonObject login{
                {"token", "bea-token"}, {"expiresAt", "2027-01-01T00:00:00.000Z"}, {"user", bea}};
            return ScriptedResponse::json(200, QJsonDocument(login).toJson());
        });
        QTRY_VERIFY(h.state->isSignedIn());
        PopoverWindow window(h.clock);
        auto *view = new MenuBarView(*h.state, {});
        window.setContent(view);
        window.show();
        auto *sheet = view->findChild<QWidget *>("accountSwitchSheet");
        QVERIFY(sheet && !sheet->isVisible());

        h.state->handleDeepLink("ostrel://magic-link?token=any");
        QTRY_VERIFY(sheet->isVisible());
        for (const QString language : {"en", "es"}) {
            h.state->applyLanguage(language);
            QTRY_COMPARE(sheet->findChild<QLabel *>("title")->text(),
                         text("app.accountSwitch.title", language));
            QCOMPARE(sheet->findChild<QLabel *>("message")->text(),
                     text("app.accountSwitch.message", language, {"ada@example.com"}));
            QCOMPARE(sheet->findChild<QLabel *>("newAccount")->text(),
                     text("app.accountSwitch.newAccount", language, {"bea@example.com"}));
            QCOMPARE(sheet->findChild<QWidget *>("confirmSwitch")->accessibleName(),
                     text("app.accountSwitch.confirm", language));
            QCOMPARE(sheet->findChild<QWidget *>("cancelSwitch")->accessibleName(),
                     text("common.cancel", language));
            QCOMPARE(sheet->accessibleName(), text("app.accountSwitch.title", language));
            if (switches) {
                QDir().mkpath(OSTREL_SCREENSHOT_DIR);
                QVERIFY(
                    window.grab().save(OSTREL_SCREENSHOT_DIR "/popover-account-switch-" + language + ".png"));
            }
        }
        QCOMPARE(QApplication::focusWidget(), sheet->findChild<QWidget *>("confirmSwitch"));
        // The popover stays open: the key answers the question instead of closing it.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QVERIFY(!sheet->isVisible() && window.isVisible());
        QVERIFY(!h.state->pendingAccountSwitch());
        QTRY_COMPARE(h.state->session()->user->email, switches ? "bea@example.com" : "ada@example.com");
    }
};

QTEST_MAIN(TestAccountSwitchSheet)
#include "test_account_switch_sheet.moc"
