#pragma once

#include "platform/AppcastFeed.h"
#include "platform/Clock.h"
#include "platform/Updater.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>

namespace ostrel {

// Updates from an appcast feed: fetches it, compares the newest item with the running
// version and announces a newer one. It does not download or install anything: the
// announcement leads the user to the release's download page.
class AppcastUpdater : public QObject, public Updater {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds defaultCheckInterval{std::chrono::hours(24)};
    static constexpr std::chrono::milliseconds firstCheckDelay{std::chrono::seconds(10)};

    // "https://" + host + "/download/appcast.xml"; invalid when host is empty.
    static QUrl feedURLForHost(const QString &host);

    AppcastUpdater(QUrl feedURL, QString currentVersion, Clock &clock = Clock::system(),
                   QObject *parent = nullptr);

    // Fails (with a description) when the feed is not an absolute https URL.
    bool start(QString *error);
    bool isStarted() const { return m_started; }
    QUrl feedURL() const { return m_feedURL; }

    void setAutomaticallyChecksForUpdates(bool on) override;
    bool automaticallyChecksForUpdates() const override { return m_automatic; }
    void checkForUpdatesInBackground() override;
    void checkForUpdates() override;

    void setCheckInterval(std::chrono::milliseconds interval) { m_interval = interval; }

signals:
    void updateAvailable(const ostrel::AppcastItem &item, bool userInitiated);
    void upToDate(bool userInitiated);
    void checkFailed(const QString &description, bool userInitiated);

private:
    void check(bool userInitiated);
    void schedule(std::chrono::milliseconds delay);

    QUrl m_feedURL;
    QString m_currentVersion;
    Clock &m_clock;
    QNetworkAccessManager m_network;
    bool m_started = false;
    bool m_automatic = false;
    std::chrono::milliseconds m_interval = defaultCheckInterval;
    QPointer<QObject> m_schedule; // the pending periodic check; deleting it cancels it
    QString m_lastAnnounced;      // background checks announce each version once
};

} // namespace ostrel
