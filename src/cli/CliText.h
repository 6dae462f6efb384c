#pragma once

#include "api/ApiResult.h"
#include "api/Models.h"
#include "state/TunnelRuntimeState.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace ostrel::cli {

// A line of the command's answer on standard output / a complaint on standard error.
void printLine(const QString &text);
void printError(const QString &text);

// The exit status and one plain sentence for a failed service call.
int exitCodeFor(const ApiFailure &failure);
QString failureText(const ApiFailure &failure);

QString stateName(TunnelRuntimeState state);
// A tunnel as a JSON object, with its local run state when this machine runs it.
QJsonObject tunnelJson(const Tunnel &tunnel, const QString &publicHost,
                       const std::optional<QString> &state = std::nullopt);
// "<id>  <public address> -> <local address>  <service status>[  <state>]"
QString tunnelLine(const Tunnel &tunnel, const QString &publicHost,
                   const std::optional<QString> &state = std::nullopt);

} // namespace ostrel::cli
