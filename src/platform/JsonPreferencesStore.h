#pragma once

#include "platform/PreferencesStore.h"

#include <QJsonObject>
#include <QString>

namespace ostrel {

// Preferences kept as one JSON object in a file only the user can read. Every write re-reads the
// file and replaces it atomically, so keys written by another instance are kept and a crash never
// leaves half a file. A file that cannot be read or parsed reads as empty; the next write first
// keeps it aside as "<file>.bak" (and writes nothing when that fails) instead of dropping it.
class JsonPreferencesStore final : public PreferencesStore {
public:
    explicit JsonPreferencesStore(QString path = defaultPath());

    // ~/.config/ostrel/preferences.json (following XDG_CONFIG_HOME).
    static QString defaultPath();
    QString path() const { return m_path; }

    std::optional<bool> boolValue(const QString &key) const override;
    std::optional<QString> stringValue(const QString &key) const override;
    void setBool(const QString &key, bool value) override;
    void setString(const QString &key, const QString &value) override;

private:
    enum class FileState { missing, valid, corrupt };
    QJsonObject read(FileState *state = nullptr) const;
    void set(const QString &key, const QJsonValue &value);
    bool keepAside(); // the unreadable file, as "<file>.bak"

    QString m_path;
    bool m_reportedCorrupt = false; // a file that could not be kept aside has been logged
};

} // namespace ostrel
