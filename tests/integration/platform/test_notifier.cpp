#include "platform/FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

using namespace ostrel;

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.Notifications");

// A minimal notification server on its own bus connection, like a desktop's.
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName;
        uint replacesId;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };
    QList<Call> calls;
    uint nextId = 100;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int)
    {
        calls.append({appName, replacesId, summary, body, actions, hints});
        return replacesId != 0 ? replacesId : nextId++;
    }
    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion)
    {
        std::tie(vendor, version, specVersion) = std::tuple("test", "1", "1.2");
        return "fake-notifications";
    }
    void CloseNotification(uint id) { emit NotificationClosed(id, 3); }

signals:
    void ActionInvoked(uint id, const QString &actionKey);
    void NotificationClosed(uint id, uint reason);
};

// Runs `start` with a completion and waits for it: the error it reported, or "no completion".
std::optional<QString> completion(const std::function<void(Notifier::ErrorCallback)> &start)
{
    std::optional<std::optional<QString>> result;
    start([&](const std::optional<QString> &e) { result = e; });
    return QTest::qWaitFor([&] { return result.has_value(); }) ? *result : QString("no completion");
}

std::optional<QString> postCrash(Notifier &notifier, const QString &subdomain, const QString &body)
{
    return completion([&](Notifier::ErrorCallback done) {
        notifier.post("ostrel-frpc-crash-" + subdomain, "Tunnel disconnected", body, done);
    });
}

} // namespace

// Runs on a private session bus (dbus-run-session).
class TestNotifier : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        serverBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-notification-server");
        QVERIFY(
            serverBus.registerObject("/org/freedesktop/Notifications", &server,
                                     QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        QVERIFY(serverBus.registerService(serviceName));
    }

    void cleanupTestCase() { QDBusConnection::disconnectFromBus("fake-notification-server"); }

    // Without a server, or without any bus (a bare server login): denied without hanging, and
    // every completion runs with its error.
    void deniedWithoutAServer_data()
    {
        QTest::addColumn<bool>("bus");
        QTest::newRow("no server on the bus") << true;
        QTest::newRow("no bus at all") << false;
    }
    void deniedWithoutAServer()
    {
        QFETCH(bool, bus);
        const QDBusConnection none =
            QDBusConnection::connectToBus("unix:path=/nonexistent/ostrel-bus", "none");
        QVERIFY(!none.isConnected());
        FreedesktopNotifier notifier(bus ? QDBusConnection::sessionBus() : none,
                                     bus ? "org.ostrel.test.NoNotificationServer" : serviceName);
        std::optional<NotificationAuthorization> status;
        notifier.authorizationStatus([&](NotificationAuthorization s) { status = s; });
        QVERIFY(!status); // answered from the event loop, not inline
        QTRY_COMPARE(status, std::optional(NotificationAuthorization::denied));
        const auto requestError = completion([&](auto done) { notifier.requestAuthorization(done); });
        QVERIFY(requestError && (!bus || requestError->startsWith("no notification server: ")));
        QVERIFY(postCrash(notifier, "a", "b").has_value());
    }

    void sameIdentifierReplacesAndClicksActivate()
    {
        FreedesktopNotifier notifier(QDBusConnection::sessionBus(), serviceName);
        QSignalSpy activated(&notifier, &Notifier::activated);
        QCOMPARE(completion([&](auto done) { notifier.requestAuthorization(done); }), std::nullopt);

        QCOMPARE(postCrash(notifier, "api", "api stopped"), std::nullopt);
        QCOMPARE(postCrash(notifier, "web", "web stopped"), std::nullopt);
        QCOMPARE(postCrash(notifier, "api", "api stopped again"), std::nullopt);

        QCOMPARE(server.calls.size(), 3);
        const auto &call = server.calls.at(0);
        QCOMPARE(QStringList({call.appName, call.summary, call.body}),
                 QStringList({"Ostrel", "Tunnel disconnected", "api stopped"}));
        QVERIFY(call.actions.contains("default") && call.hints.contains("sound-name"));
        // Another subdomain has its own notification; the same one replaces the first.
        QCOMPARE(QList({call.replacesId, server.calls.at(1).replacesId, server.calls.at(2).replacesId}),
                 QList<uint>({0, 0, 100}));

        emit server.ActionInvoked(101, "default");
        QTRY_COMPARE(activated.size(), 1);
        QCOMPARE(activated.at(0).at(0).toString(), QString("ostrel-frpc-crash-web"));
        // Other actions and other applications' notifications are not ours to handle.
        emit server.ActionInvoked(101, "dismiss");
        emit server.ActionInvoked(999, "default");
        emit server.ActionInvoked(100, "default");
        QTRY_COMPARE(activated.size(), 2);
        QCOMPARE(activated.at(1).at(0).toString(), QString("ostrel-frpc-crash-api"));

        // Once the user closed it, the next crash shows as a new notification. The server sends
        // the close before it answers the next call, so one round trip orders them.
        server.CloseNotification(100);
        std::optional<NotificationAuthorization> status;
        notifier.authorizationStatus([&](NotificationAuthorization s) { status = s; });
        QTRY_COMPARE(status, std::optional(NotificationAuthorization::authorized));
        QCOMPARE(postCrash(notifier, "api", "api stopped once more"), std::nullopt);
        QCOMPARE(server.calls.size(), 4);
        QCOMPARE(server.calls.last().replacesId, 0u);

        // The body holds a subdomain the service chose; it reaches the server as plain text.
        QCOMPARE(postCrash(notifier, "x", "<a href=\"http://e\">x</a> & y"), std::nullopt);
        QCOMPARE(server.calls.last().body, QString("&lt;a href=&quot;http://e&quot;&gt;x&lt;/a&gt; &amp; y"));
    }

private:
    FakeNotificationServer server;
    QDBusConnection serverBus{QString()};
};

QTEST_GUILESS_MAIN(TestNotifier)
#include "test_notifier.moc"
