#include "platform/AppcastUpdater.h"

#include "platform/Log.h"

#include <QNetworkReply>

namespace ostrel {

QUrl AppcastUpdater::feedURLForHost(const QString &host)
{
    if (host.isEmpty())
        return {};
    return QUrl(QStringLiteral("https://") + host + QStringLiteral("/download/appcast.xml"),
                QUrl::StrictMode);
}

AppcastUpdater::AppcastUpdater(QUrl feedURL, QString currentVersion, Clock &clock, QObject *parent)
    : QObject(parent), m_feedURL(std::move(feedURL)), m_currentVersion(std::move(currentVersion)),
      m_clock(clock)
{
}

bool AppcastUpdater::start(QString *error)
{
    // Feeds are fetched over HTTPS; plain HTTP is accepted only from this machine (a local feed
    // for development).
    const bool local = m_feedURL.host() == u"127.0.0.1" || m_feedURL.host() == u"localhost";
    const bool secure = m_feedURL.scheme() == u"https" || (m_feedURL.scheme() == u"http" && local);
    if (!m_feedURL.isValid() || !secure || m_feedURL.host().isEmpty()) {
        if (error)
            *error = m_feedURL.isEmpty() ? QStringLiteral("no update feed configured")
                                         : QStringLiteral("invalid update feed URL ") + m_feedURL.toString();
        return false;
    }
    m_started = true;
    if (m_automatic)
        schedule(firstCheckDelay);
    return true;
}

void AppcastUpdater::setAutomaticallyChecksForUpdates(bool on)
{
    if (m_automatic == on)
        return;
    m_automatic = on;
    delete m_schedule;
    if (on && m_started)
        schedule(m_interval);
}

void AppcastUpdater::schedule(std::chrono::milliseconds delay)
{
    delete m_schedule;
    auto *job = new QObject(this);
    m_schedule = job;
    m_clock.singleShot(delay, job, [this, job] {
        job->deleteLater();
        check(false);
        if (m_automatic)
            schedule(m_interval);
    });
}

void AppcastUpdater::checkForUpdatesInBackground()
{
    check(false);
}

void AppcastUpdater::checkForUpdates()
{
    check(true);
}

void AppcastUpdater::check(bool userInitiated)
{
    if (!m_started) {
        const QString description = QStringLiteral("updater not started");
        Log::line(QStringLiteral("[Ostrel] update check failed: ") + description);
        emit checkFailed(description, userInitiated);
        return;
    }
    QNetworkRequest request(m_feedURL);
    request.setTransferTimeout(60000);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = m_network.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, userInitiated] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        QString failure;
        std::optional<QList<AppcastItem>> items;
        if (reply->error() != QNetworkReply::NoError)
            failure = reply->errorString();
        else if (status < 200 || status > 299)
            failure = QStringLiteral("HTTP ") + QString::number(status);
        else if (!(items = parseAppcast(reply->readAll())))
            failure = QStringLiteral("the feed is not a readable appcast");
        if (!failure.isEmpty()) {
            Log::line(QStringLiteral("[Ostrel] update check failed: ") + failure);
            emit checkFailed(failure, userInitiated);
            return;
        }
        const auto update = newestUpdate(*items, m_currentVersion);
        if (!update) {
            emit upToDate(userInitiated);
            return;
        }
        if (!userInitiated && update->version == m_lastAnnounced)
            return;
        m_lastAnnounced = update->version;
        emit updateAvailable(*update, userInitiated);
    });
}

} // namespace ostrel
