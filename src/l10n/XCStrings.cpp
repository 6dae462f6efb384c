#include "l10n/XCStrings.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace ostrel::xcstrings {

std::optional<QHash<QString, StringTable>> parse(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue strings = document.object().value(QLatin1String("strings"));
    if (!strings.isObject())
        return std::nullopt;

    QHash<QString, StringTable> tables;
    // A regional localisation ("es-419") fills in for its language only where the plain code
    // ("es") has no text of its own.
    QHash<QString, StringTable> regional;
    const QJsonObject entries = strings.toObject();
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        const QJsonValue localizations = entry.value().toObject().value(QLatin1String("localizations"));
        if (!localizations.isObject())
            continue;
        const QJsonObject byCode = localizations.toObject();
        for (auto localization = byCode.begin(); localization != byCode.end(); ++localization) {
            const QJsonValue unit = localization.value().toObject().value(QLatin1String("stringUnit"));
            const QJsonValue value = unit.toObject().value(QLatin1String("value"));
            if (!unit.isObject() || !value.isString())
                continue;
            // "es-419" is filed under "es".
            const QString code = localization.key().section(QLatin1Char('-'), 0, 0);
            if (code.isEmpty())
                continue;
            auto &target = code == localization.key() ? tables[code] : regional[code];
            if (!target.contains(entry.key()))
                target.insert(entry.key(), value.toString());
        }
    }
    for (auto it = regional.cbegin(); it != regional.cend(); ++it) {
        auto &table = tables[it.key()];
        for (auto text = it->cbegin(); text != it->cend(); ++text) {
            if (!table.contains(text.key()))
                table.insert(text.key(), text.value());
        }
    }
    return tables;
}

} // namespace ostrel::xcstrings
