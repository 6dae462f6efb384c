#pragma once

// An AppState signed in from a stored token against a given service (a scripted loopback server
// or the development service), with the operating-system services faked, for the editor's tests.

#include "state/AppState.h"
#include "state/BuildConfig.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNetworkMonitor.h"
#include "support/FakeNotifier.h"
#include "support/FakePreferencesStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeUrlOpener.h"

#include <QCoreApplication>
#include <QDir>
#include <QGraphicsEffect>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

namespace ostrel::test {

class EditorHarness {
public:
    EditorHarness(quint16 port, const QString &token, const QString &language, Clock &clock = Clock::system())
    {
        preferences.setRaw(QStringLiteral("ostrel.language"), language);
        preferences.setRaw(QStringLiteral("ostrel.onboarding.completed"), true);
        secrets.items.insert({QStringLiteral("com.ostrel.app"), QStringLiteral("auth.token")},
                             token.toUtf8());
        BuildInfo info;
        info.apiProto = QStringLiteral("http");
        info.apiHost = QStringLiteral("127.0.0.1:") + QString::number(port);
        info.environment = QStringLiteral("development");
        info.publicHost = QStringLiteral("tunnels.test");
        build = BuildConfig::resolve(info);
        AppState::Services services{secrets, preferences, network, notifier, loginItem, urlOpener, clock};
        services.build = &build;
        services.frpcSupportDirectory = supportDir.path();
        state = std::make_unique<AppState>(services);
        // The network comes up: the tunnel list loads.
        network.setSatisfied(true);
    }

    FakeSecretStore secrets;
    FakePreferencesStore preferences;
    FakeNetworkMonitor network;
    FakeNotifier notifier;
    FakeLoginItem loginItem;
    FakeUrlOpener urlOpener;
    QTemporaryDir supportDir;
    BuildConfig build;
    std::unique_ptr<AppState> state;
};

// Saves `widget` as <name>.png in the screenshot folder once its banner has faded in.
inline void saveScreenshot(QWidget &widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("OSTREL_SCREENSHOT_DIR", QDir::currentPath() + "/screenshots");
    QVERIFY(QDir().mkpath(dir));
    for (const QWidget *child : widget.findChildren<QWidget *>())
        QTRY_VERIFY(!child->graphicsEffect());
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QVERIFY(widget.grab().save(dir + "/" + name + ".png"));
}

} // namespace ostrel::test
