#include "ApiServer.h"

#include <QJsonArray>

#include <limits>

namespace ostrel::devservice {

namespace {

constexpr qint64 deletionGraceDays = 30;
const QStringList supportedLanguages{"en", "es"};
const QStringList clientInfoKeys{"installationId", "appVersion",  "appBuild", "macosVersion",
                                 "architecture",   "frpcVersion", "locale"};

} // namespace

Reply ApiServer::me(Call &call)
{
    return jsonReply(userJson(call.user));
}

Reply ApiServer::updateMe(Call &call)
{
    UserRow &user = call.user;
    QStringList problems;
    const QJsonValue name = call.body.value("name");
    const QJsonValue language = call.body.value("language");
    const QJsonValue slug = call.body.value("userSlug");
    if (!name.isUndefined()) {
        if (!name.isString() && !name.isNull()) {
            problems << "name must be a string";
        } else if (name.toString().trimmed().size() > 100) {
            problems << "name must be shorter than or equal to 100 characters";
        } else {
            const QString trimmed = name.toString().trimmed();
            user.name = trimmed.isEmpty() ? std::nullopt : std::optional<QString>(trimmed);
        }
    }
    if (!language.isUndefined()) {
        if (!language.isString() || !supportedLanguages.contains(language.toString()))
            problems << "language must be one of the following values: en, es";
        else
            user.language = language.toString();
    }
    if (!slug.isUndefined()) {
        if (!slug.isString() || !isWellFormedSubdomain(slug.toString()))
            problems << "userSlug must be 3 to 32 lower-case letters, digits or inner hyphens";
        else
            user.userSlug = slug.toString();
    }
    if (!problems.isEmpty())
        return validationError(problems);
    if (user.userSlug) {
        const std::optional<UserRow> holder = m_store.userBySlug(*user.userSlug);
        if (holder && holder->id != user.id)
            return errorReply(409, "CONFLICT", "This user slug is already taken");
    }
    if (!m_store.updateUser(user))
        return errorReply(500, "INTERNAL_ERROR", "Could not save the profile");
    return jsonReply(userJson(user));
}

Reply ApiServer::usage(Call &call)
{
    const BillingPeriod period = billingPeriod(now());
    const BandwidthRow b = m_store.bandwidth(call.user.id, period.key);
    const QList<TunnelRow> tunnels = m_store.tunnelsOf(call.user.id);
    qint64 active = 0;
    for (const TunnelRow &t : tunnels)
        active += m_control.isLive(t.frpsProxyName) ? 1 : 0;
    const bool pro = call.user.isPro();
    qint64 used = 0;
    if (qAddOverflow(b.inBytes, b.outBytes, &used)) // figures written before they were capped
        used = std::numeric_limits<qint64>::max();
    const qint64 limitBytes = pro ? 0 : freeBandwidthLimitBytes;
    const qint64 percent = limitBytes <= 0 ? 0 : used >= limitBytes ? 100 : used * 100 / limitBytes;
    return jsonReply(QJsonObject{
        {"tier", call.user.tier},
        {"tunnels", QJsonObject{{"used", tunnels.size()},
                                {"active", active},
                                {"limit", pro ? QJsonValue(QJsonValue::Null) : QJsonValue(freeTunnelLimit)}}},
        {"bandwidth", QJsonObject{{"usedBytes", used},
                                  {"inBytes", b.inBytes},
                                  {"outBytes", b.outBytes},
                                  {"limitBytes", limitBytes},
                                  {"limitGB", pro ? 0 : freeBandwidthLimitGB},
                                  {"percentUsed", percent},
                                  {"periodStart", wireDate(period.start)},
                                  {"periodEnd", wireDate(period.end)}}}});
}

Reply ApiServer::clientInfo(Call &call)
{
    QStringList problems;
    QJsonObject info;
    for (const QString &key : clientInfoKeys) {
        const QJsonValue v = call.body.value(key);
        if (!v.isString())
            problems << key + " must be a string";
        else if (v.toString().size() > 200)
            problems << key + " must be shorter than or equal to 200 characters";
        else
            info.insert(key, v);
    }
    if (info.value("installationId").toString().isEmpty() &&
        !problems.contains("installationId must be a string"))
        problems << "installationId should not be empty";
    if (!problems.isEmpty())
        return validationError(problems);
    if (!m_store.storeClientInfo(call.user.id, info.value("installationId").toString(), info, now()))
        return errorReply(500, "INTERNAL_ERROR", "Could not store the client information");
    return noContent();
}

Reply ApiServer::requestDeletion(Call &call)
{
    const QJsonValue password = call.body.value("password");
    const QJsonValue confirmEmail = call.body.value("confirmEmail");
    QStringList problems = givenPasswordProblems(password, "password");
    if (!confirmEmail.isString() || normalizedEmail(confirmEmail.toString()) != call.user.email)
        problems << "confirmEmail must match the email of the account";
    if (!problems.isEmpty())
        return validationError(problems);
    if (!verifyPassword(password.toString(), call.user.password))
        return errorReply(401, "UNAUTHORIZED", "Password is incorrect");
    if (!call.user.scheduledDeletionAt) {
        call.user.scheduledDeletionAt = now().addDays(deletionGraceDays);
        if (!m_store.updateUser(call.user))
            return errorReply(500, "INTERNAL_ERROR", "Could not schedule the deletion");
        // Tunnels of an account on its way out stop at once.
        m_control.disconnectAccount(call.user.id);
        const QString link = "ostrel://deletion/cancel";
        sendMail(call.user.email, "Your account is scheduled for deletion",
                 "Your Ostrel account and all its tunnels will be deleted on " +
                     call.user.scheduledDeletionAt->toString("yyyy-MM-dd") +
                     ". Changed your mind? Cancel the deletion:\n" + link,
                 {link});
    }
    return jsonReply(QJsonObject{{"scheduledAt", wireDate(*call.user.scheduledDeletionAt)}});
}

Reply ApiServer::cancelDeletion(Call &call)
{
    if (call.user.scheduledDeletionAt) {
        call.user.scheduledDeletionAt.reset();
        if (!m_store.updateUser(call.user))
            return errorReply(500, "INTERNAL_ERROR", "Could not cancel the deletion");
        sendMail(call.user.email, "Your account deletion was cancelled",
                 "Your Ostrel account will not be deleted. Welcome back!", {});
    }
    return noContent();
}

} // namespace ostrel::devservice
