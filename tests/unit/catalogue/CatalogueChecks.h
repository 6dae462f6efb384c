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

// A key the code relies on. `orSuffixed`: also satisfied by the key followed by placeholders
// ("settings.about.version %@ %@"), as format() looks it up that way too.
struct KeyUse {
    QString key;
    bool orSuffixed = false;

    friend bool operator==(const KeyUse &, const KeyUse &) = default;
};

// Key literals handed to the catalogue in one source text: localized("..."),
// localizedFormat("..."), format("...") and OSTREL_KEY("..."), also wrapped in QStringLiteral,
// QLatin1String or written u"..."_s. Only format() keys may be found under a suffix.
QList<KeyUse> keyUsesInSource(const QString &sourceText);

// Every other key-shaped string literal whose first segment is one of `namespaces` ("tunnels",
// "error", ...): keys that reach the catalogue through a helper or a table of the code's own.
// Literals listed in `notKeys` (names that merely look like keys) are skipped.
QList<KeyUse> namespacedLiteralsInSource(const QString &sourceText, const QSet<QString> &namespaces,
                                         const QSet<QString> &notKeys);

// Both kinds of use in the .cpp and .h files below `directory`; `filesScanned` counts the files.
QList<KeyUse> keyUsesInTree(const QString &directory, const QSet<QString> &namespaces,
                            const QSet<QString> &notKeys, int *filesScanned = nullptr);

// The keys of a list file: one per line, blank lines and lines starting with '#' ignored.
QStringList readKeyList(const QString &path);

// Whether `table` answers a use: the key itself, or, where allowed, the key with a suffix.
bool tableHasKey(const LocalizableXCStrings::Table &table, const KeyUse &use);

// The keys of `uses` that `table` does not answer, sorted and without repeats.
QStringList missingKeys(const QList<KeyUse> &uses, const LocalizableXCStrings::Table &table);

} // namespace ostrel::test
