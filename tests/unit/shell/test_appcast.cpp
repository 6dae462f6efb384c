#include "platform/AppcastFeed.h"
#include "platform/AppcastUpdater.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace ostrel;

class TestAppcast : public QObject {
    Q_OBJECT
private slots:
    void compareVersions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        const auto row = [](const char *name, const char *a, const char *b, int expected) {
            QTest::newRow(name) << QString(a) << QString(b) << expected;
        };
        row("missing parts are zero", "2", "2.0.0", 0);
        row("numeric not textual", "1.10", "1.9", 1); // and the other way round, -1
        row("leading zeros", "1.02", "1.2", 0);
        row("longer than 64 bits", "1.99999999999999999999", "1.99999999999999999998", 1);
        row("build numbers", "120", "99", 1);
        row("suffix text ignored", "1.2-beta", "1.2", 0);
    }
    void compareVersions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        QCOMPARE(ostrel::compareVersions(a, b), expected);
        QCOMPARE(ostrel::compareVersions(b, a), -expected);
    }

    void parsesBothVersionFormsAndRefusesUnreadableFeeds()
    {
        QFile file(QStringLiteral(OSTREL_TEST_DATA_DIR "/appcast-sample.xml"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray feed = file.readAll();
        const auto items = parseAppcast(feed);
        QVERIFY(items);
        QCOMPARE(items->size(), 3);
        QCOMPARE(items->at(0),
                 (AppcastItem{"110", "1.1.0", QUrl("https://dl.example.invalid/ostrel-1.1.0.tar.gz")}));
        QCOMPARE(items->at(1), (AppcastItem{"120", "1.2.0", QUrl("https://example.invalid/download")}));
        QCOMPARE(items->at(2),
                 (AppcastItem{"130", "130", QUrl("https://dl.example.invalid/ostrel-1.3.0.tar.gz")}));

        QCOMPARE(newestUpdate(*items, "115")->version, QStringLiteral("130"));
        QVERIFY(!newestUpdate(*items, "130"));
        QVERIFY(!newestUpdate({}, "1"));
        // Unreadable feeds are refused; an empty one is no update.
        QVERIFY(!parseAppcast("<rss><channel><item>"));
        QVERIFY(!parseAppcast("not xml at all"));
        const auto empty = parseAppcast("<rss version=\"2.0\"><channel/></rss>");
        QVERIFY(empty && empty->isEmpty());
    }

    void feedMustBeHttpsUnlessLocal()
    {
        QCOMPARE(AppcastUpdater::feedURLForHost("updates.example.invalid"),
                 QUrl("https://updates.example.invalid/download/appcast.xml"));
        QVERIFY(AppcastUpdater::feedURLForHost({}).isEmpty());

        QString error;
        AppcastUpdater none(AppcastUpdater::feedURLForHost({}), "1");
        QVERIFY(!none.start(&error));
        QCOMPARE(error, QStringLiteral("no update feed configured"));
        AppcastUpdater plain(QUrl("http://updates.example.invalid/download/appcast.xml"), "1");
        QVERIFY(!plain.start(&error));
        AppcastUpdater local(QUrl("http://127.0.0.1:9/download/appcast.xml"), "1");
        QVERIFY(local.start(&error));
    }
};

QTEST_GUILESS_MAIN(TestAppcast)
#include "test_appcast.moc"
