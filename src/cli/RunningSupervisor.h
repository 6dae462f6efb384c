#pragma once

#include <QString>

namespace ostrel::cli {

// Which program of this user supervises tunnels right now, read from the instance lock that the
// tray app and `ostrel-cli up` both take (without taking it, and without handing the tray app a
// message that would open its popover).
struct RunningSupervisor {
    enum class Kind { none, cliUp, trayApp };

    Kind kind = Kind::none;
    qint64 pid = 0;

    static RunningSupervisor read(const QString &lockPath);
    // What to tell a user who wants tunnels served here while `kind` runs.
    QString busyMessage() const;
};

} // namespace ostrel::cli
