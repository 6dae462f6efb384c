#include "platform/XdgLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace ostrel {

namespace {

QString defaultConfigHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative values are invalid per the base-directory rules and must be ignored.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString runningExecutable()
{
    // Inside an AppImage the executable lives on a temporary mount; the image itself is what
    // must be started at the next login.
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    if (!appImage.isEmpty())
        return appImage;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

// Undoes the string escapes of desktop entry values (\s \n \t \r \\).
QString unescapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar n = value.at(++i);
        if (n == u's')
            out += u' ';
        else if (n == u'n')
            out += u'\n';
        else if (n == u't')
            out += u'\t';
        else if (n == u'r')
            out += u'\r';
        else
            out += n;
    }
    return out;
}

// The keys of the [Desktop Entry] group.
QHash<QString, QString> desktopEntryKeys(const QByteArray &content)
{
    QHash<QString, QString> keys;
    bool inGroup = false;
    for (const QByteArray &raw : content.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inGroup || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!keys.contains(key))
            keys.insert(key, unescapeValue(line.mid(eq + 1).trimmed()));
    }
    return keys;
}

bool isExecutableProgram(const QString &program)
{
    if (program.isEmpty())
        return false;
    if (!program.contains(u'/'))
        return !QStandardPaths::findExecutable(program).isEmpty();
    const QFileInfo info(program);
    return info.isFile() && info.isExecutable();
}

} // namespace

XdgLoginItem::XdgLoginItem(QString configHome, QString executable)
    : m_configHome(configHome.isEmpty() ? defaultConfigHome() : std::move(configHome)),
      m_executable(executable.isEmpty() ? runningExecutable() : std::move(executable))
{
}

QString XdgLoginItem::entryPath() const
{
    return m_configHome + QStringLiteral("/autostart/ostrel.desktop");
}

QString XdgLoginItem::execValue(const QString &program)
{
    // Quoting rules of the Exec key: inside double quotes, " ` $ and \ take a backslash.
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted = u'"' + quoted + u'"';
    // Then the general string escaping of the file format doubles every backslash.
    return quoted.replace(u'\\', QStringLiteral("\\\\"));
}

QString XdgLoginItem::execProgram(const QString &exec)
{
    const QString value = exec.trimmed();
    if (value.isEmpty())
        return {};
    if (!value.startsWith(u'"'))
        return value.section(u' ', 0, 0);
    QString program;
    for (qsizetype i = 1; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'"')
            return program;
        if (c == u'\\' && i + 1 < value.size())
            program += value.at(++i);
        else
            program += c;
    }
    return {}; // unterminated quote
}

int XdgLoginItem::status() const
{
    QFile file(entryPath());
    if (!file.exists())
        return notRegistered;
    if (!file.open(QIODevice::ReadOnly))
        return notFound;
    const auto keys = desktopEntryKeys(file.readAll());
    // A desktop's startup settings switch an entry off with Hidden=true (or GNOME's own key).
    if (keys.value(QStringLiteral("Hidden")) == QLatin1String("true") ||
        keys.value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false"))
        return notRegistered;
    return isExecutableProgram(execProgram(keys.value(QStringLiteral("Exec")))) ? enabled : notFound;
}

std::optional<QString> XdgLoginItem::registerItem()
{
    const QString path = entryPath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("Could not create the folder %1").arg(folder);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Ostrel\n"
                                         "Exec=%1\n"
                                         "Icon=ostrel\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execValue(m_executable));
    file.write(entry.toUtf8());
    // commit() alone misses a failed write of its buffer (a full disk).
    if (!file.flush() || !file.commit())
        return QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
    return std::nullopt;
}

std::optional<QString> XdgLoginItem::unregisterItem()
{
    QFile file(entryPath());
    if (!file.exists())
        return std::nullopt;
    if (!file.remove())
        return QStringLiteral("Could not remove %1: %2").arg(file.fileName(), file.errorString());
    return std::nullopt;
}

} // namespace ostrel
