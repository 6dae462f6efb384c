#pragma once

#include "l10n/StringsFile.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// Marks a string literal that is a text key resolved later through the catalogue (for keys
// kept in tables or fields rather than passed straight to localized()/format()).
#define OSTREL_KEY(k) QStringLiteral(k)

namespace ostrel {

// The run-time string catalogue: every text the application shows is a dotted key looked up
// here in the in-app language, falling back to English and then to the key itself.
class LocalizableXCStrings {
public:
    using Table = StringTable;

    // The process-wide catalogue, loaded once from the application's resource folder.
    static LocalizableXCStrings &shared();

    // Loads from `resourceDirectory` (per-language tables "<lang>.lproj/Localizable.strings",
    // else the source catalogue "Localizable.xcstrings"). `declaredLocalizations` adds
    // languages besides "en" and "es".
    explicit LocalizableXCStrings(const QString &resourceDirectory,
                                  const QStringList &declaredLocalizations = {});

    QString preferredLanguage() const { return m_preferredLanguage; }
    void setPreferredLanguage(const QString &code) { m_preferredLanguage = code; }
    QString sourceLanguage() const { return QStringLiteral("en"); }
    const QHash<QString, Table> &byLanguage() const { return m_byLanguage; }

    // Empty `language` means preferredLanguage().
    QString localized(const QString &key, const QString &language = {}) const;
    std::optional<QString> localizedFormat(const QString &key, const QString &language = {}) const;
    // Arguments are strings (QString) or integers (int/qint64).
    QString format(const QString &key, const QVariantList &arguments, const QString &language = {}) const;

private:
    QHash<QString, Table> m_byLanguage;
    QString m_preferredLanguage;
};

// Shorthand on the shared catalogue.
inline QString localized(const QString &key, const QString &language = {})
{
    return LocalizableXCStrings::shared().localized(key, language);
}

} // namespace ostrel
