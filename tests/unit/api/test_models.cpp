#include "api/Models.h"

#include <QJsonDocument>
#include <QTest>

using namespace ostrel;

namespace {

// JSON written with single quotes, to keep the fixtures readable.
QByteArray j(const char *json)
{
    return QByteArray(json).replace('\'', '"');
}

QJsonValue parse(const char *json)
{
    return QJsonDocument::fromJson(j(json)).object();
}

template <class T> QString failureOf(const Decoded<T> &d)
{
    const auto *e = std::get_if<DecodeError>(&d);
    return e ? e->description : QString();
}

const char *const tunnelJson =
    "{'id':'t1','subdomain':'demo','localHost':'127.0.0.1','localPort':3000,"
    "'protocol':'http','status':'offline','frpsProxyName':'u.demo','unknownKey':[1,2]}";

} // namespace

class TestModels : public QObject {
    Q_OBJECT
private slots:
    // Every record is decoded from the service's own answers in the contract test; here, what
    // those answers never show: unknown keys passed over, a null optional, and the limit's edges.
    void decodesRecords()
    {
        const auto login =
            LoginResponse::fromJson(parse("{'token':'tok','expiresAt':'2025-03-01T10:15:30.123Z',"
                                          "'user':{'id':'u1','email':'a@b.c','tier':'Pro',"
                                          "'name':null,'unknownKey':[1,2]}}"));
        QVERIFY2(std::holds_alternative<LoginResponse>(login), qPrintable(failureOf(login)));
        const LoginResponse &l = std::get<LoginResponse>(login);
        QVERIFY(l.user && l.user->isPro() && !l.user->name && !l.user->isEmailVerified());
        const auto tunnel = Tunnel::fromJson(parse(tunnelJson));
        QVERIFY2(std::holds_alternative<Tunnel>(tunnel), qPrintable(failureOf(tunnel)));
        QCOMPARE(std::get<Tunnel>(tunnel).localPort, 3000);

        Usage u;
        u.bandwidth.usedBytes = u.bandwidth.limitBytes = Q_INT64_C(5000000000);
        QVERIFY(isOverBandwidthLimit(u));
        u.bandwidth.limitBytes = u.bandwidth.usedBytes + 1;
        QVERIFY(!isOverBandwidthLimit(u));
        u.bandwidth.limitBytes = 0; // no limit
        QVERIFY(!isOverBandwidthLimit(u));
        QVERIFY(std::holds_alternative<EmptyResponse>(EmptyResponse::fromJson(QJsonObject())));
        QVERIFY(!std::holds_alternative<EmptyResponse>(
            EmptyResponse::fromJson(QJsonValue(QJsonValue::Undefined))));
    }

    // The valid tunnel with one key removed and others set.
    void rejectsMalformedRecords_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QJsonObject>("set");
        QTest::addColumn<QString>("expected"); // fragment of the description
        QTest::newRow("protocolValue instead of protocol")
            << "protocol" << QJsonObject{{"protocolValue", "tcp"}} << "\"protocol\"";
        QTest::newRow("null required")
            << "" << QJsonObject{{"subdomain", QJsonValue::Null}} << "\"subdomain\"";
        QTest::newRow("fractional port") << "" << QJsonObject{{"localPort", 1.5}} << "\"localPort\"";
        QTest::newRow("port beyond 64 bits") << "" << QJsonObject{{"localPort", 1e19}} << "\"localPort\"";
        QTest::newRow("optional of wrong type") << "" << QJsonObject{{"remotePort", "9"}} << "\"remotePort\"";
    }
    void rejectsMalformedRecords()
    {
        QFETCH(QString, removed);
        QFETCH(QJsonObject, set);
        QFETCH(QString, expected);
        QJsonObject json = parse(tunnelJson).toObject();
        json.remove(removed);
        for (auto it = set.begin(); it != set.end(); ++it)
            json.insert(it.key(), it.value());
        const auto decoded = Tunnel::fromJson(json);
        QVERIFY(!std::holds_alternative<Tunnel>(decoded));
        QVERIFY2(failureOf(decoded).contains(expected), qPrintable(failureOf(decoded)));
    }

    void dateRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: must be rejected
        QTest::newRow("Z millis") << "2025-03-01T10:15:30.000Z"
                                  << QDateTime(QDate(2025, 3, 1), QTime(10, 15, 30), Qt::UTC);
        QTest::newRow("micros") << "2025-03-01T10:15:30.123456Z"
                                << QDateTime(QDate(2025, 3, 1), QTime(10, 15, 30, 123), Qt::UTC);
        QTest::newRow("negative offset")
            << "2025-03-01T22:00:00.000-03:30" << QDateTime(QDate(2025, 3, 2), QTime(1, 30), Qt::UTC);
        QTest::newRow("no fraction") << "2025-03-01T10:15:30Z" << QDateTime();
        QTest::newRow("no zone") << "2025-03-01T10:15:30.000" << QDateTime();
        QTest::newRow("offset without colon") << "2025-03-01T10:15:30.000+0100" << QDateTime();
        QTest::newRow("trailing text") << "2025-03-01T10:15:30.000Zx" << QDateTime();
    }
    void dateRule()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const auto decoded = LoginResponse::fromJson(QJsonObject{{"token", "t"}, {"expiresAt", text}});
        if (expected.isValid()) {
            QVERIFY2(std::holds_alternative<LoginResponse>(decoded), qPrintable(failureOf(decoded)));
            QCOMPARE(std::get<LoginResponse>(decoded).expiresAt, expected);
        } else {
            QCOMPARE(failureOf(decoded), "Invalid date " + text);
        }
    }

    void derivedValues_data()
    {
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("customDomain"); // empty: none
        QTest::addColumn<qint64>("remotePort");    // 0: none
        QTest::addColumn<QString>("displayHost");
        QTest::addColumn<QString>("publicURL");
        const auto row = [](const char *name, const char *protocol, const char *customDomain,
                            qint64 remotePort, const char *displayHost, const char *publicURL) {
            QTest::newRow(name) << QString(protocol) << QString(customDomain) << remotePort
                                << QString(displayHost) << QString(publicURL);
        };
        row("http", "http", "", 0, "demo.H", "https://demo.H");
        row("tcp", "tcp", "", 20001, "tcp://H:20001", "tcp://H:20001");
        row("tcp without port", "tcp", "", 0, "demo.H", "tcp://H:0");
        row("tcp custom domain", "tcp", "my.example", 20001, "my.example", "tcp://H:20001");
        row("upper-case TCP is not tcp", "TCP", "", 20001, "demo.H", "https://demo.H");
    }
    void derivedValues()
    {
        QFETCH(QString, protocol);
        QFETCH(QString, customDomain);
        QFETCH(qint64, remotePort);
        Tunnel t = std::get<Tunnel>(Tunnel::fromJson(parse(tunnelJson)));
        t.protocolValue = protocol;
        if (!customDomain.isEmpty())
            t.customDomain = customDomain;
        if (remotePort)
            t.remotePort = remotePort;
        QTEST(t.displayHost("H"), "displayHost");
        QTEST(t.publicURL("H"), "publicURL");
    }

    void proTier()
    {
        User u;
        for (const char *tier : {"pro", "PRO", "pro-trial"}) {
            u.tier = tier;
            QCOMPARE(u.isPro(), u.tier != "pro-trial");
        }
    }
};

QTEST_GUILESS_MAIN(TestModels)
#include "test_models.moc"
