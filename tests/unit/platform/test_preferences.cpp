#include "platform/JsonPreferencesStore.h"
#include "support/LogCapture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using ostrel::JsonPreferencesStore;

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

unsigned mode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}

} // namespace

class TestPreferences : public QObject {
    Q_OBJECT
private slots:
    // Two instances on one file, as the tray app and the command line are: a write keeps what
    // the other wrote meanwhile, and a third instance reads it all back.
    void roundTripsAcrossInstancesInAPrivateFile()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/nested/ostrel/preferences.json";
        JsonPreferencesStore first(path), second(path);
        QCOMPARE(first.boolValue("ostrel.onboarding.completed"), std::nullopt);
        first.setBool("ostrel.onboarding.completed", true);
        second.setString("ostrel.language", "es");
        first.setBool("ostrel.updates.automatic", false);
        JsonPreferencesStore again(path);
        QCOMPARE(again.boolValue("ostrel.onboarding.completed"), std::optional<bool>(true));
        QCOMPARE(again.boolValue("ostrel.updates.automatic"), std::optional<bool>(false));
        QCOMPARE(again.stringValue("ostrel.language"), std::optional<QString>("es"));
        QCOMPARE(mode(path), 0600u);
        // The folder made for it is private as well.
        QCOMPARE(mode(dir.path() + "/nested/ostrel"), 0700u);
        // Replaced atomically: no temporary file is left beside it.
        QCOMPARE(QDir(dir.path() + "/nested/ostrel").entryList(QDir::Files), QStringList{"preferences.json"});
        // A file made readable by others becomes private again at the next write.
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        again.setBool("ostrel.onboarding.completed", false);
        QCOMPARE(mode(path), 0600u);
        QCOMPARE(again.stringValue("ostrel.language"), std::optional<QString>("es"));
    }

    void wrongTypesReadAsAbsent()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/preferences.json";
        writeFile(path, "{\"ostrel.notifications.enabled\":\"yes\",\"ostrel.language\":true,"
                        "\"ostrel.onboarding.completed\":1,\"ostrel.installation.id\":null}");
        JsonPreferencesStore store(path);
        QCOMPARE(store.boolValue("ostrel.notifications.enabled"), std::nullopt);
        QCOMPARE(store.stringValue("ostrel.notifications.enabled"), std::optional<QString>("yes"));
        QCOMPARE(store.stringValue("ostrel.language"), std::nullopt);
        QCOMPARE(store.boolValue("ostrel.onboarding.completed"), std::nullopt);
        QCOMPARE(store.stringValue("ostrel.installation.id"), std::nullopt);
    }

    void corruptFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("truncated") << QByteArray("{\"ostrel.language\":\"e");
        QTest::newRow("array") << QByteArray("[\"ostrel.language\"]");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe", 3);
    }
    void corruptFile()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.path() + "/preferences.json";
        writeFile(path, content);
        JsonPreferencesStore store(path);
        QCOMPARE(store.stringValue("ostrel.language"), std::nullopt);
        // Reading leaves the file alone.
        QCOMPARE(readFile(path), content);

        ostrel::test::LogCapture log;
        store.setString("ostrel.language", "es");
        QCOMPARE(store.stringValue("ostrel.language"), std::optional<QString>("es"));
        // The unreadable file is kept aside rather than lost, and said so once.
        store.setString("ostrel.language", "en");
        QCOMPARE(readFile(path + ".bak"), content);
        QCOMPARE(log.lines, QStringList{"[Preferences] unreadable preferences moved to " + path + ".bak"});
    }

    void failedWriteIsLoggedNotFatal()
    {
        QTemporaryDir dir;
        // A file where the folder should be: the folder cannot be made, even with privileges.
        writeFile(dir.path() + "/blocker", "x");
        ostrel::test::LogCapture log;
        JsonPreferencesStore store(dir.path() + "/blocker/preferences.json");
        store.setBool("ostrel.onboarding.completed", true);
        QCOMPARE(store.boolValue("ostrel.onboarding.completed"), std::nullopt);
        QVERIFY(log.contains("[Preferences] could not create " + dir.path() + "/blocker"));
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "test_preferences.moc"
