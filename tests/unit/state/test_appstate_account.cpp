// The four ways of signing in, the profile and the refresh after account changes.

#include "StateFixture.h"

#include "api/APIClient.h"

#include <QJsonDocument>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;

namespace {

using Outcome = std::optional<std::optional<ApiFailure>>; // empty while running

std::function<void(const std::optional<ApiFailure> &)> into(Outcome &outcome)
{
    return [&outcome](const std::optional<ApiFailure> &failure) { outcome = failure; };
}

} // namespace

class TestAppStateAccount : public QObject {
    Q_OBJECT
private slots:
    void everySignInEndsInTheSameCompletion_data();
    void everySignInEndsInTheSameCompletion();
    void signInWhoseTunnelListFailsStaysSignedIn();
    void refusedSignInChangesNothing();
    void signUpSendsANameOnlyWhenThereIsOne_data();
    void signUpSendsANameOnlyWhenThereIsOne();
    void saveProfileSendsOnlyTheGivenFields();
    void refreshAfterMutationAbsorbsFailures();
};

void TestAppStateAccount::everySignInEndsInTheSameCompletion_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("endpoint");
    QTest::newRow("password") << "signIn"
                              << "POST /auth/login";
    QTest::newRow("new account") << "signUp"
                                 << "POST /auth/signup";
    QTest::newRow("magic link") << "magic"
                                << "GET /auth/magic-link/verify";
    QTest::newRow("e-mail verification") << "verify"
                                         << "GET /auth/verify-email";
}

void TestAppStateAccount::everySignInEndsInTheSameCompletion()
{
    QFETCH(QString, way);
    QFETCH(QString, endpoint);
    StateFixture f;
    f.tunnelList = {tunnelJson("t1")};
    f.route(endpoint, loginJson("new-token", userJson("free")));
    AppState &s = f.create();
    Outcome outcome;
    if (way == "signIn")
        s.signIn("ana@example.com", "secret123", nullptr, into(outcome));
    else if (way == "signUp")
        s.signUp("ana@example.com", "secret123", std::nullopt, nullptr, into(outcome));
    else if (way == "magic")
        s.signInWithMagicLink("m-token", nullptr, into(outcome));
    else
        s.signInWithEmailVerification("v-token", nullptr, into(outcome));
    QTRY_VERIFY(outcome);
    QVERIFY(!outcome->has_value());

    QCOMPARE(s.session()->token, "new-token");
    QCOMPARE(s.session()->user->email, "ana@example.com");
    QCOMPARE(f.secrets.items.value({"com.ostrel.app", "auth.token"}), QByteArray("new-token"));
    QVERIFY(s.frpcConfig() && s.tunnelsLoaded());
    QVERIFY(s.onboardingCompleted());
    QCOMPARE(f.preferences.boolValue("ostrel.onboarding.completed"), std::optional(true));
    // The configuration, then the list, then the client information, all with the new token.
    QTRY_COMPARE(f.count("POST /users/me/client-info"), 1);
    QStringList order;
    for (const RecordedRequest &r : f.server.requests())
        if (r.path() != "/health")
            order << QString::fromLatin1(r.method + ' ' + r.path());
    QCOMPARE(order,
             QStringList({endpoint, "GET /auth/frpc-config", "GET /tunnels", "POST /users/me/client-info"}));
    QCOMPARE(f.requestsTo("GET /tunnels").first().header("Authorization"), QByteArray("Bearer new-token"));
}

void TestAppStateAccount::signInWhoseTunnelListFailsStaysSignedIn()
{
    StateFixture f;
    f.route("POST /auth/login", loginJson("tok", userJson()));
    f.route("GET /tunnels", [](auto &) { return errorAnswer(500, "INTERNAL"); });
    AppState &s = f.create();
    Outcome outcome;
    s.signIn("a@b.co", "secret123", nullptr, into(outcome));
    QTRY_VERIFY(outcome);
    QVERIFY(outcome->has_value() && (*outcome)->apiError()->statusCode == 500);
    QCOMPARE(s.session()->token, "tok");
    QCOMPARE(f.secrets.items.value({"com.ostrel.app", "auth.token"}), QByteArray("tok"));
    QVERIFY(!s.onboardingCompleted());
    QTest::qWait(50);
    QCOMPARE(f.count("POST /users/me/client-info"), 0);
}

void TestAppStateAccount::refusedSignInChangesNothing()
{
    StateFixture f;
    f.route("POST /auth/login",
            [](auto &) { return errorAnswer(401, "UNAUTHORIZED", "Invalid credentials"); });
    AppState &s = f.create();
    QObject screen;
    Outcome outcome;
    s.signIn("a@b.co", "wrong", &screen, into(outcome));
    QTRY_VERIFY(outcome);
    QCOMPARE((*outcome)->apiError()->kind(), ApiError::Kind::unauthorized);
    QVERIFY(!s.session() && f.secrets.items.isEmpty() && s.apiClient().token() == std::nullopt);

    // A screen that went away is not called back.
    auto *gone = new QObject;
    bool called = false;
    s.signIn("a@b.co", "wrong", gone, [&](auto &) { called = true; });
    delete gone;
    QTRY_COMPARE(f.count("POST /auth/login"), 2);
    QTest::qWait(50);
    QVERIFY(!called);
}

void TestAppStateAccount::signUpSendsANameOnlyWhenThereIsOne_data()
{
    QTest::addColumn<std::optional<QString>>("name");
    QTest::addColumn<QJsonObject>("body");
    const QJsonObject base{{"email", "a@b.co"}, {"password", "secret123"}};
    QJsonObject blanks = base;
    blanks["name"] = "  ";
    QTest::newRow("absent") << std::optional<QString>() << base;
    QTest::newRow("empty") << std::optional<QString>("") << base;
    QTest::newRow("blanks are sent as they are") << std::optional<QString>("  ") << blanks;
}

void TestAppStateAccount::signUpSendsANameOnlyWhenThereIsOne()
{
    QFETCH(std::optional<QString>, name);
    QFETCH(QJsonObject, body);
    StateFixture f;
    f.route("POST /auth/signup", loginJson("tok", userJson()));
    AppState &s = f.create();
    s.signUp("a@b.co", "secret123", name);
    QTRY_COMPARE(f.count("POST /auth/signup"), 1);
    QCOMPARE(QJsonDocument::fromJson(f.requestsTo("POST /auth/signup").first().body).object(), body);
}

void TestAppStateAccount::saveProfileSendsOnlyTheGivenFields()
{
    StateFixture f;
    AppState &s = f.createSignedIn();
    QJsonObject renamed = userJson();
    renamed["name"] = "Ana";
    f.route("PATCH /users/me", renamed);
    f.preferences.writes.clear();
    Outcome outcome;
    s.saveProfile(std::nullopt, QStringLiteral("en"), std::nullopt, nullptr, into(outcome));
    QTRY_VERIFY(outcome);
    QCOMPARE(QJsonDocument::fromJson(f.requestsTo("PATCH /users/me").last().body).object(),
             QJsonObject({{"language", "en"}}));
    QCOMPARE(s.session()->user->name, std::optional<QString>("Ana"));
    QCOMPARE(f.preferences.writes, QStringList({"ostrel.language"})); // written though unchanged
    QCOMPARE(s.language(), "en");
}

void TestAppStateAccount::refreshAfterMutationAbsorbsFailures()
{
    StateFixture f;
    AppState &s = f.createSignedIn();
    f.route("GET /users/me", [](auto &) { return errorAnswer(503, "UNAVAILABLE"); });
    const int before = f.count("GET /users/me");
    bool done = false;
    s.refreshAfterMutation(nullptr, [&] { done = true; });
    QTRY_VERIFY(done);
    QTRY_COMPARE(f.count("GET /users/me"), before + 2);
    QCOMPARE(
        f.log.countStartingWith("[AppState] post-mutation refreshMe failed (will retry in background): "), 1);
    QTest::qWait(50);
    QCOMPARE(f.count("GET /users/me"), before + 2);
}

QTEST_GUILESS_MAIN(TestAppStateAccount)
#include "test_appstate_account.moc"
