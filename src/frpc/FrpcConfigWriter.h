#pragma once

#include "api/Models.h"

#include <QString>

#include <optional>

namespace ostrel {

// The text of a TOML basic string holding `value`, quotes included. Backslash, double quote
// and control characters are escaped, so a value can never end the string early.
QString tomlBasicString(const QString &value);

// True when `name` can be used as one component of a file name: not empty, not "." or "..",
// no "/", no NUL and no lone surrogate.
bool isPlainFileNameComponent(const QString &name);

// The first field whose value must not reach an frpc configuration file, or none. frpc expands
// Go template actions ("{{ ... }}") in the raw file before parsing it, so such values could read
// the environment; a text with a lone surrogate cannot be written as it is; the tunnel id becomes
// part of file names; a port must lie in 1-65535. Field
// names are those of the records ("id", "serverAddr", "authToken", "frpsProxyName", "protocolValue",
// "localHost", "subdomain", "serverPort", "localPort", "remotePort").
std::optional<QString> unsafeConfigField(const Tunnel &tunnel, const FrpcConfig &config);

// The frpc configuration for one tunnel. The TCP form is used when the protocol is exactly "tcp"
// and a remote port is present; otherwise the HTTP form.
QString frpcConfigText(const Tunnel &tunnel, const FrpcConfig &config);

} // namespace ostrel
