#include "support/DevService.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTest>
#include <QUrlQuery>

#include <csignal>
#include <sys/prctl.h>

namespace ostrel::test {

DevService::~DevService()
{
    stop();
}

bool DevService::start(bool seed)
{
    const int timeoutMs = 30000;
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("ostrel-devservice");
    // Few hashing rounds: the tests create many accounts and run under sanitizers.
    QStringList args{"--db", ":memory:", "--port", "0", "--control-port", "0", "--hash-iterations", "1000"};
    if (seed)
        args << "--seed";
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start(program, args);
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = "cannot start " + program + ": " + m_process.errorString();
        return false;
    }
    static const QRegularExpression ports(
        R"(^listening on (http://127\.0\.0\.1:\d+)\ncontrol port 127\.0\.0\.1:(\d+)$)",
        QRegularExpression::MultilineOption);
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const auto found = ports.match(output());
        if (found.hasMatch()) {
            m_baseUrl = QUrl(found.captured(1));
            m_controlPort = quint16(found.captured(2).toUInt());
            return true;
        }
        if (m_process.state() != QProcess::Running || deadline.hasExpired() ||
            !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            m_error = "the service did not report its ports; output:\n" + output();
            return false;
        }
    }
}

int DevService::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(15000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
            return -1;
        }
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString DevService::output()
{
    m_output += m_process.readAll();
    return QString::fromUtf8(m_output);
}

HttpAnswer DevService::request(const QByteArray &method, const QString &path, const QByteArray &payload,
                               const QString &token)
{
    QNetworkRequest req(m_baseUrl.resolved(QUrl(path)));
    req.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!token.isEmpty())
        req.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    QNetworkReply *reply = m_network.sendCustomRequest(req, method, payload);
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 30000))
        qWarning() << "the service did not answer" << method << path;
    HttpAnswer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.headers = reply->rawHeaderPairs();
    const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll());
    if (!doc.isNull())
        answer.json = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
    reply->abort();
    reply->deleteLater();
    return answer;
}

QJsonArray DevService::mailbox(const QString &email)
{
    QUrlQuery query;
    query.addQueryItem("email", email);
    return get("/dev/mailbox?" + query.toString(QUrl::FullyEncoded)).json.toArray();
}

QString DevService::latestLinkToken(const QString &email, const QString &linkPrefix)
{
    const QJsonArray mails = mailbox(email);
    for (qsizetype i = mails.size() - 1; i >= 0; --i) {
        for (const QJsonValue &link : mails.at(i)["links"].toArray())
            if (link.toString().startsWith(linkPrefix))
                return QUrlQuery(QUrl(link.toString())).queryItemValue("token", QUrl::FullyDecoded);
    }
    return {};
}

bool DevService::requestMagicLink(const QString &email)
{
    return post("/dev/magic-link", {{"email", email}}).status == 204;
}

bool DevService::addUsage(const QString &email, qint64 bytes)
{
    return post("/dev/usage", {{"email", email}, {"bytes", bytes}}).status == 204;
}

bool DevService::setPlan(const QString &email, const QString &tier)
{
    return post("/dev/plan", {{"email", email}, {"tier", tier}}).status == 204;
}

QString DevService::signIn(const QString &email, const QString &password)
{
    return post("/auth/login", {{"email", email}, {"password", password}}).json["token"].toString();
}

QString DevService::signUp(const QString &email, const QString &password, bool verified)
{
    const HttpAnswer created = post("/auth/signup", {{"email", email}, {"password", password}});
    if (created.status != 201)
        return {};
    if (!verified)
        return created.json["token"].toString();
    const QString verifyToken = latestLinkToken(email, "ostrel://auth/verify-email");
    const HttpAnswer verifiedAnswer = get("/auth/verify-email?token=" + verifyToken);
    return verifiedAnswer.status == 200 ? verifiedAnswer.json["token"].toString() : QString();
}

} // namespace ostrel::test
