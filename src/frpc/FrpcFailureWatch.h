#pragma once

#include <QHash>
#include <QObject>
#include <QString>

namespace ostrel {

class FrpcLogTail;

// Reads the log of every running frpc and keeps, per tunnel, the explanation (a catalogue key)
// of the last known failure it reported. An explanation lasts until the tunnel's next run starts
// or its output shows the failure is over.
class FrpcFailureWatch : public QObject {
    Q_OBJECT
public:
    explicit FrpcFailureWatch(QObject *parent = nullptr);

    // A run of the tunnel has started writing `logPath`: its earlier explanation goes.
    void follow(const QString &tunnelId, const QString &logPath);
    // The run has ended (or is being stopped): its last lines are read now, then no more.
    void finish(const QString &tunnelId);
    // Forgets every tunnel (sign-out).
    void clear();

    const QHash<QString, QString> &reasons() const { return m_reasons; }

signals:
    void reasonsChanged();

private:
    void setReason(const QString &tunnelId, const QString &key);

    QHash<QString, FrpcLogTail *> m_tails; // children
    QHash<QString, QString> m_reasons;
};

} // namespace ostrel
