#pragma once

#include <QString>

#include <optional>

namespace ostrel {

// Recognises the known frpc failures in its output lines (ANSI codes already stripped) and names
// the catalogue key of a plain explanation for each.
class FrpcFailureRecognizer {
public:
    // For a line that reports a known failure, the key of its explanation; for a line that shows
    // an earlier failure is over (the login or the proxy start succeeded), an empty key; for any
    // other line, nothing.
    static std::optional<QString> reasonKey(const QString &line);
};

} // namespace ostrel
