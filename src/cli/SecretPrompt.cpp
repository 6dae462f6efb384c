#include "cli/SecretPrompt.h"

#include <csignal>
#include <cstdio>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace ostrel::cli {

namespace {

termios savedTerminal{};

// Ctrl-C at the prompt must not leave the terminal without echo.
void restoreTerminalAndDie(int signal)
{
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::optional<std::string> readLine()
{
    std::string line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        line.push_back(char(c));
    if (c == EOF && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

std::optional<QString> readSecret(const QString &prompt)
{
    std::optional<std::string> line;
    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &savedTerminal) == 0) {
        std::fputs(prompt.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        const auto previousInt = std::signal(SIGINT, restoreTerminalAndDie);
        const auto previousTerm = std::signal(SIGTERM, restoreTerminalAndDie);
        termios quiet = savedTerminal;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        line = readLine();
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);
        std::fputc('\n', stderr);
    } else {
        line = readLine();
    }
    if (!line)
        return std::nullopt;
    return QString::fromStdString(*line);
}

} // namespace ostrel::cli
