#include "cli/CliCommands.h"

#include "cli/CliText.h"
#include "cli/ControlClient.h"
#include "cli/RunningSupervisor.h"
#include "cli/SecretPrompt.h"
#include "state/AppState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

namespace ostrel::cli {

namespace {

// A magic link as the mail has it ("ostrel://magic-link?token=..."), or the token alone.
QString linkToken(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QUrl url(trimmed);
    if (url.scheme() == QLatin1String("ostrel"))
        return QUrlQuery(url).queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
    return trimmed;
}

} // namespace

CliCommands::CliCommands(AppState &state, QString fallbackPath, QString lockPath, QObject *parent)
    : QObject(parent), m_state(state), m_fallbackPath(std::move(fallbackPath)),
      m_lockPath(std::move(lockPath))
{
}

void CliCommands::run(const CliOptions &options)
{
    switch (options.command) {
    case CliOptions::Command::login:
        login(options);
        return;
    case CliOptions::Command::logout:
        logout();
        return;
    case CliOptions::Command::list:
        list(options.json);
        return;
    case CliOptions::Command::status:
        status(options.json);
        return;
    default:
        finish(exitUsage);
        return;
    }
}

void CliCommands::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(exitCode);
}

// ---- login and logout ---------------------------------------------------------------------

void CliCommands::login(const CliOptions &options)
{
    // A failure with a new session in place is the tunnel list's, after the sign-in succeeded.
    const std::optional<QString> before =
        m_state.session() ? std::optional(m_state.session()->token) : std::nullopt;
    const auto done = [this, before](const std::optional<ApiFailure> &failure) {
        const bool newSession = m_state.isSignedIn() && m_state.session()->token != before;
        afterSignIn(failure, failure && !newSession);
    };
    if (options.link) {
        const std::optional<QString> text =
            options.linkText.isEmpty() ? readSecret(QStringLiteral("Sign-in link: ")) : options.linkText;
        const QString token = text ? linkToken(*text) : QString();
        if (token.isEmpty()) {
            printError(QStringLiteral("no sign-in link given"));
            finish(exitUsage);
            return;
        }
        // Asking for a link sign-in is the user's word to replace the account signed in.
        connect(&m_state, &AppState::pendingAccountSwitchChanged, this, [this] {
            if (m_state.pendingAccountSwitch())
                m_state.confirmAccountSwitch();
        });
        m_state.signInWithMagicLink(token, this, done);
        return;
    }
    const std::optional<QString> password =
        readSecret(QStringLiteral("Password for %1: ").arg(options.email));
    if (!password || password->isEmpty()) {
        printError(QStringLiteral("no password given"));
        finish(exitUsage);
        return;
    }
    m_state.signIn(options.email, *password, this, done);
}

void CliCommands::afterSignIn(const std::optional<ApiFailure> &failure, bool refused)
{
    if (refused || !m_state.isSignedIn()) {
        printError(QStringLiteral("sign-in failed: ") +
                   (failure ? failureText(*failure) : QStringLiteral("the service named no account")));
        finish(failure ? exitCodeFor(*failure) : exitRefused);
        return;
    }
    if (failure)
        printError(QStringLiteral("signed in, but the tunnels could not be loaded: ") +
                   failureText(*failure));
    printLine(QStringLiteral("signed in as ") + m_state.session()->user->email);
    if (!m_fallbackPath.isEmpty())
        printLine(QStringLiteral("no Secret Service on this machine: the session token is kept in ") +
                  m_fallbackPath + QStringLiteral(" (readable only by you)"));
    finish(exitOk);
}

void CliCommands::logout()
{
    // Tunnels served under the session end with it.
    if (RunningSupervisor::read(m_lockPath).kind == RunningSupervisor::Kind::cliUp &&
        askRunningUp(controlSocketPath(m_lockPath), {{QStringLiteral("op"), QStringLiteral("signOut")}}))
        printLine(QStringLiteral("ostrel-cli up stopped its tunnels"));
    const bool hadSession = m_state.session().has_value();
    m_state.signOut();
    printLine(hadSession ? QStringLiteral("signed out") : QStringLiteral("not signed in"));
    finish(exitOk);
}

// ---- list and status ------------------------------------------------------------------------

bool CliCommands::requireSession()
{
    if (m_state.session())
        return true;
    printError(QStringLiteral("not signed in; sign in with: ostrel-cli login EMAIL"));
    finish(exitRefused);
    return false;
}

std::optional<QJsonObject> CliCommands::servedStates()
{
    if (RunningSupervisor::read(m_lockPath).kind != RunningSupervisor::Kind::cliUp)
        return std::nullopt;
    const std::optional<QJsonObject> answer =
        askRunningUp(controlSocketPath(m_lockPath), {{QStringLiteral("op"), QStringLiteral("status")}});
    if (!answer)
        return std::nullopt;
    return answer->value(QStringLiteral("states")).toObject();
}

// Ends with the failure's exit status, or goes on with `then`.
AppState::Completion CliCommands::orFail(const QString &what, std::function<void()> then)
{
    return [this, what, then = std::move(then)](const std::optional<ApiFailure> &failure) {
        if (!failure) {
            then();
            return;
        }
        printError(what + QStringLiteral(" could not be loaded: ") + failureText(*failure));
        finish(exitCodeFor(*failure));
    };
}

void CliCommands::list(bool json)
{
    if (!requireSession())
        return;
    m_state.refreshTunnels(this, orFail(QStringLiteral("the tunnels"), [this, json] {
                               printTunnels(json, std::nullopt);
                               finish(exitOk);
                           }));
}

void CliCommands::status(bool json)
{
    if (!requireSession())
        return;
    m_state.refreshMe(this, orFail(QStringLiteral("the account"), [this, json] {
                          m_state.refreshTunnels(
                              this, orFail(QStringLiteral("the tunnels"), [this, json] {
                                  const User &user = *m_state.session()->user;
                                  const RunningSupervisor supervisor = RunningSupervisor::read(m_lockPath);
                                  QString servedBy;
                                  if (supervisor.kind == RunningSupervisor::Kind::cliUp)
                                      servedBy = QStringLiteral("ostrel-cli up");
                                  else if (supervisor.kind == RunningSupervisor::Kind::trayApp)
                                      servedBy = QStringLiteral("tray app");
                                  printTunnels(json,
                                               QJsonObject{{QStringLiteral("email"), user.email},
                                                           {QStringLiteral("plan"), user.tier},
                                                           {QStringLiteral("servedBy"),
                                                            servedBy.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                                               : QJsonValue(servedBy)},
                                                           {QStringLiteral("pid"), supervisor.pid}});
                                  finish(exitOk);
                              }));
                      }));
}

// The tunnel list, after an account header for status.
void CliCommands::printTunnels(bool json, std::optional<QJsonObject> header)
{
    const std::optional<QJsonObject> states = servedStates();
    const auto stateOf = [&states](const QString &id) -> std::optional<QString> {
        if (!states)
            return std::nullopt;
        return states->value(id).toString(QStringLiteral("stopped"));
    };
    QJsonArray tunnels;
    QStringList lines;
    for (const Tunnel &tunnel : m_state.tunnels()) {
        tunnels.append(tunnelJson(tunnel, m_state.publicHost(), stateOf(tunnel.id)));
        lines << tunnelLine(tunnel, m_state.publicHost(), stateOf(tunnel.id));
    }
    if (json) {
        if (header) {
            QJsonObject object = *header;
            object.insert(QStringLiteral("tunnels"), tunnels);
            printLine(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
        } else {
            printLine(QString::fromUtf8(QJsonDocument(tunnels).toJson(QJsonDocument::Compact)));
        }
        return;
    }
    if (header) {
        printLine(QStringLiteral("signed in as %1 (%2 plan)")
                      .arg(header->value(QStringLiteral("email")).toString(),
                           header->value(QStringLiteral("plan")).toString()));
        const QString servedBy = header->value(QStringLiteral("servedBy")).toString();
        printLine(servedBy.isEmpty() ? QStringLiteral("no tunnels served on this machine")
                                     : QStringLiteral("tunnels served by the %1 (pid %2)")
                                           .arg(servedBy)
                                           .arg(header->value(QStringLiteral("pid")).toInteger()));
    }
    if (lines.isEmpty())
        printLine(QStringLiteral("no tunnels on this account"));
    for (const QString &line : lines)
        printLine(line);
}

} // namespace ostrel::cli
