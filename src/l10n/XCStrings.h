#pragma once

#include "l10n/StringsFile.h"

#include <QByteArray>
#include <QHash>

#include <optional>

namespace ostrel::xcstrings {

// Reads a generated source catalogue (JSON: strings -> key -> localizations -> language ->
// stringUnit -> value) into language -> table; nothing when unreadable.
std::optional<QHash<QString, StringTable>> parse(const QByteArray &json);

} // namespace ostrel::xcstrings
