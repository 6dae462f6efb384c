#include "platform/XdgUrlOpener.h"

#include <QProcess>

namespace ostrel {

XdgUrlOpener::XdgUrlOpener(QString program) : m_program(std::move(program))
{
}

bool XdgUrlOpener::isAllowed(const QUrl &url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return !url.host().isEmpty();
    return scheme == QLatin1String("mailto") && !url.path().isEmpty();
}

bool XdgUrlOpener::open(const QUrl &url)
{
    if (!isAllowed(url))
        return false;
    return QProcess::startDetached(m_program, {url.toString(QUrl::FullyEncoded)});
}

} // namespace ostrel
