#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace ostrel {

// One release announced by an update feed (an RSS "appcast").
struct AppcastItem {
    QString version;        // machine version (sparkle:version), compared with the running build
    QString displayVersion; // sparkle:shortVersionString, else version
    QUrl downloadPage;      // <link>, else the enclosure's url
    friend bool operator==(const AppcastItem &, const AppcastItem &) = default;
};

// Reads the items of an appcast. The version may be given as an attribute of <enclosure>
// or as an element of <item>; the element wins when both exist. Items without a version
// are skipped. Nothing when the XML is not readable.
std::optional<QList<AppcastItem>> parseAppcast(const QByteArray &xml);

// Compares two version texts as version numbers: "1.10" > "1.9", "2" == "2.0".
// Returns <0, 0 or >0.
int compareVersions(const QString &a, const QString &b);

// The newest item that is newer than `currentVersion`, if any.
std::optional<AppcastItem> newestUpdate(const QList<AppcastItem> &items, const QString &currentVersion);

} // namespace ostrel
