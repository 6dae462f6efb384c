#pragma once

#include "l10n/LocalizableXCStrings.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace ostrel::test {

// One printf-style conversion of a catalogue text, with its argument position made explicit so
// that "%@ %d" and "%2$d %1$@" compare equal.
struct Placeholder {
    int position = 0; // 1-based argument index
    QString form;     // length modifier and conversion, e.g. "@", "d", "lld"

    friend bool operator==(const Placeholder &, const Placeholder &) = default;
};

struct PlaceholderScan {
    QList<Placeholder> placeholders; // sorted by position, then form
    QStringList malformed;           // '%' sequences a formatter would not understand
};

PlaceholderScan scanPlaceholders(const QString &text);

// The placeholders spelled in a key's format suffix ("settings.about.version %@ %@" gives two
// "@"); empty for a plain key.
QList<Placeholder> keySuffixPlaceholders(const QString &key);

// Reads a string table from disk (UTF-8 or UTF-16 with a byte-order mark); nothing when the
// file is unreadable or not a valid table.
std::optional<LocalizableXCStrings::Table> loadTable(const QString &path);

// Key literals handed to the catalogue in one source text: localized("..."),
// localizedFormat("..."), format("...") and OSTREL_KEY("..."), also wrapped in QStringLiteral,
// QLatin1String or written u"..."_s. Keys passed to format() are reported with `viaFormat`,
// since format() also finds them under a placeholder suffix.
struct KeyUse {
    QString key;
    bool viaFormat = false;

    friend bool operator==(const KeyUse &, const KeyUse &) = default;
};
QList<KeyUse> keyUsesInSource(const QString &sourceText);

// Every key use in the .cpp and .h files below `directory`; `filesScanned` counts the files.
QList<KeyUse> keyUsesInTree(const QString &directory, int *filesScanned = nullptr);

// The keys of a list file: one per line, blank lines and lines starting with '#' ignored.
QStringList readKeyList(const QString &path);

// Whether `table` answers a use: the key itself, or, for format(), the key with a suffix.
bool tableHasKey(const LocalizableXCStrings::Table &table, const KeyUse &use);

// The keys of `uses` that `table` does not answer, sorted and without repeats.
QStringList missingKeys(const QList<KeyUse> &uses, const LocalizableXCStrings::Table &table);

} // namespace ostrel::test
