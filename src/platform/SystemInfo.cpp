#include "platform/SystemInfo.h"

#include "platform/BuildSettings.h"

#include <QRegularExpression>

#include <sys/utsname.h>

namespace ostrel {

QString systemVersion()
{
    utsname name{};
    if (uname(&name) != 0)
        return systemVersionFromRelease(QString());
    return systemVersionFromRelease(QString::fromLocal8Bit(name.release));
}

QString systemVersionFromRelease(const QString &release)
{
    static const QRegularExpression numbers(QStringLiteral("^\\s*(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch m = numbers.match(release);
    QStringList parts;
    for (int i = 1; i <= 3; ++i) {
        // Leading zeros are dropped: numbers in decimal.
        const QString n = m.hasMatch() ? m.captured(i) : QString();
        parts << (n.isEmpty() ? QStringLiteral("0") : QString::number(n.toULongLong()));
    }
    return QStringLiteral("Linux ") + parts.join(u'.');
}

QString buildArchitecture()
{
    return architectureName(QString::fromUtf8(buildSettings::architecture));
}

QString architectureName(const QString &processor)
{
    const QString p = processor.toLower();
    if (p == QLatin1String("aarch64") || p == QLatin1String("arm64"))
        return QStringLiteral("arm64");
    if (p == QLatin1String("x86_64") || p == QLatin1String("amd64") || p == QLatin1String("x64"))
        return QStringLiteral("x86_64");
    return p.isEmpty() ? QStringLiteral("unknown") : p;
}

} // namespace ostrel
