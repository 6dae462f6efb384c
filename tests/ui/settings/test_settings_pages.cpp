// The settings window's pages driven offscreen through a real AppState: fakes for the operating
// system, a scripted service whose answers each case chooses. (The service's own rules are its
// contract test's.)

#include "app/SettingsWindow.h"
#include "support/LogCapture.h"
#include "support/WidgetTest.h"
#include "ui/MenuBarView.h"
#include "ui/SettingsRoot.h"
#include "ui/app/ShellHarness.h"
#include "ui/controls/ErrorBanner.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/controls/SymbolButton.h"
#include "ui/controls/TintedButton.h"
#include "ui/settings/AboutSection.h"
#include "ui/settings/AccountSection.h"
#include "ui/settings/DangerZoneSection.h"
#include "ui/settings/DeleteAccountSheet.h"
#include "ui/settings/PasswordChangeView.h"
#include "ui/settings/PreferencesSection.h"
#include "ui/settings/ScheduledDeletionView.h"
#include "ui/settings/SegmentedPicker.h"
#include "ui/settings/SettingsRowButton.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/SubscriptionSection.h"
#include "ui/settings/SwitchRow.h"
#include "ui/settings/ToggleSwitch.h"
#include <QCheckBox>
#include <QPushButton>
#include <QToolButton>

#include <QLineEdit>

using namespace ostrel;
using namespace ostrel::test;
using Section = SettingsView::Section;

Q_DECLARE_METATYPE(ostrel::NotificationAuthorization)

namespace {

const QByteArray refusal = errorBody(400, "VALIDATION_ERROR", R"(["name is too long"])");
const QByteArray wrongPassword = errorBody(401, "UNAUTHORIZED", R"("Password is incorrect")");
const QString scheduledAt = QStringLiteral("2027-01-05T10:00:00.000Z");
const QByteArray serverFault = errorBody(500, "INTERNAL_ERROR", R"("Could not schedule")");

QString userMessage(int status, const QByteArray &body, const QString &language = QStringLiteral("en"))
{
    return ApiError::from(status, body).userMessage(language);
}

// What a person reads in the windows: label texts and the names of the buttons.
QStringList readable(const QList<QWidget *> &windows)
{
    QStringList texts;
    for (QWidget *window : windows) {
        for (const QLabel *label : window->findChildren<QLabel *>())
            if (label->isVisibleTo(window) && !label->text().isEmpty())
                texts << label->text();
        for (const QAbstractButton *button : window->findChildren<QAbstractButton *>())
            if (button->isVisibleTo(window) && !button->accessibleName().isEmpty())
                texts << button->accessibleName();
    }
    return texts;
}

// The catalogue texts of `from` in `before` that `to` words differently and that are still in
// `after`; `translated` counts the texts there were to check.
QStringList textsLeftBehind(const QStringList &before, const QStringList &after, const QString &from,
                            const QString &to, int &translated)
{
    const auto &tables = LocalizableXCStrings::shared().byLanguage();
    QHash<QString, QString> keyOf;
    for (auto it = tables[from].begin(); it != tables[from].end(); ++it)
        keyOf.insert(it.value(), it.key());
    QStringList left;
    for (const QString &text : before) {
        const QString key = keyOf.value(text);
        if (key.isEmpty() || tables[to].value(key, text) == text)
            continue;
        ++translated;
        if (after.contains(text))
            left << text;
    }
    return left;
}

// A name typed and saved: the service's answer (no body: it takes the name), what was sent,
// the message shown (empty: saved).
struct NameCase {
    QString typed;
    int status = 0;
    QByteArray body, sentBody;
    QString error{};
};

// Passwords typed: the local rule's message under the new one; the service's answer (status 0: the
// rules let nothing be sent) and the messages under each field.
struct PasswordCase {
    QString current, fresh, ruleError{};
    int status = 0;
    QByteArray body{};
    QString currentError{}, newError{};
};

struct DeletionCase {
    QString password, email;
    bool acknowledged, mismatch, enabled;
};

// A signed-in account on a scripted service, with the settings window open.
class Fixture {
public:
    explicit Fixture(ShellHarness::Options options = {}, ServiceScript script = {})
        : h((options.storedToken = options.onboardingCompleted = true, options), std::move(script))
    {
        h.server.setHandler([this](const RecordedRequest &request) { return answer(request); });
        window = std::make_unique<SettingsWindow>(*h.state);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        // The profile too: arriving late, it would send a language update of its own.
        QTRY_VERIFY(h.state->session() && h.state->session()->user);
        QTRY_VERIFY(view());
    }

    // The answer to "METHOD /path" from now on; a held one waits for h.server.answerHeld().
    void script(const QByteArray &route, const ScriptedResponse &response) { h.routes[route] = response; }
    QList<RecordedRequest> sent(const QByteArray &route) const { return h.sent(route); }

    SettingsView *view() const { return window->root()->settingsView(); }
    template <typename Page> Page *open(Section section)
    {
        view()->select(section);
        return qobject_cast<Page *>(view()->page());
    }

    ScriptedResponse answer(const RecordedRequest &request)
    {
        const QByteArray route = request.method + ' ' + request.path();
        if (const auto it = h.routes.constFind(route); it != h.routes.cend())
            return *it;
        if (route == "PATCH /users/me") {
            const QJsonObject body = QJsonDocument::fromJson(request.body).object();
            if (body.contains("name"))
                h.script.name = body.value("name").toString();
            return ScriptedResponse::json(200, QJsonDocument(userJson(h.script)).toJson());
        }
        if (route == "POST /users/me/deletion/request") {
            h.script.scheduledDeletionAt = scheduledAt;
            return ScriptedResponse::json(200,
                                          QJsonDocument(QJsonObject{{"scheduledAt", scheduledAt}}).toJson());
        }
        if (route == "POST /users/me/deletion/cancel") {
            h.script.scheduledDeletionAt.clear();
            return ScriptedResponse::noContent();
        }
        return h.answer(request);
    }

    ShellHarness h;
    std::unique_ptr<SettingsWindow> window;
};

} // namespace

Q_DECLARE_METATYPE(NameCase)
Q_DECLARE_METATYPE(PasswordCase)
Q_DECLARE_METATYPE(DeletionCase)

class TestSettingsPages : public QObject {
    Q_OBJECT
private slots:
    void nameSave_data()
    {
        QTest::addColumn<NameCase>("c");
        QTest::newRow("saved") << NameCase{"Ada Lovelace", 200, {}, R"({"name":"Ada Lovelace"})"};
        QTest::newRow("cleared name sends none") << NameCase{"   ", 200, {}, "{}"};
        QTest::newRow("refused") << NameCase{"Ada L", 400, refusal, R"({"name":"Ada L"})",
                                             userMessage(400, refusal)};
    }
    void nameSave()
    {
        QFETCH(NameCase, c);
        const auto &[typed, status, body, sentBody, error] = c;
        Fixture f;
        auto *page = f.open<AccountSection>(Section::cuenta);
        QCOMPARE(page->nameField()->text(), QStringLiteral("Ada"));
        // Nothing to save until the trimmed name differs.
        type(page->nameField(), QStringLiteral(" Ada "));
        QVERIFY(!page->saveButton()->isEnabled());
        type(page->nameField(), typed);
        QVERIFY(page->saveButton()->isEnabled());

        f.script("PATCH /users/me", ScriptedResponse::held());
        QTest::keyClick(page->nameField()->content(), Qt::Key_Return);
        QTRY_COMPARE(f.h.server.heldCount(), 1);
        QVERIFY(page->saveButton()->isLoading() && !page->saveButton()->isEnabled());
        QTest::mouseClick(page->saveButton(), Qt::LeftButton);
        QTest::keyClick(page->nameField()->content(), Qt::Key_Return);
        f.h.routes.clear();
        f.h.server.answerHeld(body.isEmpty() ? f.answer(f.sent("PATCH /users/me").first())
                                             : ScriptedResponse::json(status, body));
        QTRY_VERIFY(!page->isSaving());
        QCOMPARE(f.sent("PATCH /users/me").size(), 1);
        QCOMPARE(QJsonDocument::fromJson(f.sent("PATCH /users/me").first().body),
                 QJsonDocument::fromJson(sentBody));
        QCOMPARE(page->nameField()->supportText().value_or(QString()), error);
        QCOMPARE(child(*page, "nameSaved")->isVisible(), error.isEmpty());
        if (error.isEmpty()) {
            f.h.clock.advance(std::chrono::seconds(AccountSection::confirmationSeconds));
            QVERIFY(!child(*page, "nameSaved")->isVisible());
        } else {
            // Editing clears the message.
            QTest::keyClicks(page->nameField()->content(), "x");
            QVERIFY(!page->nameField()->supportText());
        }
    }

    void passwordChange_data()
    {
        QTest::addColumn<PasswordCase>("c");
        const auto row = [](const char *name, const PasswordCase &c) { QTest::newRow(name) << c; };
        row("same as current up to spaces",
            {"password1", " password1 ", text("settings.account.passwordError.sameAsCurrent")});
        row("no current password yet", {"", "newpassword1"});
        row("changed", {"oldpassword", "newpassword1", {}, 204});
        row("wrong current password",
            {"oldpassword", "newpassword1", {}, 401, wrongPassword, text("auth.password.invalid")});
        row("refused", {"oldpassword", "newpassword1", {}, 400, refusal, {}, userMessage(400, refusal)});
    }
    void passwordChange()
    {
        QFETCH(PasswordCase, c);
        const auto &[current, fresh, ruleError, status, body, currentError, newError] = c;
        Fixture f;
        PasswordChangeView *card = f.open<AccountSection>(Section::cuenta)->passwordCard();
        // The new one first: editing the current password runs the check again.
        type(card->newField(), fresh);
        type(card->currentField(), current);
        QCOMPARE(card->newField()->supportText().value_or(QString()), ruleError);
        QCOMPARE(card->newField()->isErrored(), !ruleError.isEmpty());
        QCOMPARE(card->newField()->hintText().has_value(), ruleError.isEmpty());
        QCOMPARE(card->changeButton()->isEnabled(), status != 0);
        // The reveal switch shows both as plain text.
        QTest::mouseClick(card->revealBox(), Qt::LeftButton, {}, QPoint(4, card->revealBox()->height() / 2));
        QCOMPARE(card->currentField()->content()->echoMode(), QLineEdit::Normal);
        QCOMPARE(card->newField()->content()->echoMode(), QLineEdit::Normal);
        if (status == 0)
            return;

        f.script("POST /auth/change-password", ScriptedResponse::held());
        QTest::keyClick(card->newField()->content(), Qt::Key_Return);
        QTRY_COMPARE(f.h.server.heldCount(), 1);
        QVERIFY(card->changeButton()->isLoading() && !card->changeButton()->isEnabled());
        QTest::keyClick(card->newField()->content(), Qt::Key_Return);
        f.h.server.answerHeld(ScriptedResponse::json(status, body));
        QTRY_VERIFY(!card->isSaving());
        QCOMPARE(f.sent("POST /auth/change-password").size(), 1);
        QCOMPARE(QJsonDocument::fromJson(f.sent("POST /auth/change-password").first().body).object(),
                 QJsonObject({{"currentPassword", "oldpassword"}, {"newPassword", "newpassword1"}}));
        QCOMPARE(card->currentField()->supportText().value_or(QString()), currentError);
        QCOMPARE(card->newField()->supportText().value_or(QString()), newError);
        const bool changed = currentError.isEmpty() && newError.isEmpty();
        // A failure leaves both fields as typed; success empties them and says so for 4 seconds.
        QCOMPARE(card->currentField()->text().isEmpty(), changed);
        QCOMPARE(card->newField()->text().isEmpty(), changed);
        QCOMPARE(child(*card, "passwordChanged")->isVisible(), changed);
        f.h.clock.advance(std::chrono::seconds(PasswordChangeView::confirmationSeconds));
        QVERIFY(!child(*card, "passwordChanged")->isVisible());
    }

    // The sheet's rules and keyboard; what they allow goes through a refused password, another
    // refusal and the scheduling, then its cancellation from the account page.
    void deletion_data()
    {
        QTest::addColumn<DeletionCase>("c");
        QTest::newRow("all given, case and spaces differ")
            << DeletionCase{"password123", "  ADA@example.com ", true, false, true};
        QTest::newRow("not acknowledged")
            << DeletionCase{"password123", "ada@example.com", false, false, false};
        QTest::newRow("other address") << DeletionCase{"password123", "eve@example.com", true, true, false};
        QTest::newRow("no address typed") << DeletionCase{"password123", " ", true, false, false};
    }
    void deletion()
    {
        QFETCH(DeletionCase, c);
        const auto &[password, email, acknowledged, mismatch, enabled] = c;
        ServiceScript script;
        script.email = QStringLiteral("Ada@Example.com");
        Fixture f({}, script);
        QVERIFY(!f.open<AccountSection>(Section::cuenta)->deletionNotice()->isVisible());
        QTest::mouseClick(f.open<DangerZoneSection>(Section::zona)->deleteButton(), Qt::LeftButton);
        DeleteAccountSheet *sheet = f.view()->deleteSheet();
        QVERIFY(sheet && f.view()->deleteSheetOverlay()->isVisible());
        QVERIFY(!sheet->submitButton()->isEnabled());
        // The keyboard starts in the password and Tab follows the form.
        QTRY_VERIFY(sheet->passwordField()->content()->hasFocus());
        QTest::keyClicks(sheet->passwordField()->content(), password);
        QTest::keyClick(sheet->passwordField()->content(), Qt::Key_Tab);
        QVERIFY(sheet->emailField()->content()->hasFocus());
        QTest::keyClicks(sheet->emailField()->content(), email);
        QTest::keyClick(sheet->emailField()->content(), Qt::Key_Tab);
        QVERIFY(sheet->acknowledgement()->hasFocus());
        if (acknowledged)
            QTest::keyClick(sheet->acknowledgement(), Qt::Key_Space);
        QCOMPARE(sheet->submitButton()->isEnabled(), enabled);
        QCOMPARE(sheet->emailField()->supportText().has_value(), mismatch);
        if (!enabled) {
            // Return submits only what the button would; Escape closes the sheet, and the next
            // one starts empty.
            QTest::keyClick(sheet->emailField()->content(), Qt::Key_Return);
            QVERIFY(!sheet->isLoading() && f.sent("POST /users/me/deletion/request").isEmpty());
            QTest::keyClick(sheet->passwordField()->content(), Qt::Key_Escape);
            QVERIFY(!f.view()->deleteSheet());
            f.view()->showDeleteSheet();
            QVERIFY(f.view()->deleteSheet()->passwordField()->text().isEmpty());
            return;
        }

        // Busy while the request runs; a refused password lands under its field.
        f.script("POST /users/me/deletion/request", ScriptedResponse::held());
        QTest::keyClick(sheet->emailField()->content(), Qt::Key_Return);
        QTRY_COMPARE(f.h.server.heldCount(), 1);
        QCOMPARE(sheet->submitButton()->text(), text("settings.delete.programming"));
        QVERIFY(!sheet->submitButton()->isEnabled());
        f.h.server.answerHeld(ScriptedResponse::json(401, wrongPassword));
        QTRY_VERIFY(!sheet->isLoading());
        QCOMPARE(sheet->passwordField()->supportText(), text("auth.password.invalid"));
        QVERIFY(!sheet->submitButton()->isEnabled());
        // Any other refusal is the sheet's banner; dismissing it clears it.
        type(sheet->passwordField(), QStringLiteral("password123"));
        f.script("POST /users/me/deletion/request", ScriptedResponse::json(500, serverFault));
        QTest::mouseClick(sheet->submitButton(), Qt::LeftButton);
        QTRY_VERIFY(sheet->errorBanner()->isVisible());
        QCOMPARE(sheet->errorBanner()->message(), userMessage(500, serverFault));
        QVERIFY(!f.h.state->banner());

        // Scheduled: the request carries the stored address, the result replaces the form.
        f.h.routes.clear();
        QTest::mouseClick(sheet->submitButton(), Qt::LeftButton);
        QTRY_VERIFY(sheet->didSchedule());
        QVERIFY(!sheet->errorBanner()->isVisible());
        const QJsonObject sent =
            QJsonDocument::fromJson(f.sent("POST /users/me/deletion/request").last().body).object();
        QCOMPARE(sent, QJsonObject({{"password", "password123"}, {"confirmEmail", "Ada@Example.com"}}));
        QVERIFY(labelText(*sheet, "deleteResultBody").contains(QStringLiteral("January 5, 2027")));
        QTest::mouseClick(sheet->closeButton(), Qt::LeftButton);
        QVERIFY(!f.view()->deleteSheet());

        // The account page shows the notice; cancelling clears it.
        auto *account = f.open<AccountSection>(Section::cuenta);
        QVERIFY(account->deletionNotice()->isVisible());
        QVERIFY(labelText(*account, "deletionBody").contains(QStringLiteral("January 5, 2027")));
        QTest::mouseClick(account->deletionNotice()->cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!account->deletionNotice()->isVisible());
        QCOMPARE(f.sent("POST /users/me/deletion/cancel").size(), 1);
    }

    void notificationStates_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<NotificationAuthorization>("status");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<bool>("callout");
        using N = NotificationAuthorization;
        const QString prefix = QStringLiteral("settings.preferences.notifications.subtitle.");
        QTest::newRow("off, whatever the permission") << false << N::denied << prefix + "disabled" << false;
        QTest::newRow("denied") << true << N::denied << prefix + "permissionDenied" << true;
        QTest::newRow("not asked yet")
            << true << N::notDetermined << prefix + "permissionUnrequested" << false;
        QTest::newRow("provisional") << true << N::provisional << prefix + "active" << false;
    }
    void notificationStates()
    {
        QFETCH(bool, enabled);
        QFETCH(NotificationAuthorization, status);
        QFETCH(QString, subtitle);
        QFETCH(bool, callout);
        Fixture f;
        f.h.notifier.status = status;
        auto *page = f.open<PreferencesSection>(Section::preferencias);
        // The switch writes the preference (and the permission is read afresh: the state's test).
        for (int click = 0; click < (enabled ? 2 : 1); ++click)
            QTest::mouseClick(page->notificationsRow()->toggle(), Qt::LeftButton);
        QCOMPARE(f.h.state->notificationsEnabled(), enabled);
        QCOMPARE(page->notificationsRow()->subtitle(), text(subtitle));
        QCOMPARE(page->notificationsRow()->toggle()->isChecked(), enabled);
        QCOMPARE(page->permissionCallout()->isVisible(), callout);
        QCOMPARE(page->advancedToggle()->isVisible(), enabled);
        if (callout) {
            // Asking again is the way back once the desktop allows it.
            f.h.notifier.status = NotificationAuthorization::authorized;
            QTest::mouseClick(page->checkPermissionButton(), Qt::LeftButton);
            QTRY_VERIFY(!page->permissionCallout()->isVisible());
        }
        if (enabled) {
            QVERIFY(!page->crashRow()->isVisible());
            QTest::mouseClick(page->advancedToggle(), Qt::LeftButton);
            QVERIFY(page->crashRow()->isVisible());
            QTest::mouseClick(page->crashRow()->toggle(), Qt::LeftButton);
            QVERIFY(!f.h.state->notifyOnCrash());
        }
    }

    void startAtLogin_data()
    {
        QTest::addColumn<int>("initial");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("subtitle");
        const QString prefix = QStringLiteral("settings.preferences.launchAtLogin.subtitle.");
        QTest::newRow("registered") << int(LoginItem::notRegistered) << QString() << true
                                    << prefix + "enabled";
        QTest::newRow("refused by the system")
            << int(LoginItem::notRegistered) << "autostart folder is read-only" << false
            << prefix + "disabled";
        QTest::newRow("awaiting approval, then refused")
            << int(LoginItem::requiresApproval) << "not allowed" << true << prefix + "requiresApproval";
    }
    void startAtLogin()
    {
        QFETCH(int, initial);
        QFETCH(QString, refusal);
        QFETCH(bool, on);
        QFETCH(QString, subtitle);
        Fixture f;
        f.h.loginItem.currentStatus = initial;
        if (!refusal.isEmpty())
            f.h.loginItem.error = refusal;
        auto *page = f.open<PreferencesSection>(Section::preferencias);
        QTest::mouseClick(page->launchAtLoginRow()->toggle(), Qt::LeftButton);
        // The switch shows what the system says, not the click.
        QCOMPARE(page->launchAtLoginRow()->toggle()->isChecked(), on);
        QCOMPARE(page->launchAtLoginRow()->subtitle(), text(subtitle));
        QCOMPARE(page->loginErrorLine()->isVisible(), !refusal.isEmpty());
        if (!refusal.isEmpty())
            QVERIFY(page->loginErrorLine()->text().contains(refusal));
    }

    // Switching the language changes every readable text of both windows at once, before the
    // service answers; a refusal switches them all back, with a banner. (The language already in
    // use sends nothing.)
    void languageSwitchAndItsRefusal()
    {
        Fixture f;
        MenuBarView popover(*f.h.state, {});
        popover.show();
        auto *page = f.open<PreferencesSection>(Section::preferencias);
        QTest::mouseClick(page->languagePicker()->segment("en"), Qt::LeftButton);
        QVERIFY(!page->isSavingLanguage());
        const auto switched = [&](const QStringList &before, const char *from, const char *to) {
            int translated = 0;
            const QStringList left =
                textsLeftBehind(before, readable({f.window.get(), &popover}), from, to, translated);
            QVERIFY2(translated >= 10, qPrintable(QString::number(translated)));
            QVERIFY2(left.isEmpty(), qPrintable(left.join(" | ")));
        };
        QStringList before = readable({f.window.get(), &popover});
        QTest::mouseClick(page->languagePicker()->segment("es"), Qt::LeftButton);
        switched(before, "en", "es");
        QTRY_VERIFY(!page->isSavingLanguage());
        QCOMPARE(f.h.state->language(), QStringLiteral("es"));
        QVERIFY(page->languageSavedNote()->isVisible());
        f.h.clock.advance(std::chrono::seconds(PreferencesSection::languageSavedSeconds));
        QVERIFY(!page->languageSavedNote()->isVisible());

        LogCapture log;
        f.script("PATCH /users/me", ScriptedResponse::held());
        before = readable({f.window.get(), &popover});
        QTest::mouseClick(page->languagePicker()->segment("en"), Qt::LeftButton);
        switched(before, "es", "en");
        QVERIFY(!page->languagePicker()->isEnabled());
        QTRY_COMPARE(f.h.server.heldCount(), 1);
        QCOMPARE(QJsonDocument::fromJson(f.sent("PATCH /users/me").last().body).object(),
                 QJsonObject({{"language", "en"}}));
        before = readable({f.window.get(), &popover});
        f.h.server.answerHeld(ScriptedResponse::json(400, refusal));
        QTRY_VERIFY(!page->isSavingLanguage());
        // Rolled back with a banner in the language the interface returned to.
        QVERIFY(page->languagePicker()->isEnabled());
        QCOMPARE(page->languagePicker()->value(), QStringLiteral("es"));
        QTRY_COMPARE(f.view()->sectionTitle()->text(), text("settings.section.preferences", "es"));
        switched(before, "en", "es");
        QVERIFY(!page->languageSavedNote()->isVisible());
        QCOMPARE(f.view()->banner()->message(), userMessage(400, refusal, "es"));
        QCOMPARE(log.countStartingWith(QStringLiteral("[Preferences] language update failed: ")), 1);
        click(f.view()->banner()->findChild<SymbolButton *>());
        QVERIFY(!f.h.state->banner() && !f.view()->banner()->isVisible());
    }

    void debuggingOnlyOutsideProduction_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::newRow("production") << "production";
        QTest::newRow("unknown") << "unknown";
    }
    void debuggingOnlyOutsideProduction()
    {
        QFETCH(QString, environment);
        const bool debug = environment != QLatin1String("production");
        Fixture f({.environment = environment});
        QCOMPARE(f.open<PreferencesSection>(Section::preferencias)->debugBlock() != nullptr, debug);
        auto *about = f.open<AboutSection>(Section::acerca);
        QCOMPARE(about->debugBlock() != nullptr, debug);
        // A build without a version says so with the fallbacks.
        QCOMPARE(about->versionText(),
                 LocalizableXCStrings::shared().format("settings.about.version", {"0.1.0", "dev"}, "en"));
        // Links open in the browser or the mail client.
        for (SettingsRowButton *link : about->links())
            QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(f.h.urlOpener.opened.size(), 5);
        QCOMPARE(f.h.urlOpener.opened.at(2).path(), QStringLiteral("/privacy"));
        QCOMPARE(f.h.urlOpener.opened.at(4).scheme(), QStringLiteral("mailto"));
        if (!debug)
            return;
        QVERIFY(labelText(*about, "environmentLine").contains(environment));
        QTest::mouseClick(about->onboardingResetButton(), Qt::LeftButton);
        QVERIFY(!f.h.state->onboardingCompleted());
        QTest::mouseClick(about->upgradeSheetButton(), Qt::LeftButton);
        QVERIFY(f.h.state->showingUpgrade() && f.view()->upgradeSheet()->isVisible());
    }

    void subscription_data()
    {
        QTest::addColumn<QString>("tier");
        QTest::newRow("free") << "free";
        QTest::newRow("pro") << "pro";
    }
    void subscription()
    {
        QFETCH(QString, tier);
        const bool pro = tier == "pro";
        ServiceScript script;
        script.tier = tier;
        Fixture f({}, script);
        auto *page = f.open<SubscriptionSection>(Section::suscripcion);
        QCOMPARE(labelText(*page, "planTitle"), text("settings." + tier + ".title"));
        QCOMPARE(labelText(*page, "priceBadge"), text("settings." + tier + ".price"));
        QCOMPARE(page->featureTexts().first(), text("settings.tier.feature.tunnels." + tier));
        QCOMPARE(page->upgradeButton()->isVisible(), !pro);
        QCOMPARE(page->supportLink()->isVisible(), pro);
        if (pro) {
            QTest::mouseClick(page->supportLink(), Qt::LeftButton);
            QCOMPARE(f.h.urlOpener.opened.value(0).scheme(), QStringLiteral("mailto"));
            return;
        }
        // The upgrade sheet comes over the window, and the window under it takes no input.
        f.h.state->presentUpgrade(UpgradeReason::secondTunnel);
        f.h.state->setShowingUpgrade(false);
        QTest::mouseClick(page->upgradeButton(), Qt::LeftButton);
        QCOMPARE(f.h.state->upgradeReason(), UpgradeReason::manual);
        QVERIFY(f.view()->upgradeSheet()->isVisible());
        QVERIFY(!page->isEnabled());
        QTest::keyClick(f.view()->upgradeSheet(), Qt::Key_Escape);
        QVERIFY(!f.h.state->showingUpgrade());
        QVERIFY(!f.view()->upgradeSheet()->isVisible() && page->isEnabled());
    }

    void sidebarBannerAndScreenshots()
    {
        Fixture f;
        SettingsView *view = f.view();
        QCOMPARE(view->selected(), Section::cuenta);
        view->sidebarButton(Section::cuenta)->setFocus();
        QTest::keyClick(view->sidebarButton(Section::cuenta), Qt::Key_Down);
        QCOMPARE(view->selected(), Section::suscripcion);
        QVERIFY(qobject_cast<SubscriptionSection *>(view->page()));
        QTest::keyClick(view->sidebarButton(Section::suscripcion), Qt::Key_Up);
        QCOMPARE(view->selected(), Section::cuenta);
        QCOMPARE(labelText(*view, "sidebarEmail"), QStringLiteral("ada@example.com"));
        // The application's banner shows its hint when it has one.
        f.h.state->setBanner(BannerState{BannerState::Severity::warning, "M", QStringLiteral("H"), {}, {}});
        QVERIFY(view->banner()->isVisible());
        QCOMPARE(view->banner()->message(), QStringLiteral("H"));
        QCOMPARE(view->banner()->severity(), ErrorBanner::Severity::warning);
        f.h.state->setBanner(std::nullopt);

        // Every page and sheet in both languages.
        f.h.script.scheduledDeletionAt = scheduledAt;
        f.h.state->refreshMe();
        QTRY_VERIFY(f.h.state->session()->user->scheduledDeletionAt);
        for (const QString language : {"en", "es"}) {
            f.h.state->applyLanguage(language);
            QTRY_COMPARE(f.view()->sectionTitle()->text(),
                         text(SettingsView::titleKey(f.view()->selected()), language));
            const QList<std::pair<Section, QString>> pages = {{Section::cuenta, "account"},
                                                              {Section::suscripcion, "subscription"},
                                                              {Section::preferencias, "preferences"},
                                                              {Section::zona, "danger"},
                                                              {Section::acerca, "about"}};
            for (const auto &[section, name] : pages) {
                f.view()->select(section);
                // Every visible text of the page is in the language.
                QCOMPARE(f.view()->sectionTitle()->text(), text(SettingsView::titleKey(section), language));
                saveScreenshot(*f.window, "settings-" + name + "-" + language);
            }
            f.view()->showDeleteSheet();
            DeleteAccountSheet *sheet = f.view()->deleteSheet();
            type(sheet->emailField(), QStringLiteral("someone@else.test"));
            saveScreenshot(*f.window, "settings-delete-sheet-" + language);
            f.view()->closeDeleteSheet();
            f.view()->select(Section::cuenta);
        }
        f.h.state->applyLanguage("en");
        f.h.state->presentUpgrade(UpgradeReason::manual);
        saveScreenshot(*f.window, "settings-upgrade-sheet-en");
    }
};

QTEST_MAIN(TestSettingsPages)
#include "test_settings_pages.moc"
