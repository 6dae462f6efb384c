#pragma once

#include "platform/Notifier.h"

#include <QList>

namespace ostrel {

// A notifier for tests: records every request and post and answers at once with the
// configured status and errors.
class FakeNotifier final : public Notifier {
public:
    struct Posted {
        QString identifier;
        QString title;
        QString body;
    };

    using Notifier::Notifier;

    void requestAuthorization(ErrorCallback done) override
    {
        ++authorizationRequests;
        done(requestError);
    }
    void authorizationStatus(std::function<void(NotificationAuthorization)> done) override
    {
        ++statusReads;
        done(status);
    }
    void post(const QString &identifier, const QString &title, const QString &body,
              ErrorCallback done) override
    {
        if (!postError)
            posts.append({identifier, title, body});
        done(postError);
    }

    // A click on the notification posted under `identifier`.
    void click(const QString &identifier) { emit activated(identifier); }

    NotificationAuthorization status = NotificationAuthorization::authorized;
    std::optional<QString> requestError;
    std::optional<QString> postError;
    int authorizationRequests = 0;
    int statusReads = 0;
    QList<Posted> posts;
};

} // namespace ostrel
