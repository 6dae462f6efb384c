#include "frpc/FrpcLocator.h"

#include "platform/ResourcePaths.h"

#include <QDir>
#include <QFileInfo>

namespace ostrel {

FrpcLocator::FrpcLocator(QStringList folders, QString binaryName)
    : m_folders(std::move(folders)), m_binaryName(std::move(binaryName))
{
}

FrpcLocator FrpcLocator::standard(const QString &searchPath)
{
    QStringList folders{resourceDirectory()};
    for (const QString &entry : searchPath.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(entry))
            folders << QDir::cleanPath(entry);
    }
    return FrpcLocator(folders);
}

QString FrpcLocator::locate() const
{
    // Like the shell: the first executable one; failing that, the first that cannot be run, so
    // the start fails saying why rather than that there is none.
    QString unusable;
    for (const QString &folder : m_folders) {
        const QFileInfo file(QDir(folder).absoluteFilePath(m_binaryName));
        if (!file.isFile())
            continue;
        if (file.isExecutable())
            return file.absoluteFilePath();
        if (unusable.isEmpty())
            unusable = file.absoluteFilePath();
    }
    return unusable;
}

} // namespace ostrel
