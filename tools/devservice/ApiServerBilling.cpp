#include "ApiServer.h"

#include "Output.h"

#include <QJsonArray>

namespace ostrel::devservice {

namespace {

const QByteArray html = "text/html; charset=utf-8";
const QString successLink = "ostrel://upgrade/success";
const QString cancelLink = "ostrel://upgrade/cancel";

Reply page(int status, const QString &title, const QString &content)
{
    Reply r;
    r.status = status;
    r.contentType = html;
    r.body = QString("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>%1</title>"
                     "<style>body{font-family:sans-serif;max-width:32em;margin:4em auto;padding:0 1em}"
                     "button{font-size:1.1em;padding:.6em 1.4em}</style></head>\n<body>\n<h1>%1</h1>\n%2\n"
                     "</body></html>\n")
                 .arg(title.toHtmlEscaped(), content)
                 .toUtf8();
    return r;
}

} // namespace

Reply ApiServer::createCheckout(Call &call)
{
    if (auto refusal = tunnelRefusal(call.user))
        return *refusal;
    if (call.user.isPro())
        return errorReply(409, "CONFLICT", "You are already on the Pro plan");
    const QString id = randomToken(18);
    if (!m_store.insertCheckout(id, call.user.id, now()))
        return errorReply(500, "INTERNAL_ERROR", "Could not start the checkout");
    return jsonReply(
        QJsonObject{{"checkoutUrl", QString("http://127.0.0.1:%1/checkout/%2").arg(m_httpPort).arg(id)}},
        201);
}

Reply ApiServer::checkoutPage(Call &call)
{
    const QString id = call.captures.value(0);
    const auto checkout = m_store.checkout(id);
    const std::optional<UserRow> user = checkout ? m_store.userById(checkout->first) : std::nullopt;
    if (!user)
        return page(404, "Checkout not found",
                    "<p>This checkout does not exist. Start again from Ostrel.</p>");
    if (checkout->second)
        return page(200, "Purchase complete",
                    QString("<p>Ostrel Pro is active for %1.</p><p><a href=\"%2\">Return to Ostrel</a></p>")
                        .arg(user->email.toHtmlEscaped(), successLink));
    return page(200, "Ostrel Pro",
                QString("<p>Account: <strong>%1</strong></p>"
                        "<p>Ostrel Pro: unlimited tunnels, your own subdomains, TCP tunnels and no monthly "
                        "bandwidth limit.</p><p>Price: <strong>$5/mo</strong></p>"
                        "<p>This is the development service: no payment is taken.</p>"
                        "<form method=\"post\" action=\"/checkout/%2\"><button type=\"submit\">Complete "
                        "purchase</button></form><p><a href=\"%3\">Cancel</a></p>")
                    .arg(user->email.toHtmlEscaped(), id, cancelLink));
}

Reply ApiServer::completeCheckout(Call &call)
{
    const QString id = call.captures.value(0);
    const auto checkout = m_store.checkout(id);
    std::optional<UserRow> user = checkout ? m_store.userById(checkout->first) : std::nullopt;
    if (!user)
        return page(404, "Checkout not found",
                    "<p>This checkout does not exist. Start again from Ostrel.</p>");
    if (!checkout->second) {
        user->tier = "pro";
        if (!m_store.updateUser(*user) || !m_store.completeCheckout(id, now()))
            return page(500, "Something went wrong",
                        "<p>The purchase could not be completed. Try again.</p>");
        sendMail(user->email, "Welcome to Ostrel Pro",
                 "Your account is now on the Pro plan: unlimited tunnels, chosen subdomains and TCP tunnels.",
                 {});
    }
    // Browsers follow the redirect into the app; the link is there for those that do not.
    Reply r =
        page(303, "Purchase complete",
             QString("<p>Thank you! Ostrel Pro is active.</p><p><a href=\"%1\">Return to Ostrel</a></p>")
                 .arg(successLink));
    r.headers.append({"Location", successLink.toUtf8()});
    return r;
}

Reply ApiServer::health(Call &)
{
    return noContent();
}

// ---- Development endpoints ----

Reply ApiServer::devMailbox(Call &call)
{
    const QString email = normalizedEmail(call.query.queryItemValue("email", QUrl::FullyDecoded));
    QJsonArray list;
    for (const MailRow &m : m_store.mails(email)) {
        list.append(QJsonObject{{"to", m.to},
                                {"subject", m.subject},
                                {"body", m.body},
                                {"links", QJsonArray::fromStringList(m.links)},
                                {"createdAt", wireDate(m.createdAt)}});
    }
    return jsonReply(list);
}

Reply ApiServer::devMagicLink(Call &call)
{
    const QString email = normalizedEmail(call.body.value("email").toString());
    if (!isValidEmail(email))
        return validationError({"email must be an email"});
    const std::optional<UserRow> user = m_store.userByEmail(email);
    if (!user)
        return errorReply(404, "NOT_FOUND", "No account with this email");
    const QString token = issueOneTimeToken(*user, "magic", 15 * 60);
    const QString link = "ostrel://magic-link?token=" + token;
    sendMail(email, "Your sign-in link",
             "Open this link to sign in to Ostrel without a password:\n" + link +
                 "\nThe link is valid for 15 minutes.",
             {link});
    return noContent();
}

Reply ApiServer::devUsage(Call &call)
{
    const QString email = normalizedEmail(call.body.value("email").toString());
    QStringList problems;
    if (!isValidEmail(email))
        problems << "email must be an email";
    // "bytes" counts as outgoing traffic, "inBytes" (optional) as incoming.
    const std::optional<qint64> outBytes =
        integerField(call.body, "bytes", 0, maxTrafficBytes, problems, Presence::required);
    const std::optional<qint64> inBytes = integerField(call.body, "inBytes", 0, maxTrafficBytes, problems);
    if (!problems.isEmpty())
        return validationError(problems);
    const std::optional<UserRow> user = m_store.userByEmail(email);
    if (!user)
        return errorReply(404, "NOT_FOUND", "No account with this email");
    const QString period = billingPeriod(now()).key;
    const BandwidthRow b = m_store.bandwidth(user->id, period);
    if (b.outBytes > maxTrafficBytes - *outBytes || b.inBytes > maxTrafficBytes - inBytes.value_or(0))
        return validationError(
            {QString("this month's traffic must stay at or below %1 bytes in each direction")
                 .arg(maxTrafficBytes)});
    m_store.addBandwidth(user->id, period, inBytes.value_or(0), *outBytes);
    if (isOverBandwidth(*user))
        m_control.disconnectAccount(user->id); // the frp server cuts free accounts at the limit
    return noContent();
}

Reply ApiServer::devPlan(Call &call)
{
    const QString email = normalizedEmail(call.body.value("email").toString());
    const QString tier = call.body.value("tier").toString();
    QStringList problems;
    if (!isValidEmail(email))
        problems << "email must be an email";
    if (tier != "free" && tier != "pro")
        problems << "tier must be one of the following values: free, pro";
    if (!problems.isEmpty())
        return validationError(problems);
    std::optional<UserRow> user = m_store.userByEmail(email);
    if (!user)
        return errorReply(404, "NOT_FOUND", "No account with this email");
    user->tier = tier;
    m_store.updateUser(*user);
    return noContent();
}

Reply ApiServer::devClock(Call &call)
{
    QStringList problems;
    const std::optional<qint64> seconds =
        integerField(call.body, "advanceSeconds", 0, maxClockLeadSeconds, problems, Presence::required);
    // Dates far ahead would no longer be written as four-digit years, and sign-in would fail.
    if (seconds && m_clockOffsetSeconds > maxClockLeadSeconds - *seconds)
        problems << QString("advanceSeconds must not move the clock more than %1 seconds ahead in all")
                        .arg(maxClockLeadSeconds);
    if (!problems.isEmpty())
        return validationError(problems);
    m_clockOffsetSeconds += *seconds;
    say(QString("[dev] clock advanced by %1 s").arg(*seconds));
    purgeDueAccounts();
    return jsonReply(QJsonObject{{"now", wireDate(now())}});
}

} // namespace ostrel::devservice
