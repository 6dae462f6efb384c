#include "platform/AppcastFeed.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

namespace ostrel {

namespace {
const QString sparkleNs = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

// Namespace-aware match that also accepts a plain "sparkle:" prefix in feeds that forget to
// declare the namespace.
bool isSparkle(const QXmlStreamReader &xml, QStringView name)
{
    return (xml.namespaceUri() == sparkleNs && xml.name() == name) ||
           xml.qualifiedName() == QStringLiteral("sparkle:") + name.toString();
}

QString sparkleAttribute(const QXmlStreamAttributes &attributes, const QString &name)
{
    if (attributes.hasAttribute(sparkleNs, name))
        return attributes.value(sparkleNs, name).toString().trimmed();
    return attributes.value(QStringLiteral("sparkle:") + name).toString().trimmed();
}
} // namespace

std::optional<QList<AppcastItem>> parseAppcast(const QByteArray &bytes)
{
    QXmlStreamReader xml(bytes);
    QList<AppcastItem> items;
    bool inItem = false;
    QString elementVersion, elementShort, attributeVersion, attributeShort, link, enclosureUrl;

    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"item" && xml.namespaceUri().isEmpty()) {
                inItem = true;
                elementVersion.clear();
                elementShort.clear();
                attributeVersion.clear();
                attributeShort.clear();
                link.clear();
                enclosureUrl.clear();
            } else if (!inItem) {
                continue;
            } else if (isSparkle(xml, u"version")) {
                elementVersion = xml.readElementText().trimmed();
            } else if (isSparkle(xml, u"shortVersionString")) {
                elementShort = xml.readElementText().trimmed();
            } else if (xml.name() == u"link" && xml.namespaceUri().isEmpty()) {
                link = xml.readElementText().trimmed();
            } else if (xml.name() == u"enclosure") {
                const auto attributes = xml.attributes();
                attributeVersion = sparkleAttribute(attributes, QStringLiteral("version"));
                attributeShort = sparkleAttribute(attributes, QStringLiteral("shortVersionString"));
                enclosureUrl = attributes.value(QStringLiteral("url")).toString().trimmed();
            }
        } else if (xml.isEndElement() && xml.name() == u"item" && inItem) {
            inItem = false;
            const QString version = !elementVersion.isEmpty() ? elementVersion : attributeVersion;
            if (version.isEmpty())
                continue;
            AppcastItem item;
            item.version = version;
            const QString shortVersion = !elementShort.isEmpty() ? elementShort : attributeShort;
            item.displayVersion = shortVersion.isEmpty() ? version : shortVersion;
            item.downloadPage = QUrl(!link.isEmpty() ? link : enclosureUrl);
            items << item;
        }
    }
    if (xml.hasError())
        return std::nullopt;
    return items;
}

int compareVersions(const QString &a, const QString &b)
{
    static const QRegularExpression separators(QStringLiteral("[^0-9]+"));
    const QStringList left = a.split(separators, Qt::SkipEmptyParts);
    const QStringList right = b.split(separators, Qt::SkipEmptyParts);
    const qsizetype n = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < n; ++i) {
        // Compare digit strings without overflow: strip leading zeros, then longer is larger.
        auto norm = [](const QStringList &parts, qsizetype index) {
            QString s = index < parts.size() ? parts[index] : QString();
            while (s.size() > 1 && s.startsWith(u'0'))
                s.remove(0, 1);
            return s.isEmpty() ? QStringLiteral("0") : s;
        };
        const QString l = norm(left, i), r = norm(right, i);
        if (l.size() != r.size())
            return l.size() < r.size() ? -1 : 1;
        if (const int c = QString::compare(l, r); c != 0)
            return c < 0 ? -1 : 1;
    }
    return 0;
}

std::optional<AppcastItem> newestUpdate(const QList<AppcastItem> &items, const QString &currentVersion)
{
    std::optional<AppcastItem> best;
    for (const AppcastItem &item : items) {
        if (compareVersions(item.version, currentVersion) <= 0)
            continue;
        if (!best || compareVersions(item.version, best->version) > 0)
            best = item;
    }
    return best;
}

} // namespace ostrel
