#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace ostrel {

enum class NotificationAuthorization {
    notDetermined = 0,
    denied = 1,
    authorized = 2,
    provisional = 3,
    ephemeral = 4
};

// Desktop notifications. Completions are delivered on the main thread.
class Notifier : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    using ErrorCallback = std::function<void(const std::optional<QString> &error)>;

    virtual void requestAuthorization(ErrorCallback done) = 0;
    virtual void authorizationStatus(std::function<void(NotificationAuthorization)> done) = 0;
    // A notification with the same identifier replaces the earlier one.
    virtual void post(const QString &identifier, const QString &title, const QString &body,
                      ErrorCallback done) = 0;
signals:
    // The user clicked a notification (its default action).
    void activated(const QString &identifier);
};

} // namespace ostrel
