#include "platform/ResourcePaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ostrel {

QString resourceDirectory()
{
    const QString overridden = qEnvironmentVariable("OSTREL_RESOURCE_DIR");
    if (!overridden.isEmpty())
        return QDir(overridden).absolutePath();
    QString exeDir;
    if (QCoreApplication::instance())
        exeDir = QCoreApplication::applicationDirPath();
    else
        exeDir = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    return QDir(exeDir + QStringLiteral("/../share/ostrel")).absolutePath();
}

} // namespace ostrel
