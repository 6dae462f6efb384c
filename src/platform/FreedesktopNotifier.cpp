#include "platform/FreedesktopNotifier.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace ostrel {

namespace {
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString notificationsInterface = QStringLiteral("org.freedesktop.Notifications");
} // namespace

FreedesktopNotifier::FreedesktopNotifier(QObject *parent)
    : FreedesktopNotifier(QDBusConnection::sessionBus(), notificationsInterface, parent)
{
}

FreedesktopNotifier::FreedesktopNotifier(const QDBusConnection &bus, const QString &service, QObject *parent)
    : Notifier(parent), m_bus(bus), m_service(service)
{
    m_bus.connect(m_service, notificationsPath, notificationsInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(m_service, notificationsPath, notificationsInterface, QStringLiteral("NotificationClosed"),
                  this, SLOT(onNotificationClosed(uint, uint)));
}

void FreedesktopNotifier::callServer(const QString &method, const QVariantList &arguments,
                                     std::function<void(const QDBusMessage &)> done)
{
    if (!m_bus.isConnected()) {
        // No session bus: a pending call would never finish, so answer with the error directly
        // (still from the event loop, like every other completion).
        const QDBusMessage error = QDBusMessage::createError(
            QDBusError::Disconnected, QStringLiteral("not connected to a session bus"));
        QMetaObject::invokeMethod(
            this, [error, done = std::move(done)] { done(error); }, Qt::QueuedConnection);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_service, notificationsPath, notificationsInterface, method);
    call.setArguments(arguments);
    // The watcher is our child: a notifier that is gone runs no completion.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [watcher, done = std::move(done)](QDBusPendingCallWatcher *) {
                watcher->deleteLater();
                done(watcher->reply());
            });
}

void FreedesktopNotifier::requestAuthorization(ErrorCallback done)
{
    callServer(QStringLiteral("GetServerInformation"), {},
               [done = std::move(done)](const QDBusMessage &reply) {
                   if (reply.type() == QDBusMessage::ErrorMessage)
                       done(QStringLiteral("no notification server: ") + reply.errorMessage());
                   else
                       done(std::nullopt);
               });
}

void FreedesktopNotifier::authorizationStatus(std::function<void(NotificationAuthorization)> done)
{
    callServer(QStringLiteral("GetServerInformation"), {},
               [done = std::move(done)](const QDBusMessage &reply) {
                   done(reply.type() == QDBusMessage::ErrorMessage ? NotificationAuthorization::denied
                                                                   : NotificationAuthorization::authorized);
               });
}

void FreedesktopNotifier::post(const QString &identifier, const QString &title, const QString &body,
                               ErrorCallback done)
{
    const uint replaces = m_idByIdentifier.value(identifier, 0);
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("ostrel")},
        {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
    };
    // "default" is the action a click on the notification body invokes.
    const QVariantList arguments{QStringLiteral("Ostrel"), replaces, QStringLiteral("ostrel"), title,
                                 // Servers read the body as markup; ours is plain text.
                                 body.toHtmlEscaped(), QStringList{QStringLiteral("default"), QString()},
                                 hints, -1};
    callServer(QStringLiteral("Notify"), arguments,
               [this, identifier, done = std::move(done)](const QDBusMessage &reply) {
                   if (reply.type() == QDBusMessage::ErrorMessage) {
                       done(reply.errorMessage());
                       return;
                   }
                   const uint id = reply.arguments().value(0).toUInt();
                   const uint previous = m_idByIdentifier.value(identifier, 0);
                   if (previous != 0 && previous != id)
                       m_identifierById.remove(previous);
                   m_idByIdentifier.insert(identifier, id);
                   m_identifierById.insert(id, identifier);
                   done(std::nullopt);
               });
}

void FreedesktopNotifier::onActionInvoked(uint id, const QString &actionKey)
{
    const auto it = m_identifierById.constFind(id);
    if (it != m_identifierById.cend() && actionKey == QLatin1String("default"))
        emit activated(*it);
}

void FreedesktopNotifier::onNotificationClosed(uint id, uint)
{
    // A later notification under the same identifier then shows as a new one.
    const QString identifier = m_identifierById.take(id);
    if (!identifier.isEmpty() && m_idByIdentifier.value(identifier) == id)
        m_idByIdentifier.remove(identifier);
}

} // namespace ostrel
