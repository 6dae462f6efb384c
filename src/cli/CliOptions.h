#pragma once

#include <QString>
#include <QStringList>

#include <variant>

namespace ostrel::cli {

// The exit status of every command.
enum ExitCode : int {
    exitOk = 0,
    exitRefused = 1,   // the service or the rules said no: wrong password, free-plan limit
    exitRetryable = 2, // the service could not be reached or failed; trying again may work
    exitUsage = 64,    // the command line itself is wrong
};

// One parsed command line.
struct CliOptions {
    enum class Command { help, login, logout, status, list, start, stop, up };

    Command command = Command::help;
    QStringList ids;   // start, stop, up
    bool json = false; // list, status
    QString email;     // login with a password
    bool link = false; // login with a magic link
    QString linkText;  // the link or its token; empty: read like a password
    bool verbose = false;

    // Options and commands as given (without the program name); a text saying what is wrong
    // when they make no command.
    static std::variant<CliOptions, QString> parse(const QStringList &arguments);
    static QString usage();
};

} // namespace ostrel::cli
