// The notifier against a real notification daemon (dunst) on a private bus and display: the
// crash notification is shown with its texts, a second one for the same tunnel replaces it, and
// a click on it comes back as activated(identifier).

#include "platform/FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace ostrel;

namespace {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        return QString("(%1 did not finish)").arg(program);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

std::optional<QString> posted(FreedesktopNotifier &notifier, const QString &identifier, const QString &title,
                              const QString &body)
{
    bool done = false;
    std::optional<QString> error;
    notifier.post(identifier, title, body, [&](const std::optional<QString> &e) {
        done = true;
        error = e;
    });
    return QTest::qWaitFor([&] { return done; }) ? error : QString("no completion");
}

// dunst's history (notifications that were closed): (summary, body) pairs, newest first.
QList<QPair<QString, QString>> history()
{
    const QJsonObject doc = QJsonDocument::fromJson(run("dunstctl", {"history"}).toUtf8()).object();
    QList<QPair<QString, QString>> entries;
    for (const QJsonValue &group : doc.value("data").toArray())
        for (const QJsonValue &entry : group.toArray())
            entries.append({entry["summary"]["data"].toString(), entry["body"]["data"].toString()});
    return entries;
}

} // namespace

class TestDunst : public QObject {
    Q_OBJECT
private slots:
    void crashNotificationShowsReplacesAndClicks()
    {
        QDBusConnectionInterface *names = QDBusConnection::sessionBus().interface();
        QVERIFY(QTest::qWaitFor(
            [&] { return names->isServiceRegistered("org.freedesktop.Notifications").value(); }, 10000));
        FreedesktopNotifier notifier;
        std::optional<NotificationAuthorization> status;
        notifier.authorizationStatus([&](NotificationAuthorization s) { status = s; });
        QVERIFY(QTest::qWaitFor([&] { return status.has_value(); }));
        QCOMPARE(*status, NotificationAuthorization::authorized);

        const QString id = "ostrel-frpc-crash-demo";
        const QString title = "Tunnel disconnected";
        QCOMPARE(posted(notifier, "ostrel-frpc-crash-other", title, "The tunnel other stopped."),
                 std::nullopt);
        QCOMPARE(posted(notifier, id, title, "The tunnel demo stopped unexpectedly."), std::nullopt);
        QCOMPARE(posted(notifier, id, title, "The tunnel demo stopped unexpectedly again."), std::nullopt);
        // The second post replaced the first: two on screen, not three.
        QTRY_COMPARE(run("dunstctl", {"count", "displayed"}), QString("2"));

        // dunst closes the oldest ("other") first; then a real click on the one of "demo".
        run("dunstctl", {"close"});
        QTRY_COMPARE(run("dunstctl", {"count", "displayed"}), QString("1"));
        QSignalSpy activated(&notifier, &Notifier::activated);
        const QStringList windows =
            run("xdotool", {"search", "--onlyvisible", "--classname", "Dunst"}).split('\n');
        QVERIFY2(!windows.value(0).isEmpty(), "no dunst window on screen");
        run("xdotool", {"mousemove", "--window", windows.value(0), "20", "10", "click", "1"});
        QTRY_COMPARE(activated.count(), 1);
        QCOMPARE(activated.at(0).at(0).toString(), id);

        // What dunst showed, as its history keeps it once closed.
        const auto shown = history();
        QVERIFY2(shown.contains({title, "The tunnel demo stopped unexpectedly again."}),
                 qPrintable(run("dunstctl", {"history"})));
        QVERIFY(shown.contains({title, "The tunnel other stopped."}));
        QVERIFY(!shown.contains({title, "The tunnel demo stopped unexpectedly."}));
    }
};

QTEST_GUILESS_MAIN(TestDunst)
#include "test_dunst.moc"
