#include "l10n/LocalizableXCStrings.h"

#include "l10n/PrintfFormatter.h"
#include "l10n/XCStrings.h"
#include "platform/ResourcePaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace ostrel {

namespace {

const QString kTableFile = QStringLiteral("Localizable.strings");
const QString kSourceCatalogueFile = QStringLiteral("Localizable.xcstrings");

// "es-419" and "pt-BR" are filed under their language part.
QString languagePart(const QString &code)
{
    return code.section(QLatin1Char('-'), 0, 0);
}

QString systemLanguageCode()
{
    const QLocale::Language language = QLocale::system().language();
    if (language == QLocale::C || language == QLocale::AnyLanguage)
        return QStringLiteral("en");
    const QString code = QLocale::languageToCode(language);
    return code.isEmpty() ? QStringLiteral("en") : code;
}

// The source catalogue sits in the resource folder or, in a development tree, in one of the
// folders above it; the walk ends before a folder named "Resources" and at the root.
QString findSourceCatalogue(const QString &resourceDirectory)
{
    QDir dir(QDir(resourceDirectory).absolutePath());
    for (;;) {
        const QString candidate = dir.absoluteFilePath(kSourceCatalogueFile);
        if (QFileInfo(candidate).isFile())
            return candidate;
        if (dir.isRoot())
            return {};
        QDir parent = dir;
        if (!parent.cdUp() || parent.dirName() == QLatin1String("Resources"))
            return {};
        dir = parent;
    }
}

// The localisations the resource folder ships besides the built-in ones.
QStringList shippedLocalizations(const QString &resourceDirectory)
{
    QStringList codes;
    const auto folders = QDir(resourceDirectory).entryList({QStringLiteral("*.lproj")}, QDir::Dirs);
    for (const QString &folder : folders)
        codes << folder.chopped(6);
    return codes;
}

} // namespace

LocalizableXCStrings &LocalizableXCStrings::shared()
{
    // A function-local static gives a thread-safe one-time load.
    static LocalizableXCStrings instance = [] {
        const QString directory = resourceDirectory();
        return LocalizableXCStrings(directory, shippedLocalizations(directory));
    }();
    return instance;
}

LocalizableXCStrings::LocalizableXCStrings(const QString &resourceDirectory,
                                           const QStringList &declaredLocalizations)
    : m_preferredLanguage(systemLanguageCode())
{
    QStringList candidates{QStringLiteral("en"), QStringLiteral("es")};
    for (const QString &declared : declaredLocalizations) {
        const QString code = languagePart(declared);
        if (!code.isEmpty() && !candidates.contains(code))
            candidates << code;
    }
    const QDir resources(resourceDirectory);
    for (const QString &code : candidates) {
        if (auto table = stringsfile::read(resources.filePath(code + QStringLiteral(".lproj/") + kTableFile)))
            m_byLanguage.insert(code, std::move(*table));
    }
    if (!m_byLanguage.isEmpty())
        return;
    const QString catalogue = findSourceCatalogue(resourceDirectory);
    if (catalogue.isEmpty())
        return;
    QFile file(catalogue);
    if (!file.open(QIODevice::ReadOnly))
        return;
    if (auto tables = xcstrings::parse(file.readAll()))
        m_byLanguage = std::move(*tables);
}

std::optional<QString> LocalizableXCStrings::localizedFormat(const QString &key,
                                                             const QString &language) const
{
    const QString requested = language.isEmpty() ? m_preferredLanguage : language;
    const QString shortCode = requested.left(2);
    const auto lookUp = [&](const QString &code) -> std::optional<QString> {
        const auto table = m_byLanguage.constFind(code);
        if (table == m_byLanguage.cend())
            return std::nullopt;
        const auto text = table->constFind(key);
        if (text == table->cend())
            return std::nullopt;
        return *text;
    };
    if (auto text = lookUp(shortCode))
        return text;
    if (shortCode != requested) {
        if (auto text = lookUp(requested))
            return text;
    }
    return lookUp(sourceLanguage());
}

QString LocalizableXCStrings::localized(const QString &key, const QString &language) const
{
    return localizedFormat(key, language).value_or(key);
}

QString LocalizableXCStrings::format(const QString &key, const QVariantList &arguments,
                                     const QString &language) const
{
    std::optional<QString> format = localizedFormat(key, language);
    if (!format) {
        QString withPlaceholders = key;
        for (const QVariant &argument : arguments)
            withPlaceholders += isIntegerArgument(argument) ? QStringLiteral(" %d") : QStringLiteral(" %@");
        format = localizedFormat(withPlaceholders, language);
    }
    if (!format)
        return key;
    return printfFormat(*format, arguments);
}

} // namespace ostrel
