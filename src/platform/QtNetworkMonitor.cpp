#include "platform/QtNetworkMonitor.h"

#include <QMetaObject>

namespace ostrel {

bool QtNetworkMonitor::isSatisfied(QNetworkInformation::Reachability reachability)
{
    using R = QNetworkInformation::Reachability;
    return reachability == R::Online || reachability == R::Unknown;
}

void QtNetworkMonitor::start()
{
    // Qt 6.4's default on Linux is the NetworkManager backend only; the glib backend covers
    // machines without NetworkManager.
    QNetworkInformation *info = QNetworkInformation::instance();
    if (!info && !QNetworkInformation::loadDefaultBackend() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        report(true);
        return;
    }
    info = QNetworkInformation::instance();
    connect(info, &QNetworkInformation::reachabilityChanged, this,
            [this](QNetworkInformation::Reachability r) { emit pathUpdated(isSatisfied(r)); });
    report(isSatisfied(info->reachability()));
}

void QtNetworkMonitor::report(bool satisfied)
{
    // Like a path monitor's first callback, the initial state arrives from the event loop, after
    // start() has returned.
    QMetaObject::invokeMethod(
        this, [this, satisfied] { emit pathUpdated(satisfied); }, Qt::QueuedConnection);
}

} // namespace ostrel
