#include "cli/CliOptions.h"

#include <QHash>

namespace ostrel::cli {

namespace {

using Command = CliOptions::Command;

const QHash<QString, Command> &commands()
{
    static const QHash<QString, Command> table{
        {QStringLiteral("login"), Command::login},   {QStringLiteral("logout"), Command::logout},
        {QStringLiteral("status"), Command::status}, {QStringLiteral("list"), Command::list},
        {QStringLiteral("start"), Command::start},   {QStringLiteral("stop"), Command::stop},
        {QStringLiteral("up"), Command::up},         {QStringLiteral("help"), Command::help},
    };
    return table;
}

} // namespace

std::variant<CliOptions, QString> CliOptions::parse(const QStringList &arguments)
{
    CliOptions options;
    QStringList words;
    bool commandSeen = false;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--json"))
            options.json = true;
        else if (argument == QLatin1String("--link"))
            options.link = true;
        else if (argument == QLatin1String("--verbose") || argument == QLatin1String("-v"))
            options.verbose = true;
        else if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return CliOptions{};
        else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1)
            return QStringLiteral("unknown option ") + argument;
        else if (!commandSeen) {
            if (!commands().contains(argument))
                return QStringLiteral("unknown command ") + argument;
            options.command = commands().value(argument);
            commandSeen = true;
        } else
            words << argument;
    }
    if (!commandSeen)
        return QStringLiteral("no command given");
    if (options.json && options.command != Command::list && options.command != Command::status)
        return QStringLiteral("--json goes with list and status only");
    if (options.link && options.command != Command::login)
        return QStringLiteral("--link goes with login only");
    switch (options.command) {
    case Command::login:
        if (words.size() != 1 && !(options.link && words.isEmpty()))
            return options.link ? QStringLiteral("login --link takes at most one link")
                                : QStringLiteral("login takes one e-mail address");
        (options.link ? options.linkText : options.email) = words.value(0);
        break;
    case Command::start:
    case Command::stop:
        if (words.isEmpty())
            return QStringLiteral("name at least one tunnel ID");
        options.ids = words;
        break;
    case Command::up:
        options.ids = words;
        break;
    case Command::help:
    case Command::logout:
    case Command::status:
    case Command::list:
        if (!words.isEmpty())
            return QStringLiteral("unexpected argument ") + words.first();
        break;
    }
    options.ids.removeDuplicates();
    return options;
}

QString CliOptions::usage()
{
    return QStringLiteral(
        "Usage: ostrel-cli [--verbose] COMMAND\n"
        "\n"
        "Commands:\n"
        "  login EMAIL          sign in; the password is read from the terminal without echo,\n"
        "                       or as the first line of standard input when that is not a\n"
        "                       terminal (echo \"$PW\" | ostrel-cli login EMAIL)\n"
        "  login --link [LINK]  sign in with a magic link (the ostrel:// link or its token);\n"
        "                       without LINK it is read like a password\n"
        "  logout               sign out and stop the tunnels ostrel-cli up serves\n"
        "  status [--json]      the account and the state of each tunnel\n"
        "  list [--json]        the tunnels of the account\n"
        "  up [ID...]           serve the given tunnels (all without IDs) in the foreground,\n"
        "                       printing each change, until SIGINT or SIGTERM stops them\n"
        "  start ID...          start tunnels in the running ostrel-cli up\n"
        "  stop ID...           stop tunnels in the running ostrel-cli up\n"
        "\n"
        "The session is shared with the Ostrel tray app (the desktop keyring, or a file readable\n"
        "only by you under ~/.config/ostrel/private when there is no keyring). Only one of the\n"
        "tray app and ostrel-cli up runs tunnels at a time.\n"
        "\n"
        "Exit status: 0 done, 1 refused (wrong password, plan limit, not signed in),\n"
        "2 service unreachable or failing (try again), 64 wrong usage.\n");
}

} // namespace ostrel::cli
