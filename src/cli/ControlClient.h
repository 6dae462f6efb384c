#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace ostrel::cli {

// Where a running `ostrel-cli up` listens: beside the instance lock it holds, in this user's
// private runtime folder.
QString controlSocketPath(const QString &instanceLockPath);

// Sends one request to the running `ostrel-cli up` and waits for its answer; none when nobody
// (of this user) answers there.
std::optional<QJsonObject> askRunningUp(const QString &socketPath, const QJsonObject &request,
                                        int timeoutMs = 15000);

} // namespace ostrel::cli
