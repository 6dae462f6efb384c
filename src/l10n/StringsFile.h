#pragma once

#include <QHash>
#include <QString>

#include <optional>

namespace ostrel {

// One language's texts: key -> text.
using StringTable = QHash<QString, QString>;

// The key-value string-table format ("key" = "value"; with /* */ and // comments and backslash
// escapes including \U and \u), as the per-language tables are written.
namespace stringsfile {

// Tables are UTF-16 with a byte-order mark or UTF-8; nothing when the bytes do not decode.
std::optional<QString> decode(const QByteArray &bytes);
// Nothing when the text is not a valid table.
std::optional<StringTable> parse(const QString &text);
// Reads, decodes and parses the table at `path`; nothing when any step fails.
std::optional<StringTable> read(const QString &path);

} // namespace stringsfile

} // namespace ostrel
