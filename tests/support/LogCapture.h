#pragma once

#include "platform/Log.h"

#include <QStringList>

namespace ostrel::test {

// Collects the log lines written while it exists.
class LogCapture {
public:
    LogCapture()
    {
        Log::setObserver([this](const QString &l) { lines << l; });
    }
    ~LogCapture() { Log::setObserver({}); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    bool contains(const QString &line) const { return lines.contains(line); }
    int countStartingWith(const QString &prefix) const
    {
        int n = 0;
        for (const QString &l : lines)
            n += l.startsWith(prefix) ? 1 : 0;
        return n;
    }

    QStringList lines;
};

} // namespace ostrel::test
