#pragma once

#include <QString>

#include <optional>

namespace ostrel::cli {

// Reads a password or sign-in link: from the terminal without echo (the prompt goes to standard
// error), or as the first line of standard input when that is not a terminal. None at the end of
// input. Never from the command line, where other users see it in the process list.
std::optional<QString> readSecret(const QString &prompt);

} // namespace ostrel::cli
