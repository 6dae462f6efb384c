#pragma once

#include "platform/Notifier.h"

#include <QDBusConnection>
#include <QHash>

namespace ostrel {

// Desktop notifications through org.freedesktop.Notifications. There is no permission to ask
// for: the application counts as authorized whenever a notification server answers, and as denied
// when none does. A notification posted under an identifier that was used before replaces the
// earlier one (the server's replaces-id); clicking one emits activated(identifier).
class FreedesktopNotifier final : public Notifier {
    Q_OBJECT
public:
    static constexpr int callTimeoutMs = 10000;

    explicit FreedesktopNotifier(QObject *parent = nullptr);
    // For tests: another bus and service name.
    FreedesktopNotifier(const QDBusConnection &bus, const QString &service, QObject *parent = nullptr);

    void requestAuthorization(ErrorCallback done) override;
    void authorizationStatus(std::function<void(NotificationAuthorization)> done) override;
    void post(const QString &identifier, const QString &title, const QString &body,
              ErrorCallback done) override;

private slots:
    void onActionInvoked(uint id, const QString &actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    void callServer(const QString &method, const QVariantList &arguments,
                    std::function<void(const QDBusMessage &reply)> done);

    QDBusConnection m_bus;
    QString m_service;
    QHash<QString, uint> m_idByIdentifier;
    QHash<uint, QString> m_identifierById;
};

} // namespace ostrel
