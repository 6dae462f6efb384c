#pragma once

#include "platform/AppcastFeed.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

namespace ostrel {

class Notifier;
class UrlOpener;

// The fixed content of the notification that announces a new version.
struct UpdateReadyNotification {
    QString identifier;
    QString title;
    QString body;

    static UpdateReadyNotification make(const QString &displayVersion, const QUuid &id = QUuid::createUuid());
};

// Turns the updater's findings into what the user sees: every newer version is announced by a
// notification (whatever the notification preferences say); clicking it opens the release's
// download page. A check the user asked for opens the page at once as well.
class UpdateAnnouncer : public QObject {
    Q_OBJECT
public:
    UpdateAnnouncer(Notifier &notifier, UrlOpener &urlOpener, QObject *parent = nullptr);

    void announce(const AppcastItem &item, bool userInitiated);
    // A notification click: opens the download page when `identifier` is one of ours.
    // Returns whether it was.
    bool handleActivation(const QString &identifier);

private:
    Notifier &m_notifier;
    UrlOpener &m_urlOpener;
    QHash<QString, QUrl> m_pageByIdentifier;
};

} // namespace ostrel
