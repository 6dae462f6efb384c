#include "ApiServer.h"

#include "GuardedTcpServer.h"
#include "Output.h"

#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>

namespace ostrel::devservice {

namespace {

constexpr qint64 sessionLifetime = 30LL * 24 * 3600;
constexpr qint64 verifyLifetime = 24LL * 3600;
constexpr qint64 resetLifetime = 3600;
constexpr qint64 magicLifetime = 15 * 60;
constexpr int maxFailedLogins = 5;
constexpr qint64 failedLoginWindow = 15 * 60;

QString methodName(QHttpServerRequest::Method m)
{
    switch (m) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    default:
        return "UNKNOWN";
    }
}

const QString invalidLink = "This link is invalid or has expired";

QList<QByteArray> headerValues(const QHttpServerRequest &request, const QByteArray &name)
{
    QList<QByteArray> values;
    for (const auto &h : request.headers()) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            values << h.second;
    }
    return values;
}

bool isSafeMethod(QHttpServerRequest::Method m)
{
    using M = QHttpServerRequest::Method;
    return m == M::Get || m == M::Head || m == M::Options;
}

} // namespace

Reply jsonReply(const QJsonValue &value, int status)
{
    Reply r;
    r.status = status;
    r.body = value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                             : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    return r;
}

Reply noContent()
{
    Reply r;
    r.status = 204;
    r.contentType.clear();
    return r;
}

Reply errorReply(int status, const QString &code, const QJsonValue &message)
{
    return jsonReply(
        QJsonObject{{"error", QJsonObject{{"code", code}, {"message", message}}}, {"statusCode", status}},
        status);
}

Reply validationError(const QStringList &messages)
{
    return errorReply(400, "VALIDATION_ERROR", QJsonArray::fromStringList(messages));
}

ApiServer::ApiServer(Store &store, ServiceOptions options, QObject *parent)
    : QObject(parent), m_store(store), m_options(std::move(options)),
      m_control([this](const QString &token, const QStringList &names) {
          return authorizeControlLogin(token, names);
      })
{
    using M = QHttpServerRequest::Method;
    addRoute(M::Post, "/auth/login", false, &ApiServer::login);
    addRoute(M::Post, "/auth/signup", false, &ApiServer::signup);
    addRoute(M::Post, "/auth/forgot-password", false, &ApiServer::forgotPassword);
    addRoute(M::Post, "/auth/reset-password", false, &ApiServer::resetPassword);
    addRoute(M::Get, "/auth/reset-password/verify", false, &ApiServer::verifyResetToken);
    addRoute(M::Get, "/auth/magic-link/verify", false, &ApiServer::verifyMagicLink);
    addRoute(M::Get, "/auth/verify-email", false, &ApiServer::verifyEmail);
    addRoute(M::Post, "/auth/verify-email/resend", false, &ApiServer::resendVerification);
    addRoute(M::Post, "/auth/change-password", true, &ApiServer::changePassword);
    addRoute(M::Get, "/auth/frpc-config", true, &ApiServer::frpcConfig);
    addRoute(M::Get, "/users/me", true, &ApiServer::me);
    addRoute(M::Patch, "/users/me", true, &ApiServer::updateMe);
    addRoute(M::Get, "/users/me/usage", true, &ApiServer::usage);
    addRoute(M::Post, "/users/me/client-info", true, &ApiServer::clientInfo);
    addRoute(M::Post, "/users/me/deletion/request", true, &ApiServer::requestDeletion);
    addRoute(M::Post, "/users/me/deletion/cancel", true, &ApiServer::cancelDeletion);
    addRoute(M::Get, "/tunnels", true, &ApiServer::listTunnels);
    addRoute(M::Post, "/tunnels", true, &ApiServer::createTunnel);
    addRoute(M::Get, "/tunnels/availability", true, &ApiServer::availability);
    addRoute(M::Patch, "/tunnels/([^/]+)", true, &ApiServer::updateTunnel);
    addRoute(M::Delete, "/tunnels/([^/]+)", true, &ApiServer::deleteTunnel);
    addRoute(M::Post, "/billing/lemonsqueezy/checkout", true, &ApiServer::createCheckout);
    addRoute(M::Get, "/checkout/([^/]+)", false, &ApiServer::checkoutPage);
    addRoute(M::Post, "/checkout/([^/]+)", false, &ApiServer::completeCheckout);
    addRoute(M::Get, "/health", false, &ApiServer::health);
    if (m_options.devEndpoints) {
        addRoute(M::Get, "/dev/mailbox", false, &ApiServer::devMailbox);
        addRoute(M::Post, "/dev/magic-link", false, &ApiServer::devMagicLink);
        addRoute(M::Post, "/dev/usage", false, &ApiServer::devUsage);
        addRoute(M::Post, "/dev/plan", false, &ApiServer::devPlan);
        addRoute(M::Post, "/dev/clock", false, &ApiServer::devClock);
    }

    m_purgeTimer.callOnTimeout(this, &ApiServer::purgeExpired);
    m_purgeTimer.start(std::chrono::seconds(m_options.purgeIntervalSeconds));

    // Every request goes through our own routing so that unknown paths and methods also get
    // the JSON error envelope.
    m_http.setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        const Reply reply = dispatch(request);
        QHttpServerResponse response(reply.contentType, reply.body,
                                     static_cast<QHttpServerResponse::StatusCode>(reply.status));
        if (reply.contentType.isEmpty())
            response.clearHeader("Content-Type");
        for (const auto &h : reply.headers)
            response.addHeader(h.first, h.second);
        response.write(std::move(responder));
    });
}

void ApiServer::addRoute(QHttpServerRequest::Method method, const QString &pattern, bool needsSession,
                         Handler handler)
{
    // Every request that carries data is JSON, but for the checkout page's own form.
    const bool jsonBody = method != QHttpServerRequest::Method::Get && !pattern.startsWith("/checkout/");
    m_routes.append(Route{method, QRegularExpression("^" + pattern + "$"), needsSession, jsonBody, handler});
}

bool ApiServer::listen(quint16 httpPort, quint16 controlPort, QString *error)
{
    // A QTcpServer of our own so that a busy port is reported instead of a silent 0.
    auto *server = new GuardedTcpServer(this);
    if (!server->listen(QHostAddress::LocalHost, httpPort)) {
        *error = QString("cannot listen on 127.0.0.1:%1: %2").arg(httpPort).arg(server->errorString());
        return false;
    }
    m_httpPort = server->serverPort();
    m_http.bind(server);
    if (!m_control.listen(controlPort)) {
        *error = QString("cannot listen on 127.0.0.1:%1: %2").arg(controlPort).arg(m_control.errorString());
        return false;
    }
    return true;
}

QDateTime ApiServer::now() const
{
    return QDateTime::currentDateTimeUtc().addSecs(m_clockOffsetSeconds);
}

Reply ApiServer::dispatch(const QHttpServerRequest &request)
{
    purgeDueAccounts();
    Call call;
    call.method = request.method();
    call.path = request.url().path();
    call.query = request.query();
    call.rawBody = request.body();
    for (const auto &h : request.headers()) {
        if (h.first.compare("Authorization", Qt::CaseInsensitive) == 0)
            call.bearer = QString::fromUtf8(h.second).trimmed();
    }

    const Route *route = nullptr;
    for (const Route &r : std::as_const(m_routes)) {
        const QRegularExpressionMatch match = r.pattern.match(call.path);
        if (match.hasMatch() && r.method == call.method) {
            route = &r;
            call.captures = match.capturedTexts().mid(1);
            break;
        }
    }
    std::optional<Reply> refusal = browserRefusal(request, call);
    if (!refusal && !route)
        refusal =
            errorReply(404, "NOT_FOUND", QString("Cannot %1 %2").arg(methodName(call.method), call.path));
    if (!refusal && route->jsonBody) {
        const QList<QByteArray> types = headerValues(request, "Content-Type");
        if (types.size() != 1 || !isJsonContentType(types.first()))
            refusal = errorReply(415, "UNSUPPORTED_MEDIA_TYPE", "Content-Type must be application/json");
    }
    if (!refusal && route->needsSession)
        refusal = authenticate(call);
    if (!refusal && route->jsonBody) {
        if (std::optional<QJsonObject> body = jsonBodyObject(call.rawBody))
            call.body = std::move(*body);
        else
            refusal = validationError({"body must be a JSON object"});
    }
    const Reply reply = refusal ? *refusal : (this->*(route->handler))(call);
    say(QString("[http] %1 %2 -> %3").arg(methodName(call.method), call.path).arg(reply.status));
    return reply;
}

std::optional<Reply> ApiServer::browserRefusal(const QHttpServerRequest &request, const Call &call) const
{
    const QList<QByteArray> hosts = headerValues(request, "Host");
    if (hosts.size() != 1 || !isServedHost(hosts.first(), m_httpPort))
        return errorReply(
            421, "MISDIRECTED_REQUEST",
            QString("This service answers only to 127.0.0.1, localhost or [::1] on port %1").arg(m_httpPort));
    // The mailbox holds live sign-in links, so even reading /dev/ is refused to other origins.
    if (isSafeMethod(call.method) && !call.path.startsWith("/dev/"))
        return std::nullopt;
    const QList<QByteArray> origins = headerValues(request, "Origin");
    if (origins.isEmpty() || (origins.size() == 1 && isOwnOrigin(origins.first(), m_httpPort)))
        return std::nullopt;
    return errorReply(403, "FORBIDDEN", "Requests from other web origins are not accepted");
}

std::optional<Reply> ApiServer::authenticate(Call &call)
{
    if (!call.bearer.startsWith("Bearer ") || call.bearer.size() <= 7)
        return errorReply(401, "UNAUTHORIZED", "Missing bearer token");
    const QString token = call.bearer.mid(7);
    const QString digest = tokenDigest(token);
    const std::optional<QString> userId = m_store.sessionUser(digest, now());
    std::optional<UserRow> user = userId ? m_store.userById(*userId) : std::nullopt;
    if (!user)
        return errorReply(401, "UNAUTHORIZED", "Invalid or expired token");
    if (user->disabledAt)
        return errorReply(403, "FORBIDDEN", "This account has been disabled");
    call.user = *user;
    call.sessionDigest = digest;
    return std::nullopt;
}

void ApiServer::purgeExpired()
{
    const QDateTime windowStart = now().addSecs(-failedLoginWindow);
    qsizetype failures = 0;
    for (auto it = m_failedLogins.begin(); it != m_failedLogins.end();) {
        if (it->isEmpty() || it->last() < windowStart) {
            it = m_failedLogins.erase(it);
            ++failures;
        } else {
            ++it;
        }
    }
    const int sessions = m_store.deleteExpiredSessions(now());
    const int links = m_store.deleteExpiredOneTimeTokens(now());
    if (failures > 0 || sessions > 0 || links > 0)
        say(QString("[purge] removed %1 expired sessions, %2 expired links and %3 failed sign-in records")
                .arg(sessions)
                .arg(links)
                .arg(failures));
}

void ApiServer::purgeDueAccounts()
{
    for (const QString &id : m_store.usersDueForDeletion(now())) {
        m_control.disconnectAccount(id);
        if (m_store.deleteUser(id))
            say("[account] deleted account " + id + " (scheduled deletion reached)");
    }
}

QJsonObject ApiServer::userJson(const UserRow &u) const
{
    auto opt = [](const std::optional<QString> &v) {
        return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
    };
    return QJsonObject{{"id", u.id},
                       {"email", u.email},
                       {"name", opt(u.name)},
                       {"userSlug", opt(u.userSlug)},
                       {"language", opt(u.language)},
                       {"tier", u.tier},
                       {"scheduledDeletionAt", wireDateOrNull(u.scheduledDeletionAt)},
                       {"disabledAt", wireDateOrNull(u.disabledAt)},
                       {"emailVerifiedAt", wireDateOrNull(u.emailVerifiedAt)},
                       {"createdAt", wireDate(u.createdAt)}};
}

Reply ApiServer::loginResponse(const UserRow &user, int status)
{
    const QString token = randomToken();
    const QDateTime expiresAt = now().addSecs(sessionLifetime);
    if (!m_store.insertSession(tokenDigest(token), user.id, expiresAt))
        return errorReply(500, "INTERNAL_ERROR", "Could not create a session");
    return jsonReply(
        QJsonObject{{"token", token}, {"expiresAt", wireDate(expiresAt)}, {"user", userJson(user)}}, status);
}

void ApiServer::sendMail(const QString &to, const QString &subject, const QString &text,
                         const QStringList &links)
{
    MailRow mail{to, subject, text, links, now()};
    m_store.insertMail(mail);
    if (m_options.quietMail)
        return;
    say("[mail] to " + to + ": " + subject);
    for (const QString &line : text.split('\n'))
        say("[mail]   " + line);
    for (const QString &link : links)
        say("[mail]   link: " + link);
}

QString ApiServer::issueOneTimeToken(const UserRow &user, const QString &purpose, qint64 lifetimeSeconds)
{
    // Only the newest link of a kind works: asking again retires the earlier ones.
    m_store.revokeOneTimeTokens(user.id, purpose);
    const QString token = randomToken();
    m_store.insertOneTimeToken(tokenDigest(token), user.id, purpose, now().addSecs(lifetimeSeconds));
    return token;
}

std::optional<UserRow> ApiServer::redeemOneTimeToken(const QString &token, const QString &purpose)
{
    if (token.isEmpty())
        return std::nullopt;
    const QString digest = tokenDigest(token);
    const std::optional<QString> userId = m_store.oneTimeTokenUser(digest, purpose, now());
    if (!userId)
        return std::nullopt;
    std::optional<UserRow> user = m_store.userById(*userId);
    if (user)
        m_store.consumeOneTimeToken(digest);
    return user;
}

bool ApiServer::isOverBandwidth(const UserRow &user)
{
    if (user.isPro())
        return false;
    const BandwidthRow b = m_store.bandwidth(user.id, billingPeriod(now()).key);
    return b.inBytes + b.outBytes >= freeBandwidthLimitBytes;
}

ControlPort::Verdict ApiServer::authorizeControlLogin(const QString &token, const QStringList &proxyNames)
{
    purgeDueAccounts();
    const std::optional<UserRow> user = m_store.userByFrpToken(token);
    if (!user)
        return {{}, "invalid token"};
    if (user->disabledAt)
        return {{}, "account disabled"};
    if (!user->emailVerifiedAt)
        return {{}, "email not verified"};
    if (user->scheduledDeletionAt)
        return {{}, "account is scheduled for deletion"};
    if (isOverBandwidth(*user))
        return {{}, "bandwidth limit exceeded"};
    for (const QString &name : proxyNames) {
        const std::optional<TunnelRow> tunnel = m_store.tunnelByProxyName(name);
        if (!tunnel || tunnel->userId != user->id)
            return {{}, "unknown proxy " + name};
    }
    return {user->id, {}};
}

bool ApiServer::seedDemoAccount(const QString &email, const QString &password)
{
    std::optional<UserRow> existing = m_store.userByEmail(email);
    UserRow user = existing.value_or(UserRow{});
    if (!existing) {
        user.id = newId();
        user.email = email;
        user.name = QString("Demo User");
        user.tier = "free";
        user.frpToken = randomToken();
        user.createdAt = now();
    }
    user.password = hashPassword(password);
    if (!user.emailVerifiedAt)
        user.emailVerifiedAt = now();
    user.scheduledDeletionAt.reset();
    user.disabledAt.reset();
    return existing ? m_store.updateUser(user) : m_store.insertUser(user);
}

// ---- Authentication ----

Reply ApiServer::login(Call &call)
{
    const QString email = normalizedEmail(call.body.value("email").toString());
    const QJsonValue password = call.body.value("password");
    QStringList problems;
    if (!isValidEmail(email))
        problems << "email must be an email";
    problems << givenPasswordProblems(password, "password");
    if (!problems.isEmpty())
        return validationError(problems);

    // Looked up, not inserted: only a failure makes a record (and the purge removes it again).
    const auto recent = m_failedLogins.constFind(email);
    if (recent != m_failedLogins.cend()) {
        const QDateTime windowStart = now().addSecs(-failedLoginWindow);
        const auto inWindow = std::count_if(recent->cbegin(), recent->cend(),
                                            [&](const QDateTime &t) { return t >= windowStart; });
        if (inWindow >= maxFailedLogins)
            return errorReply(429, "RATE_LIMIT",
                              "Too many failed sign-in attempts. Try again in a few minutes.");
    }

    const std::optional<UserRow> user = m_store.userByEmail(email);
    bool ok = false;
    if (user) {
        ok = verifyPassword(password.toString(), user->password);
    } else {
        // Unknown addresses cost the same work as known ones, so timing does not reveal accounts.
        static const PasswordHash decoy = hashPassword(randomToken());
        verifyPassword(password.toString(), decoy);
    }
    if (!ok) {
        QList<QDateTime> &failures = m_failedLogins[email];
        const QDateTime windowStart = now().addSecs(-failedLoginWindow);
        failures.removeIf([&](const QDateTime &t) { return t < windowStart; });
        failures.append(now());
        return errorReply(401, "UNAUTHORIZED", "Invalid email or password");
    }
    m_failedLogins.remove(email);
    if (user->disabledAt)
        return errorReply(403, "FORBIDDEN", "This account has been disabled");
    return loginResponse(*user);
}

Reply ApiServer::signup(Call &call)
{
    const QJsonValue emailValue = call.body.value("email");
    const QJsonValue password = call.body.value("password");
    const QJsonValue name = call.body.value("name");
    const QString email = normalizedEmail(emailValue.toString());
    QStringList problems;
    if (!emailValue.isString() || !isValidEmail(email))
        problems << "email must be an email";
    problems << passwordProblems(password, "password");
    if (!name.isUndefined() && !name.isNull() && !name.isString())
        problems << "name must be a string";
    else if (name.toString().trimmed().size() > 100)
        problems << "name must be shorter than or equal to 100 characters";
    if (!problems.isEmpty())
        return validationError(problems);
    if (m_store.userByEmail(email))
        return errorReply(409, "CONFLICT", "An account with this email already exists");

    UserRow user;
    user.id = newId();
    user.email = email;
    const QString trimmedName = name.toString().trimmed();
    if (!trimmedName.isEmpty())
        user.name = trimmedName;
    user.tier = "free";
    user.password = hashPassword(password.toString());
    user.frpToken = randomToken();
    user.createdAt = now();
    if (!m_store.insertUser(user))
        return errorReply(500, "INTERNAL_ERROR", "Could not create the account");
    const QString token = issueOneTimeToken(user, "verify", verifyLifetime);
    const QString link = "ostrel://auth/verify-email?token=" + token;
    sendMail(email, "Verify your email address",
             "Welcome to Ostrel! Confirm your address to start creating tunnels:\n" + link +
                 "\nThe link is valid for 24 hours.",
             {link});
    return loginResponse(user, 201);
}

Reply ApiServer::forgotPassword(Call &call)
{
    const QString email = normalizedEmail(call.body.value("email").toString());
    if (!isValidEmail(email))
        return validationError({"email must be an email"});
    // The answer is the same whether or not the address has an account.
    if (const std::optional<UserRow> user = m_store.userByEmail(email)) {
        const QString token = issueOneTimeToken(*user, "reset", resetLifetime);
        const QString link = "ostrel://reset?token=" + token;
        sendMail(email, "Reset your password",
                 "Someone asked to reset the password of your Ostrel account. Open this link to choose a new "
                 "one:\n" +
                     link + "\nThe link is valid for one hour. If it was not you, ignore this message.",
                 {link});
    }
    return noContent();
}

Reply ApiServer::resetPassword(Call &call)
{
    const QJsonValue token = call.body.value("token");
    const QJsonValue password = call.body.value("newPassword");
    QStringList problems;
    if (!token.isString() || token.toString().isEmpty())
        problems << "token should not be empty";
    else if (token.toString().size() > maxTokenLength)
        problems << "token must be shorter than or equal to 256 characters";
    problems << passwordProblems(password, "newPassword");
    if (!problems.isEmpty())
        return validationError(problems);
    std::optional<UserRow> user = redeemOneTimeToken(token.toString(), "reset");
    if (!user)
        return errorReply(400, "INVALID_TOKEN", invalidLink);
    user->password = hashPassword(password.toString());
    if (!user->emailVerifiedAt)
        user->emailVerifiedAt = now(); // the reset link proved the address
    m_store.updateUser(*user);
    m_store.deleteSessionsOf(user->id); // every signed-in device must sign in again
    m_failedLogins.remove(user->email);
    sendMail(user->email, "Your password was changed",
             "The password of your Ostrel account was just reset. If it was not you, reset it again at once.",
             {});
    return noContent();
}

Reply ApiServer::verifyResetToken(Call &call)
{
    const QString token = call.query.queryItemValue("token", QUrl::FullyDecoded);
    const bool valid = !token.isEmpty() && m_store.oneTimeTokenUser(tokenDigest(token), "reset", now());
    return jsonReply(QJsonObject{{"valid", valid}});
}

Reply ApiServer::verifyMagicLink(Call &call)
{
    std::optional<UserRow> user =
        redeemOneTimeToken(call.query.queryItemValue("token", QUrl::FullyDecoded), "magic");
    if (!user)
        return errorReply(400, "INVALID_TOKEN", invalidLink);
    if (!user->emailVerifiedAt) {
        user->emailVerifiedAt = now();
        m_store.updateUser(*user);
    }
    return loginResponse(*user);
}

Reply ApiServer::verifyEmail(Call &call)
{
    std::optional<UserRow> user =
        redeemOneTimeToken(call.query.queryItemValue("token", QUrl::FullyDecoded), "verify");
    if (!user)
        return errorReply(400, "INVALID_TOKEN", invalidLink);
    if (!user->emailVerifiedAt) {
        user->emailVerifiedAt = now();
        m_store.updateUser(*user);
    }
    return loginResponse(*user);
}

Reply ApiServer::resendVerification(Call &call)
{
    const QString email = normalizedEmail(call.body.value("email").toString());
    if (!isValidEmail(email))
        return validationError({"email must be an email"});
    const std::optional<UserRow> user = m_store.userByEmail(email);
    if (user && !user->emailVerifiedAt) {
        const QString token = issueOneTimeToken(*user, "verify", verifyLifetime);
        const QString link = "ostrel://auth/verify-email?token=" + token;
        sendMail(email, "Verify your email address",
                 "Confirm your address to start creating tunnels:\n" + link +
                     "\nThe link is valid for 24 hours.",
                 {link});
    }
    return noContent();
}

Reply ApiServer::changePassword(Call &call)
{
    const QJsonValue current = call.body.value("currentPassword");
    const QJsonValue next = call.body.value("newPassword");
    QStringList problems = givenPasswordProblems(current, "currentPassword");
    problems << passwordProblems(next, "newPassword");
    if (!problems.isEmpty())
        return validationError(problems);
    if (!verifyPassword(current.toString(), call.user.password))
        return errorReply(401, "UNAUTHORIZED", "Current password is incorrect");
    call.user.password = hashPassword(next.toString());
    m_store.updateUser(call.user);
    m_store.deleteSessionsOf(call.user.id, call.sessionDigest); // other devices sign in again
    sendMail(call.user.email, "Your password was changed",
             "The password of your Ostrel account was just changed. If it was not you, reset it at once.",
             {});
    return noContent();
}

Reply ApiServer::frpcConfig(Call &call)
{
    return jsonReply(QJsonObject{{"serverAddr", "127.0.0.1"},
                                 {"serverPort", int(m_control.port())},
                                 {"authToken", call.user.frpToken},
                                 {"user", call.user.id}});
}

} // namespace ostrel::devservice
