// The settings window against the running development service: switching the language changes
// every readable text of both windows at once and is stored on the service, and back. (The pages'
// requests and answers are the scripted tests'; the service's rules are its contract test's.)

#include "app/MenuBarView.h"
#include "app/SettingsRoot.h"
#include "app/SettingsWindow.h"
#include "support/DevService.h"
#include "support/DevServiceApp.h"
#include "support/WidgetTest.h"
#include "ui/settings/PreferencesSection.h"
#include "ui/settings/SegmentedPicker.h"
#include "ui/settings/SettingsView.h"

#include <QAbstractButton>

using namespace ostrel;
using namespace ostrel::test;
using Section = SettingsView::Section;

namespace {

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
    void everyTextFollowsTheLanguage();
};

void TestSettingsDevService::everyTextFollowsTheLanguage()
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
}

QTEST_MAIN(TestSettingsDevService)
#include "test_settings_devservice.moc"
