#include "platform/JsonPreferencesStore.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>

namespace ostrel {

JsonPreferencesStore::JsonPreferencesStore(QString path) : m_path(std::move(path))
{
}

QString JsonPreferencesStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/ostrel/preferences.json");
}

QJsonObject JsonPreferencesStore::read(FileState *state) const
{
    QFile file(m_path);
    if (!file.exists()) {
        if (state)
            *state = FileState::missing;
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument doc =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &error) : QJsonDocument();
    const bool valid = file.isOpen() && error.error == QJsonParseError::NoError && doc.isObject();
    if (state)
        *state = valid ? FileState::valid : FileState::corrupt;
    return valid ? doc.object() : QJsonObject();
}

std::optional<bool> JsonPreferencesStore::boolValue(const QString &key) const
{
    const QJsonValue value = read().value(key);
    return value.isBool() ? std::optional<bool>(value.toBool()) : std::nullopt;
}

std::optional<QString> JsonPreferencesStore::stringValue(const QString &key) const
{
    const QJsonValue value = read().value(key);
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

void JsonPreferencesStore::setBool(const QString &key, bool value)
{
    set(key, value);
}

void JsonPreferencesStore::setString(const QString &key, const QString &value)
{
    set(key, value);
}

bool JsonPreferencesStore::keepAside()
{
    const QString aside = m_path + QStringLiteral(".bak");
    QFile::remove(aside);
    const bool kept = QFile::rename(m_path, aside) || QFile::copy(m_path, aside);
    // Once per file: a file that cannot be kept aside stays as it is, and so does every write.
    if (!m_reportedCorrupt)
        Log::line(kept ? QStringLiteral("[Preferences] unreadable preferences moved to ") + aside
                       : QStringLiteral("[Preferences] unreadable preferences could not be kept aside, not "
                                        "overwriting ") +
                             m_path);
    m_reportedCorrupt = !kept;
    return kept;
}

void JsonPreferencesStore::set(const QString &key, const QJsonValue &value)
{
    FileState state = FileState::missing;
    QJsonObject object = read(&state);
    object.insert(key, value);

    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir(folder).exists()) {
        if (!QDir().mkpath(folder)) {
            Log::line(QStringLiteral("[Preferences] could not create ") + folder);
            return;
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    if (state == FileState::corrupt && !keepAside())
        return;

    QSaveFile file(m_path);
    // The temporary file gets owner-only permissions before any byte is written.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)) {
        Log::line(QStringLiteral("[Preferences] could not write ") + m_path + QStringLiteral(": ") +
                  file.errorString());
        return;
    }
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    // commit() alone misses a failed write of its buffer (a full disk) and would replace every
    // preference with an empty file; the failed write is dropped and the old file stays.
    if (!file.flush() || !file.commit())
        Log::line(QStringLiteral("[Preferences] could not write ") + m_path + QStringLiteral(": ") +
                  file.errorString());
}

} // namespace ostrel
