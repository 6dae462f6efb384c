// The restore of a stored session on its own: a scripted session answers each user refresh.

#include "state/SessionRestorer.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"

#include <QSignalSpy>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using namespace std::chrono_literals;

namespace {

class ScriptedSession : public SessionContext {
public:
    std::optional<AuthSession> session = AuthSession{"stored", std::nullopt};
    QList<Completion> refreshes; // unanswered, oldest first

    const std::optional<AuthSession> &currentSession() const override { return session; }
    std::optional<QString> requestToken() const override
    {
        return session ? std::optional(session->token) : std::nullopt;
    }
    QString currentLanguage() const override { return "en"; }
    void refreshUser(QObject *context, Completion done) override { refreshes << guarded(context, done); }
};

ApiFailure answerOf(int status)
{
    return ApiError{status, status == 401 ? "UNAUTHORIZED" : "INTERNAL", "expired", {}};
}

} // namespace

class TestSessionRestorer : public QObject {
    Q_OBJECT
private slots:
    void retriesThenReconnectsUntilAnAnswer_data()
    {
        // Failures (500) before the last answer; then what happens just before that answer arrives.
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("last");          // 200, 401, 500, or 0: no further request is made
        QTest::addColumn<QString>("meanwhile"); // "", "signed out", "signed in again", "user known"
        QTest::addColumn<QString>("line");      // the line logged with the last answer
        const auto row = [](const char *name, int failures, int last, const QString &meanwhile = {},
                            const QString &line = {}) {
            QTest::newRow(name) << failures << last << meanwhile << line;
        };
        row("first attempt succeeds", 0, 200);
        row("background attempt succeeds", 4, 200, {}, "[AppState] background reconnect succeeded");
        row("rejected at once", 0, 401, {}, "[AppState] stored token rejected (401), signing out: expired");
        row("rejected in the background", 3, 401, {},
            "[AppState] background reconnect: token rejected (401), signing out");
        row("rejection of a token no longer in use", 1, 401, "signed in again");
        row("signed out during the first attempts", 1, 0, "signed out");
        row("signed out in the background", 4, 0, "signed out");
        row("a user arrived another way", 3, 500, "user known");
    }
    void retriesThenReconnectsUntilAnAnswer()
    {
        QFETCH(int, failures);
        QFETCH(int, last);
        QFETCH(QString, meanwhile);
        QFETCH(QString, line);
        LogCapture log;
        ManualClock clock;
        ScriptedSession session;
        SessionRestorer restorer(session, clock);
        QSignalSpy restored(&restorer, &SessionRestorer::restored);
        QSignalSpy rejected(&restorer, &SessionRestorer::rejected);
        restorer.restore();
        // Three attempts 2 s apart, then one every 5 s.
        for (int n = 1; n <= failures; ++n) {
            QCOMPARE(session.refreshes.size(), 1);
            session.refreshes.takeFirst()(answerOf(500));
            const QString failed =
                n <= 3 ? QString("[AppState] restoreSession initial attempt %1/3 failed: ").arg(n)
                       : "[AppState] background reconnect retry failed: ";
            QCOMPARE(log.countStartingWith(failed), n <= 3 ? 1 : n - 3);
            QCOMPARE(log.lines.contains(
                         "[AppState] restoreSession: initial retries failed, starting background reconnect"),
                     n >= 3);
            if (n == failures && meanwhile == "signed out")
                break;
            const auto wait = n < 3 ? 2s : 5s;
            clock.advance(wait - 1ms);
            QVERIFY(session.refreshes.isEmpty());
            clock.advance(1ms);
        }
        if (meanwhile == "signed out")
            session.session.reset();
        else if (meanwhile == "user known")
            session.session->user = User{};
        else if (meanwhile == "signed in again")
            session.session = AuthSession{"newer", std::nullopt};
        if (last != 0) {
            QCOMPARE(session.refreshes.size(), 1);
            session.refreshes.takeFirst()(last == 200 ? std::nullopt : std::optional(answerOf(last)));
        }
        // The restore is over: no further request, nothing left waiting.
        clock.advance(60s);
        QVERIFY(session.refreshes.isEmpty());
        QCOMPARE(restored.size(), last == 200 ? 1 : 0);
        QCOMPARE(rejected.size(), last == 401 && meanwhile.isEmpty() ? 1 : 0);
        if (!line.isEmpty())
            QVERIFY(log.contains(line));
        QCOMPARE(clock.pendingCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSessionRestorer)
#include "test_session_restorer.moc"
