#include "frpc/FrpcFailureWatch.h"

#include "frpc/FrpcFailureRecognizer.h"
#include "frpc/FrpcLogTail.h"

namespace ostrel {

namespace {

// Only the newest lines matter here, and only until they have been looked at.
constexpr int keptLines = 50;

} // namespace

FrpcFailureWatch::FrpcFailureWatch(QObject *parent) : QObject(parent)
{
}

void FrpcFailureWatch::follow(const QString &tunnelId, const QString &logPath)
{
    delete m_tails.take(tunnelId);
    setReason(tunnelId, QString());
    auto *tail = new FrpcLogTail(logPath, keptLines, this);
    m_tails.insert(tunnelId, tail);
    connect(tail, &FrpcLogTail::linesAppended, this, [this, tunnelId](const QStringList &lines) {
        for (const QString &line : lines) {
            if (const auto key = FrpcFailureRecognizer::reasonKey(line))
                setReason(tunnelId, *key);
        }
    });
    tail->start();
}

void FrpcFailureWatch::finish(const QString &tunnelId)
{
    FrpcLogTail *tail = m_tails.take(tunnelId);
    if (!tail)
        return;
    tail->readAvailable();
    delete tail;
}

void FrpcFailureWatch::clear()
{
    qDeleteAll(m_tails);
    m_tails.clear();
    if (m_reasons.isEmpty())
        return;
    m_reasons.clear();
    emit reasonsChanged();
}

void FrpcFailureWatch::setReason(const QString &tunnelId, const QString &key)
{
    if (m_reasons.value(tunnelId) == key)
        return;
    if (key.isEmpty())
        m_reasons.remove(tunnelId);
    else
        m_reasons.insert(tunnelId, key);
    emit reasonsChanged();
}

} // namespace ostrel
