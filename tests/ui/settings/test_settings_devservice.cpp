// The settings window against the running development service: a user changes name, password
// and language and schedules and cancels the account's deletion. The operating-system services
// are the in-memory fakes.

#include "SettingsHarness.h"
#include "app/SettingsWindow.h"
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
#include "ui/SettingsRoot.h"
#include "ui/controls/FieldGroup.h"
#include "ui/controls/PrimaryButton.h"
#include "ui/settings/AccountSection.h"
#include "ui/settings/DeleteAccountSheet.h"
#include "ui/settings/PasswordChangeView.h"
#include "ui/settings/PreferencesSection.h"
#include "ui/settings/ScheduledDeletionView.h"
#include "ui/settings/SegmentedPicker.h"
#include "ui/settings/SettingsView.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

using namespace ostrel;
using namespace ostrel::test;
using Section = SettingsView::Section;

namespace {

// What a person reads in the windows: label texts and the names of the buttons.
QStringList readable(const QList<QWidget *> &windows)
{
    QStringList texts;
    for (QWidget *window : windows) {
        texts << visibleTexts(*window);
        for (const QAbstractButton *button : window->findChildren<QAbstractButton *>())
            if (button->isVisibleTo(window) && !button->accessibleName().isEmpty())
                texts << button->accessibleName();
    }
    return texts;
}

// Checks that nothing readable is left in `from` where the catalogue has another text in `to`,
// and that there was enough to check; returns how many texts changed.
int textsLeftBehind(const QStringList &before, const QStringList &after, const QString &from,
                    const QString &to, QStringList *left)
{
    const auto &tables = LocalizableXCStrings::shared().byLanguage();
    QHash<QString, QString> keyOf;
    for (auto it = tables[from].begin(); it != tables[from].end(); ++it)
        keyOf.insert(it.value(), it.key());
    int translated = 0;
    for (const QString &text : before) {
        const QString key = keyOf.value(text);
        if (key.isEmpty() || tables[to].value(key, text) == text)
            continue;
        ++translated;
        if (after.contains(text))
            *left << text;
    }
    return translated;
}

} // namespace

class TestSettingsDevService : public QObject {
    Q_OBJECT
private slots:
    void aUserChangesTheAccountFromTheSettingsWindow();
};

void TestSettingsDevService::aUserChangesTheAccountFromTheSettingsWindow()
{
    DevService service;
    QVERIFY2(service.start(), qPrintable(service.errorString()));
    const QString email = QStringLiteral("settings@ostrel.test");
    const QString token = service.signUp(email);
    QVERIFY(!token.isEmpty());

    DevServiceApp app(service.port());
    app.secrets.items.insert({QStringLiteral("com.ostrel.app"), QStringLiteral("auth.token")},
                             token.toUtf8());
    app.preferences.setRaw(QStringLiteral("ostrel.language"), QStringLiteral("en"));
    app.preferences.setRaw(QStringLiteral("ostrel.onboarding.completed"), true);
    AppState &state = app.create();
    SettingsWindow window(state);
    window.show();
    MenuBarView popover(state, {});
    popover.show();
    QTRY_VERIFY(state.isSignedIn());
    QTRY_VERIFY(window.root()->settingsView());
    SettingsView *view = window.root()->settingsView();
    const auto me = [&] { return service.get(QStringLiteral("/users/me"), token).json.toObject(); };

    // The name.
    auto *account = qobject_cast<AccountSection *>(view->page());
    QVERIFY(account);
    account->nameField()->content()->selectAll();
    QTest::keyClicks(account->nameField()->content(), "Grace Hopper");
    QTest::mouseClick(account->saveButton(), Qt::LeftButton);
    QTRY_COMPARE(state.session()->user->name, std::optional<QString>(QStringLiteral("Grace Hopper")));
    QCOMPARE(me().value("name").toString(), QStringLiteral("Grace Hopper"));

    // The password: the new one signs in, the old one no longer does.
    PasswordChangeView *password = account->passwordCard();
    QTest::keyClicks(password->currentField()->content(), "password123");
    QTest::keyClicks(password->newField()->content(), "a-new-passw0rd");
    QVERIFY(password->changeButton()->isEnabled());
    QTest::keyClick(password->newField()->content(), Qt::Key_Return);
    QTRY_VERIFY(child(*password, "passwordChanged")->isVisible());
    QVERIFY(!service.signIn(email, QStringLiteral("a-new-passw0rd")).isEmpty());
    QVERIFY(service.signIn(email, QStringLiteral("password123")).isEmpty());

    // The language: every readable text of both windows follows at once, and back.
    view->select(Section::preferencias);
    auto *preferencesPage = qobject_cast<PreferencesSection *>(view->page());
    QVERIFY(preferencesPage);
    for (const auto &[from, to] : {std::pair{"en", "es"}, std::pair{"es", "en"}}) {
        const QStringList before = readable({&window, &popover});
        QTest::mouseClick(preferencesPage->languagePicker()->segment(QString::fromLatin1(to)),
                          Qt::LeftButton);
        QCOMPARE(state.language(), QString::fromLatin1(to));
        QStringList left;
        const int translated = textsLeftBehind(before, readable({&window, &popover}), from, to, &left);
        QVERIFY2(translated >= 10, qPrintable(QString::number(translated)));
        QVERIFY2(left.isEmpty(), qPrintable(left.join(" | ")));
        QTRY_VERIFY(!preferencesPage->isSavingLanguage());
        QCOMPARE(me().value("language").toString(), QString::fromLatin1(to));
        QCOMPARE(state.language(), QString::fromLatin1(to));
    }

    // Deletion, scheduled from the danger zone and cancelled from the account page.
    view->select(Section::zona);
    view->showDeleteSheet();
    DeleteAccountSheet *sheet = view->deleteSheet();
    QTest::keyClicks(sheet->passwordField()->content(), "a-new-passw0rd");
    QTest::keyClicks(sheet->emailField()->content(), email.toUpper());
    sheet->acknowledgement()->setChecked(true);
    QTest::mouseClick(sheet->submitButton(), Qt::LeftButton);
    QTRY_VERIFY(sheet->didSchedule());
    QVERIFY(!me().value("scheduledDeletionAt").isNull());
    QTest::mouseClick(sheet->closeButton(), Qt::LeftButton);
    view->select(Section::cuenta);
    account = qobject_cast<AccountSection *>(view->page());
    QVERIFY(account->deletionNotice()->isVisible());
    QTest::mouseClick(account->deletionNotice()->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(!account->deletionNotice()->isVisible());
    QVERIFY(me().value("scheduledDeletionAt").isNull());
}

QTEST_MAIN(TestSettingsDevService)
#include "test_settings_devservice.moc"
