#pragma once

#include <QObject>

namespace ostrel {

// Reports whether the machine has a usable network path. After start() it emits
// pathUpdated once with the current state and again on every change.
class NetworkMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void start() = 0;
signals:
    void pathUpdated(bool satisfied);
};

} // namespace ostrel
