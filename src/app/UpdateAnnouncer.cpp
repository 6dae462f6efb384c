#include "app/UpdateAnnouncer.h"

#include "platform/Log.h"
#include "platform/Notifier.h"
#include "platform/UrlOpener.h"

namespace ostrel {

UpdateReadyNotification UpdateReadyNotification::make(const QString &displayVersion, const QUuid &id)
{
    return {QStringLiteral("ostrel.update.ready.") + id.toString(QUuid::WithoutBraces).toUpper(),
            QStringLiteral("Ostrel ") + displayVersion + QStringLiteral(" está listo para instalar"),
            QStringLiteral("Haz click para abrir Ostrel y completar la actualización.")};
}

UpdateAnnouncer::UpdateAnnouncer(Notifier &notifier, UrlOpener &urlOpener, QObject *parent)
    : QObject(parent), m_notifier(notifier), m_urlOpener(urlOpener)
{
}

void UpdateAnnouncer::announce(const AppcastItem &item, bool userInitiated)
{
    const UpdateReadyNotification note = UpdateReadyNotification::make(item.displayVersion);
    if (item.downloadPage.isValid())
        m_pageByIdentifier.insert(note.identifier, item.downloadPage);
    m_notifier.post(note.identifier, note.title, note.body, [](const std::optional<QString> &error) {
        if (error)
            Log::line(QStringLiteral("[Ostrel] Update notification failed: ") + *error);
    });
    if (userInitiated && item.downloadPage.isValid())
        m_urlOpener.open(item.downloadPage);
}

bool UpdateAnnouncer::handleActivation(const QString &identifier)
{
    const auto it = m_pageByIdentifier.constFind(identifier);
    if (it == m_pageByIdentifier.constEnd())
        return false;
    m_urlOpener.open(*it);
    return true;
}

} // namespace ostrel
