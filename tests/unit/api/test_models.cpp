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
    void decodesEveryRecord()
    {
        const auto login =
            LoginResponse::fromJson(parse("{'token':'tok','expiresAt':'2025-03-01T10:15:30.123Z',"
                                          "'user':{'id':'u1','email':'a@b.c','tier':'Pro','name':null,"
                                          "'emailVerifiedAt':'2025-01-01T00:00:00.5+01:00'}}"));
        QVERIFY2(std::holds_alternative<LoginResponse>(login), qPrintable(failureOf(login)));
        const LoginResponse &l = std::get<LoginResponse>(login);
        QCOMPARE(l.token, "tok");
        QCOMPARE(l.expiresAt, QDateTime(QDate(2025, 3, 1), QTime(10, 15, 30, 123), Qt::UTC));
        QVERIFY(l.user && l.user->isPro() && l.user->isEmailVerified() && !l.user->isPendingDeletion());
        QCOMPARE(*l.user->emailVerifiedAt, QDateTime(QDate(2024, 12, 31), QTime(23, 0, 0, 500), Qt::UTC));

        const auto tunnel = Tunnel::fromJson(parse(tunnelJson));
        QVERIFY2(std::holds_alternative<Tunnel>(tunnel), qPrintable(failureOf(tunnel)));
        const Tunnel &t = std::get<Tunnel>(tunnel);
        QCOMPARE(t.protocolValue, "http");
        QCOMPARE(t.localPort, 3000);

        const auto usage = Usage::fromJson(
            parse("{'tier':'free','tunnels':{'used':1,'active':0,'limit':null},"
                  "'bandwidth':{'usedBytes':5000000000,'inBytes':1,'outBytes':2,'limitBytes':5000000000,"
                  "'limitGB':5,'percentUsed':100,'periodStart':'2025-03-01T00:00:00.000Z',"
                  "'periodEnd':'2025-04-01T00:00:00.000Z'}}"));
        QVERIFY2(std::holds_alternative<Usage>(usage), qPrintable(failureOf(usage)));
        const Usage &u = std::get<Usage>(usage);
        QCOMPARE(u.bandwidth.usedBytes, Q_INT64_C(5000000000));
        QVERIFY(isOverBandwidthLimit(u));
        Usage noLimit = u;
        noLimit.bandwidth.limitBytes = 0;
        QVERIFY(!isOverBandwidthLimit(noLimit));
        noLimit.bandwidth.limitBytes = u.bandwidth.usedBytes + 1;
        QVERIFY(!isOverBandwidthLimit(noLimit));

        const auto frpc =
            FrpcConfig::fromJson(parse("{'serverAddr':'h','serverPort':7000,'authToken':'a','user':'u'}"));
        QCOMPARE(std::get<FrpcConfig>(frpc), (FrpcConfig{"h", 7000, "a", "u"}));
        const auto availability =
            AvailabilityCheck::fromJson(parse("{'available':false,'reason':'reserved'}"));
        QCOMPARE(std::get<AvailabilityCheck>(availability), (AvailabilityCheck{false, QString("reserved")}));
        const auto checkout = CheckoutResponse::fromJson(parse("{'checkoutUrl':'https://x'}"));
        QCOMPARE(std::get<CheckoutResponse>(checkout).checkoutUrl, "https://x");
        const auto deletion =
            RequestDeletionResponse::fromJson(parse("{'scheduledAt':'2025-03-08T10:00:00.000Z'}"));
        QCOMPARE(std::get<RequestDeletionResponse>(deletion).scheduledAt,
                 QDateTime(QDate(2025, 3, 8), QTime(10, 0), Qt::UTC));
        QVERIFY(std::holds_alternative<EmptyResponse>(EmptyResponse::fromJson(QJsonObject())));
        QVERIFY(!std::holds_alternative<EmptyResponse>(
            EmptyResponse::fromJson(QJsonValue(QJsonValue::Undefined))));
    }

    void rejectsMalformedRecords_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("expected"); // fragment of the description
        QTest::newRow("protocolValue instead of protocol")
            << QByteArray("{'id':'t','subdomain':'s','localHost':'h','localPort':1,'protocolValue':'tcp','"
                          "status':'x','frpsProxyName':'p'}")
            << "\"protocol\"";
        QTest::newRow("null required") << QByteArray("{'id':'t','subdomain':null,'localHost':'h','localPort':"
                                                     "1,'protocol':'tcp','status':'x','frpsProxyName':'p'}")
                                       << "\"subdomain\"";
        QTest::newRow("fractional port")
            << QByteArray("{'id':'t','subdomain':'s','localHost':'h','localPort':1.5,'protocol':'tcp','"
                          "status':'x','frpsProxyName':'p'}")
            << "\"localPort\"";
        QTest::newRow("port beyond 64 bits")
            << QByteArray("{'id':'t','subdomain':'s','localHost':'h','localPort':1e19,'protocol':'tcp','"
                          "status':'x','frpsProxyName':'p'}")
            << "\"localPort\"";
        QTest::newRow("optional of wrong type")
            << QByteArray("{'id':'t','subdomain':'s','localHost':'h','localPort':1,'remotePort':'9','"
                          "protocol':'tcp','status':'x','frpsProxyName':'p'}")
            << "\"remotePort\"";
    }
    void rejectsMalformedRecords()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, expected);
        const auto decoded = Tunnel::fromJson(QJsonDocument::fromJson(j(json)).object());
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
