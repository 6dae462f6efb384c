// Writes the source catalogue (Localizable.xcstrings) from the per-language string tables, so
// translators edit only the .strings files and both catalogue forms always hold the same texts.
//
//   xcstrings-gen OUTPUT LANG=TABLE [LANG=TABLE ...]
//
// The first language is the source language. Exits 1, naming the file, when a table cannot be
// read or is not a valid string table; the output is then left untouched.

#include "l10n/StringsFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace {

void fail(const QString &message)
{
    std::fprintf(stderr, "xcstrings-gen: %s\n", qPrintable(message));
}

std::optional<QString> readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ostrel::stringsfile::decode(file.readAll());
}

QJsonObject stringUnit(const QString &value)
{
    return QJsonObject{
        {QStringLiteral("stringUnit"), QJsonObject{{QStringLiteral("state"), QStringLiteral("translated")},
                                                   {QStringLiteral("value"), value}}}};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() < 2) {
        fail(QStringLiteral("usage: xcstrings-gen OUTPUT LANG=TABLE [LANG=TABLE ...]"));
        return 2;
    }

    std::vector<std::pair<QString, ostrel::StringTable>> tables;
    for (const QString &argument : arguments.mid(1)) {
        const qsizetype split = argument.indexOf(QLatin1Char('='));
        if (split <= 0) {
            fail(QStringLiteral("expected LANG=TABLE, got \"%1\"").arg(argument));
            return 2;
        }
        const QString language = argument.left(split);
        const QString path = argument.mid(split + 1);
        const auto text = readText(path);
        if (!text) {
            fail(QStringLiteral("cannot read %1 as UTF-8 or UTF-16 text").arg(path));
            return 1;
        }
        auto table = ostrel::stringsfile::parse(*text);
        if (!table) {
            fail(QStringLiteral("%1 is not a valid string table").arg(path));
            return 1;
        }
        tables.emplace_back(language, std::move(*table));
    }

    QJsonObject strings;
    for (const auto &[language, table] : tables) {
        for (auto it = table.cbegin(); it != table.cend(); ++it) {
            QJsonObject entry = strings.value(it.key()).toObject();
            QJsonObject localizations = entry.value(QStringLiteral("localizations")).toObject();
            localizations.insert(language, stringUnit(it.value()));
            entry.insert(QStringLiteral("localizations"), localizations);
            strings.insert(it.key(), entry);
        }
    }
    const QJsonObject catalogue{{QStringLiteral("sourceLanguage"), tables.front().first},
                                {QStringLiteral("version"), QStringLiteral("1.0")},
                                {QStringLiteral("strings"), strings}};

    const QString output = arguments.first();
    QDir().mkpath(QFileInfo(output).absolutePath());
    // Written atomically so an interrupted build never leaves half a catalogue behind.
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(catalogue).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        fail(QStringLiteral("cannot write %1: %2").arg(output, file.errorString()));
        return 1;
    }
    return 0;
}
