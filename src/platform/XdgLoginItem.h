#pragma once

#include "platform/LoginItem.h"

#include <QString>

namespace ostrel {

// Launch at login as an XDG autostart entry: <config home>/autostart/ostrel.desktop.
// Registered and not hidden is "enabled"; an entry whose program no longer exists is "notFound".
class XdgLoginItem final : public LoginItem {
public:
    // configHome: the folder that holds "autostart"; empty means $XDG_CONFIG_HOME, else ~/.config.
    // executable: the program the entry starts; empty means the running executable (or the
    // AppImage it was started from).
    explicit XdgLoginItem(QString configHome = {}, QString executable = {});

    int status() const override;
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;

    QString entryPath() const;
    QString executable() const { return m_executable; }

    // The Exec value for a program path, quoted as desktop entries require.
    static QString execValue(const QString &program);
    // The program named by an Exec value (its first argument, unquoted); empty if there is none.
    static QString execProgram(const QString &exec);

private:
    QString m_configHome;
    QString m_executable;
};

} // namespace ostrel
