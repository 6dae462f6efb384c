#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

namespace ostrel {

// Fills a catalogue text's printf-style placeholders: %@ (any argument as text), %d, %i, %u
// (integers; length modifiers such as ll are read and ignored), positional %n$ forms and %%.
// Flags and field widths are not part of the catalogue's texts and are not read. When the
// arguments do not fit the placeholders (one missing, or a string given to %d), each argument
// in turn replaces the first "%@", else "%lld", else "%d" of the text.
QString printfFormat(const QString &format, const QVariantList &arguments);

// Whether `value` is filled in as an integer (int, qint64 and their kin) rather than as text.
bool isIntegerArgument(const QVariant &value);

} // namespace ostrel
