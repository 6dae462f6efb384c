#include "ApiServer.h"

#include "Output.h"

#include <QJsonArray>

namespace ostrel::devservice {

namespace {

Reply tunnelNotFound()
{
    return errorReply(404, "NOT_FOUND", "Tunnel not found");
}

} // namespace

QString ApiServer::publicAddress(const TunnelRow &t) const
{
    if (t.protocol == "tcp" && t.remotePort)
        return QString("tcp://%1:%2").arg(m_options.publicHost).arg(*t.remotePort);
    return "https://" + t.subdomain + "." + m_options.publicHost;
}

QJsonObject ApiServer::tunnelJson(const TunnelRow &t) const
{
    return QJsonObject{
        {"id", t.id},
        {"subdomain", t.subdomain},
        {"customDomain", t.customDomain ? QJsonValue(*t.customDomain) : QJsonValue(QJsonValue::Null)},
        {"localHost", t.localHost},
        {"localPort", t.localPort},
        {"remotePort", t.remotePort ? QJsonValue(*t.remotePort) : QJsonValue(QJsonValue::Null)},
        {"protocol", t.protocol},
        {"status", m_control.isLive(t.frpsProxyName) ? "active" : "offline"},
        {"frpsProxyName", t.frpsProxyName},
        {"createdAt", wireDate(t.createdAt)}};
}

std::optional<Reply> ApiServer::tunnelRefusal(const UserRow &user)
{
    if (user.scheduledDeletionAt)
        return errorReply(403, "ACCOUNT_PENDING_DELETION",
                          "Your account is scheduled for deletion. Cancel the deletion to manage tunnels.");
    if (!user.emailVerifiedAt)
        return errorReply(403, "EMAIL_NOT_VERIFIED", "Verify your email address before using tunnels");
    return std::nullopt;
}

std::optional<qint64> ApiServer::freeRemotePort()
{
    for (qint64 port = remotePortFirst; port <= remotePortLast; ++port) {
        if (!m_store.remotePortInUse(port))
            return port;
    }
    return std::nullopt;
}

QString ApiServer::uniqueGeneratedSubdomain()
{
    for (;;) {
        const QString candidate = generatedSubdomain();
        if (!isReservedSubdomain(candidate) && !m_store.tunnelBySubdomain(candidate))
            return candidate;
    }
}

Reply ApiServer::listTunnels(Call &call)
{
    QJsonArray list;
    for (const TunnelRow &t : m_store.tunnelsOf(call.user.id))
        list.append(tunnelJson(t));
    return jsonReply(list);
}

Reply ApiServer::createTunnel(Call &call)
{
    if (auto refusal = tunnelRefusal(call.user))
        return *refusal;
    QStringList problems;
    const std::optional<QString> localHost = stringField(call.body, "localHost", maxHostLength, problems);
    const std::optional<qint64> localPort =
        integerField(call.body, "localPort", 1, 65535, problems, Presence::required);
    const std::optional<QString> protocol = stringField(call.body, "protocol", maxNameLength, problems);
    const std::optional<QString> subdomain = stringField(call.body, "subdomain", maxNameLength, problems);
    std::optional<qint64> remotePort = integerField(call.body, "remotePort", 1024, 65535, problems);
    if (!call.body.value("localHost").isString() || (localHost && localHost->trimmed().isEmpty()))
        problems << "localHost should not be empty";
    if (!protocol || (*protocol != "http" && *protocol != "tcp"))
        problems << "protocol must be one of the following values: http, tcp";
    if (subdomain && call.user.isPro())
        problems << subdomainProblems(*subdomain);
    if (!problems.isEmpty())
        return validationError(problems);

    if (!call.user.isPro()) {
        if (*protocol == "tcp")
            return errorReply(403, "FREE_TIER_PROTOCOL_NOT_ALLOWED",
                              "TCP tunnels are available on the Pro plan");
        if (m_store.tunnelsOf(call.user.id).size() >= freeTunnelLimit)
            return errorReply(403, "FREE_TIER_LIMIT", "The Free plan allows only 1 tunnel");
        if (isOverBandwidth(call.user))
            return errorReply(403, "FREE_TIER_BANDWIDTH_EXCEEDED",
                              "You have used the Free plan's bandwidth for this month");
        if (subdomain)
            return errorReply(403, "FORBIDDEN", "Choosing a subdomain is a Pro feature");
    }

    TunnelRow t;
    t.id = newId();
    t.userId = call.user.id;
    t.localHost = localHost->trimmed();
    t.localPort = *localPort;
    t.protocol = *protocol;
    t.frpsProxyName = "tun-" + QString(t.id).remove('-').left(16);
    t.createdAt = now();
    if (subdomain) {
        if (isReservedSubdomain(*subdomain))
            return errorReply(409, "CONFLICT", QString("Subdomain %1 is reserved").arg(*subdomain));
        if (m_store.tunnelBySubdomain(*subdomain))
            return errorReply(409, "CONFLICT", QString("Subdomain %1 is already taken").arg(*subdomain));
        t.subdomain = *subdomain;
    } else {
        t.subdomain = uniqueGeneratedSubdomain();
    }
    if (t.protocol == "tcp") {
        if (remotePort && m_store.remotePortInUse(*remotePort))
            return errorReply(409, "CONFLICT", QString("Remote port %1 is already in use").arg(*remotePort));
        if (!remotePort)
            remotePort = freeRemotePort();
        if (!remotePort)
            return errorReply(503, "NO_REMOTE_PORT", "No remote port is free; try again later");
        t.remotePort = remotePort;
    }
    if (!m_store.insertTunnel(t))
        return errorReply(500, "INTERNAL_ERROR", "Could not create the tunnel");
    say("[tunnels] created " + publicAddress(t) + " -> " + t.localHost + ":" + QString::number(t.localPort) +
        " proxy=" + t.frpsProxyName);
    return jsonReply(tunnelJson(t), 201);
}

Reply ApiServer::updateTunnel(Call &call)
{
    std::optional<TunnelRow> found = m_store.tunnelById(call.captures.value(0));
    if (!found || found->userId != call.user.id)
        return tunnelNotFound();
    if (auto refusal = tunnelRefusal(call.user))
        return *refusal;
    TunnelRow t = *found;
    QStringList problems;
    const std::optional<QString> localHost = stringField(call.body, "localHost", maxHostLength, problems);
    const std::optional<qint64> localPort = integerField(call.body, "localPort", 1, 65535, problems);
    const std::optional<QString> protocol = stringField(call.body, "protocol", maxNameLength, problems);
    const std::optional<QString> subdomain = stringField(call.body, "subdomain", maxNameLength, problems);
    const std::optional<qint64> remotePort = integerField(call.body, "remotePort", 1024, 65535, problems);
    if (localHost && localHost->trimmed().isEmpty())
        problems << "localHost should not be empty";
    if (protocol && *protocol != "http" && *protocol != "tcp")
        problems << "protocol must be one of the following values: http, tcp";
    const bool subdomainChanges = subdomain && *subdomain != t.subdomain;
    if (subdomainChanges && call.user.isPro())
        problems << subdomainProblems(*subdomain);
    if (!problems.isEmpty())
        return validationError(problems);

    const QString newProtocol = protocol.value_or(t.protocol);
    if (!call.user.isPro()) {
        if (newProtocol == "tcp")
            return errorReply(403, "FREE_TIER_PROTOCOL_NOT_ALLOWED",
                              "TCP tunnels are available on the Pro plan");
        if (subdomainChanges)
            return errorReply(403, "FORBIDDEN", "Choosing a subdomain is a Pro feature");
    }
    if (subdomainChanges) {
        if (isReservedSubdomain(*subdomain))
            return errorReply(409, "CONFLICT", QString("Subdomain %1 is reserved").arg(*subdomain));
        if (m_store.tunnelBySubdomain(*subdomain))
            return errorReply(409, "CONFLICT", QString("Subdomain %1 is already taken").arg(*subdomain));
        t.subdomain = *subdomain;
    }
    if (localHost)
        t.localHost = localHost->trimmed();
    if (localPort)
        t.localPort = *localPort;
    t.protocol = newProtocol;
    if (t.protocol == "tcp") {
        if (remotePort && *remotePort != t.remotePort) {
            if (m_store.remotePortInUse(*remotePort, t.id))
                return errorReply(409, "CONFLICT",
                                  QString("Remote port %1 is already in use").arg(*remotePort));
            t.remotePort = remotePort;
        }
        if (!t.remotePort)
            t.remotePort = freeRemotePort();
        if (!t.remotePort)
            return errorReply(503, "NO_REMOTE_PORT", "No remote port is free; try again later");
    } else {
        t.remotePort.reset();
    }
    if (!m_store.updateTunnel(t))
        return errorReply(500, "INTERNAL_ERROR", "Could not update the tunnel");
    return jsonReply(tunnelJson(t));
}

Reply ApiServer::deleteTunnel(Call &call)
{
    const std::optional<TunnelRow> t = m_store.tunnelById(call.captures.value(0));
    if (!t || t->userId != call.user.id)
        return tunnelNotFound();
    if (!m_store.deleteTunnel(t->id))
        return errorReply(500, "INTERNAL_ERROR", "Could not delete the tunnel");
    return noContent();
}

Reply ApiServer::availability(Call &call)
{
    const QString subdomain = call.query.queryItemValue("subdomain", QUrl::FullyDecoded);
    if (subdomain.isEmpty())
        return validationError({"subdomain should not be empty"});
    QJsonObject answer;
    // Reserved names win over the shape rule: "db" and "ws" are reserved though too short.
    if (isReservedSubdomain(subdomain))
        answer = {{"available", false}, {"reason", "reserved"}};
    else if (!isWellFormedSubdomain(subdomain))
        answer = {{"available", false}, {"reason", "invalid"}};
    else if (m_store.tunnelBySubdomain(subdomain))
        answer = {{"available", false}, {"reason", "taken"}};
    else
        answer = {{"available", true}};
    return jsonReply(answer);
}

} // namespace ostrel::devservice
